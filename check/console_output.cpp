// ConsoleOutput: WriteConsoleW to a console, UTF-8 bytes to anything else.
#include "check/console_output.h"

#include <windows.h>

#include "check/double_click.h"
#include "check/text_encoding.h"

namespace {

// Writes in chunks until all is written or the handle refuses more.
template <class Unit, class Write>
void WriteAll(const Unit* data, std::size_t size, std::size_t chunkLimit, Write write) {
  std::size_t done = 0;
  while (done < size) {
    const DWORD chunk = static_cast<DWORD>(size - done > chunkLimit ? chunkLimit : size - done);
    DWORD written = 0;
    if (!write(data + done, chunk, &written) || written == 0) return;
    done += written;
  }
}

void WriteBytes(HANDLE handle, const std::string& bytes) {
  WriteAll(bytes.data(), bytes.size(), 65536,
           [&](const char* d, DWORD n, DWORD* w) { return WriteFile(handle, d, n, w, nullptr); });
}

void WriteText(DWORD which, const std::wstring& text) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (!GetConsoleMode(handle, &mode)) {
    WriteBytes(handle, Utf8(text));
    return;
  }
  WriteAll(text.data(), text.size(), 8192,
           [&](const wchar_t* d, DWORD n, DWORD* w) { return WriteConsoleW(handle, d, n, w, nullptr); });
}

}  // namespace

void ConsoleOutput::Text(const std::wstring& text) { WriteText(STD_OUTPUT_HANDLE, text); }

void ConsoleOutput::Bytes(const std::string& bytes) {
  HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) WriteBytes(handle, bytes);
}

void ConsoleOutput::Error(const std::wstring& text) { WriteText(STD_ERROR_HANDLE, text); }

bool ConsoleOutput::OwnsConsoleWindow() { return StartedByDoubleClick(); }

void ConsoleOutput::WaitForKey() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) return;
  // Keys pressed while the report was being made do not count.
  FlushConsoleInputBuffer(input);
  for (;;) {
    INPUT_RECORD record;
    DWORD read = 0;
    if (!ReadConsoleInputW(input, &record, 1, &read) || read == 0) return;
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
  }
}
