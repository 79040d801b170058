// libcorvelle-qt-script: preloaded into the Linux program (LD_PRELOAD), it
// works the window by object name, the way a person would, for scripts/run.sh
// on a machine without a display and for the tests of the built and installed
// program. The program itself knows nothing of it.
//
// The script comes from CORVELLE_QT_SCRIPT, steps separated by ';':
//   click NAME        press the button NAME
//   wait NAME TEXT    wait up to 30 s until control NAME shows TEXT (blanks
//                     around either side do not count)
//   shot PATH         save a picture of the window as PNG
//   sleep MS          let the program run for MS milliseconds
//   close             close the window, as its close box does
// Each step writes one line to standard error. A step that fails ends the
// program with exit code 3.
//
// With CORVELLE_QT_SHOWN set, the library instead writes "shown at NS" (the
// monotonic clock in nanoseconds) as soon as a window is first exposed, and
// ends the program: the benchmark's measure of start-up. It works for any Qt
// program.
#include <time.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "app/dialog_layout.h"

namespace {

constexpr int kWaitMs = 30000;
constexpr int kPollMs = 10;

std::deque<std::string> steps;

void Report(const char* verdict, const std::string& step) {
  std::fprintf(stderr, "corvelle-qt-script: %s %s\n", verdict, step.c_str());
  std::fflush(stderr);
}

[[noreturn]] void Fail(const std::string& step, const std::string& why) {
  Report("FAILED", step + " (" + why + ")");
  std::_Exit(3);
}

QWidget* Window() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->windowTitle() == CORVELLE_WINDOW_TITLE && widget->isVisible()) return widget;
  }
  return nullptr;
}

QString Shown(QWidget* control) {
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
  if (auto* field = qobject_cast<QPlainTextEdit*>(control)) return field->toPlainText();
  if (auto* list = qobject_cast<QComboBox*>(control)) return list->currentText();
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  return QString();
}

void RunNext();

// Splits "verb rest" at the first blank; the rest keeps its own blanks.
void Split(const std::string& step, std::string* verb, std::string* rest) {
  const auto blank = step.find(' ');
  *verb = step.substr(0, blank);
  *rest = blank == std::string::npos ? "" : step.substr(blank + 1);
}

void Wait(const std::string& step, QWidget* control, const QString& text, QElapsedTimer clock) {
  if (Shown(control).trimmed() == text.trimmed()) {
    Report("ok", step + " after " + std::to_string(clock.elapsed()) + " ms");
    return RunNext();
  }
  if (clock.elapsed() > kWaitMs) Fail(step, "shows '" + Shown(control).toStdString() + "'");
  QTimer::singleShot(kPollMs, [=] { Wait(step, control, text, clock); });
}

void RunStep(const std::string& step) {
  QWidget* window = Window();
  if (window == nullptr) Fail(step, "no window");
  std::string verb, rest;
  Split(step, &verb, &rest);
  if (verb == "close") {
    Report("ok", step);
    window->close();
    return RunNext();
  }
  if (verb == "sleep") {
    Report("ok", step);
    QTimer::singleShot(std::atoi(rest.c_str()), RunNext);
    return;
  }
  if (verb == "shot") {
    if (!window->grab().save(QString::fromStdString(rest), "PNG")) Fail(step, "cannot save");
    Report("ok", step);
    return RunNext();
  }
  std::string name, text;
  Split(rest, &name, &text);
  auto* control = window->findChild<QWidget*>(QString::fromStdString(name));
  if (control == nullptr) Fail(step, "no control " + name);
  if (verb == "click") {
    auto* button = qobject_cast<QAbstractButton*>(control);
    if (button == nullptr) Fail(step, name + " is no button");
    Report("ok", step);
    // After this step's own return: a box the command raises runs its loop
    // inside the click, and the script goes on in that loop.
    QTimer::singleShot(0, RunNext);
    button->click();
    return;
  }
  if (verb == "wait") {
    QElapsedTimer clock;
    clock.start();
    return Wait(step, control, QString::fromStdString(text), clock);
  }
  Fail(step, "unknown step");
}

void RunNext() {
  if (steps.empty()) return;
  const std::string step = steps.front();
  steps.pop_front();
  RunStep(step);
}

// Reports the first exposure of a window, then ends the program.
class ShownReporter : public QObject {
 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Expose && object->isWindowType()) {
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      std::fprintf(stderr, "corvelle-qt-script: shown at %lld\n",
                   static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
      std::fflush(stderr);
      std::_Exit(0);
    }
    return false;
  }
};

void Start() {
  if (std::getenv("CORVELLE_QT_SHOWN") != nullptr) {
    QCoreApplication::instance()->installEventFilter(new ShownReporter);
    return;
  }
  const char* script = std::getenv("CORVELLE_QT_SCRIPT");
  if (script == nullptr) return;
  std::string all = script;
  for (std::size_t at = 0; at <= all.size();) {
    const auto end = std::min(all.find(';', at), all.size());
    std::string step = all.substr(at, end - at);
    while (!step.empty() && step.front() == ' ') step.erase(0, 1);
    if (!step.empty()) steps.push_back(step);
    at = end + 1;
  }
  // Once the window is up and the event loop runs.
  QTimer::singleShot(100, RunNext);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
