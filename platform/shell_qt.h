#pragma once

// The desktop's shell behind platform/shell.h: QDesktopServices with local paths made into
// file URLs and addresses without a scheme into web addresses (WebAddressUrl).

#include "platform/shell.h"

class TQtShell : public IShell {
 public:
  bool OpenFile(const std::string& path) override;
  bool OpenUrl(const std::string& url) override;
};
