// Read-only probes of the display topology.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// One adapter entry as the external-display probe counted it.
struct AdapterSeen {
  std::wstring description;          // DeviceString, as the vendor test saw it
  bool intel = false;                // passed the vendor test
  std::vector<DWORD> monitorFlags;   // StateFlags of each monitor listed, in order
  std::int32_t activeMonitors = 0;   // of them, the ones that count as active
};

// True when a display other than the built-in panel is attached and active:
// a second active monitor on Intel adapters, or any active monitor on an
// adapter of another vendor.
bool ProbeExternalDisplay();

// The same probe, also telling what it counted on each adapter entry.
bool ProbeExternalDisplay(std::vector<AdapterSeen>* seen);

// True when monitor 0 of adapter 0 (the first entry of the enumeration) is
// active and attached.
bool IsPrimaryPanelActive();

// Active and attached, and no other bit: a monitor that is mirrored,
// removable or anything else does not count.
bool IsActiveMonitor(DWORD stateFlags);
