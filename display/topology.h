// Read-only probes of the display topology.
#pragma once

#include <windows.h>

#include <cstddef>

// What the external-display probe read of an adapter entry: its
// description as the vendor test saw it.
struct AdapterRead {
  const wchar_t* description;
  std::size_t length;
  bool intel;
};

// What it read of a monitor of the adapter told last.
struct MonitorRead {
  DWORD stateFlags;
  bool active;  // counts as an active monitor
};

// Told what the external-display probe counts, as it counts it (the
// diagnostic lists it). Called from inside the probe, so it must not throw.
class TopologyObserver {
 public:
  virtual void Adapter(const AdapterRead& adapter) noexcept = 0;
  virtual void Monitor(const MonitorRead& monitor) noexcept = 0;

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
