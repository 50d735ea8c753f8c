// ApplyDcRate: sets the panel to the DC rate for the running system (the
// registry's stored mode is left alone) and gives the driver a second to
// settle after each submission.
#include "display/switcher.h"

#include "app/controller_state.h"
#include "app/waits.h"
#include "display/adapter.h"
#include "platform/os_calls.h"

namespace {

constexpr int kMaxSubmissions = 3;

// Only a plain failure of the driver is worth another try. A mode the
// system refuses as unsupported, a change that needs a restart, or bad
// arguments will be refused again, and each try blocks the controller for
// another second.
bool WorthRetrying(LONG result) { return result == DISP_CHANGE_FAILED; }

}  // namespace

bool ApplyDcRate() {
  const DWORD target = static_cast<DWORD>(controllerState.dcRate);

  DISPLAY_DEVICEW adapter;
  if (!ReadFirstAdapter(&adapter)) return false;
  DEVMODEW mode;
  if (!ReadCurrentMode(adapter, &mode)) return false;

  const DWORD width = mode.dmPelsWidth;
  const DWORD height = mode.dmPelsHeight;
  const DWORD bitsPerPixel = mode.dmBitsPerPel;
  if (mode.dmDisplayFrequency == target) return true;

  // Every field but the rate stays as read; the rate is submitted as it is,
  // whatever its value.
  for (int submission = 1; submission <= kMaxSubmissions; ++submission) {
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    mode.dmBitsPerPel = bitsPerPixel;
    mode.dmDisplayFrequency = target;
    const LONG result = os.ChangeDisplaySettingsW(&mode, 0);
    os.Sleep(kModeSettleMs);
    if (!WorthRetrying(result)) break;
  }
  return true;
}
