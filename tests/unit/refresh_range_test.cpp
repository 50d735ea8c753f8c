// The range discovery against the fake laptop's WMI: the snap table, which
// controller is taken, the stop rule across runs, the exact COM calls, and
// every object, string and COM entry given back on every path.
#include <gtest/gtest.h>

#include <wbemidl.h>

#include "app/controller_state.h"
#include "discovery/refresh_range.h"
#include "fake/fake_laptop.h"
#include "platform/hresult_error.h"

namespace {

TEST(SnapToNominalRate, EveryWindowEdge) {
  const std::pair<std::uint32_t, std::int32_t> table[] = {
      {0, 0},     {26, 26},   {27, 30},   {33, 30},   {34, 34},   {36, 36},   {37, 40},
      {43, 40},   {44, 44},   {45, 48},   {51, 48},   {52, 52},   {56, 56},   {57, 60},
      {63, 60},   {64, 64},   {96, 96},   {97, 100},  {103, 100}, {104, 104}, {116, 116},
      {117, 120}, {123, 120}, {124, 124}, {140, 140}, {141, 144}, {147, 144}, {148, 148},
      {240, 240}, {241, 244}, {247, 244}, {248, 248},
      // Values that are negative as signed numbers lie in no window.
      {0xFFFFFFFFu, -1},          {0x80000000u, INT32_MIN},
      {0xFFFFFFFFu - 2, -3}};
  for (const auto& [reported, snapped] : table)
    EXPECT_EQ(snapped, SnapToNominalRate(reported)) << "reported " << reported;
}

const FakeController kOther = {FakeProperty::Text(L"NVIDIA GeForce MX450"), FakeProperty::Int(165),
                               FakeProperty::Int(60)};

FakeController Intel(FakeProperty min, FakeProperty max, std::wstring name = L"Intel(R) UHD Graphics 620") {
  return {FakeProperty::Text(std::move(name)), std::move(max), std::move(min)};
}

class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override { controllerState = {}; }
  void TearDown() override { EXPECT_EQ("", fake.Leaks()); }
  void ExpectFields(std::uint32_t rawMin, std::uint32_t rawMax, std::int32_t dc, std::int32_t ac) {
    EXPECT_EQ(rawMin, controllerState.rawMinRefreshRate);
    EXPECT_EQ(rawMax, controllerState.rawMaxRefreshRate);
    EXPECT_EQ(dc, controllerState.dcRate);
    EXPECT_EQ(ac, controllerState.acRate);
  }
  FakeLaptop fake{FakeLaptop::kHardware};
};

TEST_F(DiscoveryTest, TakesTheIntelControllerAfterAnotherWithOnePause) {
  fake.wmi.controllers = {kOther, Intel(FakeProperty::Int(40), FakeProperty::Int(60))};
  DiscoverRefreshRange();
  ExpectFields(40, 60, 40, 60);
  EXPECT_EQ((std::vector<DWORD>{10}), fake.Sleeps());
}

TEST_F(DiscoveryTest, SnapsBothRates) {
  fake.wmi.controllers = {Intel(FakeProperty::Int(47), FakeProperty::Int(144))};
  DiscoverRefreshRange();
  ExpectFields(47, 144, 48, 144);
  EXPECT_EQ(0u, fake.Count("Sleep")) << "the walk stops at once when the range is complete";
}

TEST_F(DiscoveryTest, NoIntelControllerLeavesTheFieldsWithAPauseAfterEach) {
  fake.wmi.controllers = {kOther, kOther, kOther};
  DiscoverRefreshRange();
  ExpectFields(0, 0, 0, 0);
  EXPECT_EQ((std::vector<DWORD>{10, 10, 10}), fake.Sleeps());
}

TEST_F(DiscoveryTest, ANullMinimumCountsAsZeroAndTheWalkRunsToTheEnd) {
  fake.wmi.controllers = {Intel(FakeProperty::Null(), FakeProperty::Int(144)), kOther};
  DiscoverRefreshRange();
  ExpectFields(0, 144, 0, 144);
  EXPECT_EQ(3u, fake.Count("Next"));
  EXPECT_EQ(2u, fake.Count("Sleep"));
}

TEST_F(DiscoveryTest, EveryMatchingControllerOnTheWayOverwritesTheFields) {
  fake.wmi.controllers = {Intel(FakeProperty::Int(57), FakeProperty::Null()),
                      Intel(FakeProperty::Int(40), FakeProperty::Int(120))};
  DiscoverRefreshRange();
  ExpectFields(40, 120, 40, 120);
}

TEST_F(DiscoveryTest, ALaterRunEndsAfterTheFirstObjectWhenTheStoredRangeIsComplete) {
  fake.wmi.controllers = {Intel(FakeProperty::Int(40), FakeProperty::Int(60))};
  DiscoverRefreshRange();
  fake.wmi.controllers = {kOther, Intel(FakeProperty::Int(48), FakeProperty::Int(144))};
  fake.calls.clear();
  DiscoverRefreshRange();
  ExpectFields(40, 60, 40, 60);
  EXPECT_EQ(1u, fake.Count("Next"));
  EXPECT_EQ(0u, fake.Count("Sleep"));
}

TEST_F(DiscoveryTest, ALaterRunWithNoMatchKeepsTheRawValues) {
  fake.wmi.controllers = {Intel(FakeProperty::Null(), FakeProperty::Int(144))};
  DiscoverRefreshRange();
  fake.wmi.controllers = {kOther};
  DiscoverRefreshRange();
  ExpectFields(0, 144, 0, 144);
}

TEST_F(DiscoveryTest, ALaterRunWhoseFirstObjectMatchesReplacesTheValues) {
  fake.wmi.controllers = {Intel(FakeProperty::Int(40), FakeProperty::Int(60))};
  DiscoverRefreshRange();
  fake.wmi.controllers = {Intel(FakeProperty::Int(47), FakeProperty::Int(144))};
  DiscoverRefreshRange();
  ExpectFields(47, 144, 48, 144);
}

struct NameCase {
  const char* name;
  FakeProperty controllerName;
  bool matches;
};

class VendorTest : public DiscoveryTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(VendorTest, OnlyTheFirstFiveUnitsExactlyIntelMatch) {
  fake.wmi.controllers = {{GetParam().controllerName, FakeProperty::Int(60), FakeProperty::Int(40)}};
  DiscoverRefreshRange();
  EXPECT_EQ(GetParam().matches ? 40 : 0, controllerState.dcRate);
}

INSTANTIATE_TEST_SUITE_P(
    Names, VendorTest,
    ::testing::Values(NameCase{"IntelR", FakeProperty::Text(L"Intel(R) UHD Graphics 620"), true},
                      NameCase{"IntelAlone", FakeProperty::Text(L"Intel"), true},
                      NameCase{"Intelligent", FakeProperty::Text(L"Intelligent Display"), true},
                      NameCase{"SmallLetters", FakeProperty::Text(L"intel(r) uhd"), false},
                      NameCase{"Capitals", FakeProperty::Text(L"INTEL UHD"), false},
                      NameCase{"Short", FakeProperty::Text(L"Inte"), false},
                      NameCase{"Empty", FakeProperty::Text(L""), false},
                      NameCase{"LeadingBlank", FakeProperty::Text(L" Intel"), false},
                      NameCase{"NotAString", FakeProperty::Int(0x65746e49), false},
                      NameCase{"Null", FakeProperty::Null(), false}),
    [](const auto& info) { return std::string(info.param.name); });

struct RateCase {
  const char* name;
  FakeProperty rate;
  std::uint32_t raw;
};

class RateTypeTest : public DiscoveryTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(RateTypeTest, AnyIntegerIsTakenAsItsThirtyTwoBitValueAndAnythingElseAsZero) {
  fake.wmi.controllers = {Intel(FakeProperty::Int(40), GetParam().rate)};
  DiscoverRefreshRange();
  EXPECT_EQ(GetParam().raw, controllerState.rawMaxRefreshRate);
  EXPECT_EQ(SnapToNominalRate(GetParam().raw), controllerState.acRate);
}

INSTANTIATE_TEST_SUITE_P(
    Types, RateTypeTest,
    ::testing::Values(RateCase{"I4", FakeProperty::Int(144), 144},
                      RateCase{"UI4", FakeProperty::Int(0xFFFFFFFF, VT_UI4), 0xFFFFFFFF},
                      RateCase{"NegativeI4", FakeProperty::Int(-1), 0xFFFFFFFF},
                      RateCase{"MinimumI4", FakeProperty::Int(INT32_MIN), 0x80000000},
                      RateCase{"I2", FakeProperty::Int(120, VT_I2), 120},
                      RateCase{"UI1", FakeProperty::Int(60, VT_UI1), 60},
                      RateCase{"I8InRange", FakeProperty::Int(165, VT_I8), 165},
                      RateCase{"I8OutOfRange", FakeProperty::Int(std::int64_t{1} << 40, VT_I8), 0},
                      RateCase{"Double", FakeProperty::Int(60, VT_R8), 0},
                      RateCase{"Boolean", FakeProperty::Int(1, VT_BOOL), 0},
                      RateCase{"String", FakeProperty::Text(L"144"), 0},
                      RateCase{"Null", FakeProperty::Null(), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DiscoveryTest, MakesTheCallsInOrderWithTheirArguments) {
  fake.wmi.controllers = {Intel(FakeProperty::Int(40), FakeProperty::Int(60))};
  DiscoverRefreshRange();
  std::vector<std::string> log;
  for (const FakeCall& c : fake.calls) log.push_back(c.name + " " + c.detail);
  const std::vector<std::string> expected = {
      "CoInitializeEx flags=2",
      "CoInitializeSecurity null -1 null null authn=0 imp=3 null caps=0 null",
      "CoCreateInstance WbemLocator context=1",
      "SysAllocString ROOT\\CIMV2",
      "ConnectServer ROOT\\CIMV2|(null)|(null)|(null)|0|(null)",
      "SysFreeString ROOT\\CIMV2",
      "CoSetProxyBlanket proxy authn=10 authz=0 null level=3 imp=3 null caps=0",
      "SysAllocString WQL",
      "SysAllocString SELECT * FROM Win32_VideoController",
      "ExecQuery WQL|SELECT * FROM Win32_VideoController|flags=0x30",
      "SysFreeString WQL",
      "SysFreeString SELECT * FROM Win32_VideoController",
      "VariantInit ",
      "VariantInit ",
      "VariantInit ",
      "Next timeout=-1 count=1",
      "Get Name flags=0",
      "Get MaxRefreshRate flags=0",
      "Get MinRefreshRate flags=0",
      "VariantClear 3",  // MaxRefreshRate, MinRefreshRate, then the name
      "VariantClear 3",
      "VariantClear 8",
      "Release object",
      "Release enumerator",
      "Release services",
      "Release locator",
      "CoUninitialize "};
  EXPECT_EQ(expected, log);
}

struct ComRefusalCase {
  const char* name;
  HRESULT FakeLaptop::Wmi::*answer;
  HRESULT refusal;
};

class ComRefusalTest : public DiscoveryTest, public ::testing::WithParamInterface<ComRefusalCase> {};

// Neither answer is looked at: every run after the first in a process meets
// RPC_E_TOO_LATE, and the rediscovery must still take its rates.
TEST_P(ComRefusalTest, ALaterRunStillTakesTheRatesOfAMatchingController) {
  fake.wmi.controllers = {Intel(FakeProperty::Int(40), FakeProperty::Int(60))};
  DiscoverRefreshRange();
  fake.wmi.*GetParam().answer = GetParam().refusal;
  fake.wmi.controllers = {Intel(FakeProperty::Int(47), FakeProperty::Int(144))};
  DiscoverRefreshRange();
  ExpectFields(47, 144, 48, 144);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ComRefusalTest,
    ::testing::Values(ComRefusalCase{"SecurityTooLate", &FakeLaptop::Wmi::securityResult, RPC_E_TOO_LATE},
                      ComRefusalCase{"ProxyBlanketDenied", &FakeLaptop::Wmi::proxyBlanketResult, E_ACCESSDENIED}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DiscoveryTest, AFailedQueryChangesNothingAndLeavesCom) {
  controllerState.rawMinRefreshRate = 40;
  controllerState.dcRate = 40;
  fake.wmi.queryFails = true;
  fake.wmi.controllers = {Intel(FakeProperty::Int(48), FakeProperty::Int(144))};
  DiscoverRefreshRange();
  ExpectFields(40, 0, 40, 0);
  EXPECT_EQ((std::vector<std::string>{"Release", "Release", "CoUninitialize"}),
            fake.Names({"Release", "CoUninitialize", "Next"}));
}

struct FailureCase {
  const char* name;
  const char* call;  // the failable call that fails
  bool leavesCom;
};

class DiscoveryFailureTest : public DiscoveryTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DiscoveryFailureTest, GivesBackEverythingItObtained) {
  fake.wmi.controllers = {kOther, Intel(FakeProperty::Int(40), FakeProperty::Int(60))};
  // A first run finds where the call falls.
  DiscoverRefreshRange();
  const int index = fake.FailableIndex(GetParam().call);
  ASSERT_GT(index, 0) << GetParam().call << " was never made";
  controllerState = {};
  fake.calls.clear();
  fake.failableCalls = 0;
  fake.failableLog.clear();
  fake.failAt = index;
  try {
    DiscoverRefreshRange();
  } catch (const HresultError& e) {
    EXPECT_EQ(E_OUTOFMEMORY, e.code);
    EXPECT_STREQ("SysAllocString", GetParam().call) << "only string allocation raises";
  }
  EXPECT_TRUE(fake.injectedFailure);
  EXPECT_EQ(GetParam().leavesCom ? 1u : 0u, fake.Count("CoUninitialize"));
}

INSTANTIATE_TEST_SUITE_P(
    Calls, DiscoveryFailureTest,
    ::testing::Values(FailureCase{"EnterRefused", "CoInitializeEx", false},
                      FailureCase{"NoLocator", "CoCreateInstance", true},
                      FailureCase{"NoNamespaceString", "SysAllocString", true},
                      FailureCase{"NoConnection", "ConnectServer", true},
                      FailureCase{"NoQuery", "ExecQuery", true},
                      FailureCase{"NextFails", "Next", true},
                      FailureCase{"GetFails", "Get", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DiscoveryTest, AQueryStringThatCannotBeMadeRaisesAfterGivingBackEverything) {
  for (int nth : {2, 3}) {  // "WQL", then the query text
    fake.failableCalls = 0;
    fake.failableLog.clear();
    fake.failAt = 0;
    DiscoverRefreshRange();
    fake.failableCalls = 0;
    fake.failAt = fake.FailableIndex("SysAllocString", nth);
    fake.failableLog.clear();
    EXPECT_THROW(DiscoverRefreshRange(), HresultError);
    EXPECT_EQ("", fake.Leaks()) << "string " << nth;
  }
}

TEST_F(DiscoveryTest, AnEntryInAnotherApartmentIsNotLeft) {
  fake.wmi.coInitializeResult = RPC_E_CHANGED_MODE;
  fake.wmi.controllers = {Intel(FakeProperty::Int(40), FakeProperty::Int(60))};
  DiscoverRefreshRange();
  ExpectFields(40, 60, 40, 60);
  EXPECT_EQ(0u, fake.Count("CoUninitialize"));
}

TEST_F(DiscoveryTest, AnEntryThatFoundComEnteredIsLeftAgain) {
  fake.wmi.coInitializeResult = S_FALSE;
  DiscoverRefreshRange();
  EXPECT_EQ(1u, fake.Count("CoUninitialize"));
}

}  // namespace
