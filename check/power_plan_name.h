// The name Power Options shows for a power plan, so that the report names
// the active plan as its owner knows it, beside its GUID.
#pragma once

#include <string>

// The plan's friendly name (PowerReadFriendlyName), or empty when the GUID
// text cannot be read as a GUID or Windows gives no name.
std::wstring PowerPlanName(const std::wstring& schemeGuid);
