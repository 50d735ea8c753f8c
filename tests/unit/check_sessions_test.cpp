// lumarest-check for fleets, on the fake laptop: every signed-in user's
// session as the system account and as an ordinary user sees it, the health
// value of each installation, the one-line --health answer and its bound,
// the Startup apps rule shared with the starter, and the wait for a key
// only for a person who double-clicked the tool in Explorer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "check/check_tool.h"
#include "check/double_click.h"
#include "check/examination.h"
#include "check/report.h"
#include "fake/laptop_presets.h"
#include "fake/registry_paths.h"
#include "tests/unit/captured_output.h"
#include "platform/startup_approved.h"

namespace {

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kInstalled[] = L"C:\\Program Files (x86)\\Kelvane\\Lumarest\\lumarest.exe";

// Installed, every condition holding, and the check run as SYSTEM in
// session 0 as a fleet tool runs it; session 1's owner has no controller
// until a test starts one.
void SetUpFleetLaptop(FakeLaptop& fake) {
  SetUpIrisLaptop(fake, {"1", "2", 0, 144, false}, "sessions");
  fake.SetString(kRunKey, L"Lumarest", std::wstring(L"\"") + kInstalled + L"\"");
  fake.users.asSystem = true;
  fake.FindProcess(fake.users.selfId)->session = 0;
}

std::string Row(const SessionSeen& s) {
  return std::to_string(s.id) + " " + (s.user ? Narrow(*s.user) : "?") + (s.controllerRunning ? " controller" : "") +
         (s.turnedOff ? (*s.turnedOff ? " off" : " on") : " off?") + (s.readable ? "" : " unreadable");
}

std::vector<std::string> Rows(const Examination& e) {
  std::vector<std::string> rows;
  for (const SessionSeen& s : e.sessions.sessions) rows.push_back(Row(s));
  return rows;
}

TEST(CheckSessions, AsSystemEverySignedInSessionIsSeen) {
  FakeLaptop fake;
  SetUpFleetLaptop(fake);
  fake.SignIn(1, L"LAPTOP\\ana", true, false);
  fake.SignIn(2, L"LAPTOP\\ben", false, true);   // turned off, no controller: as it should be
  fake.SignIn(3, L"CONTOSO\\cy", false, false);  // wants one, has none
  fake.SignIn(4, L"LAPTOP\\dee", false, false);
  fake.users.sessions.back().nameRefused = true;       // cannot be read
  fake.users.sessions.push_back({65536, L"", L"", L"", true, false});  // a Remote Desktop listener: nobody there
  fake.users.consoleSession = 5;                       // the console, left out of the list
  fake.users.sessions.push_back({5, L"LAPTOP", L"eve", L"S-1-5-21-1000-1000-1000-1005", false, false});
  fake.AddProcess(kInstalled, 5);
  fake.AddProcess(L"C:\\Users\\cy\\Downloads\\lumarest.exe", 3);  // a copy elsewhere is not the controller

  const Examination e = ExamineMachine();
  const std::vector<std::string> expected = {"1 LAPTOP\\ana controller on", "2 LAPTOP\\ben off", "3 CONTOSO\\cy on",
                                             "4 ? off? unreadable", "5 LAPTOP\\eve controller on"};
  EXPECT_EQ(expected, Rows(e)) << "session 0 and the listener are passed over, the console session is added";
  EXPECT_EQ(Health::kControllerMissing, e.HealthValue());
  EXPECT_EQ("", fake.Leaks());

  const std::string json = FormatJson(e, Language::kEnglish);
  EXPECT_NE(std::string::npos,
            json.find("  \"health\": \"controller_missing\",\n  \"sessions\": [\n"
                      "    {\"id\": 1, \"user\": \"LAPTOP\\\\ana\", \"controller_running\": true, \"turned_off\": false, "
                      "\"readable\": true},\n"
                      "    {\"id\": 2, \"user\": \"LAPTOP\\\\ben\", \"controller_running\": false, \"turned_off\": true, "
                      "\"readable\": true},\n"))
      << json;
  EXPECT_NE(std::string::npos, json.find("{\"id\": 4, \"user\": null, \"controller_running\": false, \"turned_off\": null, "
                                         "\"readable\": false},\n"))
      << json;
  EXPECT_EQ("controller_missing: session 3 \"CONTOSO\\cy\" has no controller; session 4 (name not readable) could not "
            "be read (error 5; run as SYSTEM); 5 signed-in users, 2 controllers, 1 turned off in Startup apps; capable; "
            "version 1.0.0.0",
            FormatHealthLine(e));
}

TEST(CheckSessions, FromAUsersSessionOnlyItsOwnCanBeRead) {
  FakeLaptop fake;
  SetUpFleetLaptop(fake);
  fake.users.asSystem = false;
  fake.FindProcess(fake.users.selfId)->session = 1;
  fake.SignIn(1, L"LAPTOP\\ana", true, true);  // runs one although turned off: started by hand
  fake.users.selfSid = L"S-1-5-21-1000-1000-1000-1001";
  fake.SignIn(2, L"LAPTOP\\ben", true, false);
  fake.users.processes.back().refused = true;  // ben's controller: another user's process

  const Examination e = ExamineMachine();
  const std::vector<std::string> expected = {"1 LAPTOP\\ana controller off", "2 LAPTOP\\ben off? unreadable"};
  EXPECT_EQ(expected, Rows(e));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD), e.sessions.sessions[1].error);
  EXPECT_EQ(Health::kControllerMissing, e.HealthValue()) << "a session that could not be read is not healthy";
  EXPECT_EQ("", fake.Leaks());
  Captured report;
  RunCheckTool({}, kEnglishUs, report);
  EXPECT_NE(std::wstring::npos,
            report.text.find(L"Signed in       session 1 \"LAPTOP\\\\ana\": a controller runs; turned off in Startup apps\n"
                             L"                session 2 \"LAPTOP\\\\ben\": not readable from this account (error 1314); "
                             L"run as SYSTEM to see every session\n"))
      << Narrow(report.text);
}

struct HealthCase {
  const char* name;
  void (*set)(FakeLaptop&);
  Health health;
  const char* line;  // the --health line up to "; capable"
};

class HealthTest : public ::testing::TestWithParam<HealthCase> {};

TEST_P(HealthTest, OneValueAndOneLine) {
  FakeLaptop fake;
  SetUpFleetLaptop(fake);
  GetParam().set(fake);
  Captured out;
  const int code = RunCheckTool({L"--health"}, kEnglishUs, out);
  const Examination e = ExamineMachine();
  EXPECT_EQ(GetParam().health, e.HealthValue());
  EXPECT_EQ(GetParam().health == Health::kHealthy ? kHealthy : kUnhealthy, code);
  ASSERT_FALSE(out.bytes.empty());
  EXPECT_EQ(std::string(GetParam().line), out.bytes.substr(0, std::strlen(GetParam().line))) << out.bytes;
  EXPECT_EQ(1, std::count(out.bytes.begin(), out.bytes.end(), '\n'));
  EXPECT_EQ('\n', out.bytes.back());
  EXPECT_EQ(L"", out.text);
  EXPECT_EQ("", fake.Leaks());
}

INSTANTIATE_TEST_SUITE_P(
    Installations, HealthTest,
    ::testing::Values(
        HealthCase{"EveryUserHasAController",
                   [](FakeLaptop& f) {
                     f.SignIn(1, L"LAPTOP\\ana", true, false);
                     f.SignIn(2, L"LAPTOP\\ben", true, false);
                   },
                   Health::kHealthy, "healthy: 2 signed-in users, 2 controllers; capable; version 1.0.0.0\n"},
        HealthCase{"OneTurnedItOff",
                   [](FakeLaptop& f) {
                     f.SignIn(1, L"LAPTOP\\ana", true, false);
                     f.SignIn(2, L"LAPTOP\\ben", false, true);
                   },
                   Health::kHealthy, "healthy: 2 signed-in users, 1 controller, 1 turned off in Startup apps; capable"},
        HealthCase{"TurnedOffForTheWholeMachine",
                   [](FakeLaptop& f) {
                     f.SetValue(L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32",
                                L"Lumarest", REG_BINARY, {3, 0, 0, 0, 0, 0, 0, 0});
                   },
                   Health::kHealthy, "healthy: 1 signed-in user, 0 controllers, 1 turned off in Startup apps; capable"},
        HealthCase{"DockedAndOnTheExemptPlan",
                   [](FakeLaptop& f) {
                     f.SignIn(1, L"LAPTOP\\ana", true, false);
                     f.display.adapters.push_back({L"DisplayLink USB Device", {3}});
                   },
                   Health::kHealthy, "healthy: 1 signed-in user, 1 controller; capable"},
        HealthCase{"NobodySignedIn", [](FakeLaptop& f) { f.users.sessions[1].user.clear(); }, Health::kHealthy,
                   "healthy: no signed-in user; capable"},
        HealthCase{"OutOfScopeButRunning",
                   [](FakeLaptop& f) {
                     f.SignIn(1, L"LAPTOP\\ana", true, false);
                     f.SetDword(kDisplayAdapterClassKey + L"\\0001", L"DCUserPreferencePolicy", 0x50);
                   },
                   Health::kHealthy,
                   "healthy: 1 signed-in user, 1 controller; not capable: the Intel graphics driver's policy value "
                   "forbids it; version"},
        HealthCase{"AControllerMissing", [](FakeLaptop& f) { f.SignIn(2, L"LAPTOP\\ben", true, false); },
                   Health::kControllerMissing,
                   "controller_missing: session 1 \"LAPTOP\\owner\" has no controller; 2 signed-in users, 1 controller;"},
        HealthCase{"OnlyACopyFromElsewhereRuns",
                   [](FakeLaptop& f) { f.AddProcess(L"D:\\lumarest\\lumarest.exe", 1); }, Health::kControllerMissing,
                   "controller_missing: session 1 \"LAPTOP\\owner\" has no controller"},
        HealthCase{"SessionsCannotBeListed",
                   [](FakeLaptop& f) {
                     f.SignIn(1, L"LAPTOP\\ana", true, false);
                     f.users.sessionListFails = true;
                   },
                   Health::kControllerMissing,
                   "controller_missing: the sessions could not be listed (error 1722): the console session only; "
                   "1 signed-in user, 1 controller;"},
        HealthCase{"NoSignInEntry",
                   [](FakeLaptop& f) {
                     f.SignIn(1, L"LAPTOP\\ana", true, false);
                     f.Key(kRunKey).values.clear();
                   },
                   Health::kInstallationBroken, "installation_broken: the sign-in entry is missing; 1 signed-in user"},
        HealthCase{"AStateFileMissing",
                   [](FakeLaptop& f) { f.RemoveFile("lasttimeACDC.txt"); }, Health::kInstallationBroken,
                   "installation_broken: the state files cannot both be read and written; 1 signed-in user, 0 controllers"},
        HealthCase{"NotInstalled",
                   [](FakeLaptop& f) {
                     f.RemoveFile("lasttimeACDC.txt");
                     f.RemoveFile("lasttimeDCRefresh.txt");
                     f.Key(kRunKey).values.clear();
                   },
                   Health::kNotInstalled, "not_installed: neither state file nor the sign-in entry is here; 1 signed-in"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckHealth, TheLineStaysOneLineOfPrintableAsciiWithinTheBound) {
  {
    FakeLaptop few;
    SetUpFleetLaptop(few);
    few.SignIn(1, L"LAPTOP\\ana", true, false);
    EXPECT_EQ("healthy: 1 signed-in user, 1 controller; capable; version 1.0.0.0", FormatHealthLine(ExamineMachine()))
        << "a short line is not cut";
  }
  FakeLaptop fake;
  SetUpFleetLaptop(fake);
  // Many users without a controller, with long names in other scripts and
  // with control characters.
  for (DWORD id = 2; id < 200; ++id)
    fake.SignIn(id, L"CONTOSO\\\x4F60\x597D-\x1b[2J\"quoted\"-" + std::wstring(40, L'x'), false, false);
  Captured out;
  EXPECT_EQ(kUnhealthy, RunCheckTool({L"--health"}, kEnglishUs, out));
  ASSERT_EQ('\n', out.bytes.back());
  const std::string line = out.bytes.substr(0, out.bytes.size() - 1);
  EXPECT_EQ(kHealthLineLimit, line.size());
  EXPECT_EQ("...", line.substr(line.size() - 3));
  EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) << line;
  EXPECT_NE(std::string::npos, line.find("session 2 \"CONTOSO\\\\u4f60\\u597d-\\u001b[2J\\u0022quoted\\u0022-xxx")) << line;
}

TEST(CheckHealth, TheCommandLineAndTheExitCodes) {
  const struct {
    std::vector<std::wstring> args;
    int code;
    const wchar_t* error;
  } table[] = {
      {{L"--health"}, kUnhealthy, L""},
      {{L"--health", L"--lang", L"zh-TW"}, kUnhealthy, L""},
      {{L"--json", L"--health"}, kUsageOrNoMemory, L"--json and --health cannot be given together"},
      {{L"--health", L"--health"}, kUsageOrNoMemory, L"cannot be given together"},
  };
  for (const auto& t : table) {
    FakeLaptop fake;
    SetUpFleetLaptop(fake);
    Captured out;
    out.ownsConsole = true;  // even a person at the console is not kept waiting by a machine's answer
    EXPECT_EQ(t.code, RunCheckTool(t.args, kEnglishUs, out)) << Narrow(t.error);
    EXPECT_NE(std::wstring::npos, out.error.find(t.error)) << Narrow(out.error);
    EXPECT_EQ(0, out.waits);
    if (t.code == kUnhealthy) {
      EXPECT_EQ(0u, out.bytes.find("controller_missing: session 1 \"LAPTOP\\owner\"")) << out.bytes;
    }
  }
}

// Every call the sessions' look makes that can fail, failed in turn, as
// SYSTEM with one user lacking a controller: nothing is left held, and no
// failure makes the missing controller pass for healthy.
TEST(CheckHealth, NoFailureHidesAMissingControllerOrLeavesAnythingHeld) {
  const auto setUp = [](FakeLaptop& f) {
    SetUpFleetLaptop(f);
    f.SignIn(1, L"LAPTOP\\ana", true, false);
    f.SignIn(2, L"LAPTOP\\ben", false, false);
    f.SignIn(3, L"LAPTOP\\cy", false, true);
  };
  int failable = 0;
  {
    FakeLaptop counting;
    setUp(counting);
    ASSERT_EQ(Health::kControllerMissing, ExamineMachine().HealthValue());
    failable = counting.failableCalls;
  }
  for (int k = 1; k <= failable; ++k) {
    FakeLaptop fake;
    setUp(fake);
    fake.failAt = k;
    Captured out;
    const int code = RunCheckTool({L"--health"}, kEnglishUs, out);
    const std::string call = fake.failableLog.size() >= static_cast<std::size_t>(k) ? fake.failableLog[k - 1] : "?";
    EXPECT_TRUE(code == kUnhealthy || code == kUsageOrNoMemory) << "call " << k << " (" << call << "): " << out.bytes;
    EXPECT_EQ("", fake.Leaks()) << "call " << k << " (" << call << ") failed";
  }
}

TEST(StartupRule, OneRuleForTheStarterAndTheCheck) {
  FakeLaptop fake;
  const StartupRegistry registry = {os.RegOpenKeyExW, os.RegQueryValueExW, os.RegCloseKey};
  const std::wstring user = L"HKEY_USERS\\S-1-5-21-9\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                            L"StartupApproved\\";
  const struct {
    const wchar_t* key;
    DWORD type;
    std::vector<BYTE> data;
    bool off;
  } table[] = {
      {L"Run32", REG_BINARY, {3, 0, 0, 0}, true},   {L"Run", REG_BINARY, {3, 0}, true},
      {L"Run32", REG_BINARY, {2, 0, 0, 0}, false},  {L"Run32", REG_BINARY, {6}, false},
      {L"Run32", REG_DWORD, {3, 0, 0, 0}, false},   {L"Run32", REG_BINARY, {}, false},
      {L"Run32", REG_BINARY, std::vector<BYTE>(300, 3), false},  // too long for a record
  };
  for (const auto& t : table) {
    fake.RemoveKey(L"HKEY_USERS");
    fake.SetValue(user + t.key, L"Lumarest", t.type, t.data);
    EXPECT_EQ(t.off, StartupTurnedOff(registry, L"S-1-5-21-9")) << Narrow(t.key) << " " << t.data.size();
    EXPECT_FALSE(StartupTurnedOff(registry, L"S-1-5-21-8")) << "another user's record";
    EXPECT_EQ("", fake.Leaks());
  }
}

struct ClickCase {
  const char* name;
  void (*set)(FakeLaptop&);
  bool waits;
};

class DoubleClickTest : public ::testing::TestWithParam<ClickCase> {};

// This process (4242) in a console of its own, started by Explorer (3000)
// unless the case says otherwise.
TEST_P(DoubleClickTest, OnlyExplorersStartInAConsoleOfItsOwnWaits) {
  FakeLaptop fake;
  fake.users.stdoutIsConsole = true;
  fake.users.consoleProcessCount = 1;
  fake.users.processes = {{3000, 2900, L"C:\\Windows\\explorer.exe", 1, 100, false},
                    {fake.users.selfId, 3000, L"C:\\Tools\\lumarest-check.exe", 1, 200, false}};
  GetParam().set(fake);
  EXPECT_EQ(GetParam().waits, StartedByDoubleClick());
  EXPECT_EQ("", fake.Leaks());
}

INSTANTIATE_TEST_SUITE_P(
    Starts, DoubleClickTest,
    ::testing::Values(
        ClickCase{"ExplorerAndAConsoleOfItsOwn", [](FakeLaptop&) {}, true},
        ClickCase{"ExplorerWithTheFolderInOtherCase", [](FakeLaptop& f) { f.users.windowsFolder = L"C:\\WINDOWS"; }, true},
        ClickCase{"ASharedConsole", [](FakeLaptop& f) { f.users.consoleProcessCount = 2; }, false},
        ClickCase{"OutputRedirected", [](FakeLaptop& f) { f.users.stdoutIsConsole = false; }, false},
        ClickCase{"TaskScheduler",
                  [](FakeLaptop& f) { f.users.processes[0].path = L"C:\\Windows\\System32\\svchost.exe"; }, false},
        ClickCase{"AnExplorerElsewhere", [](FakeLaptop& f) { f.users.processes[0].path = L"C:\\Temp\\explorer.exe"; }, false},
        ClickCase{"TheParentHasEnded", [](FakeLaptop& f) { f.users.processes.erase(f.users.processes.begin()); }, false},
        ClickCase{"ItsIdReusedByALaterExplorer", [](FakeLaptop& f) { f.users.processes[0].started = 300; }, false},
        ClickCase{"TheParentCannotBeOpened", [](FakeLaptop& f) { f.users.processes[0].refused = true; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
