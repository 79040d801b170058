// The smallest Qt window to hold the Linux program against: an empty dialog.
#include <QApplication>
#include <QDialog>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QDialog dialog;
  dialog.setWindowTitle("Corvelle");
  dialog.resize(945, 758);
  dialog.show();
  return application.exec();
}
