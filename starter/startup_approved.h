// The starter's question before starting a controller for a user: has that
// user turned Lumarest off in Startup apps? The rule itself is shared with
// lumarest-check (platform/startup_approved.h); here it reads the registry
// through the starter's own seam.
#pragma once

#include <windows.h>

#include "platform/startup_approved.h"

// Whether the user with this SID (text form) has turned Lumarest off, in
// their own hive or for the machine. A null SID looks at the machine's
// records only.
bool StartupTurnedOff(const wchar_t* userSid);
