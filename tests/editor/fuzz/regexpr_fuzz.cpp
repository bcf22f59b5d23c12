// Compiles arbitrary expressions and runs them over arbitrary text: the compiler may
// only refuse with its own error, and every match it reports must lie inside the text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "editor/QuillRegExpr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  size_t patternLength = data[1];
  data += 2;
  size -= 2;
  if (patternLength > size) patternLength = size;
  const std::string pattern(reinterpret_cast<const char*>(data), patternLength);
  const std::string text(reinterpret_cast<const char*>(data + patternLength), size - patternLength);
  const int n = static_cast<int>(text.size());

  try {
    quill::TQuillRegExpr re(pattern, flags & 1);
    re.GetFirstState();
    int len = 0;
    for (int start = 0; start <= n && start < 8; ++start) {
      if (re.StringMatch(std::string_view(text).substr(start), flags & 2, len)) {
        if (len < 1 || (len > n - start && len != 1)) std::abort();
      }
    }
    for (bool forward : {true, false}) {
      int pos = 1 + (n ? (flags >> 2) % n : 0), matchLen = -1;
      if (re.Find(text, forward, matchLen, pos)) {
        if (pos < 1 || pos > n + 1 || matchLen < 0 || pos - 1 + matchLen > n) std::abort();
      } else if (pos != 0 || matchLen != 0) {
        std::abort();
      }
    }
  } catch (const quill::EQuillRegExprError&) {
  }
  return 0;
}
