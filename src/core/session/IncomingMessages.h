#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Charset.h"

namespace platform {
class IniStore;
}

// "incoming.msg": the relayed messages not shown yet. One section per sender,
// named by the sender's user id; keys "msg0", "msg1" ... in arrival order,
// each value the whole record as received. It survives restarts, so messages
// from an earlier run are still there to be shown.
//
// Every change is saved at once, through a temporary file renamed over the
// old one. A save that fails is logged; the store keeps the change and the
// next save writes it.
class TIncomingMessages {
 public:
  explicit TIncomingMessages(const platform::FileName& file);
  ~TIncomingMessages();
  TIncomingMessages(const TIncomingMessages&) = delete;
  TIncomingMessages& operator=(const TIncomingMessages&) = delete;

  // Keeps the record under the sender's next key, one past the highest key
  // the section holds, so that a waiting message is never written over; the
  // key is returned. Raises platform::EIniError for a sender or record the
  // file cannot hold.
  std::string Add(const std::string& senderId, const std::string& record);
  // The sender's message keys in the order they arrived (by their number, not
  // their place in the file); keys of any other form are not listed.
  std::vector<std::string> Keys(const std::string& senderId) const;
  std::string Read(const std::string& senderId, const std::string& key) const;
  // Removes one key; a section left without message keys goes with it.
  void Remove(const std::string& senderId, const std::string& key);
  void RemoveSender(const std::string& senderId);
  // Every section, in file order.
  std::vector<std::string> Senders() const;

 private:
  void Save();

  std::unique_ptr<platform::IniStore> ini_;
};
