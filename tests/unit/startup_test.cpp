// The start-up sequence and message loop of wWinMain, on the fake laptop
// with a fake window system: the order of the calls, their arguments, and
// the early exits.
#include <gtest/gtest.h>

#include "app/controller_state.h"
#include "app/resources/resource.h"
#include "app/window_proc.h"
#include "fake/fake_laptop.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);

namespace {

const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(0x400000));

const std::vector<std::string> kShellCalls = {
    "SetDefaultDllDirectories", "LoadStringW", "LoadIconW", "LoadCursorW", "RegisterClassExW",
    "CreateWindowExW", "ShowWindow", "UpdateWindow", "WTSRegisterSessionNotification",
    "LoadAcceleratorsW", "OpenMutexW", "CreateMutexW", "GetLastError", "CloseHandle", "GetMessageW"};

// Calls that only the start-up reconciliation makes.
bool Reconciled(const FakeLaptop& fake) {
  return fake.Count("EnumDisplayDevicesW") + fake.Count("CoInitializeEx") + fake.Count("_access") +
             fake.Count("GetSystemPowerStatus") + fake.Count("Sleep") > 0;
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controllerState = {};
    fake.files.scratchFolder = MakeScratchFolder("startup");
  }
  int Run(int show = SW_SHOWDEFAULT) { return wWinMain(kInstance, nullptr, const_cast<PWSTR>(L""), show); }
  FakeLaptop fake;
};

TEST_F(StartupTest, RunsTheSequenceInOrderWithTheGivenArguments) {
  HINSTANCE instanceAtRegistration = reinterpret_cast<HINSTANCE>(1);
  HINSTANCE instanceAtCreation = nullptr;
  fake.onCall = [&](const FakeCall& call) {
    if (call.name == "RegisterClassExW") instanceAtRegistration = controllerState.instance;
    if (call.name == "CreateWindowExW") instanceAtCreation = controllerState.instance;
  };

  EXPECT_EQ(0, Run(SW_SHOWMINNOACTIVE));

  const std::vector<std::string> expected = {
      "SetDefaultDllDirectories", "LoadStringW", "LoadStringW", "LoadIconW", "LoadCursorW",
      "LoadIconW", "RegisterClassExW", "CreateWindowExW", "ShowWindow", "UpdateWindow",
      "WTSRegisterSessionNotification", "LoadAcceleratorsW", "OpenMutexW", "CreateMutexW",
      "GetLastError", "GetMessageW"};
  EXPECT_EQ(expected, fake.Names(kShellCalls));

  std::vector<std::string> details;
  for (const FakeCall& c : fake.calls)
    if (c.name != "GetMessageW" && c.name != "GetLastError" &&
        std::find(kShellCalls.begin(), kShellCalls.end(), c.name) != kShellCalls.end())
      details.push_back(c.name + " " + c.detail);
  char window[160];
  snprintf(window, sizeof window,
           "CreateWindowExW LUMAREST|Lumarest ex=0x80080 style=0x80000000 %d,0,%d,0 parent=%p menu=%p param=%p",
           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr);
  const std::vector<std::string> expectedDetails = {
      "SetDefaultDllDirectories 2048",  // LOAD_LIBRARY_SEARCH_SYSTEM32
      "LoadStringW 103 limit=100",
      "LoadStringW 109 limit=100",
      "LoadIconW 107",
      "LoadCursorW 32512 system",
      "LoadIconW 108",
      "RegisterClassExW LUMAREST",
      window,
      "ShowWindow 7",  // the show command handed to wWinMain
      "UpdateWindow ",
      "WTSRegisterSessionNotification 1",  // NOTIFY_FOR_ALL_SESSIONS
      "LoadAcceleratorsW 109",
      "OpenMutexW Lumarest access=0",
      "CreateMutexW Lumarest owned"};
  EXPECT_EQ(expectedDetails, details);

  const WNDCLASSEXW& c = fake.window.registeredClass;
  EXPECT_EQ(sizeof(WNDCLASSEXW), c.cbSize);
  EXPECT_EQ(UINT{CS_VREDRAW | CS_HREDRAW}, c.style);
  EXPECT_EQ(&MainWindowProc, c.lpfnWndProc);
  EXPECT_EQ(0, c.cbClsExtra);
  EXPECT_EQ(0, c.cbWndExtra);
  EXPECT_EQ(kInstance, c.hInstance);
  EXPECT_EQ(reinterpret_cast<HICON>(0x2000 + RID_LARGE_ICON), c.hIcon);
  EXPECT_EQ(reinterpret_cast<HICON>(0x2000 + RID_SMALL_ICON), c.hIconSm);
  EXPECT_EQ(reinterpret_cast<HCURSOR>(0x3000), c.hCursor);
  EXPECT_EQ(reinterpret_cast<HBRUSH>(6), c.hbrBackground);
  EXPECT_EQ(MAKEINTRESOURCEW(RID_MAIN_MENU), c.lpszMenuName);

  EXPECT_STREQ(L"Lumarest", controllerState.windowTitle);
  EXPECT_STREQ(L"LUMAREST", controllerState.windowClassName);
  EXPECT_EQ(nullptr, instanceAtRegistration) << "instance is stored after the class registration";
  EXPECT_EQ(kInstance, instanceAtCreation) << "instance is stored before the window creation";
  EXPECT_TRUE(fake.kernel.mutexes.count(L"Lumarest"));
}

TEST_F(StartupTest, FailedWindowCreationEndsBeforeAnyMutexOrRegistration) {
  fake.window.windowToCreate = nullptr;
  EXPECT_EQ(0, Run());
  EXPECT_EQ(0u, fake.Count("ShowWindow"));
  EXPECT_EQ(0u, fake.Count("WTSRegisterSessionNotification"));
  EXPECT_EQ(0u, fake.Count("OpenMutexW"));
  EXPECT_EQ(0u, fake.Count("CreateMutexW"));
  EXPECT_EQ(0u, fake.Count("GetMessageW"));
  EXPECT_FALSE(Reconciled(fake));
  EXPECT_TRUE(fake.kernel.mutexes.empty()) << "a later start must not be refused";
}

struct GuardCase {
  const char* name;
  bool openGrants;         // OpenMutexW hands out a handle (what Wine does)
  bool mutexExists;        // another instance created the mutex
  bool createFails;        // CreateMutexW fails with another error
  bool goesOn;             // the start-up reaches the message loop
};

class GuardTest : public StartupTest, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(GuardTest, EndsAtOnceOnlyWhenAnotherInstanceRuns) {
  const GuardCase& g = GetParam();
  if (g.openGrants) fake.kernel.openMutexHandle = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x4e00));
  if (g.mutexExists) fake.kernel.mutexes.insert(L"Lumarest");
  if (g.createFails) fake.failAt = 1;  // CreateMutexW is the first call that can fail here

  EXPECT_EQ(0, Run());

  EXPECT_EQ(g.goesOn ? 1u : 0u, fake.Count("GetMessageW") > 0 ? 1u : 0u);
  EXPECT_EQ(g.goesOn, Reconciled(fake));
  if (g.openGrants) {
    EXPECT_EQ(0u, fake.Count("CreateMutexW")) << "the open already proved another instance";
    EXPECT_EQ(1u, fake.Count("CloseHandle"));
  }
  if (g.createFails) {
    EXPECT_TRUE(fake.injectedFailure);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Guard, GuardTest,
    ::testing::Values(GuardCase{"FirstInstance", false, false, false, true},
                      GuardCase{"OpenGrantsAHandle", true, true, false, false},
                      GuardCase{"CreateReportsAlreadyExists", false, true, false, false},
                      GuardCase{"CreateFailsOtherwise", false, false, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

MSG Message(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  MSG m = {};
  m.hwnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1000));
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  return m;
}

TEST_F(StartupTest, EveryMessageGoesThroughTheAcceleratorsWithItsOwnWindow) {
  fake.window.queue = {Message(WM_NULL), Message(WM_KEYDOWN, 'A')};
  EXPECT_EQ(0, Run());
  const std::vector<std::string> loop = {"GetMessageW", "TranslateAcceleratorW", "TranslateMessage",
                                         "DispatchMessageW"};
  EXPECT_EQ((std::vector<std::string>{"GetMessageW", "TranslateAcceleratorW", "TranslateMessage",
                                      "DispatchMessageW", "GetMessageW", "TranslateAcceleratorW",
                                      "TranslateMessage", "DispatchMessageW", "GetMessageW"}),
            fake.Names(loop));
  char expected[64];
  snprintf(expected, sizeof expected, "0 window=%p table=%p", reinterpret_cast<void*>(0x1000),
           reinterpret_cast<void*>(0x5000));
  for (const FakeCall& c : fake.calls)
    if (c.name == "TranslateAcceleratorW") {
      EXPECT_EQ(expected, c.detail);
      break;
    }
}

TEST_F(StartupTest, AnAcceleratorMessageIsNeitherTranslatedNorDispatched) {
  fake.window.queue = {Message(WM_SYSCHAR, '?')};
  fake.window.translateAcceleratorResult = 1;
  EXPECT_EQ(0, Run());
  EXPECT_EQ(1u, fake.Count("TranslateAcceleratorW"));
  EXPECT_EQ(0u, fake.Count("TranslateMessage"));
  EXPECT_EQ(0u, fake.Count("DispatchMessageW"));
}

TEST_F(StartupTest, ExitCommandEndsTheLoopWithCodeZero) {
  fake.window.queue = {Message(WM_COMMAND, CMD_EXIT), Message(WM_NULL)};
  EXPECT_EQ(0, Run());
  EXPECT_EQ(1u, fake.Count("DestroyWindow"));
  EXPECT_EQ(1u, fake.Count("WTSUnRegisterSessionNotification"));
  EXPECT_EQ(1u, fake.Count("PostQuitMessage"));
  // The message queued after the exit is still handed out before WM_QUIT.
  EXPECT_EQ(2u, fake.Count("DispatchMessageW"));
}

TEST_F(StartupTest, AFailingGetMessageEndsTheLoopInsteadOfSpinning) {
  fake.window.getMessageResult = -1;
  EXPECT_EQ(0, Run());
  EXPECT_EQ(1u, fake.Count("GetMessageW"));
  EXPECT_EQ(0u, fake.Count("DispatchMessageW"));
}

}  // namespace
