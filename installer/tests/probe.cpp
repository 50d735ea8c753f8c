// The Windows side of the installer tests, run through Wine by the test
// scripts beside it. One command per run; it prints what it saw and exits 0
// when the expectation held, 1 when it did not, 2 on a usage error.
//
//   run "<command line>"      start the controller as the shell would from
//                             the Run value, see its window answer, end it
//                             with its exit command, expect exit code 0
//   start "<command line>"    start it and see its window; leave it running
//   stop <seconds>            find a running controller's window (whoever
//                             started it), end it, print its process id
//                             and image path
//   gone <image> <seconds>    wait until no process of that image name is
//                             left (lumarest.exe, msiexec.exe)
//   sddl "<SDDL>"             decode a security descriptor: protection and
//                             every ACE (type, flags, mask, SID)
//   version <file>            the file version from its version resource
//   products <upgrade code>   installed products of that upgrade code, with
//                             their versions
//   condition <package> <action> [NAME=VALUE]...
//                             the condition of that InstallExecuteSequence
//                             action, evaluated by the installer in a session
//                             of the package with those properties set:
//                             prints true, false or none
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// The controller's window and its exit command.
const wchar_t kClass[] = L"LUMAREST";
const wchar_t kTitle[] = L"Lumarest";
const WPARAM kExitCommand = 105;

struct Search {
  DWORD pid;  // 0: any process
  HWND found;
  DWORD foundPid;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  Search* s = reinterpret_cast<Search*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (s->pid != 0 && pid != s->pid) return TRUE;
  wchar_t text[256];
  if (GetClassNameW(window, text, 256) == 0 || wcscmp(text, kClass) != 0) return TRUE;
  GetWindowTextW(window, text, 256);
  if (wcscmp(text, kTitle) != 0) return TRUE;
  s->found = window;
  s->foundPid = pid;
  return FALSE;
}

HWND FindControllerWindow(DWORD pid, DWORD timeoutMs, DWORD* foundPid) {
  const ULONGLONG until = GetTickCount64() + timeoutMs;
  for (;;) {
    Search s = {pid, nullptr, 0};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
    if (s.found) {
      if (foundPid) *foundPid = s.foundPid;
      return s.found;
    }
    if (GetTickCount64() >= until) return nullptr;
    Sleep(100);
  }
}

std::vector<DWORD> ProcessesOf(const wchar_t* image) {
  std::vector<DWORD> pids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return pids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, image) == 0) pids.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return pids;
}

// Waits until the window's message loop answers: the controller is past its
// start-up work.
bool Answers(HWND window) {
  DWORD_PTR answer = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer) != 0;
}

bool StartProcess(const wchar_t* commandLine, PROCESS_INFORMATION* process) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  // No standard handles, as from the shell. Under Wine the child would
  // otherwise hold this probe's output pipe open for as long as it runs,
  // and whoever reads that pipe would wait for the controller.
  startup.dwFlags = STARTF_USESTDHANDLES;
  std::wstring line = commandLine;
  // No application name: the command line is parsed the way the shell
  // parses a Run value, so its quoting is part of what is tested.
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process)) {
    std::printf("cannot start %ls (error %lu)\n", commandLine, GetLastError());
    return false;
  }
  return true;
}

// Posts the exit command and waits for the process; returns its exit code,
// or -1 if it did not end.
long EndController(HWND window, HANDLE process) {
  if (!PostMessageW(window, WM_COMMAND, kExitCommand, 0)) return -1;
  if (WaitForSingleObject(process, 20000) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return static_cast<long>(code);
}

int Run(const wchar_t* commandLine, bool leaveRunning) {
  PROCESS_INFORMATION process = {};
  if (!StartProcess(commandLine, &process)) return 1;
  HWND window = FindControllerWindow(process.dwProcessId, 30000, nullptr);
  if (window == nullptr || !Answers(window)) {
    std::printf("no answering window of class %ls titled %ls from process %lu\n", kClass, kTitle,
                process.dwProcessId);
    TerminateProcess(process.hProcess, 99);
    return 1;
  }
  if (leaveRunning) {
    std::printf("running %lu\n", process.dwProcessId);
    return 0;
  }
  const long code = EndController(window, process.hProcess);
  std::printf("exit code %ld\n", code);
  if (code == -1) TerminateProcess(process.hProcess, 99);
  return code == 0 ? 0 : 1;
}

int Stop(DWORD seconds) {
  DWORD pid = 0;
  HWND window = FindControllerWindow(0, seconds * 1000, &pid);
  if (window == nullptr) {
    std::printf("no controller window within %lu s\n", seconds);
    return 1;
  }
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) {
    std::printf("cannot open process %lu (error %lu)\n", pid, GetLastError());
    return 1;
  }
  wchar_t image[MAX_PATH] = L"?";
  DWORD size = MAX_PATH;
  QueryFullProcessImageNameW(process, 0, image, &size);
  const bool answered = Answers(window);
  const long code = EndController(window, process);
  CloseHandle(process);
  std::printf("pid %lu\nimage %ls\nexit code %ld\n", pid, image, code);
  return answered && code == 0 ? 0 : 1;
}

int Gone(const wchar_t* image, DWORD seconds) {
  const ULONGLONG until = GetTickCount64() + seconds * 1000ULL;
  for (;;) {
    const std::vector<DWORD> pids = ProcessesOf(image);
    if (pids.empty()) return 0;
    if (GetTickCount64() >= until) {
      std::printf("%ls still running after %lu s:", image, seconds);
      for (DWORD pid : pids) std::printf(" %lu", pid);
      std::printf("\n");
      return 1;
    }
    Sleep(200);
  }
}

int Sddl(const wchar_t* text) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &sd, nullptr)) {
    std::printf("invalid SDDL (error %lu)\n", GetLastError());
    return 1;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(sd, &control, &revision);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
  std::printf("protected %d\n", (control & SE_DACL_PROTECTED) ? 1 : 0);
  std::printf("dacl %d\n", present && dacl ? 1 : 0);
  if (present && dacl) {
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      ACE_HEADER* header = nullptr;
      if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
      const char* type = header->AceType == ACCESS_ALLOWED_ACE_TYPE  ? "allow"
                         : header->AceType == ACCESS_DENIED_ACE_TYPE ? "deny"
                                                                     : "other";
      ACCESS_MASK mask = 0;
      PSID sid = nullptr;
      if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
        ACCESS_ALLOWED_ACE* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        mask = ace->Mask;
        sid = &ace->SidStart;
      }
      wchar_t* sidText = nullptr;
      if (sid) ConvertSidToStringSidW(sid, &sidText);
      std::printf("ace %s 0x%02X 0x%08lX %ls\n", type, header->AceFlags, mask, sidText ? sidText : L"-");
      if (sidText) LocalFree(sidText);
    }
  }
  LocalFree(sd);
  return 0;
}

int Version(const wchar_t* path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) {
    std::printf("no version resource in %ls (error %lu)\n", path, GetLastError());
    return 1;
  }
  std::vector<BYTE> data(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(path, 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr) {
    std::printf("unreadable version resource in %ls\n", path);
    return 1;
  }
  std::printf("%u.%u.%u.%u\n", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
              HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
  return 0;
}

int Products(const wchar_t* upgradeCode) {
  for (DWORD i = 0;; ++i) {
    wchar_t product[39] = {};
    const UINT r = MsiEnumRelatedProductsW(upgradeCode, 0, i, product);
    if (r == ERROR_NO_MORE_ITEMS) return 0;
    if (r != ERROR_SUCCESS) {
      std::printf("MsiEnumRelatedProducts failed (%u)\n", r);
      return 1;
    }
    wchar_t version[64] = L"?";
    DWORD length = 64;
    MsiGetProductInfoW(product, INSTALLPROPERTY_VERSIONSTRING, version, &length);
    std::printf("%ls %ls\n", product, version);
  }
}

// The installer's own reading of a condition, so that a test can ask what
// the package would do in a situation this machine cannot produce (the
// system account installing, for one). Properties set on the session
// override what the installer set when it opened the package.
int Condition(const wchar_t* package, const wchar_t* action, int count, wchar_t** assignments) {
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  MSIHANDLE session = 0;
  UINT r = MsiOpenPackageExW(package, MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE, &session);
  if (r != ERROR_SUCCESS) {
    std::printf("cannot open %ls (%u)\n", package, r);
    return 1;
  }
  int status = 1;
  std::wstring query = L"SELECT `Condition` FROM `InstallExecuteSequence` WHERE `Action` = '";
  query += action;
  query += L"'";
  MSIHANDLE database = MsiGetActiveDatabase(session);
  MSIHANDLE view = 0, row = 0;
  wchar_t condition[1024] = L"";
  DWORD length = 1024;
  if (MsiDatabaseOpenViewW(database, query.c_str(), &view) != ERROR_SUCCESS ||
      MsiViewExecute(view, 0) != ERROR_SUCCESS || MsiViewFetch(view, &row) != ERROR_SUCCESS ||
      MsiRecordGetStringW(row, 1, condition, &length) != ERROR_SUCCESS) {
    std::printf("no %ls in InstallExecuteSequence\n", action);
  } else {
    bool set = true;
    for (int i = 0; i < count && set; ++i) {
      std::wstring assignment = assignments[i];
      const size_t equals = assignment.find(L'=');
      set = equals != std::wstring::npos &&
            MsiSetPropertyW(session, assignment.substr(0, equals).c_str(), assignment.c_str() + equals + 1) ==
                ERROR_SUCCESS;
      if (!set) std::printf("cannot set %ls\n", assignments[i]);
    }
    if (set) {
      const MSICONDITION result = MsiEvaluateConditionW(session, condition);
      if (result == MSICONDITION_ERROR) {
        std::printf("cannot evaluate %ls\n", condition);
      } else {
        std::printf("%s\n", result == MSICONDITION_TRUE ? "true" : result == MSICONDITION_FALSE ? "false" : "none");
        status = 0;
      }
    }
  }
  if (row) MsiCloseHandle(row);
  if (view) MsiCloseHandle(view);
  MsiCloseHandle(database);
  MsiCloseHandle(session);
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc == 3) {
    const std::wstring command = argv[1];
    if (command == L"run") return Run(argv[2], false);
    if (command == L"start") return Run(argv[2], true);
    if (command == L"stop") return Stop(static_cast<DWORD>(_wtoi(argv[2])));
    if (command == L"sddl") return Sddl(argv[2]);
    if (command == L"version") return Version(argv[2]);
    if (command == L"products") return Products(argv[2]);
  }
  if (argc == 4 && std::wstring(argv[1]) == L"gone") return Gone(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
  if (argc >= 4 && std::wstring(argv[1]) == L"condition") return Condition(argv[2], argv[3], argc - 4, argv + 4);
  std::printf("usage: probe run|start|stop|gone|sddl|version|products|condition ARGUMENT...\n");
  return 2;
}
