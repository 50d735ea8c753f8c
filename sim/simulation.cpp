// The simulated laptop's engine: the machine described, the controller
// started through its real entry point, the events and checks played from
// inside its message loop, and the timeline printed.
#include "sim/simulation.h"

#include <cstdio>
#include <fstream>
#include <iomanip>
#include <set>
#include <sstream>

#include "app/controller_state.h"
#include "app/resources/resource.h"
#include "check/report.h"
#include "check/text_encoding.h"
#include "fake/registry_paths.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);

namespace {

Simulation* running = nullptr;

const char kBalancedScheme[] = "381b4222-f694-41f0-9685-ff5bb260df2e";

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '"') out += "\\\"";
    else if (c == '\\') out += "\\\\";
    else if (c < 0x20 || c >= 0x7f) { char b[8]; snprintf(b, sizeof b, "\\x%02x", c); out += b; }
    else out += static_cast<char>(c);
  }
  return out + "\"";
}

std::string Seconds(std::uint64_t ms) {
  char b[32];
  snprintf(b, sizeof b, "%7llu.%03llu s", static_cast<unsigned long long>(ms / 1000),
           static_cast<unsigned long long>(ms % 1000));
  return b;
}

}  // namespace

BOOL WINAPI SimulatedGetMessageW(LPMSG message, HWND window, UINT first, UINT last) {
  Simulation& sim = *running;
  for (;;) {
    MSG pending;
    if (PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE)) return realOs.GetMessageW(message, window, first, last);
    // The queue is empty: whatever was delivered has been handled to its end.
    sim.EndOfEvent();
    if (!sim.DeliverNextEvent()) {
      // The scenario is over; the controller ends the way a user ends it.
      sim.inFlightName_ = "(end of scenario) exit";
      sim.eventFirstCall_ = sim.fake_.calls.size();
      sim.eventFirstSwitch_ = sim.fake_.display.submittedModes.size();
      PostMessageW(sim.window_, WM_COMMAND, CMD_EXIT, 0);
    }
  }
}

HWND WINAPI SimulatedCreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x,
                                     int y, int width, int height, HWND parent, HMENU menu,
                                     HINSTANCE instance, LPVOID param) {
  HWND window = realOs.CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent,
                                       menu, instance, param);
  running->window_ = window;
  return window;
}

Simulation::Simulation(std::vector<Statement> statements, std::ostream& timeline, bool verbose)
    : statements_(std::move(statements)), out_(timeline), verbose_(verbose), fake_(FakeLaptop::kHardware) {
  running = this;
  controllerState = {};
  fake_.files.scratchFolder = MakeScratchFolder("sim");
  fake_.RemoveFile("lasttimeACDC.txt");
  fake_.RemoveFile("lasttimeDCRefresh.txt");
  // The machine until the scenario says otherwise: one Intel adapter with
  // the panel, 60 Hz, mains, the Balanced scheme, no Intel driver key.
  fake_.SetString(kPowerSchemesKey, L"ActivePowerScheme", Wide(kBalancedScheme));
  // Windows' own names of its plans; a maker's plan has none here.
  fake_.registry.powerPlanNames[Wide(kBalancedScheme)] = L"Balanced";
  fake_.registry.powerPlanNames[L"8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c"] = L"High performance";
  fake_.registry.powerPlanNames[L"a1841308-3541-4fab-bc81-f71556f20b4a"] = L"Power saver";
  fake_.Key(kDisplayAdapterClassKey);
  os.GetMessageW = SimulatedGetMessageW;
  os.CreateWindowExW = SimulatedCreateWindowExW;
  // The controller's own switch: the WM_DISPLAYCHANGE comes from its own
  // thread, inside ChangeDisplaySettingsW, with no other thread waiting.
  fake_.display.onModeChange = [this] {
    if (window_)
      fake_.HandleSentMessage(false, [this] {
        SendMessageW(window_, WM_DISPLAYCHANGE, fake_.display.mode.bitsPerPixel,
                     MAKELPARAM(fake_.display.mode.width, fake_.display.mode.height));
      });
  };
  if (verbose_)
    fake_.onCall = [this](const FakeCall& c) {
      out_ << "            " << Seconds(c.at) << "  " << c.name << (c.detail.empty() ? "" : " ") << c.detail << "\n";
    };
}

Simulation::~Simulation() { running = nullptr; }

void Simulation::Describe(const Statement& s) {
  switch (s.kind) {
    case Kind::kVideoController:
      // WMI reports uint32 properties as VT_I4.
      fake_.wmi.controllers.push_back(
          {FakeProperty::Text(Wide(s.text)),
           s.max ? FakeProperty::Int(static_cast<std::int32_t>(*s.max)) : FakeProperty::Null(),
           s.min ? FakeProperty::Int(static_cast<std::int32_t>(*s.min)) : FakeProperty::Null(),
           s.externalMax ? std::optional(FakeProperty::Int(static_cast<std::int32_t>(*s.externalMax))) : std::nullopt,
           s.externalMin ? std::optional(FakeProperty::Int(static_cast<std::int32_t>(*s.externalMin))) : std::nullopt});
      break;
    case Kind::kWmiFail: fake_.wmi.queryFails = true; break;
    case Kind::kAdapter: {
      if (!adaptersDescribed_) fake_.display.adapters.clear();
      adaptersDescribed_ = true;
      FakeAdapter a{Wide(s.text), {}};
      for (std::uint64_t f : s.numbers) a.monitorFlags.push_back(static_cast<DWORD>(f));
      fake_.display.adapters.push_back(a);
      break;
    }
    case Kind::kPanel:
      fake_.display.acceptedRates.clear();
      for (std::uint64_t r : s.numbers) fake_.display.acceptedRates.push_back(static_cast<DWORD>(r));
      fake_.display.mode.rate = static_cast<DWORD>(*s.min);
      if (s.width) fake_.display.mode.width = static_cast<DWORD>(*s.width);
      if (s.height) fake_.display.mode.height = static_cast<DWORD>(*s.height);
      if (s.bitsPerPixel) fake_.display.mode.bitsPerPixel = static_cast<DWORD>(*s.bitsPerPixel);
      // Either word makes it Windows 11, whose display configuration
      // knows virtual refresh rates.
      fake_.display.virtualRefreshRateAware = s.dynamic || s.physical.has_value();
      fake_.display.dynamicRefresh = s.dynamic;
      fake_.display.physicalRate = s.physical ? static_cast<DWORD>(*s.physical) : 0;
      break;
    case Kind::kDriver: {
      wchar_t name[8];
      swprintf(name, 8, L"%04d", driverCount_++);
      const std::wstring key = kDisplayAdapterClassKey + L"\\" + name;
      FakeRegistryKey& k = fake_.Key(key);
      k.unreadable = s.unreadable;
      if (!s.noProvider) fake_.SetString(key, L"ProviderName", Wide(s.text));
      if (s.policy) fake_.SetDword(key, L"DCUserPreferencePolicy", *s.policy);
      if (s.policyQword) {
        std::vector<BYTE> q(8);
        for (int i = 0; i < 8; ++i) q[i] = static_cast<BYTE>(*s.policyQword >> (8 * i));
        fake_.SetValue(key, L"DCUserPreferencePolicy", REG_QWORD, q);
      }
      if (s.policyBinary)
        fake_.SetValue(key, L"DCUserPreferencePolicy", REG_BINARY,
                       std::vector<BYTE>(s.policyBinary->begin(), s.policyBinary->end()));
      break;
    }
    case Kind::kDriverClassMissing: fake_.RemoveKey(kDisplayAdapterClassKey); break;
    case Kind::kScheme: fake_.SetString(kPowerSchemesKey, L"ActivePowerScheme", Wide(s.text)); break;
    case Kind::kSchemeMissing: fake_.Key(kPowerSchemesKey).values.clear(); break;
    case Kind::kPower:
      fake_.power.powerStatusFails = s.text == "fail";
      fake_.power.acLineStatus = s.text == "ac" ? 1 : s.text == "battery" ? 0 : 255;
      break;
    case Kind::kAutostart:
      // The package's sign-in entry, in the view a 32-bit package writes.
      fake_.SetString(L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"Lumarest",
                      L"\"C:\\Program Files (x86)\\Kelvane\\Lumarest\\lumarest.exe\"");
      break;
    case Kind::kSignedIn:
      fake_.SignIn(static_cast<DWORD>(s.numbers[0]), Wide(s.text), s.controller, s.turnedOff);
      signedIn1_ = signedIn1_ || s.numbers[0] == 1;
      break;
    case Kind::kFolder:
      if (s.text == "read-only") {
        fake_.files.folderReadOnly = true;
      } else {
        fake_.files.scratchFolder += "\\missing";  // a folder nobody creates
      }
      break;
    default: break;
  }
}

void Simulation::ApplyFile(const Statement& s) {
  if (s.kind == Kind::kFileLocked) {
    fake_.files.lockedUntil[s.text] = fake_.now + s.numbers[0];
    return;
  }
  if (s.kind == Kind::kFileAttribute) {
    fake_.files.fileAttributes[s.text] |= static_cast<DWORD>(s.numbers[0]);
    return;
  }
  if (s.fileState == FileState::kAbsent) fake_.RemoveFile(s.text);
  else fake_.SetFile(s.text, s.fileState == FileState::kEmpty ? std::string() : s.fileText);
}

std::string Simulation::FileText(const std::string& name) const {
  const std::optional<std::string> content = fake_.FileContent(name);
  if (!content) return "absent";
  if (content->empty()) return "empty";
  return Quoted(*content);
}

void Simulation::EndOfEvent() {
  if (inFlightName_.empty()) return;
  std::ostringstream switched;
  for (std::size_t i = eventFirstSwitch_; i < fake_.display.submittedModes.size(); ++i)
    switched << (i > eventFirstSwitch_ ? ", " : "") << "to " << fake_.display.submittedModes[i].dmDisplayFrequency << " Hz";
  std::string name = inFlightName_;
  if (name.size() > 28) name = name.substr(0, 27) + "~";
  out_ << Seconds(fake_.now) << "  " << std::left << std::setw(28) << name << std::right << std::setw(4)
       << fake_.display.mode.rate << " Hz  " << std::left << std::setw(14) << FileText("lasttimeACDC.txt")
       << std::setw(14) << FileText("lasttimeDCRefresh.txt") << std::right << std::setw(6)
       << fake_.SleptSince(eventFirstCall_) << " ms  " << (switched.str().empty() ? "-" : switched.str())
       << "\n";
  inFlightName_.clear();
}

bool Simulation::DeliverNextEvent() {
  while (next_ < statements_.size()) {
    const Statement& s = statements_[next_++];
    if (IsFileStatement(s.kind)) {
      ApplyFile(s);
    } else if (IsCheck(s.kind)) {
      Check(s);
    } else if (s.kind == Kind::kCheck) {
      RunCheck(s);  // nothing reaches the controller: on to the next line
    } else if (IsEvent(s.kind)) {
      Deliver(s);
      return true;
    }
  }
  return false;
}

void Simulation::Deliver(const Statement& s) {
  inFlightName_ = "line " + std::to_string(s.line) + " " + s.source;
  eventFirstCall_ = fake_.calls.size();
  eventFirstSwitch_ = fake_.display.submittedModes.size();
  eventStarts_.push_back(eventFirstCall_);
  // The broadcasts and notifications come as Windows delivers them: sent by
  // another thread (the one that changed the display, or another process),
  // which waits for the answer; the controller's thread handles them inside
  // its GetMessageW. Whether Windows sends or posts the session
  // notifications is not documented; sent is the stricter case. Exit is the
  // menu command, posted to the queue.
  const auto sendFromAnotherThread = [this](UINT message, WPARAM wParam, LPARAM lParam) {
    fake_.HandleSentMessage(true, [&] { SendMessageW(window_, message, wParam, lParam); });
  };
  const LPARAM resolution = MAKELPARAM(fake_.display.mode.width, fake_.display.mode.height);
  switch (s.kind) {
    case Kind::kUnplug:
    case Kind::kPlug:
      fake_.power.acLineStatus = s.kind == Kind::kPlug ? 1 : 0;
      fake_.power.powerStatusFails = false;
      sendFromAnotherThread(WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0);
      break;
    case Kind::kPowerEvent: sendFromAnotherThread(WM_POWERBROADCAST, static_cast<WPARAM>(s.numbers[0]), 0); break;
    case Kind::kSetRate:
      fake_.display.mode.rate = static_cast<DWORD>(s.numbers[0]);
      sendFromAnotherThread(WM_DISPLAYCHANGE, fake_.display.mode.bitsPerPixel, resolution);
      break;
    case Kind::kDisplayChange: sendFromAnotherThread(WM_DISPLAYCHANGE, fake_.display.mode.bitsPerPixel, resolution); break;
    case Kind::kAttach:
      fake_.display.adapters.push_back({Wide(s.text), {3}});
      attached_.push_back(fake_.display.adapters.size() - 1);
      sendFromAnotherThread(WM_DISPLAYCHANGE, fake_.display.mode.bitsPerPixel, resolution);
      break;
    case Kind::kDetach:
      fake_.display.adapters.erase(fake_.display.adapters.begin() + static_cast<std::ptrdiff_t>(attached_.back()));
      attached_.pop_back();
      sendFromAnotherThread(WM_DISPLAYCHANGE, fake_.display.mode.bitsPerPixel, resolution);
      break;
    case Kind::kSession: sendFromAnotherThread(WM_WTSSESSION_CHANGE, static_cast<WPARAM>(s.numbers[0]), 1); break;
    case Kind::kExit: PostMessageW(window_, WM_COMMAND, CMD_EXIT, 0); break;
    default: break;
  }
}

void Simulation::RunCheck(const Statement& s) {
  inFlightName_ = "line " + std::to_string(s.line) + " " + s.source;
  eventFirstCall_ = fake_.calls.size();
  eventFirstSwitch_ = fake_.display.submittedModes.size();
  eventStarts_.push_back(eventFirstCall_);
  lastCheck_ = ExamineMachine();
  EndOfEvent();
  // What a person reads, or with `check json` what a fleet tool reads.
  std::istringstream report(s.text == "json"     ? FormatJson(*lastCheck_, Language::kEnglish)
                            : s.text == "health" ? FormatHealthLine(*lastCheck_)
                                                 : Utf8(FormatReport(*lastCheck_, Language::kEnglish)));
  for (std::string line; std::getline(report, line);) out_ << "            " << line << "\n";
}

void Simulation::Fail(const Statement& s, const std::string& expected, const std::string& found) {
  ++failures_;
  out_ << "  FAILED  line " << s.line << ": " << s.source << "\n          expected " << expected
       << ", found " << found << "\n";
}

void Simulation::Check(const Statement& s) {
  const auto number = [](std::uint64_t n) { return std::to_string(n); };
  switch (s.kind) {
    case Kind::kExpectRate:
      if (fake_.display.mode.rate != s.numbers[0]) Fail(s, "rate " + number(s.numbers[0]), "rate " + number(fake_.display.mode.rate));
      break;
    case Kind::kExpectSwitches:
      if (fake_.display.submittedModes.size() != s.numbers[0])
        Fail(s, number(s.numbers[0]) + " mode changes", number(fake_.display.submittedModes.size()));
      break;
    case Kind::kExpectWaited: {
      const std::uint64_t waited = fake_.SleptSince(eventFirstCall_);
      if (waited != s.numbers[0]) Fail(s, number(s.numbers[0]) + " ms of waits", number(waited) + " ms");
      break;
    }
    case Kind::kExpectRates: {
      const auto dc = static_cast<std::int32_t>(s.numbers[0]), ac = static_cast<std::int32_t>(s.numbers[1]);
      if (controllerState.dcRate != dc || controllerState.acRate != ac)
        Fail(s, "dcRate " + std::to_string(dc) + " acRate " + std::to_string(ac),
             "dcRate " + std::to_string(controllerState.dcRate) + " acRate " + std::to_string(controllerState.acRate));
      break;
    }
    case Kind::kExpectQualifies:
    case Kind::kExpectCapable:
    case Kind::kExpectInstalled:
    case Kind::kExpectDue: {
      const bool expected = s.numbers[0] != 0;
      const Examination& e = *lastCheck_;
      const bool found = s.kind == Kind::kExpectQualifies  ? e.Qualifies()
                         : s.kind == Kind::kExpectCapable  ? e.Capable()
                         : s.kind == Kind::kExpectInstalled ? e.Installed()
                                                            : e.due;
      const std::string what = s.kind == Kind::kExpectQualifies  ? "qualifies "
                               : s.kind == Kind::kExpectCapable  ? "capable "
                               : s.kind == Kind::kExpectInstalled ? "installed "
                                                                  : "due ";
      if (found != expected) Fail(s, what + (expected ? "yes" : "no"), what + (found ? "yes" : "no"));
      break;
    }
    case Kind::kExpectFailing: {
      std::set<std::string> expected(s.names.begin(), s.names.end()), found;
      for (Condition c : kConditions)
        if (lastCheck_->Fails(c)) found.insert(ConditionName(c));
      const auto list = [](const std::set<std::string>& names) {
        std::string text;
        for (const std::string& n : names) text += (text.empty() ? "" : " ") + n;
        return text.empty() ? std::string("none") : text;
      };
      if (found != expected) Fail(s, "failing " + list(expected), "failing " + list(found));
      break;
    }
    case Kind::kExpectHealth: {
      const std::string found = HealthName(lastCheck_->HealthValue());
      if (found != s.text) Fail(s, "health " + s.text, "health " + found);
      break;
    }
    case Kind::kExpectFile: {
      const std::string found = FileText(s.text);
      const std::string expected = s.fileState == FileState::kAbsent  ? "absent"
                                   : s.fileState == FileState::kEmpty ? "empty"
                                                                       : Quoted(s.fileText);
      if (found != expected) Fail(s, s.text + " " + expected, found);
      break;
    }
    default: break;
  }
}

int Simulation::Run() {
  // The check runs as a fleet tool runs it: as the system account, in
  // session 0, so it reads every session. The simulated controller is session
  // 1's controller unless a `signed-in 1` line says otherwise.
  fake_.users.asSystem = true;
  fake_.FindProcess(fake_.users.selfId)->session = 0;
  std::size_t start = 0;
  while (start < statements_.size() && statements_[start].kind != Kind::kStart) Describe(statements_[start++]);
  if (!signedIn1_) fake_.SignIn(1, L"LAPTOP\\owner", true, false);
  for (std::size_t i = 0; i < start; ++i)
    if (IsFileStatement(statements_[i].kind)) ApplyFile(statements_[i]);
  next_ = start + 1;
  // Adapters described beyond the first are displays attached at start-up.
  if (adaptersDescribed_)
    for (std::size_t i = 1; i < fake_.display.adapters.size(); ++i) attached_.push_back(i);

  out_ << "   controller  event                         panel  lasttimeACDC"
          "  lasttimeDCRefresh  waited  switched\n";
  inFlightName_ = "line " + std::to_string(statements_[start].line) + " start";
  eventFirstCall_ = 0;
  eventFirstSwitch_ = 0;
  exitCode_ = wWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<PWSTR>(L""), SW_SHOWDEFAULT);
  EndOfEvent();
  if (exitCode_ != 0) {
    ++failures_;
    out_ << "  FAILED  the controller ended with exit code " << exitCode_ << ", not 0\n";
  }
  // Checks after `exit` look at what the controller left behind.
  while (next_ < statements_.size()) {
    const Statement& s = statements_[next_++];
    if (IsFileStatement(s.kind)) ApplyFile(s);
    else if (IsCheck(s.kind)) Check(s);
  }
  std::size_t checks = 0;
  for (const Statement& s : statements_) checks += IsCheck(s.kind) ? 1 : 0;
  out_ << (failures_ ? "FAILED: " : "passed: ") << checks << " checks, " << failures_ << " failed\n";
  return failures_;
}

int RunScenarioFile(const std::wstring& path, std::ostream& out, bool verbose) {
  std::ifstream file(path.c_str(), std::ios::binary);
  std::string utf8Path;
  for (wchar_t c : path) utf8Path += c < 0x80 ? static_cast<char>(c) : '?';
  if (!file) {
    out << "lumarest-sim: cannot read the scenario file " << utf8Path << "\n";
    return 2;
  }
  std::stringstream text;
  text << file.rdbuf();
  std::vector<Statement> statements;
  std::string error;
  if (!ParseScenario(text.str(), &statements, &error)) {
    out << "lumarest-sim: " << utf8Path << ", " << error << "\n";
    return 2;
  }
  out << "scenario " << utf8Path << "\n";
  Simulation simulation(std::move(statements), out, verbose);
  return simulation.Run() == 0 ? 0 : 1;
}
