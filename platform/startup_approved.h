// Task Manager's (and Settings') Startup apps switch for the package's Run
// value: one rule, read by the installer's start of the controllers
// (starter/) and by lumarest-check (check/).
//
// Explorer runs the machine's Run values at each sign-in, except those the
// user has turned off: it keeps that choice beside the Run value, as a
// binary record of the same name under Explorer\StartupApproved. Whoever
// asks whether a user's controller should run asks it here, so that the
// installer and the diagnostic can never disagree about a user.
//
// The registry is read through the caller's own seam (the starter's and the
// controller's tables are kept apart), passed in as three calls. Nothing
// here allocates or throws: the starter calls it while it holds a token.
#pragma once

#include <windows.h>

// The package's Run value under HKEY_LOCAL_MACHINE (in the 32-bit view on
// 64-bit Windows: the package is 32-bit), and the name of its Startup apps
// record.
inline constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunValueName[] = L"Lumarest";

// The three registry calls the rule makes, from the caller's seam.
struct StartupRegistry {
  decltype(&::RegOpenKeyExW) RegOpenKeyExW;
  decltype(&::RegQueryValueExW) RegQueryValueExW;
  decltype(&::RegCloseKey) RegCloseKey;
};

// Whether a record's bytes say "turned off": a binary value whose first byte
// is odd (03 as Task Manager writes it; 02 and 06 are seen for "on"). A
// value of another type, or an empty one, is no record.
bool RecordSaysTurnedOff(DWORD type, const BYTE* data, DWORD size);

// Whether the user with this SID (text form) has turned Lumarest off, in
// their own hive (HKEY_USERS\<SID>) or for the machine (HKEY_LOCAL_MACHINE).
// No record, or none that can be read, means on, as at a sign-in. A null
// SID looks at the machine's records only.
bool StartupTurnedOff(const StartupRegistry& registry, const wchar_t* userSid);
