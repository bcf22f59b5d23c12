#include "transport/HttpCodec.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char SixBits(THttpEncoding encoding, unsigned v) {
  switch (encoding) {
    case encBase64:
      return kBase64[v];
    case encUUEncode:
      return static_cast<char>(0x20 + v);
    case encUUEncodeBacktick:
      return v == 0 ? '`' : static_cast<char>(0x20 + v);
  }
  return '?';
}

bool IsUnreserved(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_' || c == '.' ||
         c == '~';
}

}  // namespace

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsXDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int XDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

std::string UrlEncode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (IsUnreserved(c)) {
      out += c;
    } else {
      const auto u = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0x0F];
    }
  }
  return out;
}

std::string UrlDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && IsXDigit(text[i + 1]) && IsXDigit(text[i + 2])) {
      out += static_cast<char>(XDigit(text[i + 1]) * 16 + XDigit(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string EncodeLine(THttpEncoding encoding, const char* data, std::size_t len) {
  std::string out;
  out.reserve((len + 2) / 3 * 4);
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < len; i += 3) {
    const std::size_t n = len - i < 3 ? len - i : 3;
    const unsigned b0 = p[i];
    const unsigned b1 = n > 1 ? p[i + 1] : 0;
    const unsigned b2 = n > 2 ? p[i + 2] : 0;
    out += SixBits(encoding, b0 >> 2);
    out += SixBits(encoding, ((b0 & 0x03) << 4) | (b1 >> 4));
    const bool pad = encoding == encBase64;
    out += n > 1 || !pad ? SixBits(encoding, ((b1 & 0x0F) << 2) | (b2 >> 6)) : '=';
    out += n > 2 || !pad ? SixBits(encoding, b2 & 0x3F) : '=';
  }
  return out;
}

std::string EncodeStr(THttpEncoding encoding, const std::string& text) {
  return EncodeLine(encoding, text.data(), text.size());
}
