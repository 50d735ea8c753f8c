// PowerPlanName: the GUID text as the registry holds it, read as a GUID,
// and the plan's name asked of Windows.
#include "check/power_plan_name.h"

#include <windows.h>

#include <vector>

#include "platform/os_calls.h"

namespace {

// A plan's name is a few dozen characters; a longer answer is not read.
constexpr DWORD kNameLimitBytes = 4096;

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", as "ActivePowerScheme" holds it.
bool ParseGuid(const std::wstring& text, GUID* guid) {
  if (text.size() != 36) return false;
  unsigned char bytes[16];
  std::size_t at = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != L'-') return false;
      ++i;
      continue;
    }
    const int hi = HexValue(text[i]), lo = HexValue(text[i + 1]);
    if (hi < 0 || lo < 0 || at == sizeof bytes) return false;
    bytes[at++] = static_cast<unsigned char>(hi * 16 + lo);
    i += 2;
  }
  guid->Data1 = (static_cast<unsigned long>(bytes[0]) << 24) | (static_cast<unsigned long>(bytes[1]) << 16) |
                (static_cast<unsigned long>(bytes[2]) << 8) | bytes[3];
  guid->Data2 = static_cast<unsigned short>((bytes[4] << 8) | bytes[5]);
  guid->Data3 = static_cast<unsigned short>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) guid->Data4[i] = bytes[8 + i];
  return true;
}

}  // namespace

std::wstring PowerPlanName(const std::wstring& schemeGuid) {
  GUID scheme;
  if (!ParseGuid(schemeGuid, &scheme)) return {};
  DWORD size = 0;
  if (os.PowerReadFriendlyName(nullptr, &scheme, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0 ||
      size > kNameLimitBytes)
    return {};
  // UTF-16 text and its terminator; read into a buffer a unit longer, so
  // that it ends in zeros whatever came back.
  std::vector<wchar_t> name(size / sizeof(wchar_t) + 1, L'\0');
  DWORD got = size;
  if (os.PowerReadFriendlyName(nullptr, &scheme, nullptr, nullptr, reinterpret_cast<PUCHAR>(name.data()), &got) !=
          ERROR_SUCCESS ||
      got > size)
    return {};
  std::wstring text(name.data(), wcsnlen(name.data(), got / sizeof(wchar_t)));
  return text;
}
