// lumarest-starter.dll: the package's commit action StartControllers.
//
// Windows Installer runs it in the system context once the installation
// script has succeeded (an install, an upgrade, a repair; the package's
// condition leaves out a removal and LUMAREST_START=0). It starts the
// installed controller in every signed-in user's session and never fails
// the installation: by then the installation is complete, and a
// controller that does not start now starts at that user's next sign-in.
#include <windows.h>
#include <msiquery.h>

#include <cwchar>

#include "starter/session_start.h"
#include "starter/starter_os.h"

namespace {

// A line in the installation's log (msiexec /l*v), as an information
// message. The text goes in as a field, not as the template, so that no
// bracket in it is taken for a property.
void LogLine(void* context, const wchar_t* line) {
  const MSIHANDLE install = *static_cast<const MSIHANDLE*>(context);
  const MSIHANDLE record = starterOs.MsiCreateRecord(1);
  if (record == 0) return;
  starterOs.MsiRecordSetStringW(record, 0, L"[1]");
  starterOs.MsiRecordSetStringW(record, 1, line);
  starterOs.MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  starterOs.MsiCloseHandle(record);
}

void Run(MSIHANDLE install) {
  // A deferred or commit action sees only CustomActionData: the installed
  // lumarest.exe's full path, set by SetStartControllersData.
  wchar_t exePath[MAX_PATH * 2] = L"";
  DWORD length = sizeof exePath / sizeof exePath[0];
  const UINT status = starterOs.MsiGetPropertyW(install, L"CustomActionData", exePath, &length);
  if (status != ERROR_SUCCESS || exePath[0] == L'\0') {
    wchar_t line[120] = L"";
    std::swprintf(line, sizeof line / sizeof line[0] - 1,
                  L"Lumarest: no controller path in CustomActionData (%u); nothing started", status);
    LogLine(&install, line);
    return;
  }
  const StartTally tally = StartInSignedInSessions(exePath, LogLine, &install);
  wchar_t line[200] = L"";
  std::swprintf(line, sizeof line / sizeof line[0] - 1,
                L"Lumarest: controllers started %u, turned off by the user %u, sessions without a user %u, "
                L"failed %u",
                tally.started, tally.turnedOff, tally.noUser, tally.failed);
  LogLine(&install, line);
}

}  // namespace

// Exported undecorated (lumarest-starter.def): the CustomAction table names
// the entry point "StartControllers".
extern "C" UINT WINAPI StartControllers(MSIHANDLE install) {
  try {
    Run(install);
  } catch (...) {
    // Out of memory while copying the session list (std::bad_alloc, the
    // one exception the code can raise, and only before any session is
    // visited): no exception may leave a custom action, and the next
    // sign-in starts the controllers.
  }
  return ERROR_SUCCESS;
}
