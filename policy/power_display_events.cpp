// OnPowerStatusChange and OnDisplayChange: keeping the state files and the
// panel in line with events after start-up.
#include "policy/power_display_events.h"

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

namespace {

// The discovery asks WMI, which on Windows lives in a service process of
// its own, from this single-threaded apartment. COM refuses such a call
// (RPC_E_CANTCALLOUT_ININPUTSYNCCALL, 0x8001010D) while this thread handles
// a message that another thread sent and is still waiting on: it asks
// InSendMessage, and KB 131056 ("Synch OLE Call Fails in Inter-Process/
// Thread SendMessage") describes the refusal. WM_DISPLAYCHANGE comes from
// the thread that changed the display, and the power and session
// notifications from other processes, so the sender is answered first, with
// the 0 the window procedure returns for all three; the handling then goes
// on to its end. A message this thread sent itself (the WM_DISPLAYCHANGE of
// its own switch) has no sender waiting and needs no answer.
void AnswerWaitingSender() {
  if ((os.InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_REPLIED)) == ISMEX_SEND) os.ReplyMessage(0);
}

}  // namespace

bool RefreshRangeIfExternalGone() {
  const bool external = ProbeExternalDisplay();
  // externalDisplayAtStart is never cleared, so the rediscovery repeats for
  // as long as that display stays away: the range WMI reported while it was
  // attached may have been the external display's.
  if (controllerState.externalDisplayAtStart == 1 && !external) {
    AnswerWaitingSender();
    DiscoverRefreshRange();
  }
  return external;
}

LRESULT OnPowerStatusChange() {
  const bool external = RefreshRangeIfExternalGone();
  if (!PassesRateGateAndPanelTest()) return 0;

  const PowerSource source = ReadPowerSource();
  if (source == PowerSource::kUnreadable) return 0;

  if (source == PowerSource::kMains) {
    // While a session is locked the source is not recorded; the unlock does it.
    if (controllerState.sessionLocked) return 0;
    WriteAcMarks();
    return 0;
  }

  // Battery (an unknown line status included). The decision runs even while
  // locked: the panel is the machine's, not the session's.
  if (!external) RestoreDcRateIfDue(kEventDecisionPauseMs);
  if (controllerState.sessionLocked) return 0;
  WriteStateMark(StateFile::kAcdc, kMarkBattery, kMarkPauseMs);
  return 0;
}

LRESULT OnDisplayChange() {
  const bool external = RefreshRangeIfExternalGone();

  DISPLAY_DEVICEW adapter;
  const bool adapterRead = ReadFirstAdapter(&adapter);

  if (!PassesRateGateAndPanelTest()) return 0;

  const PowerSource source = ReadPowerSource();
  if (source != PowerSource::kBattery) return 0;
  if (external) return 0;

  // This is how a rate picked by hand on battery (or set by the controller
  // itself) becomes known to later decisions. Without a current mode there
  // is nothing to record.
  DEVMODEW mode;
  if (!adapterRead || !ReadCurrentMode(adapter, &mode)) return 0;
  const char* mark =
      mode.dmDisplayFrequency == static_cast<DWORD>(controllerState.dcRate) ? kMarkAtDcRate : kMarkOffDcRate;
  WriteStateMark(StateFile::kDcRefresh, mark, kMarkPauseMs);
  return 0;
}
