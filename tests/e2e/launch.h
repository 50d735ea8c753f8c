// Starting the built lumarest.exe (it lies beside the test program) and
// finding its hidden window.
#pragma once

#include <windows.h>

#include <string>

// A program built beside the test program, and the controller among them.
std::wstring BuiltProgramPath(const wchar_t* name);
std::wstring ControllerPath();

struct Controller {
  PROCESS_INFORMATION process = {};
  HWND window = nullptr;

  // Starts the controller (the built one, or the exe at `path`); with
  // `showCommand` >= 0 the start-up information carries that show command,
  // as a shortcut or the shell would.
  bool Start(int showCommand = -1, const std::wstring& path = L"");
  // Waits until the controller's window exists, then until its message loop
  // answers (the start-up reconciliation has ended).
  bool WaitUntilRunning(DWORD timeoutMs = 30000);
  // Waits for the process to end; returns its exit code, or -1 on time-out.
  long WaitForExit(DWORD timeoutMs = 20000);
  bool Running() const;
  ~Controller();
};

// Finds a top-level window of the given class and title owned by `pid`.
HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* title, DWORD timeoutMs);
