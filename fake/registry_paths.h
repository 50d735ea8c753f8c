// The two registry keys the controller reads, under HKEY_LOCAL_MACHINE,
// written out here for the test side on their own rather than taken from the
// controller, so that a wrong path in the controller makes the tests fail.
#pragma once

#include <string>

inline const std::wstring kDisplayAdapterClassKey =
    L"SYSTEM\\ControlSet001\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}";
inline const std::wstring kPowerSchemesKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Power\\User\\Default\\PowerSchemes";
