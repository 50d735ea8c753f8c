// The smoke test's hands (tests/smoke/smoke.sh): starts a built
// lumarest.exe, waits until its window answers, ends it the way a user
// does, through its menu's Exit command, and reports how it ended. Built
// 64-bit in every build, so that where 32-bit programs run only under
// emulation nothing but the controller itself pays for it. Starting and
// finding the controller is the end-to-end tests' own (tests/e2e/launch.*).
//   lumarest-smoke.exe CONTROLLER-PATH [TIMEOUT-SECONDS]
// Prints what it saw, one fact a line, and exits 0 when the controller
// ended with exit code 0, 1 when something went otherwise (said on the
// last line), 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "app/resources/resource.h"
#include "tests/e2e/launch.h"

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

  Controller controller;  // ends a controller left running, on every path
  const ULONGLONG started = GetTickCount64();
  if (!controller.Start(-1, argv[1])) {
    std::printf("FAILED: CreateProcessW: error %lu\n", GetLastError());
    return 1;
  }
  // A 32-bit process on 64-bit Windows (and in a 64-bit Wine prefix) runs
  // under WOW64: the smoke test checks that the exe it meant to try ran.
  BOOL wow64 = FALSE;
  if (!IsWow64Process(controller.process.hProcess, &wow64)) {
    std::printf("FAILED: IsWow64Process\n");
    return 1;
  }
  std::printf("32-bit: %s\n", wow64 ? "yes" : "no");

  if (!controller.WaitUntilRunning(timeoutMs)) {
    std::printf("FAILED: %s\n", controller.Running() ? "no answering window of class LUMAREST in time"
                                                     : "the controller ended before its window answered");
    return 1;
  }
  std::printf("window answering after %llu ms\n", GetTickCount64() - started);

  if (!PostMessageW(controller.window, WM_COMMAND, MAKEWPARAM(CMD_EXIT, 0), 0)) {
    std::printf("FAILED: PostMessageW(WM_COMMAND, CMD_EXIT)\n");
    return 1;
  }
  const long code = controller.WaitForExit(timeoutMs);
  if (code == -1) {
    std::printf("FAILED: the controller did not end after Exit\n");
    return 1;
  }
  std::printf("ended after Exit with exit code %ld\n", code);
  return code == 0 ? 0 : 1;
}
