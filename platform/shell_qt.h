#pragma once

// The desktop's shell behind platform/shell.h: QDesktopServices with local paths made into
// file URLs and addresses without a scheme into web addresses (WebAddressUrl), and
// QStandardPaths for the user's documents folder.

#include "platform/shell.h"

class TQtShell : public IShell {
 public:
  bool OpenFile(const std::string& path) override;
  bool OpenUrl(const std::string& url) override;
  // Asks the desktop's registry of applications (xdg-mime) first: the desktop's opener
  // starts even for a type that nothing opens, and fails only later, unseen. The window keeps
  // painting while the query runs (it takes about a second on some desktops), but takes no
  // input, so that nothing else starts in the middle of the caller's work.
  bool OpenDocument(const std::string& path) override;
  // Qt's documents location when that folder exists, else the home folder.
  std::string DocumentsFolder() override;
  std::string HomeFolder() override;
};
