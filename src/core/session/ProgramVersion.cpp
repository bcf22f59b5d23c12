#include "core/session/ProgramVersion.h"

#include <iterator>

std::string TProgramVersion::Text() const {
  return std::to_string(Major) + "." + std::to_string(Minor) + "." + std::to_string(Release) + "." +
         std::to_string(Build);
}

TProgramVersion OwnVersion() {
  return {PARLO_VERSION_MAJOR, PARLO_VERSION_MINOR, PARLO_VERSION_RELEASE, PARLO_VERSION_BUILD};
}

std::string HomePage() {
  std::string page = "http://";
  page += PARLO_WEB_HOST;
  return page;
}

std::string SupportPage() { return HomePage() + "/support"; }

std::string HelpPage(int topic) {
  static const char* const pages[] = {"index.html", "profiles.html", "history.html",   "pchat.html",
                                      "prefs.html", "viewmsg.html",  "index.html",     "webcam.html",
                                      "profiles.html", "multichat.html", "multichat.html"};
  const bool known = topic >= 0 && topic < static_cast<int>(std::size(pages));
  return HomePage() + "/help/" + (known ? pages[topic] : "index.html");
}
