// ReadDynamicRefresh: one read of the display configuration.
#include "check/dynamic_refresh.h"

#include <vector>

#include "platform/os_calls.h"

namespace {

// Windows 11's additions, which older headers lack: QueryDisplayConfig's
// QDC_VIRTUAL_REFRESH_RATE_AWARE and the path flag
// DISPLAYCONFIG_PATH_BOOST_REFRESH_RATE ("Dynamic refresh rate").
constexpr UINT32 kVirtualRefreshRateAware = 0x00000040;
constexpr UINT32 kPathBoostRefreshRate = 0x00000010;

// A laptop has a handful of paths; more than this is no configuration to read.
constexpr UINT32 kPathLimit = 64;
constexpr UINT32 kModeLimit = 128;
// The configuration can change between the size query and the read
// (ERROR_INSUFFICIENT_BUFFER); it is asked again, a few times at most.
constexpr int kAttempts = 3;

// Whole hertz, as EnumDisplaySettingsW lists them (59.94 Hz is 59).
std::optional<DWORD> Hertz(const DISPLAYCONFIG_RATIONAL& rate) {
  if (rate.Denominator == 0) return std::nullopt;
  return static_cast<DWORD>(rate.Numerator / rate.Denominator);
}

bool IsPrimary(const DISPLAYCONFIG_PATH_INFO& path, const std::vector<DISPLAYCONFIG_MODE_INFO>& modes) {
  const UINT32 source = path.sourceInfo.modeInfoIdx;
  return source < modes.size() && modes[source].infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE &&
         modes[source].sourceMode.position.x == 0 && modes[source].sourceMode.position.y == 0;
}

}  // namespace

DynamicRefreshSeen ReadDynamicRefresh() {
  DynamicRefreshSeen seen;
  const UINT32 flags = QDC_ONLY_ACTIVE_PATHS | kVirtualRefreshRateAware;
  std::vector<DISPLAYCONFIG_PATH_INFO> paths;
  std::vector<DISPLAYCONFIG_MODE_INFO> modes;
  for (int attempt = 1;; ++attempt) {
    UINT32 pathCount = 0, modeCount = 0;
    if (os.GetDisplayConfigBufferSizes(flags, &pathCount, &modeCount) != ERROR_SUCCESS) return seen;
    if (pathCount > kPathLimit || modeCount > kModeLimit) return seen;
    paths.assign(pathCount, DISPLAYCONFIG_PATH_INFO{});
    modes.assign(modeCount, DISPLAYCONFIG_MODE_INFO{});
    const LONG result = os.QueryDisplayConfig(flags, &pathCount, paths.data(), &modeCount, modes.data(), nullptr);
    if (result == ERROR_SUCCESS) {
      // The counts come back as what was filled.
      paths.resize(pathCount < paths.size() ? pathCount : paths.size());
      modes.resize(modeCount < modes.size() ? modeCount : modes.size());
      break;
    }
    if (result != ERROR_INSUFFICIENT_BUFFER || attempt == kAttempts) return seen;
  }

  const DISPLAYCONFIG_PATH_INFO* primary = nullptr;
  for (const DISPLAYCONFIG_PATH_INFO& path : paths)
    if ((path.flags & DISPLAYCONFIG_PATH_ACTIVE) && IsPrimary(path, modes)) {
      primary = &path;
      break;
    }
  if (primary == nullptr) return seen;

  seen.known = true;
  seen.dynamic = (primary->flags & kPathBoostRefreshRate) != 0;
  seen.reported = Hertz(primary->targetInfo.refreshRate);
  const UINT32 target = primary->targetInfo.modeInfoIdx;
  if (target < modes.size() && modes[target].infoType == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET)
    seen.physical = Hertz(modes[target].targetMode.targetVideoSignalInfo.vSyncFreq);
  return seen;
}
