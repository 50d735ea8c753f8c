// The modes the panel's driver lists, for the one question the controller
// never asks: is the DC rate among the rates offered at the resolution and
// colour depth the panel runs at? The controller keeps those and changes
// only the rate, so a rate not listed there is one Windows refuses
// (DISP_CHANGE_BADMODE). WMI's range and the listed modes need not agree: a
// 59.94 Hz mode is listed as 59 Hz, and the nominal snap makes a reported
// 59 into 60.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

struct PanelModes {
  bool read = false;  // adapter 0 and its current mode could be read
  DWORD width = 0, height = 0, bitsPerPixel = 0, currentRate = 0;
  // The rates listed at the current width, height and depth, ascending, each
  // once. 0 and 1 ("the hardware's default") name no rate and are left out.
  std::vector<DWORD> rates;

  bool Offers(std::int32_t rate) const;
};

// Adapter 0 and its current mode as the switcher reads them, then every mode
// the driver lists for adapter 0 (by index, until the list ends).
PanelModes ReadPanelModes();
