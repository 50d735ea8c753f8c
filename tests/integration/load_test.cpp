// Load: ten thousand mixed messages sent to the controller's real window
// while its real message loop runs. Every one is answered, and the process
// holds as many handles and GDI and USER objects afterwards as before.
// The counts are taken in-process: asked about another process, Wine
// answers 0. Wine also answers 0 to GetProcessHandleCount and GetGuiResources
// in-process, so kernel handles are counted by probing every handle value,
// and USER objects by the windows the process owns; the platform's own
// counts are compared too, for Windows.
#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <thread>

#include "app/controller_state.h"
#include "app/resources/resource.h"
#include "fake/fake_laptop.h"
#include "fake/registry_paths.h"
#include "tests/under_wine.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);

namespace {


struct Counts {
  DWORD handles = 0, gdi = 0, user = 0;  // as the platform reports them
  DWORD probedHandles = 0, windows = 0;  // as counted here
};

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == GetCurrentProcessId()) {
    ++*reinterpret_cast<DWORD*>(count);
    EnumChildWindows(window, CountWindow, count);
  }
  return TRUE;
}

Counts Measure() {
  Counts c;
  GetProcessHandleCount(GetCurrentProcess(), &c.handles);
  c.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  c.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++c.probedHandles;
  }
  EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&c.windows));
  return c;
}

// The controller's own window, caught as it is made: other test programs
// running at the same time have windows of the same class and title.
std::atomic<HWND> controllerWindow{nullptr};

HWND WINAPI CatchWindow(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y, int width,
                        int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  HWND window = realOs.CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu,
                                       instance, param);
  controllerWindow = window;
  return window;
}

struct Message {
  UINT message;
  WPARAM wParam;
};

const Message kMix[] = {
    {WM_DISPLAYCHANGE, 32},
    {WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE},
    {WM_POWERBROADCAST, PBT_APMRESUMESUSPEND},
    {WM_POWERBROADCAST, PBT_APMSUSPEND},
    {WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK},
    {WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE},
    {WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK},
    {WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON},
    {WM_WTSSESSION_CHANGE, WTS_SESSION_LOGOFF},
    {WM_USER + 7, 0},
    {WM_NULL, 0},
    {WM_COMMAND, 106},
    {WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC},
};

TEST(Load, TenThousandMixedMessagesAreAllAnsweredAndNothingGrows) {
  SKIP_UNLESS_UNDER_WINE("shows the controller's real window on this machine's desktop");
  FakeLaptop fake{FakeLaptop::kHardware};
  controllerState = {};
  fake.files.scratchFolder = MakeScratchFolder("load");
  fake.wmi.controllers = {{FakeProperty::Text(L"Intel(R) Iris(R) Xe Graphics"), FakeProperty::Int(144),
                       FakeProperty::Int(47)}};
  fake.SetPanel({48, 60, 144}, 144);
  fake.SetString(kPowerSchemesKey, L"ActivePowerScheme", L"381b4222-f694-41f0-9685-ff5bb260df2e");
  fake.SetString(kDisplayAdapterClassKey + L"\\0000", L"ProviderName", L"Intel Corporation");
  fake.SetDword(kDisplayAdapterClassKey + L"\\0000", L"DCUserPreferencePolicy", 0);
  // The charger comes and goes, and now and then the panel is set back to
  // 144 Hz, so the decisions and the switch keep running. All of this on the
  // controller's own thread, from inside its calls.
  int readings = 0;
  fake.onCall = [&](const FakeCall& c) {
    if (c.name != "GetSystemPowerStatus") return;
    ++readings;
    fake.power.acLineStatus = (readings / 3) % 2 ? 0 : 1;
    if (readings % 7 == 0) fake.display.mode.rate = 144;
  };
  controllerWindow = nullptr;
  os.CreateWindowExW = CatchWindow;
  fake.display.onModeChange = [] { SendMessageW(controllerWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080)); };

  constexpr int kMessages = 10000;
  std::atomic<int> answered{0};
  Counts before, after;
  bool found = false;
  std::thread sender([&] {
    HWND window = nullptr;
    for (int i = 0; i < 400 && window == nullptr; ++i) {
      window = controllerWindow;
      if (!window) Sleep(50);
    }
    found = window != nullptr;
    if (!found) return;
    auto send = [&](int i) {
      const Message& m = kMix[i % (sizeof kMix / sizeof kMix[0])];
      DWORD_PTR result = 0;
      return SendMessageTimeoutW(window, m.message, m.wParam, 0, SMTO_NORMAL, 20000, &result) != 0;
    };
    // A first round lets everything that is made once be made.
    for (int i = 0; i < 200; ++i) send(i);
    before = Measure();
    for (int i = 0; i < kMessages; ++i) answered += send(i) ? 1 : 0;
    after = Measure();
    PostMessageW(window, WM_COMMAND, CMD_EXIT, 0);
  });
  const int exitCode = wWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<PWSTR>(L""), SW_SHOWDEFAULT);
  sender.join();

  ASSERT_TRUE(found) << "the controller's window never appeared";
  EXPECT_EQ(0, exitCode);
  EXPECT_EQ(kMessages, answered.load());
  EXPECT_GT(before.probedHandles, 0u) << "the handle probe sees nothing";
  EXPECT_EQ(before.probedHandles, after.probedHandles) << "kernel handles";
  EXPECT_EQ(before.windows, after.windows) << "windows (the hidden one and the input method's)";
  EXPECT_EQ(before.handles, after.handles) << "handles";
  EXPECT_EQ(before.gdi, after.gdi) << "GDI objects";
  EXPECT_EQ(before.user, after.user) << "USER objects";
  EXPECT_EQ("", fake.Leaks());
  EXPECT_GT(fake.display.submittedModes.size(), 100u) << "the load kept the switch busy";
  std::cout << "load: " << answered.load() << " of " << kMessages << " messages answered; probed handles "
            << before.probedHandles << " -> " << after.probedHandles << ", windows " << before.windows << " -> "
            << after.windows << "; reported handles " << before.handles << " -> " << after.handles << ", GDI " << before.gdi << " -> " << after.gdi
            << ", USER " << before.user << " -> " << after.user << "; " << fake.display.submittedModes.size()
            << " mode changes, " << readings << " power readings\n";
}

}  // namespace
