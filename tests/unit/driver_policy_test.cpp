// The driver policy probe against the fake laptop's registry: which subkey
// supplies the value, how provider texts are matched, the pauses, and the
// class key closed on every path.
#include <gtest/gtest.h>

#include <cstring>

#include "discovery/driver_policy.h"
#include "fake/fake_laptop.h"
#include "fake/registry_paths.h"

namespace {


std::vector<BYTE> Bytes(const std::wstring& text, bool terminated) {
  std::vector<BYTE> b((text.size() + (terminated ? 1 : 0)) * 2);
  std::memcpy(b.data(), text.c_str(), b.size());
  return b;
}

class DriverPolicyTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_TRUE(fake.registry.openKeys.empty()) << "the class key is left open"; }
  void Adapter(const std::wstring& subkey, const std::wstring& provider, std::optional<DWORD> policy) {
    fake.SetString(kDisplayAdapterClassKey + L"\\" + subkey, L"ProviderName", provider);
    if (policy) fake.SetDword(kDisplayAdapterClassKey + L"\\" + subkey, L"DCUserPreferencePolicy", *policy);
  }
  FakeLaptop fake{FakeLaptop::kHardware};
};

struct ProviderCase {
  const char* name;
  std::wstring provider;
  bool matches;
};

class ProviderTest : public DriverPolicyTest, public ::testing::WithParamInterface<ProviderCase> {};

TEST_P(ProviderTest, MatchesIntelAfterTrimmingWhateverTheCase) {
  Adapter(L"0000", GetParam().provider, 0x41);
  const DriverPolicyResult r = ReadDriverPowerPolicy();
  if (GetParam().matches) {
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(0x41u, r.policy);
    EXPECT_EQ(0u, fake.Count("Sleep")) << "no pause after a match";
  } else {
    EXPECT_NE(0, r.status);
    EXPECT_EQ(0u, r.policy);
    EXPECT_EQ((std::vector<DWORD>{10}), fake.Sleeps());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ProviderTest,
    ::testing::Values(ProviderCase{"IntelCorporation", L"Intel Corporation", true},
                      ProviderCase{"SmallLetters", L"intel", true},
                      ProviderCase{"CapitalsAfterTwoBlanks", L"  INTEL(R) Graphics", true},
                      ProviderCase{"Intelligent", L"Intelligent Devices", true},
                      ProviderCase{"TabsAndLineEnds", L"\t\r\nIntel\r\n", true},
                      ProviderCase{"Short", L"Inte", false},
                      ProviderCase{"InnerBlank", L"Int el", false},
                      ProviderCase{"Prefixed", L"AIntel", false},
                      ProviderCase{"Empty", L"", false},
                      ProviderCase{"OnlyBlanks", L"     ", false},
                      // _wcsicmp folds only A to Z in the classic locale.
                      ProviderCase{"FullWidth", L"\uff29ntel", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DriverPolicyTest, AnIntelSubkeyWithoutTheValueIsPassedOver) {
  Adapter(L"0000", L"Intel Corporation", std::nullopt);
  Adapter(L"0001", L"Intel Corporation", 0x40);
  const DriverPolicyResult r = ReadDriverPowerPolicy();
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0x40u, r.policy);
  EXPECT_EQ((std::vector<DWORD>{10}), fake.Sleeps());
}

TEST_F(DriverPolicyTest, TheLowerEnumerationIndexWins) {
  Adapter(L"0000", L"Intel", 0x10);
  Adapter(L"0001", L"Intel", 0x40);
  EXPECT_EQ(0x10u, ReadDriverPowerPolicy().policy);
}

TEST_F(DriverPolicyTest, FourRawBytesAreALittleEndianNumberAndEightArePassedOver) {
  fake.SetString(kDisplayAdapterClassKey + L"\\0000", L"ProviderName", L"Intel");
  fake.SetValue(kDisplayAdapterClassKey + L"\\0000", L"DCUserPreferencePolicy", REG_QWORD, std::vector<BYTE>(8, 0));
  fake.SetString(kDisplayAdapterClassKey + L"\\0001", L"ProviderName", L"Intel");
  fake.SetValue(kDisplayAdapterClassKey + L"\\0001", L"DCUserPreferencePolicy", REG_BINARY, {0x4f, 0x01, 0, 0});
  const DriverPolicyResult r = ReadDriverPowerPolicy();
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0x14fu, r.policy);
  fake.RemoveKey(kDisplayAdapterClassKey + L"\\0001");
  EXPECT_NE(0, ReadDriverPowerPolicy().status) << "an 8-byte value does not fit";
}

TEST_F(DriverPolicyTest, AMissingClassKeyIsFileNotFoundWithoutPause) {
  const DriverPolicyResult r = ReadDriverPowerPolicy();
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, r.status);
  EXPECT_EQ(0u, r.policy);
  EXPECT_EQ(0u, fake.Count("Sleep"));
  EXPECT_EQ(0u, fake.Count("RegCloseKey")) << "nothing was opened";
}

TEST_F(DriverPolicyTest, AClassKeyWithoutSubkeys) {
  fake.Key(kDisplayAdapterClassKey);
  const DriverPolicyResult r = ReadDriverPowerPolicy();
  EXPECT_NE(0, r.status);
  EXPECT_EQ(0u, fake.Count("Sleep"));
  EXPECT_EQ(1u, fake.Count("RegCloseKey"));
}

TEST_F(DriverPolicyTest, OnlyOtherVendorsPauseOncePerSubkey) {
  Adapter(L"0000", L"NVIDIA", 0);
  Adapter(L"0001", L"Advanced Micro Devices, Inc.", 0);
  Adapter(L"0002", L"Microsoft", 0);
  const DriverPolicyResult r = ReadDriverPowerPolicy();
  EXPECT_NE(0, r.status);
  EXPECT_EQ(0u, r.policy);
  EXPECT_EQ((std::vector<DWORD>{10, 10, 10}), fake.Sleeps());
}

TEST_F(DriverPolicyTest, UnreadableAndProviderlessSubkeysArePassedOver) {
  fake.Key(kDisplayAdapterClassKey + L"\\0000").unreadable = true;
  fake.SetDword(kDisplayAdapterClassKey + L"\\0001", L"DCUserPreferencePolicy", 0x10);  // no provider
  fake.SetValue(kDisplayAdapterClassKey + L"\\0002", L"ProviderName", REG_DWORD, Bytes(L"In", false));
  Adapter(L"0003", L"Intel Corporation", 0);
  const DriverPolicyResult r = ReadDriverPowerPolicy();
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0u, r.policy);
  EXPECT_EQ(3u, fake.Count("Sleep"));
}

TEST_F(DriverPolicyTest, ReadsWithTheGivenSizesAndFlagsAndClosesAfterReading) {
  Adapter(L"0000", L"NVIDIA", 0);
  Adapter(L"0001", L"Intel", 0x40);
  ReadDriverPowerPolicy();
  std::vector<std::string> log;
  for (const FakeCall& c : fake.calls) log.push_back(c.name + " " + c.detail);
  const std::string key = Narrow(Lower(kDisplayAdapterClassKey));
  const std::vector<std::string> expected = {
      "RegOpenKeyExW " + key + " options=0 access=0x20019",
      "RegEnumKeyExW #0 length=260",
      "RegGetValueW " + key + "\\0000 ProviderName flags=0xffff size=2048",
      "Sleep 10",
      "RegEnumKeyExW #1 length=260",
      "RegGetValueW " + key + "\\0001 ProviderName flags=0xffff size=2048",
      "RegGetValueW " + key + "\\0001 DCUserPreferencePolicy flags=0xffff size=4",
      "RegCloseKey "};
  EXPECT_EQ(expected, log);
}

TEST_F(DriverPolicyTest, AProviderValueFillingTheWholeBufferIsNotReadPastIt) {
  // 2048 bytes of binary data without a terminator: "Intel" and then letters.
  std::wstring text = L"Intel";
  text.resize(1024, L'x');
  fake.SetValue(kDisplayAdapterClassKey + L"\\0000", L"ProviderName", REG_BINARY, Bytes(text, false));
  fake.SetDword(kDisplayAdapterClassKey + L"\\0000", L"DCUserPreferencePolicy", 0x40);
  // The same size of blanks only: trimming stops at the buffer's end.
  fake.SetValue(kDisplayAdapterClassKey + L"\\0001", L"ProviderName", REG_BINARY, Bytes(std::wstring(1024, L' '), false));
  const DriverPolicyResult r = ReadDriverPowerPolicy();
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0x40u, r.policy);
  fake.RemoveKey(kDisplayAdapterClassKey + L"\\0000");
  EXPECT_NE(0, ReadDriverPowerPolicy().status);
}

TEST_F(DriverPolicyTest, AShortProviderIsNotCompletedByAnEarlierOnesBytes) {
  // "zzzel" leaves "el" in the buffer's units 3 and 4; "Int" must not pick
  // them up and read as "Intel".
  fake.SetValue(kDisplayAdapterClassKey + L"\\0000", L"ProviderName", REG_BINARY, Bytes(L"zzzel", false));
  fake.SetValue(kDisplayAdapterClassKey + L"\\0001", L"ProviderName", REG_BINARY, Bytes(L"Int", false));
  fake.SetDword(kDisplayAdapterClassKey + L"\\0001", L"DCUserPreferencePolicy", 0x40);
  EXPECT_NE(0, ReadDriverPowerPolicy().status);
}

TEST_F(DriverPolicyTest, AFailedEnumerationEndsTheScanAndClosesTheKey) {
  Adapter(L"0000", L"Intel", 0x40);
  fake.failAt = 1;  // RegOpenKeyExW
  EXPECT_EQ(ERROR_ACCESS_DENIED, ReadDriverPowerPolicy().status);
  fake.failableCalls = 0;
  fake.failAt = 2;  // the first RegEnumKeyExW
  EXPECT_NE(0, ReadDriverPowerPolicy().status);
  EXPECT_EQ(1u, fake.Count("RegCloseKey"));
}

}  // namespace
