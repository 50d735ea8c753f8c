// wWinMain: the process entry point. It creates the hidden window that
// receives the power, display and session broadcasts, guards against a
// second instance, reconciles the panel and the state files with what it
// finds, and then pumps messages until the window is destroyed.
#include <iterator>

#include "app/controller_state.h"
#include "app/resources/resource.h"
#include "app/window_proc.h"
#include "platform/os_calls.h"
#include "policy/handlings.h"

namespace {

// The guard is a mutex named after the window title, in the session's own
// namespace. A successful open means the mutex exists, that is, another
// instance runs: Windows refuses an open that asks for no access, but other
// implementations grant it, and two controllers would then both act on every
// event and race on the state files.
bool AnotherInstanceRuns() {
  HANDLE existing = os.OpenMutexW(0, FALSE, controllerState.windowTitle);
  if (existing != nullptr) {
    os.CloseHandle(existing);
    return true;
  }
  HANDLE mutex = os.CreateMutexW(nullptr, TRUE, controllerState.windowTitle);
  if (os.GetLastError() == ERROR_ALREADY_EXISTS) {
    if (mutex != nullptr) os.CloseHandle(mutex);
    return true;
  }
  // Ours: it stays owned and open until the process ends.
  return false;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // Before anything can load a DLL on our behalf: never from our own folder.
  os.SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

  // Each limit is the buffer's own size in units, terminator included.
  os.LoadStringW(instance, RID_TITLE_TEXT, controllerState.windowTitle,
                 static_cast<int>(std::size(controllerState.windowTitle)));
  os.LoadStringW(instance, RID_CLASS_TEXT, controllerState.windowClassName,
                 static_cast<int>(std::size(controllerState.windowClassName)));

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_VREDRAW | CS_HREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = instance;
  windowClass.hIcon = os.LoadIconW(instance, MAKEINTRESOURCEW(RID_LARGE_ICON));
  windowClass.hCursor = os.LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszMenuName = MAKEINTRESOURCEW(RID_MAIN_MENU);
  windowClass.lpszClassName = controllerState.windowClassName;
  windowClass.hIconSm = os.LoadIconW(instance, MAKEINTRESOURCEW(RID_SMALL_ICON));
  os.RegisterClassExW(&windowClass);

  controllerState.instance = instance;

  // A pop-up with default position and size comes out at zero size; with no
  // layered attributes it is never drawn, and as a tool window it stays off
  // the taskbar. It exists only to receive messages.
  HWND window = os.CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, controllerState.windowClassName,
                                   controllerState.windowTitle, WS_POPUP, CW_USEDEFAULT, 0,
                                   CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 0;

  os.ShowWindow(window, showCommand);
  os.UpdateWindow(window);
  os.WTSRegisterSessionNotification(window, NOTIFY_FOR_ALL_SESSIONS);
  HACCEL accelerators = os.LoadAcceleratorsW(instance, MAKEINTRESOURCEW(RID_MAIN_MENU));

  if (AnotherInstanceRuns()) return 0;

  ReconcileAtStartup();

  MSG message = {};
  BOOL got;
  while ((got = os.GetMessageW(&message, nullptr, 0, 0)) != 0) {
    // -1 means the call itself failed and left the record as it was;
    // dispatching it again would spin forever on a stale message.
    if (got == -1) return 0;
    if (os.TranslateAcceleratorW(message.hwnd, accelerators, &message) == 0) {
      os.TranslateMessage(&message);
      os.DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}
