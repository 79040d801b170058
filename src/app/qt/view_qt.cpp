// The view seam on the Qt window. DialogHandle is the MainWindow. Widgets may
// only be touched on the user-interface thread, so a call from a worker is
// carried out there and the worker waits for it. A "tips" box from a worker
// runs its modal loop on the user-interface thread, which keeps the window
// painting, while the worker stays blocked until the box is dismissed.
#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <mutex>

#include "app/qt/main_window.h"
#include "view/text_cut.h"
#include "view/view.h"

namespace {

MainWindow* WindowOf(DialogHandle dialog) {
  return static_cast<MainWindow*>(dialog);
}

// Runs `work` on the window's thread and returns when it is done. The wait is
// the standard library's own, so that the hand-over of the caller's data is
// plain to see for the thread sanitizer as well.
template <typename Work>
void OnWindowThread(MainWindow* window, Work work) {
  if (QThread::currentThread() == window->thread()) {
    work();
    return;
  }
  std::mutex mutex;
  std::condition_variable changed;
  bool done = false;
  QMetaObject::invokeMethod(
      window,
      [&] {
        work();
        // Notified under the lock: the caller cannot return, and take the
        // condition variable with it, before this is over.
        std::lock_guard lock(mutex);
        done = true;
        changed.notify_one();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(mutex);
  changed.wait(lock, [&] { return done; });
}

}  // namespace

void SetControlText(DialogHandle dialog, int controlId, const char* text) {
  const std::string copy = text != nullptr ? text : "";
  MainWindow* window = WindowOf(dialog);
  OnWindowThread(window, [&] { window->SetText(controlId, copy); });
}

bool GetControlText(DialogHandle dialog, int controlId, char* buffer, int bufferSize) {
  MainWindow* window = WindowOf(dialog);
  std::string text;
  OnWindowThread(window, [&] { text = window->Text(controlId); });
  return CopyUtf8Cut(text, buffer, bufferSize);
}

int GetListSelection(DialogHandle dialog, int controlId) {
  MainWindow* window = WindowOf(dialog);
  int index = -1;
  OnWindowThread(window, [&] { index = window->Selection(controlId); });
  return index;
}

void ShowTips(DialogHandle dialog, const char* text) {
  const std::string copy = text != nullptr ? text : "";
  MainWindow* window = WindowOf(dialog);
  OnWindowThread(window, [&] { window->ShowTips(copy); });
}
