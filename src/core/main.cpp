#include <QApplication>

#include "core/FormMain.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Parlo");
  TFormMain window;
  FormMain = &window;
  window.show();
  const int rc = QApplication::exec();
  FormMain = nullptr;
  return rc;
}
