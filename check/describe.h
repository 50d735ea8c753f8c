// What the report and the JSON say about an examination: each condition's
// findings, the facts around them and the one-sentence verdict, in either
// language.
#pragma once

#include <string>
#include <vector>

#include "check/examination.h"
#include "check/texts.h"

struct ConditionDetail {
  std::wstring summary;             // one line: what was found
  std::vector<std::wstring> lines;  // what it was found in: controllers, adapters, keys, files
  std::wstring hint;                // for a condition that fails: what the person can do
};

ConditionDetail DescribeCondition(const Examination& e, Condition condition, Language language);

// The whole detail on one line, as the JSON carries it.
std::wstring DetailOnOneLine(const ConditionDetail& detail);

std::wstring DescribePower(const Examination& e, Language language);
std::wstring DescribeCurrentRate(const Examination& e, Language language);
// Windows 11's Dynamic refresh rate when it is on; empty otherwise (off, or
// a Windows that does not say).
std::wstring DescribeDynamicRefresh(const Examination& e, Language language);
std::wstring DescribeMarks(const Examination& e, Language language);
std::wstring DescribeController(const Examination& e, Language language);
std::wstring DescribeAutostart(const Examination& e, Language language);
// Whether this laptop can be switched at all, and whether Lumarest is
// installed here: the two answers a fleet reads before the moment's.
std::wstring DescribeCapability(const Examination& e, Language language);
std::wstring DescribeInstallation(const Examination& e, Language language);

// Every signed-in user's session, one line each: its user, whether a
// controller runs there and whether that user turned Lumarest off.
std::vector<std::wstring> DescribeSessions(const Examination& e, Language language);
// The health value and why: "healthy: 2 signed-in users, 2 controllers".
std::wstring DescribeHealth(const Examination& e, Language language);
// The --health line before its length bound: the health, whether this
// laptop can be switched, the version. English, and nothing but printable
// ASCII: a user's name outside it is written as \uXXXX.
std::wstring DescribeHealthLine(const Examination& e);

// What the controller would do, in one sentence, and for a switch that is
// not due, what the person can do (empty otherwise).
std::wstring Verdict(const Examination& e, Language language);
std::wstring VerdictHint(const Examination& e, Language language);
