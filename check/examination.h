// What lumarest-check finds on this machine: the facts behind each of the
// seven conditions the controller needs before it switches the panel on
// battery, and the facts around them. Everything is found with the
// controller's own probes and judged with the controller's own tests; the
// examination only reads.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "check/dynamic_refresh.h"
#include "check/panel_modes.h"
#include "check/sessions.h"
#include "check/state_file_look.h"
#include "discovery/driver_policy.h"
#include "discovery/refresh_range.h"
#include "display/topology.h"
#include "policy/power_scheme.h"
#include "policy/power_source.h"

enum class Condition {
  kRateRange,
  kDcRateOffered,
  kPanelActive,
  kNoExternalDisplay,
  kPowerScheme,
  kDriverPolicy,
  kStateFiles
};

inline constexpr Condition kConditions[] = {Condition::kRateRange,     Condition::kDcRateOffered,
                                            Condition::kPanelActive,   Condition::kNoExternalDisplay,
                                            Condition::kPowerScheme,   Condition::kDriverPolicy,
                                            Condition::kStateFiles};

// What a condition is about: what this laptop and its driver allow, the
// moment (lid, dock, power plan), or whether Lumarest is installed.
enum class ConditionKind { kCapability, kMoment, kInstallation };

// The names in the report and in the JSON: rate_range, ...; capability, ...
const char* ConditionName(Condition condition);
ConditionKind KindOf(Condition condition);
const char* KindName(ConditionKind kind);

// The fleet's one answer about this installation (the JSON's "health", the
// --health line): installed, and every signed-in user who has not turned
// Lumarest off has a controller. Whether the laptop can be switched at all
// (`capable`) and whether it would switch now (`qualifies`) are separate.
enum class Health { kHealthy, kNotInstalled, kInstallationBroken, kControllerMissing };
const char* HealthName(Health health);  // healthy, not_installed, installation_broken, controller_missing

// What the probes told their observers, up to where each stopped.
struct VideoControllerSeen {
  bool nameIsText = false;   // "Name" was a string
  std::wstring name;         // its UTF-16 units as WMI gave them
  bool intel = false;        // passed the vendor test (its rates were read)
  std::uint32_t rawMin = 0;  // the rates as the discovery took them
  std::uint32_t rawMax = 0;
  bool taken = false;        // its rates are the stored range
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
  bool taken = false;  // the value the scan returns
};

struct Examination {
  // rate_range: the discovery as a fresh controller runs it.
  HRESULT wmiResult = S_OK;
  std::vector<VideoControllerSeen> controllers;
  std::int32_t dcRate = 0;
  std::int32_t acRate = 0;
  bool realRange = false;

  // dc_rate_offered: the modes adapter 0 lists.
  PanelModes modes;

  // panel_active and no_external_display.
  bool panelActive = false;
  std::vector<AdapterSeen> adapters;
  bool externalDisplay = false;

  // power_scheme.
  LSTATUS schemeStatus = ERROR_SUCCESS;
  std::wstring scheme;
  std::wstring schemeName;  // as Power Options shows it; empty when Windows gives none
  bool exemptScheme = false;

  // driver_policy.
  DriverPolicyResult driver = {};
  std::vector<DriverKeySeen> driverKeys;
  bool policyAllows = false;

  // state_files, and the marks they hold.
  StateFileSeen acdcFile, dcRefreshFile;
  bool due = false;  // the mark table says a switch is due at the next battery decision

  // Around the conditions.
  PowerSource power = PowerSource::kUnreadable;
  DynamicRefreshSeen dynamicRefresh;
  bool controllerRunning = false;  // a controller's window on this process's own desktop
  bool autostart = false;

  // Every signed-in user's session, as far as this account can see them.
  SessionsSeen sessions;

  std::optional<DWORD> CurrentRate() const {
    return modes.read ? std::optional<DWORD>(modes.currentRate) : std::nullopt;
  }
  // The controller reads both files or neither.
  bool MarksRead() const { return acdcFile.read && dcRefreshFile.read; }
  // dc_rate_offered needs a DC rate, and without a range there is none;
  // state_files needs an installation, and before one there is nothing to
  // find wrong with them.
  bool Examined(Condition condition) const;
  bool Holds(Condition condition) const;  // false for a condition not examined
  bool Fails(Condition condition) const { return Examined(condition) && !Holds(condition); }
  bool Qualifies() const;  // every condition holds
  bool Capable() const;    // every capability condition holds
  bool Installed() const;  // both state files usable and the autostart value registered
  bool NothingInstalled() const;  // neither state file, nor the autostart value
  Health HealthValue() const;
};

// Runs the probes in the order the controller does: topology, range, panel,
// then what the battery-time decision reads. Raises the controller's
// out-of-memory exception when a string cannot be made.
Examination ExamineMachine();
