// ExamineMachine: the controller's probes, run once, read only. Nothing here
// opens a file for writing, holds a state file beyond reading its bytes,
// writes the registry, changes the display mode or sends the controller a
// message.
#include "check/examination.h"

#include <cwchar>
#include <new>

#include "app/controller_state.h"
#include "check/power_plan_name.h"
#include "platform/hresult_error.h"
#include "platform/os_calls.h"
#include "platform/startup_approved.h"
#include "policy/rate_gate.h"
#include "policy/restore_decision.h"

namespace {

// The controller's window: its class name and title, string resources 109
// and 103 of lumarest.exe.
const wchar_t kControllerClass[] = L"LUMAREST";
const wchar_t kControllerTitle[] = L"Lumarest";

// Where the package registers the controller for every user's log-on. The
// package is 32-bit, so on 64-bit Windows the value lives in the 32-bit view.

// The observers keep what the probes tell them. They are told from inside
// the probes, which hold COM objects and registry keys meanwhile, so running
// out of memory here is only noted; it is raised once the probe has
// returned and given everything back.
struct Lists final : TopologyObserver, VideoControllerObserver, DriverKeyObserver {
  Examination& e;
  bool outOfMemory = false;
  explicit Lists(Examination& examination) : e(examination) {}

  template <class Keep>
  void Noting(Keep keep) noexcept {
    if (outOfMemory) return;
    try {
      keep();
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
    }
  }

  void Adapter(const AdapterRead& a) noexcept override {
    Noting([&] { e.adapters.push_back({std::wstring(a.description, a.length), a.intel, {}, 0}); });
  }
  void Monitor(const MonitorRead& m) noexcept override {
    Noting([&] {
      if (e.adapters.empty()) return;
      e.adapters.back().monitorFlags.push_back(m.stateFlags);
      if (m.active) ++e.adapters.back().activeMonitors;
    });
  }
  // Every Intel controller read overwrites the stored range, so the one
  // taken is the last Intel one.
  void Controller(const VideoControllerRead& c) noexcept override {
    Noting([&] {
      if (c.intel)
        for (VideoControllerSeen& earlier : e.controllers) earlier.taken = false;
      e.controllers.push_back({c.name != nullptr, c.name ? std::wstring(c.name, c.length) : std::wstring(), c.intel,
                               c.rawMin, c.rawMax, c.intel});
    });
  }
  void Key(const DriverKeyRead& k) noexcept override {
    Noting([&] {
      e.driverKeys.push_back({k.subkey, k.providerStatus, std::wstring(k.provider, k.providerLength), k.intel,
                              k.policyStatus, k.policy, k.intel && k.policyStatus == ERROR_SUCCESS});
    });
  }
  void RaiseIfOutOfMemory() const {
    if (outOfMemory) RaiseHresult(E_OUTOFMEMORY);
  }
};

void ReadPowerScheme(Examination& e) {
  HKEY schemes = nullptr;
  e.schemeStatus = OpenPowerSchemes(&schemes);
  if (e.schemeStatus != ERROR_SUCCESS) return;
  wchar_t scheme[kSchemeUnits];
  e.schemeStatus = QueryActivePowerScheme(schemes, scheme);
  os.RegCloseKey(schemes);
  if (e.schemeStatus != ERROR_SUCCESS) return;
  e.scheme.assign(scheme, wcsnlen(scheme, kSchemeUnits));
  e.exemptScheme = IsExemptPowerScheme(scheme);
  e.schemeName = PowerPlanName(e.scheme);
}

bool AutostartRegistered() {
  HKEY run = nullptr;
  if (os.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ | KEY_WOW64_32KEY, &run) != ERROR_SUCCESS)
    return false;
  const bool found = os.RegQueryValueExW(run, kRunValueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  os.RegCloseKey(run);
  return found;
}

bool Usable(const StateFileSeen& file) { return file.exists && file.read && file.writable; }

}  // namespace

const char* ConditionName(Condition condition) {
  switch (condition) {
    case Condition::kRateRange: return "rate_range";
    case Condition::kDcRateOffered: return "dc_rate_offered";
    case Condition::kPanelActive: return "panel_active";
    case Condition::kNoExternalDisplay: return "no_external_display";
    case Condition::kPowerScheme: return "power_scheme";
    case Condition::kDriverPolicy: return "driver_policy";
    case Condition::kStateFiles: return "state_files";
  }
  return "?";
}

ConditionKind KindOf(Condition condition) {
  switch (condition) {
    case Condition::kRateRange:
    case Condition::kDcRateOffered:
    case Condition::kDriverPolicy: return ConditionKind::kCapability;
    case Condition::kPanelActive:
    case Condition::kNoExternalDisplay:
    case Condition::kPowerScheme: return ConditionKind::kMoment;
    case Condition::kStateFiles: break;
  }
  return ConditionKind::kInstallation;
}

const char* KindName(ConditionKind kind) {
  switch (kind) {
    case ConditionKind::kCapability: return "capability";
    case ConditionKind::kMoment: return "moment";
    case ConditionKind::kInstallation: break;
  }
  return "installation";
}

bool Examination::Examined(Condition condition) const {
  if (condition == Condition::kDcRateOffered) return realRange;
  if (condition == Condition::kStateFiles) return !NothingInstalled();
  return true;
}

bool Examination::Holds(Condition condition) const {
  if (!Examined(condition)) return false;
  switch (condition) {
    case Condition::kRateRange: return realRange;
    case Condition::kDcRateOffered: return modes.Offers(dcRate);
    case Condition::kPanelActive: return panelActive;
    case Condition::kNoExternalDisplay: return !externalDisplay;
    case Condition::kPowerScheme: return schemeStatus == ERROR_SUCCESS && !exemptScheme;
    case Condition::kDriverPolicy: return driver.status == 0 && policyAllows;
    case Condition::kStateFiles: return Usable(acdcFile) && Usable(dcRefreshFile);
  }
  return false;
}

bool Examination::Qualifies() const {
  for (Condition c : kConditions)
    if (!Holds(c)) return false;
  return true;
}

bool Examination::Capable() const {
  for (Condition c : kConditions)
    if (KindOf(c) == ConditionKind::kCapability && !Holds(c)) return false;
  return true;
}

bool Examination::Installed() const { return Holds(Condition::kStateFiles) && autostart; }

const char* HealthName(Health health) {
  switch (health) {
    case Health::kHealthy: return "healthy";
    case Health::kNotInstalled: return "not_installed";
    case Health::kInstallationBroken: return "installation_broken";
    case Health::kControllerMissing: break;
  }
  return "controller_missing";
}

Health Examination::HealthValue() const {
  if (NothingInstalled()) return Health::kNotInstalled;
  if (!Installed()) return Health::kInstallationBroken;
  // A docked, closed or out-of-scope laptop is healthy: what counts is that
  // each user who wants a controller has one. A session this account could
  // not read, or sessions that could not even be listed, are not taken for
  // healthy.
  if (!sessions.listed) return Health::kControllerMissing;
  for (const SessionSeen& s : sessions.sessions)
    if (s.MissesController()) return Health::kControllerMissing;
  return Health::kHealthy;
}

bool Examination::NothingInstalled() const { return !acdcFile.exists && !dcRefreshFile.exists && !autostart; }

Examination ExamineMachine() {
  // The probes read and write the controller's record. They run on a
  // zero-filled one, as in a controller that has just started (the range
  // discovery's stop rule looks at the stored range); the caller's record
  // is put back afterwards, on every path.
  struct FreshRecord {
    ControllerState saved = controllerState;
    FreshRecord() { controllerState = {}; }
    ~FreshRecord() { controllerState = saved; }
  } fresh;

  Examination e;

  Lists lists(e);
  e.externalDisplay = ProbeExternalDisplay(&lists);
  lists.RaiseIfOutOfMemory();
  e.wmiResult = DiscoverRefreshRange(&lists);
  lists.RaiseIfOutOfMemory();
  e.dcRate = controllerState.dcRate;
  e.acRate = controllerState.acRate;
  e.realRange = RatesSpanARealRange(e.acRate, e.dcRate);
  e.modes = ReadPanelModes();
  e.dynamicRefresh = ReadDynamicRefresh();
  e.panelActive = IsPrimaryPanelActive();

  ReadPowerScheme(e);
  e.driver = ReadDriverPowerPolicy(&lists);
  lists.RaiseIfOutOfMemory();
  e.policyAllows = e.driver.status == 0 && PolicyAllowsSwitch(e.driver.policy);

  e.acdcFile = LookAtStateFile(StateFile::kAcdc);
  e.dcRefreshFile = LookAtStateFile(StateFile::kDcRefresh);
  if (e.MarksRead()) e.due = SwitchIsDue(e.acdcFile.mark, e.dcRefreshFile.mark);

  e.power = ReadPowerSource();
  e.controllerRunning = os.FindWindowW(kControllerClass, kControllerTitle) != nullptr;
  e.autostart = AutostartRegistered();
  e.sessions = LookAtSessions();
  return e;
}
