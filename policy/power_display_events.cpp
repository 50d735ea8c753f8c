// OnPowerStatusChange and OnDisplayChange: the power-status and display-change
// handlings of the window procedure.
#include "policy/handlings.h"

LRESULT OnPowerStatusChange() { return 0; }

LRESULT OnDisplayChange() { return 0; }
