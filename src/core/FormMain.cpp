#include "core/FormMain.h"

TFormMain* FormMain = nullptr;

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent) {
  setObjectName("FormMain");
  setWindowTitle("Parlo - Unregistered");
  resize(260, 480);
}
