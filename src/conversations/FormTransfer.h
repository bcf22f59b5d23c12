#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "conversations/TransferLink.h"

class QBoxLayout;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class TSession;

// Error log, event sounds and the error beep of the session, for a transfer.
TTransferHost SessionTransferHost(TSession& session);

// What the two transfer windows share: the peer, package and size panels,
// the description, the log with its time stamps, the status line and the
// progress bar in the status bar. A window closed while its package is being
// packed or unpacked stops that run and goes once it is over.
class TFormTransfer : public QWidget, public TTransferView {
  Q_OBJECT

 public:
  QLabel *PUser, *PFileName, *PSize, *PStatus;
  QPlainTextEdit *Memo, *MemoLog;
  QProgressBar* PBar;
  QStatusBar* Stat;

  // TTransferView
  void AddLog(const std::string& text) override;
  void AddLogLine(const std::string& text) override;
  void SetStatus(const std::string& text) override;
  void SetProgress(std::uint64_t position, std::uint64_t maximum) override;

 protected:
  explicit TFormTransfer(const char* objectName, const char* caption);
  // The link goes first: it must not report into a window half gone.
  ~TFormTransfer() override;
  // Takes the link the window made.
  template <class T>
  T& SetLink(std::unique_ptr<T> link) {
    T& kept = *link;
    link_ = std::move(link);
    WatchLink();
    return kept;
  }
  // Buttons go into the row.
  QBoxLayout* ButtonRow() const { return buttons_; }
  QPushButton* AddButton(const char* caption, std::function<void()> onClick);
  // For a description the user types: the note under it names the
  // characters that cannot travel and would arrive as "?".
  void AddDescriptionNote();
  void closeEvent(QCloseEvent* event) override;

 private:
  void WatchLink();

  std::unique_ptr<TTransferLink> link_;
  QBoxLayout* buttons_;
  QBoxLayout* descriptionBox_;
  platform::TConnection idle_;
  bool closeWhenIdle_ = false;
};
