#include "conversations/FormImgView.h"

#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QStatusBar>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "platform/Charset.h"
#include "platform/FileNames.h"

TFormImgView::TFormImgView() : QWidget(nullptr, Qt::Window) {
  setObjectName("FormImgView");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Picture Viewer");
  dialoglook::ColourForm(this);
  Img = new QLabel(this);
  Img->setAlignment(Qt::AlignCenter);
  Stat = new QStatusBar(this);
  Stat->setSizeGripEnabled(false);
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(Img, 1);
  box->addWidget(Stat);
}

void TFormImgView::LoadPicture(const std::string& fileName) {
  // The reader decides by the bytes, not by the name, and refuses a picture
  // whose size alone would take more memory than its allocation limit.
  QImageReader reader(QString::fromStdString(platform::PathFromName(fileName).string()));
  reader.setDecideFormatFromContent(true);
  const QImage image = reader.read();
  if (image.isNull()) {
    Img->clear();
    Stat->showMessage("Unrecognized file format");
    return;
  }
  Img->setPixmap(QPixmap::fromImage(image));
  Stat->showMessage(platform::ShownQString(platform::ExtractFileName(fileName)));
  resize(image.width() + 26, image.height() + 64);
}

TFormImgView* ShowPicture(const std::string& fileName, const std::string& title) {
  auto* view = new TFormImgView;
  view->LoadPicture(fileName);
  view->setWindowTitle(platform::ShownQString(title + " - Picture"));
  view->show();
  return view;
}
