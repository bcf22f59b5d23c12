#include "conversations/TransferRecords.h"

#include <array>

#include "platform/Charset.h"
#include "transport/CmdParser.h"

namespace {

constexpr std::array<TTransferKindInfo, 3> kKinds = {{
    {"binary", "Select Files", "Ready: please type a description then select file(s)", "Open Folder"},
    {"image", "Select Image", "Ready: please type a description then select image file", "Show Image"},
    {"sound", "Select Sound", "Ready: please type a description then select sound file", "Play Sound"},
}};

// The parser turned every "," of the parameters into a line break. Only a
// package name can hold a raw comma (the sender's name has its commas
// escaped, the description is escaped whole), so putting them back keeps
// such a name whole instead of shifting every item after it.
TFields RecordItems(const std::string& parameters) {
  std::string joined;
  joined.reserve(parameters.size());
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (parameters.compare(i, 2, "\r\n") == 0) {
      joined += ',';
      ++i;
    } else {
      joined += parameters[i];
    }
  }
  return TFields::Record(joined);
}

bool UnsafeByte(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ',' || c == '<' || c == '>';
}

}  // namespace

const TTransferKindInfo& KindInfo(TTransferKind kind) { return kKinds[static_cast<std::size_t>(kind)]; }

std::optional<TTransferKind> KindFromWord(const std::string& word) {
  for (std::size_t i = 0; i < kKinds.size(); ++i)
    if (word == kKinds[i].Word) return static_cast<TTransferKind>(i);
  return std::nullopt;
}

std::optional<std::uint64_t> ParseCount(const std::string& text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::string SafeNameComponent(const std::string& received) {
  const std::string name = platform::ControlsMapped(received);
  std::string safe;
  safe.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c == 0) {
      // A character outside the code page, held as NUL and its byte: one
      // character of the name, which cannot travel or be shown here.
      ++i;
      safe += '_';
    } else if (name.compare(i, 3, FieldSeparator) == 0) {
      i += 2;
      safe += '_';
    } else {
      safe += UnsafeByte(c) ? '_' : static_cast<char>(c);
    }
  }
  if (safe.size() > kMaxNameBytes) safe.resize(kMaxNameBytes);
  if (safe.empty() || safe == "." || safe == "..") return "_";
  return safe;
}

std::string ShownName(const std::string& name) {
  return platform::ControlsMapped(platform::NameFromPath(platform::PathFromName(name)));
}

std::string TFileOffer::Record() const {
  return Sender + FieldSeparator + PackageName + FieldSeparator + std::to_string(Size) + FieldSeparator + Kind +
         FieldSeparator + Description;
}

std::optional<TFileOffer> TFileOffer::Parse(const std::string& parameters) {
  const TFields items = RecordItems(parameters);
  TFileOffer offer;
  offer.Sender = items[0];
  offer.PackageName = items[1];
  offer.Kind = items[3];
  if (items.Count() == 5) offer.Description = items[4];
  const auto size = ParseCount(items[2]);
  if (!size || *size == 0 || *size > kMaxPackageBytes || !KindFromWord(offer.Kind)) return std::nullopt;
  offer.Size = *size;
  return offer;
}

std::string TFileStart::Record() const {
  return std::to_string(Size) + FieldSeparator + PackageName + FieldSeparator + Kind + FieldSeparator +
         std::to_string(FileCount);
}

std::optional<TFileStart> TFileStart::Parse(const std::string& parameters) {
  const TFields items = RecordItems(parameters);
  const auto size = ParseCount(items[0]);
  const auto count = ParseCount(items[3]);
  if (!size || !count) return std::nullopt;
  return TFileStart{*size, items[1], items[2], *count};
}
