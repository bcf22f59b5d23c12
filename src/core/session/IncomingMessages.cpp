#include "core/session/IncomingMessages.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "core/session/ErrorLog.h"
#include "platform/IniStore.h"

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

}  // namespace

TIncomingMessages::TIncomingMessages(const platform::FileName& file)
    : ini_(std::make_unique<platform::IniStore>(file, Log)) {}

TIncomingMessages::~TIncomingMessages() = default;

std::string TIncomingMessages::Add(const std::string& senderId, const std::string& record) {
  unsigned long long next = 0;
  for (const std::string& key : ini_->ReadSection(senderId))
    if (const auto n = KeyNumber(key)) next = std::max(next, *n + 1);
  const std::string key = "msg" + std::to_string(next);
  ini_->WriteString(senderId, key, record);
  Save();
  return key;
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
  if (!ini_->Modified()) return;
  try {
    ini_->Save();
  } catch (const std::exception& e) {
    Log(std::string("Saving the incoming messages: ") + e.what());
  }
}
