#include "platform/shell_qt.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

bool TQtShell::OpenFile(const std::string& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

bool TQtShell::OpenUrl(const std::string& url) {
  // An address without a scheme would reach the desktop's opener as a file path.
  return QDesktopServices::openUrl(
      QUrl(QString::fromStdString(WebAddressUrl(url)), QUrl::TolerantMode));
}
