#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/Signal.h"

class QPainter;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class TSession;

// The alert toast: a small window on top of the others at the bottom right of
// the screen that tells of new messages and of updates. Each item is one
// alert with a key (a sender's id, an update's address, or "none"); at most
// one item has a key. Clicking an item acts on it and takes it away. The toast
// hides after 15 seconds without a new alert; message and update items wait
// for its next show, the "none" notices go.
class TFormAlert : public QWidget {
 public:
  enum TAlertType { MessageAlert = 0, NoneAlert = 1, UpdateAlert = 2 };
  static constexpr int kShowMs = 15000;

  // Follows the session's announcements of waiting messages and of updates.
  explicit TFormAlert(TSession& session);
  ~TFormAlert() override;

  void AddMessageAlert(const std::string& userId, const std::string& userName);
  void AddNoMessagesAlert();
  void AddUpdateAlert(const std::string& version, const std::string& url);
  void AddNoUpdateAlert();
  bool HasAlertItem(const std::string& key) const;
  void RemoveAlertItem(const std::string& key);
  void RemoveNoneItem();
  // The user chose an item.
  void ListSelectItem(QTreeWidgetItem* item);
  // 15 seconds without a new alert.
  void Timer1Timer();

  // What the items open: the messages of a sender, the download of an update
  // (address, version). They default to the session's and the update window's.
  std::function<void(const std::string& userId)> OpenMessages;
  std::function<void(const std::string& url, const std::string& version)> OpenUpdate;

  QTreeWidget* List;
  QTimer* Timer1;

 protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  // The thick band in the form colour, the light frame inside it and the
  // window-coloured field that holds the list.
  void PaintMainPaint(QPainter& p);
  void PaintBluePaint(QPainter& p);
  void PaintWinPaint(QPainter& p);
  void Add(const std::string& caption, const std::string& key, TAlertType type);
  QTreeWidgetItem* FindItem(const std::string& key) const;
  void Remove(QTreeWidgetItem* item);

  std::string version_, url_;
  std::vector<platform::TConnection> links_;
};
