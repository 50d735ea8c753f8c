// The state files and their open-and-retry discipline.
//
// Writes are retried (at most 10 attempts, counted in the shared retryCount)
// because another process may hold a file for a moment; reads are not. A
// file opened with mode "w" is emptied at once, so a file this code opened
// for writing is never closed without its mark: an empty file is lost
// memory, the next read would leave the old mark in place.
#include "policy/state_files.h"

#include <cstdio>

#include "app/controller_state.h"
#include "platform/os_calls.h"

namespace {

constexpr std::int32_t kMaxAttempts = 10;

const char kAcdcPath[] = "C:\\Program Files (x86)\\Kelvane\\Lumarest\\lasttimeACDC.txt";
const char kDcRefreshPath[] = "C:\\Program Files (x86)\\Kelvane\\Lumarest\\lasttimeDCRefresh.txt";

bool Open(StateFile file, const char* mode, FILE** opened) {
  *opened = nullptr;
  return os.fopen_s(opened, StateFilePath(file), mode) == 0 && *opened != nullptr;
}

void WriteAndClose(FILE* file, const char* mark) {
  os.printText(file, mark);
  os.fclose(file);
}

// One token, at most one character: a longer token does not fit the mark.
// The runtime then stores an empty text and reports no field read; the mark
// is cleared here as well so that it reads as neither "1" nor "2" whatever
// the runtime left. An empty file (end of file) leaves the mark as it was.
void ReadMark(FILE* file, char (&mark)[2]) {
  if (os.scanToken(file, mark, sizeof mark) == 0) mark[0] = 0;
  mark[1] = 0;
}

}  // namespace

const char* StateFilePath(StateFile file) { return file == StateFile::kAcdc ? kAcdcPath : kDcRefreshPath; }

void CreateStateFiles(bool rateKnown, DWORD currentRate) {
  if (os.access(kAcdcPath, 0) != -1) return;
  if (os.access(kDcRefreshPath, 0) != -1) return;

  // Without a readable mode the panel is not assumed to run at the DC rate.
  const char* refreshMark =
      rateKnown && currentRate == static_cast<DWORD>(controllerState.dcRate) ? "1" : "2";

  controllerState.retryCount = 0;
  for (;;) {
    FILE* acdc = nullptr;
    FILE* dcRefresh = nullptr;
    const bool acdcOpen = Open(StateFile::kAcdc, "w", &acdc);
    os.Sleep(2);
    const bool dcRefreshOpen = Open(StateFile::kDcRefresh, "w", &dcRefresh);
    if (acdcOpen && dcRefreshOpen) {
      os.printText(acdc, "2");
      os.Sleep(10);
      os.printText(dcRefresh, refreshMark);
      os.fclose(acdc);
      os.fclose(dcRefresh);
      return;
    }
    if (acdcOpen) WriteAndClose(acdc, "2");
    if (dcRefreshOpen) WriteAndClose(dcRefresh, refreshMark);
    os.Sleep(10);
    if (++controllerState.retryCount >= kMaxAttempts) return;
  }
}

void WriteStateMark(StateFile file, const char* mark, DWORD pauseMs) {
  controllerState.retryCount = 0;
  for (;;) {
    FILE* opened = nullptr;
    if (Open(file, "w", &opened)) {
      os.Sleep(pauseMs);
      WriteAndClose(opened, mark);
      return;
    }
    os.Sleep(10);
    ++controllerState.retryCount;
    os.Sleep(10);
    if (controllerState.retryCount >= kMaxAttempts) return;
  }
}

void WriteAcMarks() {
  controllerState.retryCount = 0;
  for (;;) {
    FILE* acdc = nullptr;
    FILE* dcRefresh = nullptr;
    const bool acdcOpen = Open(StateFile::kAcdc, "w", &acdc);
    os.Sleep(10);
    const bool dcRefreshOpen = Open(StateFile::kDcRefresh, "w", &dcRefresh);
    if (!acdcOpen) {
      // The retry is driven by lasttimeACDC.txt alone.
      if (dcRefreshOpen) WriteAndClose(dcRefresh, "1");
      os.Sleep(10);
      ++controllerState.retryCount;
      os.Sleep(10);
      if (controllerState.retryCount >= kMaxAttempts) return;
      continue;
    }
    if (!dcRefreshOpen) {
      WriteAndClose(acdc, "1");
      return;
    }
    os.Sleep(10);
    os.printText(acdc, "1");
    os.Sleep(10);
    os.printText(dcRefresh, "1");
    os.fclose(acdc);
    os.fclose(dcRefresh);
    return;
  }
}

bool ReadStateMarks() {
  FILE* acdc = nullptr;
  FILE* dcRefresh = nullptr;
  const bool acdcOpen = Open(StateFile::kAcdc, "r", &acdc);
  os.Sleep(100);
  const bool dcRefreshOpen = Open(StateFile::kDcRefresh, "r", &dcRefresh);
  if (!acdcOpen || !dcRefreshOpen) {
    if (acdcOpen) os.fclose(acdc);
    if (dcRefreshOpen) os.fclose(dcRefresh);
    return false;
  }
  ReadMark(acdc, controllerState.acdcMark);
  os.Sleep(100);
  ReadMark(dcRefresh, controllerState.dcRefreshMark);
  os.fclose(acdc);
  os.fclose(dcRefresh);
  return true;
}
