// The smallest Qt Widgets program that shows a window and then idles: the
// floor against which the program's start-up time and memory are read.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(200, 420);
  QTimer::singleShot(0, &window, [&window] {
    window.show();
    std::printf("parlo: shown\n");
    std::fflush(stdout);
  });
  return QApplication::exec();
}
