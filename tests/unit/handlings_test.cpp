// The start-up reconciliation and the event handlings on the fake laptop:
// the rate gate, what each situation writes, and the early exits.
#include <gtest/gtest.h>

#include "app/controller_state.h"
#include "fake/fake_laptop.h"
#include "fake/registry_paths.h"
#include "policy/handlings.h"
#include "policy/power_display_events.h"
#include "policy/rate_gate.h"

namespace {

TEST(RateGate, MoreThanThreeApartWithoutOverflow) {
  const struct { std::int32_t ac, dc; bool real; } table[] = {
      {60, 57, false}, {60, 48, true},  {57, 60, false}, {48, 60, true}, {0, 0, false},
      {3, 0, false},   {0, -4, true},   {-1, 2, false},  {INT32_MAX, INT32_MIN, true},
      {INT32_MIN, INT32_MAX, true},     {INT32_MIN, INT32_MIN + 3, false}, {INT32_MAX, INT32_MAX - 4, true}};
  for (const auto& t : table) EXPECT_EQ(t.real, RatesSpanARealRange(t.ac, t.dc)) << t.ac << " " << t.dc;
}


class HandlingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controllerState = {};
    controllerState.dcRate = 40;
    controllerState.acRate = 60;
    controllerState.rawMinRefreshRate = 40;
    controllerState.rawMaxRefreshRate = 60;
    fake.files.scratchFolder = MakeScratchFolder("handling");
    fake.SetPanel({40, 60}, 60);
    fake.SetString(kPowerSchemesKey, L"ActivePowerScheme", L"381b4222-f694-41f0-9685-ff5bb260df2e");
    fake.SetString(kDisplayAdapterClassKey + L"\\0000", L"ProviderName", L"Intel Corporation");
    fake.SetDword(kDisplayAdapterClassKey + L"\\0000", L"DCUserPreferencePolicy", 0);
    fake.wmi.controllers = {{FakeProperty::Text(L"Intel(R) UHD Graphics"), FakeProperty::Int(60), FakeProperty::Int(40)}};
    fake.SetFile("lasttimeACDC.txt", "1");
    fake.SetFile("lasttimeDCRefresh.txt", "2");
  }
  void TearDown() override { EXPECT_EQ("", fake.Leaks()); }
  std::string Acdc() { return fake.FileContent("lasttimeACDC.txt").value_or("absent"); }
  std::string Refresh() { return fake.FileContent("lasttimeDCRefresh.txt").value_or("absent"); }
  bool Decided() const { return fake.Count("RegQueryValueExW") > 0; }
  FakeLaptop fake{FakeLaptop::kHardware};
};

struct PowerCase {
  const char* name;
  BYTE acLine;
  bool locked;
  bool external;
  bool decided;
  const char* acdc;
  const char* refresh;
};

class PowerStatusTest : public HandlingTest, public ::testing::WithParamInterface<PowerCase> {};

TEST_P(PowerStatusTest, RecordsTheSourceUnlessLockedAndDecidesOnBattery) {
  const PowerCase& p = GetParam();
  fake.power.acLineStatus = p.acLine;
  controllerState.sessionLocked = p.locked;
  if (p.external) fake.display.adapters.push_back({L"DisplayLink USB Device", {3}});
  EXPECT_EQ(0, OnPowerStatusChange());
  EXPECT_EQ(p.decided, Decided());
  EXPECT_EQ(p.acdc, Acdc());
  EXPECT_EQ(p.refresh, Refresh());
}

INSTANTIATE_TEST_SUITE_P(
    Situations, PowerStatusTest,
    ::testing::Values(
        PowerCase{"Mains", 1, false, false, false, "1", "1"},
        PowerCase{"MainsLocked", 1, true, false, false, "1", "2"},
        // The switch itself is announced by a display change that this test
        // does not deliver, so lasttimeDCRefresh.txt is untouched here.
        PowerCase{"Battery", 0, false, false, true, "2", "2"},
        PowerCase{"BatteryLockedStillDecides", 0, true, false, true, "1", "2"},
        PowerCase{"BatteryWithExternalDisplay", 0, false, true, false, "2", "2"},
        PowerCase{"UnknownCountsAsBattery", 255, false, false, true, "2", "2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HandlingTest, AFailedPowerReadingDoesNothingFurther) {
  fake.power.powerStatusFails = true;
  fake.power.acLineStatus = 0;
  OnPowerStatusChange();
  OnDisplayChange();
  OnSessionChange(WTS_SESSION_UNLOCK);
  ReconcileAtStartup();
  EXPECT_FALSE(Decided());
  EXPECT_EQ(0u, fake.Count("fopen_s"));
  EXPECT_EQ("1", Acdc());
}

TEST_F(HandlingTest, TheRateGateStopsEveryHandlingBeforeThePowerReading) {
  controllerState.dcRate = 57;
  for (int i = 0; i < 3; ++i) {
    if (i == 0) OnPowerStatusChange();
    if (i == 1) OnDisplayChange();
    if (i == 2) OnSessionChange(WTS_SESSION_LOGON);
  }
  EXPECT_EQ(0u, fake.Count("GetSystemPowerStatus"));
  EXPECT_EQ(0u, fake.Count("fopen_s"));
}

TEST_F(HandlingTest, AnInactivePanelStopsTheHandlings) {
  fake.display.adapters[0].monitorFlags = {1};
  OnPowerStatusChange();
  OnSessionChange(WTS_SESSION_UNLOCK);
  EXPECT_EQ(0u, fake.Count("GetSystemPowerStatus"));
}

struct DisplayCase {
  const char* name;
  BYTE acLine;
  DWORD rate;
  bool external;
  const char* refresh;
};

class DisplayChangeTest : public HandlingTest, public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(DisplayChangeTest, RecordsOnBatteryWhetherThePanelRunsAtTheDcRate) {
  fake.power.acLineStatus = GetParam().acLine;
  fake.display.mode.rate = GetParam().rate;
  if (GetParam().external) fake.display.adapters.push_back({L"NVIDIA", {3}});
  EXPECT_EQ(0, OnDisplayChange());
  EXPECT_EQ(GetParam().refresh, Refresh());
  EXPECT_EQ("1", Acdc()) << "a display change never touches lasttimeACDC.txt";
}

INSTANTIATE_TEST_SUITE_P(Situations, DisplayChangeTest,
                         ::testing::Values(DisplayCase{"BatteryAtTheDcRate", 0, 40, false, "1"},
                                           DisplayCase{"BatteryAtAnotherRate", 0, 60, false, "2"},
                                           DisplayCase{"Mains", 1, 40, false, "2"},
                                           DisplayCase{"External", 0, 40, true, "2"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HandlingTest, DisplayChangeTakesTheAdapterBeforeTheGateAndWritesNothingWithoutAMode) {
  fake.power.acLineStatus = 0;
  fake.display.mode.rate = 40;
  fake.display.modeReadFails = true;
  OnDisplayChange();
  EXPECT_EQ("2", Refresh());
  const std::vector<std::string> names =
      fake.Names({"EnumDisplayDevicesW", "GetSystemPowerStatus", "EnumDisplaySettingsW"});
  // probe (adapter, monitor, no more monitors, no more adapters), the
  // adapter, the panel test (adapter, monitor), the power, the mode.
  EXPECT_EQ((std::vector<std::string>{"EnumDisplayDevicesW", "EnumDisplayDevicesW", "EnumDisplayDevicesW",
                                      "EnumDisplayDevicesW", "EnumDisplayDevicesW", "EnumDisplayDevicesW",
                                      "EnumDisplayDevicesW", "GetSystemPowerStatus", "EnumDisplaySettingsW"}),
            names);
}

struct RediscoveryCase {
  const char* name;
  int externalAtStart;
  bool externalNow;
  bool rediscovers;
};

class RediscoveryTest : public HandlingTest, public ::testing::WithParamInterface<RediscoveryCase> {};

TEST_P(RediscoveryTest, OnlyWhenTheStartUpExternalDisplayIsGone) {
  controllerState.externalDisplayAtStart = GetParam().externalAtStart;
  if (GetParam().externalNow) fake.display.adapters.push_back({L"NVIDIA", {3}});
  EXPECT_EQ(GetParam().externalNow, RefreshRangeIfExternalGone());
  EXPECT_EQ(GetParam().rediscovers ? 1u : 0u, fake.Count("ExecQuery"));
  EXPECT_EQ(GetParam().externalAtStart, controllerState.externalDisplayAtStart) << "never changed";
}

INSTANTIATE_TEST_SUITE_P(Cases, RediscoveryTest,
                         ::testing::Values(RediscoveryCase{"Gone", 1, false, true},
                                           RediscoveryCase{"StillThere", 1, true, false},
                                           RediscoveryCase{"NeverThere", 0, false, false},
                                           RediscoveryCase{"NewOne", 0, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HandlingTest, TheRediscoveryRunsBeforeTheRateGate) {
  // At start-up WMI reported a single rate (the external display's); once
  // that display is gone, the panel's real range must open the gate.
  controllerState.externalDisplayAtStart = 1;
  fake.power.acLineStatus = 0;
  const struct { const char* name; void (*handle)(); } handlings[] = {
      {"power status", [] { OnPowerStatusChange(); }},
      {"display change", [] { OnDisplayChange(); }},
      {"unlock", [] { OnSessionChange(WTS_SESSION_UNLOCK); }}};
  for (const auto& h : handlings) {
    controllerState.dcRate = controllerState.acRate = 60;
    controllerState.rawMinRefreshRate = controllerState.rawMaxRefreshRate = 60;
    const std::size_t before = fake.Count("GetSystemPowerStatus");
    h.handle();
    EXPECT_EQ(40, controllerState.dcRate) << h.name;
    EXPECT_EQ(before + 1, fake.Count("GetSystemPowerStatus")) << h.name << " stopped at the gate";
  }
}

TEST_F(HandlingTest, TheSenderIsAnsweredBeforeTheRediscoveryAsksWmiUnlessThisThreadSentIt) {
  // Windows' COM refuses this apartment's calls to the WMI service while a
  // sender on another thread waits for this handling; the controller's own
  // switch sends WM_DISPLAYCHANGE from this thread, and nobody waits then.
  controllerState.externalDisplayAtStart = 1;
  const struct {
    const char* name;
    bool byAnotherThread;
    std::vector<std::string> calls;
  } table[] = {
      {"sent by another thread", true, {"InSendMessageEx", "ReplyMessage", "ConnectServer", "ExecQuery"}},
      {"sent by this thread", false, {"InSendMessageEx", "ConnectServer", "ExecQuery"}},
  };
  for (const auto& t : table) {
    controllerState.dcRate = controllerState.acRate = 60;
    controllerState.rawMinRefreshRate = controllerState.rawMaxRefreshRate = 60;
    const std::size_t first = fake.calls.size();
    fake.HandleSentMessage(t.byAnotherThread, [] { OnDisplayChange(); });
    std::vector<std::string> calls;
    for (std::size_t i = first; i < fake.calls.size(); ++i)
      if (fake.calls[i].name == "InSendMessageEx" || fake.calls[i].name == "ReplyMessage" ||
          fake.calls[i].name == "ConnectServer" || fake.calls[i].name == "ExecQuery") {
        calls.push_back(fake.calls[i].name);
        if (fake.calls[i].name == "ReplyMessage") {
          EXPECT_EQ("0", fake.calls[i].detail) << t.name;
        }
      }
    EXPECT_EQ(t.calls, calls) << t.name;
    EXPECT_EQ(40, controllerState.dcRate) << t.name << ": WMI answered the rediscovery";
  }
}

struct SessionCase {
  const char* name;
  WPARAM code;
  bool lockedBefore;
  bool lockedAfter;
  bool catchesUp;
};

class SessionTest : public HandlingTest, public ::testing::WithParamInterface<SessionCase> {};

// None of the known event codes, though its low half (of 32 or 64 bits)
// reads as WTS_SESSION_LOCK: an event code is never cut down.
constexpr WPARAM kLockInTheLowHalf = (WPARAM{1} << (sizeof(WPARAM) * 4)) | WTS_SESSION_LOCK;

TEST_P(SessionTest, LockSetsUnlockClearsAndLogOnAndUnlockCatchUp) {
  controllerState.sessionLocked = GetParam().lockedBefore;
  controllerState.retryCount = 9;
  fake.power.acLineStatus = 1;
  OnSessionChange(GetParam().code);
  EXPECT_EQ(GetParam().lockedAfter, controllerState.sessionLocked);
  EXPECT_EQ(GetParam().catchesUp ? 1u : 0u, fake.Count("GetSystemPowerStatus"));
  if (!GetParam().catchesUp) {
    EXPECT_EQ(0, controllerState.retryCount) << "reset whatever the event";
    EXPECT_TRUE(fake.calls.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Events, SessionTest,
    ::testing::Values(SessionCase{"Lock", WTS_SESSION_LOCK, false, true, false},
                      SessionCase{"Unlock", WTS_SESSION_UNLOCK, true, false, true},
                      SessionCase{"LogOnLeavesTheFlag", WTS_SESSION_LOGON, true, true, true},
                      SessionCase{"LogOff", WTS_SESSION_LOGOFF, true, true, false},
                      SessionCase{"ConsoleConnect", WTS_CONSOLE_CONNECT, false, false, false},
                      SessionCase{"RemoteDisconnect", WTS_REMOTE_DISCONNECT, true, true, false},
                      SessionCase{"RemoteControl", WTS_SESSION_REMOTE_CONTROL, false, false, false},
                      SessionCase{"Unknown", kLockInTheLowHalf, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HandlingTest, CatchUpOnMainsWritesOnlyTheSourceAndOnBatteryDecidesFirst) {
  fake.SetFile("lasttimeACDC.txt", "2");
  fake.power.acLineStatus = 1;
  OnSessionChange(WTS_SESSION_UNLOCK);
  EXPECT_EQ("1", Acdc());
  EXPECT_EQ("2", Refresh());
  EXPECT_FALSE(Decided());

  fake.power.acLineStatus = 0;
  OnSessionChange(WTS_SESSION_LOGON);
  EXPECT_TRUE(Decided());
  EXPECT_EQ("2", Acdc());
}

TEST_F(HandlingTest, StartUpTakesTheProbeAndTheRangeFirstAndAlwaysWaitsOneSecond) {
  controllerState = {};
  fake.display.adapters.push_back({L"NVIDIA", {3}});
  fake.power.acLineStatus = 0;
  ReconcileAtStartup();
  EXPECT_EQ(1, controllerState.externalDisplayAtStart);
  EXPECT_EQ(40, controllerState.dcRate);
  EXPECT_FALSE(Decided()) << "an external display at start-up skips the decision";
  EXPECT_EQ("2", Acdc());
  const std::vector<std::string> order =
      fake.Names({"CoInitializeEx", "EnumDisplaySettingsW", "_access", "GetSystemPowerStatus"});
  EXPECT_EQ((std::vector<std::string>{"CoInitializeEx", "EnumDisplaySettingsW", "_access",
                                      "GetSystemPowerStatus"}),
            order);
  EXPECT_NE(fake.Sleeps().end(), std::find(fake.Sleeps().begin(), fake.Sleeps().end(), 1000u));
}

TEST_F(HandlingTest, StartUpWithoutAReadableModeCreatesTheRefreshMarkAsTwo) {
  controllerState = {};
  fake.RemoveFile("lasttimeACDC.txt");
  fake.RemoveFile("lasttimeDCRefresh.txt");
  fake.display.mode.rate = 40;  // the DC rate, but it cannot be read
  fake.display.modeReadFails = true;
  ReconcileAtStartup();
  EXPECT_EQ("2", Refresh());
  EXPECT_EQ("1", Acdc()) << "on mains after the creation";
}

TEST_F(HandlingTest, StartUpWithASingleRateOnlyCreatesTheFilesAndWaits) {
  controllerState = {};
  fake.wmi.controllers = {{FakeProperty::Text(L"Intel(R) UHD Graphics"), FakeProperty::Int(60), FakeProperty::Int(59)}};
  fake.RemoveFile("lasttimeACDC.txt");
  fake.RemoveFile("lasttimeDCRefresh.txt");
  ReconcileAtStartup();
  EXPECT_EQ(0u, fake.Count("GetSystemPowerStatus"));
  EXPECT_EQ("2", Acdc());
  EXPECT_EQ("1", Refresh()) << "the panel runs at 60 Hz, the (only) DC rate";
  EXPECT_EQ(20u + 12u + 1000u, fake.now);
}

}  // namespace
