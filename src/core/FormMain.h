#pragma once

#include <QMainWindow>
#include <string>

// The main window: the hub that owns the directory-server link, the peer listener
// and the contact lists, and opens every other window.
class TFormMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TFormMain(QWidget* parent = nullptr);

  // Appends one entry to "errorlog.txt" in the home folder. Works before the main
  // window exists and never raises: it runs inside handlers that are already
  // dealing with an error.
  static void LogError(const std::string& address, const std::string& port, const std::string& message);
};

extern TFormMain* FormMain;
