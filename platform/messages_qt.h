#pragma once

// The Qt message and error windows behind the seams of platform/messages.h and
// platform/errorwindow.h, and the application title that captions them.

#include <string>

#include "platform/messages.h"

// The application title (Windows-1251), set once at start-up: the caption of every message
// and error window. Empty until set.
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();

// A parentless modal QMessageBox with one OK button, captioned with the application title
// and centred on the screen; the text is converted from Windows-1251. The error kind carries
// the critical icon, as the application's error window does.
class TQtMessageWindow : public IMessageWindow {
 public:
  enum class TKind { Message, Error };

  explicit TQtMessageWindow(TKind kind = TKind::Message) : Kind(kind) {}
  void ShowMessage(const std::string& text) override;

 private:
  TKind Kind;
};
