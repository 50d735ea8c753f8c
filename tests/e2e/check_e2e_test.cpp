// The built lumarest-check.exe under Wine, whose WMI lists one controller
// that is not Intel's and whose display adapter is not Intel's either: the
// range and the external-display conditions fail, the DC rate is not looked
// for, the exit code says so, and the state files are exactly as they were,
// content and write time.
#include <gtest/gtest.h>

#include <windows.h>

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

}  // namespace
