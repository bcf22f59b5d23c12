#pragma once

#include <QTreeWidget>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/session/Contacts.h"

// One of the main window's contact lists on screen: a view of a TContacts,
// following its events. Every item has the caption (user name) and the
// sub-items Status, IP, Port, ID and Online, and is sorted by its caption.
// While the model holds a batch the new items wait and go in at its end, so a
// listing of thousands is sorted and drawn once.
class TContactList : public QTreeWidget {
 public:
  enum Column { ColUser = 0, ColStatus, ColIP, ColPort, ColID, ColOnline, ColumnCount };

  explicit TContactList(TContacts& model, QWidget* parent = nullptr);

  TContacts& Model() { return model_; }
  // The item of the first entry with this user id, or nullptr.
  QTreeWidgetItem* FindById(const std::string& id) const;
  // Items on screen plus those waiting for the end of a batch.
  int Count() const;

  std::string Text(const QTreeWidgetItem* item, int column) const;
  int Image(const QTreeWidgetItem* item) const;
  // The entry an item shows.
  const TContact* ContactOf(const QTreeWidgetItem* item) const;

 private:
  QTreeWidgetItem* MakeItem(TContacts::Key key);
  void ShowContact(QTreeWidgetItem* item, const TContact& contact);
  void ModelAdded(TContacts::Key key, const TContact& contact);
  void ModelChanged(TContacts::Key key, const TContact& contact);
  void ModelRemoved(TContacts::Key key);
  void ModelCleared();
  void BatchBegun();
  void BatchEnded();

  TContacts& model_;
  std::unordered_map<TContacts::Key, QTreeWidgetItem*> items_;
  std::vector<QTreeWidgetItem*> pending_;
  std::vector<platform::TConnection> links_;
};
