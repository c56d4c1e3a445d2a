#include "platform/Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace ond {

bool ShellOpenURL(const std::string& url) {
  return QDesktopServices::openUrl(QUrl(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size()))));
}

}  // namespace ond
