// The starter's seam: every call the installer's start of the controllers
// makes to the outside world (sessions, tokens, environment blocks, process
// creation, the registry, Windows Installer's own handle) goes through the
// table `starterOs`, filled with the real functions. Tests replace entries
// to give sessions, users and failures a real machine would not, and keep a
// ledger of what was obtained and given back. `realStarterOs` keeps the real
// table.
//
// The same shape as the controller's seam (platform/os_calls.h), kept apart
// because the starter is a DLL of its own that the controller never loads.
#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <sddl.h>
#include <userenv.h>
#include <wtsapi32.h>

struct StarterOs {
  // Sessions (wtsapi32 and kernel32).
  decltype(&::WTSEnumerateSessionsW) WTSEnumerateSessionsW;
  decltype(&::WTSFreeMemory) WTSFreeMemory;
  decltype(&::WTSGetActiveConsoleSessionId) WTSGetActiveConsoleSessionId;
  decltype(&::WTSQueryUserToken) WTSQueryUserToken;

  // The signed-in user: the token's SID, as text for HKEY_USERS.
  decltype(&::GetTokenInformation) GetTokenInformation;
  decltype(&::ConvertSidToStringSidW) ConvertSidToStringSidW;
  decltype(&::LocalFree) LocalFree;

  // The user's environment and the process started with it (userenv,
  // advapi32, kernel32).
  decltype(&::CreateEnvironmentBlock) CreateEnvironmentBlock;
  decltype(&::DestroyEnvironmentBlock) DestroyEnvironmentBlock;
  decltype(&::CreateProcessAsUserW) CreateProcessAsUserW;
  decltype(&::CloseHandle) CloseHandle;
  decltype(&::GetLastError) GetLastError;
  // Whether Windows Installer runs the action inside a job object, whose
  // members would include what the action starts.
  decltype(&::IsProcessInJob) IsProcessInJob;

  // Registry, read only: the Startup apps records.
  decltype(&::RegOpenKeyExW) RegOpenKeyExW;
  decltype(&::RegQueryValueExW) RegQueryValueExW;
  decltype(&::RegCloseKey) RegCloseKey;

  // Windows Installer: the action's data and its log.
  decltype(&::MsiGetPropertyW) MsiGetPropertyW;
  decltype(&::MsiCreateRecord) MsiCreateRecord;
  decltype(&::MsiRecordSetStringW) MsiRecordSetStringW;
  decltype(&::MsiProcessMessage) MsiProcessMessage;
  decltype(&::MsiCloseHandle) MsiCloseHandle;
};

extern StarterOs starterOs;
extern const StarterOs realStarterOs;
