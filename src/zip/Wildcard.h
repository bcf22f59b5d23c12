#pragma once

// File-name masks: "*" any run, "?" one character, "<...>" a character class
// ("!" or "^" first negates, "a-z" a range in either order); ASCII letters match
// without regard to case. Angle brackets keep "[" and "]" ordinary name characters.

#include <string>

namespace zip {

// Results of matche.
constexpr int MATCH_VALID = 1;    // whole name matched whole mask
constexpr int MATCH_END = 2;      // the mask ended before the name
constexpr int MATCH_ABORT = 3;    // the name ended before the mask
constexpr int MATCH_LITERAL = 5;  // a literal or "?" position did not match

bool IsMatch(const std::string& mask, const std::string& name);
int matche(const std::string& mask, const std::string& name);
int match_after_star(const std::string& restOfMask, const std::string& restOfName);
bool is_pattern(const std::string& s);
bool is_valid_pattern(const std::string& s, int& error);

}  // namespace zip
