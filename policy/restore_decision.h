// The one place the controller decides to put the panel at the DC rate.
#pragma once

#include <windows.h>

// Called on battery, with no external display, a real range and the panel
// active. Stands aside for the exempt power scheme and for a driver policy
// that forbids the switch; otherwise applies the DC rate when the state files
// say it is due. `pauseMs`: 1000 at start-up, 100 on events.
void RestoreDcRateIfDue(DWORD pauseMs);
