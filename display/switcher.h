// The one place the controller changes the display mode.
#pragma once

// Switches the primary display to `dcRate`, keeping resolution and colour
// depth. True when the display already ran at that rate or a change was
// submitted; false when adapter 0 or its current mode cannot be read.
bool ApplyDcRate();
