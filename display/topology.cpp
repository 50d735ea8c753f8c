// ProbeExternalDisplay and IsPrimaryPanelActive: both walk the window
// system's display-device enumeration afresh on every call.
#include "display/topology.h"

#include <cwchar>
#include <iterator>

#include "app/waits.h"
#include "discovery/vendor_test.h"
#include "display/adapter.h"
#include "platform/os_calls.h"

bool IsActiveMonitor(DWORD stateFlags) { return stateFlags == (DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED); }

bool ProbeExternalDisplay() { return ProbeExternalDisplay(nullptr); }

bool ProbeExternalDisplay(TopologyObserver* observer) {
  std::int32_t intelMonitors = 0;
  std::int32_t otherMonitors = 0;

  DISPLAY_DEVICEW adapter = {};
  adapter.cb = sizeof adapter;
  DWORD adapterIndex = 0;
  if (!os.EnumDisplayDevicesW(nullptr, adapterIndex, &adapter, 0)) return false;

  do {
    TerminateDeviceTexts(&adapter);
    const std::size_t length = wcsnlen(adapter.DeviceString, std::size(adapter.DeviceString));
    const bool intel = BeginsWithIntel(adapter.DeviceString, length);
    if (observer != nullptr) observer->Adapter({adapter.DeviceString, length, intel});

    DISPLAY_DEVICEW monitor = {};
    monitor.cb = sizeof monitor;
    for (DWORD monitorIndex = 0; os.EnumDisplayDevicesW(adapter.DeviceName, monitorIndex, &monitor, 0);
         ++monitorIndex) {
      const bool active = IsActiveMonitor(monitor.StateFlags);
      if (active) {
        if (intel)
          ++intelMonitors;
        else
          ++otherMonitors;
      }
      if (observer != nullptr) observer->Monitor({monitor.StateFlags, active});
      // Paced, so the enumeration does not hammer a display driver that is
      // still settling after a topology change.
      os.Sleep(kProbePaceMs);
    }
    os.Sleep(kProbePaceMs);
    ++adapterIndex;
  } while (os.EnumDisplayDevicesW(nullptr, adapterIndex, &adapter, 0));

  // The panel itself is the one active monitor on the Intel adapters.
  return intelMonitors > 1 || otherMonitors > 0;
}

bool IsPrimaryPanelActive() {
  DISPLAY_DEVICEW adapter;
  if (!ReadFirstAdapter(&adapter)) return false;

  // A missing monitor leaves the cleared flags, 0: not active.
  DISPLAY_DEVICEW monitor = {};
  monitor.cb = sizeof monitor;
  os.EnumDisplayDevicesW(adapter.DeviceName, 0, &monitor, 0);
  return IsActiveMonitor(monitor.StateFlags);
}
