// The power-scheme read and test of the battery-time decision, kept apart so
// that the diagnostic reads and judges the scheme exactly as the decision does.
#include "policy/power_scheme.h"

#include <cwchar>

#include "platform/os_calls.h"

namespace {

const wchar_t kPowerSchemes[] = L"SYSTEM\\CurrentControlSet\\Control\\Power\\User\\Default\\PowerSchemes";

constexpr DWORD kSchemeLimitBytes = 260;  // half the buffer: the text always ends in zeros

}  // namespace

LSTATUS OpenPowerSchemes(HKEY* key) {
  *key = nullptr;
  return os.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPowerSchemes, 0, KEY_READ, key);
}

LSTATUS QueryActivePowerScheme(HKEY key, wchar_t (&scheme)[kSchemeUnits]) {
  wmemset(scheme, 0, kSchemeUnits);
  DWORD size = kSchemeLimitBytes;
  DWORD type = REG_SZ;
  return os.RegQueryValueExW(key, L"ActivePowerScheme", nullptr, &type, reinterpret_cast<BYTE*>(scheme),
                             &size);
}

bool IsExemptPowerScheme(const wchar_t (&scheme)[kSchemeUnits]) {
  // The value need not be terminated, but the buffer's second half is never
  // filled, so it is.
  return wcsncmp(scheme, kExemptPowerScheme, kSchemeUnits) == 0;
}
