// The panel's refresh-rate range, from WMI's Win32_VideoController.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The nominal rate a reported rate stands for: 30, 40, 48, 60, 100, 120, 144
// or 244 when the rate lies within 3 of one of them, else the rate itself.
std::int32_t SnapToNominalRate(std::uint32_t rate);

// Asks WMI for the video controllers and takes the first Intel controller
// that reports both rates; fills rawMinRefreshRate, rawMaxRefreshRate,
// dcRate and acRate. Enters and leaves COM within the call.
void DiscoverRefreshRange();

// One controller of the query's result, as the diagnostic shows it.
struct VideoControllerSeen {
  bool nameIsText = false;          // "Name" was a string
  std::wstring name;                // its UTF-16 units as WMI gave them
  bool intel = false;               // passed the vendor test
  std::uint32_t rawMin = 0;         // the rates as the discovery takes them:
  std::uint32_t rawMax = 0;         // null or not an integer counts as 0
  bool matched = false;             // its rates are the ones the discovery kept
};

// The same discovery with the same rule for what it keeps, for the
// diagnostic: every controller listed is read in full and the walk goes on
// to the end of the result, so that all of them can be shown. Returns S_OK
// when the query ran, else the failure of the step that stopped the run
// (locator, connection or query).
HRESULT DiscoverRefreshRange(std::vector<VideoControllerSeen>* seen);
