// The words of the report and of the JSON details: every text comes from the
// one table (check/texts.cpp), every value from the examination, and every
// text from outside is quoted safely.
#include "check/describe.h"

#include "app/resources/version.h"
#include "check/text_encoding.h"
#include "platform/startup_approved.h"
#include "policy/power_scheme.h"

namespace {

std::wstring Number(long long n) { return std::to_wstring(n); }

bool IsMark(char c) { return c == '1' || c == '2'; }

std::wstring MarkShown(const char (&mark)[2]) { return QuoteForPerson(IsMark(mark[0]) ? std::wstring(1, mark[0]) : L""); }

ConditionDetail DescribeRange(const Examination& e, Language l) {
  ConditionDetail d;
  bool taken = false;
  for (const VideoControllerSeen& c : e.controllers) taken = taken || c.taken;
  if (FAILED(e.wmiResult))
    d.summary = Say(Text::kRangeQueryFailed, l, {HexText(static_cast<unsigned long>(e.wmiResult))});
  else if (e.realRange)
    d.summary = Say(Text::kRangeFound, l, {Number(e.dcRate), Number(e.acRate)});
  else if (!taken)
    d.summary = Say(Text::kRangeNone, l);
  else
    d.summary = Say(Text::kRangeNarrow, l, {Number(e.dcRate), Number(e.acRate)});

  if (SUCCEEDED(e.wmiResult) && e.controllers.empty()) d.lines.push_back(Say(Text::kNoControllers, l));
  for (const VideoControllerSeen& c : e.controllers) {
    const std::wstring name = c.nameIsText ? QuoteForPerson(c.name) : Say(Text::kControllerNotText, l);
    if (!c.intel) {
      d.lines.push_back(Say(Text::kControllerOther, l, {name}));
      continue;
    }
    d.lines.push_back(Say(Text::kControllerLine, l,
                          {name, Number(c.rawMin), Number(c.rawMax), Number(SnapToNominalRate(c.rawMin)),
                           Number(SnapToNominalRate(c.rawMax)),
                           Say(c.taken ? Text::kControllerIntelKept : Text::kControllerIntel, l)}));
  }
  if (taken) d.lines.push_back(Say(Text::kControllersUpToTaken, l));
  d.hint = Say(Text::kHintRange, l);
  return d;
}

std::wstring RatesText(const std::vector<DWORD>& rates, Language l) {
  if (rates.empty()) return Say(Text::kOfferedNone, l);
  std::wstring list;
  for (DWORD rate : rates) list += (list.empty() ? L"" : L", ") + Number(rate);
  return Say(Text::kRateValue, l, {list});
}

ConditionDetail DescribeOffered(const Examination& e, Language l) {
  ConditionDetail d;
  const PanelModes& m = e.modes;
  if (!e.Examined(Condition::kDcRateOffered))
    d.summary = Say(Text::kOfferedNotExamined, l);
  else if (!m.read)
    d.summary = Say(Text::kOfferedUnreadable, l);
  else
    d.summary = Say(m.Offers(e.dcRate) ? Text::kOfferedYes : Text::kOfferedNo, l,
                    {Number(e.dcRate), Number(m.width), Number(m.height), Number(m.bitsPerPixel), RatesText(m.rates, l)});
  d.hint = Say(Text::kHintOffered, l);
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
    d.summary = Say(e.exemptScheme ? Text::kSchemeExempt : Text::kSchemeActive, l,
                    {e.schemeName.empty() ? QuoteForPerson(e.scheme)
                                          : Say(Text::kSchemeNamed, l,
                                                {QuoteForPerson(e.schemeName), QuoteForPerson(e.scheme)})});
  d.hint = Say(e.schemeStatus != ERROR_SUCCESS ? Text::kHintSchemeUnreadable : Text::kHintScheme, l,
               {kExemptPowerScheme});
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
      if (k.taken) value = Say(Text::kDriverUsed, l, {value});
      verdict = Say(Text::kDriverIntel, l, {value});
    }
    d.lines.push_back(Say(Text::kDriverLine, l, {QuoteForPerson(k.subkey), QuoteForPerson(k.provider), verdict}));
  }
  if (e.driver.status == 0) d.lines.push_back(Say(Text::kDriverKeysUpToTaken, l));
  d.hint = Say(e.driver.status != 0 ? Text::kHintNoPolicy : Text::kHintPolicy, l);
  return d;
}

std::wstring DescribeFile(const StateFileSeen& file, Language l) {
  if (!file.exists) return Say(Text::kFileLine, l, {WidenAscii(file.path), Say(Text::kFileMissing, l)});
  const std::wstring content = !file.read          ? Say(Text::kFileUnreadable, l)
                               : file.empty        ? Say(Text::kMarkEmpty, l)
                               : IsMark(file.mark[0]) ? Say(Text::kMarkText, l, {std::wstring(1, file.mark[0])})
                                                    : Say(Text::kMarkNone, l);
  if (file.refusingAttributes != 0) {
    std::wstring attributes;
    if (file.refusingAttributes & FILE_ATTRIBUTE_HIDDEN) attributes = Say(Text::kAttributeHidden, l);
    if (file.refusingAttributes & FILE_ATTRIBUTE_SYSTEM)
      attributes += (attributes.empty() ? L"" : L", ") + std::wstring(Say(Text::kAttributeSystem, l));
    return Say(Text::kFileLine, l, {WidenAscii(file.path), Say(Text::kFileRefused, l, {content, attributes})});
  }
  return Say(Text::kFileLine, l,
             {WidenAscii(file.path), Say(file.writable ? Text::kFileWritable : Text::kFileNotWritable, l, {content})});
}

// The install folder, as the state files' paths name it.
std::wstring StateFolder(const StateFileSeen& file) {
  const std::wstring path = WidenAscii(file.path);
  return path.substr(0, path.rfind(L'\\') == std::wstring::npos ? 0 : path.rfind(L'\\'));
}

ConditionDetail DescribeFiles(const Examination& e, Language l) {
  ConditionDetail d;
  d.summary = !e.Examined(Condition::kStateFiles)      ? Say(Text::kFilesNotInstalled, l)
              : e.Holds(Condition::kStateFiles) ? Say(Text::kFilesReady, l)
                                                : Say(Text::kFilesNotReady, l);
  d.lines.push_back(DescribeFile(e.acdcFile, l));
  d.lines.push_back(DescribeFile(e.dcRefreshFile, l));
  // A repair keeps existing state files, attributes and all.
  if (e.acdcFile.refusingAttributes != 0 || e.dcRefreshFile.refusingAttributes != 0)
    d.hint = Say(Text::kHintFilesAttributes, l, {StateFolder(e.acdcFile)});
  else
    d.hint = Say(Text::kHintFiles, l);
  return d;
}

std::wstring BlockedBy(const Examination& e, Condition c, Language l) {
  switch (c) {
    case Condition::kRateRange: return Say(Text::kBlockedRange, l);
    case Condition::kDcRateOffered:
      if (!e.modes.read) return Say(Text::kBlockedModesUnreadable, l);
      return Say(Text::kBlockedNotOffered, l, {Number(e.dcRate), Number(e.modes.width), Number(e.modes.height)});
    case Condition::kPanelActive: return Say(Text::kBlockedPanel, l);
    case Condition::kNoExternalDisplay: return Say(Text::kBlockedExternal, l);
    case Condition::kPowerScheme:
      return Say(e.schemeStatus != ERROR_SUCCESS ? Text::kBlockedSchemeUnreadable : Text::kBlockedSchemeExempt, l);
    case Condition::kDriverPolicy:
      return Say(e.driver.status != 0 ? Text::kBlockedNoPolicy : Text::kBlockedPolicy, l);
    case Condition::kStateFiles: break;
  }
  return Say(Text::kBlockedFiles, l);
}

// The first capability condition that fails, in the report's order; the
// reason it gives.
std::wstring CapabilityBlockedBy(const Examination& e, Language l) {
  for (Condition c : kConditions)
    if (KindOf(c) == ConditionKind::kCapability && e.Fails(c)) return BlockedBy(e, c, l);
  return {};
}

}  // namespace

ConditionDetail DescribeCondition(const Examination& e, Condition condition, Language language) {
  switch (condition) {
    case Condition::kRateRange: return DescribeRange(e, language);
    case Condition::kDcRateOffered: return DescribeOffered(e, language);
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
    case PowerSource::kUnreadable: break;
  }
  return Say(Text::kPowerUnknown, l);
}

std::wstring DescribeCurrentRate(const Examination& e, Language l) {
  return e.CurrentRate() ? Say(Text::kRateValue, l, {Number(*e.CurrentRate())}) : Say(Text::kRateUnknown, l);
}

std::wstring DescribeDynamicRefresh(const Examination& e, Language l) {
  const DynamicRefreshSeen& d = e.dynamicRefresh;
  if (!d.known || !d.dynamic || !d.reported) return {};
  const std::wstring reported = Number(*d.reported);
  std::wstring text = Say(d.physical ? Text::kDynamicOn : Text::kDynamicOnNoPhysical, l,
                          {reported, d.physical ? Number(*d.physical) : L"", Number(e.dcRate)});
  if (e.realRange && *d.reported == static_cast<DWORD>(e.dcRate))
    text += (l == Language::kTraditionalChinese ? L"" : L" ") + Say(Text::kDynamicAtDcRate, l, {reported});
  return text;
}

std::wstring DescribeMarks(const Examination& e, Language l) {
  if (!e.MarksRead()) return Say(Text::kMarksUnread, l);
  return Say(e.due ? Text::kMarksDue : Text::kMarksNotDue, l,
             {MarkShown(e.acdcFile.mark), MarkShown(e.dcRefreshFile.mark)});
}

std::wstring DescribeController(const Examination& e, Language l) {
  if (e.controllerRunning) return Say(Text::kControllerRuns, l);
  return Say(e.autostart ? Text::kControllerAbsentStarts : Text::kControllerAbsent, l);
}

std::wstring DescribeAutostart(const Examination& e, Language l) {
  return Say(e.autostart ? Text::kAutostartYes : Text::kAutostartNo, l, {kRunKey, kRunValueName});
}

std::wstring DescribeCapability(const Examination& e, Language l) {
  if (e.Capable()) return Say(Text::kCapableYes, l, {Number(e.dcRate)});
  return Say(Text::kCapableNo, l, {CapabilityBlockedBy(e, l)});
}

std::wstring DescribeInstallation(const Examination& e, Language l) {
  if (e.Installed()) return Say(Text::kInstalledYes, l);
  if (e.NothingInstalled()) return Say(Text::kInstalledNothing, l);
  std::wstring missing;
  if (!e.Holds(Condition::kStateFiles)) missing = Say(Text::kInstallFilesNotUsable, l);
  if (!e.autostart) missing += (missing.empty() ? L"" : L"; ") + std::wstring(Say(Text::kInstallNoAutostart, l));
  return Say(Text::kInstalledPartly, l, {missing});
}

namespace {

// A user's name for the one-line health: quoted, printable ASCII kept, any
// other unit (a control character, a quote, a letter outside ASCII) as
// \uXXXX, so the line reads the same in any code page and stays one line.
std::wstring AsciiQuoted(const std::wstring& text) {
  std::wstring out = L"\"";
  for (wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != L'"') {
      out += c;
    } else {
      wchar_t escape[8];
      swprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + L"\"";
}

std::wstring SessionUser(const SessionSeen& s, Language l, bool ascii) {
  if (!s.user) return Say(Text::kSessionUserUnknown, l);
  return ascii ? AsciiQuoted(*s.user) : QuoteForPerson(*s.user);
}

std::wstring Counted(std::size_t n, Text one, Text many, Language l) {
  return n == 1 ? std::wstring(Say(one, l)) : Say(many, l, {Number(static_cast<long long>(n))});
}

std::wstring HealthText(const Examination& e, Language l, bool ascii) {
  const Health health = e.HealthValue();
  std::wstring reason;
  const auto add = [&reason](const std::wstring& part) { reason += (reason.empty() ? L"" : L"; ") + part; };
  switch (health) {
    case Health::kNotInstalled: add(Say(Text::kHealthNothingInstalled, l)); break;
    case Health::kInstallationBroken:
      if (!e.Holds(Condition::kStateFiles)) add(Say(Text::kInstallFilesNotUsable, l));
      if (!e.autostart) add(Say(Text::kInstallNoAutostart, l));
      break;
    case Health::kControllerMissing:
      if (!e.sessions.listed) add(Say(Text::kSessionsUnlisted, l, {Number(e.sessions.listError)}));
      for (const SessionSeen& s : e.sessions.sessions) {
        if (!s.MissesController()) continue;
        const std::wstring id = Number(s.id), user = SessionUser(s, l, ascii);
        add(s.readable ? Say(Text::kHealthSessionMissing, l, {id, user})
                       : Say(Text::kHealthSessionNotRead, l, {id, user, Number(s.error)}));
      }
      break;
    case Health::kHealthy: break;
  }
  std::size_t controllers = 0, turnedOff = 0;
  for (const SessionSeen& s : e.sessions.sessions) {
    controllers += s.controllerRunning ? 1 : 0;
    turnedOff += s.turnedOff == true ? 1 : 0;
  }
  const std::size_t users = e.sessions.sessions.size();
  std::wstring counts = users == 0 ? std::wstring(Say(Text::kHealthUsersNone, l))
                                   : Counted(users, Text::kHealthUsersOne, Text::kHealthUsersMany, l) + L", " +
                                         (controllers == 0 ? Say(Text::kHealthControllersMany, l, {L"0"})
                                                           : Counted(controllers, Text::kHealthControllersOne,
                                                                     Text::kHealthControllersMany, l));
  if (turnedOff > 0) counts += L", " + Say(Text::kHealthTurnedOff, l, {Number(static_cast<long long>(turnedOff))});
  return WidenAscii(HealthName(health)) + L": " + (reason.empty() ? L"" : reason + L"; ") + counts;
}

}  // namespace

std::vector<std::wstring> DescribeSessions(const Examination& e, Language l) {
  std::vector<std::wstring> lines;
  if (!e.sessions.listed) lines.push_back(Say(Text::kSessionsUnlisted, l, {Number(e.sessions.listError)}));
  if (e.sessions.sessions.empty()) lines.push_back(Say(Text::kSessionsNone, l));
  for (const SessionSeen& s : e.sessions.sessions) {
    std::wstring state = Say(s.controllerRunning ? Text::kSessionRuns : Text::kSessionNoController, l);
    if (!s.readable && !s.controllerRunning) state = Say(Text::kSessionNotRead, l, {Number(s.error)});
    if (s.turnedOff == true) state = Say(Text::kSessionTurnedOff, l, {state});
    lines.push_back(Say(Text::kSessionLine, l, {Number(s.id), SessionUser(s, l, false), state}));
  }
  return lines;
}

std::wstring DescribeHealth(const Examination& e, Language l) { return HealthText(e, l, false); }

std::wstring DescribeHealthLine(const Examination& e) {
  const Language l = Language::kEnglish;
  std::wstring reason = CapabilityBlockedBy(e, l);
  if (!reason.empty() && reason.back() == L'.') reason.pop_back();  // a sentence's end, inside the line
  const std::wstring capable =
      e.Capable() ? std::wstring(Say(Text::kHealthCapable, l)) : Say(Text::kHealthNotCapable, l, {reason});
  return HealthText(e, l, true) + L"; " + capable + L"; " +
         Say(Text::kHealthVersion, l, {WidenAscii(LUMAREST_VERSION_TEXT)});
}

std::wstring Verdict(const Examination& e, Language l) {
  // Run before installing (from the release folder, say): the question is
  // whether this laptop can be switched at all, not what a controller that
  // is not here would do.
  if (e.NothingInstalled()) {
    if (e.Capable()) return Say(Text::kVerdictNotInstalledCapable, l, {Number(e.dcRate)});
    return Say(Text::kVerdictNotInstalledIncapable, l, {CapabilityBlockedBy(e, l)});
  }
  for (Condition c : kConditions)
    if (e.Fails(c)) return Say(Text::kVerdictBlocked, l, {BlockedBy(e, c, l)});
  if (e.power == PowerSource::kUnreadable) return Say(Text::kVerdictUnknownPower, l);
  if (!e.due)
    return Say(e.acdcFile.mark[0] == '2' ? Text::kVerdictNotDueByHand : Text::kVerdictNotDueMarks, l);
  const std::wstring dc = Number(e.dcRate);
  if (e.power == PowerSource::kMains) return Say(Text::kVerdictMains, l, {dc});
  const std::optional<DWORD> current = e.CurrentRate();
  if (!current) return Say(Text::kVerdictBatterySwitchTo, l, {dc});
  if (*current == static_cast<DWORD>(e.dcRate)) return Say(Text::kVerdictBatteryAlready, l, {dc});
  return Say(Text::kVerdictBatterySwitch, l, {Number(*current), dc});
}

std::wstring VerdictHint(const Examination& e, Language l) {
  if (!e.Qualifies() || e.power == PowerSource::kUnreadable || e.due) return {};
  return Say(Text::kHintNotDue, l);
}
