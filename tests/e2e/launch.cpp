// Starting and watching the built controller from another process.
#include "tests/e2e/launch.h"

namespace {

struct Search {
  DWORD pid;
  const wchar_t* className;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  Search* s = reinterpret_cast<Search*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != s->pid) return TRUE;
  wchar_t buffer[256];
  if (GetClassNameW(window, buffer, 256) == 0 || wcscmp(buffer, s->className) != 0) return TRUE;
  GetWindowTextW(window, buffer, 256);
  if (wcscmp(buffer, s->title) != 0) return TRUE;
  s->found = window;
  return FALSE;
}

}  // namespace

std::wstring BuiltProgramPath(const wchar_t* name) {
  wchar_t self[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, n);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

std::wstring ControllerPath() { return BuiltProgramPath(L"lumarest.exe"); }

HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* title, DWORD timeoutMs) {
  const ULONGLONG until = GetTickCount64() + timeoutMs;
  do {
    Search s = {pid, className, title, nullptr};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
    if (s.found) return s.found;
    Sleep(50);
  } while (GetTickCount64() < until);
  return nullptr;
}

bool Controller::Start(int showCommand, const std::wstring& exe) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (showCommand >= 0) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
  }
  const std::wstring path = exe.empty() ? ControllerPath() : exe;
  std::wstring commandLine = L"\"" + path + L"\"";
  return CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process) != 0;
}

bool Controller::WaitUntilRunning(DWORD timeoutMs) {
  window = FindProcessWindow(process.dwProcessId, L"LUMAREST", L"Lumarest", timeoutMs);
  if (window == nullptr) return false;
  DWORD_PTR answer = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &answer) != 0;
}

long Controller::WaitForExit(DWORD timeoutMs) {
  if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<long>(code);
}

bool Controller::Running() const { return WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT; }

Controller::~Controller() {
  if (process.hProcess == nullptr) return;
  if (Running()) {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 5000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}
