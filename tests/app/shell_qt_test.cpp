#include "platform/shell_qt.h"

#include <QDesktopServices>
#include <QTextBrowser>
#include <QUrl>
#include <string>
#include <vector>

#include "tests/app/app_support.h"

namespace {

class QtShellTest : public GuiTest {};

// The desktop's openers stand in as URL handlers: what reaches the "http" and "file" ones is
// what the desktop would open.
TEST_F(QtShellTest, AWebAddressWithoutASchemeOpensAsAWebAddress) {
  struct Row {
    std::string address;
    std::string opened;
  };
  const Row rows[] = {
      {"www.example.com/racks", "http http://www.example.com/racks"},
      {"http://example.com/a b", "http http://example.com/a%20b"},
      {"file:///tmp/offer.html", "file file:///tmp/offer.html"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.address);
    std::vector<std::string> opened;
    QTextBrowser web, file;
    QObject::connect(&web, &QTextBrowser::sourceChanged, [&](const QUrl& url) {
      opened.push_back("http " + url.toString(QUrl::FullyEncoded).toStdString());
    });
    QObject::connect(&file, &QTextBrowser::sourceChanged, [&](const QUrl& url) {
      opened.push_back("file " + url.toString(QUrl::FullyEncoded).toStdString());
    });
    QDesktopServices::setUrlHandler("http", &web, "setSource");
    QDesktopServices::setUrlHandler("file", &file, "setSource");
    TQtShell shell;
    shell.OpenUrl(row.address);
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(opened, std::vector<std::string>{row.opened});
  }
}

}  // namespace
