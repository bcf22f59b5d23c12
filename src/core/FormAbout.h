#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class TSession;

// "About Parlo": the logo, the program's name and version, and the links to
// the home and support pages.
class TFormAbout : public QWidget {
  Q_OBJECT

 public:
  // The open one to the front, or a new one (not modal; it frees itself when closed).
  static TFormAbout* ActionAboutExecute(TSession& session);

  explicit TFormAbout(TSession& session, QWidget* parent = nullptr);

  QLabel *ImgLogo, *Label2, *LabVersion, *Label5, *Label7;
  QPushButton* SpeedButton1;

  // The home and the support page.
  void Label5Click();
  void Label7Click();

 private:
  TSession& session_;
};
