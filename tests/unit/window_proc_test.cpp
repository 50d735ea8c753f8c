// The window procedure's dispatch and the About box's dialog procedure, on
// the fake window system: what each message calls and what it returns.
#include <gtest/gtest.h>

#include "app/controller_state.h"
#include "app/resources/resource.h"
#include "app/window_proc.h"
#include "fake/fake_laptop.h"

namespace {

const HWND kWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1000));
const HWND kDialog = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1100));
constexpr LRESULT kDefault = 0x5150;  // what the fake DefWindowProcW answers

// Calls the window procedure itself may make (the handlings' own calls are
// the policy tests' business).
const std::vector<std::string> kDispatchCalls = {
    "DefWindowProcW", "BeginPaint", "EndPaint", "DialogBoxParamW", "DestroyWindow",
    "WTSUnRegisterSessionNotification", "PostQuitMessage"};

struct DispatchCase {
  const char* name;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result;
  std::vector<std::string> calls;
};

class DispatchTest : public ::testing::TestWithParam<DispatchCase> {
 protected:
  void SetUp() override {
    controllerState = {};
    fake.files.scratchFolder = MakeScratchFolder("dispatch");
    fake.window.defWindowProcResult = kDefault;
    // The window procedure is what a destroyed window is told about.
    WNDCLASSEXW c = {};
    c.lpfnWndProc = MainWindowProc;
    c.lpszClassName = L"LUMAREST";
    fake.window.registeredClass = c;
  }
  FakeLaptop fake;
};

TEST_P(DispatchTest, ReturnsAndCallsWhatTheMessageAsksFor) {
  const DispatchCase& d = GetParam();
  controllerState.retryCount = 7;
  EXPECT_EQ(d.result, MainWindowProc(kWindow, d.message, d.wParam, d.lParam));
  EXPECT_EQ(d.calls, fake.Names(kDispatchCalls));
  EXPECT_EQ(0, controllerState.retryCount) << "every message resets the shared retry counter";
}

const std::vector<std::string> kNone;
const std::vector<std::string> kDefaultOnly = {"DefWindowProcW"};

INSTANTIATE_TEST_SUITE_P(
    Messages, DispatchTest,
    ::testing::Values(
        DispatchCase{"Destroy", WM_DESTROY, 0, 0, 0,
                     {"WTSUnRegisterSessionNotification", "PostQuitMessage"}},
        DispatchCase{"Paint", WM_PAINT, 0, 0, 0, {"BeginPaint", "EndPaint"}},
        DispatchCase{"DisplayChange", WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080), 0, kNone},
        DispatchCase{"AboutFromMenu", WM_COMMAND, CMD_ABOUT, 0, 0, {"DialogBoxParamW"}},
        DispatchCase{"AboutFromAccelerator", WM_COMMAND, MAKEWPARAM(CMD_ABOUT, 1), 0, 0,
                     {"DialogBoxParamW"}},
        DispatchCase{"Exit", WM_COMMAND, CMD_EXIT, 0, 0,
                     {"DestroyWindow", "WTSUnRegisterSessionNotification", "PostQuitMessage"}},
        DispatchCase{"OtherCommand", WM_COMMAND, 106, 0, kDefault, kDefaultOnly},
        DispatchCase{"ResumeSuspendDoesNothing", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0, 0, kNone},
        DispatchCase{"PowerStatusChange", WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0, 0, kNone},
        DispatchCase{"SuspendGoesToDefaultButAnswersZero", WM_POWERBROADCAST, PBT_APMSUSPEND, 0, 0,
                     kDefaultOnly},
        DispatchCase{"PowerSettingGoesToDefaultButAnswersZero", WM_POWERBROADCAST,
                     PBT_POWERSETTINGCHANGE, 0, 0, kDefaultOnly},
        DispatchCase{"SessionChangeOfAnySession", WM_WTSSESSION_CHANGE, WTS_SESSION_LOGOFF, 42, 0, kNone},
        DispatchCase{"Close", WM_CLOSE, 0, 0, kDefault, kDefaultOnly},
        DispatchCase{"Unknown", WM_USER + 5, 1, 2, kDefault, kDefaultOnly}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DispatchTest, AboutOpensTheBoxOwnedByTheWindowFromTheProcessInstance) {
  controllerState.instance = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(0x400000));
  bool nestedHandled = false;
  // While the box is open its modal loop still delivers messages to the
  // window; they are handled inside the About call.
  fake.window.duringDialog = [&] {
    nestedHandled = MainWindowProc(kWindow, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0) == 0;
  };
  EXPECT_EQ(0, MainWindowProc(kWindow, WM_COMMAND, CMD_ABOUT, 0));
  EXPECT_TRUE(nestedHandled);
  char expected[96];
  snprintf(expected, sizeof expected, "103 instance=%p owner=%p param=0",
           static_cast<void*>(controllerState.instance), static_cast<void*>(kWindow));
  ASSERT_EQ(1u, fake.Count("DialogBoxParamW"));
  for (const FakeCall& c : fake.calls)
    if (c.name == "DialogBoxParamW") {
      EXPECT_EQ(expected, c.detail);
    }
  EXPECT_EQ("DialogBoxParamW.closed", fake.calls.back().name) << "the call returns after the box closed";
}

TEST_F(DispatchTest, TheQuitMessageCarriesExitCodeZero) {
  MainWindowProc(kWindow, WM_COMMAND, CMD_EXIT, 0);
  ASSERT_EQ(1u, fake.window.queue.size());
  EXPECT_EQ(UINT{WM_QUIT}, fake.window.queue.front().message);
  EXPECT_EQ(0u, fake.window.queue.front().wParam);
}

struct DialogCase {
  const char* name;
  UINT message;
  WPARAM wParam;
  INT_PTR result;
  const char* endedWith;  // nullptr: the box stays open
};

class AboutDialogTest : public ::testing::TestWithParam<DialogCase> {
 protected:
  FakeLaptop fake;
};

TEST_P(AboutDialogTest, ClosesOnlyOnOkAndCancel) {
  const DialogCase& d = GetParam();
  EXPECT_EQ(d.result, AboutDialogProc(kDialog, d.message, d.wParam, 0));
  if (d.endedWith) {
    ASSERT_EQ(1u, fake.Count("EndDialog"));
    EXPECT_EQ(d.endedWith, fake.calls.back().detail);
  } else {
    EXPECT_EQ(0u, fake.Count("EndDialog"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, AboutDialogTest,
    ::testing::Values(DialogCase{"InitDialog", WM_INITDIALOG, 0, TRUE, nullptr},
                      DialogCase{"OkButton", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), TRUE, "1"},
                      DialogCase{"EscapeOrClose", WM_COMMAND, IDCANCEL, TRUE, "2"},
                      DialogCase{"OtherCommand", WM_COMMAND, IDABORT, FALSE, nullptr},
                      DialogCase{"OtherMessage", WM_CLOSE, 0, FALSE, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
