// SessionsToVisit: the starter's and the check's one list of sessions.
#include "platform/session_list.h"

namespace {

const DWORD kNoConsoleSession = 0xFFFFFFFF;

}  // namespace

SessionList SessionsToVisit(const SessionListCalls& calls) {
  SessionList list;
  WTS_SESSION_INFOW* info = nullptr;
  DWORD count = 0;
  list.listed = calls.WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &info, &count) != 0;
  if (list.listed) {
    try {
      for (DWORD i = 0; i < count; ++i)
        if (info[i].SessionId != 0) list.ids.push_back(info[i].SessionId);
    } catch (...) {
      calls.WTSFreeMemory(info);
      throw;
    }
    calls.WTSFreeMemory(info);
  } else {
    list.listError = calls.GetLastError();
  }
  const DWORD console = calls.WTSGetActiveConsoleSessionId();
  if (console != kNoConsoleSession && console != 0) {
    bool listed = false;
    for (DWORD id : list.ids) listed = listed || id == console;
    if (!listed) list.ids.push_back(console);
  }
  return list;
}
