// Reading scenario files: words, then one typed statement per line, checked
// as a whole before anything runs so that a bad line is reported up front.
#include "sim/scenario.h"

#include <windows.h>
#include <wtsapi32.h>

#include "check/examination.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace {

struct Word {
  std::string text;
  bool quoted = false;
};

struct ParseError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& message) { throw ParseError{message}; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Splits a line into words; returns the line without its comment.
std::vector<Word> Split(const std::string& line, std::string* source) {
  std::vector<Word> words;
  std::size_t i = 0;
  std::size_t end = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') { ++i; continue; }
    if (c == '#') break;
    Word word;
    word.quoted = c == '"';
    if (word.quoted) ++i;
    bool closed = !word.quoted;
    while (i < line.size()) {
      char d = line[i];
      if (word.quoted && d == '"') { closed = true; ++i; break; }
      if (!word.quoted && (d == ' ' || d == '\t' || d == '\r' || d == '#')) break;
      if (d == '\\' && i + 1 < line.size()) {
        const char e = line[i + 1];
        i += 2;
        switch (e) {
          case 'n': word.text += '\n'; break;
          case 'r': word.text += '\r'; break;
          case 't': word.text += '\t'; break;
          case '\\': word.text += '\\'; break;
          case '"': word.text += '"'; break;
          case 'x': {
            const int hi = i < line.size() ? HexDigit(line[i]) : -1;
            const int lo = i + 1 < line.size() ? HexDigit(line[i + 1]) : -1;
            if (hi < 0 || lo < 0) Fail("\\x needs two hexadecimal digits");
            word.text += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
          }
          default: Fail(std::string("unknown escape \\") + e);
        }
        continue;
      }
      word.text += d;
      ++i;
    }
    if (!closed) Fail("a quoted text is not closed");
    words.push_back(word);
    end = i;
  }
  *source = line.substr(0, end);
  while (!source->empty() && (source->front() == ' ' || source->front() == '\t')) source->erase(0, 1);
  return words;
}

std::uint64_t Number(const std::string& text, const char* what) {
  if (text.empty()) Fail(std::string(what) + " is missing");
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > (hex ? 16u : 19u)) Fail(std::string(what) + " '" + text + "' is not a number");
  for (char c : digits)
    if (hex ? HexDigit(c) < 0 : !std::isdigit(static_cast<unsigned char>(c)))
      Fail(std::string(what) + " '" + text + "' is not a number");
  return std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
}

std::uint32_t Number32(const std::string& text, const char* what) {
  const std::uint64_t n = Number(text, what);
  if (n > 0xFFFFFFFFull) Fail(std::string(what) + " '" + text + "' does not fit 32 bits");
  return static_cast<std::uint32_t>(n);
}

// "key=value": the value when the word has that key.
std::optional<std::string> Option(const Word& word, const char* key) {
  const std::string prefix = std::string(key) + "=";
  if (word.quoted || word.text.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  return word.text.substr(prefix.size());
}

void Count(const std::vector<Word>& w, std::size_t least, std::size_t most, const char* usage) {
  if (w.size() < least || w.size() > most) Fail(std::string("usage: ") + usage);
}

bool IsStateFile(const std::string& name) {
  return name == "lasttimeACDC.txt" || name == "lasttimeDCRefresh.txt";
}

std::string FileName(const Word& w) {
  if (!IsStateFile(w.text)) Fail("'" + w.text + "' is not lasttimeACDC.txt or lasttimeDCRefresh.txt");
  return w.text;
}

// The content part of `file NAME ...` and `expect file NAME ...`.
void FileContent(const std::vector<Word>& w, std::size_t at, Statement* s, const char* usage) {
  if (w.size() != at + 1) Fail(std::string("usage: ") + usage);
  const Word& content = w[at];
  s->fileState = FileState::kText;
  if (!content.quoted && content.text == "absent") s->fileState = FileState::kAbsent;
  else if (!content.quoted && content.text == "empty") s->fileState = FileState::kEmpty;
  else s->fileText = content.text;
}

// One reader per statement kind; each gets the line's words (the verb
// first) and gives the statement, or fails with the line's usage.
using Words = std::vector<Word>;

Statement Simple(const Words& w, Kind kind) {
  Count(w, 1, 1, w[0].text.c_str());
  Statement s{};
  s.kind = kind;
  return s;
}

Statement ReadVideoController(const Words& w) {
  if (w.size() < 2) Fail("usage: video-controller \"NAME\" [min=N] [max=N] [external-min=N] [external-max=N]");
  Statement s{};
  s.kind = Kind::kVideoController;
  s.text = w[1].text;
  for (std::size_t i = 2; i < w.size(); ++i) {
    if (auto v = Option(w[i], "min")) s.min = Number32(*v, "min");
    else if (auto v2 = Option(w[i], "max")) s.max = Number32(*v2, "max");
    else if (auto v3 = Option(w[i], "external-min")) s.externalMin = Number32(*v3, "external-min");
    else if (auto v4 = Option(w[i], "external-max")) s.externalMax = Number32(*v4, "external-max");
    else Fail("unknown video-controller option '" + w[i].text + "'");
  }
  return s;
}

Statement ReadWmi(const Words& w) {
  Count(w, 2, 2, "wmi fail");
  if (w[1].text != "fail") Fail("usage: wmi fail");
  Statement s{};
  s.kind = Kind::kWmiFail;
  return s;
}

Statement ReadAdapter(const Words& w) {
  if (w.size() < 2) Fail("usage: adapter \"DESCRIPTION\" [monitor=FLAGS]...");
  Statement s{};
  s.kind = Kind::kAdapter;
  s.text = w[1].text;
  for (std::size_t i = 2; i < w.size(); ++i) {
    auto v = Option(w[i], "monitor");
    if (!v) Fail("unknown adapter option '" + w[i].text + "'");
    s.numbers.push_back(Number32(*v, "monitor flags"));
  }
  return s;
}

Statement ReadPanel(const Words& w) {
  Statement s{};
  s.kind = Kind::kPanel;
  bool rates = false, current = false;
  for (std::size_t i = 1; i < w.size(); ++i) {
    if (auto v = Option(w[i], "rates")) {
      std::stringstream list(*v);
      for (std::string r; std::getline(list, r, ',');) s.numbers.push_back(Number32(r, "rate"));
      if (s.numbers.empty()) Fail("rates= needs at least one rate");
      rates = true;
    } else if (auto c = Option(w[i], "current")) {
      s.min = Number32(*c, "current rate");
      current = true;
    } else if (auto z = Option(w[i], "size")) {
      const std::size_t x = z->find('x');
      if (x == std::string::npos) Fail("size= takes WIDTHxHEIGHT");
      s.width = Number32(z->substr(0, x), "width");
      s.height = Number32(z->substr(x + 1), "height");
    } else if (auto b = Option(w[i], "bpp")) {
      s.bitsPerPixel = Number32(*b, "bpp");
    } else if (!w[i].quoted && w[i].text == "dynamic") {
      s.dynamic = true;
    } else if (auto p = Option(w[i], "physical")) {
      s.physical = Number32(*p, "physical rate");
    } else {
      Fail("unknown panel option '" + w[i].text + "'");
    }
  }
  if (!rates || !current) Fail("usage: panel rates=R1,R2,... current=N [size=WxH] [bpp=N] [dynamic] [physical=N]");
  return s;
}

std::vector<unsigned char> HexBytes(const std::string& hex) {
  if (hex.size() % 2) Fail("policy-binary takes whole bytes in hexadecimal");
  std::vector<unsigned char> bytes;
  for (std::size_t k = 0; k < hex.size(); k += 2) {
    const int hi = HexDigit(hex[k]), lo = HexDigit(hex[k + 1]);
    if (hi < 0 || lo < 0) Fail("policy-binary takes hexadecimal digits");
    bytes.push_back(static_cast<unsigned char>(hi * 16 + lo));
  }
  return bytes;
}

Statement ReadDriver(const Words& w) {
  if (w.size() < 2)
    Fail("usage: driver \"PROVIDER\" [policy=N] [policy-qword=N] [policy-binary=HEX] [no-provider] [unreadable]");
  Statement s{};
  s.kind = Kind::kDriver;
  s.text = w[1].text;
  int policies = 0;
  for (std::size_t i = 2; i < w.size(); ++i) {
    if (auto v = Option(w[i], "policy")) {
      s.policy = Number32(*v, "policy");
      ++policies;
    } else if (auto q = Option(w[i], "policy-qword")) {
      s.policyQword = Number(*q, "policy-qword");
      ++policies;
    } else if (auto h = Option(w[i], "policy-binary")) {
      s.policyBinary = HexBytes(*h);
      ++policies;
    } else if (!w[i].quoted && w[i].text == "no-provider") {
      s.noProvider = true;
    } else if (!w[i].quoted && w[i].text == "unreadable") {
      s.unreadable = true;
    } else {
      Fail("unknown driver option '" + w[i].text + "'");
    }
  }
  if (policies > 1) Fail("a driver has at most one policy value");
  return s;
}

Statement ReadDriverClass(const Words& w) {
  Count(w, 2, 2, "driver-class missing");
  if (w[1].text != "missing") Fail("usage: driver-class missing");
  Statement s{};
  s.kind = Kind::kDriverClassMissing;
  return s;
}

Statement ReadScheme(const Words& w) {
  Count(w, 2, 2, "scheme GUID | scheme missing");
  Statement s{};
  s.kind = (!w[1].quoted && w[1].text == "missing") ? Kind::kSchemeMissing : Kind::kScheme;
  s.text = w[1].text;
  return s;
}

Statement ReadPower(const Words& w) {
  Count(w, 2, 2, "power ac|battery|unknown|fail");
  const std::string& p = w[1].text;
  if (p != "ac" && p != "battery" && p != "unknown" && p != "fail") Fail("usage: power ac|battery|unknown|fail");
  Statement s{};
  s.kind = Kind::kPower;
  s.text = p;
  return s;
}

Statement ReadFolder(const Words& w) {
  Count(w, 2, 2, "folder missing|read-only");
  if (w[1].text != "missing" && w[1].text != "read-only") Fail("usage: folder missing|read-only");
  Statement s{};
  s.kind = Kind::kFolder;
  s.text = w[1].text;
  return s;
}

Statement ReadFile(const Words& w) {
  const char* usage = "file NAME TEXT|absent|empty, file NAME locked MS, or file NAME hidden|system";
  if (w.size() < 3) Fail(std::string("usage: ") + usage);
  Statement s{};
  s.text = FileName(w[1]);
  if (!w[2].quoted && (w[2].text == "hidden" || w[2].text == "system")) {
    Count(w, 3, 3, usage);
    s.kind = Kind::kFileAttribute;
    s.numbers.push_back(w[2].text == "hidden" ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_SYSTEM);
    return s;
  }
  if (!w[2].quoted && w[2].text == "locked") {
    Count(w, 4, 4, usage);
    s.kind = Kind::kFileLocked;
    s.numbers.push_back(Number(w[3].text, "milliseconds"));
    return s;
  }
  s.kind = Kind::kFile;
  FileContent(w, 2, &s, usage);
  return s;
}

Statement ReadSignedIn(const Words& w) {
  const char* usage = "signed-in N \"USER\" [controller] [turned-off]";
  if (w.size() < 3) Fail(std::string("usage: ") + usage);
  Statement s{};
  s.kind = Kind::kSignedIn;
  s.numbers.push_back(Number32(w[1].text, "session"));
  if (s.numbers[0] == 0) Fail("session 0 is where services run: no user signs in there");
  s.text = w[2].text;
  if (s.text.empty()) Fail("a signed-in session has a user");
  for (std::size_t i = 3; i < w.size(); ++i) {
    if (!w[i].quoted && w[i].text == "controller") s.controller = true;
    else if (!w[i].quoted && w[i].text == "turned-off") s.turnedOff = true;
    else Fail("unknown signed-in option '" + w[i].text + "' (" + usage + ")");
  }
  return s;
}

Statement ReadCheck(const Words& w) {
  Count(w, 1, 2, "check [json|health]");
  if (w.size() == 2 && w[1].text != "json" && w[1].text != "health") Fail("usage: check [json|health]");
  Statement s{};
  s.kind = Kind::kCheck;
  if (w.size() == 2) s.text = w[1].text;
  return s;
}

// lock, unlock and logon: WM_WTSSESSION_CHANGE with that event code.
Statement ReadSessionWord(const Words& w) {
  Count(w, 1, 1, w[0].text.c_str());
  Statement s{};
  s.kind = Kind::kSession;
  const std::string& verb = w[0].text;
  s.numbers.push_back(verb == "lock" ? WTS_SESSION_LOCK : verb == "unlock" ? WTS_SESSION_UNLOCK : WTS_SESSION_LOGON);
  return s;
}

// session N, power-event N and set-rate N.
Statement ReadNumbered(const Words& w) {
  const std::string& verb = w[0].text;
  Count(w, 2, 2, (verb + " N").c_str());
  Statement s{};
  s.kind = verb == "session" ? Kind::kSession : verb == "power-event" ? Kind::kPowerEvent : Kind::kSetRate;
  s.numbers.push_back(verb == "set-rate" ? Number32(w[1].text, "rate") : Number(w[1].text, "number"));
  return s;
}

Statement ReadAttach(const Words& w) {
  Count(w, 2, 2, "attach \"DESCRIPTION\"");
  Statement s{};
  s.kind = Kind::kAttach;
  s.text = w[1].text;
  return s;
}

// expect rate|switches|waited N.
Statement ReadExpectNumber(const Words& w) {
  const std::string& what = w[1].text;
  Count(w, 3, 3, ("expect " + what + " N").c_str());
  Statement s{};
  s.kind = what == "rate" ? Kind::kExpectRate : what == "switches" ? Kind::kExpectSwitches : Kind::kExpectWaited;
  s.numbers.push_back(Number(w[2].text, "number"));
  return s;
}

Statement ReadExpectRates(const Words& w) {
  Count(w, 4, 4, "expect rates DC AC");
  Statement s{};
  s.kind = Kind::kExpectRates;
  // Rates are signed 32-bit; a minus sign is allowed here.
  for (int i = 2; i < 4; ++i) {
    const std::string& t = w[i].text;
    const bool negative = !t.empty() && t[0] == '-';
    const std::uint64_t n = Number(negative ? t.substr(1) : t, "rate");
    if (n > (negative ? 0x80000000ull : 0x7FFFFFFFull)) Fail("rate '" + t + "' does not fit 32 bits");
    s.numbers.push_back(negative ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(n)) : n);
  }
  return s;
}

// expect qualifies|capable|installed|due yes|no.
Statement ReadExpectYesNo(const Words& w) {
  const std::string& what = w[1].text;
  const std::string usage = "expect " + what + " yes|no";
  Count(w, 3, 3, usage.c_str());
  if (w[2].text != "yes" && w[2].text != "no") Fail("usage: " + usage);
  Statement s{};
  s.kind = what == "qualifies"   ? Kind::kExpectQualifies
           : what == "capable"   ? Kind::kExpectCapable
           : what == "installed" ? Kind::kExpectInstalled
                                 : Kind::kExpectDue;
  s.numbers.push_back(w[2].text == "yes" ? 1 : 0);
  return s;
}

Statement ReadExpectHealth(const Words& w) {
  const char* usage = "expect health healthy|not_installed|installation_broken|controller_missing";
  Count(w, 3, 3, usage);
  const Health values[] = {Health::kHealthy, Health::kNotInstalled, Health::kInstallationBroken,
                           Health::kControllerMissing};
  bool known = false;
  for (Health h : values) known = known || w[2].text == HealthName(h);
  if (!known) Fail(std::string("usage: ") + usage);
  Statement s{};
  s.kind = Kind::kExpectHealth;
  s.text = w[2].text;
  return s;
}

Statement ReadExpectFailing(const Words& w) {
  if (w.size() < 3) Fail("usage: expect failing NAME... | none");
  Statement s{};
  s.kind = Kind::kExpectFailing;
  if (w.size() == 3 && w[2].text == "none") return s;
  for (std::size_t i = 2; i < w.size(); ++i) {
    bool known = false;
    std::string names;
    for (Condition c : kConditions) {
      known = known || w[i].text == ConditionName(c);
      names += (names.empty() ? "" : ", ") + std::string(ConditionName(c));
    }
    if (!known) Fail("'" + w[i].text + "' is no condition (" + names + ")");
    s.names.push_back(w[i].text);
  }
  return s;
}

Statement ReadExpectFile(const Words& w) {
  const char* usage = "expect file NAME TEXT|absent|empty";
  if (w.size() < 4) Fail(std::string("usage: ") + usage);
  Statement s{};
  s.kind = Kind::kExpectFile;
  s.text = FileName(w[2]);
  FileContent(w, 3, &s, usage);
  return s;
}

struct Reader {
  const char* word;
  Statement (*read)(const Words&);
};

constexpr Reader kExpectReaders[] = {
    {"rate", ReadExpectNumber},      {"switches", ReadExpectNumber}, {"waited", ReadExpectNumber},
    {"rates", ReadExpectRates},      {"qualifies", ReadExpectYesNo}, {"capable", ReadExpectYesNo},
    {"installed", ReadExpectYesNo},  {"due", ReadExpectYesNo},       {"health", ReadExpectHealth},
    {"failing", ReadExpectFailing},  {"file", ReadExpectFile},
};

Statement ReadExpect(const Words& w) {
  if (w.size() < 2)
    Fail("usage: expect rate|switches|file|waited|rates|qualifies|capable|installed|failing|due|health ...");
  for (const Reader& r : kExpectReaders)
    if (w[1].text == r.word) return r.read(w);
  Fail("unknown check 'expect " + w[1].text + "'");
}

constexpr Reader kReaders[] = {
    // The machine, before start.
    {"video-controller", ReadVideoController},
    {"wmi", ReadWmi},
    {"adapter", ReadAdapter},
    {"panel", ReadPanel},
    {"driver", ReadDriver},
    {"driver-class", ReadDriverClass},
    {"scheme", ReadScheme},
    {"power", ReadPower},
    {"autostart", [](const Words& w) { return Simple(w, Kind::kAutostart); }},
    {"folder", ReadFolder},
    {"signed-in", ReadSignedIn},
    // The state files, before or after start.
    {"file", ReadFile},
    {"start", [](const Words& w) { return Simple(w, Kind::kStart); }},
    // Events.
    {"unplug", [](const Words& w) { return Simple(w, Kind::kUnplug); }},
    {"plug", [](const Words& w) { return Simple(w, Kind::kPlug); }},
    {"display-change", [](const Words& w) { return Simple(w, Kind::kDisplayChange); }},
    {"detach", [](const Words& w) { return Simple(w, Kind::kDetach); }},
    {"exit", [](const Words& w) { return Simple(w, Kind::kExit); }},
    {"check", ReadCheck},
    {"lock", ReadSessionWord},
    {"unlock", ReadSessionWord},
    {"logon", ReadSessionWord},
    {"session", ReadNumbered},
    {"power-event", ReadNumbered},
    {"set-rate", ReadNumbered},
    {"attach", ReadAttach},
    // Checks.
    {"expect", ReadExpect},
};

Statement Read(const Words& w) {
  if (w[0].quoted) Fail("a statement starts with a word, not a quoted text");
  for (const Reader& r : kReaders)
    if (w[0].text == r.word) return r.read(w);
  Fail("unknown statement '" + w[0].text + "'");
}

}  // namespace

bool IsEvent(Kind kind) { return kind >= Kind::kUnplug && kind <= Kind::kExit; }

bool IsFileStatement(Kind kind) {
  return kind == Kind::kFile || kind == Kind::kFileLocked || kind == Kind::kFileAttribute;
}

bool IsCheck(Kind kind) { return kind >= Kind::kExpectRate; }

bool ParseScenario(const std::string& text, std::vector<Statement>* statements, std::string* error) {
  statements->clear();
  std::stringstream in(text);
  std::string line;
  int number = 0;
  bool started = false, exited = false, checked = false;
  int attached = 0;
  int adapters = 0;
  try {
    while (std::getline(in, line)) {
      ++number;
      if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
      std::string source;
      std::vector<Word> words;
      try {
        words = Split(line, &source);
        if (words.empty()) continue;
        Statement s = Read(words);
        s.line = number;
        s.source = source;
        const bool machine = s.kind < Kind::kFile;
        if (machine && started) Fail("'" + words[0].text + "' describes the machine and belongs before start");
        if (s.kind == Kind::kStart && started) Fail("start comes once");
        if ((IsEvent(s.kind) || IsCheck(s.kind)) && !started) Fail("'" + words[0].text + "' comes after start");
        if (IsEvent(s.kind) && exited) Fail("no event can follow exit");
        // A display described before start beyond adapter 0 counts as
        // attached too: detach can take it away.
        if (s.kind == Kind::kAdapter) adapters++;
        if (s.kind == Kind::kStart) attached = adapters > 1 ? adapters - 1 : 0;
        if (s.kind == Kind::kAttach) ++attached;
        if (s.kind == Kind::kDetach && attached-- == 0) Fail("detach with no attached display");
        if (s.kind >= Kind::kExpectQualifies && !checked)
          Fail("'expect " + words[1].text + "' looks at a check, and none came before it");
        if (s.kind == Kind::kCheck) checked = true;
        if (s.kind == Kind::kStart) started = true;
        if (s.kind == Kind::kExit) exited = true;
        statements->push_back(s);
      } catch (const ParseError& e) {
        Fail("line " + std::to_string(number) + ": " + e.message + "\n  " + line);
      }
    }
    if (!started) Fail("the scenario never says start");
  } catch (const ParseError& e) {
    *error = e.message;
    return false;
  }
  return true;
}
