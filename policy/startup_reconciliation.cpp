// ReconcileAtStartup: brings the state files and the panel in line with
// what the controller finds when it starts, before any event arrives, so
// that a machine started on battery after a time on mains gets the DC rate.
#include <windows.h>

#include "app/controller_state.h"
#include "app/waits.h"
#include "discovery/refresh_range.h"
#include "display/adapter.h"
#include "display/topology.h"
#include "platform/os_calls.h"
#include "policy/handlings.h"
#include "policy/power_source.h"
#include "policy/rate_gate.h"
#include "policy/restore_decision.h"
#include "policy/state_files.h"

void ReconcileAtStartup() {
  // The only time this is taken; later events compare against it.
  controllerState.externalDisplayAtStart = ProbeExternalDisplay() ? 1 : 0;
  DiscoverRefreshRange();
  controllerState.retryCount = 0;

  DISPLAY_DEVICEW adapter;
  DEVMODEW mode = {};
  const bool modeRead = ReadFirstAdapter(&adapter) && ReadCurrentMode(adapter, &mode);
  CreateStateFiles(modeRead, mode.dmDisplayFrequency);

  // Every start waits here, whatever the files did.
  os.Sleep(kStartupWaitMs);

  if (!PassesRateGateAndPanelTest()) return;

  // Without a power reading there is nothing to record or decide.
  const PowerSource source = ReadPowerSource();
  if (source == PowerSource::kUnreadable) return;
  if (source == PowerSource::kMains) {
    WriteStateMark(StateFile::kAcdc, kMarkMains, kStartupMainsMarkPauseMs);
    return;
  }
  if (controllerState.externalDisplayAtStart == 0) RestoreDcRateIfDue(kStartupDecisionPauseMs);
  WriteStateMark(StateFile::kAcdc, kMarkBattery, kMarkPauseMs);
}
