#pragma once

#include <cstddef>
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
// A new message is appended to the file as a section line and its key line,
// so that storing one costs the same however many wait; a sender's section may
// therefore stand in the file more than once, and readers take them as one.
// A message cut short by a crash (the file's last line without its line end)
// is dropped when the file is read, and the file is written again without it.
// Taking messages out writes the whole file through a temporary file renamed
// over the old one. A write that fails is logged; the store keeps the change
// and the next write puts the whole store on disk.
//
// What waits is bounded: past kMaxWaiting messages in all, kMaxWaitingPerSender
// from one sender or kMaxWaitingBytes, a new message is not kept.
class TIncomingMessages {
 public:
  static constexpr int kMaxWaiting = 2000;
  static constexpr int kMaxWaitingPerSender = 200;
  static constexpr std::size_t kMaxWaitingBytes = 8u << 20;

  explicit TIncomingMessages(const platform::FileName& file);
  ~TIncomingMessages();
  TIncomingMessages(const TIncomingMessages&) = delete;
  TIncomingMessages& operator=(const TIncomingMessages&) = delete;

  // Keeps the record under the sender's next key, one past the highest key
  // the section holds, so that a waiting message is never written over; the
  // key is returned, or "" when the store holds all it may. Raises
  // platform::EIniError for a sender or record the file cannot hold.
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
  // The whole store written again (after removals, or when an append failed).
  void Save();
  void Append(const std::string& text);
  // Drops a last line cut short (or a zero-filled tail) from the file.
  void MendTail() const;
  void Count();

  platform::FileName file_;
  std::unique_ptr<platform::IniStore> ini_;
  int waiting_ = 0;
  std::size_t bytes_ = 0;
  bool rewrite_ = false;  // the file on disk lags behind the store
};
