// The fake laptop's display: adapter entries with their monitors, and the
// panel on adapter 0 with its current mode and the rates it accepts.
#include <algorithm>

#include "fake/fake_laptop.h"

namespace {

FakeLaptop& F() { return FakeLaptop::Active(); }

std::wstring AdapterName(std::size_t index) { return L"\\\\.\\DISPLAY" + std::to_wstring(index + 1); }

template <std::size_t N>
void Copy(WCHAR (&target)[N], const std::wstring& text) {
  std::size_t n = std::min(text.size(), N - 1);
  std::copy_n(text.begin(), n, target);
  target[n] = 0;
}

BOOL WINAPI FakeEnumDisplayDevicesW(LPCWSTR device, DWORD index, PDISPLAY_DEVICEW record, DWORD flags) {
  FakeLaptop& fake = F();
  const std::wstring name = device ? device : L"";
  fake.Log(kOsCallNames.EnumDisplayDevicesW, (device ? Narrow(name) : std::string("adapters")) + " #" +
                                      std::to_string(index) + " flags=" + std::to_string(flags));
  // The system refuses a record whose size field was not set.
  if (record == nullptr || record->cb != sizeof(DISPLAY_DEVICEW)) return FALSE;
  if (fake.Failable(kOsCallNames.EnumDisplayDevicesW)) return FALSE;
  const DWORD cb = record->cb;
  if (device == nullptr) {
    if (index >= fake.display.adapters.size()) return FALSE;
    *record = {};
    record->cb = cb;
    Copy(record->DeviceName, AdapterName(index));
    Copy(record->DeviceString, fake.display.adapters[index].description);
    record->StateFlags = index == 0 ? (DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_PRIMARY_DEVICE) : 0;
    return TRUE;
  }
  for (std::size_t a = 0; a < fake.display.adapters.size(); ++a) {
    if (AdapterName(a) != name) continue;
    const std::vector<DWORD>& monitors = fake.display.adapters[a].monitorFlags;
    if (index >= monitors.size()) return FALSE;
    *record = {};
    record->cb = cb;
    Copy(record->DeviceName, name + L"\\Monitor" + std::to_wstring(index));
    Copy(record->DeviceString, L"Generic PnP Monitor");
    record->StateFlags = monitors[index];
    return TRUE;
  }
  return FALSE;
}

BOOL WINAPI FakeEnumDisplaySettingsW(LPCWSTR device, DWORD modeIndex, DEVMODEW* mode) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.EnumDisplaySettingsW, Narrow(device ? device : L"(null)") + " mode=" +
                                       std::to_string(static_cast<long>(modeIndex)));
  if (mode == nullptr || mode->dmSize != sizeof(DEVMODEW)) return FALSE;
  if (fake.Failable(kOsCallNames.EnumDisplaySettingsW) || fake.display.modeReadFails) return FALSE;
  if (fake.display.adapters.empty()) return FALSE;
  if (device != nullptr && AdapterName(0) != device) return FALSE;
  FakeMode answer = fake.display.mode;
  if (modeIndex != ENUM_CURRENT_SETTINGS) {
    const std::vector<FakeMode> listed = fake.ListedModes();
    if (modeIndex >= listed.size()) return FALSE;
    answer = listed[modeIndex];
  }
  const WORD size = mode->dmSize;
  *mode = {};
  mode->dmSize = size;
  mode->dmDriverExtra = 0;
  mode->dmSpecVersion = DM_SPECVERSION;
  mode->dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL | DM_DISPLAYFREQUENCY |
                   DM_DISPLAYFLAGS | DM_POSITION;
  mode->dmPelsWidth = answer.width;
  mode->dmPelsHeight = answer.height;
  mode->dmBitsPerPel = answer.bitsPerPixel;
  mode->dmDisplayFrequency = answer.rate;
  return TRUE;
}

LONG WINAPI FakeChangeDisplaySettingsW(DEVMODEW* mode, DWORD flags) {
  FakeLaptop& fake = F();
  char detail[96];
  snprintf(detail, sizeof detail, "%lux%lux%lu@%lu flags=%lu", mode ? mode->dmPelsWidth : 0ul,
           mode ? mode->dmPelsHeight : 0ul, mode ? mode->dmBitsPerPel : 0ul,
           mode ? mode->dmDisplayFrequency : 0ul, static_cast<unsigned long>(flags));
  fake.Log(kOsCallNames.ChangeDisplaySettingsW, detail);
  if (mode == nullptr) return DISP_CHANGE_BADPARAM;
  fake.display.submittedModes.push_back(*mode);
  if (fake.Failable(kOsCallNames.ChangeDisplaySettingsW)) return DISP_CHANGE_FAILED;
  if (fake.display.changeResult) return *fake.display.changeResult;
  if (mode->dmSize != sizeof(DEVMODEW)) return DISP_CHANGE_BADMODE;
  if (!fake.display.acceptedRates.empty() &&
      std::find(fake.display.acceptedRates.begin(), fake.display.acceptedRates.end(), mode->dmDisplayFrequency) ==
          fake.display.acceptedRates.end())
    return DISP_CHANGE_BADMODE;
  if (mode->dmPelsWidth != fake.display.mode.width || mode->dmPelsHeight != fake.display.mode.height ||
      mode->dmBitsPerPel != fake.display.mode.bitsPerPixel)
    return DISP_CHANGE_BADMODE;  // the panel has one resolution in this model
  fake.display.mode.rate = mode->dmDisplayFrequency;
  // The system tells every top-level window, before this call returns.
  if (fake.display.onModeChange) fake.display.onModeChange();
  return DISP_CHANGE_SUCCESSFUL;
}

// The display configuration: one active path, the panel's, with its source
// at the desktop's origin. Windows 11 alone takes
// QDC_VIRTUAL_REFRESH_RATE_AWARE (0x40); it then reports the rate programs
// see on the path, and the panel's own as the target mode's signal rate.
constexpr UINT32 kVirtualRefreshRateAware = 0x40;
constexpr UINT32 kBoostRefreshRate = 0x10;

LONG Unknown(UINT32 flags) {
  const UINT32 known = QDC_ALL_PATHS | QDC_ONLY_ACTIVE_PATHS | QDC_DATABASE_CURRENT | QDC_VIRTUAL_MODE_AWARE |
                       QDC_INCLUDE_HMD | (F().display.virtualRefreshRateAware ? kVirtualRefreshRateAware : 0);
  return (flags & ~known) != 0 ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

LONG WINAPI FakeGetDisplayConfigBufferSizes(UINT32 flags, UINT32* paths, UINT32* modes) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.GetDisplayConfigBufferSizes, "flags=0x" + Hex(flags));
  if (paths == nullptr || modes == nullptr) return ERROR_INVALID_PARAMETER;
  if (Unknown(flags) != ERROR_SUCCESS) return ERROR_INVALID_PARAMETER;
  if (fake.Failable(kOsCallNames.GetDisplayConfigBufferSizes)) return ERROR_ACCESS_DENIED;
  *paths = fake.display.adapters.empty() ? 0 : 1;
  *modes = fake.display.adapters.empty() ? 0 : 2;
  return ERROR_SUCCESS;
}

LONG WINAPI FakeQueryDisplayConfig(UINT32 flags, UINT32* pathCount, DISPLAYCONFIG_PATH_INFO* paths, UINT32* modeCount,
                                   DISPLAYCONFIG_MODE_INFO* modes, DISPLAYCONFIG_TOPOLOGY_ID* topology) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.QueryDisplayConfig, "flags=0x" + Hex(flags));
  if (pathCount == nullptr || modeCount == nullptr || paths == nullptr || modes == nullptr || topology != nullptr)
    return ERROR_INVALID_PARAMETER;
  if (Unknown(flags) != ERROR_SUCCESS) return ERROR_INVALID_PARAMETER;
  if (fake.Failable(kOsCallNames.QueryDisplayConfig)) return ERROR_ACCESS_DENIED;
  const UINT32 needPaths = fake.display.adapters.empty() ? 0 : 1, needModes = fake.display.adapters.empty() ? 0 : 2;
  if (*pathCount < needPaths || *modeCount < needModes) return ERROR_INSUFFICIENT_BUFFER;
  *pathCount = needPaths;
  *modeCount = needModes;
  if (needPaths == 0) return ERROR_SUCCESS;
  const bool aware = (flags & kVirtualRefreshRateAware) != 0;
  DISPLAYCONFIG_PATH_INFO& path = paths[0];
  path = {};
  path.flags = DISPLAYCONFIG_PATH_ACTIVE | (aware && fake.display.dynamicRefresh ? kBoostRefreshRate : 0);
  path.sourceInfo.modeInfoIdx = 0;
  path.targetInfo.modeInfoIdx = 1;
  path.targetInfo.targetAvailable = TRUE;
  path.targetInfo.refreshRate = {fake.display.mode.rate * 1000, 1000};
  modes[0] = {};
  modes[0].infoType = DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE;
  modes[0].sourceMode.width = fake.display.mode.width;
  modes[0].sourceMode.height = fake.display.mode.height;
  modes[0].sourceMode.position = {0, 0};
  modes[1] = {};
  modes[1].infoType = DISPLAYCONFIG_MODE_INFO_TYPE_TARGET;
  const DWORD physical = aware && fake.display.physicalRate != 0 ? fake.display.physicalRate : fake.display.mode.rate;
  modes[1].targetMode.targetVideoSignalInfo.vSyncFreq = {physical * 1000, 1000};
  return ERROR_SUCCESS;
}

}  // namespace

std::vector<FakeMode> FakeLaptop::ListedModes() const {
  if (!display.listedModes.empty()) return display.listedModes;
  std::vector<DWORD> rates = display.acceptedRates;
  if (rates.empty())
    for (DWORD r = 24; r <= 244; ++r) rates.push_back(r);
  rates.push_back(display.mode.rate);
  std::sort(rates.begin(), rates.end());
  rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
  std::vector<FakeMode> listed;
  for (DWORD r : rates) listed.push_back({display.mode.width, display.mode.height, display.mode.bitsPerPixel, r});
  return listed;
}

bool FakeLaptop::DisplayBesidesPanel() const {
  for (std::size_t a = 0; a < display.adapters.size(); ++a)
    for (std::size_t m = 0; m < display.adapters[a].monitorFlags.size(); ++m)
      if ((a != 0 || m != 0) && (display.adapters[a].monitorFlags[m] & DISPLAY_DEVICE_ACTIVE)) return true;
  return false;
}

void FakeLaptop::SetPanel(std::vector<DWORD> rates, DWORD current) {
  display.acceptedRates = std::move(rates);
  display.mode.rate = current;
}

void FakeLaptop::InstallDisplay() {
  os.EnumDisplayDevicesW = FakeEnumDisplayDevicesW;
  os.EnumDisplaySettingsW = FakeEnumDisplaySettingsW;
  os.ChangeDisplaySettingsW = FakeChangeDisplaySettingsW;
  os.GetDisplayConfigBufferSizes = FakeGetDisplayConfigBufferSizes;
  os.QueryDisplayConfig = FakeQueryDisplayConfig;
}
