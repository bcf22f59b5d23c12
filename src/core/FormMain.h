#pragma once

#include <QMainWindow>

// The main window: the hub that owns the directory-server link, the peer listener
// and the contact lists, and opens every other window.
class TFormMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TFormMain(QWidget* parent = nullptr);
};

extern TFormMain* FormMain;
