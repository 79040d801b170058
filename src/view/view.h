// The view seam: the core's only way to reach the window. It sits at the
// bottom of the dependency order; every front end (the Win32 dialog, the Qt
// window, or a recording fake in tests) provides these four functions, and
// addresses controls by the identifiers of control_ids.h.
//
// Threading: every function may be called from the user-interface thread and
// from worker threads alike. Texts are UTF-8 on both sides of this seam.
#ifndef CORVELLE_VIEW_VIEW_H
#define CORVELLE_VIEW_VIEW_H

// Opaque handle of the main window; the front end decides what it points at.
using DialogHandle = void*;

// Replaces the text of control `controlId`.
void SetControlText(DialogHandle dialog, int controlId, const char* text);

// Copies the text of control `controlId` into `buffer`, which holds
// `bufferSize` bytes; the copy is cut to fit, between characters, and always
// zero-terminated. Returns whether it is the whole text: false when it was
// cut, or when the text holds a NUL character (a pasted one, say), at which
// the copy would end.
bool GetControlText(DialogHandle dialog, int controlId, char* buffer, int bufferSize);

// Index of the selected entry of list `controlId`, or -1 when none is chosen.
int GetListSelection(DialogHandle dialog, int controlId);

// Shows a modal box captioned "tips" with `text` and a single OK button, owned
// by the window. Blocks the calling thread, and only that thread, until the
// user dismisses it; the window keeps painting meanwhile.
void ShowTips(DialogHandle dialog, const char* text);

#endif
