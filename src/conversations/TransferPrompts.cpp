#include "conversations/TransferPrompts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QDir>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "core/session/Prompts.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"
#include "platform/QuestionBoxes.h"

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

// The name travels as 8-bit text: the line under it names the typed
// characters that would arrive as "?", as under the chat input.
bool TTransferDialogs::AskPackageName(std::string& name) {
  QWidget* about = platform::QuestionWindow();
  // On the heap, as a message box: the window it is about may go while it waits.
  QPointer<QDialog> dialog = new QDialog(about);
  dialog->setWindowTitle("Filename?");
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(new QLabel("Please type in a name for this file package.", dialog));
  auto* edit = new QLineEdit(platform::ToQString(name), dialog);
  edit->setMinimumWidth(300);
  layout->addWidget(edit);
  layout->addWidget(dialoglook::MakeCharsetNote(edit));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(buttons);
  // The note wraps onto lines of its own when it shows: the dialog grows to
  // hold them rather than squeezing the note over the buttons.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  platform::CentreOn(dialog, about);
  const bool ok = dialog->exec() == QDialog::Accepted;
  if (dialog.isNull()) return false;
  const QString answer = edit->text();
  delete dialog.data();
  if (!ok) return false;
  name = platform::FromQString(answer);
  return true;
}

bool TTransferDialogs::ChooseFiles(TTransferKind kind, std::vector<std::string>& files) {
  QString title, filter;
  switch (kind) {
    case TTransferKind::Binary:
      title = "Please select Files to send...";
      filter = "All Files (*)";
      break;
    case TTransferKind::Image:
      title = "Please select Image file to send...";
      filter = PictureFilter();
      break;
    case TTransferKind::Sound:
      title = "Please select Sound File to send...";
      filter =
          "All Sound Files (*.mp3 *.wav *.mid *.rmi);;MP3 Files (*.mp3);;Wave Files (*.wav);;"
          "Midi Files (*.mid);;Midi Sequence (*.rmi)";
      break;
  }
  // From the user's home, not whatever folder the program started in.
  auto* dialog = new QFileDialog(platform::QuestionWindow(), title, QDir::homePath(), filter);
  dialog->setFileMode(kind == TTransferKind::Binary ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  const QStringList chosen = platform::RunFileDialog(dialog);
  if (chosen.isEmpty()) return false;
  files.clear();
  for (const QString& file : chosen) files.push_back(NameOnDisk(file));
  return true;
}

bool TTransferDialogs::AskOverwrite(const std::string& fileName) {
  return prompts_.AskYesNo("The file [" + fileName + "] already exists, overwrite this file?", "Overwrite?", false);
}
