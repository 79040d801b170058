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
#include <utility>
#include <vector>

#include "app/dialog_layout.h"
#include "ops/command_dispatch.h"
#include "ops/window_start.h"
#include "view/control_ids.h"

namespace {

// The dialog's font: 12 points, with the full-width characters of the texts.
const char* const kFontFamilies[] = {"WenQuanYi Micro Hei", "Noto Sans CJK SC",
                                     "Droid Sans Fallback"};
constexpr int kFontPoints = 12;

// The Windows dialog manager's default button: the last default push button
// of the template.
constexpr int kDefaultCommand = IDC_READ_SETTING;

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

QWidget* MakeControl(const DialogControl& entry, QWidget* parent) {
  const QString text = QString::fromUtf8(entry.text).replace('\r', '\n');
  switch (entry.kind) {
    case ControlKind::kGroup: {
      auto* group = new QGroupBox(text, parent);
      group->setAlignment(Qt::AlignHCenter);
      return group;
    }
    case ControlKind::kLabel:
    case ControlKind::kCentredLabel: {
      // Static texts wrap at word boundaries, as on Windows.
      auto* label = new QLabel(text, parent);
      label->setWordWrap(true);
      label->setAlignment((entry.kind == ControlKind::kCentredLabel ? Qt::AlignHCenter : Qt::AlignLeft) |
                          Qt::AlignTop);
      return label;
    }
    case ControlKind::kEdit:
    case ControlKind::kReadOnlyEdit: {
      auto* edit = new QLineEdit(parent);
      if (entry.kind == ControlKind::kReadOnlyEdit) ShowAsReadOnly(edit);
      return edit;
    }
    case ControlKind::kReadOnlyText:
    case ControlKind::kCentredReadOnlyText: {
      auto* field = new QPlainTextEdit(parent);
      ShowAsReadOnly(field);
      field->setFocusPolicy(Qt::NoFocus);
      field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      field->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      field->document()->setDocumentMargin(1);
      if (entry.kind == ControlKind::kCentredReadOnlyText) {
        QTextOption option = field->document()->defaultTextOption();
        option.setAlignment(Qt::AlignHCenter);
        field->document()->setDefaultTextOption(option);
      }
      return field;
    }
    case ControlKind::kList:
      return new QComboBox(parent);
    case ControlKind::kButton: {
      // Enter is handled by the window, as the Windows dialog manager does.
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(false);
      return button;
    }
    case ControlKind::kWrappingButton: {
      auto* button = new WrappingButton(text, parent);
      button->setAutoDefault(false);
      return button;
    }
  }
  return nullptr;
}

// Appends at the end, so every list keeps the order it is given.
void AppendListEntry(DialogHandle dialog, int listId, const char* entry) {
  auto* list = static_cast<QComboBox*>(static_cast<MainWindow*>(dialog)->Control(listId));
  list->addItem(QString::fromUtf8(entry));
}

}  // namespace

MainWindow::MainWindow() {
  setWindowTitle(CORVELLE_WINDOW_TITLE);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  QFont font;
  font.setFamilies(QStringList(std::begin(kFontFamilies), std::end(kFontFamilies)));
  font.setPointSize(kFontPoints);
  setFont(font);

  const DialogUnits units(font);
  std::vector<std::pair<QLabel*, int>> labels;
  for (const DialogControl& entry : kDialogControls) {
    QWidget* control = MakeControl(entry, this);
    int height = units.Y(entry.height);
    // A list's height in the template includes its drop-down part.
    if (entry.kind == ControlKind::kList) height = control->sizeHint().height();
    control->setGeometry(units.X(entry.x), units.Y(entry.y), units.X(entry.width), height);
    if (entry.labels >= 0) labels.push_back({static_cast<QLabel*>(control), entry.labels});
    if (entry.id < 0) continue;
    control->setObjectName(entry.name);
    controls_[entry.id] = control;
    // A screen reader names a field or list after its label; a button goes by its text.
    const std::string name = AccessibleName(entry.id);
    if (!name.empty()) control->setAccessibleName(FromUtf8(name));
    if (auto* button = qobject_cast<QPushButton*>(control)) {
      const int id = entry.id;
      connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(this, id); });
    }
  }
  for (const auto& [label, field] : labels) label->setBuddy(Control(field));
  resize(units.X(kDialogWidth), units.Y(kDialogHeight));

  FillListsAndFindPort(this, AppendListEntry);
  // No list has a choice at start, as in the Windows dialog.
  for (auto* list : findChildren<QComboBox*>()) list->setCurrentIndex(-1);
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
    // The widget keeps only what it shows; the text is kept as it was set,
    // "\r\n" and all, for the core to read back.
    shownTexts_[id] = text;
    field->setPlainText(FromUtf8(text).replace("\r\n", "\n"));
  }
}

std::string MainWindow::Text(int id) const {
  QWidget* control = Control(id);
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text().toStdString();
  const auto shown = shownTexts_.find(id);
  return shown == shownTexts_.end() ? std::string() : shown->second;
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
