#include "conversations/FormImgView.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QStatusBar>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "core/session/PeerBounds.h"
#include "platform/Charset.h"
#include "platform/FileNames.h"
#include "platform/Jpeg.h"

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
  QFile file(QString::fromStdString(platform::PathFromName(fileName).string()));
  QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  // The reader decides by the bytes, not by the name, and refuses a picture
  // whose size alone would take more memory than its allocation limit. A
  // JPEG from someone else is counted first for the scans the reader would
  // decode one by one, since nothing in the reader bounds them.
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  const QSize size = reader.size();
  const int scans = peerbounds::PictureScans(static_cast<std::int64_t>(size.width()) * size.height());
  const bool dear = reader.format() == "jpeg" &&
                    !platform::JpegScansWithin(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                               static_cast<std::size_t>(bytes.size()), scans);
  const QImage image = dear ? QImage() : reader.read();
  if (image.isNull()) {
    Img->clear();
    Stat->showMessage("Unrecognized file format");
    return;
  }
  Img->setPixmap(QPixmap::fromImage(image));
  Stat->showMessage(platform::ShownQString(platform::NameFromPath(platform::PathFromName(fileName))));
  resize(image.width() + 26, image.height() + 64);
}

TFormImgView* ShowPicture(const std::string& fileName, const std::string& title) {
  auto* view = new TFormImgView;
  view->LoadPicture(fileName);
  view->setWindowTitle(platform::ShownQString(title + " - Picture"));
  view->show();
  return view;
}
