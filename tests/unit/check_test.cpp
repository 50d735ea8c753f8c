// lumarest-check on the fake laptop: each condition failing on its own, the
// promise to change nothing (kept in the call log), text from outside made
// safe, and the exit codes fleet tools read.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "app/controller_state.h"
#include "check/check_tool.h"
#include "check/examination.h"
#include "check/report.h"
#include "check/text_encoding.h"
#include "fake/laptop_presets.h"
#include "fake/registry_paths.h"
#include "tests/unit/captured_output.h"

namespace {


// On battery, marks "1" and "2": the switch is due and every condition holds.
void SetUpQualifyingLaptop(FakeLaptop& fake) {
  SetUpIrisLaptop(fake, {"1", "2", 0, 144, false}, "check");
  fake.window.topLevelWindows = {{L"LUMAREST", L"Lumarest"}};
}

std::set<std::string> Failing(const Examination& e) {
  std::set<std::string> names;
  for (Condition c : kConditions)
    if (e.Fails(c)) names.insert(ConditionName(c));
  return names;
}

struct AloneCase {
  const char* failing;  // "" when every condition holds
  void (*spoil)(FakeLaptop&);
};

class ConditionAloneTest : public ::testing::TestWithParam<AloneCase> {};

TEST_P(ConditionAloneTest, FailsOnItsOwnAndSetsTheExitCode) {
  FakeLaptop fake;
  SetUpQualifyingLaptop(fake);
  GetParam().spoil(fake);
  const Examination e = ExamineMachine();
  const std::string failing = GetParam().failing;
  EXPECT_EQ(failing.empty() ? std::set<std::string>{} : std::set<std::string>{failing}, Failing(e));
  EXPECT_EQ(failing.empty(), e.Qualifies());

  Captured out;
  EXPECT_EQ(failing.empty() ? kQualifies : kConditionFails, RunCheckTool({L"--json"}, kEnglishUs, out));
  EXPECT_NE(std::string::npos, out.bytes.find("\"qualifies\": " + std::string(failing.empty() ? "true" : "false")));
  EXPECT_EQ("", fake.Leaks());
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, ConditionAloneTest,
    ::testing::Values(
        AloneCase{"", [](FakeLaptop&) {}},
        AloneCase{"rate_range",
                  [](FakeLaptop& f) {
                    f.wmi.controllers = {{FakeProperty::Text(L"Intel(R) UHD Graphics"), FakeProperty::Int(61),
                                      FakeProperty::Int(58)}};
                  }},
        AloneCase{"dc_rate_offered", [](FakeLaptop& f) { f.SetPanel({60, 144}, 144); }},
        AloneCase{"panel_active", [](FakeLaptop& f) { f.display.adapters[0].monitorFlags = {1}; }},
        AloneCase{"no_external_display", [](FakeLaptop& f) { f.display.adapters.push_back({L"DisplayLink USB Device", {3}}); }},
        AloneCase{"power_scheme",
                  [](FakeLaptop& f) {
                    f.SetString(kPowerSchemesKey, L"ActivePowerScheme", L"6fecc5ae-f350-48a5-b669-b472cb895ccf");
                  }},
        AloneCase{"driver_policy",
                  [](FakeLaptop& f) { f.SetDword(kDisplayAdapterClassKey + L"\\0001", L"DCUserPreferencePolicy", 0x50); }},
        AloneCase{"state_files", [](FakeLaptop& f) { f.RemoveFile("lasttimeDCRefresh.txt"); }}),
    [](const auto& info) { return std::string(*info.param.failing ? info.param.failing : "none"); });

TEST(CheckReadOnly, MakesOnlyReadingCallsAndLeavesEverythingAsItWas) {
  FakeLaptop fake;
  SetUpQualifyingLaptop(fake);
  controllerState.dcRate = 7;  // the caller's record, as the simulated laptop has one
  controllerState.acdcMark[0] = 'x';
  const Examination e = ExamineMachine();
  ASSERT_TRUE(e.Qualifies());
  EXPECT_TRUE(e.due);
  EXPECT_EQ(7, controllerState.dcRate) << "the controller's record is put back";
  EXPECT_EQ('x', controllerState.acdcMark[0]);

  const std::set<std::string> reading = {
      "EnumDisplayDevicesW", "EnumDisplaySettingsW", "Sleep", "CoInitializeEx", "CoInitializeSecurity",
      "CoCreateInstance", "SysAllocString", "SysFreeString", "ConnectServer", "CoSetProxyBlanket", "ExecQuery",
      "Next", "Get", "VariantInit", "VariantClear", "Release", "CoUninitialize", "RegOpenKeyExW",
      "RegQueryValueExW", "RegEnumKeyExW", "RegGetValueW", "RegCloseKey", "_access", "CreateFileW", "ReadFile",
      "CloseHandle", "GetFileAttributesW", "GetFileSecurityW", "OpenProcessToken", "DuplicateToken", "AccessCheck",
      "GetSystemPowerStatus", "FindWindowW", "WTSEnumerateSessionsW", "WTSFreeMemory",
      "WTSGetActiveConsoleSessionId", "WTSQuerySessionInformationW", "WTSQueryUserToken", "GetTokenInformation",
      "ConvertSidToStringSidW", "LocalFree", "GetCurrentProcessId", "ProcessIdToSessionId",
      "CreateToolhelp32Snapshot", "Process32FirstW", "Process32NextW", "OpenProcess", "QueryFullProcessImageNameW",
      "GetLastError", "GetDisplayConfigBufferSizes", "QueryDisplayConfig", "PowerReadFriendlyName"};
  for (const FakeCall& c : fake.calls) {
    EXPECT_TRUE(reading.count(c.name)) << c.name << " " << c.detail << " is not a reading call";
    if (c.name == "CreateFileW") {
      // Reading an existing file, shared with every other opener.
      EXPECT_NE(std::string::npos, c.detail.find(" access=0x80000000 share=0x7 disposition=3")) << c.detail;
    }
    if (c.name == "RegOpenKeyExW") {
      const unsigned long access = std::stoul(c.detail.substr(c.detail.find("access=0x") + 9), nullptr, 16);
      // The Startup apps records are read in the 64-bit view, where Explorer keeps them.
      EXPECT_EQ(0u, access & ~static_cast<unsigned long>(KEY_READ | KEY_WOW64_32KEY | KEY_WOW64_64KEY)) << c.detail;
    }
  }
  EXPECT_TRUE(fake.display.submittedModes.empty());
  EXPECT_EQ("1", fake.FileContent("lasttimeACDC.txt").value_or("absent"));
  EXPECT_EQ("2", fake.FileContent("lasttimeDCRefresh.txt").value_or("absent"));
  EXPECT_EQ("", fake.Leaks());
}

TEST(CheckText, HostileTextIsEscaped) {
  const struct { std::wstring in; std::string json; std::wstring person; } table[] = {
      {L"a\"b\\c", "\"a\\\"b\\\\c\"", L"\"a\\\"b\\\\c\""},
      {L"\n\r\t\b\f", "\"\\n\\r\\t\\b\\f\"", L"\"\\n\\r\\t\\x08\\x0c\""},
      {L"\x1b[2J\x7f", "\"\\u001b[2J\\u007f\"", L"\"\\x1b[2J\\x7f\""},
      {L"x\xD800y\xDC00", "\"x\\ufffdy\\ufffd\"", L"\"x\xFFFDy\xFFFD\""},
      {L"\xD83D\xDE00\x9B", "\"\\ud83d\\ude00\\u009b\"", L"\"\xD83D\xDE00\\x9b\""},
      {L"英特爾", "\"\\u82f1\\u7279\\u723e\"", L"\"英特爾\""},
  };
  for (const auto& t : table) {
    EXPECT_EQ(t.json, JsonString(t.in));
    EXPECT_EQ(t.person, QuoteForPerson(t.in));
  }
  EXPECT_EQ("a\xEF\xBF\xBD\xE8\x8B\xB1", Utf8(L"a\xDC01英"));

  // Through the whole tool: a name WMI hands over ends up escaped, and the
  // object holds nothing but printable ASCII and line ends.
  FakeLaptop fake;
  SetUpQualifyingLaptop(fake);
  fake.wmi.controllers[0].name = FakeProperty::Text(L"Evil\" \x1b]0;x\x07 \xD800");
  Captured out;
  RunCheckTool({L"--json"}, kEnglishUs, out);
  EXPECT_NE(std::string::npos, out.bytes.find("\\\"Evil\\\\\\\" \\\\x1b]0;x\\\\x07 \\ufffd\\\"")) << out.bytes;
  EXPECT_TRUE(std::all_of(out.bytes.begin(), out.bytes.end(), [](char c) { return c == '\n' || (c >= 0x20 && c < 0x7f); }));
}

TEST(CheckCommandLine, ExitCodesAndWhereTheWordsGo) {
  const struct { std::vector<std::wstring> args; int code; const wchar_t* out; const wchar_t* error; } table[] = {
      {{L"--help"}, kQualifies, L"usage: lumarest-check", L""},
      {{L"--lang", L"zh-TW", L"--help"}, kQualifies, L"用法：lumarest-check", L""},
      {{L"--verbose"}, kUsageOrNoMemory, L"", L"unknown argument \"--verbose\"\nusage:"},
      {{L"--help", L"x"}, kUsageOrNoMemory, L"", L"unknown argument \"x\""},
      {{L"--lang"}, kUsageOrNoMemory, L"", L"--lang needs en or zh-TW"},
      {{L"--lang", L"fr"}, kUsageOrNoMemory, L"", L"unknown language \"fr\""},
      {{L"--lang=ZH-tw"}, kQualifies, L"[通過] rate_range", L""},
      {{}, kQualifies, L"Verdict: On battery now: the controller would switch the panel from 144 Hz to 48 Hz.", L""},
  };
  for (const auto& t : table) {
    FakeLaptop fake;
    SetUpQualifyingLaptop(fake);
    Captured out;
    EXPECT_EQ(t.code, RunCheckTool(t.args, kEnglishUs, out)) << Narrow(t.out) << Narrow(t.error);
    EXPECT_NE(std::wstring::npos, out.text.find(t.out)) << Narrow(out.text);
    EXPECT_NE(std::wstring::npos, out.error.find(t.error)) << Narrow(out.error);
    if (*t.error == 0) {
      EXPECT_EQ(L"", out.error);
    }
  }
}

TEST(CheckCommandLine, OutOfMemoryInTheDiscoveryEndsWithCodeTwo) {
  int failAt = 0;
  {
    FakeLaptop counting;
    SetUpQualifyingLaptop(counting);
    ExamineMachine();
    failAt = counting.FailableIndex("SysAllocString");
  }
  ASSERT_NE(0, failAt);
  FakeLaptop fake;
  SetUpQualifyingLaptop(fake);
  fake.failAt = failAt;
  Captured out;
  EXPECT_EQ(kUsageOrNoMemory, RunCheckTool({}, kEnglishUs, out));
  EXPECT_NE(std::wstring::npos, out.error.find(L"out of memory (HRESULT 0x8007000e)")) << Narrow(out.error);
  EXPECT_EQ(L"", out.text);
  EXPECT_EQ("", fake.Leaks());
}

TEST(CheckLanguage, TraditionalChineseForTaiwanHongKongAndMacao) {
  const std::pair<LANGID, Language> table[] = {
      {0x0404, Language::kTraditionalChinese}, {0x0C04, Language::kTraditionalChinese},
      {0x1404, Language::kTraditionalChinese}, {0x7C04, Language::kTraditionalChinese},
      {0x0804, Language::kEnglish},            {0x1004, Language::kEnglish},
      {0x0409, Language::kEnglish},            {0x0411, Language::kEnglish}};
  for (const auto& [id, language] : table) EXPECT_EQ(language, LanguageForUi(id)) << std::hex << id;
}

}  // namespace
