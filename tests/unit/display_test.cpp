// The topology probes and the switcher against the fake laptop's display:
// what they answer for each topology, the pauses on the virtual clock, and
// the mode the switcher submits.
#include <gtest/gtest.h>

#include "app/controller_state.h"
#include "display/switcher.h"
#include "display/topology.h"
#include "fake/fake_laptop.h"
#include "policy/power_display_events.h"

namespace {

const wchar_t kIntel[] = L"Intel(R) Iris(R) Xe Graphics";

struct TopologyCase {
  const char* name;
  std::vector<FakeAdapter> adapters;
  bool external;       // ProbeExternalDisplay
  bool panelActive;    // IsPrimaryPanelActive
  std::uint64_t waitedMs;  // of ProbeExternalDisplay: 10 per adapter and per monitor entry
};

class TopologyTest : public ::testing::TestWithParam<TopologyCase> {
 protected:
  FakeLaptop fake{FakeLaptop::kHardware};
};

TEST_P(TopologyTest, ProbesAnswerForTheTopology) {
  const TopologyCase& t = GetParam();
  fake.display.adapters = t.adapters;

  EXPECT_EQ(t.external, ProbeExternalDisplay());
  EXPECT_EQ(t.waitedMs, fake.SleptSince(0));

  const std::size_t before = fake.calls.size();
  EXPECT_EQ(t.panelActive, IsPrimaryPanelActive());
  EXPECT_EQ(0u, fake.SleptSince(before)) << "the panel test does not pause";
  for (const FakeCall& c : fake.calls) {
    if (c.name == "EnumDisplayDevicesW") {
      EXPECT_NE(std::string::npos, c.detail.find("flags=0"));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Topologies, TopologyTest,
    ::testing::Values(
        TopologyCase{"PanelAlone", {{kIntel, {3}}}, false, true, 20},
        TopologyCase{"TwoIntelEntriesOneActiveEach", {{kIntel, {3}}, {kIntel, {3}}}, true, true, 40},
        TopologyCase{"OneIntelEntryTwoActive", {{kIntel, {3, 3}}}, true, true, 30},
        TopologyCase{"PanelAndAnotherVendor", {{kIntel, {3}}, {L"NVIDIA GeForce MX450", {3}}}, true, true, 40},
        TopologyCase{"OnlyAnotherVendorActive", {{kIntel, {0}}, {L"AMD Radeon", {3}}}, true, false, 40},
        TopologyCase{"SecondMonitorActiveNotAttached", {{kIntel, {3, 1}}}, false, true, 30},
        TopologyCase{"SecondMonitorWithAFurtherBit", {{kIntel, {3, 3 | DISPLAY_DEVICE_MIRRORING_DRIVER}}}, false, true, 30},
        TopologyCase{"SecondMonitorAttachedOnly", {{kIntel, {3, 2}}}, false, true, 30},
        TopologyCase{"CapitalsAreAnotherVendor", {{L"INTEL HD Graphics", {3}}}, true, true, 20},
        TopologyCase{"SmallLettersAreAnotherVendor", {{L"intel hd graphics", {3}}}, true, true, 20},
        TopologyCase{"ShortDescriptionIsAnotherVendor", {{L"Inte", {3}}}, true, true, 20},
        TopologyCase{"NoAdapter", {}, false, false, 0},
        TopologyCase{"AdapterWithoutMonitors", {{kIntel, {}}}, false, false, 10},
        TopologyCase{"PanelFlagsWithAFurtherBit", {{kIntel, {7}}}, false, false, 20},
        TopologyCase{"PanelActiveOnlyOnAdapterOne", {{kIntel, {0}}, {kIntel, {3}}}, false, false, 40},
        TopologyCase{"PanelActiveWhateverTheOthers", {{kIntel, {3, 1, 7}}}, false, true, 40}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Topology, SixtyFourAdaptersWithEightMonitorsEachAreAllCounted) {
  FakeLaptop fake{FakeLaptop::kHardware};
  fake.display.adapters.assign(64, FakeAdapter{kIntel, std::vector<DWORD>(8, 0)});
  EXPECT_FALSE(ProbeExternalDisplay());
  fake.display.adapters[63].monitorFlags[7] = 3;
  EXPECT_FALSE(ProbeExternalDisplay()) << "one active Intel monitor is the panel";
  fake.display.adapters[0].monitorFlags[0] = 3;
  EXPECT_TRUE(ProbeExternalDisplay());
  EXPECT_EQ(3u * (64 + 64 * 8) * 10, fake.SleptSince(0));
}

class SwitcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controllerState = {};
    controllerState.dcRate = 60;
    fake.display.mode = {2560, 1600, 24, 144};
  }
  FakeLaptop fake{FakeLaptop::kHardware};
};

TEST_F(SwitcherTest, AlreadyAtTheDcRateChangesNothing) {
  fake.display.mode.rate = 60;
  EXPECT_TRUE(ApplyDcRate());
  EXPECT_EQ(0u, fake.Count("ChangeDisplaySettingsW"));
  EXPECT_EQ(0u, fake.Count("Sleep"));
}

TEST_F(SwitcherTest, SubmitsTheDcRateKeepingTheModeThenPausesOneSecond) {
  EXPECT_TRUE(ApplyDcRate());
  ASSERT_EQ(1u, fake.display.submittedModes.size());
  const DEVMODEW& m = fake.display.submittedModes[0];
  EXPECT_EQ(2560u, m.dmPelsWidth);
  EXPECT_EQ(1600u, m.dmPelsHeight);
  EXPECT_EQ(24u, m.dmBitsPerPel);
  EXPECT_EQ(60u, m.dmDisplayFrequency);
  EXPECT_EQ(sizeof(DEVMODEW), m.dmSize);
  EXPECT_EQ(0, m.dmDriverExtra);
  EXPECT_EQ(DWORD{DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL | DM_DISPLAYFREQUENCY | DM_DISPLAYFLAGS |
                  DM_POSITION},
            m.dmFields)
      << "every other field stays as read";
  EXPECT_EQ((std::vector<std::string>{"EnumDisplayDevicesW", "EnumDisplaySettingsW",
                                      "ChangeDisplaySettingsW", "Sleep"}),
            fake.Names());
  EXPECT_EQ("2560x1600x24@60 flags=0", fake.calls[2].detail);
  EXPECT_EQ("\\\\.\\DISPLAY1 mode=-1", fake.calls[1].detail);
  EXPECT_EQ((std::vector<DWORD>{1000}), fake.Sleeps());
  EXPECT_EQ(60u, fake.display.mode.rate);
}

TEST_F(SwitcherTest, ADcRateOfZeroIsSubmittedAsItIs) {
  controllerState.dcRate = 0;
  fake.display.mode.rate = 60;
  EXPECT_TRUE(ApplyDcRate());
  ASSERT_EQ(1u, fake.display.submittedModes.size());
  EXPECT_EQ(0u, fake.display.submittedModes[0].dmDisplayFrequency);
}

TEST_F(SwitcherTest, UnreadableModeOrMissingAdapterSubmitsNothing) {
  fake.display.modeReadFails = true;
  EXPECT_FALSE(ApplyDcRate());
  fake.display.modeReadFails = false;
  fake.display.adapters.clear();
  EXPECT_FALSE(ApplyDcRate());
  EXPECT_EQ(0u, fake.Count("ChangeDisplaySettingsW"));
  EXPECT_EQ(0u, fake.Count("Sleep"));
}

struct RefusalCase {
  const char* name;
  LONG result;
  std::size_t submissions;
};

class SwitcherRefusalTest : public SwitcherTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(SwitcherRefusalTest, RetriesOnlyAPlainFailureAndAtMostThreeTimes) {
  fake.display.changeResult = GetParam().result;
  EXPECT_TRUE(ApplyDcRate()) << "a refused change is still reported as submitted";
  ASSERT_EQ(GetParam().submissions, fake.display.submittedModes.size());
  for (const DEVMODEW& m : fake.display.submittedModes) {
    EXPECT_EQ(2560u, m.dmPelsWidth);
    EXPECT_EQ(1600u, m.dmPelsHeight);
    EXPECT_EQ(24u, m.dmBitsPerPel);
    EXPECT_EQ(60u, m.dmDisplayFrequency);
  }
  EXPECT_EQ(std::vector<DWORD>(GetParam().submissions, 1000), fake.Sleeps())
      << "each submission is followed by the one-second pause";
}

INSTANTIATE_TEST_SUITE_P(Results, SwitcherRefusalTest,
                         ::testing::Values(RefusalCase{"BadMode", DISP_CHANGE_BADMODE, 1},
                                           RefusalCase{"NeedsRestart", DISP_CHANGE_RESTART, 1},
                                           RefusalCase{"BadParameter", DISP_CHANGE_BADPARAM, 1},
                                           RefusalCase{"DriverFailed", DISP_CHANGE_FAILED, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

decltype(OsCalls::ChangeDisplaySettingsW) fakeChange = nullptr;

// The driver fails the change plainly, and the display change it announced
// meanwhile is handled nested; an external display present at start-up is
// gone, so that handling rediscovers the range.
LONG WINAPI FailWithNestedRediscovery(DEVMODEW* mode, DWORD flags) {
  const LONG result = fakeChange(mode, flags);
  RefreshRangeIfExternalGone();
  return result;
}

TEST_F(SwitcherTest, EverySubmissionAsksForTheDcRateReadAtTheStart) {
  controllerState.acRate = 144;
  controllerState.rawMinRefreshRate = 60;
  controllerState.rawMaxRefreshRate = 144;
  controllerState.externalDisplayAtStart = 1;
  fake.wmi.controllers = {{FakeProperty::Text(L"Intel(R) UHD Graphics"), FakeProperty::Int(120), FakeProperty::Int(48)}};
  fake.display.changeResult = DISP_CHANGE_FAILED;
  fakeChange = os.ChangeDisplaySettingsW;
  os.ChangeDisplaySettingsW = FailWithNestedRediscovery;
  EXPECT_TRUE(ApplyDcRate());
  EXPECT_EQ(48, controllerState.dcRate) << "the nested handling rediscovered the range";
  ASSERT_EQ(3u, fake.display.submittedModes.size());
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(60u, fake.display.submittedModes[i].dmDisplayFrequency) << "submission " << i + 1;
}

TEST_F(SwitcherTest, ARateThePanelDoesNotOfferIsSubmittedOnce) {
  fake.display.acceptedRates = {144, 120};
  EXPECT_TRUE(ApplyDcRate());
  EXPECT_EQ(1u, fake.display.submittedModes.size());
  EXPECT_EQ(144u, fake.display.mode.rate);
}

}  // namespace
