// The built lumarest-check.exe under Wine, whose WMI lists one controller
// that is not Intel's and whose display adapter is not Intel's either: the
// range and the external-display conditions fail, the DC rate is not looked
// for, the exit code says so, and the state files are exactly as they were,
// content and write time.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "tests/e2e/launch.h"
#include "tests/under_wine.h"

namespace {

const wchar_t kFolder[] = L"C:\\Program Files (x86)\\Kelvane\\Lumarest";

struct ToolRun {
  DWORD exitCode = 0;
  std::string out;
};

// Runs the tool with its standard output on a pipe, as a script would.
ToolRun RunCheck(const std::wstring& arguments) {
  ToolRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  const std::wstring path = BuiltProgramPath(L"lumarest-check.exe");
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                      &startup, &process);
  CloseHandle(writeEnd);
  if (started) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) run.out.append(buffer, got);
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    run.exitCode = 0xFFFFFFFF;
  }
  CloseHandle(readEnd);
  return run;
}

struct FileSnapshot {
  std::string bytes;
  FILETIME written = {};
};

bool Snapshot(const std::wstring& path, FileSnapshot* s) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[64];
  DWORD got = 0;
  s->bytes.clear();
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) s->bytes.append(buffer, got);
  GetFileTime(file, nullptr, nullptr, &s->written);
  CloseHandle(file);
  return true;
}

bool WriteWhole(const std::wstring& path, const char* bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes, static_cast<DWORD>(strlen(bytes)), &written, nullptr);
  CloseHandle(file);
  return ok != 0;
}

TEST(CheckTool, UnderWineTheRangeAndTheAdapterFailAndNothingChanges) {
  SKIP_UNLESS_UNDER_WINE("writes state files into the install folder");

  // The install folder of a machine where Lumarest is installed, made here
  // when the prefix has none and taken away again afterwards.
  const bool madeKelvane = CreateDirectoryW(L"C:\\Program Files (x86)\\Kelvane", nullptr) != 0;
  const bool madeFolder = CreateDirectoryW(kFolder, nullptr) != 0;
  const std::wstring acdc = std::wstring(kFolder) + L"\\lasttimeACDC.txt";
  const std::wstring refresh = std::wstring(kFolder) + L"\\lasttimeDCRefresh.txt";
  ASSERT_TRUE(madeFolder) << "the test needs a prefix without Lumarest installed";
  ASSERT_TRUE(WriteWhole(acdc, "1") && WriteWhole(refresh, "2"));
  FileSnapshot acdcBefore, refreshBefore, acdcAfter, refreshAfter;
  ASSERT_TRUE(Snapshot(acdc, &acdcBefore) && Snapshot(refresh, &refreshBefore));
  Sleep(50);  // a write now would show in the time stamps

  const ToolRun json = RunCheck(L"--json");
  const ToolRun report = RunCheck(L"--lang en");

  EXPECT_EQ(1u, json.exitCode) << json.out;
  // Wine's own security answers the writability: its AccessCheck on the
  // files' descriptors grants this user writing.
  for (const char* expected :
       {"{\n  \"schema\": 2,", "\"qualifies\": false", "\"capable\": false", "\"installed\": false",
        "{\"name\": \"rate_range\", \"kind\": \"capability\", \"ok\": false",
        "{\"name\": \"dc_rate_offered\", \"kind\": \"capability\", \"ok\": null",
        "{\"name\": \"no_external_display\", \"kind\": \"moment\", \"ok\": false",
        "{\"name\": \"state_files\", \"kind\": \"installation\", \"ok\": true", "\"lasttimeACDC\": \"1\"",
        "\"lasttimeDCRefresh\": \"2\"", "\"due\": true", "\"version\": \"1.0.0.0\""})
    EXPECT_NE(std::string::npos, json.out.find(expected)) << expected << " not in\n" << json.out;
  EXPECT_EQ(1u, report.exitCode);
  EXPECT_NE(std::string::npos, report.out.find("[FAIL] rate_range")) << report.out;
  EXPECT_NE(std::string::npos, report.out.find("[--]   dc_rate_offered")) << report.out;
  EXPECT_EQ(std::string::npos, report.out.find("Press any key")) << "a pipe is read by a program, not a person";
  EXPECT_NE(std::string::npos, report.out.find("Verdict: Would not switch: ")) << report.out;

  ASSERT_TRUE(Snapshot(acdc, &acdcAfter) && Snapshot(refresh, &refreshAfter));
  EXPECT_EQ(acdcBefore.bytes, acdcAfter.bytes);
  EXPECT_EQ(refreshBefore.bytes, refreshAfter.bytes);
  EXPECT_EQ(0, CompareFileTime(&acdcBefore.written, &acdcAfter.written)) << "lasttimeACDC.txt was written";
  EXPECT_EQ(0, CompareFileTime(&refreshBefore.written, &refreshAfter.written)) << "lasttimeDCRefresh.txt was written";

  DeleteFileW(acdc.c_str());
  DeleteFileW(refresh.c_str());
  RemoveDirectoryW(kFolder);
  if (madeKelvane) RemoveDirectoryW(L"C:\\Program Files (x86)\\Kelvane");
}

// Started by a program, as Task Scheduler or a service starts it, with a
// console of its own that nobody looks at: the report must not wait for a
// key (the parent is not Explorer).
TEST(CheckTool, InAConsoleOfItsOwnStartedByAProgramItDoesNotWait) {
  const std::wstring path = BuiltProgramPath(L"lumarest-check.exe");
  std::wstring commandLine = L"\"" + path + L"\" --lang en";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                             nullptr, &startup, &process));
  const DWORD waited = WaitForSingleObject(process.hProcess, 60000);
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(WAIT_OBJECT_0, waited) << "still waiting after 60 s: it waits for a key nobody will press";
  EXPECT_EQ(1u, code);
}

// The fleet's view under Wine, which has one session (the console, 1) and
// answers WTSQueryUserToken for it: a controller started from the install
// folder is that session's controller and the installation is healthy; a
// copy started from elsewhere is not, and the same installation then lacks
// its controller.
TEST(CheckTool, UnderWineTheOneSessionsControllerMakesItHealthy) {
  SKIP_UNLESS_UNDER_WINE("installs files and the sign-in entry, and starts the controller");
  const bool madeKelvane = CreateDirectoryW(L"C:\\Program Files (x86)\\Kelvane", nullptr) != 0;
  ASSERT_TRUE(CreateDirectoryW(kFolder, nullptr)) << "the test needs a prefix without Lumarest installed";
  const std::wstring acdc = std::wstring(kFolder) + L"\\lasttimeACDC.txt";
  const std::wstring refresh = std::wstring(kFolder) + L"\\lasttimeDCRefresh.txt";
  const std::wstring installed = std::wstring(kFolder) + L"\\lumarest.exe";
  ASSERT_TRUE(WriteWhole(acdc, "2") && WriteWhole(refresh, "2"));
  ASSERT_TRUE(CopyFileW(ControllerPath().c_str(), installed.c_str(), TRUE));
  HKEY run = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                                           nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &run, nullptr));
  const std::wstring command = L"\"" + installed + L"\"";
  RegSetValueExW(run, L"Lumarest", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));

  ToolRun health, json, elsewhere;
  {
    Controller controller;
    ASSERT_TRUE(controller.Start(-1, installed));
    ASSERT_TRUE(controller.WaitUntilRunning());
    health = RunCheck(L"--health");
    json = RunCheck(L"--json");
  }
  {
    Controller copy;  // the built exe, beside the tests
    ASSERT_TRUE(copy.Start());
    ASSERT_TRUE(copy.WaitUntilRunning());
    elsewhere = RunCheck(L"--health");
  }
  std::printf("--health with the installed controller (exit code %lu):\n%s--json:\n%s"
              "--health with a copy from elsewhere (exit code %lu):\n%s",
              health.exitCode, health.out.c_str(), json.out.c_str(), elsewhere.exitCode, elsewhere.out.c_str());

  EXPECT_EQ(0u, health.exitCode) << health.out;
  EXPECT_EQ(0u, health.out.find("healthy: 1 signed-in user, 1 controller; not capable: ")) << health.out;
  EXPECT_EQ(1, std::count(health.out.begin(), health.out.end(), '\n')) << health.out;
  for (const char* expected : {"\"installed\": true", "\"controller_running\": true", "\"health\": \"healthy\"",
                               "\"sessions\": [\n    {\"id\": 1, \"user\": \"",
                               "\"controller_running\": true, \"turned_off\": false, \"readable\": true}\n  ],"})
    EXPECT_NE(std::string::npos, json.out.find(expected)) << expected << " not in\n" << json.out;
  EXPECT_EQ(1u, elsewhere.exitCode) << elsewhere.out;
  EXPECT_EQ(0u, elsewhere.out.find("controller_missing: session 1 \"")) << elsewhere.out;

  RegDeleteValueW(run, L"Lumarest");
  RegCloseKey(run);
  DeleteFileW(installed.c_str());
  DeleteFileW(acdc.c_str());
  DeleteFileW(refresh.c_str());
  RemoveDirectoryW(kFolder);
  if (madeKelvane) RemoveDirectoryW(L"C:\\Program Files (x86)\\Kelvane");
}

}  // namespace
