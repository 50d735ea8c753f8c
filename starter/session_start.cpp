// Starts the controller in the signed-in users' sessions (see
// session_start.h).
#include "starter/session_start.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

#include "starter/starter_os.h"
#include "starter/startup_approved.h"

namespace {

const DWORD kNoConsoleSession = 0xFFFFFFFF;
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

std::vector<DWORD> SessionsToVisit(StarterLog log, void* context) {
  std::vector<DWORD> sessions;
  WTS_SESSION_INFOW* info = nullptr;
  DWORD count = 0;
  if (starterOs.WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &info, &count)) {
    // The list is copied before anything is started, so that the WTS
    // buffer is given back at once, also when the copy runs out of memory.
    try {
      for (DWORD i = 0; i < count; ++i) {
        if (info[i].SessionId != 0) sessions.push_back(info[i].SessionId);
      }
    } catch (...) {
      starterOs.WTSFreeMemory(info);
      throw;
    }
    starterOs.WTSFreeMemory(info);
  } else {
    Say(log, context, L"Lumarest: the sessions could not be listed (error %lu)", starterOs.GetLastError());
  }
  const DWORD console = starterOs.WTSGetActiveConsoleSessionId();
  if (console != kNoConsoleSession && console != 0) {
    bool listed = false;
    for (DWORD id : sessions) listed = listed || id == console;
    if (!listed) sessions.push_back(console);
  }
  return sessions;
}

enum class Outcome { kStarted, kTurnedOff, kNoUser, kFailed };

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

Outcome StartAs(HANDLE token, DWORD session, const wchar_t* exePath, StarterLog log, void* context) {
  wchar_t* sid = nullptr;
  if (!UserSid(token, &sid)) {
    Say(log, context, L"Lumarest: session %lu: the user could not be read (error %lu); nothing started",
        session, starterOs.GetLastError());
    return Outcome::kFailed;
  }
  const bool turnedOff = StartupTurnedOff(sid);
  starterOs.LocalFree(sid);
  if (turnedOff) {
    Say(log, context, L"Lumarest: session %lu: the user has turned Lumarest off in Startup apps", session);
    return Outcome::kTurnedOff;
  }

  // As the Run value says it: the quoted path, so that the spaces in it
  // cannot make another program of it. Writable, as CreateProcessAsUserW
  // wants it, and fixed in size: nothing here may throw while the token is
  // held.
  wchar_t commandLine[kCommandLineLimit] = L"";
  const int length = std::swprintf(commandLine, kCommandLineLimit, L"\"%ls\"", exePath);
  if (length < 0 || length >= kCommandLineLimit - 1) {
    Say(log, context, L"Lumarest: session %lu: the controller's path is too long; nothing started", session);
    return Outcome::kFailed;
  }
  // Without the user's own environment the controller would inherit the
  // system account's (its profile, its TEMP): better not started.
  void* environment = nullptr;
  if (!starterOs.CreateEnvironmentBlock(&environment, token, FALSE)) {
    Say(log, context, L"Lumarest: session %lu: no environment for the user (error %lu); nothing started", session,
        starterOs.GetLastError());
    return Outcome::kFailed;
  }
  wchar_t desktop[] = L"winsta0\\default";  // writable too
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop;
  PROCESS_INFORMATION process = {};
  const BOOL created =
      starterOs.CreateProcessAsUserW(token, exePath, commandLine, nullptr, nullptr, FALSE,
                                     CREATE_UNICODE_ENVIRONMENT, environment, nullptr, &startup, &process);
  const DWORD error = created ? 0 : starterOs.GetLastError();
  starterOs.DestroyEnvironmentBlock(environment);
  if (!created) {
    Say(log, context, L"Lumarest: session %lu: the controller could not be started (error %lu)", session, error);
    return Outcome::kFailed;
  }
  starterOs.CloseHandle(process.hThread);
  starterOs.CloseHandle(process.hProcess);
  Say(log, context, L"Lumarest: session %lu: controller started (process %lu)", session, process.dwProcessId);
  return Outcome::kStarted;
}

Outcome StartInSession(DWORD session, const wchar_t* exePath, StarterLog log, void* context) {
  HANDLE token = nullptr;
  if (!starterOs.WTSQueryUserToken(session, &token)) {
    Say(log, context, L"Lumarest: session %lu: no user token (error %lu): no one signed in, or refused", session,
        starterOs.GetLastError());
    return Outcome::kNoUser;
  }
  const Outcome outcome = StartAs(token, session, exePath, log, context);
  starterOs.CloseHandle(token);
  return outcome;
}

}  // namespace

StartTally StartInSignedInSessions(const wchar_t* exePath, StarterLog log, void* context) {
  StartTally tally;
  for (DWORD session : SessionsToVisit(log, context)) {
    switch (StartInSession(session, exePath, log, context)) {
      case Outcome::kStarted: ++tally.started; break;
      case Outcome::kTurnedOff: ++tally.turnedOff; break;
      case Outcome::kNoUser: ++tally.noUser; break;
      case Outcome::kFailed: ++tally.failed; break;
    }
  }
  return tally;
}
