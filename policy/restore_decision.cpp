// RestoreDcRateIfDue: the power scheme, the driver's policy value and the
// two marks decide. It never writes a state file; the callers record the
// power source afterwards.
#include "policy/restore_decision.h"

#include <cwchar>

#include "app/controller_state.h"
#include "discovery/driver_policy.h"
#include "display/switcher.h"
#include "platform/os_calls.h"
#include "policy/state_files.h"

namespace {

const wchar_t kPowerSchemes[] = L"SYSTEM\\CurrentControlSet\\Control\\Power\\User\\Default\\PowerSchemes";
const wchar_t kExemptScheme[] = L"6fecc5ae-f350-48a5-b669-b472cb895ccf";

constexpr DWORD kSchemeUnits = 260;
constexpr DWORD kSchemeLimitBytes = 260;  // half the buffer: the text always ends in zeros

bool PolicyAllowsSwitch(std::uint32_t policy) { return policy == 0 || (policy & 0xF0) == 0x40; }

// Mains last recorded, or battery with the panel last seen at the DC rate.
bool SwitchIsDue(const char* acdcMark, const char* dcRefreshMark) {
  return acdcMark[0] == '1' || (acdcMark[0] == '2' && dcRefreshMark[0] == '1');
}

}  // namespace

void RestoreDcRateIfDue(DWORD pauseMs) {
  HKEY schemes = nullptr;
  if (os.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPowerSchemes, 0, KEY_READ, &schemes) != ERROR_SUCCESS) return;

  wchar_t activeScheme[kSchemeUnits] = {};
  DWORD size = kSchemeLimitBytes;
  DWORD type = REG_SZ;
  if (os.RegQueryValueExW(schemes, L"ActivePowerScheme", nullptr, &type,
                          reinterpret_cast<BYTE*>(activeScheme), &size) != ERROR_SUCCESS) {
    os.RegCloseKey(schemes);
    return;
  }

  // The driver is asked while the scheme key is still open, and whatever the
  // scheme turns out to be.
  const DriverPolicyResult driver = ReadDriverPowerPolicy();
  if (driver.status != 0) {
    os.RegCloseKey(schemes);
    return;
  }
  os.RegCloseKey(schemes);

  // Exact, case-sensitive, untrimmed; the value need not be terminated, but
  // the buffer's second half is never filled, so it is.
  if (wcsncmp(activeScheme, kExemptScheme, kSchemeUnits) == 0) return;

  os.Sleep(pauseMs);
  if (!PolicyAllowsSwitch(driver.policy)) return;
  if (!ReadStateMarks()) return;
  os.Sleep(2000);

  if (SwitchIsDue(controllerState.acdcMark, controllerState.dcRefreshMark)) ApplyDcRate();
}
