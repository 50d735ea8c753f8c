// ReadDriverPowerPolicy: the first adapter subkey of the display-adapter
// device class whose driver provider is Intel and which carries a readable
// "DCUserPreferencePolicy". The driver owns these keys; they are only read.
#include "discovery/driver_policy.h"

#include <cwchar>
#include <cwctype>
#include <iterator>

#include "app/waits.h"
#include "platform/os_calls.h"

namespace {

// Control set 001 on purpose, not CurrentControlSet.
const wchar_t kDisplayAdapterClass[] =
    L"SYSTEM\\ControlSet001\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}";

constexpr DWORD kNameUnits = 260;       // 259 characters and the terminator
constexpr DWORD kProviderBytes = 2048;  // 1024 UTF-16 units

// The value may be of any type and need not hold a terminator: the text
// ends at the first NUL within the bytes the registry returned, never past them.
std::size_t ProviderLength(const wchar_t* text, DWORD bytesReturned) {
  const DWORD bytes = bytesReturned < kProviderBytes ? bytesReturned : kProviderBytes;
  return wcsnlen(text, bytes / sizeof(wchar_t));
}

// The provider text matches when, after white space is trimmed from both
// ends and the rest cut to five characters, it equals "Intel" ignoring the
// case of A to Z.
bool IsIntelProvider(const wchar_t* text, DWORD bytesReturned) {
  std::size_t end = ProviderLength(text, bytesReturned);
  std::size_t begin = 0;
  while (begin < end && iswspace(text[begin])) ++begin;
  while (end > begin && iswspace(text[end - 1])) --end;
  if (end - begin > 5) end = begin + 5;

  wchar_t normalised[6] = {};
  wmemcpy(normalised, text + begin, end - begin);
  return _wcsicmp(normalised, L"Intel") == 0;
}

}  // namespace

DriverPolicyResult ReadDriverPowerPolicy() { return ReadDriverPowerPolicy(nullptr); }

DriverPolicyResult ReadDriverPowerPolicy(DriverKeyObserver* observer) {
  HKEY classKey = nullptr;
  const LSTATUS opened = os.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDisplayAdapterClass, 0, KEY_READ, &classKey);
  if (opened != ERROR_SUCCESS) return {static_cast<std::int32_t>(opened), 0};

  wchar_t subkey[kNameUnits];
  wchar_t provider[kProviderBytes / sizeof(wchar_t)] = {};
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = kNameUnits;
    if (os.RegEnumKeyExW(classKey, index, subkey, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    subkey[kNameUnits - 1] = 0;

    DWORD type = 0;
    DWORD providerSize = kProviderBytes;
    DriverKeyRead read = {subkey, ERROR_SUCCESS, provider, 0, false, ERROR_FILE_NOT_FOUND, 0};
    read.providerStatus =
        os.RegGetValueW(classKey, subkey, L"ProviderName", RRF_RT_ANY, &type, provider, &providerSize);
    if (read.providerStatus == ERROR_SUCCESS) {
      read.providerLength = ProviderLength(provider, providerSize);
      read.intel = IsIntelProvider(provider, providerSize);
    }
    if (read.intel) {
      DWORD policy = 0;
      DWORD policySize = sizeof policy;
      read.policyStatus = os.RegGetValueW(classKey, subkey, L"DCUserPreferencePolicy", RRF_RT_ANY, &type,
                                          &policy, &policySize);
      if (read.policyStatus == ERROR_SUCCESS) read.policy = policy;
    }
    if (observer != nullptr) observer->Key(read);
    if (read.intel && read.policyStatus == ERROR_SUCCESS) {
      os.RegCloseKey(classKey);
      return {0, read.policy};
    }

    // Passed over: the next subkey starts from a clean buffer.
    wmemset(provider, 0, std::size(provider));
    os.Sleep(kDriverKeyPaceMs);
  }

  os.RegCloseKey(classKey);
  return {ERROR_NO_MORE_ITEMS, 0};
}
