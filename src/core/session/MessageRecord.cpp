#include "core/session/MessageRecord.h"

#include <QString>
#include <charconv>
#include <ctime>

#include "platform/Charset.h"
#include "platform/Strings.h"
#include "transport/CmdParser.h"

namespace {

using platform::StringReplace;

constexpr const char* kGreaterCode = "$g";
constexpr const char* kFieldCode = "$f";
constexpr std::size_t kMaxIdDigits = 18;  // what a 64-bit Tag holds

// A field other than the message: nothing in it may end the parameters, start
// another field or end the line.
std::string Clear(std::string field) {
  for (std::string before; before != field;) {
    before = field;
    for (const char* bad : {FieldSeparator, ">", "\r", "\n"}) field = StringReplace(field, bad, "");
  }
  return field;
}

}  // namespace

std::string EscapeMessageText(const std::string& text) {
  // The free-text escapes first: they write letters after "$", so neither
  // code below can be made from them.
  const std::string escaped = TCmdParser::EscapeText(text);
  return StringReplace(StringReplace(escaped, FieldSeparator, kFieldCode), ">", kGreaterCode);
}

std::string UnescapeMessageCodes(const std::string& field) {
  return StringReplace(StringReplace(field, kGreaterCode, ">"), kFieldCode, FieldSeparator);
}

std::string UnescapeMessageText(const std::string& field) { return TCmdParser::UnescapeText(UnescapeMessageCodes(field)); }

bool IsDecimalUserId(const std::string& id) {
  if (id.empty() || id.size() > kMaxIdDigits) return false;
  for (const char c : id)
    if (c < '0' || c > '9') return false;
  return true;
}

std::optional<std::uint64_t> UserTag(const std::string& id) {
  if (!IsDecimalUserId(id)) return std::nullopt;
  std::uint64_t tag = 0;
  std::from_chars(id.data(), id.data() + id.size(), tag);
  return tag;
}

std::string LocalDateTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[128];
  const std::size_t length = std::strftime(text, sizeof text, "%x %X", &local);
  // The desktop's locale may write its names in its own encoding.
  return platform::FromQString(QString::fromLocal8Bit(text, static_cast<qsizetype>(length)));
}

std::string MessageTimeNow() { return Clear(StringReplace(LocalDateTimeNow(), ",", "")); }

std::string TMessageRecord::Build() const {
  std::string record;
  for (const std::string* field : {&Recipient, &UserID, &UserName, &Online, &Status, &ListenIP, &ListenPort, &Sent})
    record += Clear(*field) + FieldSeparator;
  return record + Message;
}

std::optional<TRelayedMessage> TRelayedMessage::Parse(const std::string& params) {
  // The parameter parser turned each "," into CR LF; a CR or LF standing alone
  // was never part of a field the sender could mean.
  std::string record = StringReplace(params, "\r\n", ",");
  std::erase_if(record, [](char c) { return c == '\r' || c == '\n'; });
  const TFields f = TFields::Record(record);
  if (f.Count() < 8) return std::nullopt;
  return TRelayedMessage{f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], record};
}

int TRelayedMessage::StatusNumber() const {
  if (Online == "0") return 5;
  const int status = platform::StrToIntDef(Status, -1);
  return status >= 0 && status <= 5 ? status : -1;
}
