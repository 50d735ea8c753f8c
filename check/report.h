// The two forms of lumarest-check's answer: a report for a person and one
// JSON object for fleet tools.
#pragma once

#include <string>

#include "check/examination.h"
#include "check/texts.h"

// One line per condition with a mark for pass or fail and what was found,
// the places it was found in, for a failure what can be done; then the
// facts around the conditions, and the verdict last.
std::wstring FormatReport(const Examination& e, Language language);

// The --health line: at most kHealthLineLimit characters of printable
// ASCII, without its line end (all that Intune shows of a script's output).
constexpr std::size_t kHealthLineLimit = 2048;
std::string FormatHealthLine(const Examination& e);

// Keys in English whatever the language; the details in `language`.
std::string FormatJson(const Examination& e, Language language);
