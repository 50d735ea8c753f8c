// What lumarest-check finds on this machine: the facts behind each of the
// six conditions the controller needs before it switches the panel on
// battery, and the facts around them. Everything is found with the
// controller's own probes and judged with the controller's own tests; the
// examination only reads.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "discovery/driver_policy.h"
#include "discovery/refresh_range.h"
#include "display/topology.h"
#include "policy/power_scheme.h"
#include "policy/power_source.h"

enum class Condition { kRateRange, kPanelActive, kNoExternalDisplay, kPowerScheme, kDriverPolicy, kStateFiles };

// What the probes saw, as their observers were told it.
struct VideoControllerSeen {
  bool nameIsText = false;   // "Name" was a string
  std::wstring name;         // its UTF-16 units as WMI gave them
  bool intel = false;        // passed the vendor test
  std::uint32_t rawMin = 0;  // the rates as the discovery takes them
  std::uint32_t rawMax = 0;
  bool matched = false;      // its rates are the ones the discovery kept
};

struct AdapterSeen {
  std::wstring description;         // DeviceString, as the vendor test saw it
  bool intel = false;               // passed the vendor test
  std::vector<DWORD> monitorFlags;  // StateFlags of each monitor listed, in order
  std::int32_t activeMonitors = 0;  // of them, the ones that count as active
};

struct DriverKeySeen {
  std::wstring subkey;
  LSTATUS providerStatus = ERROR_SUCCESS;
  std::wstring provider;
  bool intel = false;
  LSTATUS policyStatus = ERROR_FILE_NOT_FOUND;
  std::uint32_t policy = 0;
  bool used = false;  // the value the scan returns
};

inline constexpr Condition kConditions[] = {Condition::kRateRange,         Condition::kPanelActive,
                                            Condition::kNoExternalDisplay, Condition::kPowerScheme,
                                            Condition::kDriverPolicy,      Condition::kStateFiles};

// The condition's name in the report and in the JSON: rate_range, ...
const char* ConditionName(Condition condition);

struct StateFileSeen {
  std::string path;
  bool exists = false;
  bool writable = false;  // this user may open it for writing
};

struct Examination {
  // rate_range: the discovery as a fresh controller runs it.
  HRESULT wmiResult = S_OK;
  std::vector<VideoControllerSeen> controllers;
  std::int32_t dcRate = 0;
  std::int32_t acRate = 0;
  bool realRange = false;

  // panel_active and no_external_display.
  bool panelActive = false;
  std::vector<AdapterSeen> adapters;
  bool externalDisplay = false;

  // power_scheme.
  LSTATUS schemeStatus = ERROR_SUCCESS;
  std::wstring scheme;
  bool exemptScheme = false;

  // driver_policy.
  DriverPolicyResult driver = {};
  std::vector<DriverKeySeen> driverKeys;
  bool policyAllows = false;

  // state_files, and the marks they hold.
  StateFileSeen acdcFile, dcRefreshFile;
  bool marksRead = false;
  char acdcMark[2] = {};
  char dcRefreshMark[2] = {};
  bool due = false;  // the mark table says a switch is due at the next battery decision

  // Around the conditions.
  PowerSource power = PowerSource::kUnknown;
  std::optional<DWORD> currentRate;  // adapter 0's current mode
  bool controllerRunning = false;
  bool autostart = false;

  bool Holds(Condition condition) const;
  bool Qualifies() const;  // all six hold
};

// Runs the probes in the order the controller does: topology, range, panel,
// then what the battery-time decision reads. Raises the controller's
// out-of-memory exception when a string cannot be made.
Examination ExamineMachine();
