#include "platform/UrlOpener.h"

#include <QDesktopServices>
#include <QUrl>

#include "platform/Charset.h"
#include "platform/FileNames.h"

namespace platform {

bool OpenUrl(const std::string& address) {
  const QUrl url(ToQString(address), QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  // A file or custom address could start a program: never handed on.
  if (!url.isValid() || (scheme != "http" && scheme != "https" && scheme != "mailto")) return false;
  return QDesktopServices::openUrl(url);
}

bool ShowFolder(const std::string& folder) {
  if (!DirectoryExists(folder)) return false;
  const QString path = QString::fromStdString(PathFromName(IncludeTrailingPathDelimiter(folder)).string());
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace platform
