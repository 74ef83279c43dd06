#include "platform/shell_qt.h"

#include <sys/stat.h>

#include <QDesktopServices>
#include <QTextBrowser>
#include <QUrl>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/app/app_support.h"
#include "tests/support/test_paths.h"

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

// The desktop's registry of applications (xdg-mime) takes about a second on some desktops:
// the window goes on with its timers and painting meanwhile, and the document is opened only
// for a type that some application opens.
TEST_F(QtShellTest, TheQueryForTheDocumentsApplicationLeavesTheWindowRunning) {
  struct Row {
    const char* Name;
    std::string Answer;  // what the registry names for the type
    bool Opened;
  };
  const Row rows[] = {
      {"a type nothing opens", "", false},
      {"a type an application opens", "calc.desktop", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ScratchFolder scratch;
    // The helper notes what it was asked, then answers after a while.
    const std::string helper =
        scratch.WriteFile("xdg-mime", "#!/bin/sh\necho \"$@\" > \"$0.asked\"\nsleep 0.5\necho '" +
                                          row.Answer + "'\n");
    ::chmod(helper.c_str(), 0755);
    const std::string document = scratch.WriteFile("offer.xlsx", "workbook");
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (scratch.Path().string() + ":" + path).c_str(), 1);
    std::vector<std::string> opened;
    QTextBrowser file;
    QObject::connect(&file, &QTextBrowser::sourceChanged,
                     [&](const QUrl& url) { opened.push_back(url.toLocalFile().toStdString()); });
    QDesktopServices::setUrlHandler("file", &file, "setSource");
    int ticks = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start();
    TQtShell shell;
    EXPECT_EQ(shell.OpenDocument(document), row.Opened);
    QDesktopServices::unsetUrlHandler("file");
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(ReadWholeFile(helper + ".asked"),
              "query default application/vnd.openxmlformats-officedocument.spreadsheetml.sheet\n");
    EXPECT_GT(ticks, 0) << "the window's events ran during the query";
    EXPECT_EQ(opened, row.Opened ? std::vector<std::string>{document} : std::vector<std::string>{});
  }
}

}  // namespace
