// The Intel graphics driver's power policy value, "DCUserPreferencePolicy".
#pragma once

#include <cstdint>

struct DriverPolicyResult {
  std::int32_t status;   // 0 exactly when `policy` was read from an Intel adapter's key
  std::uint32_t policy;  // the value as read; 0 whenever status is not 0
};

// Scans the display-adapter class key for the first Intel adapter whose
// policy value can be read. Reads only; keeps nothing between calls.
DriverPolicyResult ReadDriverPowerPolicy();
