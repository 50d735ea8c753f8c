// The shared Startup apps rule, read through the starter's seam.
#include "starter/startup_approved.h"

#include "starter/starter_os.h"

bool StartupTurnedOff(const wchar_t* userSid) {
  // Taken from the table at each call, so that a test's replacement of an
  // entry is seen.
  const StartupRegistry registry = {starterOs.RegOpenKeyExW, starterOs.RegQueryValueExW, starterOs.RegCloseKey};
  return StartupTurnedOff(registry, userSid);
}
