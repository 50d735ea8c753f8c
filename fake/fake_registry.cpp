// The fake laptop's registry: keys under HKEY_LOCAL_MACHINE with values of
// any type, keys that refuse to open, and the ledger of open handles.
// Paths are kept in lower case, so lookups are case-insensitive as in the
// real registry; subkeys enumerate in that (sorted) order.
#include <algorithm>
#include <cstring>

#include "fake/fake_laptop.h"

namespace {

FakeLaptop& F() { return FakeLaptop::Active(); }

std::map<HKEY, std::wstring> handles;  // open fake handle -> key path
ULONG_PTR nextHandle = 0x7000;

// The path of a key handle: HKEY_LOCAL_MACHINE is the root (empty path);
// the users' hives are kept under "HKEY_USERS".
bool PathOf(HKEY key, std::wstring* path) {
  if (key == HKEY_LOCAL_MACHINE) {
    path->clear();
    return true;
  }
  if (key == HKEY_USERS) {
    *path = L"hkey_users";
    return true;
  }
  auto it = handles.find(key);
  if (it == handles.end()) return false;
  *path = it->second;
  return true;
}

std::wstring Join(const std::wstring& parent, LPCWSTR child) {
  std::wstring c = Lower(child ? child : L"");
  if (c.empty()) return parent;
  return parent.empty() ? c : parent + L"\\" + c;
}

// Hands out a value as both query calls do: its size alone when there is no
// buffer, ERROR_MORE_DATA and the size needed when it does not fit.
LSTATUS CopyOut(DWORD storedType, const std::vector<BYTE>& bytes, LPDWORD type, void* data, LPDWORD size) {
  const DWORD needed = static_cast<DWORD>(bytes.size());
  if (type) *type = storedType;
  if (data == nullptr) {
    if (size) *size = needed;
    return ERROR_SUCCESS;
  }
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (needed) std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI FakeRegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY out) {
  FakeLaptop& fake = F();
  std::wstring base;
  const bool known = PathOf(root, &base);
  const std::wstring path = Join(base, subKey);
  fake.Log(kOsCallNames.RegOpenKeyExW, Narrow(path) + " options=" + std::to_string(options) +
                                " access=0x" + Hex(access));
  *out = nullptr;
  if (!known) return ERROR_INVALID_HANDLE;
  if (fake.Failable(kOsCallNames.RegOpenKeyExW)) return ERROR_ACCESS_DENIED;
  auto it = fake.registry.keys.find(path);
  if (it == fake.registry.keys.end()) return ERROR_FILE_NOT_FOUND;
  if (it->second.unreadable) return ERROR_ACCESS_DENIED;
  HKEY handle = reinterpret_cast<HKEY>(nextHandle++);
  handles[handle] = path;
  fake.registry.openKeys.insert(handle);
  *out = handle;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI FakeRegCloseKey(HKEY key) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.RegCloseKey);
  if (handles.erase(key) == 0) return ERROR_INVALID_HANDLE;
  fake.registry.openKeys.erase(key);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI FakeRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                    LPBYTE data, LPDWORD size) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.RegQueryValueExW, Narrow(name ? name : L"") + " size=" + (size ? std::to_string(*size) : "-"));
  std::wstring path;
  if (!PathOf(key, &path)) return ERROR_INVALID_HANDLE;
  if (fake.Failable(kOsCallNames.RegQueryValueExW)) return ERROR_ACCESS_DENIED;
  const FakeRegistryKey& k = fake.registry.keys[path];
  auto v = k.values.find(Lower(name ? name : L""));
  if (v == k.values.end()) return ERROR_FILE_NOT_FOUND;
  return CopyOut(v->second.type, v->second.data, type, data, size);
}

LSTATUS WINAPI FakeRegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength,
                                 LPDWORD reserved, LPWSTR className, LPDWORD classLength,
                                 PFILETIME written) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.RegEnumKeyExW, "#" + std::to_string(index) + " length=" +
                                (nameLength ? std::to_string(*nameLength) : "-"));
  std::wstring path;
  if (!PathOf(key, &path)) return ERROR_INVALID_HANDLE;
  if (fake.Failable(kOsCallNames.RegEnumKeyExW)) return ERROR_ACCESS_DENIED;
  const std::vector<std::wstring> children = fake.KeyOrder(path);
  if (index >= children.size()) return ERROR_NO_MORE_ITEMS;
  const std::wstring& child = children[index];
  if (*nameLength <= child.size()) return ERROR_MORE_DATA;  // room for the terminator too
  std::copy(child.begin(), child.end(), name);
  name[child.size()] = 0;
  *nameLength = static_cast<DWORD>(child.size());
  return ERROR_SUCCESS;
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

bool TypeAllowed(DWORD flags, DWORD type) {
  switch (type) {
    case REG_NONE: return (flags & RRF_RT_REG_NONE) != 0;
    case REG_SZ: return (flags & RRF_RT_REG_SZ) != 0;
    case REG_EXPAND_SZ: return (flags & RRF_RT_REG_EXPAND_SZ) != 0;
    case REG_BINARY: return (flags & RRF_RT_REG_BINARY) != 0;
    case REG_DWORD: return (flags & RRF_RT_REG_DWORD) != 0;
    case REG_MULTI_SZ: return (flags & RRF_RT_REG_MULTI_SZ) != 0;
    case REG_QWORD: return (flags & RRF_RT_REG_QWORD) != 0;
    default: return (flags & RRF_RT_ANY) == RRF_RT_ANY;
  }
}

// RegGetValueW as documented: it opens the subkey itself, checks the type
// against the flags, and guarantees a terminator on string data, which
// needs room in the buffer.
LSTATUS WINAPI FakeRegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD flags, LPDWORD type,
                                PVOID data, LPDWORD size) {
  FakeLaptop& fake = F();
  std::wstring base;
  const bool known = PathOf(key, &base);
  const std::wstring path = Join(base, subKey);
  fake.Log(kOsCallNames.RegGetValueW, Narrow(path) + " " + Narrow(value ? value : L"") + " flags=0x" +
                               Hex(flags) +
                               " size=" + (size ? std::to_string(*size) : "-"));
  if (!known) return ERROR_INVALID_HANDLE;
  if (fake.Failable(kOsCallNames.RegGetValueW)) return ERROR_ACCESS_DENIED;
  auto k = fake.registry.keys.find(path);
  if (k == fake.registry.keys.end()) return ERROR_FILE_NOT_FOUND;
  if (k->second.unreadable) return ERROR_ACCESS_DENIED;
  auto v = k->second.values.find(Lower(value ? value : L""));
  if (v == k->second.values.end()) return ERROR_FILE_NOT_FOUND;
  const FakeRegistryValue& stored = v->second;
  if (!TypeAllowed(flags, stored.type)) return ERROR_UNSUPPORTED_TYPE;
  std::vector<BYTE> bytes = stored.data;
  if (IsText(stored.type)) {
    if (bytes.size() % 2) bytes.push_back(0);
    if (bytes.size() < 2 || bytes[bytes.size() - 1] != 0 || bytes[bytes.size() - 2] != 0) {
      bytes.push_back(0);
      bytes.push_back(0);
    }
  }
  return CopyOut(stored.type, bytes, type, data, size);
}

}  // namespace

std::vector<std::wstring> FakeLaptop::KeyOrder(const std::wstring& parent) const {
  std::vector<std::wstring> children;
  const std::wstring prefix = parent.empty() ? L"" : parent + L"\\";
  for (const auto& [path, key] : registry.keys) {
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
    const std::wstring rest = path.substr(prefix.size());
    if (rest.find(L'\\') == std::wstring::npos) children.push_back(rest);
  }
  return children;
}

FakeRegistryKey& FakeLaptop::Key(const std::wstring& path) {
  const std::wstring lower = Lower(path);
  for (std::size_t at = lower.find(L'\\'); at != std::wstring::npos; at = lower.find(L'\\', at + 1))
    registry.keys[lower.substr(0, at)];
  return registry.keys[lower];
}

void FakeLaptop::SetValue(const std::wstring& path, const std::wstring& name, DWORD type,
                          std::vector<BYTE> data) {
  Key(path).values[Lower(name)] = {type, std::move(data)};
}

void FakeLaptop::SetString(const std::wstring& path, const std::wstring& name, const std::wstring& text) {
  std::vector<BYTE> bytes((text.size() + 1) * sizeof(wchar_t));
  std::memcpy(bytes.data(), text.c_str(), bytes.size());
  SetValue(path, name, REG_SZ, std::move(bytes));
}

void FakeLaptop::SetDword(const std::wstring& path, const std::wstring& name, DWORD value) {
  std::vector<BYTE> bytes(4);
  std::memcpy(bytes.data(), &value, 4);
  SetValue(path, name, REG_DWORD, std::move(bytes));
}

void FakeLaptop::RemoveKey(const std::wstring& path) {
  const std::wstring lower = Lower(path);
  for (auto it = registry.keys.begin(); it != registry.keys.end();) {
    if (it->first == lower || it->first.rfind(lower + L"\\", 0) == 0)
      it = registry.keys.erase(it);
    else
      ++it;
  }
}

namespace {

// The plan's name, from the plans the fake knows by GUID.
DWORD WINAPI FakePowerReadFriendlyName(HKEY root, const GUID* scheme, const GUID* subgroup, const GUID* setting,
                                       PUCHAR buffer, LPDWORD size) {
  FakeLaptop& fake = FakeLaptop::Active();
  wchar_t text[40] = L"";
  if (scheme != nullptr)
    swprintf(text, 40, L"%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", static_cast<unsigned long>(scheme->Data1),
             scheme->Data2, scheme->Data3, scheme->Data4[0], scheme->Data4[1], scheme->Data4[2], scheme->Data4[3],
             scheme->Data4[4], scheme->Data4[5], scheme->Data4[6], scheme->Data4[7]);
  fake.Log(kOsCallNames.PowerReadFriendlyName, Narrow(text) + (buffer ? " buffer" : " size"));
  if (root != nullptr || subgroup != nullptr || setting != nullptr || size == nullptr) return ERROR_INVALID_PARAMETER;
  if (fake.Failable(kOsCallNames.PowerReadFriendlyName)) return ERROR_ACCESS_DENIED;
  auto plan = fake.registry.powerPlanNames.find(text);
  if (plan == fake.registry.powerPlanNames.end()) return ERROR_FILE_NOT_FOUND;
  const DWORD needed = static_cast<DWORD>((plan->second.size() + 1) * sizeof(wchar_t));
  if (buffer == nullptr) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(buffer, plan->second.c_str(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

}  // namespace

void FakeLaptop::InstallRegistry() {
  os.PowerReadFriendlyName = FakePowerReadFriendlyName;
  handles.clear();
  os.RegOpenKeyExW = FakeRegOpenKeyExW;
  os.RegCloseKey = FakeRegCloseKey;
  os.RegQueryValueExW = FakeRegQueryValueExW;
  os.RegEnumKeyExW = FakeRegEnumKeyExW;
  os.RegGetValueW = FakeRegGetValueW;
}
