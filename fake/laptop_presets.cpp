// SetUpIrisLaptop: the machine of the fault sweep, the load-free handling
// benchmark and other whole-laptop runs.
#include "fake/laptop_presets.h"

#include "app/controller_state.h"
#include "app/window_proc.h"
#include "fake/registry_paths.h"

namespace {

const HWND kWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1000));

}  // namespace

void SetUpIrisLaptop(FakeLaptop& fake, const LaptopPreset& preset, const std::string& scratchTag) {
  controllerState = {};
  if (preset.started) {
    controllerState.rawMinRefreshRate = 47;
    controllerState.rawMaxRefreshRate = 144;
    controllerState.dcRate = 48;
    controllerState.acRate = 144;
  }
  fake.files.scratchFolder = MakeScratchFolder(scratchTag);
  fake.SetPanel({48, 60, 144}, preset.rate);
  fake.power.acLineStatus = preset.acLine;
  fake.wmi.controllers = {{FakeProperty::Text(L"NVIDIA GeForce MX450"), FakeProperty::Int(165), FakeProperty::Int(60)},
                      {FakeProperty::Text(L"Intel(R) Iris(R) Xe Graphics"), FakeProperty::Int(144),
                       FakeProperty::Int(47)}};
  fake.SetString(kPowerSchemesKey, L"ActivePowerScheme", L"381b4222-f694-41f0-9685-ff5bb260df2e");
  fake.SetString(kDisplayAdapterClassKey + L"\\0000", L"ProviderName", L"NVIDIA");
  fake.SetString(kDisplayAdapterClassKey + L"\\0001", L"ProviderName", L"Intel Corporation");
  fake.SetDword(kDisplayAdapterClassKey + L"\\0001", L"DCUserPreferencePolicy", 0);
  fake.SetFile("lasttimeACDC.txt", preset.acdc);
  fake.SetFile("lasttimeDCRefresh.txt", preset.refresh);
  WNDCLASSEXW c = {};
  c.lpfnWndProc = MainWindowProc;
  c.lpszClassName = L"LUMAREST";
  fake.window.registeredClass = c;
  fake.display.onModeChange = [] { MainWindowProc(kWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080)); };
}
