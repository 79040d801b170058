// The Qt window and its view seam, on Qt's offscreen platform, against the
// simulated transmitter on a pseudo-terminal: the real window is worked by
// object name, with every scenario of tests/support/scenarios.h. Beyond those,
// what only the window shows: its controls, names and keys, boxes from the
// worker while the window goes on painting, and closing mid-operation.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/dialog_layout.h"
#include "app/qt/main_window.h"
#include "link/port_discovery.h"
#include "link/serial_link.h"
#include "ops/operation_state.h"
#include "tests/support/accessible_names.h"
#include "tests/support/scenarios.h"
#include "tests/support/simulated_line.h"
#include "tests/support/texts.h"
#include "tests/support/timeline.h"
#include "view/control_ids.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// How far an outcome may show from its nominal moment after the click: each
// step crosses over to the user-interface thread, and these tests run many at
// a time on a loaded machine, some of them under a sanitizer.
#ifdef CORVELLE_SANITIZED
constexpr long kToleranceMs = 800;
#else
constexpr long kToleranceMs = 250;
#endif

struct Seen {
  std::string text;
  long atMs;  // after the last click
};

// Records every "tips" box as it shows, and presses its OK button once it has
// been up for `dismissAfterMs`; `onShow` runs once per box while it is up.
class TipsWatcher {
 public:
  TipsWatcher() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
  }
  std::vector<Seen> boxes;
  long dismissAfterMs = 0;
  std::function<void()> onShow;
  QElapsedTimer* clock = nullptr;

 private:
  void Tick() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box->objectName() != "tips" || !box->isVisible()) return;
    if (box != current_) {
      current_ = box;
      shown_.start();
      boxes.push_back({box->text().toStdString(), clock ? static_cast<long>(clock->elapsed()) : 0});
      if (onShow) onShow();
    }
    if (shown_.elapsed() >= dismissAfterMs) {
      current_ = nullptr;
      box->button(QMessageBox::Ok)->click();
    }
  }
  QTimer timer_;
  QMessageBox* current_ = nullptr;
  QElapsedTimer shown_;
};

class QtWindowTest : public ::testing::Test, protected testing_sim::SimulatedLine {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartLine());
    testing_sim::UsePort("");  // the window's own discovery finds the simulator

    window_ = std::make_unique<MainWindow>();
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    watcher_.clock = &clock_;
    auto* message = Find<QPlainTextEdit>("IDC_MESSAGE");
    QObject::connect(message, &QPlainTextEdit::textChanged, [this] {
      messages_.push_back({window_->Text(IDC_MESSAGE), static_cast<long>(clock_.elapsed())});
    });
  }

  void TearDown() override {
    // A worker may still wait for the window: keep serving it until it ends.
    const bool freed = QTest::qWaitFor([] { return readyForCommand.load() == 1; }, 20000);
    if (!freed) {
      ADD_FAILURE() << "locked out: the window never accepted commands again";
      (void)window_.release();  // the worker still uses it
      StopLine(true);
      return;
    }
    window_.reset();
    StopLine();
  }

  template <typename Widget = QWidget>
  Widget* Find(const char* name) {
    auto* widget = window_->findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  // Clicks a button as a person would; the clock starts here.
  void Click(const char* name) {
    messages_.clear();
    watcher_.boxes.clear();
    clock_.start();
    QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton);
  }

  bool WaitForGate() {
    return QTest::qWaitFor([] { return readyForCommand.load() == 1; }, 20000);
  }

  // When the message line first showed `text` after the last click, or -1.
  long MessageAt(const std::string& text) const {
    for (const Seen& seen : messages_) {
      if (seen.text == text) return seen.atMs;
    }
    return -1;
  }

  // Types `text` into edit `name`; a text with a NUL character in it, which
  // no key gives, is pasted.
  void Type(const char* name, const std::string& text) {
    auto* edit = Find<QLineEdit>(name);
    edit->clear();
    if (text.find('\0') == std::string::npos) {
      QTest::keyClicks(edit, text.c_str());
      return;
    }
    QApplication::clipboard()->setText(
        QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    edit->paste();
    EXPECT_EQ(edit->text().toStdString(), text) << "pasted whole";
  }

  std::unique_ptr<MainWindow> window_;
  QElapsedTimer clock_;
  std::vector<Seen> messages_;
  TipsWatcher watcher_;
};

// ---------------------------------------------------------------- the window itself

TEST_F(QtWindowTest, HasTheDialogsControlsListsAndFont) {
  EXPECT_EQ(window_->windowTitle(), "Corvelle");
  for (const char* name :
       {"IDC_PORT_NAME", "IDC_COLD_PORT_TEMP", "IDC_INPUT_MAX", "IDC_INPUT_MIN"}) {
    EXPECT_EQ(Find<QLineEdit>(name)->isReadOnly(), std::string(name) == "IDC_PORT_NAME") << name;
  }
  for (const char* name : {"IDC_READ_SENSOR", "IDC_READ_MAX_SIGN", "IDC_READ_MAX",
                           "IDC_READ_MIN_SIGN", "IDC_READ_MIN", "IDC_CHOICE", "IDC_MESSAGE"}) {
    EXPECT_TRUE(Find<QPlainTextEdit>(name)->isReadOnly()) << name;
  }
  std::vector<std::string> sensors;
  for (const auto& sensor : texts::kSensors) sensors.push_back(sensor.label);
  const std::pair<const char*, std::vector<std::string>> lists[] = {
      {"IDC_OUTPUT_TYPE", {std::begin(texts::kOutputTypes), std::end(texts::kOutputTypes)}},
      {"IDC_ERROR_OUTPUT", {std::begin(texts::kErrorOutputs), std::end(texts::kErrorOutputs)}},
      {"IDC_MIN_SIGN", {std::begin(texts::kMinSigns), std::end(texts::kMinSigns)}},
      {"IDC_SENSOR_TYPE", sensors},
  };
  for (const auto& [name, wanted] : lists) {
    auto* list = Find<QComboBox>(name);
    EXPECT_FALSE(list->isEditable()) << name;
    EXPECT_EQ(list->currentIndex(), -1) << name;
    std::vector<std::string> shown;
    for (int i = 0; i < list->count(); ++i) shown.push_back(list->itemText(i).toStdString());
    EXPECT_EQ(shown, wanted) << name;
  }
  const std::pair<const char*, const char*> buttons[] = {
      {"IDOK", "set"},
      {"IDC_CONNECT", "Connect"},
      {"IDC_READ_SETTING", "read 1"},
      {"IDC_READ_COLD_PORT", "read cold port"},
      {"IDC_CALIBRATE_COLD_PORT", "calibrate cold port"}};
  for (const auto& [name, text] : buttons) EXPECT_EQ(Find<QPushButton>(name)->text(), text);
  std::vector<std::string> groups;
  for (auto* group : window_->findChildren<QGroupBox*>())
    groups.push_back(group->title().toStdString());
  EXPECT_EQ(groups, (std::vector<std::string>{"set（type）", "Read current setting"}));

  // 12 points of a font that has the full-width characters of the texts.
  EXPECT_EQ(window_->font().pointSize(), 12);
  const QFontMetrics metrics(window_->font());
  for (char32_t c : {U'：', U'，', U'（', U'）', U'。'}) {
    EXPECT_TRUE(metrics.inFontUcs4(c)) << "no glyph for U+" << std::hex << static_cast<int>(c);
  }
  // Laid out in dialog units of this font: "set" at 352, 44, 37 x 52.
  EXPECT_EQ(Find("IDOK")->geometry(), QRect(792, 105, 83, 124));
}

// What a screen reader reads for each control: a field or list its label's
// text on one line, a button its own text.
TEST_F(QtWindowTest, EveryControlHasAnAccessibleName) {
  for (const auto& expected : testing_names::kExpectedNames) {
    QWidget* control = window_->Control(expected.id);
    ASSERT_NE(control, nullptr) << expected.id;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    ASSERT_NE(accessible, nullptr) << expected.name;
    EXPECT_EQ(accessible->text(QAccessible::Name).toStdString(), expected.name)
        << control->objectName().toStdString();
  }
}

TEST_F(QtWindowTest, EscapeDoesNothing) {
  QTest::keyClick(window_.get(), Qt::Key_Escape);
  QTest::qWait(200);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(watcher_.boxes.empty());
  EXPECT_EQ(window_->Text(IDC_MESSAGE), "");
}

// Enter as in the Windows dialog: a focused button takes it as its own click,
// and from an edit or a list it runs "read 1". Every case has a valid setting
// typed in, so a 'D' frame sent by mistake would go out.
struct EnterCase {
  const char* focus;
  std::string outcome;
  Bytes frame;  // the only frame on the wire afterwards, if any
};

void PrintTo(const EnterCase& c, std::ostream* os) {
  *os << c.focus;
}

class QtEnterTest : public QtWindowTest, public ::testing::WithParamInterface<EnterCase> {};

TEST_P(QtEnterTest, RunsTheFocusedButtonOrReadOne) {
  const EnterCase& c = GetParam();
  Find<QComboBox>("IDC_SENSOR_TYPE")->setCurrentIndex(3);  // K type
  Find<QComboBox>("IDC_MIN_SIGN")->setCurrentIndex(0);
  Type("IDC_INPUT_MAX", "1000");
  Type("IDC_INPUT_MIN", "0");
  QWidget* focus = Find(c.focus);
  focus->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return focus->hasFocus(); }, 2000));
  QTest::keyClick(focus, Qt::Key_Return);
  ASSERT_TRUE(WaitForGate());
  EXPECT_EQ(window_->Text(IDC_MESSAGE), c.outcome);
  EXPECT_TRUE(watcher_.boxes.empty());
  QTest::qWait(100);
  EXPECT_EQ(FramesOnTheWire(), c.frame.empty() ? std::vector<Bytes>{} : std::vector<Bytes>{c.frame});
}

INSTANTIATE_TEST_SUITE_P(
    Focus, QtEnterTest,
    ::testing::Values(
        EnterCase{"IDC_INPUT_MIN", texts::kSettingReadSuccess, {'B'}},
        EnterCase{"IDC_SENSOR_TYPE", texts::kSettingReadSuccess, {'B'}},
        EnterCase{"IDC_CONNECT", texts::kOpenSuccess, {}},
        EnterCase{"IDC_READ_COLD_PORT", texts::kColdPortReadSuccess, {'E'}},
        EnterCase{"IDOK", texts::kSetComplete, {0x44, 3, 0x03, 0xE8, 0, 0, 1, 0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.focus); });

// ---------------------------------------------------------------- every scenario

// The object name of the control with identifier `id`: its identifier's name.
const char* NameOf(int id) {
  for (const DialogControl& control : kDialogControls) {
    if (control.id == id) return control.name;
  }
  return "";
}

class QtScenarioTest : public QtWindowTest,
                       public ::testing::WithParamInterface<const scenario::Scenario*> {};

// The row worked through the window as a person would: lists chosen, fields
// typed, the button clicked, every box dismissed. Its outcome must reach the
// window on time, from whichever thread it comes.
TEST_P(QtScenarioTest, ShowsWhatTheTechnicianShouldSee) {
  const scenario::Scenario& row = *GetParam();
  scenario::Arrange(*this, row);
  for (const auto& choice : row.chosen) {
    Find<QComboBox>(NameOf(choice.list))->setCurrentIndex(choice.index);
  }
  for (const auto& field : row.typed) {
    auto* edit = window_->findChild<QLineEdit*>(NameOf(field.id));
    if (edit != nullptr) {
      Type(NameOf(field.id), field.text);
    } else {
      window_->SetText(field.id, field.text);  // a read-only field, as a read left it
    }
  }
  Click(NameOf(row.op->command));
  if (row.clicksDuring) {
    for (const char* name : {"IDOK", "IDC_CONNECT", "IDC_READ_SETTING", "IDC_READ_COLD_PORT",
                             "IDC_CALIBRATE_COLD_PORT"}) {
      QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton);
    }
    QTest::keyClick(window_.get(), Qt::Key_Return);
  }
  ASSERT_TRUE(WaitForGate());
  QTest::qWait(100);  // a stray frame would be on its way
  const std::string port = portName;

  std::vector<std::string> expectedBoxes, shownBoxes;
  for (const auto& box : row.boxes) expectedBoxes.push_back(texts::WithPort(box.text, port));
  for (const auto& box : watcher_.boxes) shownBoxes.push_back(box.text);
  EXPECT_EQ(shownBoxes, expectedBoxes);
  if (row.outcome.empty()) {
    EXPECT_TRUE(messages_.empty()) << messages_.front().text;
  } else {
    EXPECT_EQ(window_->Text(IDC_MESSAGE), row.outcome);
    EXPECT_NEAR(static_cast<double>(MessageAt(row.outcome)),
                row.op->Outcome().atMs + scenario::QuietMs(row) - timeline::kQuiet, kToleranceMs);
  }
  for (const auto& field : row.after) {
    EXPECT_EQ(window_->Text(field.id), texts::WithPort(field.text, port)) << NameOf(field.id);
  }
  EXPECT_EQ(FramesOnTheWire(), row.frames);
}

INSTANTIATE_TEST_SUITE_P(Rows, QtScenarioTest, ::testing::ValuesIn(scenario::At(scenario::kQt)),
                         scenario::NameOf);

// A read-back field shows its text as the Windows dialog would, line breaks included.
TEST_F(QtWindowTest, ReadBackLinesShowWithoutTheirCarriageReturn) {
  window_->SetText(IDC_READ_SENSOR, "sensor：E type TC\r\n");
  EXPECT_EQ(Find<QPlainTextEdit>("IDC_READ_SENSOR")->toPlainText().toStdString(),
            "sensor：E type TC\n");
}

// ---------------------------------------------------------------- boxes from the worker

TEST_F(QtWindowTest, BoxFromTheWorkerBlocksOnlyTheWorker) {
  MakePortMissing();
  int paints = 0;
  struct PaintCounter : QObject {
    int* count;
    explicit PaintCounter(int* c) : count(c) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) ++*count;
      return false;
    }
  } counter(&paints);
  watcher_.dismissAfterMs = 400;
  int paintsWhenShown = -1;
  watcher_.onShow = [&] {
    if (paintsWhenShown >= 0) return;
    // While the worker waits on its box: the window repaints, and a command
    // given now is ignored.
    window_->installEventFilter(&counter);
    paintsWhenShown = paints;
    window_->update();
    Find<QPushButton>("IDC_CONNECT")->click();
  };
  Click("IDC_READ_COLD_PORT");
  ASSERT_TRUE(WaitForGate());
  window_->removeEventFilter(&counter);
  ASSERT_EQ(watcher_.boxes.size(), 2u);
  EXPECT_EQ(watcher_.boxes[0].text, texts::WithPort(texts::kOpenFailure, portName));
  EXPECT_EQ(watcher_.boxes[1].text, texts::kPortNotOpen);
  EXPECT_GT(paints, paintsWhenShown) << "the window did not paint while the box was up";
  EXPECT_EQ(window_->Text(IDC_PORT_NAME), "") << "Connect ran during the operation";
  EXPECT_EQ(window_->Text(IDC_MESSAGE), texts::kColdPortReadFail);
  // Both boxes held the worker, so the outcome comes that much later.
  EXPECT_NEAR(static_cast<double>(MessageAt(texts::kColdPortReadFail)),
              timeline::kReadColdPort.Outcome().atMs + 800.0, kToleranceMs);
}

// ---------------------------------------------------------------- closing the real program

struct ClosingCase {
  const char* name;
  bool portHeld;  // by this test, so the program's opening fails
  const char* script;
};

void PrintTo(const ClosingCase& c, std::ostream* os) {
  *os << c.name;
}

class QtClosingTest : public QtWindowTest, public ::testing::WithParamInterface<ClosingCase> {};

// The program itself, worked by the preloaded script library, closed while a
// read is pending or while the worker shows a box: it must end within a second
// of the close, with exit code 0 and no sanitizer report.
TEST_P(QtClosingTest, EndsTheProgramAtOnceWithCodeZero) {
  const ClosingCase& c = GetParam();
  device_->Misbehave({sim::Misbehaviour::kSilent, 0, 0, {}});
  PortHandle holder;
  if (c.portHeld) {
    ASSERT_TRUE(HoldPort(holder, window_.get()));
  }
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  environment.insert("CORVELLE_PORT_DIR", QString::fromStdString(folder_));
  environment.insert("LD_PRELOAD", CORVELLE_PRELOAD);
  environment.insert("CORVELLE_QT_SCRIPT", c.script);
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::SeparateChannels);
  QElapsedTimer sinceClose;
  std::string errors;
  QObject::connect(&program, &QProcess::readyReadStandardError, [&] {
    errors += program.readAllStandardError().toStdString();
    if (!sinceClose.isValid() && errors.find("ok close") != std::string::npos) sinceClose.start();
  });
  program.start(CORVELLE_PROGRAM, {});
  ASSERT_TRUE(program.waitForStarted(5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return program.state() == QProcess::NotRunning; }, 15000))
      << errors;
  const long afterClose = sinceClose.isValid() ? static_cast<long>(sinceClose.elapsed()) : -1;
  errors += program.readAllStandardError().toStdString();
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << errors;
  EXPECT_EQ(program.exitCode(), 0) << errors;
  EXPECT_GE(afterClose, 0) << errors;
  EXPECT_LT(afterClose, 1000) << "ms from the close to the end";
  EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
}

INSTANTIATE_TEST_SUITE_P(MidOperation, QtClosingTest,
                         ::testing::Values(ClosingCase{"WithAReadPending", false,
                                                       "click IDC_READ_SETTING; sleep 1000; close"},
                                           ClosingCase{
                                               "WhileTheWorkerShowsABox", true,
                                               "click IDC_READ_COLD_PORT; sleep 500; close"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
