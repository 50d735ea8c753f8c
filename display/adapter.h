// Adapter 0 (the first entry of the display-device enumeration, taken as the
// primary display) and its current mode, read the one way every part of the
// controller reads them.
#pragma once

#include <windows.h>

// A driver is not trusted to terminate the record's texts.
void TerminateDeviceTexts(DISPLAY_DEVICEW* record);

// EnumDisplayDevicesW with no device name, index 0, flags 0, into a record
// whose size field is set; false when there is no adapter.
bool ReadFirstAdapter(DISPLAY_DEVICEW* adapter);

// EnumDisplaySettingsW with the adapter's name and ENUM_CURRENT_SETTINGS, into
// a record whose size is set and which asks for no driver-private bytes.
bool ReadCurrentMode(const DISPLAY_DEVICEW& adapter, DEVMODEW* mode);
