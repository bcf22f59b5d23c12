// Compiles arbitrary expressions and runs them over arbitrary text: the compiler may
// only refuse with its own error, every match it reports must lie inside the text, and
// a forward search finds the first start where an anchored match succeeds (the search
// skips starts that cannot match; this checks it skips no other).
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
      const int from = 1 + (n ? (flags >> 2) % n : 0);
      int pos = from, matchLen = -1;
      if (re.Find(text, forward, matchLen, pos)) {
        if (pos < 1 || pos > n + 1 || matchLen < 0 || pos - 1 + matchLen > n) std::abort();
        // A search that gave up on a runaway pattern finds nothing, so a match found
        // means every start before it was tried or rightly passed over.
        if (forward && pos <= n) {
          for (int p = from - 1; p < pos - 1; ++p)
            if (re.StringMatch(std::string_view(text).substr(p), p == 0, len)) std::abort();
          if (!re.StringMatch(std::string_view(text).substr(pos - 1), pos == 1, len)) std::abort();
        }
      } else if (pos != 0 || matchLen != 0) {
        std::abort();
      }
    }
  } catch (const quill::EQuillRegExprError&) {
  }
  return 0;
}
