// Every session with a signed-in user, seen from wherever lumarest-check
// runs: as SYSTEM in session 0 (where fleet tools run scripts) it sees them
// all; from a user's session it sees its own and says which others it
// could not read. For each: whether a controller runs in it and whether
// that user turned Lumarest off in Startup apps.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// The controller as the package installs it: a process of this image in a
// session is that session's controller. A copy started from elsewhere is
// not the installed controller and does not count.
inline constexpr wchar_t kInstalledController[] = L"C:\\Program Files (x86)\\Kelvane\\Lumarest\\lumarest.exe";

struct SessionSeen {
  DWORD id = 0;
  std::optional<std::wstring> user;  // DOMAIN\name; nullopt when the name cannot be read
  bool controllerRunning = false;    // a process of kInstalledController in this session
  std::optional<bool> turnedOff;     // by the Startup apps rule; nullopt when the user's SID cannot be read
  bool readable = false;             // the user's SID and the processes could be read
  DWORD error = 0;                   // for a session not readable: the call's error

  // A signed-in user who did not turn Lumarest off, and has no controller
  // (or could not be seen to have one).
  bool MissesController() const { return !controllerRunning && turnedOff != true; }
};

struct SessionsSeen {
  bool listed = false;       // WTSEnumerateSessionsW answered (the console session is added anyway)
  DWORD listError = 0;
  bool processesListed = false;  // the process snapshot could be taken
  DWORD processesError = 0;
  std::vector<SessionSeen> sessions;  // in the order looked at: listed, then the console session
};

// The sessions the package's starter visits (WTSEnumerateSessionsW, the
// active console session when it is missing from the list, never session
// 0), passed over when no user is signed in. Raises the controller's
// out-of-memory exception when a list or a name cannot be kept, after
// giving back every buffer, handle and token.
SessionsSeen LookAtSessions();
