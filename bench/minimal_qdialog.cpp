// The smallest Qt window to hold the Linux program against: an empty dialog.
#include <QApplication>
#include <QDialog>

#include "app/dialog_layout.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QDialog dialog;
  dialog.setWindowTitle(CORVELLE_WINDOW_TITLE);
  dialog.resize(945, 758);
  dialog.show();
  return application.exec();
}
