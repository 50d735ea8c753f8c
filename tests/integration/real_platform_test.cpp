// The discovery and the registry probes against Wine's own WMI and registry
// in the throw-away prefix: what the real platform answers, not the fake.
#include <gtest/gtest.h>

#include <cstring>

#include "app/controller_state.h"
#include "discovery/driver_policy.h"
#include "discovery/refresh_range.h"
#include "fake/registry_paths.h"
#include "platform/os_calls.h"
#include "tests/under_wine.h"

namespace {

TEST(RealWmi, FindsNoMatchingControllerAndLeavesComBalanced) {
  controllerState = {};
  DiscoverRefreshRange();
  DiscoverRefreshRange();  // the second run meets CoInitializeSecurity's RPC_E_TOO_LATE
  if (WineAnswers(WINE_DIFFERS("Wine's WMI lists one controller named after another vendor, without "
                               "refresh-rate properties; a Windows laptop lists its own"))) {
    EXPECT_EQ(0u, controllerState.rawMinRefreshRate);
    EXPECT_EQ(0u, controllerState.rawMaxRefreshRate);
    EXPECT_EQ(0, controllerState.dcRate);
    EXPECT_EQ(0, controllerState.acRate);
  }
  // Had a run stayed in COM, this would answer S_FALSE.
  const HRESULT again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  EXPECT_EQ(S_OK, again) << std::hex << again;
  if (SUCCEEDED(again)) CoUninitialize();
}


class RealRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_UNLESS_UNDER_WINE("writes the display-adapter class key under HKEY_LOCAL_MACHINE");
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDisplayAdapterClassKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &classKey, nullptr));
  }
  void TearDown() override {
    for (const wchar_t* name : created) RegDeleteTreeW(classKey, name);
    RegCloseKey(classKey);
  }
  void Value(const wchar_t* subkey, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(classKey, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
    created.push_back(subkey);
  }
  HKEY classKey = nullptr;
  std::vector<const wchar_t*> created;
};

TEST_F(RealRegistry, TheFirstReadableIntelValueIsFoundPastEverythingElse) {
  // Names sort after whatever adapter keys the prefix has, in this order.
  const wchar_t binaryProvider[] = L"zz-lumarest-0";
  std::vector<wchar_t> blanks(1024, L' ');  // 2048 bytes, no terminator
  Value(binaryProvider, L"ProviderName", REG_BINARY, blanks.data(), 2048);
  const DWORD policy = 0x44;
  Value(binaryProvider, L"DCUserPreferencePolicy", REG_DWORD, &policy, 4);

  const ULONGLONG wide = 0x40;
  Value(L"zz-lumarest-1", L"ProviderName", REG_SZ, L"Intel Corporation", sizeof L"Intel Corporation");
  Value(L"zz-lumarest-1", L"DCUserPreferencePolicy", REG_QWORD, &wide, 8);

  Value(L"zz-lumarest-2", L"ProviderName", REG_SZ, L"  intel(R) Corporation ", sizeof L"  intel(R) Corporation ");
  Value(L"zz-lumarest-2", L"DCUserPreferencePolicy", REG_DWORD, &policy, 4);

  const DriverPolicyResult r = ReadDriverPowerPolicy();
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0x44u, r.policy);
}

TEST_F(RealRegistry, AProviderFillingTheWholeBufferIsAcceptedAsReturned) {
  // RegGetValueW with RRF_RT_ANY hands back 2048 binary bytes without a
  // terminator; "Intel" followed by other letters still matches.
  std::vector<wchar_t> text(1024, L'x');
  std::memcpy(text.data(), L"Intel", 10);
  Value(L"zz-lumarest-3", L"ProviderName", REG_BINARY, text.data(), 2048);
  const BYTE raw[4] = {0x4f, 0, 0, 0};
  Value(L"zz-lumarest-3", L"DCUserPreferencePolicy", REG_BINARY, raw, 4);
  const DriverPolicyResult r = ReadDriverPowerPolicy();
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0x4fu, r.policy);
}

}  // namespace
