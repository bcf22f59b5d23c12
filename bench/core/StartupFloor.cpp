// The floor against which the program's start-up time and memory are read: a
// small Qt Widgets program that shows what any window of ours needs at least,
// a menu bar, a label and a one-row tree (so text is laid out and fonts are
// loaded), and then idles.
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(200, 420);
  auto* layout = new QVBoxLayout(&window);
  auto* menus = new QMenuBar(&window);
  QMenu* file = menus->addMenu("&File");
  file->addAction("&Preferences...");
  file->addSeparator();
  file->addAction("E&xit");
  menus->addMenu("&Help")->addAction("&About...");
  layout->setMenuBar(menus);
  layout->addWidget(new QLabel("Select your Online Status", &window));
  auto* tree = new QTreeWidget(&window);
  tree->setHeaderHidden(true);
  tree->setRootIsDecorated(false);
  tree->addTopLevelItem(new QTreeWidgetItem(QStringList{"Ann", "Available"}));
  layout->addWidget(tree);
  QTimer::singleShot(0, &window, [&window] {
    window.show();
    std::printf("parlo: shown\n");
    std::fflush(stdout);
  });
  return QApplication::exec();
}
