// The session calls of wtsapi32.dll that both the controller's seam
// (platform/os_calls.cpp) and the starter's (starter/starter_os.cpp) make,
// resolved from System32 at first use (platform/system32.h): wtsapi32 is
// not a known DLL, so it is never imported. Each fails as the real call
// fails when the function cannot be had.
#pragma once

#include <windows.h>
#include <wtsapi32.h>

#include "platform/system32.h"

// wtsapi32.dll's handle, shared by every resolver of this process.
inline HMODULE wtsapiModule = nullptr;

inline BOOL WINAPI LateEnumerateSessions(HANDLE server, DWORD reserved, DWORD version, PWTS_SESSION_INFOW* info,
                                         DWORD* count) {
  auto call =
      System32Function<decltype(&::WTSEnumerateSessionsW)>(L"wtsapi32.dll", &wtsapiModule, "WTSEnumerateSessionsW");
  if (call == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return call(server, reserved, version, info, count);
}

inline void WINAPI LateFreeSessionMemory(void* memory) {
  auto call = System32Function<decltype(&::WTSFreeMemory)>(L"wtsapi32.dll", &wtsapiModule, "WTSFreeMemory");
  if (call != nullptr) call(memory);
}

inline BOOL WINAPI LateQueryUserToken(ULONG session, HANDLE* token) {
  auto call = System32Function<decltype(&::WTSQueryUserToken)>(L"wtsapi32.dll", &wtsapiModule, "WTSQueryUserToken");
  if (call == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return call(session, token);
}
