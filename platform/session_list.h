// Which sessions may have a signed-in user to look at: one rule, used by
// the package's start of the controllers (starter/) and by lumarest-check's
// fleet health (check/), so that the two can never disagree about a session.
//
// The sessions WTSEnumerateSessionsW lists, then the active console session
// when it is missing from the list (Windows leaves it out now and then, and
// Wine always does), never session 0, where services run and no user works.
// The calls come from the caller's own seam.
#pragma once

#include <windows.h>
#include <wtsapi32.h>

#include <vector>

struct SessionListCalls {
  decltype(&::WTSEnumerateSessionsW) WTSEnumerateSessionsW;
  decltype(&::WTSFreeMemory) WTSFreeMemory;
  decltype(&::WTSGetActiveConsoleSessionId) WTSGetActiveConsoleSessionId;
  decltype(&::GetLastError) GetLastError;
};

struct SessionList {
  std::vector<DWORD> ids;  // in the order to look at them
  bool listed = false;     // WTSEnumerateSessionsW answered (the console session is added anyway)
  DWORD listError = 0;     // its error when it did not
};

// The list is copied before anything else is done, and the WTS buffer given
// back at once, also when the copy runs out of memory: std::bad_alloc then
// leaves, with nothing held.
SessionList SessionsToVisit(const SessionListCalls& calls);
