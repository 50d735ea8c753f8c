// The real side of the starter's seam.
#include "starter/starter_os.h"

namespace {

// wtsapi32.dll and userenv.dll are not among the DLLs the loader always
// takes from System32, and the action's DLL is run from wherever Windows
// Installer extracted it. Importing them would let the loader look for them
// beside that file; so they are resolved at first use, from System32 only,
// and stay loaded for the life of the process. (msi.dll, kernel32.dll and
// advapi32.dll are imported: the first is already loaded by the msiexec
// process that runs the action, the others are known DLLs.)
FARPROC Resolve(const wchar_t* dll, HMODULE* module, const char* name) {
  if (*module == nullptr) {
    *module = ::LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (*module == nullptr) return nullptr;
  }
  return ::GetProcAddress(*module, name);
}

HMODULE wtsapi = nullptr;
HMODULE userenv = nullptr;

template <typename Fn>
Fn Lookup(const wchar_t* dll, HMODULE* module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(Resolve(dll, module, name)));
}

BOOL WINAPI EnumerateSessions(HANDLE server, DWORD reserved, DWORD version, PWTS_SESSION_INFOW* info,
                              DWORD* count) {
  auto call = Lookup<decltype(&::WTSEnumerateSessionsW)>(L"wtsapi32.dll", &wtsapi, "WTSEnumerateSessionsW");
  if (call == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return call(server, reserved, version, info, count);
}

void WINAPI FreeSessionMemory(void* memory) {
  auto call = Lookup<decltype(&::WTSFreeMemory)>(L"wtsapi32.dll", &wtsapi, "WTSFreeMemory");
  if (call != nullptr) call(memory);
}

BOOL WINAPI QueryUserToken(ULONG session, HANDLE* token) {
  auto call = Lookup<decltype(&::WTSQueryUserToken)>(L"wtsapi32.dll", &wtsapi, "WTSQueryUserToken");
  if (call == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return call(session, token);
}

BOOL WINAPI CreateEnvironment(void** environment, HANDLE token, BOOL inherit) {
  auto call = Lookup<decltype(&::CreateEnvironmentBlock)>(L"userenv.dll", &userenv, "CreateEnvironmentBlock");
  if (call == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return call(environment, token, inherit);
}

BOOL WINAPI DestroyEnvironment(void* environment) {
  auto call = Lookup<decltype(&::DestroyEnvironmentBlock)>(L"userenv.dll", &userenv, "DestroyEnvironmentBlock");
  return call != nullptr && call(environment);
}

}  // namespace

const StarterOs realStarterOs = {
    EnumerateSessions,
    FreeSessionMemory,
    ::WTSGetActiveConsoleSessionId,
    QueryUserToken,

    ::GetTokenInformation,
    ::ConvertSidToStringSidW,
    ::LocalFree,

    CreateEnvironment,
    DestroyEnvironment,
    ::CreateProcessAsUserW,
    ::CloseHandle,
    ::GetLastError,

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
