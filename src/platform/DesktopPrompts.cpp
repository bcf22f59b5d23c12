#include "platform/DesktopPrompts.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "platform/DosFiles.h"
#include "platform/ErrorSink.h"

namespace platform {

namespace {

bool HaveDesktop() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
         QGuiApplication::platformName() != QLatin1String("offscreen");
}

QString Q(const std::string& text) { return ShownQString(text); }

// A chosen file or folder: its name as the disk has it, whatever its characters.
std::string FromQ(const QString& text) { return NameFromDiskBytes(text.toStdString()); }

// What TQuestionsAbout names, innermost last.
std::vector<QPointer<QWidget>>& Subjects() {
  static std::vector<QPointer<QWidget>> subjects;
  return subjects;
}

}  // namespace

QWidget* QuestionWindow(QWidget* fallback) {
  const auto& subjects = Subjects();
  for (auto at = subjects.rbegin(); at != subjects.rend(); ++at)
    if (*at && (*at)->isVisible()) return *at;
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return fallback;
  // A tool window (the alert toast) or a menu is no window a question is about.
  QWidget* active = QApplication::activeWindow();
  const bool main = active != nullptr && (active->windowType() == Qt::Window || active->windowType() == Qt::Dialog);
  return main && active->isVisible() ? active : fallback;
}

TQuestionsAbout::TQuestionsAbout(QWidget* window) { Subjects().emplace_back(window); }

TQuestionsAbout::~TQuestionsAbout() { Subjects().pop_back(); }

bool AskYesNo(const std::string& text, const std::string& caption) {
  if (!HaveDesktop()) return false;
  return QMessageBox::question(QuestionWindow(), Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

bool AskOkCancel(const std::string& text, const std::string& caption) {
  if (!HaveDesktop()) return false;
  const bool busy = QGuiApplication::overrideCursor() != nullptr;
  if (busy) QGuiApplication::restoreOverrideCursor();
  const bool ok = QMessageBox::information(QuestionWindow(), Q(caption), Q(text),
                                           QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
  if (busy) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  return ok;
}

void ShowMessage(const std::string& text, const std::string& caption) {
  if (!HaveDesktop()) {
    ReportError(caption + ": " + text);
    return;
  }
  QMessageBox::warning(QuestionWindow(), Q(caption), Q(text));
}

namespace {

// The filter comes as "Description|pattern|Description|pattern"; Qt wants "Description (pattern);;...".
QString QtFilter(const std::string& filter) {
  QStringList parts = Q(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    // Qt matches the patterns in the parentheses, with case: take the real pattern.
    QString description = parts[i].section(QLatin1Char('('), 0, 0).trimmed();
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << description + QLatin1String(" (") + patterns + QLatin1Char(')');
  }
  return filters.join(QLatin1String(";;"));
}

bool AskFileName(bool save, const std::string& title, const std::string& filter, const std::string& startDir,
                 std::string& name, const std::string& defaultExt) {
  if (!HaveDesktop()) return false;
  QFileDialog dialog(QuestionWindow(), Q(title), Q(DosToUnixPath(startDir)), QtFilter(filter));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(Q(defaultExt));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  name = FromQ(dialog.selectedFiles().first());
  return true;
}

}  // namespace

bool AskOpenFileName(const std::string& title, const std::string& filter, const std::string& startDir,
                     std::string& name) {
  return AskFileName(false, title, filter, startDir, name, "");
}

bool AskSaveFileName(const std::string& title, const std::string& filter, const std::string& startDir,
                     std::string& name, const std::string& defaultExt) {
  return AskFileName(true, title, filter, startDir, name, defaultExt);
}

bool AskFolder(const std::string& title, const std::string& startDir, std::string& folder) {
  if (!HaveDesktop()) return false;
  const QString chosen = QFileDialog::getExistingDirectory(QuestionWindow(), Q(title), Q(DosToUnixPath(startDir)));
  if (chosen.isEmpty()) return false;
  folder = FromQ(chosen);
  return true;
}

void PumpEvents() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void Beep() {
  if (HaveDesktop()) QApplication::beep();
}

}  // namespace platform
