// Read-only probes of the display topology.
#pragma once

// True when a display other than the built-in panel is attached and active:
// a second active monitor on Intel adapters, or any active monitor on an
// adapter of another vendor.
bool ProbeExternalDisplay();

// True when monitor 0 of adapter 0 (the first entry of the enumeration) is
// active and attached.
bool IsPrimaryPanelActive();
