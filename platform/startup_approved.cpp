// Reads the Startup apps records of the Run value (see startup_approved.h).
#include "platform/startup_approved.h"

#include <cwchar>

namespace {

// The package's Run value is in the 32-bit view of HKLM\...\Run on 64-bit
// Windows, and Explorer records the switch for such a value under Run32;
// on 32-bit Windows it is the plain Run value, recorded under Run. Both are
// read, so the same code answers on either.
const wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
const wchar_t* const kRecordKeys[] = {L"Run32", L"Run"};

// Explorer's records are 12 bytes (a flag word, then a time). A value that
// does not fit here is not one of them, and is not read.
const DWORD kRecordLimit = 256;

bool RecordTurnedOff(const StartupRegistry& registry, HKEY root, const wchar_t* path) {
  HKEY key = nullptr;
  // Explorer is a native process: on 64-bit Windows its records are in the
  // 64-bit view, which a 32-bit program must ask for (ignored on 32-bit
  // Windows).
  if (registry.RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return false;
  BYTE data[kRecordLimit];
  DWORD size = sizeof data;
  DWORD type = REG_NONE;
  const LSTATUS status = registry.RegQueryValueExW(key, kRunValueName, nullptr, &type, data, &size);
  registry.RegCloseKey(key);
  // On ERROR_MORE_DATA the buffer's contents are undefined: not a record.
  return status == ERROR_SUCCESS && RecordSaysTurnedOff(type, data, size < sizeof data ? size : sizeof data);
}

}  // namespace

bool RecordSaysTurnedOff(DWORD type, const BYTE* data, DWORD size) {
  return type == REG_BINARY && size >= 1 && (data[0] & 1) != 0;
}

bool StartupTurnedOff(const StartupRegistry& registry, const wchar_t* userSid) {
  // The paths are put together in fixed buffers: the starter holds a token
  // and the SID text meanwhile, and nothing here may throw. A SID's text is
  // at most 184 characters; one that does not fit is read as no record.
  const int limit = 512;
  for (const wchar_t* record : kRecordKeys) {
    wchar_t path[limit] = L"";
    int length = 0;
    if (userSid != nullptr) {
      length = std::swprintf(path, limit, L"%ls\\%ls%ls", userSid, kApprovedKey, record);
      if (length > 0 && length < limit - 1 && RecordTurnedOff(registry, HKEY_USERS, path)) return true;
    }
    length = std::swprintf(path, limit, L"%ls%ls", kApprovedKey, record);
    if (length > 0 && length < limit - 1 && RecordTurnedOff(registry, HKEY_LOCAL_MACHINE, path)) return true;
  }
  return false;
}
