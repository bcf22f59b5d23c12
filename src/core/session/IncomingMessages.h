#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/session/PeerBounds.h"
#include "platform/Charset.h"

// "incoming.msg": the relayed messages not shown yet. One section per sender,
// named by the sender's user id; keys "msg0", "msg1" ... in arrival order,
// each value the whole record as received. It survives restarts, so messages
// from an earlier run are still there to be shown. Section and key names
// compare without regard to ASCII case, as in the program's other ini files.
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
// What waits is bounded (PeerBounds.h): past kMaxWaiting messages in all,
// kMaxWaitingPerSender from one sender or kMaxWaitingBytes, a stranger's new
// message is not kept, while a friend's is kept in place of strangers' ones.
// Reading the file at start-up costs time in proportion to its size and keeps
// the messages in file order as far as the same bounds allow; the rest is
// dropped from the file, and the log says so. (A file this store wrote is
// within them: only one written otherwise holds more.)
class TIncomingMessages {
 public:
  static constexpr int kMaxWaiting = peerbounds::kWaitingMessages;
  static constexpr int kMaxWaitingPerSender = peerbounds::kWaitingMessagesPerSender;
  static constexpr std::size_t kMaxWaitingBytes = peerbounds::kWaitingMessageBytes;

  // Whether a sender's messages are a friend's, from the sender's id and one
  // of its records.
  using TFriendTest = std::function<bool(const std::string& senderId, const std::string& record)>;

  // Without a friend test every sender is a stranger.
  explicit TIncomingMessages(const platform::FileName& file, TFriendTest isFriend = {});
  ~TIncomingMessages();
  TIncomingMessages(const TIncomingMessages&) = delete;
  TIncomingMessages& operator=(const TIncomingMessages&) = delete;

  struct TAdded {
    std::string Key;  // "" when the message is not kept
    int MadeWay = 0;  // strangers' messages dropped to keep it
  };
  // Keeps the record under the sender's next key, one past the highest key
  // the section holds, so that a waiting message is never written over.
  // Raises platform::EIniError for a sender or record the file cannot hold.
  TAdded Add(const std::string& senderId, const std::string& record);
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
  struct Entry {
    std::string key, record;
  };
  struct Section {
    std::string id;
    std::vector<Entry> entries;  // in file order
    std::optional<bool> friendly;  // asked once, when strangers must make way
  };

  void Load();
  // The file's bytes, less a last line cut short (the file is mended too);
  // nothing when there is no file or it cannot be read as one (then set
  // aside as the program's other ini files are).
  std::string ReadMended();
  void Parse(const std::string& text);
  // The whole store written again (after removals, or when an append failed).
  void Save();
  void Append(const std::string& text);
  Section* Find(const std::string& senderId);
  const Section* Find(const std::string& senderId) const;
  Section& FindOrAdd(const std::string& senderId);
  void Erase(const std::string& senderId);
  // `count` more messages of `bytes` still within the store's bounds in all.
  bool Fits(int count, std::size_t bytes) const;
  // Drops strangers' messages, those of the stranger with the most waiting
  // and newest first, until `bytes` more fit; nothing when they would not be
  // enough. The number dropped.
  int MakeWay(std::size_t bytes);
  bool IsStranger(Section& section);

  platform::FileName file_;
  TFriendTest isFriend_;
  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> places_;  // lower-cased id -> its section
  int waiting_ = 0;
  std::size_t bytes_ = 0;
  bool rewrite_ = false;  // the file on disk lags behind the store
};
