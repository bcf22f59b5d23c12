#pragma once

#include <QWidget>

class QPushButton;
class TDatasetGrid;
class TSession;

// "Parlo - Friends": the stored friends, from which one can be deleted (with
// the friend's history, after a question) or have the profile page opened.
// One window at a time ("FormFriends").
class TFormFriends : public QWidget {
  Q_OBJECT

 public:
  // The open one to the front, or a new one.
  static TFormFriends* Open(TSession& session);

  explicit TFormFriends(TSession& session);

  void Refill(int select = 0);
  // Nothing without a selected friend.
  void DeleteClick();
  void ProfileClick();

  TDatasetGrid* DBGrid1;
  QPushButton *ButtonClose, *ButtonDelete, *ButtonProfile;

 protected:
  void changeEvent(QEvent* e) override;

 private:
  std::string SelectedId() const;

  TSession& session_;
};
