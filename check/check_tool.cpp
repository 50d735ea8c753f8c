// RunCheckTool: reads the command line, examines the machine, prints the
// answer and says with the exit code whether the machine qualifies.
#include "check/check_tool.h"

#include <new>

#include "check/examination.h"
#include "check/report.h"
#include "check/text_encoding.h"
#include "check/texts.h"
#include "platform/hresult_error.h"

namespace {

struct Options {
  bool json = false;
  bool health = false;
  bool help = false;
  bool languageGiven = false;
  Language language = Language::kEnglish;
};

// Reads the arguments; on a mistake returns false with the one-line message.
bool Parse(const std::vector<std::wstring>& arguments, Options* o, std::wstring* error) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& a = arguments[i];
    if (a == L"--json" || a == L"--health") {
      // One answer for a machine at a time: both at once is a mistake.
      if (o->json || o->health) {
        *error = Say(Text::kJsonOrHealth, o->language);
        return false;
      }
      (a == L"--json" ? o->json : o->health) = true;
    } else if (a == L"--help" || a == L"-h" || a == L"/?") {
      o->help = true;
    } else if (a == L"--lang" || a.rfind(L"--lang=", 0) == 0) {
      std::wstring value;
      if (a == L"--lang") {
        if (i + 1 == arguments.size()) {
          *error = Say(Text::kLanguageMissing, o->language);
          return false;
        }
        value = arguments[++i];
      } else {
        value = a.substr(7);
      }
      if (SameIgnoringAsciiCase(value, L"en")) {
        o->language = Language::kEnglish;
      } else if (SameIgnoringAsciiCase(value, L"zh-TW")) {
        o->language = Language::kTraditionalChinese;
      } else {
        *error = Say(Text::kUnknownLanguage, o->language, {value});
        return false;
      }
      o->languageGiven = true;
    } else {
      *error = Say(Text::kUnknownArgument, o->language, {a});
      return false;
    }
  }
  return true;
}

std::wstring HexCode(HRESULT code) { return HexText(static_cast<unsigned long>(code), 8); }

}  // namespace

int RunCheckTool(const std::vector<std::wstring>& arguments, LANGID uiLanguage, ToolOutput& out) {
  Options options;
  options.language = LanguageForUi(uiLanguage);
  std::wstring error;
  if (!Parse(arguments, &options, &error)) {
    out.Error(error + L"\n" + Say(Text::kUsage, options.language));
    return kUsageOrNoMemory;
  }
  if (options.help) {
    out.Text(Say(Text::kUsage, options.language));
    return kQualifies;
  }

  // The JSON is for machines: English details unless a language is asked for.
  const Language language = options.json && !options.languageGiven ? Language::kEnglish : options.language;
  try {
    const Examination e = ExamineMachine();
    if (options.health) {
      // Fleet tools keep one line of a script's output: English, whatever
      // --lang says, and the exit code says healthy or not.
      out.Bytes(FormatHealthLine(e) + "\n");
      return e.HealthValue() == Health::kHealthy ? kHealthy : kUnhealthy;
    }
    if (options.json) {
      out.Bytes(FormatJson(e, language));
    } else {
      out.Text(FormatReport(e, language));
      if (out.OwnsConsoleWindow()) {
        out.Text(L"\n" + std::wstring(Say(Text::kPressAnyKey, language)) + L"\n");
        out.WaitForKey();
      }
    }
    return e.Qualifies() ? kQualifies : kConditionFails;
  } catch (const HresultError& failure) {
    out.Error(Say(Text::kOutOfMemory, language, {HexCode(failure.code)}) + L"\n");
  } catch (const std::bad_alloc&) {
    out.Error(Say(Text::kOutOfMemory, language, {HexCode(E_OUTOFMEMORY)}) + L"\n");
  }
  return kUsageOrNoMemory;
}
