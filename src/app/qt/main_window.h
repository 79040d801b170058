// The Linux program's window: the main dialog as a Qt widget, control for
// control as on Windows (the same identifiers, as object names, the same texts,
// lists and layout in dialog units). It fills its lists and runs discovery once
// when it is made, and hands every command to OnCommand. view_qt.cpp
// implements the view seam on it.
#ifndef CORVELLE_APP_QT_MAIN_WINDOW_H
#define CORVELLE_APP_QT_MAIN_WINDOW_H

#include <QDialog>
#include <map>
#include <string>

class MainWindow : public QDialog {
  Q_OBJECT

 public:
  MainWindow();

  // The control with identifier `id`, or nullptr for one the window does not have.
  QWidget* Control(int id) const;

  // The view seam's work. User-interface thread only.
  void SetText(int id, const std::string& text);
  std::string Text(int id) const;
  int Selection(int id) const;
  void ShowTips(const std::string& text);

 signals:
  // The user closed the window. The program ends on it, without waiting for
  // an operation that may still run.
  void closed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  std::map<int, QWidget*> controls_;
  std::map<int, std::string> shownTexts_;  // of the read-only multi-line fields
};

#endif
