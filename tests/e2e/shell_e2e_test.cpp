// The built lumarest.exe under Wine and X: its window, the single-instance
// guard, the ways it ends, and the About box.
#include <gtest/gtest.h>

#include "app/resources/resource.h"
#include "tests/e2e/launch.h"
#include "tests/under_wine.h"

#include <vector>

namespace {

const wchar_t kAboutCaption[] = L"\u95dc\u65bc Lumarest";  // 關於 Lumarest

TEST(ControllerWindow, ExistsHiddenWithItsClassTitleStylesAndZeroSize) {
  SKIP_UNLESS_UNDER_WINE("starts the built controller, which acts on this machine's display and state files");
  Controller c;
  ASSERT_TRUE(c.Start(SW_HIDE)) << "CreateProcessW failed: " << GetLastError();
  ASSERT_TRUE(c.WaitUntilRunning()) << "no window of class LUMAREST titled Lumarest answered";

  const LONG exStyle = GetWindowLongW(c.window, GWL_EXSTYLE);
  EXPECT_EQ(WS_EX_LAYERED | WS_EX_TOOLWINDOW, exStyle) << std::hex << "extended style 0x" << exStyle;
  // The system adds WS_CLIPSIBLINGS to every top-level window.
  const LONG style = GetWindowLongW(c.window, GWL_STYLE);
  EXPECT_EQ(static_cast<LONG>(WS_POPUP), style & ~WS_CLIPSIBLINGS) << std::hex << "style 0x" << style;

  RECT r = {};
  ASSERT_TRUE(GetWindowRect(c.window, &r));
  EXPECT_EQ(0, r.right - r.left) << "width";
  EXPECT_EQ(0, r.bottom - r.top) << "height";

  // The class menu is attached (its items are the resources test's business:
  // menu handles do not cross processes under Wine).
  EXPECT_NE(nullptr, GetMenu(c.window));
}

TEST(ControllerWindow, ShownWithTheDefaultCommandStaysZeroSized) {
  SKIP_UNLESS_UNDER_WINE("starts the built controller, which acts on this machine's display and state files");
  Controller c;
  ASSERT_TRUE(c.Start());
  ASSERT_TRUE(c.WaitUntilRunning());
  RECT r = {};
  ASSERT_TRUE(GetWindowRect(c.window, &r));
  EXPECT_EQ(0, r.right - r.left);
  EXPECT_EQ(0, r.bottom - r.top);
  EXPECT_EQ(static_cast<LONG>(WS_POPUP | WS_VISIBLE),
            GetWindowLongW(c.window, GWL_STYLE) & ~WS_CLIPSIBLINGS);
}

TEST(SingleInstance, ASecondStartEndsAtOnceAndTheFirstKeepsRunning) {
  SKIP_UNLESS_UNDER_WINE("starts the built controller, which acts on this machine's display and state files");
  Controller first;
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(first.WaitUntilRunning());

  Controller second;
  ASSERT_TRUE(second.Start());
  EXPECT_EQ(0, second.WaitForExit()) << "the second instance ends with exit code 0";

  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(IsWindow(first.window));
  DWORD_PTR answer = 0;
  EXPECT_NE(0, SendMessageTimeoutW(first.window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer))
      << "the first instance still answers";
}

struct Ending {
  const char* name;
  UINT message;
  WPARAM wParam;
};

class EndingTest : public ::testing::TestWithParam<Ending> {};

TEST_P(EndingTest, EndsTheProcessWithExitCodeZero) {
  SKIP_UNLESS_UNDER_WINE("starts the built controller, which acts on this machine's display and state files");
  Controller c;
  ASSERT_TRUE(c.Start());
  ASSERT_TRUE(c.WaitUntilRunning());
  ASSERT_TRUE(PostMessageW(c.window, GetParam().message, GetParam().wParam, 0));
  EXPECT_EQ(0, c.WaitForExit());
}

INSTANTIATE_TEST_SUITE_P(Commands, EndingTest,
                         ::testing::Values(Ending{"ExitCommand", WM_COMMAND, CMD_EXIT},
                                           Ending{"Close", WM_CLOSE, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

HWND WaitForAbout(const Controller& c) {
  return FindProcessWindow(c.process.dwProcessId, L"#32770", kAboutCaption, 10000);
}

bool WaitUntilGone(HWND window) {
  for (int i = 0; i < 200 && IsWindow(window); ++i) Sleep(50);
  return !IsWindow(window);
}

// Types Alt+"/" or Alt+"?" (Shift+"/" on the US layout) at the keyboard.
void TypeAltChord(bool shift) {
  std::vector<INPUT> keys;
  auto key = [&](WORD vk, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    keys.push_back(in);
  };
  key(VK_MENU, false);
  if (shift) key(VK_SHIFT, false);
  key(VK_OEM_2, false);
  key(VK_OEM_2, true);
  if (shift) key(VK_SHIFT, true);
  key(VK_MENU, true);
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

struct Opening {
  const char* name;
  bool keyboard;  // typed, rather than the menu command posted
  bool shift;
};

class AboutBoxTest : public ::testing::TestWithParam<Opening> {};

TEST_P(AboutBoxTest, OpensOwnedByTheWindowAndEscapeThenOkCloseIt) {
  SKIP_UNLESS_UNDER_WINE("starts the built controller and types at the keyboard into the foreground window");
  Controller c;
  ASSERT_TRUE(c.Start());
  ASSERT_TRUE(c.WaitUntilRunning());
  const Opening& o = GetParam();

  if (o.keyboard) {
    // The keys go to the window that has the keyboard focus.
    SetForegroundWindow(c.window);
    TypeAltChord(o.shift);
  } else {
    ASSERT_TRUE(PostMessageW(c.window, WM_COMMAND, CMD_ABOUT, 0));
  }
  HWND about = WaitForAbout(c);
  ASSERT_NE(nullptr, about) << "no About box titled 關於 Lumarest";
  EXPECT_EQ(c.window, GetWindow(about, GW_OWNER));
  HWND ok = GetDlgItem(about, IDOK);
  ASSERT_NE(nullptr, ok);
  wchar_t text[32] = {};
  GetWindowTextW(ok, text, 32);
  EXPECT_STREQ(L"\u78ba\u5b9a", text) << "the button reads 確定";

  // Escape, as the dialog manager sees it from the keyboard.
  ASSERT_TRUE(PostMessageW(ok, WM_KEYDOWN, VK_ESCAPE, 1));
  EXPECT_TRUE(WaitUntilGone(about)) << "Escape closes the box";
  EXPECT_TRUE(c.Running());

  // Open again and press the button.
  ASSERT_TRUE(PostMessageW(c.window, WM_COMMAND, CMD_ABOUT, 0));
  about = WaitForAbout(c);
  ASSERT_NE(nullptr, about);
  SendMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntilGone(about)) << "確定 closes the box";

  // The controller goes on and still ends normally.
  ASSERT_TRUE(PostMessageW(c.window, WM_COMMAND, CMD_EXIT, 0));
  EXPECT_EQ(0, c.WaitForExit());
}

INSTANTIATE_TEST_SUITE_P(
    Openings, AboutBoxTest,
    ::testing::Values(Opening{"MenuCommand", false, false}, Opening{"AltQuestionMark", true, true},
                      Opening{"AltSlash", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
