#pragma once

#include <QTreeView>
#include <functional>
#include <string>

#include "core/session/Contacts.h"

// One of the main window's contact lists on screen: a view of a TContacts,
// following its events. Every row has the caption (user name) and the
// sub-items Status, IP, Port, ID and Online, and rows are sorted by their
// caption. The rows are read from the contacts as they are drawn: a listed
// user costs the view one key. While the contacts hold a batch the view
// waits and takes the whole listing at its end, sorted and drawn once; the
// selected contact stays selected.
class TContactList : public QTreeView {
 public:
  enum Column { ColUser = 0, ColStatus, ColIP, ColPort, ColID, ColOnline, ColumnCount };

  explicit TContactList(TContacts& model, QWidget* parent = nullptr);
  ~TContactList() override;

  TContacts& Model() { return model_; }
  // The row of the first entry with this user id; invalid when none.
  QModelIndex FindById(const std::string& id) const;
  // The rows on screen.
  int Count() const;
  QModelIndex Row(int row) const;

  std::string Text(const QModelIndex& row, int column) const;
  int Image(const QModelIndex& row) const;
  // The entry a row shows; null for an invalid row.
  const TContact* ContactOf(const QModelIndex& row) const;

  // The one selected row, or an invalid index.
  QModelIndex SelectedRow() const;
  // Selects the row alone (an invalid row: nothing selected).
  void Select(const QModelIndex& row);

  // Every double click of the left button on the list, on a row or beside the rows.
  std::function<void()> OnDblClick;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  class Rows;
  TContacts& model_;
  Rows* rows_;
};
