// lumarest-bench: what each handling costs beyond its fixed waits, and how
// long the built controller takes to start under the platform it runs on.
//   lumarest-bench [--startups N] [--runs N]
// Prints two tables. The handlings run on the fake laptop, whose Sleep only
// advances the virtual clock: the wall time measured is the work alone (the
// fake's own bookkeeping included, so it is an upper bound), set beside the
// waits the virtual clock counted.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/controller_state.h"
#include "app/resources/resource.h"
#include "app/window_proc.h"
#include "fake/laptop_presets.h"
#include "policy/handlings.h"

namespace {

const HWND kWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1000));

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

struct Handling {
  const char* name;
  LaptopPreset laptop;
  std::function<void()> run;
};

void HandlingTable(int runs) {
  const Handling handlings[] = {
      {"start-up, battery, switch due", {"1", "2", 0, 144, false},
       [] { wWinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, const_cast<PWSTR>(L""), SW_HIDE); }},
      {"unplug, switch due", {"1", "2", 0, 144, true},
       [] { MainWindowProc(kWindow, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0); }},
      {"battery event, no switch", {"2", "2", 0, 60, true},
       [] { MainWindowProc(kWindow, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0); }},
      {"plug in", {"2", "1", 1, 48, true},
       [] { MainWindowProc(kWindow, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0); }},
      {"display change on battery", {"2", "1", 0, 60, true},
       [] { MainWindowProc(kWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080)); }},
      {"unlock on battery", {"2", "1", 0, 48, true},
       [] { MainWindowProc(kWindow, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 1); }},
  };
  std::printf("Handlings on the virtual clock (median of %d runs)\n", runs);
  std::printf("  %-32s %10s %10s %12s %10s\n", "handling", "waits ms", "work ms", "wall ms", "beyond");
  for (const Handling& h : handlings) {
    std::vector<double> work;
    std::uint64_t waits = 0;
    for (int i = 0; i < runs; ++i) {
      FakeLaptop fake;
      SetUpIrisLaptop(fake, h.laptop, "bench");
      const double start = Now();
      h.run();
      work.push_back(Now() - start);
      waits = fake.SleptSince(0);
    }
    const double w = Median(work);
    std::printf("  %-32s %10llu %10.3f %12.3f %9.3f%%\n", h.name, static_cast<unsigned long long>(waits), w,
                static_cast<double>(waits) + w, waits ? 100.0 * w / static_cast<double>(waits) : 0.0);
  }
}

std::wstring Beside(const wchar_t* name) {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, n);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

bool Launch(const std::wstring& path, PROCESS_INFORMATION* process) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  std::wstring commandLine = L"\"" + path + L"\"";
  return CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        process) != 0;
}

HWND ControllerWindow(DWORD pid) {
  for (HWND w = FindWindowExW(nullptr, nullptr, L"LUMAREST", L"Lumarest"); w;
       w = FindWindowExW(nullptr, w, L"LUMAREST", L"Lumarest")) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid) return w;
  }
  return nullptr;
}

void StartupTable(int startups) {
  std::vector<double> empty, controller;
  for (int i = 0; i < startups; ++i) {
    PROCESS_INFORMATION p = {};
    double start = Now();
    if (Launch(Beside(L"lumarest-empty.exe"), &p)) {
      WaitForSingleObject(p.hProcess, 30000);
      empty.push_back(Now() - start);
      CloseHandle(p.hThread);
      CloseHandle(p.hProcess);
    }
    start = Now();
    if (!Launch(Beside(L"lumarest.exe"), &p)) continue;
    HWND window = nullptr;
    while (!window && Now() - start < 30000) {
      window = ControllerWindow(p.dwProcessId);
      if (!window) Sleep(1);
    }
    if (window) controller.push_back(Now() - start);
    // Let the start-up end, then exit as a user would.
    DWORD_PTR answer;
    if (window) SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer);
    if (window) PostMessageW(window, WM_COMMAND, CMD_EXIT, 0);
    if (WaitForSingleObject(p.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(p.hProcess, 1);
    CloseHandle(p.hThread);
    CloseHandle(p.hProcess);
  }
  std::printf("\nStart-up under this platform (median of %d starts, polling every millisecond)\n", startups);
  std::printf("  %-52s %10.1f ms\n", "empty program: start to exit", Median(empty));
  std::printf("  %-52s %10.1f ms\n", "lumarest.exe: start to its window existing", Median(controller));
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 21, startups = 11;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    if (std::string(argv[i]) == "--startups") startups = std::max(1, std::atoi(argv[i + 1]));
  }
  HandlingTable(runs);
  StartupTable(startups);
  return 0;
}
