// The common first step of the event handlings.
#pragma once

// Probes for an external display and returns the answer; when a display
// that was external at start-up has gone, runs the range discovery again.
bool RefreshRangeIfExternalGone();
