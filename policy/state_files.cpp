// The state files and their open-and-retry discipline.
//
// Writes are retried (at most 10 attempts, counted in the shared retryCount)
// because another process may hold a file for a moment; reads are not. A
// file opened with mode "w" is emptied at once, so a file this code opened
// for writing is never closed without its mark: an empty file is lost
// memory, the next read would leave the old mark in place. For the same
// reason a mark that was not written (the write or the close reported a
// failure, so the byte may never have reached the disk) counts as a failed
// attempt and is tried again within the same 10 attempts.
#include "policy/state_files.h"

#include <cstdio>

#include "app/controller_state.h"
#include "app/waits.h"
#include "platform/os_calls.h"

namespace {

constexpr std::int32_t kMaxAttempts = 10;

const char kAcdcPath[] = "C:\\Program Files (x86)\\Kelvane\\Lumarest\\lasttimeACDC.txt";
const char kDcRefreshPath[] = "C:\\Program Files (x86)\\Kelvane\\Lumarest\\lasttimeDCRefresh.txt";

bool Open(StateFile file, const char* mode, FILE** opened) {
  *opened = nullptr;
  return os.fopen_s(opened, StateFilePath(file), mode) == 0 && *opened != nullptr;
}

// True when the mark reached the file.
bool WriteAndClose(FILE* file, const char* mark) {
  const bool written = os.printText(file, mark) >= 0;
  return os.fclose(file) == 0 && written;
}

bool CloseBoth(FILE* first, FILE* second, bool written) {
  const bool firstClosed = os.fclose(first) == 0;
  const bool secondClosed = os.fclose(second) == 0;
  return written && firstClosed && secondClosed;
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
      rateKnown && currentRate == static_cast<DWORD>(controllerState.dcRate) ? kMarkAtDcRate : kMarkOffDcRate;

  controllerState.retryCount = 0;
  for (;;) {
    FILE* acdc = nullptr;
    FILE* dcRefresh = nullptr;
    const bool acdcOpen = Open(StateFile::kAcdc, "w", &acdc);
    os.Sleep(kCreateOpensGapMs);
    const bool dcRefreshOpen = Open(StateFile::kDcRefresh, "w", &dcRefresh);
    if (acdcOpen && dcRefreshOpen) {
      bool written = os.printText(acdc, kMarkBattery) >= 0;
      os.Sleep(kMarkPauseMs);
      written = os.printText(dcRefresh, refreshMark) >= 0 && written;
      if (CloseBoth(acdc, dcRefresh, written)) return;
    } else {
      if (acdcOpen) WriteAndClose(acdc, kMarkBattery);
      if (dcRefreshOpen) WriteAndClose(dcRefresh, refreshMark);
    }
    os.Sleep(kRetryWaitMs);
    if (++controllerState.retryCount >= kMaxAttempts) return;
  }
}

void WriteStateMark(StateFile file, const char* mark, DWORD pauseMs) {
  controllerState.retryCount = 0;
  for (;;) {
    FILE* opened = nullptr;
    if (Open(file, "w", &opened)) {
      os.Sleep(pauseMs);
      if (WriteAndClose(opened, mark)) return;
    }
    os.Sleep(kRetryWaitMs);
    ++controllerState.retryCount;
    os.Sleep(kRetryWaitMs);
    if (controllerState.retryCount >= kMaxAttempts) return;
  }
}

void WriteAcMarks() {
  controllerState.retryCount = 0;
  for (;;) {
    FILE* acdc = nullptr;
    FILE* dcRefresh = nullptr;
    const bool acdcOpen = Open(StateFile::kAcdc, "w", &acdc);
    os.Sleep(kAcMarksGapMs);
    const bool dcRefreshOpen = Open(StateFile::kDcRefresh, "w", &dcRefresh);
    // The retry is driven by lasttimeACDC.txt alone: when it opened and the
    // other did not, mains is recorded there and that is all. On mains
    // lasttimeDCRefresh.txt gets "1" too (kMarkAtDcRate): the next battery
    // decision may switch again.
    bool done = false;
    if (!acdcOpen) {
      if (dcRefreshOpen) WriteAndClose(dcRefresh, kMarkAtDcRate);
    } else if (!dcRefreshOpen) {
      done = WriteAndClose(acdc, kMarkMains);
    } else {
      os.Sleep(kMarkPauseMs);
      bool written = os.printText(acdc, kMarkMains) >= 0;
      os.Sleep(kAcMarksGapMs);
      written = os.printText(dcRefresh, kMarkAtDcRate) >= 0 && written;
      done = CloseBoth(acdc, dcRefresh, written);
    }
    if (done) return;
    os.Sleep(kRetryWaitMs);
    ++controllerState.retryCount;
    os.Sleep(kRetryWaitMs);
    if (controllerState.retryCount >= kMaxAttempts) return;
  }
}

bool StateFileExists(StateFile file) { return os.access(StateFilePath(file), 0) != -1; }

bool ReadStateMarks() {
  FILE* acdc = nullptr;
  FILE* dcRefresh = nullptr;
  const bool acdcOpen = Open(StateFile::kAcdc, "r", &acdc);
  os.Sleep(kReadGapMs);
  const bool dcRefreshOpen = Open(StateFile::kDcRefresh, "r", &dcRefresh);
  if (!acdcOpen || !dcRefreshOpen) {
    if (acdcOpen) os.fclose(acdc);
    if (dcRefreshOpen) os.fclose(dcRefresh);
    return false;
  }
  ReadMark(acdc, controllerState.acdcMark);
  os.Sleep(kReadGapMs);
  ReadMark(dcRefresh, controllerState.dcRefreshMark);
  os.fclose(acdc);
  os.fclose(dcRefresh);
  return true;
}
