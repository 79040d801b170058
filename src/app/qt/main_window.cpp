#include "app/qt/main_window.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "link/port_discovery.h"
#include "ops/command_dispatch.h"
#include "protocol/sensor_catalogue.h"
#include "view/control_ids.h"
#include "view/window_lists.h"

namespace {

// The dialog's font: 12 points, with the full-width characters of the texts.
const char* const kFontFamilies[] = {"WenQuanYi Micro Hei", "Noto Sans CJK SC",
                                     "Droid Sans Fallback"};
constexpr int kFontPoints = 12;

// Raw text of a read-only multi-line field, kept as the core set it ("\r\n"
// and all), since the widget keeps only what it shows.
constexpr char kRawText[] = "corvelleText";

enum class Kind {
  kGroup,  // frame with a centred title
  kLabel,  // text; "\r" breaks the line
  kCentredLabel,
  kEdit,          // one line, typed into
  kReadOnlyEdit,  // one line, shown only
  kReadOnlyText,  // several lines, shown only
  kCentredReadOnlyText,
  kList,  // drop-down list without an edit field
  kButton,
  kWrappingButton,  // its text wraps onto a second line
};

struct ControlSpec {
  Kind kind;
  int id;            // -1 for labels and frames that no code addresses
  const char* name;  // object name: the identifier's own name
  const char* text;
  int x, y, width, height;  // dialog units
};

#define CONTROL(kind, id, text, x, y, w, h) \
  { Kind::kind, id, #id, text, x, y, w, h }
#define STATIC(kind, text, x, y, w, h) \
  { Kind::kind, -1, nullptr, text, x, y, w, h }

// The Windows dialog's controls in its order (which is also the tab order),
// at its positions and sizes.
const ControlSpec kControls[] = {
    STATIC(kCentredLabel, "", 128, 5, 124, 19),
    STATIC(kLabel, "serial port", 8, 39, 44, 10),
    CONTROL(kReadOnlyEdit, IDC_PORT_NAME, "", 54, 37, 50, 14),
    CONTROL(kButton, IDC_CONNECT, "Connect", 109, 37, 50, 14),
    STATIC(kLabel, " cold port\rtemperature", 2, 171, 44, 18),
    CONTROL(kEdit, IDC_COLD_PORT_TEMP, "", 47, 173, 38, 14),
    CONTROL(kWrappingButton, IDC_READ_COLD_PORT, "read cold port", 88, 169, 45, 22),
    CONTROL(kWrappingButton, IDC_CALIBRATE_COLD_PORT, "calibrate cold port", 134, 165, 49, 28),
    STATIC(kCentredLabel, "message", 73, 202, 36, 10),
    CONTROL(kReadOnlyText, IDC_CHOICE, "", 9, 214, 170, 17),
    CONTROL(kReadOnlyText, IDC_MESSAGE, "", 9, 231, 170, 17),
    STATIC(kGroup, "set（type）", 193, 25, 217, 128),
    STATIC(kLabel, "sensor\r type", 207, 38, 32, 18),
    CONTROL(kList, IDC_SENSOR_TYPE, "", 241, 39, 107, 70),
    STATIC(kLabel, "output\r type", 207, 63, 32, 18),
    CONTROL(kList, IDC_OUTPUT_TYPE, "", 241, 65, 107, 70),
    STATIC(kLabel, "error output", 208, 86, 31, 18),
    CONTROL(kList, IDC_ERROR_OUTPUT, "", 241, 88, 107, 70),
    STATIC(kLabel, "input\r max", 209, 111, 30, 18),
    CONTROL(kEdit, IDC_INPUT_MAX, "", 241, 113, 102, 13),
    STATIC(kLabel, "(integer mult\r iple of 10)", 345, 111, 62, 18),
    STATIC(kLabel, "input\r min", 209, 132, 30, 18),
    CONTROL(kList, IDC_MIN_SIGN, "", 241, 136, 26, 48),
    CONTROL(kEdit, IDC_INPUT_MIN, "", 267, 136, 77, 13),
    STATIC(kLabel, "(integer mult\r iple of 10)", 346, 132, 62, 18),
    CONTROL(kButton, IDOK, "set", 352, 44, 37, 52),
    STATIC(kGroup, "Read current setting", 194, 158, 216, 99),
    STATIC(kLabel, "sensor   type", 214, 179, 30, 18),
    CONTROL(kCentredReadOnlyText, IDC_READ_SENSOR, "", 246, 180, 118, 15),
    STATIC(kLabel, "max", 198, 216, 18, 10),
    CONTROL(kReadOnlyText, IDC_READ_MAX_SIGN, "", 218, 208, 20, 23),
    CONTROL(kReadOnlyText, IDC_READ_MAX, "", 240, 208, 31, 23),
    STATIC(kLabel, "min", 296, 217, 18, 10),
    CONTROL(kReadOnlyText, IDC_READ_MIN_SIGN, "", 315, 208, 20, 23),
    CONTROL(kReadOnlyText, IDC_READ_MIN, "", 337, 208, 30, 23),
    CONTROL(kButton, IDC_READ_SETTING, "read 1", 265, 233, 52, 19),
};

// The Windows dialog manager's default button: the last default push button
// of the template.
constexpr int kDefaultCommand = IDC_READ_SETTING;

constexpr int kDialogWidth = 420;
constexpr int kDialogHeight = 319;

// A push button whose text wraps at its width, as a multi-line Win32 button's does.
class WrappingButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.drawText(rect().adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWordWrap, text());
  }
};

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Dialog units to pixels with the font's base units, rounded as Windows does.
struct DialogUnits {
  int baseX;
  int baseY;

  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    baseX =
        (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 +
         1) /
        2;
    baseY = metrics.height();
  }
  int X(int units) const { return (units * baseX + 2) / 4; }
  int Y(int units) const { return (units * baseY + 4) / 8; }
};

// A field that cannot be typed into, and looks it: on the window's colour.
template <typename Field>
void ShowAsReadOnly(Field* field) {
  field->setReadOnly(true);
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  field->setPalette(palette);
}

QWidget* MakeControl(const ControlSpec& entry, QWidget* parent) {
  const QString text = QString::fromUtf8(entry.text).replace('\r', '\n');
  switch (entry.kind) {
    case Kind::kGroup: {
      auto* group = new QGroupBox(text, parent);
      group->setAlignment(Qt::AlignHCenter);
      return group;
    }
    case Kind::kLabel:
    case Kind::kCentredLabel: {
      // Static texts wrap at word boundaries, as on Windows.
      auto* label = new QLabel(text, parent);
      label->setWordWrap(true);
      label->setAlignment((entry.kind == Kind::kCentredLabel ? Qt::AlignHCenter : Qt::AlignLeft) |
                          Qt::AlignTop);
      return label;
    }
    case Kind::kEdit:
    case Kind::kReadOnlyEdit: {
      auto* edit = new QLineEdit(parent);
      if (entry.kind == Kind::kReadOnlyEdit) ShowAsReadOnly(edit);
      return edit;
    }
    case Kind::kReadOnlyText:
    case Kind::kCentredReadOnlyText: {
      auto* field = new QPlainTextEdit(parent);
      ShowAsReadOnly(field);
      field->setFocusPolicy(Qt::NoFocus);
      field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      field->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      field->document()->setDocumentMargin(1);
      if (entry.kind == Kind::kCentredReadOnlyText) {
        QTextOption option = field->document()->defaultTextOption();
        option.setAlignment(Qt::AlignHCenter);
        field->document()->setDefaultTextOption(option);
      }
      field->setProperty(kRawText, QString());
      return field;
    }
    case Kind::kList:
      return new QComboBox(parent);
    case Kind::kButton: {
      // Enter is handled by the window, as the Windows dialog manager does.
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(false);
      return button;
    }
    case Kind::kWrappingButton: {
      auto* button = new WrappingButton(text, parent);
      button->setAutoDefault(false);
      return button;
    }
  }
  return nullptr;
}

void AppendEntries(QWidget* list, const char* const* entries, std::size_t count) {
  auto* combo = static_cast<QComboBox*>(list);
  for (std::size_t i = 0; i < count; ++i) combo->addItem(QString::fromUtf8(entries[i]));
  combo->setCurrentIndex(-1);
}

}  // namespace

MainWindow::MainWindow() {
  setWindowTitle("Corvelle");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  QFont font;
  font.setFamilies(QStringList(std::begin(kFontFamilies), std::end(kFontFamilies)));
  font.setPointSize(kFontPoints);
  setFont(font);

  const DialogUnits units(font);
  for (const ControlSpec& entry : kControls) {
    QWidget* control = MakeControl(entry, this);
    int height = units.Y(entry.height);
    // A list's height in the template includes its drop-down part.
    if (entry.kind == Kind::kList) height = control->sizeHint().height();
    control->setGeometry(units.X(entry.x), units.Y(entry.y), units.X(entry.width), height);
    if (entry.id < 0) continue;
    control->setObjectName(entry.name);
    controls_[entry.id] = control;
    if (auto* button = qobject_cast<QPushButton*>(control)) {
      const int id = entry.id;
      connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(this, id); });
    }
  }
  resize(units.X(kDialogWidth), units.Y(kDialogHeight));

  std::vector<const char*> sensors;
  for (const SensorEntry& sensor : SensorCatalogue) sensors.push_back(sensor.listLabel);
  AppendEntries(Control(IDC_SENSOR_TYPE), sensors.data(), sensors.size());
  AppendEntries(Control(IDC_OUTPUT_TYPE), kOutputTypeEntries.data(), kOutputTypeEntries.size());
  AppendEntries(Control(IDC_ERROR_OUTPUT), kErrorOutputEntries.data(), kErrorOutputEntries.size());
  AppendEntries(Control(IDC_MIN_SIGN), kMinSignEntries.data(), kMinSignEntries.size());
  // The port name field stays empty until the first Connect shows it.
  FindSerialPort();
}

QWidget* MainWindow::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void MainWindow::SetText(int id, const std::string& text) {
  QWidget* control = Control(id);
  if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    // A Linux device path is long and told apart by its end, so the field
    // shows the end; the whole path is in the tip.
    edit->setText(FromUtf8(text));
    if (edit->isReadOnly()) edit->setToolTip(FromUtf8(text));
  } else if (auto* field = qobject_cast<QPlainTextEdit*>(control)) {
    field->setProperty(kRawText, FromUtf8(text));
    field->setPlainText(FromUtf8(text).replace("\r\n", "\n"));
  } else if (auto* button = qobject_cast<QPushButton*>(control)) {
    button->setText(FromUtf8(text));
  }
}

std::string MainWindow::Text(int id) const {
  QWidget* control = Control(id);
  QString text;
  if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    text = edit->text();
  } else if (auto* field = qobject_cast<QPlainTextEdit*>(control)) {
    text = field->property(kRawText).toString();
  } else if (auto* list = qobject_cast<QComboBox*>(control)) {
    text = list->currentText();
  } else if (auto* button = qobject_cast<QPushButton*>(control)) {
    text = button->text();
  }
  return text.toStdString();
}

int MainWindow::Selection(int id) const {
  auto* list = qobject_cast<QComboBox*>(Control(id));
  return list == nullptr ? -1 : list->currentIndex();
}

void MainWindow::ShowTips(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, "tips", FromUtf8(text), QMessageBox::Ok, this);
  box.setObjectName("tips");
  box.exec();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Escape reaches the dispatch like any command, and does nothing there; it
  // does not close the window.
  if (event->key() == Qt::Key_Escape) {
    OnCommand(this, IDCANCEL);
    return;
  }
  // Enter as in the Windows dialog: a focused push button takes it as its own
  // click; from an edit or a list it runs the dialog's default button, which
  // is "read 1", a harmless read. So "set" runs from the keyboard only when
  // it has the focus.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
    } else {
      OnCommand(this, kDefaultCommand);
    }
    return;
  }
  QDialog::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  emit closed();
  QDialog::closeEvent(event);
}
