#include "core/ContactList.h"

#include <QHeaderView>

#include "core/MainPanels.h"
#include "platform/Charset.h"

namespace {

constexpr int kImageRole = Qt::UserRole + 1;

// A record's fields; like the string lists the records come from, a CR or LF
// inside a record also ends a field.
std::vector<std::string> SplitFields(const std::string& record) {
  std::vector<std::string> fields;
  std::string field;
  for (size_t i = 0; i < record.size();) {
    if (record.compare(i, 3, "{$}") == 0) {
      fields.push_back(std::move(field));
      field.clear();
      i += 3;
    } else if (record[i] == '\r' || record[i] == '\n') {
      fields.push_back(std::move(field));
      field.clear();
      i += (record[i] == '\r' && i + 1 < record.size() && record[i + 1] == '\n') ? 2 : 1;
    } else {
      field += record[i++];
    }
  }
  if (!field.empty()) fields.push_back(std::move(field));
  return fields;
}

}  // namespace

bool TUserRecord::Parse(const std::string& record, TUserRecord& out) {
  const auto f = SplitFields(record);
  if (f.size() < 6) return false;
  out = {f[0], f[1], f[2], f[3], f[4], f[5]};
  return true;
}

int TUserRecord::Mode() const {
  if (StatusMode.size() != 1 || StatusMode[0] < '0' || StatusMode[0] > '4') return -1;
  return StatusMode[0] - '0';
}

std::vector<std::string> SplitUserList(const std::string& text) {
  std::vector<std::string> records;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = text.find("||", start);
    const size_t stop = end == std::string::npos ? text.size() : end;
    if (stop > start) records.push_back(text.substr(start, stop - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return records;
}

TContactList::TContactList(QWidget* parent) : QTreeWidget(parent) {
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
}

QTreeWidgetItem* TContactList::FindById(const std::string& id) const {
  const auto it = byId_.find(id);
  return it == byId_.end() ? nullptr : it->second;
}

QTreeWidgetItem* TContactList::AddItem(const std::string& caption, int image, const std::string& status,
                                       const std::string& ip, const std::string& port, const std::string& id,
                                       const std::string& online) {
  auto* item = new QTreeWidgetItem;
  item->setText(ColUser, platform::ToQString(caption));
  item->setText(ColStatus, platform::ToQString(status));
  item->setText(ColIP, platform::ToQString(ip));
  item->setText(ColPort, platform::ToQString(port));
  item->setText(ColID, platform::ToQString(id));
  item->setText(ColOnline, platform::ToQString(online));
  SetImage(item, image);
  byId_.emplace(id, item);  // an ID already listed keeps its first item
  if (updating_ > 0) pending_.push_back(item);
  else addTopLevelItem(item);
  return item;
}

void TContactList::RemoveItem(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  const auto it = byId_.find(Text(item, ColID));
  if (it != byId_.end() && it->second == item) byId_.erase(it);
  std::erase(pending_, item);
  delete item;
  // Another item with the same ID (a server may list one twice) takes over.
  for (int i = 0; i < topLevelItemCount(); ++i) byId_.emplace(Text(topLevelItem(i), ColID), topLevelItem(i));
}

void TContactList::Clear() {
  byId_.clear();
  for (auto* item : pending_) delete item;
  pending_.clear();
  clear();
}

int TContactList::Count() const { return topLevelItemCount() + static_cast<int>(pending_.size()); }

std::string TContactList::Text(const QTreeWidgetItem* item, int column) const {
  return platform::FromQString(item->text(column));
}

void TContactList::SetText(QTreeWidgetItem* item, int column, const std::string& text) {
  if (column == ColID) {
    const std::string old = Text(item, ColID);
    if (old == text) return;
    const auto it = byId_.find(old);
    if (it != byId_.end() && it->second == item) byId_.erase(it);
    byId_.emplace(text, item);
  }
  item->setText(column, platform::ToQString(text));
}

int TContactList::Image(const QTreeWidgetItem* item) const {
  const QVariant v = item->data(ColUser, kImageRole);
  return v.isValid() ? v.toInt() : -1;
}

void TContactList::SetImage(QTreeWidgetItem* item, int image) {
  item->setData(ColUser, kImageRole, image);
  item->setIcon(ColUser, StatusIcon(image));
}

void TContactList::BeginUpdate() {
  if (updating_++ == 0) {
    setUpdatesEnabled(false);
    setSortingEnabled(false);
  }
}

void TContactList::EndUpdate() {
  if (updating_ == 0 || --updating_ > 0) return;
  if (!pending_.empty()) {
    QList<QTreeWidgetItem*> batch(pending_.begin(), pending_.end());
    pending_.clear();
    addTopLevelItems(batch);
  }
  setSortingEnabled(true);
  sortByColumn(ColUser, Qt::AscendingOrder);
  setUpdatesEnabled(true);
}

void AddContactItem(TContactList& list, const std::string& record) {
  TUserRecord r;
  if (!TUserRecord::Parse(record, r)) return;
  int image = -1;
  std::string status;
  const int mode = r.Mode();
  if (r.Online == "0" || mode == 2) {
    status = "Offline";
  } else if (mode >= 0) {
    image = mode;
    status = StatusText[mode];
  }
  list.AddItem(r.UserName, image, status, r.ListenIP, r.ListenPort, r.UserID, r.Online);
}
