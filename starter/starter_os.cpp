// The real side of the starter's seam.
#include "starter/starter_os.h"

#include "platform/system32.h"
#include "platform/wtsapi_late.h"

namespace {

// wtsapi32 (platform/wtsapi_late.h) and userenv are resolved from System32
// at first use (platform/system32.h): this DLL runs from wherever Windows Installer
// extracted it, and an import would let the loader look beside it. msi.dll,
// kernel32.dll and advapi32.dll are imported: the first is already loaded by
// the msiexec process that runs the action, the others are known DLLs.
HMODULE userenv = nullptr;

BOOL WINAPI CreateEnvironment(void** environment, HANDLE token, BOOL inherit) {
  auto call = System32Function<decltype(&::CreateEnvironmentBlock)>(L"userenv.dll", &userenv,
                                                                     "CreateEnvironmentBlock");
  if (call == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return call(environment, token, inherit);
}

BOOL WINAPI DestroyEnvironment(void* environment) {
  auto call = System32Function<decltype(&::DestroyEnvironmentBlock)>(L"userenv.dll", &userenv,
                                                                     "DestroyEnvironmentBlock");
  return call != nullptr && call(environment);
}

}  // namespace

const StarterOs realStarterOs = {
    LateEnumerateSessions,
    LateFreeSessionMemory,
    ::WTSGetActiveConsoleSessionId,
    LateQueryUserToken,

    ::GetTokenInformation,
    ::ConvertSidToStringSidW,
    ::LocalFree,

    CreateEnvironment,
    DestroyEnvironment,
    ::CreateProcessAsUserW,
    ::CloseHandle,
    ::GetLastError,
    ::IsProcessInJob,

    ::RegOpenKeyExW,
    ::RegQueryValueExW,
    ::RegCloseKey,

    ::MsiGetPropertyW,
    ::MsiCreateRecord,
    ::MsiRecordSetStringW,
    ::MsiProcessMessage,
    ::MsiCloseHandle,
};

StarterOs starterOs = realStarterOs;
