// The policy handlings the application shell calls: the start-up
// reconciliation and the three message handlings of the window procedure.
#pragma once

#include <windows.h>

// Last step of the start-up sequence, before the message loop.
void ReconcileAtStartup();

// WM_POWERBROADCAST with PBT_APMPOWERSTATUSCHANGE.
LRESULT OnPowerStatusChange();

// WM_DISPLAYCHANGE; the message's colour depth and resolution are not needed.
LRESULT OnDisplayChange();

// WM_WTSSESSION_CHANGE, given the event code (wParam) only.
void OnSessionChange(WPARAM eventCode);
