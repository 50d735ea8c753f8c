// Fault injection in the manner of SQLite's I/O-error tests: each scenario
// runs once to count the platform calls that can fail, then once for every
// call index k with the k-th call failing the way that call fails. After
// every run nothing may be left open, no state file may hold anything but
// "1", "2" or what it held before (and never be empty), and the display may
// have been switched to the DC rate only.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>

#include "app/controller_state.h"
#include "app/window_proc.h"
#include "fake/laptop_presets.h"
#include "platform/hresult_error.h"
#include "policy/handlings.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);

namespace {

const HWND kWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1000));

struct SweepScenario {
  const char* name;
  LaptopPreset laptop;  // the state files' contents before the run among them
  std::function<void()> run;
};

struct Outcome {
  int failableCalls = 0;
  bool injected = false;
  bool outOfMemory = false;
  std::string problems;
};

Outcome RunOnce(const SweepScenario& s, int failAt) {
  FakeLaptop fake;
  SetUpIrisLaptop(fake, s.laptop, "sweep");
  fake.failAt = failAt;
  Outcome o;
  try {
    s.run();
  } catch (const HresultError& e) {
    // Out of memory for a COM string ends the process by design; what was
    // held must have been given back first.
    o.outOfMemory = true;
    bool fromString = false;
    for (const FakeCall& c : fake.calls) fromString = fromString || (c.name == "FAULT" && c.detail == "SysAllocString");
    if (e.code != E_OUTOFMEMORY || !fromString) o.problems += "an exception other than the out-of-memory end; ";
  } catch (...) {
    o.problems += "an exception; ";
  }
  o.failableCalls = fake.failableCalls;
  o.injected = fake.injectedFailure;
  o.problems += fake.Leaks();
  for (const auto& [name, before] : {std::pair<std::string, std::string>{"lasttimeACDC.txt", s.laptop.acdc},
                                     {"lasttimeDCRefresh.txt", s.laptop.refresh}}) {
    const std::optional<std::string> now = fake.FileContent(name);
    if (!now) o.problems += name + " is gone; ";
    else if (*now != "1" && *now != "2" && *now != before) o.problems += name + " holds \"" + *now + "\"; ";
  }
  // A failed read of the minimum rate leaves dcRate 0, which the switcher
  // submits as it is; whatever dcRate is, nothing else may be submitted.
  const DWORD dcRate = static_cast<DWORD>(controllerState.dcRate);
  for (const DEVMODEW& m : fake.display.submittedModes)
    if (m.dmDisplayFrequency != dcRate) o.problems += "switched to " + std::to_string(m.dmDisplayFrequency) + " Hz; ";
  if (fake.display.mode.rate != s.laptop.rate && fake.display.mode.rate != dcRate) o.problems += "the panel ended at another rate; ";

  return o;
}

void RunStartUp() {
  wWinMain(reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(0x400000)), nullptr, const_cast<PWSTR>(L""),
           SW_SHOWDEFAULT);
}

const SweepScenario kScenarios[] = {
    {"StartUpOnBatteryWithTheSwitchDue", {"1", "2", 0, 144, false}, RunStartUp},
    {"UnplugWithMarksOne", {"1", "1", 0, 144, true},
     [] { MainWindowProc(kWindow, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0); }},
    {"DisplayChangeOnBattery", {"2", "1", 0, 60, true},
     [] { MainWindowProc(kWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080)); }},
    {"UnlockOnBattery", {"1", "2", 0, 144, true},
     [] {
       controllerState.sessionLocked = true;
       MainWindowProc(kWindow, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 1);
     }},
    {"PlugIn", {"2", "2", 1, 48, true},
     [] { MainWindowProc(kWindow, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0); }},
};

class FaultSweep : public ::testing::TestWithParam<SweepScenario> {};

TEST_P(FaultSweep, EveryFailingCallLeavesEverythingSound) {
  const SweepScenario& s = GetParam();
  const Outcome clean = RunOnce(s, 0);
  ASSERT_EQ("", clean.problems) << "the run without faults";
  ASSERT_GT(clean.failableCalls, 10);

  int runs = 0, injected = 0, outOfMemory = 0, failures = 0;
  for (int k = 1; k <= clean.failableCalls; ++k) {
    const Outcome o = RunOnce(s, k);
    ++runs;
    injected += o.injected;
    outOfMemory += o.outOfMemory;
    if (!o.problems.empty()) {
      ++failures;
      ADD_FAILURE() << s.name << ", call " << k << " failing: " << o.problems;
    }
  }
  std::cout << "fault sweep " << s.name << ": " << clean.failableCalls << " calls, " << runs << " runs, "
            << injected << " with the fault injected, " << outOfMemory
            << " ended by the out-of-memory exception, " << failures << " failures\n";
  EXPECT_EQ(runs, injected) << "every run reached its failing call";
  EXPECT_EQ(0, failures);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultSweep, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
