// The rate gate: a panel of a single rate (or no rates found at all) is never
// switched, and no state is recorded for it.
#include "policy/rate_gate.h"

#include "app/controller_state.h"
#include "display/topology.h"

bool RatesSpanARealRange(std::int32_t acRate, std::int32_t dcRate) {
  // WMI may report any 32-bit value; the difference of two of them needs 33 bits.
  const std::int64_t difference = std::int64_t{acRate} - std::int64_t{dcRate};
  return (difference < 0 ? -difference : difference) > 3;
}

bool PassesRateGateAndPanelTest() {
  return RatesSpanARealRange(controllerState.acRate, controllerState.dcRate) && IsPrimaryPanelActive();
}
