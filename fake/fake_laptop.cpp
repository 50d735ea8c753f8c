// The fake laptop's core: the call log, the virtual clock, fault injection,
// the ledger, power and the named mutex. The other subsystems live in their
// own files (fake_window.cpp, fake_display.cpp, fake_registry.cpp,
// fake_wmi.cpp, fake_files.cpp).
#include "fake/fake_laptop.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace {

FakeLaptop* active = nullptr;

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags) {
  FakeLaptop::Active().Log(kOsCallNames.SetDefaultDllDirectories, std::to_string(flags));
  return TRUE;
}

BOOL WINAPI FakeGetSystemPowerStatus(LPSYSTEM_POWER_STATUS status) {
  FakeLaptop& fake = FakeLaptop::Active();
  fake.Log(kOsCallNames.GetSystemPowerStatus);
  if (fake.Failable(kOsCallNames.GetSystemPowerStatus) || fake.powerStatusFails) {
    fake.lastError = ERROR_GEN_FAILURE;
    return FALSE;
  }
  *status = {};
  status->ACLineStatus = fake.acLineStatus;
  status->BatteryFlag = fake.acLineStatus == 1 ? 8 : 0;
  status->BatteryLifePercent = 80;
  status->BatteryLifeTime = static_cast<DWORD>(-1);
  status->BatteryFullLifeTime = static_cast<DWORD>(-1);
  return TRUE;
}

void WINAPI FakeSleep(DWORD milliseconds) {
  FakeLaptop& fake = FakeLaptop::Active();
  fake.now += milliseconds;
  fake.Log(kOsCallNames.Sleep, std::to_string(milliseconds));
}

HANDLE FakeMutexHandle() { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x4d00)); }

HANDLE WINAPI FakeOpenMutexW(DWORD access, BOOL inherit, LPCWSTR name) {
  FakeLaptop& fake = FakeLaptop::Active();
  fake.Log(kOsCallNames.OpenMutexW, Narrow(name ? name : L"") + " access=" + std::to_string(access));
  if (fake.openMutexHandle != nullptr) return fake.openMutexHandle;
  // Behave like Windows: an open that asks for no access is refused, even
  // when the mutex exists.
  fake.lastError = fake.mutexes.count(name ? name : L"") ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  if (access != 0 && fake.mutexes.count(name ? name : L"")) return FakeMutexHandle();
  return nullptr;
}

HANDLE WINAPI FakeCreateMutexW(LPSECURITY_ATTRIBUTES, BOOL owned, LPCWSTR name) {
  FakeLaptop& fake = FakeLaptop::Active();
  const std::wstring key = name ? name : L"";
  fake.Log(kOsCallNames.CreateMutexW, Narrow(key) + (owned ? " owned" : ""));
  if (fake.Failable(kOsCallNames.CreateMutexW)) {
    fake.lastError = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  fake.lastError = fake.mutexes.count(key) ? ERROR_ALREADY_EXISTS : 0;
  fake.mutexes.insert(key);
  return FakeMutexHandle();
}

DWORD WINAPI FakeGetLastError() {
  FakeLaptop& fake = FakeLaptop::Active();
  fake.Log(kOsCallNames.GetLastError);
  return fake.lastErrorOverride ? *fake.lastErrorOverride : fake.lastError;
}

BOOL WINAPI FakeCloseHandle(HANDLE handle) {
  FakeLaptop::Active().Log(kOsCallNames.CloseHandle);
  if (FakeCloseProcessHandle(handle)) return TRUE;
  return FakeCloseFileOrToken(handle);
}

}  // namespace

FakeLaptop::FakeLaptop(unsigned layers)
    : windowToCreate(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1000))),
      saved_(os),
      layers_(layers) {
  if (active != nullptr) throw std::logic_error("only one FakeLaptop at a time");
  active = this;
  adapters.push_back({L"Intel(R) UHD Graphics 620", {3}});
  if (layers & kHardware) InstallHardware();
  if (layers & kWindowSystem) InstallWindowSystem();
}

FakeLaptop::~FakeLaptop() {
  os = saved_;
  active = nullptr;
}

FakeLaptop& FakeLaptop::Active() {
  if (active == nullptr) std::abort();  // a fake call with no fake laptop
  return *active;
}

void FakeLaptop::InstallHardware() {
  os.SetDefaultDllDirectories = FakeSetDefaultDllDirectories;
  os.OpenMutexW = FakeOpenMutexW;
  os.CreateMutexW = FakeCreateMutexW;
  os.GetLastError = FakeGetLastError;
  os.CloseHandle = FakeCloseHandle;
  os.GetSystemPowerStatus = FakeGetSystemPowerStatus;
  os.Sleep = FakeSleep;
  InstallDisplay();
  InstallRegistry();
  InstallWmi();
  InstallFiles();
  InstallSessions();
}

void FakeLaptop::Log(const char* name, std::string detail) {
  calls.push_back({name, std::move(detail), now});
  if (onCall) onCall(calls.back());
}

bool FakeLaptop::Failable(const char* name) {
  ++failableCalls;
  failableLog.push_back(name);
  const bool fail = failableCalls == failAt;
  if (fail) {
    injectedFailure = true;
    Log("FAULT", name);
  }
  return fail;
}

int FakeLaptop::FailableIndex(const std::string& name, int nth) const {
  for (std::size_t i = 0; i < failableLog.size(); ++i)
    if (failableLog[i] == name && --nth == 0) return static_cast<int>(i + 1);
  return 0;
}

std::size_t FakeLaptop::Count(const std::string& name) const {
  return static_cast<std::size_t>(
      std::count_if(calls.begin(), calls.end(), [&](const FakeCall& c) { return c.name == name; }));
}

std::vector<std::string> FakeLaptop::Names() const {
  std::vector<std::string> names;
  for (const FakeCall& c : calls) names.push_back(c.name);
  return names;
}

std::vector<std::string> FakeLaptop::Names(const std::vector<std::string>& keep) const {
  std::vector<std::string> names;
  for (const FakeCall& c : calls)
    if (std::find(keep.begin(), keep.end(), c.name) != keep.end()) names.push_back(c.name);
  return names;
}

std::uint64_t FakeLaptop::SleptSince(std::size_t firstCall) const {
  std::uint64_t total = 0;
  for (std::size_t i = firstCall; i < calls.size(); ++i)
    if (calls[i].name == "Sleep") total += std::stoull(calls[i].detail);
  return total;
}

std::vector<DWORD> FakeLaptop::Sleeps() const {
  std::vector<DWORD> sleeps;
  for (const FakeCall& c : calls)
    if (c.name == "Sleep") sleeps.push_back(static_cast<DWORD>(std::stoul(c.detail)));
  return sleeps;
}

std::string FakeLaptop::Leaks() const {
  std::ostringstream out;
  if (!openKeys.empty()) out << openKeys.size() << " registry key(s) open; ";
  if (!openFiles.empty()) out << openFiles.size() << " file(s) open; ";
  if (!openHandles.empty()) out << openHandles.size() << " file handle(s) open; ";
  if (!openTokens.empty()) out << openTokens.size() << " token(s) open; ";
  if (liveComObjects != 0) out << liveComObjects << " COM object(s) alive; ";
  if (liveBstrs != 0) out << liveBstrs << " BSTR(s) not freed; ";
  if (comEntries != 0) out << "COM entered " << comEntries << " time(s) more than left; ";
  if (!openProcessHandles.empty()) out << openProcessHandles.size() << " process or snapshot handle(s) open; ";
  if (!wtsBuffers.empty()) out << wtsBuffers.size() << " WTS buffer(s) not freed; ";
  if (!localTexts.empty()) out << localTexts.size() << " SID text(s) not freed; ";
  return out.str();
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += (c < 0x80) ? static_cast<char>(c) : '?';
  return out;
}

std::string Hex(unsigned long long value) {
  char text[24];
  snprintf(text, sizeof text, "%llx", value);
  return text;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return text;
}
