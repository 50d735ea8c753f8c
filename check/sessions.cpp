// LookAtSessions: the signed-in users' sessions, their controllers and
// their Startup apps switch, read only.
#include "check/sessions.h"

#include <cwchar>
#include <new>

#include "check/process_list.h"
#include "check/text_encoding.h"
#include "platform/hresult_error.h"
#include "platform/os_calls.h"
#include "platform/session_list.h"
#include "platform/startup_approved.h"

namespace {

// A SID's text is at most 184 characters.
const int kSidLimit = 192;

std::vector<DWORD> SessionIds(SessionsSeen& seen) {
  try {
    SessionList list = SessionsToVisit({os.WTSEnumerateSessionsW, os.WTSFreeMemory, os.WTSGetActiveConsoleSessionId,
                                        os.GetLastError});
    seen.listed = list.listed;
    seen.listError = list.listError;
    return std::move(list.ids);
  } catch (const std::bad_alloc&) {
    RaiseHresult(E_OUTOFMEMORY);
  }
}

// One text of a session (its user or domain name); nullopt when it cannot
// be read, with the error.
std::optional<std::wstring> SessionText(DWORD session, WTS_INFO_CLASS what, DWORD* error) {
  wchar_t* buffer = nullptr;
  DWORD bytes = 0;
  if (!os.WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, what, &buffer, &bytes) ||
      buffer == nullptr) {
    *error = os.GetLastError();
    return std::nullopt;
  }
  std::optional<std::wstring> text;
  bool outOfMemory = false;
  try {
    text = std::wstring(buffer, wcsnlen(buffer, bytes / sizeof(wchar_t)));
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  }
  os.WTSFreeMemory(buffer);
  if (outOfMemory) RaiseHresult(E_OUTOFMEMORY);
  return text;
}

// The token's user as SID text, copied into `sid`; false (with the error)
// when it cannot be read. Nothing here allocates beyond the system's own
// SID text, which is given back before returning.
bool UserSid(HANDLE token, wchar_t (&sid)[kSidLimit], DWORD* error) {
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } buffer;
  DWORD size = 0;
  wchar_t* text = nullptr;
  if (!os.GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &size) ||
      !os.ConvertSidToStringSidW(buffer.user.User.Sid, &text)) {
    *error = os.GetLastError();
    return false;
  }
  const std::size_t length = wcsnlen(text, kSidLimit);
  const bool fits = length < kSidLimit;
  if (fits) std::wmemcpy(sid, text, length + 1);
  os.LocalFree(text);
  if (!fits) *error = ERROR_INSUFFICIENT_BUFFER;
  return fits;
}

// The session's user SID: from the session's own token, which only the
// system account may ask for; for this process's own session, from this
// process's token when that is refused.
bool SessionUserSid(DWORD session, bool ownSession, wchar_t (&sid)[kSidLimit], DWORD* error) {
  HANDLE token = nullptr;
  if (!os.WTSQueryUserToken(session, &token)) {
    *error = os.GetLastError();
    if (!ownSession || !os.OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  }
  const bool read = UserSid(token, sid, error);
  os.CloseHandle(token);
  return read;
}

struct Controller {
  DWORD session;
};

// The installed controllers and the session each runs in. A lumarest.exe
// that cannot be opened, or whose session cannot be read, is left out: it
// is another user's, from an ordinary account, and that user's session is
// then not readable anyway.
std::vector<Controller> InstalledControllers(SessionsSeen& seen) {
  std::vector<Controller> controllers;
  const std::optional<std::vector<ProcessListed>> processes = ListProcesses();
  seen.processesListed = processes.has_value();
  if (!processes) {
    seen.processesError = os.GetLastError();
    return controllers;
  }
  for (const ProcessListed& p : *processes) {
    if (!SameIgnoringAsciiCase(p.image, L"lumarest.exe")) continue;
    const ProcessLook look = LookAtProcess(p.id);
    if (look.path && look.session && SameIgnoringAsciiCase(*look.path, kInstalledController))
      controllers.push_back({*look.session});
  }
  return controllers;
}

}  // namespace

SessionsSeen LookAtSessions() {
  SessionsSeen seen;
  const std::vector<DWORD> ids = SessionIds(seen);
  DWORD own = 0;
  const bool ownKnown = os.ProcessIdToSessionId(os.GetCurrentProcessId(), &own) != 0;
  const std::vector<Controller> controllers = InstalledControllers(seen);
  const StartupRegistry registry = {os.RegOpenKeyExW, os.RegQueryValueExW, os.RegCloseKey};

  for (DWORD id : ids) {
    SessionSeen s;
    s.id = id;
    DWORD error = 0;
    const std::optional<std::wstring> name = SessionText(id, WTSUserName, &error);
    // No one signed in there: the sign-in screen, a Remote Desktop listener.
    if (name && name->empty()) continue;
    if (name) {
      DWORD domainError = 0;
      const std::optional<std::wstring> domain = SessionText(id, WTSDomainName, &domainError);
      s.user = domain && !domain->empty() ? *domain + L"\\" + *name : *name;
    }
    for (const Controller& c : controllers) s.controllerRunning = s.controllerRunning || c.session == id;
    wchar_t sid[kSidLimit] = L"";
    if (name && SessionUserSid(id, ownKnown && own == id, sid, &error)) s.turnedOff = StartupTurnedOff(registry, sid);
    s.readable = s.turnedOff.has_value() && seen.processesListed;
    if (!s.readable) s.error = s.turnedOff ? seen.processesError : error;
    seen.sessions.push_back(std::move(s));
  }
  return seen;
}
