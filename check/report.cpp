// FormatReport and FormatJson.
#include "check/report.h"

#include "app/resources/version.h"
#include "check/describe.h"
#include "check/text_encoding.h"

namespace {

// Columns a console gives the text: the CJK ideographs, kana, hangul and
// full-width forms take two.
std::size_t Columns(const std::wstring& text) {
  std::size_t columns = 0;
  for (wchar_t c : text) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                      (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6);
    columns += wide ? 2 : 1;
  }
  return columns;
}

std::wstring Padded(std::wstring text, std::size_t width) {
  const std::size_t columns = Columns(text);
  if (columns < width) text.append(width - columns, L' ');
  return text;
}

std::string Bool(bool value) { return value ? "true" : "false"; }

// A mark only when the controller would read both files.
std::string MarkJson(const StateFileSeen& file, bool marksRead) {
  if (!marksRead || (file.mark[0] != '1' && file.mark[0] != '2')) return "null";
  return std::string("\"") + file.mark[0] + "\"";
}

std::string RatesJson(const PanelModes& modes) {
  if (!modes.read) return "null";
  std::string list = "[";
  for (DWORD rate : modes.rates) list += (list.size() > 1 ? ", " : "") + std::to_string(rate);
  return list + "]";
}

// Null where Windows does not say (before Windows 11).
std::string DynamicJson(const DynamicRefreshSeen& d) { return d.known ? Bool(d.dynamic) : "null"; }
std::string PhysicalJson(const DynamicRefreshSeen& d) {
  return d.known && d.physical ? std::to_string(*d.physical) : "null";
}

const char* PowerJson(PowerSource power) {
  switch (power) {
    case PowerSource::kMains: return "\"ac\"";
    case PowerSource::kBattery: return "\"battery\"";
    case PowerSource::kUnreadable: break;
  }
  return "\"unknown\"";
}

}  // namespace

std::wstring FormatReport(const Examination& e, Language l) {
  std::wstring out = Say(Text::kTitle, l, {WidenAscii(LUMAREST_VERSION_TEXT)}) + L"\n\n";
  for (Condition c : kConditions) {
    const bool examined = e.Examined(c);
    const bool holds = e.Holds(c);
    const ConditionDetail d = DescribeCondition(e, c, l);
    out += std::wstring(Say(!examined ? Text::kNotExamined : holds ? Text::kPass : Text::kFail, l)) + L" " +
           Padded(WidenAscii(ConditionName(c)), 21) + d.summary + L"\n";
    for (const std::wstring& line : d.lines) out += L"         " + line + L"\n";
    if (examined && !holds) out += L"         " + Say(Text::kWhatToDo, l, {d.hint}) + L"\n";
  }
  out += L"\n";
  const std::pair<Text, std::wstring> facts[] = {
      {Text::kPowerLabel, DescribePower(e, l)},           {Text::kRateLabel, DescribeCurrentRate(e, l)},
      {Text::kMarksLabel, DescribeMarks(e, l)},           {Text::kControllerLabel, DescribeController(e, l)},
      {Text::kAutostartLabel, DescribeAutostart(e, l)},   {Text::kCapableLabel, DescribeCapability(e, l)},
      {Text::kInstalledLabel, DescribeInstallation(e, l)}};
  for (const auto& [label, value] : facts) {
    out += Padded(Say(label, l), 14) + L"  " + value + L"\n";
    // Windows 11's Dynamic refresh rate explains the current rate, when on.
    const std::wstring dynamic = label == Text::kRateLabel ? DescribeDynamicRefresh(e, l) : std::wstring();
    if (!dynamic.empty()) out += Padded(Say(Text::kDynamicLabel, l), 14) + L"  " + dynamic + L"\n";
    // The sessions follow the controller of this session, one a line.
    if (label != Text::kControllerLabel) continue;
    const std::vector<std::wstring> sessions = DescribeSessions(e, l);
    for (std::size_t i = 0; i < sessions.size(); ++i)
      out += Padded(i == 0 ? Say(Text::kSessionsLabel, l) : L"", 14) + L"  " + sessions[i] + L"\n";
  }
  out += Padded(Say(Text::kHealthLabel, l), 14) + L"  " + DescribeHealth(e, l) + L"\n";
  out += L"\n" + std::wstring(Say(Text::kVerdictLabel, l)) +
         (l == Language::kTraditionalChinese ? L"：" : L": ") + Verdict(e, l) + L"\n";
  const std::wstring hint = VerdictHint(e, l);
  if (!hint.empty()) out += Say(Text::kWhatToDo, l, {hint}) + L"\n";
  return out;
}

std::string FormatHealthLine(const Examination& e) {
  std::string line;
  for (wchar_t c : DescribeHealthLine(e)) line += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  // Many sessions with long names could run past what Intune keeps; the
  // cut is marked so no one takes it for the whole.
  if (line.size() > kHealthLineLimit) line = line.substr(0, kHealthLineLimit - 3) + "...";
  return line;
}

std::string FormatJson(const Examination& e, Language l) {
  // Schema 2. Within one schema number keys are only ever added; none is
  // changed or removed.
  std::string out = "{\n";
  out += "  \"schema\": 2,\n";
  out += "  \"qualifies\": " + Bool(e.Qualifies()) + ",\n";
  out += "  \"capable\": " + Bool(e.Capable()) + ",\n";
  out += "  \"installed\": " + Bool(e.Installed()) + ",\n";
  out += "  \"conditions\": [\n";
  bool first = true;
  for (Condition c : kConditions) {
    if (!first) out += ",\n";
    first = false;
    out += std::string("    {\"name\": \"") + ConditionName(c) + "\", \"kind\": \"" + KindName(KindOf(c)) +
           "\", \"ok\": " + (e.Examined(c) ? Bool(e.Holds(c)) : "null") +
           ", \"detail\": " + JsonString(DetailOnOneLine(DescribeCondition(e, c, l))) + "}";
  }
  out += "\n  ],\n";
  out += std::string("  \"power\": ") + PowerJson(e.power) + ",\n";
  const std::optional<DWORD> current = e.CurrentRate();
  out += "  \"rates\": {\"dc\": " + std::to_string(e.dcRate) + ", \"ac\": " + std::to_string(e.acRate) +
         ", \"current\": " + (current ? std::to_string(*current) : std::string("null")) +
         ", \"offered\": " + RatesJson(e.modes) + ", \"dynamic\": " + DynamicJson(e.dynamicRefresh) +
         ", \"physical\": " + PhysicalJson(e.dynamicRefresh) + "},\n";
  out += "  \"marks\": {\"lasttimeACDC\": " + MarkJson(e.acdcFile, e.MarksRead()) +
         ", \"lasttimeDCRefresh\": " + MarkJson(e.dcRefreshFile, e.MarksRead()) + "},\n";
  out += "  \"due\": " + Bool(e.due) + ",\n";
  out += "  \"controller_running\": " + Bool(e.controllerRunning) + ",\n";
  out += "  \"autostart\": " + Bool(e.autostart) + ",\n";
  out += std::string("  \"health\": \"") + HealthName(e.HealthValue()) + "\",\n";
  out += "  \"sessions\": [";
  for (std::size_t i = 0; i < e.sessions.sessions.size(); ++i) {
    const SessionSeen& s = e.sessions.sessions[i];
    out += std::string(i == 0 ? "\n" : ",\n") + "    {\"id\": " + std::to_string(s.id) +
           ", \"user\": " + (s.user ? JsonString(*s.user) : std::string("null")) +
           ", \"controller_running\": " + Bool(s.controllerRunning) +
           ", \"turned_off\": " + (s.turnedOff ? Bool(*s.turnedOff) : std::string("null")) +
           ", \"readable\": " + Bool(s.readable) + "}";
  }
  out += std::string(e.sessions.sessions.empty() ? "" : "\n  ") + "],\n";
  out += "  \"verdict\": " + JsonString(Verdict(e, l)) + ",\n";
  out += std::string("  \"version\": \"") + LUMAREST_VERSION_TEXT + "\"\n";
  out += "}\n";
  return out;
}
