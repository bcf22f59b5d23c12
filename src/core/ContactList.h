#pragma once

#include <QTreeWidget>
#include <string>
#include <unordered_map>
#include <vector>

// The status texts every list of the program shows, by StatusMode.
inline constexpr const char* StatusText[5] = {"Available", "Busy", "Invisible", "Away", "Unavailable"};

// One user of a UserRecord ("id{$}name{$}online{$}status{$}ip{$}port"), read
// once at the edge. Fields the server left out read as empty.
struct TUserRecord {
  std::string UserID, UserName, Online, StatusMode, ListenIP, ListenPort;

  // Nothing when the record has fewer than six fields.
  static bool Parse(const std::string& record, TUserRecord& out);
  // The StatusMode as 0..4, or -1 for anything else (a damaged or unknown value).
  int Mode() const;
};

// The records of a UserList ("rec||rec||..."); empty pieces are skipped.
std::vector<std::string> SplitUserList(const std::string& text);

// One of the main window's contact lists. Every item has the caption (user
// name) and the sub-items Status, IP, Port, ID and Online; the ID is its key.
// The list keeps an index by ID, so finding an item does not scan the list;
// go through the methods below (not QTreeWidget's own item calls) to add,
// change or remove items so that the index stays right.
class TContactList : public QTreeWidget {
 public:
  enum Column { ColUser = 0, ColStatus, ColIP, ColPort, ColID, ColOnline, ColumnCount };

  explicit TContactList(QWidget* parent = nullptr);

  // The first item with this ID, or nullptr.
  QTreeWidgetItem* FindById(const std::string& id) const;
  // image: a StatusMode picture, or -1 for none.
  QTreeWidgetItem* AddItem(const std::string& caption, int image, const std::string& status,
                           const std::string& ip, const std::string& port, const std::string& id,
                           const std::string& online);
  void RemoveItem(QTreeWidgetItem* item);
  void Clear();
  int Count() const;

  std::string Text(const QTreeWidgetItem* item, int column) const;
  void SetText(QTreeWidgetItem* item, int column, const std::string& text);
  int Image(const QTreeWidgetItem* item) const;
  void SetImage(QTreeWidgetItem* item, int image);

  // Redraw off while a list is filled: items added meanwhile go in as one
  // batch and are sorted once at the end.
  void BeginUpdate();
  void EndUpdate();

 private:
  std::unordered_map<std::string, QTreeWidgetItem*> byId_;
  std::vector<QTreeWidgetItem*> pending_;
  int updating_ = 0;
};

// A group listing or friends' states merged into `list`: a record whose ID is
// already there goes to `update`, any other is added as an item. Redraw is off
// meanwhile and on again afterwards, also when `update` raises.
template <class UpdateFn>
void MergeUserList(TContactList& list, const std::string& userList, UpdateFn&& update);

// Adds one record as an item (nothing for a record of fewer than six fields).
// A user who is offline, or invisible, shows "Offline": an invisible user must
// look exactly like an offline one.
void AddContactItem(TContactList& list, const std::string& record);

template <class UpdateFn>
void MergeUserList(TContactList& list, const std::string& userList, UpdateFn&& update) {
  list.BeginUpdate();
  try {
    for (const std::string& record : SplitUserList(userList)) {
      const auto sep = record.find("{$}");
      const std::string key = sep == std::string::npos ? std::string() : record.substr(0, sep);
      if (list.FindById(key) != nullptr) update(record);
      else AddContactItem(list, record);
    }
  } catch (...) {
    list.EndUpdate();
    throw;
  }
  list.EndUpdate();
}
