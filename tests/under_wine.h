// Tests that act on the machine they run on (write HKEY_LOCAL_MACHINE, show
// the controller's real window, start the built controller, type at the
// keyboard) are meant for a test run's throw-away Wine prefix. On a real
// Windows machine they would change that machine, so there they skip.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

// Wine's ntdll exports wine_get_version; Windows' has no such export.
inline bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Skips the current test unless it runs under Wine; `what` says what the
// test would do to the machine, e.g. "writes HKEY_LOCAL_MACHINE".
#define SKIP_UNLESS_UNDER_WINE(what)                                              \
  if (RunningUnderWine()) {                                                      \
  } else                                                                         \
    GTEST_SKIP() << "not under Wine: this test " what                            \
                 "; it runs only in a test run's throw-away Wine prefix"

// Where Wine answers otherwise than Windows does. A test that checks a
// Windows rule against the real platform states the rule and the Microsoft
// page it comes from, expects Windows' answer on Windows and, with
// WINE_DIFFERS("why"), Wine's answer under Wine, saying why the two part:
//   EXPECT_EQ(OnPlatform(nullptr, WINE_DIFFERS("Wine grants it"), handle), opened);
// The test then fails on either platform when the answer changes, and the
// difference is recorded in the test's XML report ("wine_differs").
struct WineDiffers {
  const char* why;
};
#define WINE_DIFFERS(why) WineDiffers{why}

template <class T>
T OnPlatform(T windows, WineDiffers differs, T wine) {
  if (!RunningUnderWine()) return windows;
  ::testing::Test::RecordProperty("wine_differs", differs.why);
  return wine;
}

// For an answer only Wine's prefix fixes (what its WMI lists, say): true
// under Wine, where the test then asserts it, recording why.
inline bool WineAnswers(WineDiffers differs) {
  if (!RunningUnderWine()) return false;
  ::testing::Test::RecordProperty("wine_differs", differs.why);
  return true;
}
