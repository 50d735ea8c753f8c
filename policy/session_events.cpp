// OnSessionChange: the session lock flag, and the catch-up on log-on and unlock.
#include "policy/handlings.h"

void OnSessionChange(WPARAM) {}
