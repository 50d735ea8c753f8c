// The active power scheme and the exempt one. While the exempt scheme is
// active the battery-time decision stands aside.
#pragma once

#include <windows.h>

constexpr DWORD kSchemeUnits = 260;

// The exempt scheme, as "ActivePowerScheme" holds it.
inline constexpr wchar_t kExemptPowerScheme[] = L"6fecc5ae-f350-48a5-b669-b472cb895ccf";

// Opens HKEY_LOCAL_MACHINE\...\Power\User\Default\PowerSchemes for reading.
LSTATUS OpenPowerSchemes(HKEY* key);

// Reads "ActivePowerScheme" into a zero-filled buffer; the value may take
// half of it at most, so the text always ends in zeros.
LSTATUS QueryActivePowerScheme(HKEY key, wchar_t (&scheme)[kSchemeUnits]);

// Exact, case-sensitive, untrimmed comparison with the exempt scheme's GUID.
bool IsExemptPowerScheme(const wchar_t (&scheme)[kSchemeUnits]);
