#include "platform/DesktopPrompts.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "platform/DosFiles.h"
#include "platform/ErrorSink.h"

namespace platform {

namespace {

bool HaveDesktop() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
         QGuiApplication::platformName() != QLatin1String("offscreen");
}

QString Q(const std::string& text) { return QString::fromUtf8(AnsiToUtf8(text)); }

// A chosen file or folder: its name as the disk has it, whatever its characters.
std::string FromQ(const QString& text) { return NameFromDiskBytes(text.toStdString()); }

}  // namespace

bool AskYesNo(const std::string& text, const std::string& caption) {
  if (!HaveDesktop()) return false;
  return QMessageBox::question(nullptr, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

bool AskOkCancel(const std::string& text, const std::string& caption) {
  if (!HaveDesktop()) return false;
  const bool busy = QGuiApplication::overrideCursor() != nullptr;
  if (busy) QGuiApplication::restoreOverrideCursor();
  const bool ok = QMessageBox::information(nullptr, Q(caption), Q(text), QMessageBox::Ok | QMessageBox::Cancel) ==
                  QMessageBox::Ok;
  if (busy) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  return ok;
}

void ShowMessage(const std::string& text, const std::string& caption) {
  if (!HaveDesktop()) {
    ReportError(caption + ": " + text);
    return;
  }
  QMessageBox::warning(nullptr, Q(caption), Q(text));
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
                 std::string& name) {
  if (!HaveDesktop()) return false;
  const QString start = Q(DosToUnixPath(startDir));
  const QString chosen = save ? QFileDialog::getSaveFileName(nullptr, Q(title), start, QtFilter(filter))
                              : QFileDialog::getOpenFileName(nullptr, Q(title), start, QtFilter(filter));
  if (chosen.isEmpty()) return false;
  name = FromQ(chosen);
  return true;
}

}  // namespace

bool AskOpenFileName(const std::string& title, const std::string& filter, const std::string& startDir,
                     std::string& name) {
  return AskFileName(false, title, filter, startDir, name);
}

bool AskSaveFileName(const std::string& title, const std::string& filter, const std::string& startDir,
                     std::string& name) {
  return AskFileName(true, title, filter, startDir, name);
}

bool AskFolder(const std::string& title, const std::string& startDir, std::string& folder) {
  if (!HaveDesktop()) return false;
  const QString chosen = QFileDialog::getExistingDirectory(nullptr, Q(title), Q(DosToUnixPath(startDir)));
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
