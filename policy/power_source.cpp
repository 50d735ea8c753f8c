// ReadPowerSource: one reading of GetSystemPowerStatus, shared by the
// start-up reconciliation, the event handlings and the diagnostic.
#include "policy/power_source.h"

#include "platform/os_calls.h"

PowerSource ReadPowerSource() {
  SYSTEM_POWER_STATUS power = {};
  if (!os.GetSystemPowerStatus(&power)) return PowerSource::kUnreadable;
  return power.ACLineStatus == 1 ? PowerSource::kMains : PowerSource::kBattery;
}
