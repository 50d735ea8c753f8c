// Bad input from the outside parties: registry values of every type and
// size where a text or a number is expected, and any 32-bit rate a video
// controller may report. Nothing may be read past what was returned, nothing
// left open, and the behaviour stays the designed one.
#include <gtest/gtest.h>

#include <cstring>

#include "app/controller_state.h"
#include "discovery/driver_policy.h"
#include "discovery/refresh_range.h"
#include "fake/fake_laptop.h"
#include "fake/registry_paths.h"
#include "policy/handlings.h"
#include "policy/restore_decision.h"

namespace {


const DWORD kTypes[] = {REG_NONE, REG_SZ,    REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN,
                        REG_LINK, REG_MULTI_SZ, REG_QWORD,  0x12345};
const std::size_t kSizes[] = {0, 1, 2, 3, 4, 5, 8, 259, 260, 261, 300, 2046, 2048, 2050, 4096};

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// "Intel Corporation" as UTF-16, cut or padded with letters to `size` bytes.
std::vector<BYTE> IntelBytes(std::size_t size) {
  std::wstring text = L"Intel Corporation";
  text.resize(size / 2 + 1, L'x');
  std::vector<BYTE> bytes(size);
  std::memcpy(bytes.data(), text.data(), size);
  return bytes;
}

TEST(BadInput, ProviderNameOfAnyTypeAndSize) {
  for (DWORD type : kTypes) {
    for (std::size_t size : kSizes) {
      SCOPED_TRACE("type " + std::to_string(type) + ", " + std::to_string(size) + " bytes");
      FakeLaptop fake{FakeLaptop::kHardware};
      fake.SetValue(kDisplayAdapterClassKey + L"\\0000", L"ProviderName", type, IntelBytes(size));
      fake.SetDword(kDisplayAdapterClassKey + L"\\0000", L"DCUserPreferencePolicy", 0x40);
      const DriverPolicyResult r = ReadDriverPowerPolicy();
      EXPECT_TRUE(fake.registry.openKeys.empty());
      // The text is taken from the bytes returned, so it matches when they
      // hold the five letters and fit the 2048-byte buffer (a text type also
      // needs room for the terminator the registry adds).
      const std::size_t room = IsText(type) && size % 2 == 0 ? 2048 - 2 : 2048;
      const bool expected = size >= 10 && size <= room;
      EXPECT_EQ(expected ? 0 : 1, r.status == 0 ? 0 : 1);
      EXPECT_EQ(expected ? 0x40u : 0u, r.policy);
    }
  }
}

TEST(BadInput, PolicyValueOfAnyTypeAndSize) {
  for (DWORD type : kTypes) {
    for (std::size_t size : kSizes) {
      SCOPED_TRACE("type " + std::to_string(type) + ", " + std::to_string(size) + " bytes");
      FakeLaptop fake{FakeLaptop::kHardware};
      fake.SetString(kDisplayAdapterClassKey + L"\\0000", L"ProviderName", L"Intel");
      std::vector<BYTE> bytes(size, 0);
      if (size > 0) bytes[0] = 0x4f;
      if (size > 1) bytes[1] = 0x01;
      fake.SetValue(kDisplayAdapterClassKey + L"\\0000", L"DCUserPreferencePolicy", type, bytes);
      const DriverPolicyResult r = ReadDriverPowerPolicy();
      EXPECT_TRUE(fake.registry.openKeys.empty());
      if (size > 4) {
        EXPECT_NE(0, r.status) << "does not fit four bytes";
      }
      if (r.status == 0) {
        DWORD expected = 0;
        std::memcpy(&expected, bytes.data(), std::min<std::size_t>(size, 4));
        EXPECT_EQ(expected, r.policy) << "the bytes returned, nothing beyond them";
      } else {
        EXPECT_EQ(0u, r.policy);
      }
    }
  }
}

TEST(BadInput, ActivePowerSchemeOfAnyTypeAndSize) {
  for (DWORD type : kTypes) {
    for (std::size_t size : kSizes) {
      SCOPED_TRACE("type " + std::to_string(type) + ", " + std::to_string(size) + " bytes");
      FakeLaptop fake{FakeLaptop::kHardware};
      controllerState = {};
      controllerState.dcRate = 40;
      fake.files.scratchFolder = MakeScratchFolder("bad-scheme");
      fake.SetFile("lasttimeACDC.txt", "1");
      fake.SetFile("lasttimeDCRefresh.txt", "1");
      fake.SetString(kDisplayAdapterClassKey + L"\\0000", L"ProviderName", L"Intel");
      fake.SetDword(kDisplayAdapterClassKey + L"\\0000", L"DCUserPreferencePolicy", 0);
      fake.SetValue(kPowerSchemesKey, L"ActivePowerScheme", type, std::vector<BYTE>(size, 'a'));
      RestoreDcRateIfDue(100);
      EXPECT_EQ("", fake.Leaks());
      EXPECT_EQ(size <= 260 ? 2u : 0u, fake.Count("fopen_s")) << "a scheme over 260 bytes stops the decision";
    }
  }
}

TEST(BadInput, AnyThirtyTwoBitRatesPassTheGateWithoutOverflow) {
  const std::uint32_t values[] = {0,  1,   3,   4,          27,         47,         57,        63,
                                  144, 240, 247, 0x7FFFFFFF, 0x80000000, 0x80000003, 0xFFFFFFFC, 0xFFFFFFFF};
  for (std::uint32_t min : values) {
    for (std::uint32_t max : values) {
      SCOPED_TRACE("min " + std::to_string(min) + ", max " + std::to_string(max));
      FakeLaptop fake{FakeLaptop::kHardware};
      controllerState = {};
      fake.files.scratchFolder = MakeScratchFolder("bad-rates");
      fake.SetFile("lasttimeACDC.txt", "1");
      fake.SetFile("lasttimeDCRefresh.txt", "2");
      fake.SetString(kPowerSchemesKey, L"ActivePowerScheme", L"381b4222-f694-41f0-9685-ff5bb260df2e");
      fake.SetString(kDisplayAdapterClassKey + L"\\0000", L"ProviderName", L"Intel");
      fake.SetDword(kDisplayAdapterClassKey + L"\\0000", L"DCUserPreferencePolicy", 0);
      // WMI hands uint32 properties out as VT_I4.
      fake.wmi.controllers = {{FakeProperty::Text(L"Intel(R) UHD Graphics"),
                           FakeProperty::Int(static_cast<std::int32_t>(max)),
                           FakeProperty::Int(static_cast<std::int32_t>(min))}};
      fake.display.mode.rate = 12345;
      fake.power.acLineStatus = 0;
      DiscoverRefreshRange();
      OnPowerStatusChange();
      const std::int64_t dc = SnapToNominalRate(min), ac = SnapToNominalRate(max);
      const bool real = (ac > dc ? ac - dc : dc - ac) > 3;
      ASSERT_EQ(real ? 1u : 0u, fake.display.submittedModes.size());
      if (real) {
        EXPECT_EQ(static_cast<DWORD>(dc), fake.display.submittedModes[0].dmDisplayFrequency);
      }
      EXPECT_EQ("", fake.Leaks());
    }
  }
}

}  // namespace
