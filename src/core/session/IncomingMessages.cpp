#include "core/session/IncomingMessages.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <optional>

#include "core/session/ErrorLog.h"
#include "platform/IniStore.h"
#include "platform/Stream.h"

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

// Larger files are set aside by the store's own reading.
constexpr std::uintmax_t kLargestMended = 16u << 20;

}  // namespace

TIncomingMessages::TIncomingMessages(const platform::FileName& file) : file_(file) {
  try {
    MendTail();
  } catch (const std::exception& e) {
    Log(std::string("Reading the incoming messages: ") + e.what());
  }
  ini_ = std::make_unique<platform::IniStore>(file, Log);
  Count();
}

TIncomingMessages::~TIncomingMessages() {
  // The appends put every message on disk already; the store would write the
  // whole file again as it goes, at the program's end.
  if (rewrite_) Save();
  if (!rewrite_) ini_->Load();
}

void TIncomingMessages::MendTail() const {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file_.Path(), ec);
  if (ec || size == 0 || size > kLargestMended) return;
  std::string bytes;
  if (platform::ReadStore(file_, bytes, kLargestMended) != platform::TStoreRead::Read) return;
  // A crash may leave the last append half written, or the file longer than
  // what reached the disk (zeros): both only at its end.
  const std::size_t zero = bytes.find('\0');
  const std::size_t whole = bytes.find_last_of('\n', zero == std::string::npos ? std::string::npos : zero);
  const std::size_t keep = whole == std::string::npos ? 0 : whole + 1;
  if (keep == bytes.size()) return;
  if (zero != std::string::npos && bytes.find_first_not_of('\0', zero) != std::string::npos) return;  // not a tail
  platform::ReplaceFile(file_, bytes.data(), keep);
  Log("Incoming messages: a message cut short at the end of " + file_.Display() + " (" +
      std::to_string(bytes.size() - keep) + " bytes) was dropped");
}

void TIncomingMessages::Count() {
  waiting_ = 0;
  bytes_ = 0;
  for (const std::string& sender : ini_->ReadSections()) {
    for (const std::string& key : ini_->ReadSection(sender)) {
      ++waiting_;
      bytes_ += sender.size() + key.size() + ini_->ReadString(sender, key, "").size();
    }
  }
}

std::string TIncomingMessages::Add(const std::string& senderId, const std::string& record) {
  const std::vector<std::string> keys = ini_->ReadSection(senderId);
  unsigned long long next = 0;
  for (const std::string& key : keys)
    if (const auto n = KeyNumber(key)) next = std::max(next, *n + 1);
  const std::string key = "msg" + std::to_string(next);
  const std::size_t size = senderId.size() + key.size() + record.size();
  if (waiting_ >= kMaxWaiting || static_cast<int>(keys.size()) >= kMaxWaitingPerSender ||
      bytes_ + size > kMaxWaitingBytes)
    return "";
  ini_->WriteString(senderId, key, record);
  ++waiting_;
  bytes_ += size;
  if (rewrite_) Save();
  else Append("[" + senderId + "]\r\n" + key + "=" + record + "\r\n\r\n");
  return key;
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

std::vector<std::string> TIncomingMessages::Keys(const std::string& senderId) const {
  std::vector<std::pair<unsigned long long, std::string>> numbered;
  for (const std::string& key : ini_->ReadSection(senderId))
    if (const auto n = KeyNumber(key)) numbered.emplace_back(*n, key);
  std::stable_sort(numbered.begin(), numbered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> keys;
  for (auto& [n, key] : numbered) keys.push_back(std::move(key));
  return keys;
}

std::string TIncomingMessages::Read(const std::string& senderId, const std::string& key) const {
  return ini_->ReadString(senderId, key, "");
}

void TIncomingMessages::Remove(const std::string& senderId, const std::string& key) {
  ini_->DeleteKey(senderId, key);
  if (Keys(senderId).empty()) ini_->EraseSection(senderId);
  Save();
}

void TIncomingMessages::RemoveSender(const std::string& senderId) {
  ini_->EraseSection(senderId);
  Save();
}

std::vector<std::string> TIncomingMessages::Senders() const { return ini_->ReadSections(); }

void TIncomingMessages::Save() {
  Count();
  if (!ini_->Modified() && !rewrite_) return;
  try {
    ini_->Save();
    rewrite_ = false;
  } catch (const std::exception& e) {
    rewrite_ = true;
    Log(std::string("Saving the incoming messages: ") + e.what());
  }
}
