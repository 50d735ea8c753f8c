// RestoreDcRateIfDue: the power scheme, the driver's policy value and the
// two marks decide. It never writes a state file; the callers record the
// power source afterwards.
#include "policy/restore_decision.h"

#include "app/controller_state.h"
#include "app/waits.h"
#include "discovery/driver_policy.h"
#include "display/switcher.h"
#include "platform/os_calls.h"
#include "policy/power_scheme.h"
#include "policy/state_files.h"

bool PolicyAllowsSwitch(std::uint32_t policy) { return policy == 0 || (policy & 0xF0) == 0x40; }

bool SwitchIsDue(const char* acdcMark, const char* dcRefreshMark) {
  return acdcMark[0] == kMarkMains[0] || (acdcMark[0] == kMarkBattery[0] && dcRefreshMark[0] == kMarkAtDcRate[0]);
}

void RestoreDcRateIfDue(DWORD pauseMs) {
  HKEY schemes = nullptr;
  if (OpenPowerSchemes(&schemes) != ERROR_SUCCESS) return;

  wchar_t activeScheme[kSchemeUnits];
  if (QueryActivePowerScheme(schemes, activeScheme) != ERROR_SUCCESS) {
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

  if (IsExemptPowerScheme(activeScheme)) return;

  os.Sleep(pauseMs);
  if (!PolicyAllowsSwitch(driver.policy)) return;
  if (!ReadStateMarks()) return;
  os.Sleep(kMarksReadSettleMs);

  if (SwitchIsDue(controllerState.acdcMark, controllerState.dcRefreshMark)) ApplyDcRate();
}
