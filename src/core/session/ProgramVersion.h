#pragma once

#include <string>

// The running program's version: four 16-bit parts, major, minor, release and
// build, as the update check compares them and the about box shows them.
struct TProgramVersion {
  int Major = 0, Minor = 0, Release = 0, Build = 0;

  // "1.0.2.15"
  std::string Text() const;
};

TProgramVersion OwnVersion();

// The product's pages on its web host: "http://" + host, + "/support", and a
// help page by topic number (an unknown topic gives the index).
std::string HomePage();
std::string SupportPage();
std::string HelpPage(int topic);
