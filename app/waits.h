// Every wait of the controller, by name, with the reason for its place.
//
// These values are the controller's behaviour, not tuning: each wait sits
// at a fixed point of a handling, and the whole of a handling's timing (how
// long it blocks the thread, how far apart its retries are) follows from
// them. Changing one changes what the controller does. The tests pin every
// value and place: the exact Sleep lists and virtual times of the unit tests
// (tests/unit: state_files_test, display_test, driver_policy_test,
// refresh_range_test, restore_decision_test, startup_test, handlings_test)
// and every `expect waited` of the scenarios in sim/scenarios.
#pragma once

#include <windows.h>

// Topology probe: after every monitor listed and after every adapter
// entry, so the enumeration does not hammer a display driver that is still
// settling after a topology change.
inline constexpr DWORD kProbePaceMs = 10;

// Range discovery: before asking WMI for the next controller of the result.
inline constexpr DWORD kControllerPaceMs = 10;

// Driver policy probe: after every display-adapter subkey passed over.
inline constexpr DWORD kDriverKeyPaceMs = 10;

// Switcher: after each submission of the DC rate, for the driver to settle
// (and, where it may, to announce the change) before anything else runs.
inline constexpr DWORD kModeSettleMs = 1000;

// Start-up: after the state files are made, whatever they did, before the
// decision part.
inline constexpr DWORD kStartupWaitMs = 1000;

// Restore decision: the pause after the scheme test, before the driver's
// value is judged: longer at start-up, when the system is still settling,
// than on an event.
inline constexpr DWORD kStartupDecisionPauseMs = 1000;
inline constexpr DWORD kEventDecisionPauseMs = 100;
// Restore decision: after the marks are read and before they are judged.
inline constexpr DWORD kMarksReadSettleMs = 2000;

// State files. The write of a mark waits between its successful open and
// the write: longer for start-up's record of mains than anywhere else.
inline constexpr DWORD kStartupMainsMarkPauseMs = 100;
inline constexpr DWORD kMarkPauseMs = 10;
// A failed open waits before the next attempt, so the at most 10 attempts
// are spread over about 200 ms, long enough for another process's hold.
inline constexpr DWORD kRetryWaitMs = 10;
// Between the opens of the two files: 2 ms at their creation, 10 ms when
// mains is recorded in both; and between the two writes of that record.
inline constexpr DWORD kCreateOpensGapMs = 2;
inline constexpr DWORD kAcMarksGapMs = 10;
// The read of the marks: between the two opens, and between the two reads.
inline constexpr DWORD kReadGapMs = 100;
