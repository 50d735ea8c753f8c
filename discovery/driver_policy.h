// The Intel graphics driver's power policy value, "DCUserPreferencePolicy".
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct DriverPolicyResult {
  std::int32_t status;   // 0 exactly when `policy` was read from an Intel adapter's key
  std::uint32_t policy;  // the value as read; 0 whenever status is not 0
};

// Scans the display-adapter class key for the first Intel adapter whose
// policy value can be read. Reads only; keeps nothing between calls.
DriverPolicyResult ReadDriverPowerPolicy();

// One class subkey as the diagnostic shows it.
struct DriverKeySeen {
  std::wstring subkey;
  LSTATUS providerStatus = ERROR_SUCCESS;  // of the "ProviderName" read
  std::wstring provider;                   // the text up to its first NUL, within the bytes read
  bool intel = false;                      // passed the provider test
  LSTATUS policyStatus = ERROR_FILE_NOT_FOUND;  // of the "DCUserPreferencePolicy" read (Intel only)
  std::uint32_t policy = 0;
  bool used = false;                       // the value the scan returns
};

// The same scan with the same result, for the diagnostic: it goes on past
// the match to the last subkey, reading each one's provider (and an Intel
// one's policy value) so that all can be shown.
DriverPolicyResult ReadDriverPowerPolicy(std::vector<DriverKeySeen>* seen);
