// The panel's refresh-rate range, from WMI's Win32_VideoController.
#pragma once

#include <cstdint>

// The nominal rate a reported rate stands for: 30, 40, 48, 60, 100, 120, 144
// or 244 when the rate lies within 3 of one of them, else the rate itself.
std::int32_t SnapToNominalRate(std::uint32_t rate);

// Asks WMI for the video controllers and takes the first Intel controller
// that reports both rates; fills rawMinRefreshRate, rawMaxRefreshRate,
// dcRate and acRate. Enters and leaves COM within the call.
void DiscoverRefreshRange();
