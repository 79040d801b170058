// The view seam on the main dialog. DialogHandle is the dialog's HWND.
// Setting and reading texts and the list selection are messages to the
// dialog's controls, which the system delivers on the user-interface thread,
// so worker threads may call them too. A "tips" box runs its own modal loop on
// the calling thread, owned by the dialog: from a worker it blocks only the
// worker, while the dialog keeps painting.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "view/text_cut.h"
#include "view/view.h"
#include "win32/wide_text.h"

namespace {

HWND AsWindow(DialogHandle dialog) {
  return static_cast<HWND>(dialog);
}

}  // namespace

void SetControlText(DialogHandle dialog, int controlId, const char* text) {
  SetDlgItemTextW(AsWindow(dialog), controlId, WideFromUtf8(text).c_str());
}

bool GetControlText(DialogHandle dialog, int controlId, char* buffer, int bufferSize) {
  const HWND control = GetDlgItem(AsWindow(dialog), controlId);
  // The whole text is fetched and converted first, so that the cut to the
  // caller's size falls between characters rather than inside one.
  const int length = control != nullptr ? GetWindowTextLengthW(control) : 0;
  if (length <= 0) return CopyUtf8Cut("", buffer, bufferSize);
  std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(control, wide.data(), length + 1);
  return CopyUtf8Cut(Utf8FromWide(wide.data(), copied), buffer, bufferSize);
}

int GetListSelection(DialogHandle dialog, int controlId) {
  const HWND list = GetDlgItem(AsWindow(dialog), controlId);
  if (list == nullptr) return -1;
  const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? -1 : static_cast<int>(index);
}

void ShowTips(DialogHandle dialog, const char* text) {
  MessageBoxW(AsWindow(dialog), WideFromUtf8(text).c_str(), L"tips", MB_OK);
}
