// A ready-made machine for the tests and tools that need a whole laptop:
// an Intel Iris Xe controller reporting 47-144 Hz (DC rate 48, AC rate 144),
// a panel taking 48, 60 and 144 Hz, an NVIDIA class subkey before the Intel
// one (policy 0), the Balanced scheme, and the window procedure told of mode
// changes as the system tells it, from inside ChangeDisplaySettingsW.
#pragma once

#include "fake/fake_laptop.h"

struct LaptopPreset {
  const char* acdc;     // lasttimeACDC.txt
  const char* refresh;  // lasttimeDCRefresh.txt
  BYTE acLine;          // ACLineStatus
  DWORD rate;           // the panel's current rate
  bool started;         // the rates are known already, as after start-up
};

void SetUpIrisLaptop(FakeLaptop& fake, const LaptopPreset& preset, const std::string& scratchTag);
