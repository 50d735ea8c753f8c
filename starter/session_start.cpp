// Starts the controller in the signed-in users' sessions (see
// session_start.h).
#include "starter/session_start.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

#include "starter/starter_os.h"
#include "platform/session_list.h"
#include "starter/startup_approved.h"

namespace {

// The quoted exe path: the path (at most MAX_PATH * 2 - 1 characters, as
// the action reads it), two quotes and the terminator.
const int kCommandLineLimit = MAX_PATH * 2 + 2;

// One line for the log, cut at the buffer's end: vswprintf never writes
// past it, and the last element ends the text even where a runtime leaves
// a cut text unterminated.
void Say(StarterLog log, void* context, const wchar_t* format, ...) {
  wchar_t line[200] = L"";
  va_list arguments;
  va_start(arguments, format);
  std::vswprintf(line, sizeof line / sizeof line[0], format, arguments);
  va_end(arguments);
  line[sizeof line / sizeof line[0] - 1] = L'\0';
  log(context, line);
}

std::vector<DWORD> Sessions(StarterLog log, void* context) {
  const SessionList list = SessionsToVisit({starterOs.WTSEnumerateSessionsW, starterOs.WTSFreeMemory,
                                            starterOs.WTSGetActiveConsoleSessionId, starterOs.GetLastError});
  if (!list.listed) Say(log, context, L"Lumarest: the sessions could not be listed (error %lu)", list.listError);
  return list.ids;
}

enum class Outcome { kStarted, kTurnedOff, kNoUser, kFailed };

// What the starter knows of its own process: whether it runs in a job.
// Windows Installer does not document whether its custom-action server runs
// in a job object; where it does, a process it starts belongs to the same
// job unless it breaks away, may end with it, and a job's processes must
// all run in one session, so a start into a user's session could even be
// refused. CREATE_BREAKAWAY_FROM_JOB asks to leave it; a job without
// JOB_OBJECT_LIMIT_BREAKAWAY_OK refuses that with ERROR_ACCESS_DENIED
// (Process Creation Flags), and the start is then made without it.
struct Starting {
  const wchar_t* exePath;
  bool inJob;
  StarterLog log;
  void* context;
};

// The token's elevation type, for the pilot's log: an administrator's
// session token should be the filtered one ("limited"); "default" is a
// standard user's, or a machine without UAC.
const wchar_t* ElevationType(HANDLE token) {
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  if (!starterOs.GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size)) return L"unknown";
  switch (type) {
    case TokenElevationTypeDefault: return L"default";
    case TokenElevationTypeFull: return L"full";
    case TokenElevationTypeLimited: return L"limited";
  }
  return L"unknown";
}

// The token's user as SID text, in `sid` (LocalFree'd by the caller), or
// false.
bool UserSid(HANDLE token, wchar_t** sid) {
  // TOKEN_USER and the SID it points to, which follows it; a SID is at most
  // SECURITY_MAX_SID_SIZE bytes.
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } buffer;
  DWORD size = 0;
  return starterOs.GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &size) &&
         starterOs.ConvertSidToStringSidW(buffer.user.User.Sid, sid);
}

// Starts the controller, breaking away from the installer's job where there
// is one and it allows that; says in `how` which it was.
BOOL CreateController(HANDLE token, const Starting& s, wchar_t* commandLine, void* environment,
                      STARTUPINFOW* startup, PROCESS_INFORMATION* process, const wchar_t** how) {
  const DWORD flags = CREATE_UNICODE_ENVIRONMENT;
  *how = L"";
  if (s.inJob) {
    *how = L", out of the installer's job";
    if (starterOs.CreateProcessAsUserW(token, s.exePath, commandLine, nullptr, nullptr, FALSE,
                                       flags | CREATE_BREAKAWAY_FROM_JOB, environment, nullptr, startup, process))
      return TRUE;
    if (starterOs.GetLastError() != ERROR_ACCESS_DENIED) return FALSE;
    *how = L", inside the installer's job, which refuses breakaway";
  }
  return starterOs.CreateProcessAsUserW(token, s.exePath, commandLine, nullptr, nullptr, FALSE, flags, environment,
                                        nullptr, startup, process);
}

Outcome StartAs(HANDLE token, DWORD session, const Starting& s) {
  const StarterLog log = s.log;
  void* const context = s.context;
  const wchar_t* const elevation = ElevationType(token);
  wchar_t* sid = nullptr;
  if (!UserSid(token, &sid)) {
    Say(log, context,
        L"Lumarest: session %lu: the user could not be read (error %lu); nothing started (token elevation type %ls)",
        session, starterOs.GetLastError(), elevation);
    return Outcome::kFailed;
  }
  const bool turnedOff = StartupTurnedOff(sid);
  starterOs.LocalFree(sid);
  if (turnedOff) {
    Say(log, context,
        L"Lumarest: session %lu: the user has turned Lumarest off in Startup apps (token elevation type %ls)",
        session, elevation);
    return Outcome::kTurnedOff;
  }

  // As the Run value says it: the quoted path, so that the spaces in it
  // cannot make another program of it. Writable, as CreateProcessAsUserW
  // wants it, and fixed in size: nothing here may throw while the token is
  // held.
  wchar_t commandLine[kCommandLineLimit] = L"";
  const int length = std::swprintf(commandLine, kCommandLineLimit, L"\"%ls\"", s.exePath);
  if (length < 0 || length >= kCommandLineLimit - 1) {
    Say(log, context,
        L"Lumarest: session %lu: the controller's path is too long; nothing started (token elevation type %ls)",
        session, elevation);
    return Outcome::kFailed;
  }
  // Without the user's own environment the controller would inherit the
  // system account's (its profile, its TEMP): better not started.
  void* environment = nullptr;
  if (!starterOs.CreateEnvironmentBlock(&environment, token, FALSE)) {
    Say(log, context,
        L"Lumarest: session %lu: no environment for the user (error %lu); nothing started (token elevation type %ls)",
        session, starterOs.GetLastError(), elevation);
    return Outcome::kFailed;
  }
  wchar_t desktop[] = L"winsta0\\default";  // writable too
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop;
  PROCESS_INFORMATION process = {};
  const wchar_t* how = L"";
  const BOOL created = CreateController(token, s, commandLine, environment, &startup, &process, &how);
  const DWORD error = created ? 0 : starterOs.GetLastError();
  starterOs.DestroyEnvironmentBlock(environment);
  if (!created) {
    Say(log, context,
        L"Lumarest: session %lu: the controller could not be started (error %lu; token elevation type %ls%ls)",
        session, error, elevation, how);
    return Outcome::kFailed;
  }
  starterOs.CloseHandle(process.hThread);
  starterOs.CloseHandle(process.hProcess);
  Say(log, context, L"Lumarest: session %lu: controller started (process %lu; token elevation type %ls%ls)", session,
      process.dwProcessId, elevation, how);
  return Outcome::kStarted;
}

Outcome StartInSession(DWORD session, const Starting& s) {
  HANDLE token = nullptr;
  if (!starterOs.WTSQueryUserToken(session, &token)) {
    const DWORD error = starterOs.GetLastError();
    // WTSQueryUserToken's page: ERROR_NO_TOKEN when no one is signed in to
    // the session; ERROR_FILE_NOT_FOUND for a session that is no longer
    // there. Anything else (a privilege not held, access denied) is a
    // failure to be seen in the log, not an empty session.
    if (error == ERROR_NO_TOKEN || error == ERROR_FILE_NOT_FOUND) {
      Say(s.log, s.context, L"Lumarest: session %lu: no one signed in (error %lu)", session, error);
      return Outcome::kNoUser;
    }
    Say(s.log, s.context, L"Lumarest: session %lu: the user's token could not be had (error %lu); nothing started",
        session, error);
    return Outcome::kFailed;
  }
  const Outcome outcome = StartAs(token, session, s);
  starterOs.CloseHandle(token);
  return outcome;
}

bool RunsInAJob() {
  BOOL inJob = FALSE;
  return starterOs.IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) && inJob;
}

}  // namespace

StartTally StartInSignedInSessions(const wchar_t* exePath, StarterLog log, void* context) {
  StartTally tally;
  const Starting starting = {exePath, RunsInAJob(), log, context};
  for (DWORD session : Sessions(log, context)) {
    switch (StartInSession(session, starting)) {
      case Outcome::kStarted: ++tally.started; break;
      case Outcome::kTurnedOff: ++tally.turnedOff; break;
      case Outcome::kNoUser: ++tally.noUser; break;
      case Outcome::kFailed: ++tally.failed; break;
    }
  }
  return tally;
}
