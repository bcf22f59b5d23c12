#pragma once

#include <QWidget>
#include <functional>
#include <string>

namespace platform {
class Dataset;
}

class QPlainTextEdit;
class QPushButton;
class TDatasetGrid;
class TSession;

// "Parlo - History": the instant messages sent to and received from one
// contact, a row each, with the selected row's message in full. Rows can be
// walked, one deleted at once, or every row of the contact cleared after a
// question; a message changed in its box is stored once the user leaves the
// row or the window. One window at a time ("FormHist"): a second "Show
// History" turns the open one to the other contact.
class TFormHist : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHelpTopic = 2;

  // The open window turned to the user and brought to the front, or a new one.
  static TFormHist* Open(TSession& session, const std::string& userId);

  explicit TFormHist(TSession& session);

  void SetUserID(const std::string& userId);
  const std::string& UserID() const { return userId_; }
  // The contact's rows read again.
  void Refill(int select = 0);
  // A message changed in its box goes into its row and the file.
  void PostMessage();
  // The navigator: -2 first, -1 prior, 1 next, 2 last.
  void Move(int step);
  // The selected row goes, without a question.
  void DeleteRow();
  // "Clear All": every row of the contact, once the user said yes.
  void ClearAll();

  TDatasetGrid* DBGrid1;
  QPlainTextEdit* DBMemo;
  QPushButton *ButtonClose, *ButtonHelp, *ButtonClear;

 protected:
  void changeEvent(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void ShowCurrentMessage();
  void ChangeRow(int row, const char* failure, const std::function<void(platform::Dataset&)>& change);

  TSession& session_;
  std::string userId_;
  int messageRow_ = -1;  // the row whose message the box shows
};
