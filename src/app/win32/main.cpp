// Program entry and the main dialog procedure. The dialog is the whole user
// interface: it fills its lists, finds the serial port once, and hands every
// command to the dispatch, which reaches the window through the view seam
// (view_win32.cpp).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include "app/win32/resource.h"
#include "ops/command_dispatch.h"
#include "ops/window_start.h"
#include "win32/wide_text.h"

namespace {

// Inserting at position -1 appends, so a list styled as sorted keeps its order.
void AppendListEntry(DialogHandle dialog, int listId, const char* text) {
  const std::wstring wide = WideFromUtf8(text);
  SendDlgItemMessageW(static_cast<HWND>(dialog), listId, CB_INSERTSTRING, static_cast<WPARAM>(-1),
                      reinterpret_cast<LPARAM>(wide.c_str()));
}

BOOL OnInitMainDialog(HWND dialog) {
  FillListsAndFindPort(dialog, AppendListEntry);
  return TRUE;  // let the dialog manager set the default focus
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitMainDialog(dialog);
    case WM_COMMAND:
      OnCommand(dialog, LOWORD(wParam));
      return FALSE;
    case WM_CLOSE:
      // A modal dialog's loop ends with EndDialog; the window is destroyed on
      // the way out of DialogBoxParamW.
      EndDialog(dialog, 0);
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  const INT_PTR result =
      DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
  // An operation may still be running on detached threads. Ending the process
  // here stops them where they are instead of running the C++ runtime's exit
  // sequence underneath them. A window that could not be created at all is
  // not a normal end.
  ExitProcess(result == -1 ? 1 : 0);
}
