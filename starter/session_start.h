// Starts the controller in every session that has a signed-in user, as that
// user: what each user's next sign-in would do, done at the end of an
// installation, an upgrade or a repair, which all end every controller
// first. Run by Windows Installer in the system context (the only context
// that may ask for another session's user token).
#pragma once

#include <windows.h>

// One line for the installation's log; `context` is the caller's.
using StarterLog = void (*)(void* context, const wchar_t* line);

struct StartTally {
  unsigned started = 0;    // a controller was started in the session
  unsigned turnedOff = 0;  // the user has turned Lumarest off in Startup apps
  unsigned noUser = 0;     // no signed-in user (WTSQueryUserToken: ERROR_NO_TOKEN, or the session is gone)
  unsigned failed = 0;     // the user's token, SID, environment or the process failed
};

// The sessions to look at: those WTSEnumerateSessionsW lists, then the
// active console session when it is not among them (it can be missing from
// the list, as under Wine), never session 0, where services run and no
// user works.
// For each: the user's own token for that session (WTSQueryUserToken: for
// an administrator, the filtered one, never elevated), that user's
// environment, the interactive desktop winsta0\default, the exe's path
// quoted as the command line, as the Run value has it; not waited for;
// out of the installer's job object where it runs in one and the job
// allows it. A failure in one session is logged and the next is tried.
// Each session's log line names the token's elevation type.
StartTally StartInSignedInSessions(const wchar_t* exePath, StarterLog log, void* context);
