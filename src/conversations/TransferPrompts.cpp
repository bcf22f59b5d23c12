#include "conversations/TransferPrompts.h"

#include <QFile>
#include <QFileDialog>
#include <QImageReader>
#include <QInputDialog>

#include "core/session/Prompts.h"
#include "platform/Charset.h"

namespace {

// The pictures the viewer on the other side can show.
QString PictureFilter() {
  QStringList patterns;
  for (const QByteArray& format : QImageReader::supportedImageFormats())
    patterns << QStringLiteral("*.") + QString::fromLatin1(format);
  return QStringLiteral("All Pictures (") + patterns.join(' ') + QStringLiteral(");;All Files (*)");
}

// A chosen file by the bytes of its name on disk, whatever its characters.
std::string NameOnDisk(const QString& chosen) {
  return platform::NameFromPath(std::filesystem::path(QFile::encodeName(chosen).toStdString()));
}

}  // namespace

bool TTransferDialogs::AskPackageName(std::string& name) {
  bool ok = false;
  const QString answer = QInputDialog::getText(nullptr, "Filename?", "Please type in a name for this file package.",
                                               QLineEdit::Normal, platform::ToQString(name), &ok);
  if (!ok) return false;
  name = platform::FromQString(answer);
  return true;
}

bool TTransferDialogs::ChooseFiles(TTransferKind kind, std::vector<std::string>& files) {
  QStringList chosen;
  switch (kind) {
    case TTransferKind::Binary:
      chosen = QFileDialog::getOpenFileNames(nullptr, "Please select Files to send...", {}, "All Files (*)");
      break;
    case TTransferKind::Image:
      chosen << QFileDialog::getOpenFileName(nullptr, "Please select Image file to send...", {}, PictureFilter());
      break;
    case TTransferKind::Sound:
      chosen << QFileDialog::getOpenFileName(
          nullptr, "Please select Sound File to send...", {},
          "All Sound Files (*.mp3 *.wav *.mid *.rmi);;MP3 Files (*.mp3);;Wave Files (*.wav);;"
          "Midi Files (*.mid);;Midi Sequence (*.rmi)");
      break;
  }
  chosen.removeAll(QString());
  if (chosen.isEmpty()) return false;
  files.clear();
  for (const QString& file : chosen) files.push_back(NameOnDisk(file));
  return true;
}

bool TTransferDialogs::AskOverwrite(const std::string& fileName) {
  return prompts_.AskYesNo("The file [" + fileName + "] already exists, overwrite this file?", "Overwrite?", false);
}
