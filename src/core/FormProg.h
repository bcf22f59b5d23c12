#pragma once

#include <QWidget>
#include <string>

class QLabel;
class QProgressBar;

// "Progress": how far a long operation on the local tables has come. It stays
// on top while the operation runs; the user cannot close it, only hide it,
// and the operation goes on.
class TFormProg : public QWidget {
  Q_OBJECT

 public:
  TFormProg();

  // Shown and drawn at once: the operation runs inside the current event.
  void Start(const std::string& caption, const std::string& text, int maximum);
  void SetPosition(int position);

  QLabel* Label;
  QProgressBar* ProgressBar;

 protected:
  void closeEvent(QCloseEvent* e) override;
};
