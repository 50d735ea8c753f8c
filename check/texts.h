// Every text lumarest-check shows a person, in English and in Traditional
// Chinese, from one table. Placeholders {0}, {1}... are filled in order of
// their numbers, so each language may place them where its grammar wants.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

enum class Language { kEnglish, kTraditionalChinese };

// Traditional Chinese for the user interface languages that write it
// (Chinese as used in Taiwan, Hong Kong and Macao), English for every other.
Language LanguageForUi(LANGID uiLanguage);

enum class Text {
  kTitle,
  kPass,
  kFail,
  kNotExamined,
  kWhatToDo,
  // rate_range
  kRangeFound,
  kRangeNone,
  kRangeNarrow,
  kRangeQueryFailed,
  kControllerLine,
  kControllerNotText,
  kControllerIntelKept,
  kControllerIntel,
  kControllerOther,
  kNoControllers,
  kControllersUpToTaken,
  kHintRange,
  // dc_rate_offered
  kOfferedYes,
  kOfferedNo,
  kOfferedNone,
  kOfferedUnreadable,
  kOfferedNotExamined,
  kHintOffered,
  // panel_active
  kPanelLine,
  kPanelNoAdapter,
  kPanelNoMonitor,
  kHintPanel,
  // no_external_display
  kExternalNone,
  kExternalFound,
  kAdapterLine,
  kAdapterIntel,
  kAdapterOther,
  kHintExternal,
  // power_scheme
  kSchemeActive,
  kSchemeExempt,
  kSchemeUnreadable,
  kHintScheme,
  kHintSchemeUnreadable,
  // driver_policy
  kPolicyAllows,
  kPolicyForbids,
  kPolicyNone,
  kPolicyClassUnreadable,
  kDriverLine,
  kDriverNoProvider,
  kDriverIntel,
  kDriverOther,
  kDriverValue,
  kDriverNoValue,
  kDriverUsed,
  kDriverKeysUpToTaken,
  kHintPolicy,
  kHintNoPolicy,
  // state_files
  kFilesReady,
  kFilesNotReady,
  kFileLine,
  kFileMissing,
  kFileUnreadable,
  kFileNotWritable,
  kFileWritable,
  kMarkText,
  kMarkNone,
  kMarkEmpty,
  kHintFiles,
  // the facts after the conditions
  kPowerLabel,
  kPowerMains,
  kPowerBattery,
  kPowerUnknown,
  kRateLabel,
  kRateValue,
  kRateUnknown,
  kMarksLabel,
  kMarksUnread,
  kMarksDue,
  kMarksNotDue,
  kControllerLabel,
  kControllerRuns,
  kControllerAbsent,
  kControllerAbsentStarts,
  kAutostartLabel,
  kAutostartYes,
  kAutostartNo,
  kCapableLabel,
  kCapableYes,
  kCapableNo,
  kInstalledLabel,
  kInstalledYes,
  kInstalledNothing,
  kInstalledPartly,
  kInstallFilesNotUsable,
  kInstallNoAutostart,
  // verdicts
  kVerdictLabel,
  kVerdictBlocked,
  kBlockedRange,
  kBlockedNotOffered,
  kBlockedModesUnreadable,
  kBlockedPanel,
  kBlockedExternal,
  kBlockedSchemeExempt,
  kBlockedSchemeUnreadable,
  kBlockedPolicy,
  kBlockedNoPolicy,
  kBlockedFiles,
  kVerdictUnknownPower,
  kVerdictNotDueByHand,
  kVerdictNotDueMarks,
  kVerdictBatterySwitch,
  kVerdictBatterySwitchTo,
  kVerdictBatteryAlready,
  kVerdictMains,
  kVerdictNotInstalledCapable,
  kVerdictNotInstalledIncapable,
  kHintNotDue,
  kPressAnyKey,
  // the signed-in users' sessions, and the health of the installation
  kSessionsLabel,
  kSessionsNone,
  kSessionLine,
  kSessionUserUnknown,
  kSessionRuns,
  kSessionNoController,
  kSessionTurnedOff,
  kSessionNotRead,
  kSessionsUnlisted,
  kHealthLabel,
  kHealthUsersNone,
  kHealthUsersOne,
  kHealthUsersMany,
  kHealthControllersOne,
  kHealthControllersMany,
  kHealthTurnedOff,
  kHealthSessionMissing,
  kHealthSessionNotRead,
  kHealthNothingInstalled,
  kHealthCapable,
  kHealthNotCapable,
  kHealthVersion,
  kJsonOrHealth,
  // the command line
  kUsage,
  kUnknownArgument,
  kLanguageMissing,
  kUnknownLanguage,
  kOutOfMemory,
  kCount
};

// The text in that language.
const wchar_t* Say(Text text, Language language);

// The text with its placeholders filled in.
std::wstring Say(Text text, Language language, std::initializer_list<std::wstring> values);
