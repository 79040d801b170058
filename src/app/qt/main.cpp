// Program entry of the Linux program: the Qt window over the same core as the
// Windows program. It takes no arguments, and gives Qt none either.
#include <QApplication>
#include <cstdlib>

#include "app/qt/main_window.h"

namespace {

// An operation may still be running on the worker and reader threads, maybe
// inside a call that waits for the window. Ending the process here stops them
// where they are instead of running the exit sequence underneath them. The
// standard streams are not flushed: the program writes nothing to them but
// diagnostic lines, which go out whole or not at all, and a stream that
// blocks must not hold up the end.
[[noreturn]] void EndProgram(int code) {
  std::_Exit(code);
}

}  // namespace

int main(int, char** argv) {
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  MainWindow window;
  QObject::connect(&window, &MainWindow::closed, [] { EndProgram(0); });
  window.show();
  EndProgram(application.exec());
}
