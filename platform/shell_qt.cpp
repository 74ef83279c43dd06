#include "platform/shell_qt.h"

#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTimer>
#include <QUrl>

bool TQtShell::OpenFile(const std::string& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

bool TQtShell::OpenUrl(const std::string& url) {
  // An address without a scheme would reach the desktop's opener as a file path.
  return QDesktopServices::openUrl(
      QUrl(QString::fromStdString(WebAddressUrl(url)), QUrl::TolerantMode));
}

bool TQtShell::OpenDocument(const std::string& path) {
  const QString file = QString::fromStdString(path);
  const QString helper = QStandardPaths::findExecutable("xdg-mime");
  if (!helper.isEmpty()) {
    const QString type = QMimeDatabase().mimeTypeForFile(file).name();
    QProcess query;
    // The query reads a few small files; a helper that hangs is given up on, and the desktop's
    // opener is tried as without it. Meanwhile the window thread runs every event but the
    // user's input.
    QEventLoop wait;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&query, &QProcess::finished, &wait, &QEventLoop::quit);
    QObject::connect(&query, &QProcess::errorOccurred, &wait, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &wait, &QEventLoop::quit);
    query.start(helper, {"query", "default", type});
    if (query.state() != QProcess::NotRunning) {
      deadline.start(5000);
      wait.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (query.state() == QProcess::NotRunning && query.exitStatus() == QProcess::NormalExit &&
        query.error() == QProcess::UnknownError && query.exitCode() == 0 &&
        query.readAllStandardOutput().trimmed().isEmpty())
      return false;
    if (query.state() != QProcess::NotRunning) {
      query.kill();
      query.waitForFinished(1000);
    }
  }
  return OpenFile(path);
}

std::string TQtShell::DocumentsFolder() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && QFileInfo(documents).isDir())
    return QDir::cleanPath(documents).toStdString();
  return HomeFolder();
}

std::string TQtShell::HomeFolder() {
  return QDir::homePath().toStdString();
}
