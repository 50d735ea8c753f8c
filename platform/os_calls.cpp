// The real side of the seam: the table filled with the platform's functions.
#include "platform/os_calls.h"

#include <io.h>

#include "platform/system32.h"
#include "platform/wtsapi_late.h"

namespace {


BOOL WINAPI RegisterSessionNotification(HWND window, DWORD flags) {
  auto call = System32Function<decltype(&::WTSRegisterSessionNotification)>(L"wtsapi32.dll", &wtsapiModule,
                                                                              "WTSRegisterSessionNotification");
  if (call == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return call(window, flags);
}

BOOL WINAPI UnRegisterSessionNotification(HWND window) {
  auto call = System32Function<decltype(&::WTSUnRegisterSessionNotification)>(L"wtsapi32.dll", &wtsapiModule,
                                                                                "WTSUnRegisterSessionNotification");
  if (call == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return call(window);
}

HMODULE powrprof = nullptr;  // see platform/system32.h

DWORD WINAPI ReadPowerPlanName(HKEY root, const GUID* scheme, const GUID* subgroup, const GUID* setting, PUCHAR buffer,
                               LPDWORD size) {
  auto call = System32Function<decltype(&::PowerReadFriendlyName)>(L"powrprof.dll", &powrprof,
                                                                    "PowerReadFriendlyName");
  if (call == nullptr) return ERROR_PROC_NOT_FOUND;
  return call(root, scheme, subgroup, setting, buffer, size);
}

BOOL WINAPI QuerySessionInformation(HANDLE server, DWORD session, WTS_INFO_CLASS what, LPWSTR* buffer,
                                    DWORD* bytes) {
  auto call = System32Function<decltype(&::WTSQuerySessionInformationW)>(L"wtsapi32.dll", &wtsapiModule,
                                                                         "WTSQuerySessionInformationW");
  if (call == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return call(server, session, what, buffer, bytes);
}

int CrtAccess(const char* path, int mode) { return ::_access(path, mode); }

errno_t CrtFopen(FILE** file, const char* path, const char* mode) {
  return ::fopen_s(file, path, mode);
}

int CrtPrintText(FILE* file, const char* text) { return ::fprintf(file, "%s", text); }

int CrtScanToken(FILE* file, char* buffer, unsigned size) {
  return ::fscanf_s(file, "%s", buffer, size);
}

int CrtFclose(FILE* file) { return ::fclose(file); }

}  // namespace

const OsCalls realOs = {
#define LUMAREST_REAL(name) ::name,
#define LUMAREST_LATE_REAL(name, real) real,
#define LUMAREST_CRT_REAL(member, type, real, logged) real,
    LUMAREST_OS_CALLS(LUMAREST_REAL, LUMAREST_LATE_REAL, LUMAREST_CRT_REAL)
#undef LUMAREST_REAL
#undef LUMAREST_LATE_REAL
#undef LUMAREST_CRT_REAL
};

OsCalls os = realOs;
