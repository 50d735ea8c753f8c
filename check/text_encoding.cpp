// QuoteForPerson, Utf8 and JsonString.
#include "check/text_encoding.h"

#include <cstdio>

namespace {

bool IsHigh(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Walks the text as code points; unpaired surrogates come out as U+FFFD.
template <class Visit>
void ForEachCodePoint(std::wstring_view text, Visit visit) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
      visit(0x10000u + ((static_cast<char32_t>(c) - 0xD800u) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00u));
      ++i;
    } else if (IsHigh(c) || IsLow(c)) {
      visit(U'\xFFFD');
    } else {
      visit(static_cast<char32_t>(c));
    }
  }
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUnitEscape(std::string& out, unsigned unit) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", unit & 0xFFFFu);
  out += escape;
}

}  // namespace

std::wstring QuoteForPerson(std::wstring_view text) {
  std::wstring out = L"\"";
  ForEachCodePoint(text, [&](char32_t c) {
    switch (c) {
      case U'"': out += L"\\\""; return;
      case U'\\': out += L"\\\\"; return;
      case U'\n': out += L"\\n"; return;
      case U'\r': out += L"\\r"; return;
      case U'\t': out += L"\\t"; return;
      default: break;
    }
    // C0 and C1 controls and DEL: escape sequences and cursor movements.
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      static const wchar_t kHex[] = L"0123456789abcdef";
      out += L"\\x";
      out += kHex[(c >> 4) & 0xF];
      out += kHex[c & 0xF];
    } else if (c >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(c);
    }
  });
  return out + L"\"";
}

std::wstring WidenAscii(std::string_view text) { return std::wstring(text.begin(), text.end()); }

std::wstring HexText(unsigned long value, int digits) {
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring out;
  do {
    out.insert(out.begin(), kHex[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(out.size()) < digits) out.insert(0, static_cast<std::size_t>(digits) - out.size(), L'0');
  return out;
}

std::string Utf8(std::wstring_view text) {
  std::string out;
  ForEachCodePoint(text, [&](char32_t c) { AppendUtf8(out, c); });
  return out;
}

std::string JsonString(std::wstring_view text) {
  std::string out = "\"";
  ForEachCodePoint(text, [&](char32_t c) {
    switch (c) {
      case U'"': out += "\\\""; return;
      case U'\\': out += "\\\\"; return;
      case U'\n': out += "\\n"; return;
      case U'\r': out += "\\r"; return;
      case U'\t': out += "\\t"; return;
      case U'\b': out += "\\b"; return;
      case U'\f': out += "\\f"; return;
      default: break;
    }
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else if (c >= 0x10000) {
      AppendUnitEscape(out, 0xD800 + ((c - 0x10000) >> 10));
      AppendUnitEscape(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      AppendUnitEscape(out, static_cast<unsigned>(c));
    }
  });
  return out + "\"";
}

bool SameIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
  const auto folded = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (folded(a[i]) != folded(b[i])) return false;
  return true;
}
