// ConsoleOutput: WriteConsoleW to a console, UTF-8 bytes to anything else.
#include "check/console_output.h"

#include <windows.h>

#include "check/text_encoding.h"

namespace {

void WriteBytes(HANDLE handle, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(bytes.size() - done > 65536 ? 65536 : bytes.size() - done);
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data() + done, chunk, &written, nullptr) || written == 0) return;
    done += written;
  }
}

void WriteText(DWORD which, const std::wstring& text) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (!GetConsoleMode(handle, &mode)) {
    WriteBytes(handle, Utf8(text));
    return;
  }
  std::size_t done = 0;
  while (done < text.size()) {
    const DWORD chunk = static_cast<DWORD>(text.size() - done > 8192 ? 8192 : text.size() - done);
    DWORD written = 0;
    if (!WriteConsoleW(handle, text.data() + done, chunk, &written, nullptr) || written == 0) return;
    done += written;
  }
}

}  // namespace

void ConsoleOutput::Text(const std::wstring& text) { WriteText(STD_OUTPUT_HANDLE, text); }

void ConsoleOutput::Bytes(const std::string& bytes) {
  HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) WriteBytes(handle, bytes);
}

void ConsoleOutput::Error(const std::wstring& text) { WriteText(STD_ERROR_HANDLE, text); }
