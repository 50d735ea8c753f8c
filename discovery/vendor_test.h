// The Intel vendor test of the display probes and the range discovery:
// the first five UTF-16 code units are exactly "Intel", compared one by one,
// case-sensitive, nothing after the fifth looked at. `length` bounds the
// text (units available), so a short or unterminated text cannot be read
// past its end.
#pragma once

#include <cstddef>

inline bool BeginsWithIntel(const wchar_t* text, std::size_t length) {
  static const wchar_t kIntel[5] = {L'I', L'n', L't', L'e', L'l'};
  if (text == nullptr || length < 5) return false;
  for (std::size_t i = 0; i < 5; ++i)
    if (text[i] != kIntel[i]) return false;
  return true;
}
