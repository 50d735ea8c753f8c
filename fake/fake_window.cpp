// The fake laptop's window system: enough of user32 to run the start-up
// sequence, the message loop and the window procedure without a window.
// Messages come from `queue`; DispatchMessageW and DestroyWindow call the
// registered window procedure directly, as the real ones would.
#include "fake/fake_laptop.h"

namespace {

FakeLaptop& F() { return FakeLaptop::Active(); }

std::string Id(LPCWSTR resource) {
  if (IS_INTRESOURCE(resource)) return std::to_string(reinterpret_cast<ULONG_PTR>(resource));
  return Narrow(resource);
}

int WINAPI FakeLoadStringW(HINSTANCE, UINT id, LPWSTR buffer, int limit) {
  F().Log(kOsCallNames.LoadStringW, std::to_string(id) + " limit=" + std::to_string(limit));
  const wchar_t* text = id == 103 ? L"Lumarest" : id == 109 ? L"LUMAREST" : L"";
  int n = 0;
  for (; text[n] != 0 && n + 1 < limit; ++n) buffer[n] = text[n];
  if (limit > 0) buffer[n] = 0;
  return n;
}

HICON WINAPI FakeLoadIconW(HINSTANCE, LPCWSTR id) {
  F().Log(kOsCallNames.LoadIconW, Id(id));
  return reinterpret_cast<HICON>(0x2000 + reinterpret_cast<ULONG_PTR>(id));
}

HCURSOR WINAPI FakeLoadCursorW(HINSTANCE instance, LPCWSTR id) {
  F().Log(kOsCallNames.LoadCursorW, Id(id) + (instance ? " instance" : " system"));
  return reinterpret_cast<HCURSOR>(static_cast<INT_PTR>(0x3000));
}

ATOM WINAPI FakeRegisterClassExW(const WNDCLASSEXW* windowClass) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.RegisterClassExW, Narrow(windowClass->lpszClassName));
  fake.window.registeredClass = *windowClass;
  fake.window.registeredClassName = windowClass->lpszClassName;
  fake.window.registeredClass.lpszClassName = fake.window.registeredClassName.c_str();
  return 0xC001;
}

HWND WINAPI FakeCreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x,
                                int y, int width, int height, HWND parent, HMENU menu,
                                HINSTANCE, LPVOID param) {
  FakeLaptop& fake = F();
  char detail[256];
  snprintf(detail, sizeof detail, "%s|%s ex=0x%lx style=0x%lx %d,%d,%d,%d parent=%p menu=%p param=%p",
           Narrow(className).c_str(), Narrow(title).c_str(), static_cast<unsigned long>(exStyle),
           static_cast<unsigned long>(style), x, y, width, height, static_cast<void*>(parent),
           static_cast<void*>(menu), param);
  fake.Log(kOsCallNames.CreateWindowExW, detail);
  return fake.window.windowToCreate;
}

BOOL WINAPI FakeShowWindow(HWND, int command) {
  F().Log(kOsCallNames.ShowWindow, std::to_string(command));
  return FALSE;
}

BOOL WINAPI FakeUpdateWindow(HWND) {
  F().Log(kOsCallNames.UpdateWindow);
  return TRUE;
}

BOOL WINAPI FakeWTSRegisterSessionNotification(HWND, DWORD flags) {
  F().Log(kOsCallNames.WTSRegisterSessionNotification, std::to_string(flags));
  return TRUE;
}

BOOL WINAPI FakeWTSUnRegisterSessionNotification(HWND) {
  F().Log(kOsCallNames.WTSUnRegisterSessionNotification);
  return TRUE;
}

HACCEL WINAPI FakeLoadAcceleratorsW(HINSTANCE, LPCWSTR id) {
  F().Log(kOsCallNames.LoadAcceleratorsW, Id(id));
  return reinterpret_cast<HACCEL>(static_cast<INT_PTR>(0x5000));
}

BOOL WINAPI FakeGetMessageW(LPMSG message, HWND, UINT, UINT) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.GetMessageW);
  if (fake.window.getMessageResult) return *fake.window.getMessageResult;
  if (fake.window.queue.empty()) {
    // An empty queue ends the loop as a WM_QUIT with code 0 would.
    *message = {};
    message->message = WM_QUIT;
    return FALSE;
  }
  *message = fake.window.queue.front();
  fake.window.queue.pop_front();
  return message->message == WM_QUIT ? FALSE : TRUE;
}

int WINAPI FakeTranslateAcceleratorW(HWND window, HACCEL table, LPMSG message) {
  FakeLaptop& fake = F();
  char detail[64];
  snprintf(detail, sizeof detail, "%u window=%p table=%p", message->message,
           static_cast<void*>(window), static_cast<void*>(table));
  fake.Log(kOsCallNames.TranslateAcceleratorW, detail);
  return fake.window.translateAcceleratorResult;
}

BOOL WINAPI FakeTranslateMessage(const MSG* message) {
  F().Log(kOsCallNames.TranslateMessage, std::to_string(message->message));
  return FALSE;
}

LRESULT WINAPI FakeDispatchMessageW(const MSG* message) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.DispatchMessageW, std::to_string(message->message));
  if (fake.window.registeredClass.lpfnWndProc == nullptr) return 0;
  return fake.window.registeredClass.lpfnWndProc(message->hwnd, message->message, message->wParam,
                                          message->lParam);
}

LRESULT WINAPI FakeDefWindowProcW(HWND, UINT message, WPARAM wParam, LPARAM) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.DefWindowProcW, std::to_string(message) + " " + std::to_string(wParam));
  return fake.window.defWindowProcResult;
}

HDC WINAPI FakeBeginPaint(HWND, LPPAINTSTRUCT paint) {
  F().Log(kOsCallNames.BeginPaint);
  *paint = {};
  return reinterpret_cast<HDC>(static_cast<INT_PTR>(0x6000));
}

BOOL WINAPI FakeEndPaint(HWND, const PAINTSTRUCT*) {
  F().Log(kOsCallNames.EndPaint);
  return TRUE;
}

INT_PTR WINAPI FakeDialogBoxParamW(HINSTANCE instance, LPCWSTR id, HWND owner, DLGPROC proc,
                                   LPARAM param) {
  FakeLaptop& fake = F();
  char detail[128];
  snprintf(detail, sizeof detail, "%s instance=%p owner=%p param=%ld", Id(id).c_str(),
           static_cast<void*>(instance), static_cast<void*>(owner), static_cast<long>(param));
  fake.Log(kOsCallNames.DialogBoxParamW, detail);
  if (fake.window.duringDialog) fake.window.duringDialog();
  fake.Log("DialogBoxParamW.closed");
  return fake.window.dialogResult;
}

BOOL WINAPI FakeEndDialog(HWND, INT_PTR result) {
  F().Log(kOsCallNames.EndDialog, std::to_string(result));
  return TRUE;
}

BOOL WINAPI FakeDestroyWindow(HWND window) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.DestroyWindow);
  if (fake.window.registeredClass.lpfnWndProc != nullptr)
    fake.window.registeredClass.lpfnWndProc(window, WM_DESTROY, 0, 0);
  return TRUE;
}

void WINAPI FakePostQuitMessage(int code) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.PostQuitMessage, std::to_string(code));
  MSG quit = {};
  quit.message = WM_QUIT;
  quit.wParam = static_cast<WPARAM>(code);
  fake.window.queue.push_back(quit);
}

// Top-level windows of other processes in this session, by class and title.
HWND WINAPI FakeFindWindowW(LPCWSTR className, LPCWSTR title) {
  FakeLaptop& fake = F();
  const std::wstring c = className ? className : L"";
  const std::wstring t = title ? title : L"";
  fake.Log(kOsCallNames.FindWindowW, Narrow(c) + "|" + Narrow(t));
  for (const auto& window : fake.window.topLevelWindows)
    if (window.first == c && window.second == t) return reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1100));
  return nullptr;
}

}  // namespace

void FakeLaptop::InstallWindowSystem() {
  os.LoadStringW = FakeLoadStringW;
  os.LoadIconW = FakeLoadIconW;
  os.LoadCursorW = FakeLoadCursorW;
  os.RegisterClassExW = FakeRegisterClassExW;
  os.CreateWindowExW = FakeCreateWindowExW;
  os.ShowWindow = FakeShowWindow;
  os.UpdateWindow = FakeUpdateWindow;
  os.WTSRegisterSessionNotification = FakeWTSRegisterSessionNotification;
  os.WTSUnRegisterSessionNotification = FakeWTSUnRegisterSessionNotification;
  os.LoadAcceleratorsW = FakeLoadAcceleratorsW;
  os.GetMessageW = FakeGetMessageW;
  os.TranslateAcceleratorW = FakeTranslateAcceleratorW;
  os.TranslateMessage = FakeTranslateMessage;
  os.DispatchMessageW = FakeDispatchMessageW;
  os.DefWindowProcW = FakeDefWindowProcW;
  os.BeginPaint = FakeBeginPaint;
  os.EndPaint = FakeEndPaint;
  os.DialogBoxParamW = FakeDialogBoxParamW;
  os.EndDialog = FakeEndDialog;
  os.DestroyWindow = FakeDestroyWindow;
  os.PostQuitMessage = FakePostQuitMessage;
  os.FindWindowW = FakeFindWindowW;
}
