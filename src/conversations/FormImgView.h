#pragma once

#include <QWidget>
#include <string>

class QLabel;
class QStatusBar;

// "Picture Viewer": one picture file at its own size, its name in the status
// bar. It frees itself when closed.
class TFormImgView : public QWidget {
  Q_OBJECT

 public:
  TFormImgView();

  // A file that is no picture leaves an empty picture and says so.
  void LoadPicture(const std::string& fileName);

  QLabel* Img;
  QStatusBar* Stat;
};

// A new viewer with the file, captioned title + " - Picture".
TFormImgView* ShowPicture(const std::string& fileName, const std::string& title);
