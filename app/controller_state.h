// The controller's one process-wide record.
//
// There is exactly one, with static storage, zero-filled before wWinMain runs
// and never freed. Only the GUI thread touches it, so it has no accessors and
// no lock. The field order, types and widths are part of the design: the
// marks are two bytes (one character and its terminator), the rates are
// 32-bit, the session flag is one byte.
#pragma once

#include <windows.h>
#include <cstdint>

struct ControllerState {
  wchar_t windowClassName[100];     // string 109, the window class name
  wchar_t windowTitle[100];         // string 103, the title and the mutex name
  HINSTANCE instance;               // the process instance given to wWinMain
  bool sessionLocked;               // a session is locked, as last notified
  std::int32_t retryCount;          // shared by every retried state-file open
  char dcRefreshMark[2];            // first token of lasttimeDCRefresh.txt as last read
  char acdcMark[2];                 // first token of lasttimeACDC.txt as last read
  std::int32_t externalDisplayAtStart;  // 0 or 1, taken once at start-up
  std::int32_t dcRate;              // lowest refresh rate, snapped: the battery rate
  std::int32_t acRate;              // highest refresh rate, snapped
  std::uint32_t rawMinRefreshRate;  // "MinRefreshRate" as read
  std::uint32_t rawMaxRefreshRate;  // "MaxRefreshRate" as read
};

static_assert(sizeof(bool) == 1, "sessionLocked is one byte");
static_assert(sizeof(wchar_t) == 2, "texts are UTF-16");

extern ControllerState controllerState;
