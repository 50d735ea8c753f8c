// ExamineMachine: the controller's probes, run once, read only. Nothing here
// opens a state file for writing in a way that could change it, writes the
// registry, changes the display mode or sends the controller a message.
#include "check/examination.h"

#include <cwchar>
#include <new>

#include "app/controller_state.h"
#include "display/adapter.h"
#include "platform/hresult_error.h"
#include "platform/os_calls.h"
#include "policy/rate_gate.h"
#include "policy/restore_decision.h"
#include "policy/state_files.h"

namespace {

// The controller's window: its class name and title, string resources 109
// and 103 of lumarest.exe.
const wchar_t kControllerClass[] = L"LUMAREST";
const wchar_t kControllerTitle[] = L"Lumarest";

// Where the package registers the controller for every user's log-on. The
// package is 32-bit, so on 64-bit Windows the value lives in the 32-bit view.
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValue[] = L"Lumarest";

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

  void Adapter(const wchar_t* description, std::size_t length, bool intel) noexcept override {
    Noting([&] { e.adapters.push_back({std::wstring(description, length), intel, {}, 0}); });
  }
  void Monitor(DWORD stateFlags, bool active) noexcept override {
    Noting([&] {
      if (e.adapters.empty()) return;
      e.adapters.back().monitorFlags.push_back(stateFlags);
      if (active) ++e.adapters.back().activeMonitors;
    });
  }
  void Controller(const wchar_t* name, std::size_t length, bool intel, std::uint32_t rawMin, std::uint32_t rawMax,
                  bool kept) noexcept override {
    Noting([&] {
      if (kept)
        for (VideoControllerSeen& earlier : e.controllers) earlier.matched = false;
      e.controllers.push_back({name != nullptr, name ? std::wstring(name, length) : std::wstring(), intel, rawMin,
                               rawMax, kept});
    });
  }
  void Key(const wchar_t* subkey, LSTATUS providerStatus, const wchar_t* provider, std::size_t providerLength,
           bool intel, LSTATUS policyStatus, std::uint32_t policy, bool used) noexcept override {
    Noting([&] {
      e.driverKeys.push_back({subkey, providerStatus, std::wstring(provider, providerLength), intel, policyStatus,
                              policy, used});
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
}

StateFileSeen LookAtStateFile(StateFile file) {
  StateFileSeen seen;
  seen.path = StateFilePath(file);
  seen.exists = StateFileExists(file);
  seen.writable = seen.exists && StateFileOpensForWriting(file);
  return seen;
}

bool AutostartRegistered() {
  HKEY run = nullptr;
  if (os.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ | KEY_WOW64_32KEY, &run) != ERROR_SUCCESS)
    return false;
  const bool found = os.RegQueryValueExW(run, kRunValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  os.RegCloseKey(run);
  return found;
}

}  // namespace

const char* ConditionName(Condition condition) {
  switch (condition) {
    case Condition::kRateRange: return "rate_range";
    case Condition::kPanelActive: return "panel_active";
    case Condition::kNoExternalDisplay: return "no_external_display";
    case Condition::kPowerScheme: return "power_scheme";
    case Condition::kDriverPolicy: return "driver_policy";
    case Condition::kStateFiles: return "state_files";
  }
  return "?";
}

bool Examination::Holds(Condition condition) const {
  switch (condition) {
    case Condition::kRateRange: return realRange;
    case Condition::kPanelActive: return panelActive;
    case Condition::kNoExternalDisplay: return !externalDisplay;
    case Condition::kPowerScheme: return schemeStatus == ERROR_SUCCESS && !exemptScheme;
    case Condition::kDriverPolicy: return driver.status == 0 && policyAllows;
    case Condition::kStateFiles:
      return acdcFile.writable && dcRefreshFile.writable && marksRead;
  }
  return false;
}

bool Examination::Qualifies() const {
  for (Condition c : kConditions)
    if (!Holds(c)) return false;
  return true;
}

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
  e.panelActive = IsPrimaryPanelActive();

  ReadPowerScheme(e);
  e.driver = ReadDriverPowerPolicy(&lists);
  lists.RaiseIfOutOfMemory();
  e.policyAllows = e.driver.status == 0 && PolicyAllowsSwitch(e.driver.policy);

  e.acdcFile = LookAtStateFile(StateFile::kAcdc);
  e.dcRefreshFile = LookAtStateFile(StateFile::kDcRefresh);
  e.marksRead = ReadStateMarks();
  if (e.marksRead) {
    e.acdcMark[0] = controllerState.acdcMark[0];
    e.dcRefreshMark[0] = controllerState.dcRefreshMark[0];
    e.due = SwitchIsDue(e.acdcMark, e.dcRefreshMark);
  }

  e.power = ReadPowerSource();
  DISPLAY_DEVICEW adapter;
  DEVMODEW mode;
  if (ReadFirstAdapter(&adapter) && ReadCurrentMode(adapter, &mode)) e.currentRate = mode.dmDisplayFrequency;

  e.controllerRunning = os.FindWindowW(kControllerClass, kControllerTitle) != nullptr;
  e.autostart = AutostartRegistered();
  return e;
}
