// The one seam between the controller and the outside world.
//
// Every call that touches the window system, the kernel, the session
// notifications, the registry, COM/WMI, the C runtime's files or the clock
// goes through the table `os`. It is filled with the real functions; tests
// and the simulated laptop replace entries (or wrap the real ones) to observe
// the calls, drive a virtual clock and inject failures. `realOs` keeps the
// real table so a double can pass a call through or restore the table.
//
// Member types are taken from the platform's own declarations, so the
// calling convention and argument types always match the real function.
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

struct OsCalls {
  // Loader and kernel.
  decltype(&::SetDefaultDllDirectories) SetDefaultDllDirectories;
  decltype(&::OpenMutexW) OpenMutexW;
  decltype(&::CreateMutexW) CreateMutexW;
  decltype(&::GetLastError) GetLastError;
  decltype(&::CloseHandle) CloseHandle;
  decltype(&::GetSystemPowerStatus) GetSystemPowerStatus;
  decltype(&::Sleep) Sleep;

  // Window system: start-up, window, loop and dialog.
  decltype(&::LoadStringW) LoadStringW;
  decltype(&::LoadIconW) LoadIconW;
  decltype(&::LoadCursorW) LoadCursorW;
  decltype(&::RegisterClassExW) RegisterClassExW;
  decltype(&::CreateWindowExW) CreateWindowExW;
  decltype(&::ShowWindow) ShowWindow;
  decltype(&::UpdateWindow) UpdateWindow;
  decltype(&::LoadAcceleratorsW) LoadAcceleratorsW;
  decltype(&::GetMessageW) GetMessageW;
  decltype(&::TranslateAcceleratorW) TranslateAcceleratorW;
  decltype(&::TranslateMessage) TranslateMessage;
  decltype(&::DispatchMessageW) DispatchMessageW;
  decltype(&::DefWindowProcW) DefWindowProcW;
  decltype(&::BeginPaint) BeginPaint;
  decltype(&::EndPaint) EndPaint;
  decltype(&::DialogBoxParamW) DialogBoxParamW;
  decltype(&::EndDialog) EndDialog;
  decltype(&::DestroyWindow) DestroyWindow;
  decltype(&::PostQuitMessage) PostQuitMessage;
  decltype(&::FindWindowW) FindWindowW;  // the diagnostic's look for a running controller
  // Whether the message being handled was sent by another thread and is
  // still unanswered, and the early answer to it.
  decltype(&::InSendMessageEx) InSendMessageEx;
  decltype(&::ReplyMessage) ReplyMessage;

  // Session notifications (wtsapi32, resolved from System32 at first use).
  decltype(&::WTSRegisterSessionNotification) WTSRegisterSessionNotification;
  decltype(&::WTSUnRegisterSessionNotification) WTSUnRegisterSessionNotification;

  // Display devices and modes.
  decltype(&::EnumDisplayDevicesW) EnumDisplayDevicesW;
  decltype(&::EnumDisplaySettingsW) EnumDisplaySettingsW;
  decltype(&::ChangeDisplaySettingsW) ChangeDisplaySettingsW;
  // The display configuration, for the diagnostic's look at Windows 11's
  // Dynamic refresh rate (user32, Windows 7 and later).
  decltype(&::GetDisplayConfigBufferSizes) GetDisplayConfigBufferSizes;
  decltype(&::QueryDisplayConfig) QueryDisplayConfig;

  // Registry, read only.
  decltype(&::RegOpenKeyExW) RegOpenKeyExW;
  decltype(&::RegQueryValueExW) RegQueryValueExW;
  decltype(&::RegEnumKeyExW) RegEnumKeyExW;
  decltype(&::RegGetValueW) RegGetValueW;
  decltype(&::RegCloseKey) RegCloseKey;
  // A power plan's name, for the diagnostic (powrprof, resolved from
  // System32 at first use).
  decltype(&::PowerReadFriendlyName) PowerReadFriendlyName;

  // COM and automation.
  decltype(&::CoInitializeEx) CoInitializeEx;
  decltype(&::CoInitializeSecurity) CoInitializeSecurity;
  decltype(&::CoCreateInstance) CoCreateInstance;
  decltype(&::CoSetProxyBlanket) CoSetProxyBlanket;
  decltype(&::CoUninitialize) CoUninitialize;
  decltype(&::SysAllocString) SysAllocString;
  decltype(&::SysFreeString) SysFreeString;
  decltype(&::VariantInit) VariantInit;
  decltype(&::VariantClear) VariantClear;

  // Files and their security, for the diagnostic: it reads the state files
  // sharing them with every other opener and asks the file's security
  // whether this user may write it, so it never stands in a controller's way.
  decltype(&::CreateFileW) CreateFileW;
  decltype(&::ReadFile) ReadFile;
  decltype(&::GetFileAttributesW) GetFileAttributesW;
  decltype(&::GetFileSecurityW) GetFileSecurityW;
  decltype(&::OpenProcessToken) OpenProcessToken;
  decltype(&::DuplicateToken) DuplicateToken;
  decltype(&::AccessCheck) AccessCheck;

  // C runtime files.
  AccessFn access;
  FopenFn fopen_s;
  PrintTextFn printText;
  ScanTokenFn scanToken;
  FcloseFn fclose;

  // Sessions and processes, for the diagnostic: every signed-in user's
  // session, whether a controller runs in it and whether that user turned
  // Lumarest off (wtsapi32 resolved from System32 at first use); and who
  // started the diagnostic, to know whether a person is looking at its
  // console.
  decltype(&::WTSEnumerateSessionsW) WTSEnumerateSessionsW;
  decltype(&::WTSFreeMemory) WTSFreeMemory;
  decltype(&::WTSGetActiveConsoleSessionId) WTSGetActiveConsoleSessionId;
  decltype(&::WTSQuerySessionInformationW) WTSQuerySessionInformationW;
  decltype(&::WTSQueryUserToken) WTSQueryUserToken;
  decltype(&::GetTokenInformation) GetTokenInformation;
  decltype(&::ConvertSidToStringSidW) ConvertSidToStringSidW;
  decltype(&::LocalFree) LocalFree;
  decltype(&::GetCurrentProcessId) GetCurrentProcessId;
  decltype(&::ProcessIdToSessionId) ProcessIdToSessionId;
  decltype(&::CreateToolhelp32Snapshot) CreateToolhelp32Snapshot;
  decltype(&::Process32FirstW) Process32FirstW;
  decltype(&::Process32NextW) Process32NextW;
  decltype(&::OpenProcess) OpenProcess;
  decltype(&::QueryFullProcessImageNameW) QueryFullProcessImageNameW;
  decltype(&::GetProcessTimes) GetProcessTimes;
  decltype(&::GetSystemWindowsDirectoryW) GetSystemWindowsDirectoryW;
  decltype(&::GetStdHandle) GetStdHandle;
  decltype(&::GetConsoleMode) GetConsoleMode;
  decltype(&::GetConsoleProcessList) GetConsoleProcessList;
};

extern OsCalls os;
extern const OsCalls realOs;
