// The one seam between the controller and the outside world.
//
// Every call that touches the window system, the kernel, the session
// notifications, the registry, COM/WMI, the C runtime's files or the clock
// goes through the table `os`. It is filled with the real functions; tests
// and the simulated laptop replace entries (or wrap the real ones) to observe
// the calls, drive a virtual clock and inject failures. `realOs` keeps the
// real table so a double can pass a call through or restore the table.
//
// One list, LUMAREST_OS_CALLS, makes the struct's members, the real table
// (platform/os_calls.cpp) and the names the fakes' call log prints
// (kOsCallNames), so a member cannot be filled with another call's function
// and a log name cannot drift from its call. Member types are taken from the
// platform's own declarations, so the calling convention and argument types
// always match the real function.
//
// Deliberately not in the list, because they reach nothing outside the
// process or cannot be replaced one call at a time:
// - the methods of the COM objects (IWbemLocator::ConnectServer,
//   IWbemServices::ExecQuery, IEnumWbemClassObject::Next,
//   IWbemClassObject::Get, Release): they are called on objects the seam's
//   CoCreateInstance returns, so a double replaces them by returning
//   objects of its own;
// - SysStringLen: it reads the length stored in front of a BSTR's text,
//   nothing else;
// - GetCurrentProcess: a constant pseudo-handle; CompareFileTime and
//   MapGenericMask: arithmetic on their arguments;
// - the check tool's console output (WriteConsoleW, WriteFile,
//   ReadConsoleInputW, FlushConsoleInputBuffer in check/console_output.cpp)
//   and its command line and UI language (check/main.cpp): they sit behind
//   ToolOutput (check/check_tool.h) and RunCheckTool's arguments, which the
//   tests replace whole;
// - the starter DLL's calls: it has a seam of its own (starter/starter_os.h);
// - LoadLibraryExW and GetProcAddress in platform/system32.h, which fill the
//   list's late-bound entries themselves.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wtsapi32.h>
#include <powrprof.h>
#include <sddl.h>
#include <tlhelp32.h>
#include <cstdio>

// The C runtime's file calls, reduced to the exact shapes the controller
// uses. Variadic functions cannot sit behind a typed pointer, so the format
// is fixed here: the state files are only ever written with "%s" and read
// with "%s" into a sized buffer.
using AccessFn = int (*)(const char* path, int mode);
using FopenFn = errno_t (*)(FILE** file, const char* path, const char* mode);
using PrintTextFn = int (*)(FILE* file, const char* text);
using ScanTokenFn = int (*)(FILE* file, char* buffer, unsigned size);
using FcloseFn = int (*)(FILE* file);

// Every call of the seam, one row each, in the order of the table:
//   SYSTEM(name)                   the platform's function of that name
//   LATE(name, real)               the same, from a DLL that is not among the
//                                  known DLLs: `real` (os_calls.cpp) resolves
//                                  it from System32 at first use
//   CRT(member, type, real, name)  a C runtime call, by the shape it is
//                                  used in; `name` is the runtime function
//                                  the call log prints
// clang-format off
#define LUMAREST_OS_CALLS(SYSTEM, LATE, CRT)                                      \
  /* Loader and kernel. */                                                        \
  SYSTEM(SetDefaultDllDirectories)                                                \
  SYSTEM(OpenMutexW)                                                              \
  SYSTEM(CreateMutexW)                                                            \
  SYSTEM(GetLastError)                                                            \
  SYSTEM(CloseHandle)                                                             \
  SYSTEM(GetSystemPowerStatus)                                                    \
  SYSTEM(Sleep)                                                                   \
                                                                                  \
  /* Window system: start-up, window, loop and dialog. */                         \
  SYSTEM(LoadStringW)                                                             \
  SYSTEM(LoadIconW)                                                               \
  SYSTEM(LoadCursorW)                                                             \
  SYSTEM(RegisterClassExW)                                                        \
  SYSTEM(CreateWindowExW)                                                         \
  SYSTEM(ShowWindow)                                                              \
  SYSTEM(UpdateWindow)                                                            \
  SYSTEM(LoadAcceleratorsW)                                                       \
  SYSTEM(GetMessageW)                                                             \
  SYSTEM(TranslateAcceleratorW)                                                   \
  SYSTEM(TranslateMessage)                                                        \
  SYSTEM(DispatchMessageW)                                                        \
  SYSTEM(DefWindowProcW)                                                          \
  SYSTEM(BeginPaint)                                                              \
  SYSTEM(EndPaint)                                                                \
  SYSTEM(DialogBoxParamW)                                                         \
  SYSTEM(EndDialog)                                                               \
  SYSTEM(DestroyWindow)                                                           \
  SYSTEM(PostQuitMessage)                                                         \
  SYSTEM(FindWindowW) /* the diagnostic's look for a running controller */        \
  /* Whether the message being handled was sent by another thread and is */       \
  /* still unanswered, and the early answer to it. */                             \
  SYSTEM(InSendMessageEx)                                                         \
  SYSTEM(ReplyMessage)                                                            \
                                                                                  \
  /* Session notifications (wtsapi32, resolved from System32 at first use). */    \
  LATE(WTSRegisterSessionNotification, RegisterSessionNotification)               \
  LATE(WTSUnRegisterSessionNotification, UnRegisterSessionNotification)           \
                                                                                  \
  /* Display devices and modes. */                                                \
  SYSTEM(EnumDisplayDevicesW)                                                     \
  SYSTEM(EnumDisplaySettingsW)                                                    \
  SYSTEM(ChangeDisplaySettingsW)                                                  \
  /* The display configuration, for the diagnostic's look at Windows 11's */      \
  /* Dynamic refresh rate (user32, Windows 7 and later). */                       \
  SYSTEM(GetDisplayConfigBufferSizes)                                             \
  SYSTEM(QueryDisplayConfig)                                                      \
                                                                                  \
  /* Registry, read only. */                                                      \
  SYSTEM(RegOpenKeyExW)                                                           \
  SYSTEM(RegQueryValueExW)                                                        \
  SYSTEM(RegEnumKeyExW)                                                           \
  SYSTEM(RegGetValueW)                                                            \
  SYSTEM(RegCloseKey)                                                             \
  /* A power plan's name, for the diagnostic (powrprof, resolved from */          \
  /* System32 at first use). */                                                   \
  LATE(PowerReadFriendlyName, ReadPowerPlanName)                                  \
                                                                                  \
  /* COM and automation. */                                                       \
  SYSTEM(CoInitializeEx)                                                          \
  SYSTEM(CoInitializeSecurity)                                                    \
  SYSTEM(CoCreateInstance)                                                        \
  SYSTEM(CoSetProxyBlanket)                                                       \
  SYSTEM(CoUninitialize)                                                          \
  SYSTEM(SysAllocString)                                                          \
  SYSTEM(SysFreeString)                                                           \
  SYSTEM(VariantInit)                                                             \
  SYSTEM(VariantClear)                                                            \
                                                                                  \
  /* Files and their security, for the diagnostic: it reads the state files */    \
  /* sharing them with every other opener and asks the file's security */         \
  /* whether this user may write it, so it never stands in a controller's way. */ \
  SYSTEM(CreateFileW)                                                             \
  SYSTEM(ReadFile)                                                                \
  SYSTEM(GetFileAttributesW)                                                      \
  SYSTEM(GetFileSecurityW)                                                        \
  SYSTEM(OpenProcessToken)                                                        \
  SYSTEM(DuplicateToken)                                                          \
  SYSTEM(AccessCheck)                                                             \
                                                                                  \
  /* C runtime files. */                                                          \
  CRT(access, AccessFn, CrtAccess, "_access")                                     \
  CRT(fopen_s, FopenFn, CrtFopen, "fopen_s")                                      \
  CRT(printText, PrintTextFn, CrtPrintText, "fprintf")                            \
  CRT(scanToken, ScanTokenFn, CrtScanToken, "fscanf_s")                           \
  CRT(fclose, FcloseFn, CrtFclose, "fclose")                                      \
                                                                                  \
  /* Sessions and processes, for the diagnostic: every signed-in user's */        \
  /* session, whether a controller runs in it and whether that user turned */     \
  /* Lumarest off (wtsapi32 resolved from System32 at first use); and who */      \
  /* started the diagnostic, to know whether a person is looking at its */        \
  /* console. */                                                                  \
  LATE(WTSEnumerateSessionsW, LateEnumerateSessions)                              \
  LATE(WTSFreeMemory, LateFreeSessionMemory)                                      \
  SYSTEM(WTSGetActiveConsoleSessionId)                                            \
  LATE(WTSQuerySessionInformationW, QuerySessionInformation)                      \
  LATE(WTSQueryUserToken, LateQueryUserToken)                                     \
  SYSTEM(GetTokenInformation)                                                     \
  SYSTEM(ConvertSidToStringSidW)                                                  \
  SYSTEM(LocalFree)                                                               \
  SYSTEM(GetCurrentProcessId)                                                     \
  SYSTEM(ProcessIdToSessionId)                                                    \
  SYSTEM(CreateToolhelp32Snapshot)                                                \
  SYSTEM(Process32FirstW)                                                         \
  SYSTEM(Process32NextW)                                                          \
  SYSTEM(OpenProcess)                                                             \
  SYSTEM(QueryFullProcessImageNameW)                                              \
  SYSTEM(GetProcessTimes)                                                         \
  SYSTEM(GetSystemWindowsDirectoryW)                                              \
  SYSTEM(GetStdHandle)                                                            \
  SYSTEM(GetConsoleMode)                                                          \
  SYSTEM(GetConsoleProcessList)

// clang-format on

struct OsCalls {
#define LUMAREST_MEMBER(name) decltype(&::name) name;
#define LUMAREST_LATE_MEMBER(name, real) decltype(&::name) name;
#define LUMAREST_CRT_MEMBER(member, type, real, logged) type member;
  LUMAREST_OS_CALLS(LUMAREST_MEMBER, LUMAREST_LATE_MEMBER, LUMAREST_CRT_MEMBER)
#undef LUMAREST_MEMBER
#undef LUMAREST_LATE_MEMBER
#undef LUMAREST_CRT_MEMBER
};

// The name each call has in the fakes' call log: the platform function's.
struct OsCallNames {
#define LUMAREST_NAME(name) const char* name = #name;
#define LUMAREST_LATE_NAME(name, real) const char* name = #name;
#define LUMAREST_CRT_NAME(member, type, real, logged) const char* member = logged;
  LUMAREST_OS_CALLS(LUMAREST_NAME, LUMAREST_LATE_NAME, LUMAREST_CRT_NAME)
#undef LUMAREST_NAME
#undef LUMAREST_LATE_NAME
#undef LUMAREST_CRT_NAME
};
inline constexpr OsCallNames kOsCallNames{};

extern OsCalls os;
extern const OsCalls realOs;
