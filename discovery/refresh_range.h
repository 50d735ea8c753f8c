// The panel's refresh-rate range, from WMI's Win32_VideoController.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstddef>

// The nominal rate a reported rate stands for: 30, 40, 48, 60, 100, 120, 144
// or 244 when the rate lies within 3 of one of them, else the rate itself.
std::int32_t SnapToNominalRate(std::uint32_t rate);

// Asks WMI for the video controllers and takes the first Intel controller
// that reports both rates; fills rawMinRefreshRate, rawMaxRefreshRate,
// dcRate and acRate. Enters and leaves COM within the call.
void DiscoverRefreshRange();

// What the discovery read of one video controller, as it read it.
struct VideoControllerRead {
  const wchar_t* name;  // null when "Name" is not a string
  std::size_t length;   // of the name, in UTF-16 units
  bool intel;           // passed the vendor test; only then are the rates read,
  std::uint32_t rawMin; // as the discovery takes them (null or not an
  std::uint32_t rawMax; // integer counts as 0), and stored as the range
};

// Told every controller the discovery reads, up to the one where it stops
// (the diagnostic lists them). Called from inside the walk, so it must not
// throw.
class VideoControllerObserver {
 public:
  virtual void Controller(const VideoControllerRead& controller) noexcept = 0;

 protected:
  ~VideoControllerObserver() = default;
};

// The same discovery, telling `observer` (when not null) what it reads.
// Returns S_OK when the query ran, else the failure of the step that stopped
// the run (locator, connection or query).
HRESULT DiscoverRefreshRange(VideoControllerObserver* observer);
