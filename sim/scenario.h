// Scenario files of the simulated laptop.
//
// UTF-8 text, one statement a line; "#" starts a comment; words are
// separated by spaces; a "double-quoted" text is one word (\n, \r, \t, \\,
// \" and \xHH are understood in words). Numbers are decimal or 0x
// hexadecimal. Statements before `start` describe the machine; `start` runs
// the controller's start-up; after it come events and checks. `check` runs
// lumarest-check's examination against the machine as it stands (nothing
// reaches the controller); `expect qualifies`, `expect capable`, `expect
// installed`, `expect failing`, `expect due` and `expect health` look at
// the last one. `signed-in` describes a session with a signed-in user. `detach`
// takes away the display attached last: one attached by `attach`, else an
// adapter entry described before `start` other than adapter 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class Kind {
  // The machine, before `start`.
  kVideoController, kWmiFail, kAdapter, kPanel, kDriver, kDriverClassMissing, kScheme,
  kSchemeMissing, kPower, kFolder, kAutostart,
  kSignedIn,
  // The state files, before or after `start`.
  kFile, kFileLocked, kFileAttribute,
  kStart,
  // Events.
  kUnplug, kPlug, kPowerEvent, kSetRate, kDisplayChange, kAttach, kDetach, kSession, kCheck, kExit,
  // Checks.
  kExpectRate, kExpectSwitches, kExpectFile, kExpectWaited, kExpectRates,
  // Checks of the last `check`; they stay last (a check of a check needs one).
  kExpectQualifies, kExpectCapable, kExpectInstalled, kExpectFailing, kExpectDue,
  kExpectHealth,
};

enum class FileState { kText, kAbsent, kEmpty };

struct Statement {
  Kind kind;
  int line = 0;
  std::string source;  // the line as written, comment and blanks trimmed

  std::string text;  // names, descriptions, file names, GUIDs, power words
  std::string fileText;
  FileState fileState = FileState::kText;
  std::vector<std::uint64_t> numbers;  // rates, flags, counts, milliseconds, yes (1) or no (0)
  std::vector<std::string> names;      // the conditions of `expect failing`, in any order
  std::optional<std::uint64_t> min, max, bitsPerPixel, width, height;
  std::optional<std::uint64_t> externalMin, externalMax;  // video-controller while docked
  bool dynamic = false;                   // panel: Windows 11's Dynamic refresh rate is on
  std::optional<std::uint64_t> physical;  // panel: its physical rate, as Windows 11 reports it
  // driver
  std::optional<std::uint32_t> policy;
  std::optional<std::uint64_t> policyQword;
  std::optional<std::vector<unsigned char>> policyBinary;
  bool noProvider = false;
  bool unreadable = false;
  // signed-in
  bool controller = false;
  bool turnedOff = false;
};

bool IsEvent(Kind kind);
bool IsFileStatement(Kind kind);  // file NAME ..., before or after start
bool IsCheck(Kind kind);

// Parses a whole scenario. On a statement it cannot read it returns false
// and says which line and why in `error`.
bool ParseScenario(const std::string& text, std::vector<Statement>* statements, std::string* error);
