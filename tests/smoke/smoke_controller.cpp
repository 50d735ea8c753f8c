// The smoke test's hands (tests/smoke/smoke.sh): starts a built
// lumarest.exe, waits until its window answers, ends it the way a user
// does, through its menu's Exit command, and reports how it ended. Built
// 64-bit in every build, so that where 32-bit programs run only under
// emulation nothing but the controller itself pays for it.
//   lumarest-smoke.exe CONTROLLER-PATH [TIMEOUT-SECONDS]
// Prints what it saw, one fact a line, and exits 0 when the controller
// ended with exit code 0, 1 when something went otherwise (said on the
// last line), 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "app/resources/resource.h"

namespace {

struct Search {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  Search* s = reinterpret_cast<Search*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t name[64];
  if (pid == s->pid && GetClassNameW(window, name, 64) != 0 && wcscmp(name, L"LUMAREST") == 0) {
    s->found = window;
    return FALSE;
  }
  return TRUE;
}

int Fail(PROCESS_INFORMATION& pi, const char* what) {
  std::printf("FAILED: %s\n", what);
  if (pi.hProcess != nullptr) {
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(pi.hProcess, 99);
      WaitForSingleObject(pi.hProcess, 10000);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 2 || argc > 3) {
    std::printf("usage: lumarest-smoke CONTROLLER-PATH [TIMEOUT-SECONDS]\n");
    return 2;
  }
  const ULONGLONG seconds = argc == 3 ? wcstoul(argv[2], nullptr, 10) : 300;
  if (seconds == 0 || seconds > 3600) {
    std::printf("usage: TIMEOUT-SECONDS is 1 to 3600\n");
    return 2;
  }
  const DWORD timeoutMs = static_cast<DWORD>(seconds * 1000);

  std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION pi = {};
  const ULONGLONG started = GetTickCount64();
  if (!CreateProcessW(argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &pi)) {
    std::printf("FAILED: CreateProcessW: error %lu\n", GetLastError());
    return 1;
  }
  // A 32-bit process on 64-bit Windows (and in a 64-bit Wine prefix) runs
  // under WOW64: the smoke test checks that the exe it meant to try ran.
  BOOL wow64 = FALSE;
  if (!IsWow64Process(pi.hProcess, &wow64)) return Fail(pi, "IsWow64Process");
  std::printf("32-bit: %s\n", wow64 ? "yes" : "no");

  Search s = {pi.dwProcessId, nullptr};
  while (s.found == nullptr) {
    if (WaitForSingleObject(pi.hProcess, 0) != WAIT_TIMEOUT) return Fail(pi, "the controller ended before its window appeared");
    if (GetTickCount64() - started > timeoutMs) return Fail(pi, "no window of class LUMAREST appeared in time");
    Sleep(100);
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
  }
  // The window answers once the start-up is over and the message loop runs.
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(s.found, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &answer)) {
    return Fail(pi, "the controller's window did not answer");
  }
  std::printf("window answering after %llu ms\n", GetTickCount64() - started);

  if (!PostMessageW(s.found, WM_COMMAND, MAKEWPARAM(CMD_EXIT, 0), 0)) return Fail(pi, "PostMessageW(WM_COMMAND, CMD_EXIT)");
  if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) return Fail(pi, "the controller did not end after Exit");
  DWORD code = 0;
  const BOOL gotCode = GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (!gotCode) {
    std::printf("FAILED: GetExitCodeProcess: error %lu\n", GetLastError());
    return 1;
  }
  std::printf("ended after Exit with exit code %lu\n", code);
  return code == 0 ? 0 : 1;
}
