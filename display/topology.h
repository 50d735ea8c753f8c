// Read-only probes of the display topology.
#pragma once

#include <windows.h>

#include <cstddef>

// Told what the external-display probe counts, as it counts it (the
// diagnostic lists it). Called from inside the probe, so it must not throw.
class TopologyObserver {
 public:
  // An adapter entry: its description as the vendor test saw it.
  virtual void Adapter(const wchar_t* description, std::size_t length, bool intel) noexcept = 0;
  // A monitor of the adapter told last, and whether it counts as active.
  virtual void Monitor(DWORD stateFlags, bool active) noexcept = 0;

 protected:
  ~TopologyObserver() = default;
};

// True when a display other than the built-in panel is attached and active:
// a second active monitor on Intel adapters, or any active monitor on an
// adapter of another vendor.
bool ProbeExternalDisplay();

// The same probe, telling `observer` (when not null) what it counts.
bool ProbeExternalDisplay(TopologyObserver* observer);

// True when monitor 0 of adapter 0 (the first entry of the enumeration) is
// active and attached.
bool IsPrimaryPanelActive();

// Active and attached, and no other bit: a monitor that is mirrored,
// removable or anything else does not count.
bool IsActiveMonitor(DWORD stateFlags);
