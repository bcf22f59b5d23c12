#include "core/ContactList.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QMouseEvent>
#include <algorithm>
#include <compare>
#include <vector>

#include "core/MainPanels.h"
#include "platform/Charset.h"

// The rows of a view: the contacts' keys in the order shown. Everything else
// is read from the contacts when asked for.
class TContactList::Rows : public QAbstractTableModel {
 public:
  Rows(TContacts& contacts, TContactList& view) : QAbstractTableModel(&view), contacts_(contacts), view_(view) {
    links_.push_back(contacts_.Added.Connect([this](TContacts::Key key, const TContact&) { Added(key); }));
    links_.push_back(contacts_.Changed.Connect([this](TContacts::Key key, const TContact&) { Changed(key); }));
    links_.push_back(contacts_.Removed.Connect([this](TContacts::Key key, const TContact&) { Removed(key); }));
    links_.push_back(contacts_.Cleared.Connect([this] { Refill(); }));
    links_.push_back(contacts_.UpdateBegun.Connect([this] { BatchBegun(); }));
    links_.push_back(contacts_.UpdateEnded.Connect([this] { BatchEnded(); }));
    Fill();
    if (contacts_.Updating()) view_.setUpdatesEnabled(false);
  }

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
  }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : ColumnCount; }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    static const char* const kCaptions[ColumnCount] = {"User", "Status", "IP", "Port", "ID", "Online"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
      return {};
    return QString(kCaptions[section]);
  }

  QVariant data(const QModelIndex& index, int role) const override {
    const TContact* c = Contact(index);
    if (c == nullptr) return {};
    if (role == Qt::DecorationRole && index.column() == ColUser) return StatusIcon(c->Image);
    if (role != Qt::DisplayRole) return {};
    return platform::ToQString(Field(*c, index.column()));
  }

  const TContact* Contact(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || index.row() >= static_cast<int>(order_.size())) return nullptr;
    return contacts_.Find(order_[static_cast<std::size_t>(index.row())]);
  }

  QModelIndex RowOf(TContacts::Key key) const {
    const auto it = std::find(order_.begin(), order_.end(), key);
    return it == order_.end() ? QModelIndex() : index(static_cast<int>(it - order_.begin()), 0);
  }

  static const std::string& Field(const TContact& c, int column) {
    switch (column) {
      case ColStatus:
        return c.Status;
      case ColIP:
        return c.ListenIP;
      case ColPort:
        return c.ListenPort;
      case ColID:
        return c.UserID;
      case ColOnline:
        return c.Online;
      default:
        return c.UserName;
    }
  }

 private:
  // By name as people read a list: "ann" beside "Ann", before "Bob"; the
  // same name in the order listed.
  bool Before(TContacts::Key a, TContacts::Key b) const {
    const std::string& x = contacts_.At(a).UserName;
    const std::string& y = contacts_.At(b).UserName;
    const auto fold = [](char c) { return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); };
    const auto folded = std::lexicographical_compare_three_way(
        x.begin(), x.end(), y.begin(), y.end(), [&](char p, char q) { return fold(p) <=> fold(q); });
    return folded != 0 ? folded < 0 : a < b;
  }

  void Fill() {
    order_.clear();
    order_.reserve(contacts_.Entries().size());
    for (const auto& entry : contacts_.Entries()) order_.push_back(entry.first);
    std::sort(order_.begin(), order_.end(), [this](TContacts::Key a, TContacts::Key b) { return Before(a, b); });
    // A big listing replaced by a small one gives its room back.
    order_.shrink_to_fit();
  }

  void Added(TContacts::Key key) {
    if (contacts_.Updating()) return;
    const auto at = std::lower_bound(order_.begin(), order_.end(), key,
                                     [this](TContacts::Key a, TContacts::Key b) { return Before(a, b); });
    const int row = static_cast<int>(at - order_.begin());
    beginInsertRows({}, row, row);
    order_.insert(at, key);
    endInsertRows();
  }

  void Changed(TContacts::Key key) {
    if (contacts_.Updating()) return;
    const QModelIndex row = RowOf(key);
    if (!row.isValid()) return;
    const auto at = order_.begin() + row.row();
    const bool sorted = (at == order_.begin() || Before(*(at - 1), key)) && (at + 1 == order_.end() || Before(key, *(at + 1)));
    if (sorted) {
      emit dataChanged(row, index(row.row(), ColumnCount - 1));
      return;
    }
    Refill();
  }

  void Removed(TContacts::Key key) {
    if (contacts_.Updating()) return;
    const QModelIndex row = RowOf(key);
    if (!row.isValid()) return;
    // No other contact is chosen in its place for the user.
    if (view_.SelectedRow().row() == row.row()) view_.selectionModel()->clear();
    beginRemoveRows({}, row.row(), row.row());
    order_.erase(order_.begin() + row.row());
    endRemoveRows();
  }

  // While a batch runs the rows stay as they were (a row whose contact went
  // shows nothing and is drawn by nobody: the view does not draw meanwhile).
  void BatchBegun() {
    if (heldId_.empty()) heldId_ = SelectedId();
    view_.setUpdatesEnabled(false);
  }

  void BatchEnded() {
    Refill();
    view_.setUpdatesEnabled(true);
  }

  std::string SelectedId() const {
    const TContact* c = Contact(view_.SelectedRow());
    return c != nullptr ? c->UserID : std::string();
  }

  // The rows afresh, the contact selected before selected again.
  void Refill() {
    if (contacts_.Updating()) return;
    const std::string id = heldId_.empty() ? SelectedId() : heldId_;
    heldId_.clear();
    beginResetModel();
    Fill();
    endResetModel();
    if (!id.empty()) {
      if (const TContacts::Key key = contacts_.FindById(id); key != 0) view_.Select(RowOf(key));
    }
  }

  TContacts& contacts_;
  TContactList& view_;
  std::vector<TContacts::Key> order_;
  std::vector<platform::TConnection> links_;
  std::string heldId_;  // selected when the batch began
};

TContactList::TContactList(TContacts& model, QWidget* parent) : QTreeView(parent), model_(model) {
  rows_ = new Rows(model_, *this);
  setModel(rows_);
  header()->hide();
  setRootIsDecorated(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setColumnWidth(ColUser, 95);
  setColumnWidth(ColStatus, 70);
  for (int c = ColIP; c < ColumnCount; ++c) setColumnHidden(c, true);
  setUniformRowHeights(true);
}

TContactList::~TContactList() = default;

QModelIndex TContactList::FindById(const std::string& id) const {
  const TContacts::Key key = model_.FindById(id);
  return key == 0 ? QModelIndex() : rows_->RowOf(key);
}

int TContactList::Count() const { return rows_->rowCount({}); }

QModelIndex TContactList::Row(int row) const { return rows_->index(row, 0); }

std::string TContactList::Text(const QModelIndex& row, int column) const {
  return platform::FromQString(rows_->data(rows_->index(row.row(), column), Qt::DisplayRole).toString());
}

int TContactList::Image(const QModelIndex& row) const {
  const TContact* c = ContactOf(row);
  return c != nullptr ? c->Image : -1;
}

const TContact* TContactList::ContactOf(const QModelIndex& row) const { return rows_->Contact(row); }

QModelIndex TContactList::SelectedRow() const {
  if (selectionModel() == nullptr) return {};
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? QModelIndex() : rows.front();
}

void TContactList::Select(const QModelIndex& row) {
  if (!row.isValid()) {
    clearSelection();
    return;
  }
  selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TContactList::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeView::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton && OnDblClick) OnDblClick();
}
