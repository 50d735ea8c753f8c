// The words of the report and of the JSON details: every text comes from the
// one table (check/texts.cpp), every value from the examination, and every
// text from outside is quoted safely.
#include "check/describe.h"

#include "check/text_encoding.h"

namespace {

std::wstring Number(long long n) { return std::to_wstring(n); }

bool IsMark(char c) { return c == '1' || c == '2'; }

std::wstring MarkShown(const char (&mark)[2]) { return QuoteForPerson(IsMark(mark[0]) ? std::wstring(1, mark[0]) : L""); }

ConditionDetail DescribeRange(const Examination& e, Language l) {
  ConditionDetail d;
  bool kept = false;
  for (const VideoControllerSeen& c : e.controllers) kept = kept || c.matched;
  if (FAILED(e.wmiResult))
    d.summary = Say(Text::kRangeQueryFailed, l, {HexText(static_cast<unsigned long>(e.wmiResult))});
  else if (e.realRange)
    d.summary = Say(Text::kRangeFound, l, {Number(e.dcRate), Number(e.acRate)});
  else if (!kept)
    d.summary = Say(Text::kRangeNone, l);
  else
    d.summary = Say(Text::kRangeNarrow, l, {Number(e.dcRate), Number(e.acRate)});

  if (SUCCEEDED(e.wmiResult) && e.controllers.empty()) d.lines.push_back(Say(Text::kNoControllers, l));
  for (const VideoControllerSeen& c : e.controllers) {
    const Text status = c.matched ? Text::kControllerIntelKept : c.intel ? Text::kControllerIntel : Text::kControllerOther;
    d.lines.push_back(Say(Text::kControllerLine, l,
                          {c.nameIsText ? QuoteForPerson(c.name) : Say(Text::kControllerNotText, l),
                           Number(c.rawMin), Number(c.rawMax), Number(SnapToNominalRate(c.rawMin)),
                           Number(SnapToNominalRate(c.rawMax)), Say(status, l)}));
  }
  d.hint = Say(Text::kHintRange, l);
  return d;
}

ConditionDetail DescribePanel(const Examination& e, Language l) {
  ConditionDetail d;
  if (e.adapters.empty())
    d.summary = Say(Text::kPanelNoAdapter, l);
  else if (e.adapters[0].monitorFlags.empty())
    d.summary = Say(Text::kPanelNoMonitor, l, {QuoteForPerson(e.adapters[0].description)});
  else
    d.summary = Say(Text::kPanelLine, l, {QuoteForPerson(e.adapters[0].description), HexText(e.adapters[0].monitorFlags[0])});
  d.hint = Say(Text::kHintPanel, l);
  return d;
}

ConditionDetail DescribeExternal(const Examination& e, Language l) {
  ConditionDetail d;
  d.summary = Say(e.externalDisplay ? Text::kExternalFound : Text::kExternalNone, l);
  if (e.adapters.empty()) d.lines.push_back(Say(Text::kPanelNoAdapter, l));
  for (std::size_t i = 0; i < e.adapters.size(); ++i) {
    const AdapterSeen& a = e.adapters[i];
    d.lines.push_back(Say(Text::kAdapterLine, l,
                          {Number(static_cast<long long>(i)), QuoteForPerson(a.description), Number(a.activeMonitors),
                           Say(a.intel ? Text::kAdapterIntel : Text::kAdapterOther, l)}));
  }
  d.hint = Say(Text::kHintExternal, l);
  return d;
}

ConditionDetail DescribeScheme(const Examination& e, Language l) {
  ConditionDetail d;
  if (e.schemeStatus != ERROR_SUCCESS)
    d.summary = Say(Text::kSchemeUnreadable, l, {Number(e.schemeStatus)});
  else
    d.summary = Say(e.exemptScheme ? Text::kSchemeExempt : Text::kSchemeActive, l, {QuoteForPerson(e.scheme)});
  d.hint = Say(e.schemeStatus != ERROR_SUCCESS ? Text::kHintSchemeUnreadable : Text::kHintScheme, l);
  return d;
}

ConditionDetail DescribePolicy(const Examination& e, Language l) {
  ConditionDetail d;
  if (e.driver.status == ERROR_NO_MORE_ITEMS)
    d.summary = Say(Text::kPolicyNone, l);
  else if (e.driver.status != 0)
    d.summary = Say(Text::kPolicyClassUnreadable, l, {Number(e.driver.status)});
  else
    d.summary = Say(e.policyAllows ? Text::kPolicyAllows : Text::kPolicyForbids, l, {HexText(e.driver.policy)});

  for (const DriverKeySeen& k : e.driverKeys) {
    if (k.providerStatus != ERROR_SUCCESS) {
      d.lines.push_back(Say(Text::kDriverNoProvider, l, {QuoteForPerson(k.subkey), Number(k.providerStatus)}));
      continue;
    }
    std::wstring verdict = Say(Text::kDriverOther, l);
    if (k.intel) {
      std::wstring value = k.policyStatus == ERROR_SUCCESS ? Say(Text::kDriverValue, l, {HexText(k.policy)})
                                                           : Say(Text::kDriverNoValue, l, {Number(k.policyStatus)});
      if (k.used) value = Say(Text::kDriverUsed, l, {value});
      verdict = Say(Text::kDriverIntel, l, {value});
    }
    d.lines.push_back(Say(Text::kDriverLine, l, {QuoteForPerson(k.subkey), QuoteForPerson(k.provider), verdict}));
  }
  d.hint = Say(e.driver.status != 0 ? Text::kHintNoPolicy : Text::kHintPolicy, l);
  return d;
}

std::wstring DescribeFile(const Examination& e, const StateFileSeen& file, const char (&mark)[2], Language l) {
  if (!file.exists) return Say(Text::kFileLine, l, {WidenAscii(file.path), Say(Text::kFileMissing, l)});
  const std::wstring content = !e.marksRead     ? Say(Text::kFileUnreadable, l)
                               : IsMark(mark[0]) ? Say(Text::kMarkText, l, {std::wstring(1, mark[0])})
                                                 : Say(Text::kMarkNone, l);
  return Say(Text::kFileLine, l,
             {WidenAscii(file.path), Say(file.writable ? Text::kFileWritable : Text::kFileNotWritable, l, {content})});
}

ConditionDetail DescribeFiles(const Examination& e, Language l) {
  ConditionDetail d;
  d.summary = Say(e.Holds(Condition::kStateFiles) ? Text::kFilesReady : Text::kFilesNotReady, l);
  d.lines.push_back(DescribeFile(e, e.acdcFile, e.acdcMark, l));
  d.lines.push_back(DescribeFile(e, e.dcRefreshFile, e.dcRefreshMark, l));
  d.hint = Say(Text::kHintFiles, l);
  return d;
}

Text BlockedBy(const Examination& e, Condition c) {
  switch (c) {
    case Condition::kRateRange: return Text::kBlockedRange;
    case Condition::kPanelActive: return Text::kBlockedPanel;
    case Condition::kNoExternalDisplay: return Text::kBlockedExternal;
    case Condition::kPowerScheme:
      return e.schemeStatus != ERROR_SUCCESS ? Text::kBlockedSchemeUnreadable : Text::kBlockedSchemeExempt;
    case Condition::kDriverPolicy: return e.driver.status != 0 ? Text::kBlockedNoPolicy : Text::kBlockedPolicy;
    case Condition::kStateFiles: return Text::kBlockedFiles;
  }
  return Text::kBlockedFiles;
}

}  // namespace

ConditionDetail DescribeCondition(const Examination& e, Condition condition, Language language) {
  switch (condition) {
    case Condition::kRateRange: return DescribeRange(e, language);
    case Condition::kPanelActive: return DescribePanel(e, language);
    case Condition::kNoExternalDisplay: return DescribeExternal(e, language);
    case Condition::kPowerScheme: return DescribeScheme(e, language);
    case Condition::kDriverPolicy: return DescribePolicy(e, language);
    case Condition::kStateFiles: return DescribeFiles(e, language);
  }
  return {};
}

std::wstring DetailOnOneLine(const ConditionDetail& detail) {
  std::wstring out = detail.summary;
  for (const std::wstring& line : detail.lines) out += L"; " + line;
  return out;
}

std::wstring DescribePower(const Examination& e, Language l) {
  switch (e.power) {
    case PowerSource::kMains: return Say(Text::kPowerMains, l);
    case PowerSource::kBattery: return Say(Text::kPowerBattery, l);
    case PowerSource::kUnknown: break;
  }
  return Say(Text::kPowerUnknown, l);
}

std::wstring DescribeCurrentRate(const Examination& e, Language l) {
  return e.currentRate ? Say(Text::kRateValue, l, {Number(*e.currentRate)}) : Say(Text::kRateUnknown, l);
}

std::wstring DescribeMarks(const Examination& e, Language l) {
  if (!e.marksRead) return Say(Text::kMarksUnread, l);
  return Say(e.due ? Text::kMarksDue : Text::kMarksNotDue, l, {MarkShown(e.acdcMark), MarkShown(e.dcRefreshMark)});
}

std::wstring DescribeController(const Examination& e, Language l) {
  if (e.controllerRunning) return Say(Text::kControllerRuns, l);
  return Say(e.autostart ? Text::kControllerAbsentStarts : Text::kControllerAbsent, l);
}

std::wstring DescribeAutostart(const Examination& e, Language l) {
  return Say(e.autostart ? Text::kAutostartYes : Text::kAutostartNo, l);
}

std::wstring Verdict(const Examination& e, Language l) {
  for (Condition c : kConditions)
    if (!e.Holds(c)) return Say(Text::kVerdictBlocked, l, {Say(BlockedBy(e, c), l)});
  if (e.power == PowerSource::kUnknown) return Say(Text::kVerdictUnknownPower, l);
  if (!e.due)
    return Say(e.acdcMark[0] == '2' ? Text::kVerdictNotDueByHand : Text::kVerdictNotDueMarks, l);
  const std::wstring dc = Number(e.dcRate);
  if (e.power == PowerSource::kMains) return Say(Text::kVerdictMains, l, {dc});
  if (!e.currentRate) return Say(Text::kVerdictBatterySwitchTo, l, {dc});
  if (*e.currentRate == static_cast<DWORD>(e.dcRate)) return Say(Text::kVerdictBatteryAlready, l, {dc});
  return Say(Text::kVerdictBatterySwitch, l, {Number(*e.currentRate), dc});
}

std::wstring VerdictHint(const Examination& e, Language l) {
  if (!e.Qualifies() || e.power == PowerSource::kUnknown || e.due) return {};
  return Say(Text::kHintNotDue, l);
}
