// The restore decision on the fake laptop: the power scheme, the driver's
// policy value and the marks, the order of its calls and its pauses.
#include <gtest/gtest.h>

#include <cstring>

#include "app/controller_state.h"
#include "fake/fake_laptop.h"
#include "fake/registry_paths.h"
#include "policy/restore_decision.h"

namespace {

const wchar_t kExempt[] = L"6fecc5ae-f350-48a5-b669-b472cb895ccf";

class DecisionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controllerState = {};
    controllerState.dcRate = 40;
    controllerState.acRate = 60;
    fake.files.scratchFolder = MakeScratchFolder("decision");
    fake.SetPanel({40, 60}, 60);
    fake.SetString(kPowerSchemesKey, L"ActivePowerScheme", L"381b4222-f694-41f0-9685-ff5bb260df2e");
    Driver(0);
    fake.SetFile("lasttimeACDC.txt", "1");
    fake.SetFile("lasttimeDCRefresh.txt", "2");
  }
  void TearDown() override { EXPECT_EQ("", fake.Leaks()); }
  void Driver(DWORD policy) {
    fake.SetString(kDisplayAdapterClassKey + L"\\0000", L"ProviderName", L"Intel Corporation");
    fake.SetDword(kDisplayAdapterClassKey + L"\\0000", L"DCUserPreferencePolicy", policy);
  }
  bool Switched() const { return fake.Count("ChangeDisplaySettingsW") == 1; }
  FakeLaptop fake{FakeLaptop::kHardware};
};

TEST_F(DecisionTest, RunsItsCallsInOrderWithThePauseGiven) {
  for (DWORD pause : {1000u, 100u}) {
    SetUp();
    fake.calls.clear();
    RestoreDcRateIfDue(pause);
    const std::vector<std::string> expected = {
        "RegOpenKeyExW", "RegQueryValueExW",
        "RegOpenKeyExW", "RegEnumKeyExW", "RegGetValueW", "RegGetValueW", "RegCloseKey",  // the driver
        "RegCloseKey",   "Sleep",  // the pause
        "fopen_s", "Sleep", "fopen_s", "fscanf_s", "Sleep", "fscanf_s", "fclose", "fclose",
        "Sleep",  // 2000
        "EnumDisplayDevicesW", "EnumDisplaySettingsW", "ChangeDisplaySettingsW", "Sleep"};
    EXPECT_EQ(expected, fake.Names());
    EXPECT_EQ((std::vector<DWORD>{pause, 100, 100, 2000, 1000}), fake.Sleeps());
    EXPECT_EQ("ActivePowerScheme size=260", fake.calls[1].detail);
    EXPECT_NE(std::string::npos, fake.calls[0].detail.find("access=0x20019")) << "KEY_READ";
    EXPECT_EQ(40u, fake.display.mode.rate);
  }
}

struct PolicyCase {
  DWORD policy;
  bool goesOn;
};

class PolicyTest : public DecisionTest, public ::testing::WithParamInterface<PolicyCase> {};

TEST_P(PolicyTest, ZeroOrBitsFourToSevenHoldingFourLetTheDecisionGoOn) {
  Driver(GetParam().policy);
  RestoreDcRateIfDue(100);
  EXPECT_EQ(GetParam().goesOn, Switched());
  EXPECT_EQ(GetParam().goesOn ? 2u : 0u, fake.Count("fopen_s"));
  EXPECT_EQ(100u, fake.Sleeps().front()) << "the pause comes before the policy test";
}

INSTANTIATE_TEST_SUITE_P(Values, PolicyTest,
                         ::testing::Values(PolicyCase{0, true}, PolicyCase{0x40, true}, PolicyCase{0x4F, true},
                                           PolicyCase{0x140, true}, PolicyCase{0xFFFFFF4F, true},
                                           PolicyCase{0x01, false}, PolicyCase{0x10, false},
                                           PolicyCase{0x30, false}, PolicyCase{0x50, false},
                                           PolicyCase{0xF0, false}));

struct MarksCase {
  const char* name;
  const char* acdc;     // nullptr: the file is missing
  const char* refresh;
  bool switches;
};

class MarksTest : public DecisionTest, public ::testing::WithParamInterface<MarksCase> {};

TEST_P(MarksTest, SwitchesWhenMainsWasLastOrTheBatteryRateWasTheDcRate) {
  fake.RemoveFile("lasttimeACDC.txt");
  fake.RemoveFile("lasttimeDCRefresh.txt");
  if (GetParam().acdc) fake.SetFile("lasttimeACDC.txt", GetParam().acdc);
  if (GetParam().refresh) fake.SetFile("lasttimeDCRefresh.txt", GetParam().refresh);
  RestoreDcRateIfDue(100);
  EXPECT_EQ(GetParam().switches, Switched());
}

INSTANTIATE_TEST_SUITE_P(
    Marks, MarksTest,
    ::testing::Values(MarksCase{"MainsThenAnything", "1", "2", true},
                      MarksCase{"BatteryAtTheDcRate", "2", "1", true},
                      MarksCase{"BatteryAtAnotherRate", "2", "2", false},
                      MarksCase{"MainsAndAnEmptyRefreshFile", "1", "", true},
                      MarksCase{"EmptyAcdcFile", "", "1", false},
                      MarksCase{"NeitherMark", "x", "1", false},
                      MarksCase{"LongToken", "11", "1", false},
                      MarksCase{"RefreshFileMissing", "1", nullptr, false},
                      MarksCase{"AcdcFileMissing", nullptr, "1", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecisionTest, TheExemptSchemeStopsAfterTheDriverScanWithoutTouchingTheFiles) {
  fake.SetString(kPowerSchemesKey, L"ActivePowerScheme", kExempt);
  std::strcpy(controllerState.acdcMark, "2");
  RestoreDcRateIfDue(100);
  EXPECT_EQ(1u, fake.Count("RegEnumKeyExW")) << "the driver policy is still probed";
  EXPECT_EQ(0u, fake.Count("fopen_s"));
  EXPECT_EQ(0u, fake.Count("Sleep"));
  EXPECT_STREQ("2", controllerState.acdcMark);
}

TEST_F(DecisionTest, TheExemptSchemeInCapitalsIsAnotherScheme) {
  fake.SetString(kPowerSchemesKey, L"ActivePowerScheme", L"6FECC5AE-F350-48A5-B669-B472CB895CCF");
  RestoreDcRateIfDue(100);
  EXPECT_TRUE(Switched());
}

TEST_F(DecisionTest, AnUnterminatedExemptSchemeIsStillTheExemptScheme) {
  std::vector<BYTE> bytes(36 * 2);
  std::memcpy(bytes.data(), kExempt, bytes.size());
  fake.SetValue(kPowerSchemesKey, L"ActivePowerScheme", REG_SZ, bytes);
  RestoreDcRateIfDue(100);
  EXPECT_FALSE(Switched());
}

TEST_F(DecisionTest, ASchemeLongerThanTheLimitStopsTheDecision) {
  fake.SetValue(kPowerSchemesKey, L"ActivePowerScheme", REG_SZ, std::vector<BYTE>(300, 'a'));
  RestoreDcRateIfDue(100);
  EXPECT_EQ(1u, fake.Count("RegOpenKeyExW")) << "stops before the driver probe";
  EXPECT_EQ(1u, fake.Count("RegCloseKey"));
  EXPECT_FALSE(Switched());
}

TEST_F(DecisionTest, AMissingSchemeStopsBeforeTheDriverProbe) {
  fake.Key(kPowerSchemesKey).values.clear();
  RestoreDcRateIfDue(100);
  EXPECT_EQ((std::vector<std::string>{"RegOpenKeyExW", "RegQueryValueExW", "RegCloseKey"}), fake.Names());
}

TEST_F(DecisionTest, AMissingSchemeKeyClosesNothing) {
  fake.RemoveKey(kPowerSchemesKey);
  RestoreDcRateIfDue(100);
  EXPECT_EQ((std::vector<std::string>{"RegOpenKeyExW"}), fake.Names());
}

TEST_F(DecisionTest, NoDriverPolicyClosesTheSchemeKeyAndStops) {
  fake.RemoveKey(kDisplayAdapterClassKey);
  RestoreDcRateIfDue(100);
  EXPECT_EQ(1u, fake.Count("RegCloseKey"));
  EXPECT_EQ(0u, fake.Count("Sleep"));
  EXPECT_FALSE(Switched());
}

}  // namespace
