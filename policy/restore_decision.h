// The one place the controller decides to put the panel at the DC rate.
#pragma once

#include <windows.h>

#include <cstdint>

// Called on battery, with no external display, a real range and the panel
// active. Stands aside for the exempt power scheme and for a driver policy
// that forbids the switch; otherwise applies the DC rate when the state files
// say it is due. `pauseMs`: kStartupDecisionPauseMs or kEventDecisionPauseMs
// (app/waits.h).
void RestoreDcRateIfDue(DWORD pauseMs);

// The driver's "DCUserPreferencePolicy" lets the switch go ahead: 0, or
// bits 4 to 7 holding 4 (all other bits ignored).
bool PolicyAllowsSwitch(std::uint32_t policy);

// The mark table: mains last recorded (kMarkMains), or battery
// (kMarkBattery) with the panel last seen at the DC rate (kMarkAtDcRate).
// Only the first character of each counts.
bool SwitchIsDue(const char* acdcMark, const char* dcRefreshMark);
