// The Windows rules the fake laptop and the starter's fake sessions encode,
// checked against the platform the tests run on. Each test states the rule
// and the Microsoft page it comes from, and asks the real platform, in a
// throw-away folder and otherwise read only, so that the same file runs on
// Windows unchanged. Where Wine answers otherwise, WINE_DIFFERS says why and
// the test expects Wine's answer under Wine only (tests/under_wine.h).
#include <gtest/gtest.h>

#include <windows.h>
#include <wbemidl.h>
#include <wtsapi32.h>

#include <cstdio>
#include <string>
#include <thread>

#include "fake/fake_laptop.h"
#include "platform/os_calls.h"
#include "platform/wtsapi_late.h"
#include "tests/under_wine.h"

namespace {

// A folder of this test's own under %TEMP%, emptied first.
std::string Scratch() { return MakeScratchFolder("assumptions"); }

void Write(const std::string& path, const char* text) {
  FILE* f = nullptr;
  ASSERT_EQ(0, fopen_s(&f, path.c_str(), "w")) << path;
  std::fputs(text, f);
  std::fclose(f);
}

// ---- Records whose size field was not set --------------------------------
// DISPLAY_DEVICEW's page: cb "must be initialized" to the structure's size
// before EnumDisplayDevicesW; EnumDisplaySettingsW's page: "set the dmSize
// member to sizeof(DEVMODE)". The fake refuses a record without them, as
// the system does.
TEST(PlatformRule, ARecordWhoseSizeFieldWasNotSetIsRefused) {
  DISPLAY_DEVICEW device = {};
  device.cb = 0;
  EXPECT_FALSE(EnumDisplayDevicesW(nullptr, 0, &device, 0)) << "adapter 0 with cb 0";
  device.cb = sizeof device;
  ASSERT_TRUE(EnumDisplayDevicesW(nullptr, 0, &device, 0)) << "adapter 0 with cb set";

  DEVMODEW mode = {};
  mode.dmSize = 0;
  EXPECT_EQ(OnPlatform(FALSE, WINE_DIFFERS("Wine fills the mode whatever dmSize says"), TRUE),
            EnumDisplaySettingsW(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode))
      << "dmSize 0";
  mode.dmSize = sizeof mode;
  EXPECT_TRUE(EnumDisplaySettingsW(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode)) << "dmSize set";
}

// ---- fopen_s shares nothing with a writer --------------------------------
// fopen_s's page: files it opens "aren't sharable" (_SH_SECURE: a reading
// open lets others read, any other open lets nobody in). Wine's runtime
// opens with _SH_DENYNO. The fake applies Windows' rule, which is why the
// check never holds a state file across a wait.
TEST(PlatformRule, FopenSharesReadingOnlyWithReaders) {
  const std::string file = Scratch() + "\\held.txt";
  Write(file, "1");
  const struct {
    const char* held;
    const char* second;
    bool windows;
  } table[] = {{"r", "r", true}, {"r", "w", false}, {"w", "r", false}, {"w", "w", false}};
  for (const auto& t : table) {
    FILE* first = nullptr;
    ASSERT_EQ(0, fopen_s(&first, file.c_str(), t.held)) << t.held;
    FILE* second = nullptr;
    const bool opened = fopen_s(&second, file.c_str(), t.second) == 0;
    if (second) std::fclose(second);
    std::fclose(first);
    const bool expected =
        t.windows ? true : OnPlatform(false, WINE_DIFFERS("Wine's msvcrt opens every file shared (_SH_DENYNO)"), true);
    EXPECT_EQ(expected, opened) << "held \"" << t.held << "\", then \"" << t.second << "\"";
  }
}

// ---- CreateFileW's sharing, pair by pair ---------------------------------
// CreateFileW's page and "Creating and Opening Files": a second open is
// refused (ERROR_SHARING_VIOLATION) when it asks for an access the first
// open does not share, or shares less than the first open has. The fake's
// SharingAllows is this rule; Wine's server enforces it too.
TEST(PlatformRule, CreateFileRefusesEveryIncompatibleShare) {
  const std::string file = Scratch() + "\\shared.txt";
  Write(file, "1");
  const DWORD accesses[] = {GENERIC_READ, GENERIC_WRITE};
  const DWORD shares[] = {0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
  for (DWORD firstAccess : accesses)
    for (DWORD firstShare : shares)
      for (DWORD secondAccess : accesses)
        for (DWORD secondShare : shares) {
          const auto grants = [](DWORD share, DWORD access) {
            return access == GENERIC_READ ? (share & FILE_SHARE_READ) != 0 : (share & FILE_SHARE_WRITE) != 0;
          };
          const bool compatible = grants(firstShare, secondAccess) && grants(secondShare, firstAccess);
          HANDLE first = CreateFileA(file.c_str(), firstAccess, firstShare, nullptr, OPEN_EXISTING, 0, nullptr);
          ASSERT_NE(INVALID_HANDLE_VALUE, first);
          HANDLE second = CreateFileA(file.c_str(), secondAccess, secondShare, nullptr, OPEN_EXISTING, 0, nullptr);
          const DWORD error = second == INVALID_HANDLE_VALUE ? GetLastError() : 0;
          if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
          CloseHandle(first);
          EXPECT_EQ(compatible ? 0u : DWORD{ERROR_SHARING_VIOLATION}, error)
              << "first access 0x" << std::hex << firstAccess << " share " << firstShare << ", second access 0x"
              << secondAccess << " share " << secondShare;
        }
}

// ---- An open that asks for no access ---------------------------------------
// OpenMutexW's page: the access asked for is checked against the object's
// security; an open asking for none grants nothing and Windows refuses it.
// Wine grants it. The single-instance guard therefore takes a handle from
// OpenMutexW as "another instance runs"; the fake refuses, as Windows.
TEST(PlatformRule, OpenMutexAskingForNoAccessIsRefused) {
  wchar_t name[64];
  std::swprintf(name, 64, L"lumarest-assumption-%lu", GetCurrentProcessId());
  HANDLE created = CreateMutexW(nullptr, FALSE, name);
  ASSERT_NE(nullptr, created);
  HANDLE opened = OpenMutexW(0, FALSE, name);
  const bool granted = opened != nullptr;
  if (opened) CloseHandle(opened);
  CloseHandle(created);
  EXPECT_EQ(OnPlatform(false, WINE_DIFFERS("Wine grants an open that asks for no access"), true), granted);
}

// ---- Hidden and system files are not rewritten ---------------------------
// CreateFileW's page: with CREATE_ALWAYS and FILE_ATTRIBUTE_NORMAL, an
// existing file with the hidden or system attribute is refused
// (ERROR_ACCESS_DENIED). fopen_s "w" asks for exactly that.
TEST(PlatformRule, AHiddenOrSystemFileRefusesCreateAlways) {
  const std::string folder = Scratch();
  for (DWORD attribute : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM}}) {
    const std::string file = folder + "\\attribute-" + std::to_string(attribute) + ".txt";
    Write(file, "1");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), attribute));
    const WineDiffers wine = WINE_DIFFERS("Wine rewrites a hidden or system file with CREATE_ALWAYS");
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    EXPECT_EQ(OnPlatform(DWORD{ERROR_ACCESS_DENIED}, wine, DWORD{0}), error)
        << "CREATE_ALWAYS on attribute 0x" << std::hex << attribute;
    FILE* f = nullptr;
    const bool opened = fopen_s(&f, file.c_str(), "w") == 0;
    if (f) std::fclose(f);
    EXPECT_EQ(OnPlatform(false, wine, true), opened) << "fopen_s \"w\" on attribute 0x" << std::hex << attribute;
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

// ---- COM inside a message another thread sent ----------------------------
// KB 131056 ("PRB: Synch OLE Call Fails in Inter-Process/Thread
// SendMessage"): a synchronous call to another process from the recipient
// of a message another thread sent fails with
// RPC_E_CANTCALLOUT_ININPUTSYNCCALL; COM asks InSendMessage. InSendMessageEx's
// page: ISMEX_SEND, and ISMEX_REPLIED once ReplyMessage has answered;
// ReplyMessage's page: no effect for a message the thread sent itself.
// A message the thread sends itself while it handles another thread's is
// handled by a direct call and leaves the thread's answer as it was: what
// InSendMessageEx says is the other thread's message's. Windows' WMI is
// another process; Wine's runs inside the caller and never refuses. The
// fake's COM refuses as Windows does.
struct Answers {
  DWORD before = 0, after = 0, nested = 0xFFFF, ownThread = 0xFFFF;
  HRESULT connectBefore = E_FAIL, connectAfter = E_FAIL;
  BOOL replyOwnThread = TRUE;
};
Answers* answers = nullptr;

HRESULT Connect() {
  IWbemLocator* locator = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(&locator));
  if (FAILED(hr)) return hr;
  BSTR path = SysAllocString(L"ROOT\\CIMV2");
  IWbemServices* services = nullptr;
  hr = locator->ConnectServer(path, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
  SysFreeString(path);
  if (services) services->Release();
  locator->Release();
  return hr;
}

LRESULT CALLBACK Receiver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    answers->before = InSendMessageEx(nullptr);
    answers->connectBefore = Connect();
    ReplyMessage(0);
    answers->after = InSendMessageEx(nullptr);
    answers->connectAfter = Connect();
    SendMessageW(window, WM_APP + 1, 0, 0);
    return 0;
  }
  if (message == WM_APP + 1) {
    answers->nested = InSendMessageEx(nullptr);
    return 0;
  }
  if (message == WM_APP + 2) {
    answers->ownThread = InSendMessageEx(nullptr);
    answers->replyOwnThread = ReplyMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST(PlatformRule, ComRefusesACallOutUntilTheSenderIsAnswered) {
  Answers seen;
  answers = &seen;
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = Receiver;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"LumarestAssumptionReceiver";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
  ASSERT_NE(nullptr, window);
  std::thread sender([window] { SendMessageW(window, WM_APP, 0, 0); });
  // Sent messages are handled inside this thread's message retrieval.
  MSG message;
  while (seen.nested == 0xFFFF && MsgWaitForMultipleObjects(0, nullptr, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0)
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  sender.join();
  SendMessageW(window, WM_APP + 2, 0, 0);
  DestroyWindow(window);
  UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
  CoUninitialize();
  answers = nullptr;

  EXPECT_EQ(DWORD{ISMEX_SEND}, seen.before);
  EXPECT_EQ(OnPlatform(RPC_E_CANTCALLOUT_ININPUTSYNCCALL,
                       WINE_DIFFERS("Wine's WMI runs inside the caller: no call leaves the process"), S_OK),
            seen.connectBefore)
      << std::hex << seen.connectBefore;
  EXPECT_EQ(DWORD{ISMEX_SEND | ISMEX_REPLIED}, seen.after);
  EXPECT_EQ(S_OK, seen.connectAfter) << std::hex << seen.connectAfter;
  EXPECT_EQ(DWORD{ISMEX_SEND | ISMEX_REPLIED}, seen.nested) << "sent by this thread inside the other's";
  EXPECT_EQ(DWORD{ISMEX_NOSEND}, seen.ownThread) << "a message this thread sent itself";
  EXPECT_FALSE(seen.replyOwnThread) << "nothing to answer";
}

// ---- Sessions and their users' tokens -------------------------------------
// WTSEnumerateSessionsW's page: it lists the sessions on the server, the
// console session among them. WTSQueryUserToken's page: only a caller in
// the LocalSystem account with SE_TCB_NAME gets a session's user token
// (ERROR_PRIVILEGE_NOT_HELD otherwise). The check's fake sessions and the
// starter's encode both; the check falls back to its own token for its own
// session. Wine lists no session at all, and hands out the token to anyone.
TEST(PlatformRule, OnlyTheSystemAccountGetsASessionsUserToken) {
  const DWORD console = WTSGetActiveConsoleSessionId();
  WTS_SESSION_INFOW* sessions = nullptr;
  DWORD count = 0;
  ASSERT_TRUE(LateEnumerateSessions(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count));
  bool consoleListed = false;
  for (DWORD i = 0; i < count; ++i) consoleListed = consoleListed || sessions[i].SessionId == console;
  LateFreeSessionMemory(sessions);
  EXPECT_EQ(OnPlatform(true, WINE_DIFFERS("Wine's WTSEnumerateSessionsW lists no session"), false), consoleListed);

  // A test run is an ordinary user's (or an administrator's), never the
  // system account's.
  HANDLE token = nullptr;
  const BOOL got = LateQueryUserToken(console, &token);
  const DWORD error = got ? 0 : GetLastError();
  if (got) CloseHandle(token);
  EXPECT_EQ(OnPlatform(DWORD{ERROR_PRIVILEGE_NOT_HELD}, WINE_DIFFERS("Wine gives any caller the token"), DWORD{0}),
            error);
}

// ---- Windows 11's virtual refresh rates ----------------------------------
// QueryDisplayConfig's page: QDC_VIRTUAL_REFRESH_RATE_AWARE is supported
// starting in Windows 11 (build 22000); an older Windows refuses it as an
// unknown flag (ERROR_INVALID_PARAMETER). The fake answers it only where it
// plays Windows 11. Wine 8 presents itself as Windows 10 and refuses it too.
TEST(PlatformRule, OnlyWindowsElevenTakesTheVirtualRefreshRateFlag) {
  RTL_OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  using GetVersionFn = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
  auto getVersion =
      reinterpret_cast<GetVersionFn>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  ASSERT_NE(nullptr, getVersion);
  ASSERT_EQ(0, getVersion(&version));
  const bool eleven = version.dwMajorVersion > 10 || (version.dwMajorVersion == 10 && version.dwBuildNumber >= 22000);
  UINT32 paths = 0, modes = 0;
  const LONG result = GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS | 0x40, &paths, &modes);
  EXPECT_EQ(eleven ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER, result) << "build " << version.dwBuildNumber;
  EXPECT_EQ(ERROR_SUCCESS, GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &paths, &modes));
}

// ---- A power plan's name --------------------------------------------------
// PowerReadFriendlyName's page: the name of a scheme, such as Windows'
// Balanced plan (381b4222-f694-41f0-9685-ff5bb260df2e), sized by a first call
// without a buffer. The fake knows names by GUID. Wine does not implement it.
TEST(PlatformRule, ThePowerPlanHasANameForItsOwner) {
  const GUID balanced = {0x381b4222, 0xf694, 0x41f0, {0x96, 0x85, 0xff, 0x5b, 0xb2, 0x60, 0xdf, 0x2e}};
  DWORD size = 0;
  // The real table's entry: powrprof's function, resolved from System32.
  const DWORD result = realOs.PowerReadFriendlyName(nullptr, &balanced, nullptr, nullptr, nullptr, &size);
  EXPECT_EQ(OnPlatform(DWORD{ERROR_SUCCESS}, WINE_DIFFERS("Wine's powrprof does not implement it"),
                       DWORD{ERROR_CALL_NOT_IMPLEMENTED}),
            result);
  if (!RunningUnderWine()) {
    EXPECT_GT(size, sizeof(wchar_t)) << "a name, not an empty text";
  }
}

// ---- A job that does not allow breakaway ---------------------------------
// "Process Creation Flags", CREATE_BREAKAWAY_FROM_JOB: the job must set
// JOB_OBJECT_LIMIT_BREAKAWAY_OK, else CreateProcess fails with
// ERROR_ACCESS_DENIED. The starter's fake sessions refuse so, and the
// starter then starts the controller inside the job. This test process
// joins a job of its own for it (jobs nest from Windows 8 on) and stays in
// it, with breakaway allowed and no other limit.
TEST(PlatformRule, AJobWithoutBreakawayRefusesIt) {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  ASSERT_NE(nullptr, job);
  ASSERT_TRUE(AssignProcessToJobObject(job, GetCurrentProcess()));
  const struct {
    bool allowed;
    DWORD error;
  } table[] = {{false, ERROR_ACCESS_DENIED}, {true, 0}};
  for (const auto& t : table) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = t.allowed ? JOB_OBJECT_LIMIT_BREAKAWAY_OK : 0;
    ASSERT_TRUE(SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits));
    wchar_t command[] = L"cmd.exe /c exit 0";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    const BOOL created = CreateProcessW(nullptr, command, nullptr, nullptr, FALSE,
                                        CREATE_BREAKAWAY_FROM_JOB | CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &child);
    const DWORD error = created ? 0 : GetLastError();
    if (created) {
      BOOL inJob = TRUE;
      EXPECT_TRUE(IsProcessInJob(child.hProcess, job, &inJob));
      EXPECT_FALSE(inJob) << "the child left the job";
      TerminateProcess(child.hProcess, 0);
      CloseHandle(child.hThread);
      CloseHandle(child.hProcess);
    }
    EXPECT_EQ(t.error, error) << (t.allowed ? "breakaway allowed" : "breakaway not allowed");
  }
  CloseHandle(job);
}

}  // namespace
