// ReadPanelModes: the driver's list of modes for adapter 0, kept for the
// resolution and depth the panel runs at.
#include "check/panel_modes.h"

#include <algorithm>

#include "display/adapter.h"
#include "platform/os_calls.h"

namespace {

// Drivers list a few hundred modes; a list that does not end is not read
// forever.
constexpr DWORD kModeLimit = 10000;

}  // namespace

bool PanelModes::Offers(std::int32_t rate) const {
  return rate > 1 && std::find(rates.begin(), rates.end(), static_cast<DWORD>(rate)) != rates.end();
}

PanelModes ReadPanelModes() {
  PanelModes modes;
  DISPLAY_DEVICEW adapter;
  DEVMODEW current;
  if (!ReadFirstAdapter(&adapter) || !ReadCurrentMode(adapter, &current)) return modes;
  modes.read = true;
  modes.width = current.dmPelsWidth;
  modes.height = current.dmPelsHeight;
  modes.bitsPerPixel = current.dmBitsPerPel;
  modes.currentRate = current.dmDisplayFrequency;

  for (DWORD index = 0; index < kModeLimit; ++index) {
    DEVMODEW mode = {};
    mode.dmSize = sizeof mode;
    mode.dmDriverExtra = 0;
    if (!os.EnumDisplaySettingsW(adapter.DeviceName, index, &mode)) break;
    if (mode.dmPelsWidth != modes.width || mode.dmPelsHeight != modes.height ||
        mode.dmBitsPerPel != modes.bitsPerPixel || mode.dmDisplayFrequency <= 1)
      continue;
    const auto at = std::lower_bound(modes.rates.begin(), modes.rates.end(), mode.dmDisplayFrequency);
    if (at == modes.rates.end() || *at != mode.dmDisplayFrequency) modes.rates.insert(at, mode.dmDisplayFrequency);
  }
  return modes;
}
