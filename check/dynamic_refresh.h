// Windows 11's Dynamic refresh rate, as the check reports it beside the
// current rate. With it on, Windows reports a lower "virtual" rate to
// programs that read the mode the classic way (EnumDisplaySettingsW, as the
// controller does), often 60 Hz, while the panel runs up to its physical
// rate when there is motion; Settings shows "Dynamic (120 Hz)". The
// controller knows nothing of it: this only explains what an owner sees.
#pragma once

#include <windows.h>

#include <optional>

struct DynamicRefreshSeen {
  bool known = false;    // Windows answered the query that knows virtual rates (Windows 11)
  bool dynamic = false;  // the primary path boosts between the two rates
  std::optional<DWORD> reported;  // the rate Windows reports to programs
  std::optional<DWORD> physical;  // the panel's own: the target mode's signal frequency
};

// The primary path (its source at the desktop's origin) as QueryDisplayConfig
// gives it with QDC_ONLY_ACTIVE_PATHS | QDC_VIRTUAL_REFRESH_RATE_AWARE. On a
// Windows without that flag (Windows 10 refuses it; so may Wine) nothing is
// known, and the report says nothing.
DynamicRefreshSeen ReadDynamicRefresh();
