// ReadFirstAdapter and ReadCurrentMode, shared by the probes, the switcher
// and the handlings that compare the current rate with the DC rate.
#include "display/adapter.h"

#include <iterator>

#include "platform/os_calls.h"

void TerminateDeviceTexts(DISPLAY_DEVICEW* record) {
  record->DeviceName[std::size(record->DeviceName) - 1] = 0;
  record->DeviceString[std::size(record->DeviceString) - 1] = 0;
}

bool ReadFirstAdapter(DISPLAY_DEVICEW* adapter) {
  *adapter = {};
  adapter->cb = sizeof *adapter;
  const bool found = os.EnumDisplayDevicesW(nullptr, 0, adapter, 0) != 0;
  TerminateDeviceTexts(adapter);
  return found;
}

bool ReadCurrentMode(const DISPLAY_DEVICEW& adapter, DEVMODEW* mode) {
  *mode = {};
  mode->dmSize = sizeof *mode;
  mode->dmDriverExtra = 0;
  return os.EnumDisplaySettingsW(adapter.DeviceName, ENUM_CURRENT_SETTINGS, mode) != 0;
}
