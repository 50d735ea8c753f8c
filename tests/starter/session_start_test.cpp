// The starter against fake sessions: which sessions get a controller, what
// each is started with, the Startup apps records, and that every token,
// handle, environment block, SID text, key and WTS buffer is given back
// whatever call fails. Wine has one session and no way to make another
// user's; these are the cases a real fleet has.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "starter/session_start.h"
#include "starter/starter_os.h"

namespace {

const wchar_t kExe[] = L"C:\\Program Files (x86)\\Kelvane\\Lumarest\\lumarest.exe";
const wchar_t kRecords[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";

// The machine: sessions and their users (a SID, or none), the Startup apps
// records by full path ("HKU\<SID>\...\Run32", "HKLM\...\Run"), and a
// ledger of everything handed out. Tokens, environment blocks and process
// handles carry their session in their value.
struct FakeSessions {
  std::vector<DWORD> listed;
  DWORD console = 0xFFFFFFFF;
  std::map<DWORD, std::wstring> users;
  std::map<std::wstring, std::vector<BYTE>> records;
  DWORD recordType = REG_BINARY;
  const char* failing = nullptr;  // the call that fails, at its `failAt`-th use
  int failAt = 0;
  std::map<std::string, int> uses;
  std::vector<DWORD> started;  // the sessions, in order
  std::set<const void*> held;  // tokens, process and thread handles, blocks, SID texts, keys, WTS buffers
  WTS_SESSION_INFOW infos[8] = {};
  std::map<HKEY, std::wstring> keys;
  DWORD current = 0;
  DWORD lastError = 0;
  DWORD tokenError = ERROR_ACCESS_DENIED;  // WTSQueryUserToken's error when it is made to fail
  TOKEN_ELEVATION_TYPE elevation = TokenElevationTypeLimited;
  bool inJob = false;
  bool breakawayAllowed = true;
  std::vector<DWORD> creationFlags;  // of every CreateProcessAsUserW, in order

  static FakeSessions* active;
  FakeSessions() { active = this; starterOs = Fake(); }
  ~FakeSessions() { starterOs = realStarterOs; active = nullptr; }

  bool Fails(const char* call) {
    return failing != nullptr && std::string(call) == failing && ++uses[call] == failAt;
  }
  BOOL Error(DWORD code) {
    lastError = code;
    return FALSE;
  }
  void Take(const void* p) { EXPECT_TRUE(held.insert(p).second) << "handed out twice"; }
  void Give(const void* p) { EXPECT_EQ(held.erase(p), 1u) << "given back what was not held"; }

  static BOOL WINAPI WTSEnumerateSessionsW(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW* info, DWORD* count) {
    if (active->Fails("WTSEnumerateSessionsW")) return FALSE;
    for (size_t i = 0; i < active->listed.size(); ++i) active->infos[i].SessionId = active->listed[i];
    *info = active->infos;
    *count = static_cast<DWORD>(active->listed.size());
    active->Take(active->infos);
    return TRUE;
  }
  static void WINAPI WTSFreeMemory(void* memory) { active->Give(memory); }
  static DWORD WINAPI WTSGetActiveConsoleSessionId() { return active->console; }
  static BOOL WINAPI WTSQueryUserToken(ULONG session, HANDLE* token) {
    if (!active->users.count(session)) return active->Error(ERROR_NO_TOKEN);
    if (active->Fails("WTSQueryUserToken")) return active->Error(active->tokenError);
    *token = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1000 + session));
    active->Take(*token);
    return TRUE;
  }
  // The SID text is that of the user of the session whose token was asked
  // about last.
  static BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* info, DWORD size,
                                         DWORD*) {
    EXPECT_TRUE(active->held.count(token)) << "a token not held";
    if (kind == TokenElevationType) {
      EXPECT_EQ(size, sizeof(TOKEN_ELEVATION_TYPE));
      if (active->Fails("TokenElevationType")) return FALSE;
      *static_cast<TOKEN_ELEVATION_TYPE*>(info) = active->elevation;
      return TRUE;
    }
    EXPECT_EQ(kind, TokenUser);
    EXPECT_GE(size, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE) << "room for the largest SID";
    static_cast<TOKEN_USER*>(info)->User.Sid = nullptr;
    active->current = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(token) - 0x1000);
    return !active->Fails("GetTokenInformation");
  }
  static BOOL WINAPI ConvertSidToStringSidW(PSID, wchar_t** text) {
    if (active->Fails("ConvertSidToStringSidW")) return FALSE;
    *text = const_cast<wchar_t*>(active->users.at(active->current).c_str());
    active->Take(*text);
    return TRUE;
  }
  static HLOCAL WINAPI LocalFree(HLOCAL memory) { active->Give(memory); return nullptr; }
  static BOOL WINAPI CreateEnvironmentBlock(void** block, HANDLE token, BOOL inherit) {
    EXPECT_FALSE(inherit) << "the system account's environment must not reach the user's";
    if (active->Fails("CreateEnvironmentBlock")) return FALSE;
    *block = reinterpret_cast<char*>(token) + 0x100000;
    active->Take(*block);
    return TRUE;
  }
  static BOOL WINAPI DestroyEnvironmentBlock(void* block) { active->Give(block); return TRUE; }
  static BOOL WINAPI CreateProcessAsUserW(HANDLE token, const wchar_t* application, wchar_t* commandLine,
                                   SECURITY_ATTRIBUTES*, SECURITY_ATTRIBUTES*, BOOL inherit, DWORD flags,
                                   void* environment, const wchar_t*, STARTUPINFOW* startup,
                                   PROCESS_INFORMATION* process) {
    EXPECT_STREQ(application, kExe);
    EXPECT_EQ(commandLine, L"\"" + std::wstring(kExe) + L"\"") << "the path, quoted, as the Run value";
    EXPECT_FALSE(inherit) << "no handle of the installer's may reach the controller";
    EXPECT_EQ(flags & ~static_cast<DWORD>(CREATE_BREAKAWAY_FROM_JOB), static_cast<DWORD>(CREATE_UNICODE_ENVIRONMENT));
    active->creationFlags.push_back(flags);
    // Process Creation Flags: a job without JOB_OBJECT_LIMIT_BREAKAWAY_OK
    // refuses CREATE_BREAKAWAY_FROM_JOB with ERROR_ACCESS_DENIED.
    if ((flags & CREATE_BREAKAWAY_FROM_JOB) && active->inJob && !active->breakawayAllowed)
      return active->Error(ERROR_ACCESS_DENIED);
    EXPECT_EQ(environment, reinterpret_cast<char*>(token) + 0x100000) << "not this user's environment";
    EXPECT_STREQ(startup->lpDesktop, L"winsta0\\default");
    if (active->Fails("CreateProcessAsUserW")) return active->Error(ERROR_NOT_ENOUGH_MEMORY);
    const DWORD session = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(token) - 0x1000);
    active->started.push_back(session);
    process->hProcess = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x2000 + session));
    process->hThread = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x3000 + session));
    process->dwProcessId = 100 + session;
    active->Take(process->hProcess);
    active->Take(process->hThread);
    return TRUE;
  }
  static BOOL WINAPI CloseHandle(HANDLE handle) { active->Give(handle); return TRUE; }
  static DWORD WINAPI GetLastError() { return active->lastError; }
  static BOOL WINAPI IsProcessInJob(HANDLE process, HANDLE job, BOOL* result) {
    EXPECT_EQ(process, ::GetCurrentProcess());
    EXPECT_EQ(job, nullptr) << "any job";
    *result = active->inJob;
    return TRUE;
  }
  static LSTATUS WINAPI RegOpenKeyExW(HKEY root, const wchar_t* path, DWORD, REGSAM access, HKEY* key) {
    EXPECT_TRUE(access & KEY_WOW64_64KEY) << "Explorer's records are in the 64-bit view";
    const std::wstring full = (root == HKEY_USERS ? L"HKU\\" : L"HKLM\\") + std::wstring(path);
    if (active->Fails("RegOpenKeyExW")) return ERROR_ACCESS_DENIED;
    *key = reinterpret_cast<HKEY>(new char);
    active->keys[*key] = full;
    active->Take(*key);
    return ERROR_SUCCESS;
  }
  static LSTATUS WINAPI RegQueryValueExW(HKEY key, const wchar_t* name, DWORD*, DWORD* type, BYTE* data,
                                         DWORD* size) {
    EXPECT_STREQ(name, L"Lumarest");
    auto record = active->records.find(active->keys.at(key));
    if (record == active->records.end()) return ERROR_FILE_NOT_FOUND;
    const DWORD length = static_cast<DWORD>(record->second.size());
    *type = active->recordType;
    if (length > *size) {
      *size = length;
      return ERROR_MORE_DATA;
    }
    std::copy(record->second.begin(), record->second.end(), data);
    *size = length;
    return ERROR_SUCCESS;
  }
  static LSTATUS WINAPI RegCloseKey(HKEY key) {
    active->Give(key);
    active->keys.erase(key);
    delete reinterpret_cast<char*>(key);
    return ERROR_SUCCESS;
  }

  static StarterOs Fake() {
    StarterOs os = realStarterOs;
    os.WTSEnumerateSessionsW = WTSEnumerateSessionsW;
    os.WTSFreeMemory = WTSFreeMemory;
    os.WTSGetActiveConsoleSessionId = WTSGetActiveConsoleSessionId;
    os.WTSQueryUserToken = WTSQueryUserToken;
    os.GetTokenInformation = GetTokenInformation;
    os.ConvertSidToStringSidW = ConvertSidToStringSidW;
    os.LocalFree = LocalFree;
    os.CreateEnvironmentBlock = CreateEnvironmentBlock;
    os.DestroyEnvironmentBlock = DestroyEnvironmentBlock;
    os.CreateProcessAsUserW = CreateProcessAsUserW;
    os.CloseHandle = CloseHandle;
    os.GetLastError = GetLastError;
    os.IsProcessInJob = IsProcessInJob;
    os.RegOpenKeyExW = RegOpenKeyExW;
    os.RegQueryValueExW = RegQueryValueExW;
    os.RegCloseKey = RegCloseKey;
    return os;
  }
};
FakeSessions* FakeSessions::active = nullptr;

void Ignore(void*, const wchar_t*) {}

void Collect(void* lines, const wchar_t* line) { static_cast<std::vector<std::wstring>*>(lines)->push_back(line); }

}  // namespace

// Which sessions get a controller: the listed ones and the console session
// not listed, each only with a signed-in user, never session 0.
TEST(Starter, StartsOnceInEverySessionWithAUserAndNeverInSessionZero) {
  struct Case {
    const char* what;
    std::vector<DWORD> listed;
    DWORD console;
    std::vector<DWORD> withUser;
    std::vector<DWORD> expected;
    unsigned noUser;
  } cases[] = {
      {"under Wine: no session listed, console 1", {}, 1, {1}, {1}, 0},
      {"session 0 listed, with a token", {0}, 0xFFFFFFFF, {0}, {}, 0},
      {"console 0 is never added", {}, 0, {0}, {}, 0},
      {"the console session listed is not started twice", {0, 1, 2}, 1, {1, 2}, {1, 2}, 0},
      {"sessions without a user (the RDP listener) are passed over", {0, 1, 65536, 3}, 1, {1, 3}, {1, 3}, 1},
      {"a console session not listed is added after the others", {2, 3}, 5, {2, 3, 5}, {2, 3, 5}, 0},
      {"no console session (0xFFFFFFFF)", {4}, 0xFFFFFFFF, {4}, {4}, 0},
  };
  for (const Case& c : cases) {
    FakeSessions fake;
    fake.listed = c.listed;
    fake.console = c.console;
    for (DWORD id : c.withUser) fake.users[id] = L"S-1-5-21-1-2-3-" + std::to_wstring(1000 + id);
    const StartTally tally = StartInSignedInSessions(kExe, Ignore, nullptr);
    EXPECT_EQ(fake.started, c.expected) << c.what;
    EXPECT_EQ(tally.started, c.expected.size()) << c.what;
    EXPECT_EQ(tally.noUser, c.noUser) << c.what;
    EXPECT_TRUE(fake.held.empty()) << c.what << ": " << fake.held.size() << " not given back";
  }
}

// The Startup apps record, where Task Manager keeps a user's "off": in the
// user's own hive or the machine's, under Run32 (the 32-bit view's Run
// value) or Run. Only an odd first byte of a binary value turns it off.
TEST(Starter, HonoursTheUsersStartupAppsSwitch) {
  const std::wstring mine = L"HKU\\S-1-5-21-7-1001" + std::wstring(kRecords);
  const std::wstring machine = L"HKLM" + std::wstring(kRecords);
  struct Case {
    const char* what;
    std::wstring path;
    std::vector<BYTE> bytes;
    DWORD type;
    bool started;
  } cases[] = {
      {"no record", L"", {}, REG_BINARY, true},
      {"turned off by the user (03, Run32)", mine + L"Run32", {3, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}, REG_BINARY, false},
      {"turned off on 32-bit Windows (Run)", mine + L"Run", {3, 0, 0, 0}, REG_BINARY, false},
      {"turned off for the machine", machine + L"Run32", {0x63, 0x60}, REG_BINARY, false},
      {"turned on (02)", mine + L"Run32", {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, REG_BINARY, true},
      {"turned on (06)", mine + L"Run32", {6, 0, 0, 0}, REG_BINARY, true},
      {"an empty value", mine + L"Run32", {}, REG_BINARY, true},
      {"not binary", mine + L"Run32", {3, 0, 0, 0}, REG_DWORD, true},
      {"too long to be a record", mine + L"Run32", std::vector<BYTE>(300, 3), REG_BINARY, true},
      {"another user's record", L"HKU\\S-1-5-21-7-1002" + std::wstring(kRecords) + L"Run32", {3}, REG_BINARY, true},
  };
  for (const Case& c : cases) {
    FakeSessions fake;
    fake.console = 1;
    fake.users[1] = L"S-1-5-21-7-1001";
    if (!c.path.empty()) fake.records[c.path] = c.bytes;
    fake.recordType = c.type;
    const StartTally tally = StartInSignedInSessions(kExe, Ignore, nullptr);
    EXPECT_EQ(tally.started, c.started ? 1u : 0u) << c.what;
    EXPECT_EQ(tally.turnedOff, c.started ? 0u : 1u) << c.what;
    EXPECT_TRUE(fake.held.empty()) << c.what << ": " << fake.held.size() << " not given back";
  }
}

// Every call that can fail, failed in turn, in every one of three sessions:
// the failure costs that session's controller at most, never another's,
// and everything obtained is given back.
TEST(Starter, AFailureCostsOneSessionAtMostAndLeaksNothing) {
  const struct {
    const char* call;
    int perRun;        // uses in a run over the three sessions
    unsigned started;  // controllers started when one use fails
  } calls[] = {
      {"WTSEnumerateSessionsW", 1, 1},  // the console session remains
      {"WTSQueryUserToken", 3, 2},      {"GetTokenInformation", 3, 2},
      {"ConvertSidToStringSidW", 3, 2}, {"CreateEnvironmentBlock", 3, 2},
      {"CreateProcessAsUserW", 3, 2},   {"RegOpenKeyExW", 12, 3},  // a key not opened is no record
      {"TokenElevationType", 3, 3},  // only the log line lacks it
  };
  for (const auto& call : calls) {
    for (int n = 1; n <= call.perRun; ++n) {
      FakeSessions fake;
      fake.listed = {1, 2, 3};
      fake.console = 1;
      for (DWORD id : fake.listed) fake.users[id] = L"S-1-5-21-9-" + std::to_wstring(id);
      fake.failing = call.call;
      fake.failAt = n;
      const StartTally tally = StartInSignedInSessions(kExe, Ignore, nullptr);
      EXPECT_GE(fake.uses[call.call], n) << call.call << " was not made " << n << " times";
      EXPECT_EQ(tally.started, call.started) << call.call << " failing at use " << n;
      EXPECT_TRUE(fake.held.empty()) << call.call << " failing at use " << n << ": " << fake.held.size()
                                     << " not given back";
    }
  }
}

// Only "no one signed in" (and a session that has gone) counts as no user;
// any other refusal of the token is a failure the log names with its code.
TEST(Starter, TellsAnEmptySessionFromARefusedToken) {
  const struct {
    DWORD error;
    unsigned noUser, failed;
    const wchar_t* line;
  } cases[] = {
      {ERROR_NO_TOKEN, 1, 0, L"Lumarest: session 1: no one signed in (error 1008)"},
      {ERROR_FILE_NOT_FOUND, 1, 0, L"Lumarest: session 1: no one signed in (error 2)"},
      {ERROR_PRIVILEGE_NOT_HELD, 0, 1,
       L"Lumarest: session 1: the user's token could not be had (error 1314); nothing started"},
      {ERROR_ACCESS_DENIED, 0, 1, L"Lumarest: session 1: the user's token could not be had (error 5); nothing started"},
  };
  for (const auto& c : cases) {
    FakeSessions fake;
    fake.console = 1;
    fake.users[1] = L"S-1-5-21-9-1";
    fake.failing = "WTSQueryUserToken";
    fake.failAt = 1;
    fake.tokenError = c.error;
    std::vector<std::wstring> lines;
    const StartTally tally = StartInSignedInSessions(kExe, Collect, &lines);
    EXPECT_EQ(tally.noUser, c.noUser) << c.error;
    EXPECT_EQ(tally.failed, c.failed) << c.error;
    ASSERT_EQ(lines.size(), 1u) << c.error;
    EXPECT_EQ(lines[0], c.line);
  }
}

// Where the installer's action runs in a job, the controller leaves it when
// the job allows, and is started inside it when the job refuses; the log
// says which, and names the token's elevation type.
TEST(Starter, BreaksAwayFromTheInstallersJobWhereItMay) {
  const struct {
    const char* what;
    bool inJob, allowed;
    std::vector<DWORD> flags;
    const wchar_t* line;
  } cases[] = {
      {"no job", false, true, {CREATE_UNICODE_ENVIRONMENT},
       L"Lumarest: session 1: controller started (process 101; token elevation type limited)"},
      {"a job that allows breakaway", true, true, {CREATE_UNICODE_ENVIRONMENT | CREATE_BREAKAWAY_FROM_JOB},
       L"Lumarest: session 1: controller started (process 101; token elevation type limited, out of the "
       L"installer's job)"},
      {"a job that refuses it", true, false,
       {CREATE_UNICODE_ENVIRONMENT | CREATE_BREAKAWAY_FROM_JOB, CREATE_UNICODE_ENVIRONMENT},
       L"Lumarest: session 1: controller started (process 101; token elevation type limited, inside the "
       L"installer's job, which refuses breakaway)"},
  };
  for (const auto& c : cases) {
    FakeSessions fake;
    fake.console = 1;
    fake.users[1] = L"S-1-5-21-9-1";
    fake.inJob = c.inJob;
    fake.breakawayAllowed = c.allowed;
    std::vector<std::wstring> lines;
    const StartTally tally = StartInSignedInSessions(kExe, Collect, &lines);
    EXPECT_EQ(tally.started, 1u) << c.what;
    EXPECT_EQ(fake.creationFlags, c.flags) << c.what;
    ASSERT_EQ(lines.size(), 1u) << c.what;
    EXPECT_EQ(lines[0], c.line) << c.what;
    EXPECT_TRUE(fake.held.empty()) << c.what;
  }
  // Another refusal of the start is not taken for the job's: no second try.
  FakeSessions fake;
  fake.console = 1;
  fake.users[1] = L"S-1-5-21-9-1";
  fake.inJob = true;
  fake.failing = "CreateProcessAsUserW";
  fake.failAt = 1;
  fake.elevation = TokenElevationTypeDefault;
  std::vector<std::wstring> lines;
  const StartTally tally = StartInSignedInSessions(kExe, Collect, &lines);
  EXPECT_EQ(tally.failed, 1u);
  EXPECT_EQ(fake.creationFlags.size(), 1u);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], L"Lumarest: session 1: the controller could not be started (error 8; token elevation type "
                      L"default, out of the installer's job)");
}
