// OnSessionChange: the lock flag that keeps the power-status handling from
// recording the source while a session is locked, and the catch-up on log-on
// and unlock. Every session's events count alike.
#include "app/controller_state.h"
#include "app/waits.h"
#include "policy/handlings.h"
#include "policy/power_display_events.h"
#include "policy/power_source.h"
#include "policy/rate_gate.h"
#include "policy/restore_decision.h"
#include "policy/state_files.h"

namespace {

void CatchUpWithPowerSource() {
  const bool external = RefreshRangeIfExternalGone();
  if (!PassesRateGateAndPanelTest()) return;

  const PowerSource source = ReadPowerSource();
  if (source == PowerSource::kUnreadable) return;
  if (source == PowerSource::kMains) {
    WriteStateMark(StateFile::kAcdc, kMarkMains, kMarkPauseMs);
    return;
  }
  if (!external) RestoreDcRateIfDue(kEventDecisionPauseMs);
  WriteStateMark(StateFile::kAcdc, kMarkBattery, kMarkPauseMs);
}

}  // namespace

void OnSessionChange(WPARAM eventCode) {
  controllerState.retryCount = 0;
  switch (eventCode) {
    case WTS_SESSION_LOCK:
      controllerState.sessionLocked = true;
      return;
    case WTS_SESSION_UNLOCK:
      controllerState.sessionLocked = false;
      CatchUpWithPowerSource();
      return;
    case WTS_SESSION_LOGON:
      // A log-on leaves the flag as it was.
      CatchUpWithPowerSource();
      return;
    default:
      return;
  }
}
