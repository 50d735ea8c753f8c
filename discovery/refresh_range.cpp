// DiscoverRefreshRange and SnapToNominalRate.
//
// Controllers report their range in odd values (47, 59, 143...); the
// nominal rates are what the panel is actually switched between. The walk
// over the query's result stops as soon as the stored raw range is complete,
// so a later run (after an external display went away) normally reads just
// the first controller listed.
#include "discovery/refresh_range.h"

#include <wbemidl.h>

#include "app/controller_state.h"
#include "app/waits.h"
#include "discovery/vendor_test.h"
#include "platform/hresult_error.h"
#include "platform/os_calls.h"

namespace {

struct NominalWindow {
  std::uint32_t low;  // the window is low .. low + 6, both inclusive
  std::int32_t nominal;
};

constexpr NominalWindow kNominalRates[] = {
    {27, 30}, {37, 40}, {45, 48}, {57, 60}, {97, 100}, {117, 120}, {141, 144}, {241, 244}};

// A rate property as the controller stores it: any integer VARIANT, taken as
// its 32-bit pattern; null, strings and everything else count as 0. A 64-bit
// value outside the 32-bit range is no rate at all.
std::uint32_t RateOf(const VARIANT& value) {
  switch (value.vt) {
    case VT_I1: return static_cast<std::uint32_t>(static_cast<std::int32_t>(value.cVal));
    case VT_UI1: return value.bVal;
    case VT_I2: return static_cast<std::uint32_t>(static_cast<std::int32_t>(value.iVal));
    case VT_UI2: return value.uiVal;
    case VT_I4: return static_cast<std::uint32_t>(value.lVal);
    case VT_UI4: return value.ulVal;
    case VT_INT: return static_cast<std::uint32_t>(value.intVal);
    case VT_UINT: return value.uintVal;
    case VT_I8:
      return value.llVal >= INT32_MIN && value.llVal <= static_cast<LONGLONG>(UINT32_MAX)
                 ? static_cast<std::uint32_t>(value.llVal)
                 : 0;
    case VT_UI8: return value.ullVal <= UINT32_MAX ? static_cast<std::uint32_t>(value.ullVal) : 0;
    default: return 0;
  }
}

bool IsIntelController(const VARIANT& name) {
  return name.vt == VT_BSTR && BeginsWithIntel(name.bstrVal, SysStringLen(name.bstrVal));
}

// COM is left only by a run whose own entry succeeded (S_OK or S_FALSE);
// leaving after a refused entry would take away another caller's.
void LeaveCom(bool entered) {
  if (entered) os.CoUninitialize();
}

}  // namespace

std::int32_t SnapToNominalRate(std::uint32_t rate) {
  for (const NominalWindow& w : kNominalRates)
    if (rate - w.low <= 6u) return w.nominal;  // unsigned: below the window wraps high
  return static_cast<std::int32_t>(rate);
}

void DiscoverRefreshRange() { DiscoverRefreshRange(nullptr); }

HRESULT DiscoverRefreshRange(VideoControllerObserver* observer) {
  const bool entered = SUCCEEDED(os.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  // Once per process is all COM accepts; later runs get RPC_E_TOO_LATE and
  // go on with the security set by the first.
  os.CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                          RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);

  IWbemLocator* locator = nullptr;
  HRESULT hr = os.CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                   reinterpret_cast<void**>(&locator));
  if (FAILED(hr) || locator == nullptr) {
    LeaveCom(entered);
    return FAILED(hr) ? hr : E_POINTER;
  }

  BSTR namespacePath = os.SysAllocString(L"ROOT\\CIMV2");
  if (namespacePath == nullptr) {
    locator->Release();
    LeaveCom(entered);
    RaiseHresult(E_OUTOFMEMORY);
  }
  IWbemServices* services = nullptr;
  hr = locator->ConnectServer(namespacePath, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
  os.SysFreeString(namespacePath);
  if (FAILED(hr) || services == nullptr) {
    locator->Release();
    LeaveCom(entered);
    return FAILED(hr) ? hr : E_POINTER;
  }

  os.CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);

  BSTR language = os.SysAllocString(L"WQL");
  BSTR query = language ? os.SysAllocString(L"SELECT * FROM Win32_VideoController") : nullptr;
  if (query == nullptr) {
    os.SysFreeString(language);
    services->Release();
    locator->Release();
    LeaveCom(entered);
    RaiseHresult(E_OUTOFMEMORY);
  }
  IEnumWbemClassObject* controllers = nullptr;
  hr = services->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                           nullptr, &controllers);
  os.SysFreeString(language);
  os.SysFreeString(query);
  if (FAILED(hr) || controllers == nullptr) {
    services->Release();
    locator->Release();
    LeaveCom(entered);
    return FAILED(hr) ? hr : E_POINTER;
  }

  VARIANT name, maxRefreshRate, minRefreshRate;
  os.VariantInit(&name);
  os.VariantInit(&maxRefreshRate);
  os.VariantInit(&minRefreshRate);
  for (;;) {
    IWbemClassObject* controller = nullptr;
    ULONG returned = 0;
    controllers->Next(static_cast<LONG>(WBEM_INFINITE), 1, &controller, &returned);
    if (returned == 0 || controller == nullptr) break;

    controller->Get(L"Name", 0, &name, nullptr, nullptr);
    VideoControllerRead read = {nullptr, 0, IsIntelController(name), 0, 0};
    if (read.intel) {
      controller->Get(L"MaxRefreshRate", 0, &maxRefreshRate, nullptr, nullptr);
      controllerState.rawMaxRefreshRate = read.rawMax = RateOf(maxRefreshRate);
      controller->Get(L"MinRefreshRate", 0, &minRefreshRate, nullptr, nullptr);
      controllerState.rawMinRefreshRate = read.rawMin = RateOf(minRefreshRate);
      controllerState.dcRate = SnapToNominalRate(controllerState.rawMinRefreshRate);
      controllerState.acRate = SnapToNominalRate(controllerState.rawMaxRefreshRate);
    }
    if (observer != nullptr) {
      if (name.vt == VT_BSTR) {
        // A null BSTR is the empty string.
        read.name = name.bstrVal != nullptr ? name.bstrVal : L"";
        read.length = SysStringLen(name.bstrVal);
      }
      observer->Controller(read);
    }
    os.VariantClear(&maxRefreshRate);
    os.VariantClear(&minRefreshRate);
    os.VariantClear(&name);
    controller->Release();

    // The stored range counts, earlier runs' included.
    if (controllerState.rawMaxRefreshRate != 0 && controllerState.rawMinRefreshRate != 0) break;
    os.Sleep(kControllerPaceMs);
  }

  controllers->Release();
  services->Release();
  locator->Release();
  LeaveCom(entered);
  return S_OK;
}
