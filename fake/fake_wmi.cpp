// The fake laptop's COM and WMI: a locator, a services object, a forward-only
// enumerator and class objects over `controllers`. Each object counts its
// references and leaves the ledger when the last one goes; COM entries and
// BSTRs made through the seam are counted too. The calls that reach the WMI
// service's process are refused while a message another thread sent waits
// for its answer, as COM refuses them on Windows (see fake_laptop.h).
#include <cwchar>

#include "fake/fake_laptop.h"

#include <wbemidl.h>

namespace {

FakeLaptop& F() { return FakeLaptop::Active(); }

std::string Text(BSTR text) { return text ? Narrow(text) : std::string("(null)"); }

// Reference counting shared by the four fake interfaces.
template <class Interface>
class Counted : public Interface {
 public:
  Counted() { ++F().wmi.liveComObjects; }
  virtual ~Counted() { --F().wmi.liveComObjects; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    F().Log("Release", name_);
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  const char* name_ = "?";

 private:
  ULONG references_ = 1;
};

#define NOT_USED(...) HRESULT STDMETHODCALLTYPE __VA_ARGS__ override { return E_NOTIMPL; }

class FakeClassObject : public Counted<IWbemClassObject> {
 public:
  explicit FakeClassObject(FakeController controller) : controller_(std::move(controller)) {
    name_ = "object";
  }

  HRESULT STDMETHODCALLTYPE Get(LPCWSTR property, LONG flags, VARIANT* value, CIMTYPE* type,
                                LONG* flavor) override {
    FakeLaptop& fake = F();
    fake.Log("Get", Narrow(property ? property : L"") + " flags=" + std::to_string(flags) +
                        (type ? " type" : "") + (flavor ? " flavor" : ""));
    if (fake.Failable("Get")) return WBEM_E_FAILED;
    const std::wstring p = property ? property : L"";
    const FakeProperty* source = p == L"Name"             ? &controller_.name
                                 : p == L"MaxRefreshRate" ? &controller_.maxRefreshRate
                                 : p == L"MinRefreshRate" ? &controller_.minRefreshRate
                                                          : nullptr;
    if (source == nullptr) return WBEM_E_NOT_FOUND;
    // Get overwrites the holder; whatever it held before is the caller's
    // to have cleared.
    value->vt = source->type;
    switch (source->type) {
      case VT_NULL: case VT_EMPTY: break;
      case VT_BSTR:
        value->bstrVal = realOs.SysAllocString(source->text.c_str());
        ++fake.wmi.liveBstrs;
        break;
      case VT_I1: value->cVal = static_cast<CHAR>(source->number); break;
      case VT_UI1: value->bVal = static_cast<BYTE>(source->number); break;
      case VT_I2: value->iVal = static_cast<SHORT>(source->number); break;
      case VT_UI2: value->uiVal = static_cast<USHORT>(source->number); break;
      case VT_I4: value->lVal = static_cast<LONG>(source->number); break;
      case VT_UI4: value->ulVal = static_cast<ULONG>(source->number); break;
      case VT_INT: value->intVal = static_cast<INT>(source->number); break;
      case VT_UINT: value->uintVal = static_cast<UINT>(source->number); break;
      case VT_I8: value->llVal = source->number; break;
      case VT_UI8: value->ullVal = static_cast<ULONGLONG>(source->number); break;
      case VT_R8: value->dblVal = static_cast<double>(source->number); break;
      case VT_R4: value->fltVal = static_cast<float>(source->number); break;
      case VT_BOOL: value->boolVal = source->number ? VARIANT_TRUE : VARIANT_FALSE; break;
      default: value->llVal = source->number; break;
    }
    return WBEM_S_NO_ERROR;
  }

  NOT_USED(GetQualifierSet(IWbemQualifierSet**))
  NOT_USED(Put(LPCWSTR, LONG, VARIANT*, CIMTYPE))
  NOT_USED(Delete(LPCWSTR))
  NOT_USED(GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**))
  NOT_USED(BeginEnumeration(LONG))
  NOT_USED(Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*))
  NOT_USED(EndEnumeration())
  NOT_USED(GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**))
  NOT_USED(Clone(IWbemClassObject**))
  NOT_USED(GetObjectText(LONG, BSTR*))
  NOT_USED(SpawnDerivedClass(LONG, IWbemClassObject**))
  NOT_USED(SpawnInstance(LONG, IWbemClassObject**))
  NOT_USED(CompareTo(LONG, IWbemClassObject*))
  NOT_USED(GetPropertyOrigin(LPCWSTR, BSTR*))
  NOT_USED(InheritsFrom(LPCWSTR))
  NOT_USED(GetMethod(LPCWSTR, LONG, IWbemClassObject**, IWbemClassObject**))
  NOT_USED(PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*))
  NOT_USED(DeleteMethod(LPCWSTR))
  NOT_USED(BeginMethodEnumeration(LONG))
  NOT_USED(NextMethod(LONG, BSTR*, IWbemClassObject**, IWbemClassObject**))
  NOT_USED(EndMethodEnumeration())
  NOT_USED(GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**))
  NOT_USED(GetMethodOrigin(LPCWSTR, BSTR*))

 private:
  FakeController controller_;
};

class FakeEnumerator : public Counted<IEnumWbemClassObject> {
 public:
  explicit FakeEnumerator(std::vector<FakeController> result) : result_(std::move(result)) {
    name_ = "enumerator";
  }

  HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                 ULONG* returned) override {
    FakeLaptop& fake = F();
    fake.Log("Next", "timeout=" + std::to_string(timeout) + " count=" + std::to_string(count));
    *returned = 0;
    if (fake.Failable("Next")) return WBEM_E_FAILED;
    if (fake.SenderWaiting()) return RPC_E_CANTCALLOUT_ININPUTSYNCCALL;
    if (count == 0) return WBEM_S_NO_ERROR;
    if (next_ >= result_.size()) return WBEM_S_FALSE;
    objects[0] = new FakeClassObject(result_[next_++]);
    *returned = 1;
    return count == 1 ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }

  NOT_USED(Reset())
  NOT_USED(NextAsync(ULONG, IWbemObjectSink*))
  NOT_USED(Clone(IEnumWbemClassObject**))
  NOT_USED(Skip(LONG, ULONG))

 private:
  std::vector<FakeController> result_;
  std::size_t next_ = 0;
};

class FakeServices : public Counted<IWbemServices> {
 public:
  FakeServices() { name_ = "services"; }

  HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR query, LONG flags,
                                      IWbemContext* context, IEnumWbemClassObject** result) override {
    FakeLaptop& fake = F();
    fake.Log("ExecQuery", Text(language) + "|" + Text(query) + "|flags=0x" +
                              Hex(flags) +
                              (context ? "|context" : ""));
    *result = nullptr;
    if (fake.Failable("ExecQuery") || fake.wmi.queryFails) return WBEM_E_INVALID_QUERY;
    if (fake.SenderWaiting()) return RPC_E_CANTCALLOUT_ININPUTSYNCCALL;
    // What the driver reports now: a docked laptop's may give another range.
    std::vector<FakeController> listed = fake.wmi.controllers;
    if (fake.DisplayBesidesPanel())
      for (FakeController& c : listed) {
        if (c.externalMaxRefreshRate) c.maxRefreshRate = *c.externalMaxRefreshRate;
        if (c.externalMinRefreshRate) c.minRefreshRate = *c.externalMinRefreshRate;
      }
    *result = new FakeEnumerator(std::move(listed));
    return WBEM_S_NO_ERROR;
  }

  NOT_USED(OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**, IWbemCallResult**))
  NOT_USED(CancelAsyncCall(IWbemObjectSink*))
  NOT_USED(QueryObjectSink(LONG, IWbemObjectSink**))
  NOT_USED(GetObject(const BSTR, LONG, IWbemContext*, IWbemClassObject**, IWbemCallResult**))
  NOT_USED(GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
  NOT_USED(PutClass(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**))
  NOT_USED(PutClassAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*))
  NOT_USED(DeleteClass(const BSTR, LONG, IWbemContext*, IWbemCallResult**))
  NOT_USED(DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
  NOT_USED(CreateClassEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**))
  NOT_USED(CreateClassEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
  NOT_USED(PutInstance(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**))
  NOT_USED(PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*))
  NOT_USED(DeleteInstance(const BSTR, LONG, IWbemContext*, IWbemCallResult**))
  NOT_USED(DeleteInstanceAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
  NOT_USED(CreateInstanceEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**))
  NOT_USED(CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
  NOT_USED(ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
  NOT_USED(ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**))
  NOT_USED(ExecNotificationQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
  NOT_USED(ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*, IWbemClassObject**, IWbemCallResult**))
  NOT_USED(ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*, IWbemObjectSink*))
};

class FakeLocator : public Counted<IWbemLocator> {
 public:
  FakeLocator() { name_ = "locator"; }

  HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR user, const BSTR password,
                                          const BSTR locale, LONG securityFlags, const BSTR authority,
                                          IWbemContext* context, IWbemServices** services) override {
    FakeLaptop& fake = F();
    fake.Log("ConnectServer", Text(resource) + "|" + Text(user) + "|" + Text(password) + "|" +
                                  Text(locale) + "|" + std::to_string(securityFlags) + "|" +
                                  Text(authority) + (context ? "|context" : ""));
    *services = nullptr;
    if (fake.Failable("ConnectServer") || fake.wmi.connectFails) return WBEM_E_INVALID_NAMESPACE;
    if (fake.SenderWaiting()) return RPC_E_CANTCALLOUT_ININPUTSYNCCALL;
    *services = new FakeServices();
    return WBEM_S_NO_ERROR;
  }
};

HRESULT WINAPI FakeCoInitializeEx(LPVOID reserved, DWORD flags) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.CoInitializeEx, std::string(reserved ? "reserved " : "") + "flags=" + std::to_string(flags));
  if (fake.Failable(kOsCallNames.CoInitializeEx)) return E_OUTOFMEMORY;
  if (SUCCEEDED(fake.wmi.coInitializeResult)) ++fake.wmi.comEntries;
  return fake.wmi.coInitializeResult;
}

void WINAPI FakeCoUninitialize() {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.CoUninitialize);
  --fake.wmi.comEntries;
}

HRESULT WINAPI FakeCoInitializeSecurity(PSECURITY_DESCRIPTOR descriptor, LONG services,
                                        SOLE_AUTHENTICATION_SERVICE* list, void* reserved1,
                                        DWORD authentication, DWORD impersonation, void* authList,
                                        DWORD capabilities, void* reserved3) {
  FakeLaptop& fake = F();
  char detail[128];
  snprintf(detail, sizeof detail, "%s %ld %s %s authn=%lu imp=%lu %s caps=%lu %s",
           descriptor ? "sd" : "null", static_cast<long>(services), list ? "list" : "null",
           reserved1 ? "r1" : "null", static_cast<unsigned long>(authentication),
           static_cast<unsigned long>(impersonation), authList ? "auth" : "null",
           static_cast<unsigned long>(capabilities), reserved3 ? "r3" : "null");
  fake.Log(kOsCallNames.CoInitializeSecurity, detail);
  if (fake.Failable(kOsCallNames.CoInitializeSecurity)) return E_FAIL;
  return fake.wmi.securityResult;
}

HRESULT WINAPI FakeCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
  FakeLaptop& fake = F();
  const bool right = clsid == CLSID_WbemLocator && iid == IID_IWbemLocator;
  fake.Log(kOsCallNames.CoCreateInstance, std::string(right ? "WbemLocator" : "other") +
                                   (outer ? " outer" : "") + " context=" + std::to_string(context));
  *out = nullptr;
  if (fake.Failable(kOsCallNames.CoCreateInstance) || fake.wmi.locatorFails) return REGDB_E_CLASSNOTREG;
  if (!right || outer != nullptr) return REGDB_E_CLASSNOTREG;
  // A thread that entered COM in another apartment model may still create.
  if (fake.wmi.comEntries <= 0 && fake.wmi.coInitializeResult != RPC_E_CHANGED_MODE) return CO_E_NOTINITIALIZED;
  *out = static_cast<IWbemLocator*>(new FakeLocator());
  return S_OK;
}

HRESULT WINAPI FakeCoSetProxyBlanket(IUnknown* proxy, DWORD authn, DWORD authz, OLECHAR* principal,
                                     DWORD level, DWORD impersonation, RPC_AUTH_IDENTITY_HANDLE identity,
                                     DWORD capabilities) {
  char detail[128];
  snprintf(detail, sizeof detail, "%s authn=%lu authz=%lu %s level=%lu imp=%lu %s caps=%lu",
           proxy ? "proxy" : "null", static_cast<unsigned long>(authn), static_cast<unsigned long>(authz),
           principal ? "principal" : "null", static_cast<unsigned long>(level),
           static_cast<unsigned long>(impersonation), identity ? "identity" : "null",
           static_cast<unsigned long>(capabilities));
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.CoSetProxyBlanket, detail);
  if (fake.Failable(kOsCallNames.CoSetProxyBlanket)) return E_FAIL;
  return fake.wmi.proxyBlanketResult;
}

BSTR WINAPI FakeSysAllocString(const OLECHAR* text) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.SysAllocString, Narrow(text ? text : L""));
  if (fake.Failable(kOsCallNames.SysAllocString)) return nullptr;
  BSTR made = realOs.SysAllocString(text);
  if (made) ++fake.wmi.liveBstrs;
  return made;
}

void WINAPI FakeSysFreeString(BSTR text) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.SysFreeString, Text(text));
  if (text) --fake.wmi.liveBstrs;
  realOs.SysFreeString(text);
}

void WINAPI FakeVariantInit(VARIANTARG* value) {
  F().Log(kOsCallNames.VariantInit);
  realOs.VariantInit(value);
}

HRESULT WINAPI FakeVariantClear(VARIANTARG* value) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.VariantClear, std::to_string(value->vt));
  if (value->vt == VT_BSTR && value->bstrVal != nullptr) --fake.wmi.liveBstrs;
  return realOs.VariantClear(value);
}

DWORD WINAPI FakeInSendMessageEx(LPVOID reserved) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.InSendMessageEx);
  return fake.sentMessages.empty() ? realOs.InSendMessageEx(reserved) : fake.InSendMessageState();
}

BOOL WINAPI FakeReplyMessage(LRESULT result) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.ReplyMessage, std::to_string(result));
  if (fake.sentMessages.empty()) return realOs.ReplyMessage(result);
  FakeLaptop::SentMessage* handled = fake.AnotherThreadsMessage();
  // With only this thread's own messages, no sender waits.
  if (handled == nullptr) return FALSE;
  handled->replied = true;
  return TRUE;
}

}  // namespace

void FakeLaptop::HandleSentMessage(bool byAnotherThread, const std::function<void()>& handling) {
  sentMessages.push_back({byAnotherThread, false});
  struct Pop {
    std::vector<SentMessage>& frames;
    ~Pop() { frames.pop_back(); }
  } pop{sentMessages};
  handling();
}

FakeLaptop::SentMessage* FakeLaptop::AnotherThreadsMessage() {
  for (auto frame = sentMessages.rbegin(); frame != sentMessages.rend(); ++frame)
    if (frame->byAnotherThread) return &*frame;
  return nullptr;
}

DWORD FakeLaptop::InSendMessageState() const {
  for (auto frame = sentMessages.rbegin(); frame != sentMessages.rend(); ++frame)
    if (frame->byAnotherThread) return ISMEX_SEND | (frame->replied ? ISMEX_REPLIED : 0);
  return ISMEX_NOSEND;
}

bool FakeLaptop::SenderWaiting() const {
  const DWORD state = sentMessages.empty() ? realOs.InSendMessageEx(nullptr) : InSendMessageState();
  return (state & (ISMEX_SEND | ISMEX_REPLIED)) == ISMEX_SEND;
}

void FakeLaptop::InstallWmi() {
  os.InSendMessageEx = FakeInSendMessageEx;
  os.ReplyMessage = FakeReplyMessage;
  os.CoInitializeEx = FakeCoInitializeEx;
  os.CoUninitialize = FakeCoUninitialize;
  os.CoInitializeSecurity = FakeCoInitializeSecurity;
  os.CoCreateInstance = FakeCoCreateInstance;
  os.CoSetProxyBlanket = FakeCoSetProxyBlanket;
  os.SysAllocString = FakeSysAllocString;
  os.SysFreeString = FakeSysFreeString;
  os.VariantInit = FakeVariantInit;
  os.VariantClear = FakeVariantClear;
}
