// Text from outside (adapter descriptions, controller names, driver
// providers) may hold quotes, control characters or unpaired UTF-16
// surrogates. These turn it into something safe to show and to parse.
#pragma once

#include <string>
#include <string_view>

// The text in double quotes for a person: quotes, backslashes and control
// characters escaped (\", \\, \n, \r, \t, \xNN), unpaired surrogates shown
// as U+FFFD. Nothing in it can move a terminal's cursor or end the quote.
std::wstring QuoteForPerson(std::wstring_view text);

// Equal but for the case of ASCII letters: how the tool compares its
// command line's words and file names (as Windows compares paths here).
bool SameIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);

// ASCII text (paths, names, the version) as UTF-16.
std::wstring WidenAscii(std::string_view text);

// A number in lower-case hexadecimal, without 0x, at least `digits` long.
std::wstring HexText(unsigned long value, int digits = 1);

// UTF-8 of UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string Utf8(std::wstring_view text);

// A JSON string, quotes included, in plain ASCII: every character outside
// printable ASCII is a \u escape (a pair for characters beyond the BMP), so
// the object reads the same whatever code page a console or a script uses.
// An unpaired surrogate becomes \ufffd.
std::string JsonString(std::wstring_view text);
