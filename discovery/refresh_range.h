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

// Told every controller the discovery reads (the diagnostic lists them).
// Called from inside the walk, so it must not throw.
class VideoControllerObserver {
 public:
  // `name` is null when "Name" is not a string; the rates are as the
  // discovery takes them (null or not an integer counts as 0); `kept`: its
  // rates are now the stored range.
  virtual void Controller(const wchar_t* name, std::size_t length, bool intel, std::uint32_t rawMin,
                          std::uint32_t rawMax, bool kept) noexcept = 0;

 protected:
  ~VideoControllerObserver() = default;
};

// The same discovery with the same rule for what it keeps, for the
// diagnostic: with an observer, every controller listed is read in full and
// the walk goes on to the end of the result, so that all can be shown.
// Returns S_OK when the query ran, else the failure of the step that stopped
// the run (locator, connection or query).
HRESULT DiscoverRefreshRange(VideoControllerObserver* observer);
