// The simulated laptop: the real controller (its wWinMain, window, window
// procedure and message loop) run against the fake laptop, driven by a
// scenario. Events are delivered from inside the controller's own
// GetMessageW when its queue is empty, as messages another thread sent and
// waits on (the fake's COM applies Windows' rule about those), so each is
// handled to its end before the next line runs; a mode change the
// controller submits comes back as a WM_DISPLAYCHANGE its own thread sends
// from inside ChangeDisplaySettingsW, as the system may deliver it.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "check/examination.h"
#include "fake/fake_laptop.h"
#include "sim/scenario.h"

class Simulation {
 public:
  // `timeline` receives the readable timeline; `verbose` adds every
  // platform call under each event.
  Simulation(std::vector<Statement> statements, std::ostream& timeline, bool verbose = false);
  ~Simulation();

  // Plays the scenario; returns the number of failed checks (a controller
  // that ends with another exit code than 0 counts as one).
  int Run();

  FakeLaptop& laptop() { return fake_; }
  int exitCode() const { return exitCode_; }
  // Index in the call log of each delivered event's first call.
  const std::vector<std::size_t>& eventStarts() const { return eventStarts_; }
  HWND window() const { return window_; }

 private:
  friend BOOL WINAPI SimulatedGetMessageW(LPMSG, HWND, UINT, UINT);
  friend HWND WINAPI SimulatedCreateWindowExW(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND,
                                              HMENU, HINSTANCE, LPVOID);

  void Describe(const Statement& s);
  void ApplyFile(const Statement& s);
  // Runs statements until one event has been delivered; false at the end.
  bool DeliverNextEvent();
  void Deliver(const Statement& s);
  void EndOfEvent();
  void RunCheck(const Statement& s);
  void Check(const Statement& s);
  void Fail(const Statement& s, const std::string& expected, const std::string& found);
  std::string FileText(const std::string& name) const;

  std::vector<Statement> statements_;
  std::ostream& out_;
  bool verbose_;
  FakeLaptop fake_;
  std::size_t next_ = 0;
  HWND window_ = nullptr;
  bool adaptersDescribed_ = false;
  bool signedIn1_ = false;  // a `signed-in 1` line describes session 1
  int driverCount_ = 0;
  std::vector<std::size_t> attached_;  // adapter indices added by `attach`
  std::string inFlightName_;
  std::size_t eventFirstCall_ = 0;
  std::size_t eventFirstSwitch_ = 0;
  int exitCode_ = 0;
  int failures_ = 0;
  std::vector<std::size_t> eventStarts_;
  std::optional<Examination> lastCheck_;
};

// Reads a scenario file; exit codes of the runner: 0 every check held,
// 1 one failed, 2 the scenario could not be read.
int RunScenarioFile(const std::wstring& path, std::ostream& out, bool verbose);
