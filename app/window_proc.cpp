// MainWindowProc: the one place the controller reacts to anything after
// start-up. It routes the power, display and session broadcasts to the
// policy handlings, carries out the two menu commands and ends the message
// loop when the window goes. AboutDialogProc runs the modal About box.
#include "app/window_proc.h"

#include "app/controller_state.h"
#include "app/resources/resource.h"
#include "platform/os_calls.h"
#include "policy/handlings.h"

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Every message starts the shared retry counter afresh, whatever its kind.
  controllerState.retryCount = 0;

  switch (message) {
    case WM_DESTROY:
      os.WTSUnRegisterSessionNotification(window);
      os.PostQuitMessage(0);
      return 0;

    case WM_PAINT: {
      // The window is never seen; validate it so the paint is not repeated.
      PAINTSTRUCT paint;
      os.BeginPaint(window, &paint);
      os.EndPaint(window, &paint);
      return 0;
    }

    case WM_DISPLAYCHANGE:
      OnDisplayChange();
      return 0;

    case WM_COMMAND:
      // The high word (menu or accelerator) does not matter.
      switch (LOWORD(wParam)) {
        case CMD_ABOUT:
          os.DialogBoxParamW(controllerState.instance, MAKEINTRESOURCEW(RID_ABOUT_DIALOG), window,
                             AboutDialogProc, 0);
          return 0;
        case CMD_EXIT:
          os.DestroyWindow(window);
          return 0;
        default:
          return os.DefWindowProcW(window, message, wParam, lParam);
      }

    case WM_POWERBROADCAST:
      if (wParam == PBT_APMRESUMESUSPEND) return 0;
      if (wParam == PBT_APMPOWERSTATUSCHANGE) {
        OnPowerStatusChange();
        return 0;
      }
      // Other power events get the default treatment, but the answer to the
      // broadcast is always 0: nothing here ever refuses a request.
      os.DefWindowProcW(window, message, wParam, lParam);
      return 0;

    case WM_WTSSESSION_CHANGE:
      // Every session's events count alike; the session identifier is dropped.
      OnSessionChange(wParam);
      return 0;

    default:
      return os.DefWindowProcW(window, message, wParam, lParam);
  }
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // TRUE lets the dialog manager give the focus to the default button.
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        os.EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}
