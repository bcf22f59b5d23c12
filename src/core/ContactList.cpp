#include "core/ContactList.h"

#include <QHeaderView>

#include "core/MainPanels.h"
#include "core/session/PeerBounds.h"
#include "platform/Charset.h"

namespace {

constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kKeyRole = Qt::UserRole + 2;

}  // namespace

TContactList::TContactList(TContacts& model, QWidget* parent) : QTreeWidget(parent), model_(model) {
  setColumnCount(ColumnCount);
  setHeaderLabels({"User", "Status", "IP", "Port", "ID", "Online"});
  header()->hide();
  setRootIsDecorated(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setColumnWidth(ColUser, 95);
  setColumnWidth(ColStatus, 70);
  for (int c = ColIP; c < ColumnCount; ++c) setColumnHidden(c, true);
  setUniformRowHeights(true);
  setSortingEnabled(true);
  sortByColumn(ColUser, Qt::AscendingOrder);

  links_.push_back(model_.Added.Connect([this](TContacts::Key key, const TContact& c) { ModelAdded(key, c); }));
  links_.push_back(model_.Changed.Connect([this](TContacts::Key key, const TContact& c) { ModelChanged(key, c); }));
  links_.push_back(model_.Removed.Connect([this](TContacts::Key key, const TContact&) { ModelRemoved(key); }));
  links_.push_back(model_.Cleared.Connect([this] { ModelCleared(); }));
  links_.push_back(model_.UpdateBegun.Connect([this] { BatchBegun(); }));
  links_.push_back(model_.UpdateEnded.Connect([this] { BatchEnded(); }));
  if (model_.Updating()) BatchBegun();
  for (const auto& [key, contact] : model_.Entries()) ModelAdded(key, contact);
}

QTreeWidgetItem* TContactList::FindById(const std::string& id) const {
  const auto it = items_.find(model_.FindById(id));
  return it == items_.end() ? nullptr : it->second;
}

int TContactList::Count() const { return topLevelItemCount() + static_cast<int>(pending_.size()); }

std::string TContactList::Text(const QTreeWidgetItem* item, int column) const {
  return platform::FromQString(item->text(column));
}

int TContactList::Image(const QTreeWidgetItem* item) const {
  const QVariant v = item->data(ColUser, kImageRole);
  return v.isValid() ? v.toInt() : -1;
}

const TContact* TContactList::ContactOf(const QTreeWidgetItem* item) const {
  if (item == nullptr) return nullptr;
  return model_.Find(item->data(ColUser, kKeyRole).toULongLong());
}

void TContactList::ShowContact(QTreeWidgetItem* item, const TContact& c) {
  // What the lists show of what the server lists: the contact itself (the
  // model's) keeps every field whole.
  const auto shown = [](const std::string& field) {
    return platform::ToQString(CutPeerText(field, peerbounds::kShownName));
  };
  item->setText(ColUser, shown(c.UserName));
  item->setText(ColStatus, shown(c.Status));
  item->setText(ColIP, shown(c.ListenIP));
  item->setText(ColPort, shown(c.ListenPort));
  item->setText(ColID, shown(c.UserID));
  item->setText(ColOnline, shown(c.Online));
  item->setData(ColUser, kImageRole, c.Image);
  item->setIcon(ColUser, StatusIcon(c.Image));
}

void TContactList::ModelAdded(TContacts::Key key, const TContact& contact) {
  auto* item = new QTreeWidgetItem;
  item->setData(ColUser, kKeyRole, QVariant::fromValue<qulonglong>(key));
  ShowContact(item, contact);
  items_[key] = item;
  if (model_.Updating()) pending_.push_back(item);
  else addTopLevelItem(item);
}

void TContactList::ModelChanged(TContacts::Key key, const TContact& contact) {
  const auto it = items_.find(key);
  if (it != items_.end()) ShowContact(it->second, contact);
}

void TContactList::ModelRemoved(TContacts::Key key) {
  const auto it = items_.find(key);
  if (it == items_.end()) return;
  QTreeWidgetItem* item = it->second;
  items_.erase(it);
  std::erase(pending_, item);
  delete item;
}

void TContactList::ModelCleared() {
  items_.clear();
  for (auto* item : pending_) delete item;
  pending_.clear();
  clear();
}

void TContactList::BatchBegun() {
  setUpdatesEnabled(false);
  setSortingEnabled(false);
}

void TContactList::BatchEnded() {
  if (!pending_.empty()) {
    QList<QTreeWidgetItem*> batch(pending_.begin(), pending_.end());
    pending_.clear();
    addTopLevelItems(batch);
  }
  setSortingEnabled(true);
  sortByColumn(ColUser, Qt::AscendingOrder);
  setUpdatesEnabled(true);
}
