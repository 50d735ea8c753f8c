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

// What the scan read in one class subkey, as it read it.
struct DriverKeyRead {
  const wchar_t* subkey;
  LSTATUS providerStatus;    // reading "ProviderName"
  const wchar_t* provider;   // the text up to its first NUL within the bytes read,
  std::size_t providerLength;  // valid when providerStatus is 0
  bool intel;                // the provider passed the vendor test
  LSTATUS policyStatus;      // reading "DCUserPreferencePolicy", for an Intel subkey only;
  std::uint32_t policy;      // ERROR_FILE_NOT_FOUND and 0 for any other subkey
};

// Told every class subkey the scan reads, up to and including the one whose
// value it returns (the diagnostic lists them). Called from inside the scan,
// so it must not throw.
class DriverKeyObserver {
 public:
  virtual void Key(const DriverKeyRead& key) noexcept = 0;

 protected:
  ~DriverKeyObserver() = default;
};

// The same scan, telling `observer` (when not null) what it reads.
DriverPolicyResult ReadDriverPowerPolicy(DriverKeyObserver* observer);
