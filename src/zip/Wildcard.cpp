#include "zip/Wildcard.h"

#include <bitset>

namespace zip {

namespace {

// The class that directly follows a star, shared by matche and match_after_star.
std::bitset<256> gStarSet;
bool gStarNegated = false;

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

unsigned char U(char c) { return static_cast<unsigned char>(c); }

// Reads the class starting at `p` (just after "<") into the star set. A reversed
// range adds nothing; a class left open leaves the set empty.
void ReadStarClass(const std::string& mask, size_t p) {
  gStarSet.reset();
  gStarNegated = false;
  if (p < mask.size() && (mask[p] == '!' || mask[p] == '^')) {
    gStarNegated = true;
    ++p;
  }
  std::bitset<256> set;
  while (p < mask.size() && mask[p] != '>') {
    const unsigned char c1 = U(mask[p]);
    if (p + 2 < mask.size() && mask[p + 1] == '-' && mask[p + 2] != '>') {
      const unsigned char c2 = U(mask[p + 2]);
      for (unsigned c = c1; c1 <= c2 && c <= c2; ++c) set.set(c);
      p += 3;
    } else {
      set.set(c1);
      ++p;
    }
  }
  if (p < mask.size()) gStarSet = set;
}

// Tests one name character against the class at `p` (just after "<"). Returns the
// position of the closing ">" when the class admits it, npos otherwise (also for a
// class that cannot be parsed).
size_t MatchClass(const std::string& mask, size_t p, unsigned char ch) {
  bool negate = false;
  if (p < mask.size() && (mask[p] == '!' || mask[p] == '^')) {
    negate = true;
    ++p;
  }
  if (p >= mask.size() || mask[p] == '>') return std::string::npos;  // "<>" or an open class
  bool hit = false;
  while (p < mask.size() && mask[p] != '>') {
    const unsigned char c1 = U(mask[p]);
    if (p + 1 < mask.size() && mask[p + 1] == '-') {
      if (p + 2 >= mask.size() || mask[p + 2] == '>') return std::string::npos;  // range without its end
      const unsigned char c2 = U(mask[p + 2]);
      const unsigned char lo = c1 < c2 ? c1 : c2, hi = c1 < c2 ? c2 : c1;
      if (ch >= lo && ch <= hi) hit = true;
      p += 3;
    } else {
      if (ch == c1) hit = true;
      ++p;
    }
  }
  if (p >= mask.size()) return std::string::npos;
  return hit != negate ? p : std::string::npos;
}

}  // namespace

int matche(const std::string& mask, const std::string& name) {
  gStarSet.reset();
  gStarNegated = false;
  const std::string P = Lower(mask), T = Lower(name);
  if (P == "*") return MATCH_VALID;
  int result = 0;
  size_t p = 0, t = 0;
  while (result == 0 && p < P.size()) {
    if (t >= T.size()) return P[p] == '*' && p + 1 == P.size() ? MATCH_VALID : MATCH_ABORT;
    switch (P[p]) {
      case '*':
        if (p + 1 < P.size() && P[p + 1] == '<') {
          ReadStarClass(P, p + 2);
          if (gStarSet.none()) return MATCH_ABORT;
        } else {
          gStarSet.reset();
          gStarNegated = false;
        }
        return match_after_star(P.substr(p + 1), T.substr(t));
      case '<': {
        const size_t close = MatchClass(P, p + 1, U(T[t]));
        if (close == std::string::npos) return result;
        p = close;
        break;
      }
      case '?':
        break;
      default:
        if (P[p] != T[t]) result = MATCH_LITERAL;
        break;
    }
    ++p;
    ++t;
  }
  if (result == 0) result = t >= T.size() ? MATCH_VALID : MATCH_END;
  return result;
}

int match_after_star(const std::string& P, const std::string& T) {
  int result = 0;
  size_t p = 0, t = 0;
  while (p < P.size() && (P[p] == '*' || P[p] == '?')) {
    if (P[p] == '?') {
      if (t >= T.size()) break;
      ++t;
    }
    ++p;
  }
  if (t >= T.size()) return MATCH_ABORT;
  if (!P.empty() && p >= P.size()) return MATCH_VALID;
  do {
    if (p < P.size() && (P[p] == T[t] || P[p] == '<')) result = matche(P.substr(p), T.substr(t));
    if (t >= T.size()) return MATCH_ABORT;
    if (result != MATCH_VALID && gStarSet.any()) {
      if (gStarSet.test(U(T[t])) == gStarNegated) return MATCH_ABORT;
    }
    ++t;
  } while (result != MATCH_VALID && t < T.size());
  if (p >= P.size() && t >= T.size()) return MATCH_VALID;
  return result;
}

bool IsMatch(const std::string& mask, const std::string& name) { return matche(mask, name) == MATCH_VALID; }

bool is_pattern(const std::string&) { return true; }

bool is_valid_pattern(const std::string&, int&) { return true; }

}  // namespace zip
