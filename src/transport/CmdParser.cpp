#include "transport/CmdParser.h"

#include <charconv>
#include <exception>

#include "platform/ErrorSink.h"

namespace {

TCmdParser parserInstance;

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
  std::string out;
  out.reserve(text.size());
  size_t at = 0;
  for (size_t hit; (hit = text.find(from, at)) != std::string::npos; at = hit + from.size()) {
    out.append(text, at, hit - at);
    out += to;
  }
  out.append(text, at, std::string::npos);
  return out;
}

// Decimal digits with an optional sign, nothing else; other notations are not
// codes any peer sends.
bool ParseInt(std::string_view s, int& out) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty() || (s[0] == '-' && s.size() == 1)) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size();
}

void LogFailure(const char* prefix, const std::string& line) { platform::ReportError("", "", prefix + line); }

}  // namespace

TCmdParser* CmdParser = &parserInstance;

// Every message sent is framed here: the frame is put together in one
// buffer of its final size.
std::string CommandFrame(int code, const std::string& parameters, const std::string& text) {
  char digits[16];
  const std::size_t length = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, code).ptr - digits);
  std::string frame;
  frame.reserve(2 + length + 1 + parameters.size() + 1 + text.size() + 2);
  frame.append("  ").append(digits, length).append(1, '<').append(parameters).append(1, '>').append(text).append("\r\n");
  return frame;
}

std::string TCmdParser::RemoveEOL(const std::string& text) {
  try {
    if (text.size() >= 2 && text[text.size() - 2] == '\r' && text.back() == '\n')
      return text.substr(0, text.size() - 2);
    return text;
  } catch (const std::exception&) {
    return {};
  }
}

int TCmdParser::ExtractCommand(const std::string& line) {
  try {
    int code = 0;
    if (ParseInt(std::string_view(line).substr(0, 4), code)) return code;
    LogFailure("Extracting Command: ", line);
  } catch (const std::exception&) {
    LogFailure("Extracting Command: ", line);
  }
  return ErrorCommandCode;
}

std::string TCmdParser::ExtractParameters(const std::string& line) {
  try {
    // Positions count from 1, 0 meaning "not found", as the frame rules are written.
    const size_t lt = line.find('<');
    const size_t gt = line.find('>');
    const long start = (lt == std::string::npos ? 0 : static_cast<long>(lt) + 1) + 1;
    const long count = (gt == std::string::npos ? 0 : static_cast<long>(gt) + 1) - start;
    if (count < 1 || start > static_cast<long>(line.size())) return {};
    return ReplaceAll(line.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count)), ",", "\r\n");
  } catch (const std::exception&) {
    LogFailure("Extracting Parameters: ", line);
    return {};
  }
}

std::string TCmdParser::ExtractCommandText(const std::string& line) {
  try {
    const size_t gt = line.find('>');
    return gt == std::string::npos ? line : line.substr(gt + 1);
  } catch (const std::exception&) {
    LogFailure("Extracting CommandText: ", line);
    return {};
  }
}

// One pass each way for every message. No pair's letters make or break
// another pair, so this is what replacing the three pairs one after another
// gives (the order peers have always used).
std::string TCmdParser::EscapeText(const std::string& text) {
  try {
    std::string out;
    out.reserve(text.size() + 8);
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c != '\r' && c != '\n' && c != ',') continue;
      out.append(text, from, i - from).append(1, '$').append(1, c == '\r' ? 'r' : c == '\n' ? 'n' : 'c');
      from = i + 1;
    }
    return out.append(text, from, std::string::npos);
  } catch (const std::exception&) {
    return {};
  }
}

std::string TCmdParser::UnescapeText(const std::string& text) {
  try {
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find('$'); at != std::string::npos; at = text.find('$', at + 1)) {
      const char letter = at + 1 < text.size() ? text[at + 1] : '\0';
      if (letter != 'r' && letter != 'n' && letter != 'c') continue;
      out.append(text, from, at - from).append(1, letter == 'r' ? '\r' : letter == 'n' ? '\n' : ',');
      from = ++at + 1;
    }
    return out.append(text, from, std::string::npos);
  } catch (const std::exception&) {
    return {};
  }
}

std::string TCmdParser::EscapeCommas(const std::string& text) {
  try {
    return ReplaceAll(text, ",", "$c");
  } catch (const std::exception&) {
    return {};
  }
}

std::string TCmdParser::UnescapeCommas(const std::string& text) {
  try {
    return ReplaceAll(text, "$c", ",");
  } catch (const std::exception&) {
    return {};
  }
}

std::string TCmdParser::CleanLine(const std::string& received) {
  std::string line = RemoveEOL(received.substr(0, received.find('\0')));
  size_t first = 0;
  while (first < line.size() && static_cast<unsigned char>(line[first]) <= 32) ++first;
  return line.substr(first);
}

TFields::TFields(const std::string& text, const std::string& separator) {
  if (text.empty() || separator.empty()) {
    if (!text.empty()) fields_.push_back(text);
    return;
  }
  size_t at = 0;
  for (size_t hit; (hit = text.find(separator, at)) != std::string::npos; at = hit + separator.size())
    fields_.push_back(text.substr(at, hit - at));
  if (at < text.size()) fields_.push_back(text.substr(at));
}

TFields TFields::Parameters(const std::string& parameters) { return TFields(parameters, "\r\n"); }

const std::string& TFields::operator[](int index) const {
  static const std::string empty;
  return index >= 0 && index < Count() ? fields_[static_cast<size_t>(index)] : empty;
}

int TFields::Int(int index, int def) const {
  std::string_view field = (*this)[index];
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
  int value = 0;
  return ParseInt(field, value) ? value : def;
}
