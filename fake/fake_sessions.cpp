// The fake laptop's sessions, processes and consoles: the sessions Windows
// lists and their users, the users' tokens (given only to the system
// account), the process snapshot, the questions asked of a process, and
// the console the diagnostic writes to. Every buffer, handle and SID text
// handed out stays in the ledger until it is given back.
#include "fake/fake_laptop.h"

#include <cstdlib>
#include <cstring>

namespace {

FakeLaptop& F() { return FakeLaptop::Active(); }

const wchar_t kController[] = L"C:\\Program Files (x86)\\Kelvane\\Lumarest\\lumarest.exe";
const HANDLE kStdOut = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x5710));

INT_PTR nextHandle = 0x91000;
HANDLE NewHandle() { return reinterpret_cast<HANDLE>(nextHandle += 4); }

struct Walk {
  std::vector<FakeLaptop::Process> processes;
  std::size_t next = 0;
};
std::map<HANDLE, Walk> snapshots;
std::map<HANDLE, DWORD> processHandles;  // handle -> process id

FakeLaptop::Session* FindSession(DWORD id) {
  for (FakeLaptop::Session& s : F().users.sessions)
    if (s.id == id) return &s;
  return nullptr;
}

// Memory the caller gives back with WTSFreeMemory.
void* WtsAlloc(std::size_t bytes) {
  void* memory = std::calloc(1, bytes);
  if (memory == nullptr) std::abort();
  F().users.wtsBuffers.insert(memory);
  return memory;
}

BOOL WINAPI FakeWTSEnumerateSessionsW(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW* info, DWORD* count) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.WTSEnumerateSessionsW);
  if (fake.Failable(kOsCallNames.WTSEnumerateSessionsW) || fake.users.sessionListFails) {
    fake.kernel.lastError = RPC_S_SERVER_UNAVAILABLE;
    return FALSE;
  }
  std::vector<const FakeLaptop::Session*> listed;
  for (const FakeLaptop::Session& s : fake.users.sessions)
    if (s.listed) listed.push_back(&s);
  auto* list = static_cast<WTS_SESSION_INFOW*>(WtsAlloc((listed.size() + 1) * sizeof(WTS_SESSION_INFOW)));
  for (std::size_t i = 0; i < listed.size(); ++i) {
    list[i].SessionId = listed[i]->id;
    list[i].State = listed[i]->user.empty() ? WTSListen : WTSActive;
  }
  *info = list;
  *count = static_cast<DWORD>(listed.size());
  return TRUE;
}

void WINAPI FakeWTSFreeMemory(void* memory) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.WTSFreeMemory);
  if (fake.users.wtsBuffers.erase(memory) == 0) std::abort();  // not a buffer the fake gave
  std::free(memory);
}

DWORD WINAPI FakeWTSGetActiveConsoleSessionId() {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.WTSGetActiveConsoleSessionId);
  return fake.users.consoleSession;
}

BOOL WINAPI FakeWTSQuerySessionInformationW(HANDLE, DWORD id, WTS_INFO_CLASS what, LPWSTR* buffer, DWORD* bytes) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.WTSQuerySessionInformationW, std::to_string(id) + " class=" + std::to_string(what));
  *buffer = nullptr;
  if (fake.Failable(kOsCallNames.WTSQuerySessionInformationW)) {
    fake.kernel.lastError = ERROR_NOT_ENOUGH_MEMORY;
    return FALSE;
  }
  const FakeLaptop::Session* s = FindSession(id);
  if (s == nullptr || s->nameRefused || (what != WTSUserName && what != WTSDomainName)) {
    fake.kernel.lastError = s == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
    return FALSE;
  }
  const std::wstring& text = what == WTSUserName ? s->user : s->domain;
  auto* copy = static_cast<wchar_t*>(WtsAlloc((text.size() + 1) * sizeof(wchar_t)));
  std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  *buffer = copy;
  *bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return TRUE;
}

BOOL WINAPI FakeWTSQueryUserToken(ULONG id, PHANDLE token) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.WTSQueryUserToken, std::to_string(id));
  *token = nullptr;
  if (fake.Failable(kOsCallNames.WTSQueryUserToken)) {
    fake.kernel.lastError = ERROR_NOT_ENOUGH_MEMORY;
    return FALSE;
  }
  if (!fake.users.asSystem) {
    fake.kernel.lastError = ERROR_PRIVILEGE_NOT_HELD;
    return FALSE;
  }
  const FakeLaptop::Session* s = FindSession(id);
  if (s == nullptr || s->user.empty()) {
    fake.kernel.lastError = ERROR_NO_TOKEN;
    return FALSE;
  }
  *token = NewHandle();
  fake.files.openTokens.insert(*token);  // CloseHandle gives it back (FakeCloseFileOrToken)
  fake.users.tokenUsers[*token] = s->sid;
  return TRUE;
}

BOOL WINAPI FakeGetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS what, void* buffer, DWORD size,
                                    DWORD* needed) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.GetTokenInformation, std::to_string(what));
  if (!fake.files.openTokens.count(token)) std::abort();  // a token the fake never gave, or one closed
  if (fake.Failable(kOsCallNames.GetTokenInformation)) {
    fake.kernel.lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (what != TokenUser) {
    fake.kernel.lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  auto user = fake.users.tokenUsers.find(token);
  const std::wstring sidText = user != fake.users.tokenUsers.end() ? user->second : fake.users.selfSid;
  PSID sid = nullptr;
  if (!::ConvertStringSidToSidW(sidText.c_str(), &sid)) std::abort();  // a test gave a malformed SID
  const DWORD sidBytes = ::GetLengthSid(sid);
  *needed = static_cast<DWORD>(sizeof(TOKEN_USER)) + sidBytes;
  if (size < *needed) {
    ::LocalFree(sid);
    fake.kernel.lastError = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  auto* tokenUser = static_cast<TOKEN_USER*>(buffer);
  BYTE* place = static_cast<BYTE*>(buffer) + sizeof(TOKEN_USER);
  ::CopySid(sidBytes, place, sid);
  ::LocalFree(sid);
  tokenUser->User.Sid = place;
  tokenUser->User.Attributes = 0;
  return TRUE;
}

BOOL WINAPI FakeConvertSidToStringSidW(PSID sid, LPWSTR* text) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.ConvertSidToStringSidW);
  if (fake.Failable(kOsCallNames.ConvertSidToStringSidW)) {
    fake.kernel.lastError = ERROR_NOT_ENOUGH_MEMORY;
    return FALSE;
  }
  if (!realOs.ConvertSidToStringSidW(sid, text)) std::abort();
  fake.users.localTexts.insert(*text);
  return TRUE;
}

HLOCAL WINAPI FakeLocalFree(HLOCAL memory) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.LocalFree);
  if (fake.users.localTexts.erase(memory) == 0) std::abort();  // not a text the fake gave
  return ::LocalFree(memory);
}

DWORD WINAPI FakeGetCurrentProcessId() {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.GetCurrentProcessId);
  return fake.users.selfId;
}

BOOL WINAPI FakeProcessIdToSessionId(DWORD id, DWORD* session) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.ProcessIdToSessionId, std::to_string(id));
  if (fake.Failable(kOsCallNames.ProcessIdToSessionId)) {
    fake.kernel.lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  const FakeLaptop::Process* p = fake.FindProcess(id);
  if (p == nullptr || p->refused) {
    fake.kernel.lastError = p == nullptr ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED;
    return FALSE;
  }
  *session = p->session;
  return TRUE;
}

HANDLE WINAPI FakeCreateToolhelp32Snapshot(DWORD flags, DWORD) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.CreateToolhelp32Snapshot, "flags=0x" + Hex(flags));
  if (fake.Failable(kOsCallNames.CreateToolhelp32Snapshot)) {
    fake.kernel.lastError = ERROR_NOT_ENOUGH_MEMORY;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE snapshot = NewHandle();
  snapshots[snapshot] = {fake.users.processes, 0};
  fake.users.openProcessHandles.insert(snapshot);
  return snapshot;
}

BOOL NextEntry(HANDLE snapshot, PROCESSENTRY32W* entry, bool first) {
  FakeLaptop& fake = F();
  auto walk = snapshots.find(snapshot);
  if (walk == snapshots.end()) std::abort();
  if (entry->dwSize != sizeof(PROCESSENTRY32W)) {
    fake.kernel.lastError = ERROR_BAD_LENGTH;
    return FALSE;
  }
  if (first) walk->second.next = 0;
  if (walk->second.next >= walk->second.processes.size()) {
    fake.kernel.lastError = ERROR_NO_MORE_FILES;
    return FALSE;
  }
  const FakeLaptop::Process& p = walk->second.processes[walk->second.next++];
  entry->th32ProcessID = p.id;
  entry->th32ParentProcessID = p.parentId;
  const std::wstring name = p.path.substr(p.path.find_last_of(L'\\') + 1);
  std::wmemset(entry->szExeFile, 0, MAX_PATH);
  std::wmemcpy(entry->szExeFile, name.c_str(), name.size() < MAX_PATH ? name.size() : MAX_PATH - 1);
  return TRUE;
}

BOOL WINAPI FakeProcess32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  F().Log(kOsCallNames.Process32FirstW);
  return NextEntry(snapshot, entry, true);
}

BOOL WINAPI FakeProcess32NextW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  F().Log(kOsCallNames.Process32NextW);
  return NextEntry(snapshot, entry, false);
}

HANDLE WINAPI FakeOpenProcess(DWORD access, BOOL, DWORD id) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.OpenProcess, std::to_string(id) + " access=0x" + Hex(access));
  if (fake.Failable(kOsCallNames.OpenProcess)) {
    fake.kernel.lastError = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  const FakeLaptop::Process* p = fake.FindProcess(id);
  if (p == nullptr || p->refused) {
    fake.kernel.lastError = p == nullptr ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED;
    return nullptr;
  }
  HANDLE process = NewHandle();
  processHandles[process] = id;
  fake.users.openProcessHandles.insert(process);
  return process;
}

const FakeLaptop::Process* ProcessOf(HANDLE process) {
  auto it = processHandles.find(process);
  if (it == processHandles.end()) std::abort();  // not a handle OpenProcess gave, or closed
  return F().FindProcess(it->second);
}

BOOL WINAPI FakeQueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR name, PDWORD size) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.QueryFullProcessImageNameW, "flags=" + std::to_string(flags));
  const FakeLaptop::Process* p = ProcessOf(process);
  if (fake.Failable(kOsCallNames.QueryFullProcessImageNameW) || p == nullptr) {
    fake.kernel.lastError = ERROR_GEN_FAILURE;
    return FALSE;
  }
  if (*size <= p->path.size()) {
    fake.kernel.lastError = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  std::wmemcpy(name, p->path.c_str(), p->path.size() + 1);
  *size = static_cast<DWORD>(p->path.size());
  return TRUE;
}

BOOL WINAPI FakeGetProcessTimes(HANDLE process, FILETIME* created, FILETIME* exited, FILETIME* kernel,
                                FILETIME* user) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.GetProcessTimes);
  const FakeLaptop::Process* p = ProcessOf(process);
  if (fake.Failable(kOsCallNames.GetProcessTimes) || p == nullptr) {
    fake.kernel.lastError = ERROR_GEN_FAILURE;
    return FALSE;
  }
  created->dwLowDateTime = static_cast<DWORD>(p->started);
  created->dwHighDateTime = static_cast<DWORD>(p->started >> 32);
  *exited = *kernel = *user = {};
  return TRUE;
}

UINT WINAPI FakeGetSystemWindowsDirectoryW(LPWSTR buffer, UINT size) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.GetSystemWindowsDirectoryW);
  const std::wstring& folder = fake.users.windowsFolder;
  if (size <= folder.size()) return static_cast<UINT>(folder.size() + 1);
  std::wmemcpy(buffer, folder.c_str(), folder.size() + 1);
  return static_cast<UINT>(folder.size());
}

HANDLE WINAPI FakeGetStdHandle(DWORD which) {
  F().Log(kOsCallNames.GetStdHandle, std::to_string(static_cast<long>(which)));
  return which == STD_OUTPUT_HANDLE ? kStdOut : nullptr;
}

BOOL WINAPI FakeGetConsoleMode(HANDLE handle, DWORD* mode) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.GetConsoleMode);
  if (handle != kStdOut || !fake.users.stdoutIsConsole) {
    fake.kernel.lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  *mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
  return TRUE;
}

DWORD WINAPI FakeGetConsoleProcessList(DWORD* list, DWORD size) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.GetConsoleProcessList);
  for (DWORD i = 0; i < size && i < fake.users.consoleProcessCount; ++i) list[i] = i == 0 ? fake.users.selfId : 4000 + i;
  return fake.users.consoleProcessCount;
}

}  // namespace

bool FakeCloseProcessHandle(HANDLE handle) {
  FakeLaptop& fake = F();
  if (fake.users.openProcessHandles.erase(handle) == 0) return false;
  snapshots.erase(handle);
  processHandles.erase(handle);
  return true;
}

FakeLaptop::Process* FakeLaptop::FindProcess(DWORD id) {
  for (Process& p : users.processes)
    if (p.id == id) return &p;
  return nullptr;
}

DWORD FakeLaptop::AddProcess(const std::wstring& path, DWORD session, DWORD parentId) {
  DWORD id = 5000;
  std::uint64_t started = 1;
  for (const Process& p : users.processes) {
    if (p.id >= id) id = p.id + 4;
    if (p.started >= started) started = p.started + 1;
  }
  users.processes.push_back({id, parentId, path, session, started, false});
  return id;
}

void FakeLaptop::SignIn(DWORD id, const std::wstring& domainAndName, bool controller, bool turnedOff) {
  const std::size_t slash = domainAndName.find(L'\\');
  Session s;
  s.id = id;
  s.domain = slash == std::wstring::npos ? L"" : domainAndName.substr(0, slash);
  s.user = slash == std::wstring::npos ? domainAndName : domainAndName.substr(slash + 1);
  s.sid = L"S-1-5-21-1000-1000-1000-" + std::to_wstring(1000 + id);
  bool replaced = false;
  for (Session& existing : users.sessions)
    if (existing.id == id) {
      existing = s;
      replaced = true;
    }
  if (!replaced) users.sessions.push_back(s);
  if (controller) AddProcess(kController, id);
  if (turnedOff)
    SetValue(L"HKEY_USERS\\" + s.sid + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32",
             L"Lumarest", REG_BINARY, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
}

void FakeLaptop::InstallSessions() {
  snapshots.clear();
  processHandles.clear();
  users.sessions = {{0, L"", L"", L"", true, false}};
  SignIn(1, L"LAPTOP\\owner", false, false);
  users.selfSid = users.sessions.back().sid;
  users.processes = {{4, 0, L"System", 0, 1, true},
               {4000, 4, L"C:\\Windows\\System32\\cmd.exe", 1, 10, false},
               {users.selfId, 4000, L"C:\\Program Files (x86)\\Kelvane\\Lumarest\\lumarest-check.exe", 1, 20, false}};
  os.WTSEnumerateSessionsW = FakeWTSEnumerateSessionsW;
  os.WTSFreeMemory = FakeWTSFreeMemory;
  os.WTSGetActiveConsoleSessionId = FakeWTSGetActiveConsoleSessionId;
  os.WTSQuerySessionInformationW = FakeWTSQuerySessionInformationW;
  os.WTSQueryUserToken = FakeWTSQueryUserToken;
  os.GetTokenInformation = FakeGetTokenInformation;
  os.ConvertSidToStringSidW = FakeConvertSidToStringSidW;
  os.LocalFree = FakeLocalFree;
  os.GetCurrentProcessId = FakeGetCurrentProcessId;
  os.ProcessIdToSessionId = FakeProcessIdToSessionId;
  os.CreateToolhelp32Snapshot = FakeCreateToolhelp32Snapshot;
  os.Process32FirstW = FakeProcess32FirstW;
  os.Process32NextW = FakeProcess32NextW;
  os.OpenProcess = FakeOpenProcess;
  os.QueryFullProcessImageNameW = FakeQueryFullProcessImageNameW;
  os.GetProcessTimes = FakeGetProcessTimes;
  os.GetSystemWindowsDirectoryW = FakeGetSystemWindowsDirectoryW;
  os.GetStdHandle = FakeGetStdHandle;
  os.GetConsoleMode = FakeGetConsoleMode;
  os.GetConsoleProcessList = FakeGetConsoleProcessList;
}
