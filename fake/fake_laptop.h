// The fake laptop: a test double behind the platform seam.
//
// While a FakeLaptop exists it owns the table `os`: every platform call the
// controller makes lands here, is written to the call log with the virtual
// time, and is answered from the laptop's model (display adapters, panel,
// battery, registry keys, WMI controllers, the install folder mapped to a
// scratch folder). `Sleep` only advances the virtual clock.
//
// Two layers can be faked. `kHardware` is what a test machine lacks: display,
// power, registry, WMI, the state files, the mutex and the clock. With
// `kWindowSystem` the window calls are faked too, for unit tests that run the
// start-up sequence or the window procedure without a real window; without
// it they reach the real user32 (integration tests, the simulated laptop).
//
// Fault injection: every call that can fail counts as one "failable" call;
// setting `failAt` to k makes the k-th of them fail the way that call fails.
// The ledger (open keys, files, COM objects, BSTRs, COM entries) lets a test
// check that everything obtained was given back.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/os_calls.h"

struct FakeCall {
  std::string name;    // the platform call, as the seam names it
  std::string detail;  // its interesting arguments, as text
  std::uint64_t at;    // virtual time in milliseconds when it was made
};

// A property of a fake WMI object: null, an integer of a given VARIANT type,
// or a string.
struct FakeProperty {
  VARTYPE type = VT_NULL;
  std::int64_t number = 0;
  std::wstring text;

  static FakeProperty Null() { return {}; }
  static FakeProperty Int(std::int64_t value, VARTYPE type = VT_I4) { return {type, value, {}}; }
  static FakeProperty Text(std::wstring value) { return {VT_BSTR, 0, std::move(value)}; }
};

struct FakeController {
  FakeProperty name;
  FakeProperty maxRefreshRate;
  FakeProperty minRefreshRate;
  // What WMI reports instead while a display other than the panel is
  // attached (a docked laptop's driver may report the external display's
  // range); unset: the same as without one.
  std::optional<FakeProperty> externalMaxRefreshRate = std::nullopt;
  std::optional<FakeProperty> externalMinRefreshRate = std::nullopt;
};

struct FakeAdapter {
  std::wstring description;       // DeviceString, the vendor test's input
  std::vector<DWORD> monitorFlags;  // StateFlags of each monitor, in order
};

struct FakeMode {
  DWORD width = 1920;
  DWORD height = 1080;
  DWORD bitsPerPixel = 32;
  DWORD rate = 60;
};

struct FakeRegistryValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct FakeRegistryKey {
  std::map<std::wstring, FakeRegistryValue> values;  // names folded to lower case
  bool unreadable = false;                          // opening it is refused
};

class FakeLaptop {
 public:
  enum Layer : unsigned { kHardware = 1, kWindowSystem = 2 };

  explicit FakeLaptop(unsigned layers = kHardware | kWindowSystem);
  ~FakeLaptop();
  FakeLaptop(const FakeLaptop&) = delete;
  FakeLaptop& operator=(const FakeLaptop&) = delete;

  static FakeLaptop& Active();

  // ---- Call log, virtual clock, fault injection -------------------------
  std::vector<FakeCall> calls;
  std::uint64_t now = 0;
  int failAt = 0;        // 1-based index of the failable call to fail; 0: none
  int failableCalls = 0;  // failable calls seen so far
  bool injectedFailure = false;  // the failAt call has happened
  std::vector<std::string> failableLog;  // the failable calls in order

  // The 1-based failable index of the n-th (1-based) failable call named
  // `name` in `failableLog`; 0 when there was none.
  int FailableIndex(const std::string& name, int nth = 1) const;

  // Logs a call; for a failable call, says whether it must fail.
  void Log(const char* name, std::string detail = {});
  bool Failable(const char* name);

  std::size_t Count(const std::string& name) const;
  std::vector<std::string> Names() const;  // the call names in order
  std::vector<std::string> Names(const std::vector<std::string>& keep) const;
  std::uint64_t SleptSince(std::size_t firstCall) const;
  std::vector<DWORD> Sleeps() const;

  // Everything obtained and not given back, as text; empty when all is well.
  std::string Leaks() const;

  // Called after each call is logged (the simulated laptop prints from it).
  std::function<void(const FakeCall&)> onCall;

  // The laptop's state, one group per subsystem, as the fake_*.cpp files
  // are split: fake.display.adapters, fake.files.scratchFolder, ...

  // ---- Power (fake_laptop.cpp) ---------------------------------------------
  struct Power {
    BYTE acLineStatus = 1;
    bool powerStatusFails = false;
  } power;

  // ---- Kernel: the single-instance mutex and the last error (fake_laptop.cpp)
  struct Kernel {
    std::set<std::wstring> mutexes;  // named objects of this fake session
    HANDLE openMutexHandle = nullptr;  // forced answer of OpenMutexW
    std::optional<DWORD> lastErrorOverride;
    DWORD lastError = 0;
  } kernel;

  // ---- Display (fake_display.cpp) -------------------------------------------
  struct Display {
    std::vector<FakeAdapter> adapters;
    FakeMode mode;                     // current mode of adapter 0
    std::vector<DWORD> acceptedRates;  // rates the panel takes; empty: any
    // Windows 11's Dynamic refresh rate, as QueryDisplayConfig reports the
    // panel's path with QDC_VIRTUAL_REFRESH_RATE_AWARE; a Windows that does
    // not know that flag (Windows 10) refuses it with ERROR_INVALID_PARAMETER.
    bool virtualRefreshRateAware = false;
    bool dynamicRefresh = false;  // DISPLAYCONFIG_PATH_BOOST_REFRESH_RATE on the panel's path
    DWORD physicalRate = 0;       // the panel's signal rate; 0: the current mode's
    // The modes EnumDisplaySettingsW lists by index. Empty: one mode at the
    // panel's one resolution and depth for each rate it takes and for its
    // current rate, ascending; a panel that takes any rate lists every rate
    // from 24 to 244 Hz, so that any DC rate a real range gives is offered.
    std::vector<FakeMode> listedModes;
    bool modeReadFails = false;
    std::optional<LONG> changeResult;  // forces ChangeDisplaySettingsW's answer
    std::vector<DEVMODEW> submittedModes;
    std::function<void()> onModeChange;  // how a mode change is announced
  } display;
  std::vector<FakeMode> ListedModes() const;
  // An active monitor other than the panel (monitor 0 of adapter 0).
  bool DisplayBesidesPanel() const;
  void SetPanel(std::vector<DWORD> rates, DWORD current);

  // ---- Registry: HKEY_LOCAL_MACHINE; HKEY_USERS as the key "HKEY_USERS" (fake_registry.cpp)
  struct Registry {
    std::map<std::wstring, FakeRegistryKey> keys;  // full paths, lower case
    std::set<HKEY> openKeys;
    // Power plans' names, as PowerReadFriendlyName gives them, by the plan's
    // GUID in lower case.
    std::map<std::wstring, std::wstring> powerPlanNames;
  } registry;
  std::vector<std::wstring> KeyOrder(const std::wstring& parent) const;
  FakeRegistryKey& Key(const std::wstring& path);  // created, with its parents
  void SetValue(const std::wstring& path, const std::wstring& name, DWORD type,
                std::vector<BYTE> data);
  void SetString(const std::wstring& path, const std::wstring& name, const std::wstring& text);
  void SetDword(const std::wstring& path, const std::wstring& name, DWORD value);
  void RemoveKey(const std::wstring& path);

  // ---- WMI (fake_wmi.cpp) ---------------------------------------------------
  struct Wmi {
    std::vector<FakeController> controllers;
    HRESULT coInitializeResult = S_OK;
    HRESULT securityResult = S_OK;      // CoInitializeSecurity's answer (RPC_E_TOO_LATE after the first)
    HRESULT proxyBlanketResult = S_OK;  // CoSetProxyBlanket's answer
    bool locatorFails = false;
    bool connectFails = false;
    bool queryFails = false;
    int comEntries = 0;      // successful CoInitializeEx minus CoUninitialize
    int liveComObjects = 0;  // fake WMI objects not yet released
    int liveBstrs = 0;       // strings allocated through the seam and not freed
  } wmi;

  // ---- Messages sent by another thread, and COM's rule about them (fake_wmi.cpp)
  // Windows delivers the power, display and session broadcasts as messages
  // that another thread sent and waits on. While this thread handles such a
  // message and has not answered it, COM refuses its calls to another
  // process with RPC_E_CANTCALLOUT_ININPUTSYNCCALL (Microsoft KB 131056,
  // "PRB: Synch OLE Call Fails in Inter-Process/Thread SendMessage"; COM
  // asks InSendMessage). Windows' WMI is such another process, so the fake
  // WMI refuses ConnectServer, ExecQuery and Next then. Wine runs WMI inside
  // the caller and never refuses. InSendMessageEx and ReplyMessage answer
  // from these frames as Microsoft's InSendMessageEx and ReplyMessage pages
  // describe them; with no frame they pass through to the real ones. A
  // message this thread sends itself is handled by a direct call and leaves
  // the answer as it was: inside another thread's message, InSendMessageEx
  // still tells of that one (measured under Wine, platform_assumptions_test).
  // Only a message this thread sent itself, with no other beneath it, reads
  // ISMEX_NOSEND.
  struct SentMessage {
    bool byAnotherThread = false;  // false: this thread sent it to itself
    bool replied = false;
  };
  std::vector<SentMessage> sentMessages;  // the message being handled last
  // Runs `handling` as the handling of a message sent by another thread
  // (or, with false, by this thread itself).
  void HandleSentMessage(bool byAnotherThread, const std::function<void()>& handling);
  // InSendMessageEx's answer, without logging a call.
  DWORD InSendMessageState() const;
  // The innermost message another thread sent, or null.
  SentMessage* AnotherThreadsMessage();
  // A sender is blocked on the message being handled.
  bool SenderWaiting() const;

  // ---- State files (fake_files.cpp) -----------------------------------------
  // Windows' sharing rules, which Wine's fopen_s does not apply: every open
  // file, by the FILE* or HANDLE that holds it, with what it reads or writes
  // and what it lets others do. fopen_s shares reading for a reading open
  // and nothing for any other; CreateFileW shares what it is asked to.
  struct Sharing {
    std::string name;  // the file, as the install folder names it
    bool reads = false;
    bool writes = false;
    DWORD share = 0;  // FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
  };
  struct Files {
    // The install folder the controller names is mapped to this folder.
    std::string scratchFolder;
    bool folderReadOnly = false;
    std::map<std::string, std::uint64_t> lockedUntil;  // file name -> virtual time
    std::map<FILE*, std::string> openFiles;  // open file -> its scratch path
    std::set<HANDLE> openHandles;            // files opened with CreateFileW, not yet closed
    std::set<HANDLE> openTokens;             // access tokens, not yet closed
    std::map<const void*, Sharing> sharing;
    std::map<std::string, Sharing> heldElsewhere;  // another process's open, by file name
    // The files' security: those this user may not write (AccessCheck
    // denies it), besides every file while `folderReadOnly` is set.
    std::set<std::string> writeDenied;
    // Attributes a state file carries besides what the real file has
    // (FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM), by file name. Windows
    // refuses to open an existing hidden or system file with CREATE_ALWAYS,
    // which fopen_s "w" asks for (CreateFileW's page: ERROR_ACCESS_DENIED);
    // Wine does not, so the fake applies the rule. Removing the file clears
    // them.
    std::map<std::string, DWORD> fileAttributes;
    std::map<const void*, std::string> securityRead;  // descriptor buffer -> the file it describes
  } files;
  bool SharingAllows(const Sharing& wanted) const;
  std::string MapPath(const char* path) const;  // empty when outside the folder
  std::optional<std::string> FileContent(const std::string& name) const;
  void SetFile(const std::string& name, const std::string& content);
  void RemoveFile(const std::string& name);

  // ---- Window system, kWindowSystem only (fake_window.cpp) ------------------
  struct Window {
    HWND windowToCreate = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1000));  // what CreateWindowExW answers
    WNDCLASSEXW registeredClass = {};
    std::wstring registeredClassName;
    std::deque<MSG> queue;  // what GetMessageW hands out, then WM_QUIT
    std::optional<BOOL> getMessageResult;  // forces GetMessageW's answer
    LRESULT defWindowProcResult = 0;
    int translateAcceleratorResult = 0;
    INT_PTR dialogResult = IDOK;
    std::function<void()> duringDialog;  // runs while the fake About box is open
    std::vector<std::pair<std::wstring, std::wstring>> topLevelWindows;  // class, title: FindWindowW
  } window;

  // ---- Sessions and processes (fake_sessions.cpp) ---------------------------
  // Unless a test says otherwise: session 0 (services, no user) and session
  // 1, the console, with "LAPTOP\owner" signed in; this process is
  // lumarest-check in session 1, run by that user from Command Prompt, with
  // a console of its own neither; no controller runs. Only the system
  // account may ask for another session's user token (`asSystem`).
  struct Session {
    DWORD id = 0;
    std::wstring domain, user;  // an empty user: nobody signed in (sign-in screen, listener)
    std::wstring sid;           // the user's SID as text
    bool listed = true;         // WTSEnumerateSessionsW lists it
    bool nameRefused = false;   // WTSQuerySessionInformationW refuses it
  };
  struct Process {
    DWORD id = 0;
    DWORD parentId = 0;
    std::wstring path;          // the image's full path
    DWORD session = 0;
    std::uint64_t started = 0;  // creation time (100 ns units)
    bool refused = false;       // OpenProcess and ProcessIdToSessionId refused (another user's)
  };
  struct Users {
    std::vector<Session> sessions;
    std::vector<Process> processes;
    DWORD consoleSession = 1;  // 0xFFFFFFFF: no console session
    bool sessionListFails = false;
    bool asSystem = false;
    DWORD selfId = 4242;
    std::wstring selfSid;  // this process's token's user
    bool stdoutIsConsole = false;
    DWORD consoleProcessCount = 2;  // GetConsoleProcessList's answer
    std::wstring windowsFolder = L"C:\\Windows";
    std::set<HANDLE> openProcessHandles;        // processes and snapshots, not yet closed
    std::set<void*> wtsBuffers;                 // WTS memory not yet freed
    std::set<void*> localTexts;                 // SID texts not yet given to LocalFree
    std::map<HANDLE, std::wstring> tokenUsers;  // session tokens -> their user's SID
  } users;
  // A user signed in to session `id` as DOMAIN\name, with the installed
  // controller running there or not, and with Lumarest turned off in that
  // user's Startup apps or not (a record 03 under StartupApproved\Run32).
  void SignIn(DWORD id, const std::wstring& domainAndName, bool controller, bool turnedOff);
  // A process of `path` in `session`, started after every other one.
  DWORD AddProcess(const std::wstring& path, DWORD session, DWORD parentId = 4);
  Process* FindProcess(DWORD id);

 private:
  OsCalls saved_;
  unsigned layers_;
  void InstallHardware();
  void InstallWindowSystem();
  void InstallDisplay();
  void InstallRegistry();
  void InstallWmi();
  void InstallFiles();
  void InstallSessions();
};

// Helpers for tests.
std::string Narrow(const std::wstring& text);
std::string Hex(unsigned long long value);  // without the 0x
std::wstring Lower(std::wstring text);

// CloseHandle of the fake: a file handle or a token it gave out is closed
// and leaves the ledger; any other (the mutex) only has to be real.
BOOL FakeCloseFileOrToken(HANDLE handle);
// CloseHandle of the fake for process and snapshot handles: true when the
// handle was one of them (it leaves the ledger).
bool FakeCloseProcessHandle(HANDLE handle);

// A scratch folder unique to this process, created afresh (and emptied).
std::string MakeScratchFolder(const std::string& tag);
