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
  if (fake.Failable(kOsCallNames.GetSystemPowerStatus) || fake.power.powerStatusFails) {
    fake.kernel.lastError = ERROR_GEN_FAILURE;
    return FALSE;
  }
  *status = {};
  status->ACLineStatus = fake.power.acLineStatus;
  status->BatteryFlag = fake.power.acLineStatus == 1 ? 8 : 0;
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
  if (fake.kernel.openMutexHandle != nullptr) return fake.kernel.openMutexHandle;
  // Behave like Windows: an open that asks for no access is refused, even
  // when the mutex exists.
  fake.kernel.lastError = fake.kernel.mutexes.count(name ? name : L"") ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  if (access != 0 && fake.kernel.mutexes.count(name ? name : L"")) return FakeMutexHandle();
  return nullptr;
}

HANDLE WINAPI FakeCreateMutexW(LPSECURITY_ATTRIBUTES, BOOL owned, LPCWSTR name) {
  FakeLaptop& fake = FakeLaptop::Active();
  const std::wstring key = name ? name : L"";
  fake.Log(kOsCallNames.CreateMutexW, Narrow(key) + (owned ? " owned" : ""));
  if (fake.Failable(kOsCallNames.CreateMutexW)) {
    fake.kernel.lastError = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  fake.kernel.lastError = fake.kernel.mutexes.count(key) ? ERROR_ALREADY_EXISTS : 0;
  fake.kernel.mutexes.insert(key);
  return FakeMutexHandle();
}

DWORD WINAPI FakeGetLastError() {
  FakeLaptop& fake = FakeLaptop::Active();
  fake.Log(kOsCallNames.GetLastError);
  return fake.kernel.lastErrorOverride ? *fake.kernel.lastErrorOverride : fake.kernel.lastError;
}

BOOL WINAPI FakeCloseHandle(HANDLE handle) {
  FakeLaptop::Active().Log(kOsCallNames.CloseHandle);
  if (FakeCloseProcessHandle(handle)) return TRUE;
  return FakeCloseFileOrToken(handle);
}

}  // namespace

FakeLaptop::FakeLaptop(unsigned layers)
    : saved_(os),
      layers_(layers) {
  if (active != nullptr) throw std::logic_error("only one FakeLaptop at a time");
  active = this;
  display.adapters.push_back({L"Intel(R) UHD Graphics 620", {3}});
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
  if (!registry.openKeys.empty()) out << registry.openKeys.size() << " registry key(s) open; ";
  if (!files.openFiles.empty()) out << files.openFiles.size() << " file(s) open; ";
  if (!files.openHandles.empty()) out << files.openHandles.size() << " file handle(s) open; ";
  if (!files.openTokens.empty()) out << files.openTokens.size() << " token(s) open; ";
  if (wmi.liveComObjects != 0) out << wmi.liveComObjects << " COM object(s) alive; ";
  if (wmi.liveBstrs != 0) out << wmi.liveBstrs << " BSTR(s) not freed; ";
  if (wmi.comEntries != 0) out << "COM entered " << wmi.comEntries << " time(s) more than left; ";
  if (!users.openProcessHandles.empty()) out << users.openProcessHandles.size() << " process or snapshot handle(s) open; ";
  if (!users.wtsBuffers.empty()) out << users.wtsBuffers.size() << " WTS buffer(s) not freed; ";
  if (!users.localTexts.empty()) out << users.localTexts.size() << " SID text(s) not freed; ";
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
