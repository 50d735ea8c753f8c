// The Intel graphics driver's power policy value, "DCUserPreferencePolicy".
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstddef>

struct DriverPolicyResult {
  std::int32_t status;   // 0 exactly when `policy` was read from an Intel adapter's key
  std::uint32_t policy;  // the value as read; 0 whenever status is not 0
};

// Scans the display-adapter class key for the first Intel adapter whose
// policy value can be read. Reads only; keeps nothing between calls.
DriverPolicyResult ReadDriverPowerPolicy();

// Told every class subkey the scan reads (the diagnostic lists them). Called
// from inside the scan, so it must not throw.
class DriverKeyObserver {
 public:
  // `provider` is the text up to its first NUL within the bytes read, valid
  // when `providerStatus` is 0; the policy value is read, and told, for an
  // Intel subkey only; `used`: the value the scan returns.
  virtual void Key(const wchar_t* subkey, LSTATUS providerStatus, const wchar_t* provider,
                   std::size_t providerLength, bool intel, LSTATUS policyStatus, std::uint32_t policy,
                   bool used) noexcept = 0;

 protected:
  ~DriverKeyObserver() = default;
};

// The same scan with the same result, for the diagnostic: with an observer
// it goes on past the match to the last subkey, so that all can be shown.
DriverPolicyResult ReadDriverPowerPolicy(DriverKeyObserver* observer);
