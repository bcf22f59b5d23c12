#include "core/session/IncomingMessages.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "core/session/ErrorLog.h"
#include "platform/IniStore.h"
#include "platform/Stream.h"
#include "platform/Strings.h"

namespace {

// The number of a key "msg<n>" (any case), or nothing for any other key.
std::optional<unsigned long long> KeyNumber(const std::string& key) {
  if (key.size() < 4 || key.size() > 22) return std::nullopt;
  for (int i = 0; i < 3; ++i)
    if (std::tolower(static_cast<unsigned char>(key[static_cast<std::size_t>(i)])) != "msg"[i]) return std::nullopt;
  unsigned long long n = 0;
  const char* end = key.data() + key.size();
  const auto [at, error] = std::from_chars(key.data() + 3, end, n);
  if (error != std::errc() || at != end) return std::nullopt;
  return n;
}

void Log(const std::string& message) { LogError("None", "None", message); }

// What the program's ini files read at most; a larger file is set aside.
constexpr std::uintmax_t kLargestRead = 16u << 20;

std::size_t Cost(const std::string& senderId, const std::string& key, const std::string& record) {
  return senderId.size() + key.size() + record.size();
}

}  // namespace

TIncomingMessages::TIncomingMessages(const platform::FileName& file, TFriendTest isFriend)
    : file_(file), isFriend_(std::move(isFriend)) {
  try {
    Load();
  } catch (const std::exception& e) {
    Log(std::string("Reading the incoming messages: ") + e.what());
  }
}

// The appends put every message on disk already.
TIncomingMessages::~TIncomingMessages() {
  if (rewrite_) Save();
}

// ----- reading ------------------------------------------------------------------------

void TIncomingMessages::Load() {
  const std::string text = ReadMended();
  Parse(text);
}

std::string TIncomingMessages::ReadMended() {
  std::string bytes;
  bool read = true;
  try {
    // A pipe or a link in the store's place is set aside (and logged) there.
    if (platform::ReadStore(file_, bytes, kLargestRead, Log) != platform::TStoreRead::Read) return {};
  } catch (const std::exception&) {
    read = false;
  }
  // A crash may leave the last append half written, or the file longer than
  // what reached the disk (zeros): both only at its end.
  const std::size_t zero = bytes.find('\0');
  if (zero != std::string::npos && bytes.find_first_not_of('\0', zero) != std::string::npos) read = false;
  if (!read) {
    // Whatever else stands there is the ini files' own case: they log it and
    // set it aside (or leave what is no file alone), and the store starts empty.
    const platform::IniStore unreadable(file_, Log);
    return {};
  }
  const std::size_t whole = bytes.find_last_of('\n', zero == std::string::npos ? std::string::npos : zero);
  const std::size_t keep = whole == std::string::npos ? 0 : whole + 1;
  if (keep == bytes.size()) return bytes;
  platform::ReplaceFile(file_, bytes.data(), keep);
  Log("Incoming messages: a message cut short at the end of " + file_.Display() + " (" +
      std::to_string(bytes.size() - keep) + " bytes) was dropped");
  bytes.resize(keep);
  return bytes;
}

// As the ini files read: "[name]" lines open (or reopen) a section, "key=value"
// lines fill it, the first of a key counts; a damaged header's keys, comments
// and other lines are skipped. A section is made only for a message kept, so
// that what is dropped costs nothing but the reading.
void TIncomingMessages::Parse(const std::string& text) {
  std::string name;
  Section* current = nullptr;
  bool named = false;
  int dropped = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + pos, end - pos);
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      named = close != std::string_view::npos && close > 1;
      if (named) name.assign(line.substr(1, close - 1));
      current = named ? Find(name) : nullptr;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (!named || eq == std::string_view::npos || eq == 0) continue;
    const std::string key(line.substr(0, eq));
    const std::size_t size = name.size() + key.size() + (line.size() - eq - 1);
    const int held = current ? static_cast<int>(current->entries.size()) : 0;
    if (held >= kMaxWaitingPerSender || !Fits(1, size)) {
      ++dropped;
      continue;
    }
    if (current && std::any_of(current->entries.begin(), current->entries.end(),
                               [&](const Entry& e) { return platform::SameText(e.key, key); }))
      continue;
    if (!current) current = &FindOrAdd(name);
    current->entries.push_back({key, std::string(line.substr(eq + 1))});
    ++waiting_;
    bytes_ += size;
  }
  if (dropped == 0) return;
  Log("Incoming messages: " + file_.Display() + " held " + std::to_string(dropped) + " more messages than may wait (" +
      std::to_string(kMaxWaiting) + ", " + std::to_string(kMaxWaitingPerSender) + " from one sender, " +
      std::to_string(kMaxWaitingBytes >> 20) + " MB); they were dropped");
  Save();
}

// ----- the sections -----------------------------------------------------------------

TIncomingMessages::Section* TIncomingMessages::Find(const std::string& senderId) {
  const auto at = places_.find(platform::LowerCase(senderId));
  return at == places_.end() ? nullptr : &sections_[at->second];
}

const TIncomingMessages::Section* TIncomingMessages::Find(const std::string& senderId) const {
  return const_cast<TIncomingMessages*>(this)->Find(senderId);
}

TIncomingMessages::Section& TIncomingMessages::FindOrAdd(const std::string& senderId) {
  if (Section* s = Find(senderId)) return *s;
  places_.emplace(platform::LowerCase(senderId), sections_.size());
  return sections_.emplace_back(Section{senderId, {}, std::nullopt});
}

void TIncomingMessages::Erase(const std::string& senderId) {
  const Section* s = Find(senderId);
  if (s == nullptr) return;
  for (const Entry& e : s->entries) {
    --waiting_;
    bytes_ -= Cost(s->id, e.key, e.record);
  }
  sections_.erase(sections_.begin() + (s - sections_.data()));
  places_.clear();
  for (std::size_t i = 0; i < sections_.size(); ++i) places_.emplace(platform::LowerCase(sections_[i].id), i);
}

bool TIncomingMessages::Fits(int count, std::size_t bytes) const {
  return waiting_ + count <= kMaxWaiting && bytes_ + bytes <= kMaxWaitingBytes;
}

// ----- adding -------------------------------------------------------------------------

TIncomingMessages::TAdded TIncomingMessages::Add(const std::string& senderId, const std::string& record) {
  if (senderId.empty() || senderId.find_first_of("]\r\n") != std::string::npos)
    throw platform::EIniError("\"" + senderId + "\" cannot be used as a section name");
  if (record.find_first_of("\r\n") != std::string::npos)
    throw platform::EIniError("A message record cannot hold a line break");
  const Section* s = Find(senderId);
  unsigned long long next = 0;
  if (s)
    for (const Entry& e : s->entries)
      if (const auto n = KeyNumber(e.key)) next = std::max(next, *n + 1);
  const std::string key = "msg" + std::to_string(next);
  const std::size_t size = Cost(senderId, key, record);
  if (s && static_cast<int>(s->entries.size()) >= kMaxWaitingPerSender) return {};
  TAdded added;
  if (!Fits(1, size)) {
    if (!isFriend_ || !isFriend_(senderId, record)) return {};
    added.MadeWay = MakeWay(size);
    if (added.MadeWay == 0) return {};
    rewrite_ = true;  // one write for what went and what came
  }
  Section& section = FindOrAdd(senderId);
  section.entries.push_back({key, record});
  if (added.MadeWay > 0) section.friendly = true;
  ++waiting_;
  bytes_ += size;
  if (rewrite_) Save();
  else Append("[" + senderId + "]\r\n" + key + "=" + record + "\r\n\r\n");
  added.Key = key;
  return added;
}

bool TIncomingMessages::IsStranger(Section& section) {
  if (!section.friendly) {
    const auto first = std::find_if(section.entries.begin(), section.entries.end(),
                                    [](const Entry& e) { return KeyNumber(e.key).has_value(); });
    section.friendly = first != section.entries.end() && isFriend_(section.id, first->record);
  }
  return !*section.friendly;
}

int TIncomingMessages::MakeWay(std::size_t bytes) {
  int strangers = 0;
  std::size_t theirBytes = 0;
  for (Section& s : sections_) {
    if (!IsStranger(s)) continue;
    strangers += static_cast<int>(s.entries.size());
    for (const Entry& e : s.entries) theirBytes += Cost(s.id, e.key, e.record);
  }
  if (waiting_ - strangers + 1 > kMaxWaiting || bytes_ - theirBytes + bytes > kMaxWaitingBytes) return 0;
  int dropped = 0;
  while (!Fits(1, bytes)) {
    Section* most = nullptr;
    for (Section& s : sections_)
      if (!*s.friendly && !s.entries.empty() && (most == nullptr || s.entries.size() > most->entries.size())) most = &s;
    if (most == nullptr) break;
    const Entry& last = most->entries.back();
    --waiting_;
    bytes_ -= Cost(most->id, last.key, last.record);
    most->entries.pop_back();
    ++dropped;
    if (most->entries.empty()) Erase(most->id);
  }
  return dropped;
}

void TIncomingMessages::Append(const std::string& text) {
  try {
    platform::AppendToFile(file_, text.data(), text.size());
    return;
  } catch (const std::exception&) {
  }
  // Part of it may stand in the file: the next change writes the whole store.
  rewrite_ = true;
  Log("Saving the incoming messages: " + file_.Display() + " could not be written to");
}

// ----- reading and taking out -----------------------------------------------------------

std::vector<std::string> TIncomingMessages::Keys(const std::string& senderId) const {
  std::vector<std::pair<unsigned long long, std::string>> numbered;
  if (const Section* s = Find(senderId))
    for (const Entry& e : s->entries)
      if (const auto n = KeyNumber(e.key)) numbered.emplace_back(*n, e.key);
  std::stable_sort(numbered.begin(), numbered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> keys;
  for (auto& [n, key] : numbered) keys.push_back(std::move(key));
  return keys;
}

std::string TIncomingMessages::Read(const std::string& senderId, const std::string& key) const {
  if (const Section* s = Find(senderId))
    for (const Entry& e : s->entries)
      if (platform::SameText(e.key, key)) return e.record;
  return "";
}

void TIncomingMessages::Remove(const std::string& senderId, const std::string& key) {
  Section* s = Find(senderId);
  if (s == nullptr) return;
  const auto at = std::find_if(s->entries.begin(), s->entries.end(),
                               [&](const Entry& e) { return platform::SameText(e.key, key); });
  if (at == s->entries.end()) return;
  --waiting_;
  bytes_ -= Cost(s->id, at->key, at->record);
  s->entries.erase(at);
  if (Keys(senderId).empty()) Erase(senderId);
  Save();
}

void TIncomingMessages::RemoveSender(const std::string& senderId) {
  if (Find(senderId) == nullptr && !rewrite_) return;
  Erase(senderId);
  Save();
}

std::vector<std::string> TIncomingMessages::Senders() const {
  std::vector<std::string> ids;
  for (const Section& s : sections_) ids.push_back(s.id);
  return ids;
}

void TIncomingMessages::Save() {
  std::string text;
  for (const Section& s : sections_) {
    text += "[" + s.id + "]\r\n";
    for (const Entry& e : s.entries) text += e.key + "=" + e.record + "\r\n";
    text += "\r\n";
  }
  try {
    platform::ReplaceFile(file_, text.data(), text.size());
    rewrite_ = false;
  } catch (const std::exception& e) {
    rewrite_ = true;
    Log(std::string("Saving the incoming messages: ") + e.what());
  }
}
