// Storage of the controller's process-wide record: static, zero-filled.
#include "app/controller_state.h"

ControllerState controllerState;
