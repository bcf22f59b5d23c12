#include "platform/DesktopPrompts.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "platform/DosFiles.h"
#include "platform/QuestionBoxes.h"
#include "platform/ErrorSink.h"
#include "platform/WindowPlacement.h"

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

namespace {

constexpr const char* kTransient = "parloTransientQuestion";

}  // namespace

QWidget* QuestionWindow(QWidget* fallback) {
  const auto& subjects = Subjects();
  for (auto at = subjects.rbegin(); at != subjects.rend(); ++at)
    if (*at && (*at)->isVisible()) return *at;
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return fallback;
  // A tool window (the alert toast), a menu or a question that may go by
  // itself is no window a question is about.
  QWidget* active = QApplication::activeWindow();
  const bool main = active != nullptr && (active->windowType() == Qt::Window || active->windowType() == Qt::Dialog) &&
                    !active->property(kTransient).toBool();
  return main && active->isVisible() ? active : fallback;
}

void MarkTransient(QDialog* dialog) { dialog->setProperty(kTransient, true); }

namespace {

class TCentring : public QObject {
 public:
  TCentring(QWidget* dialog, QWidget* subject) : QObject(dialog), dialog_(dialog), subject_(subject) {
    dialog->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == dialog_ && e->type() == QEvent::Move && e->spontaneous() && placed_.isValid() &&
        placing_.isValid() && placing_.elapsed() < kSettleMs && QGuiApplication::mouseButtons() == Qt::NoButton &&
        (dialog_->geometry().center() - placed_.center()).manhattanLength() > kNearEnough) {
      // A window manager that placed the box by its own rule (it may, when
      // the position came while the window was being mapped) is told again.
      dialog_->setGeometry(placed_);
      return false;
    }
    if (watched != dialog_ || e->type() != QEvent::Show || e->spontaneous()) return false;
    // A message box takes its size in its own show handler, which runs after
    // this filter: it runs first here, and the box is placed after it, still
    // before the window appears.
    dialog_->removeEventFilter(this);
    QCoreApplication::sendEvent(dialog_, e);
    dialog_->installEventFilter(this);
    Place();
    return true;
  }

 private:
  void Place() {
    const QWidget* subject = subject_ ? subject_->window() : nullptr;
    if (subject != nullptr && !subject->isVisible()) subject = nullptr;
    const QScreen* screen = subject != nullptr ? subject->screen() : dialog_->screen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
    QRect box(QPoint(), dialog_->size());
    // Window frames are alike: the middle of one client area on the other's
    // puts the framed box in the middle of the framed window.
    box.moveCenter(subject != nullptr ? subject->geometry().center() : area.center());
    if (!area.isEmpty()) {
      box.moveLeft(std::clamp(box.left(), area.left(), std::max(area.left(), area.right() + 1 - box.width())));
      box.moveTop(std::clamp(box.top(), area.top(), std::max(area.top(), area.bottom() + 1 - box.height())));
    }
    dialog_->setGeometry(box);
    placed_ = box;
    placing_.start();
    // Above the window it is about, whatever window owns it.
    if (subject != nullptr) KeepAbove(dialog_, subject);
  }

  // How long after showing a move is the window manager's, and how far from
  // where the box was put it may land (its frame) before it is put back.
  static constexpr int kSettleMs = 1500;
  static constexpr int kNearEnough = 64;

  QWidget* dialog_;
  QPointer<QWidget> subject_;
  QRect placed_;
  QElapsedTimer placing_;
};

}  // namespace

void CentreOn(QWidget* dialog, QWidget* subject) { new TCentring(dialog, subject); }

QMessageBox::StandardButton RunMessageBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                          QMessageBox::StandardButtons buttons, QWidget* fallback,
                                          QMessageBox::StandardButton defaultButton) {
  // On the heap: a parent that is deleted meanwhile takes the box with it,
  // and exec() then returns with the box already gone.
  QWidget* subject = QuestionWindow(fallback);
  QPointer<QMessageBox> box = new QMessageBox(icon, caption, text, buttons, subject);
  CentreOn(box, subject);
  if (defaultButton != QMessageBox::NoButton) box->setDefaultButton(defaultButton);
  const int result = box->exec();
  if (box.isNull()) return QMessageBox::NoButton;
  delete box.data();
  return static_cast<QMessageBox::StandardButton>(result);
}

QStringList RunFileDialog(QFileDialog* dialog) {
  QPointer<QFileDialog> held(dialog);
  CentreOn(dialog, dialog->parentWidget());
  const bool accepted = held->exec() == QDialog::Accepted;
  if (held.isNull()) return {};
  QStringList chosen = held->selectedFiles();
  delete held.data();
  chosen.removeAll(QString());
  return accepted ? chosen : QStringList();
}

TQuestionsAbout::TQuestionsAbout(QWidget* window) { Subjects().emplace_back(window); }

TQuestionsAbout::~TQuestionsAbout() { Subjects().pop_back(); }

bool AskYesNo(const std::string& text, const std::string& caption) {
  if (!HaveDesktop()) return false;
  return RunMessageBox(QMessageBox::Question, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

bool AskOkCancel(const std::string& text, const std::string& caption) {
  if (!HaveDesktop()) return false;
  const bool busy = QGuiApplication::overrideCursor() != nullptr;
  if (busy) QGuiApplication::restoreOverrideCursor();
  const bool ok = RunMessageBox(QMessageBox::Information, Q(caption), Q(text),
                                QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
  if (busy) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  return ok;
}

void ShowMessage(const std::string& text, const std::string& caption) {
  if (!HaveDesktop()) {
    ReportError(caption + ": " + text);
    return;
  }
  RunMessageBox(QMessageBox::Warning, Q(caption), Q(text), QMessageBox::Ok);
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

// Where a file dialog opens: the folder asked for, else the user's home
// rather than whatever folder the program happened to start in.
QString StartFolder(const std::string& startDir) {
  return startDir.empty() ? QDir::homePath() : Q(DosToUnixPath(startDir));
}

bool AskFileName(bool save, const std::string& title, const std::string& filter, const std::string& startDir,
                 std::string& name, const std::string& defaultExt) {
  if (!HaveDesktop()) return false;
  // On the heap, as RunMessageBox's box: its window may go while it waits.
  auto* dialog = new QFileDialog(QuestionWindow(), Q(title), StartFolder(startDir), QtFilter(filter));
  dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog->setDefaultSuffix(Q(defaultExt));
  const QStringList chosen = RunFileDialog(dialog);
  if (chosen.isEmpty()) return false;
  name = FromQ(chosen.first());
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
  auto* dialog = new QFileDialog(QuestionWindow(), Q(title), StartFolder(startDir));
  dialog->setFileMode(QFileDialog::Directory);
  dialog->setOption(QFileDialog::ShowDirsOnly);
  const QStringList picked = RunFileDialog(dialog);
  if (picked.isEmpty()) return false;
  folder = FromQ(picked.first());
  return true;
}

void PumpEvents() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void Beep() {
  if (HaveDesktop()) QApplication::beep();
}

TBusyCursor::TBusyCursor() : shown_(HaveDesktop()) {
  if (shown_) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

TBusyCursor::~TBusyCursor() {
  if (shown_) QGuiApplication::restoreOverrideCursor();
}

}  // namespace platform
