#pragma once

// The modal message window with one OK button, captioned with the application title and
// centred on the screen. The core shows messages only through this seam: the application
// installs the Qt window at start-up, tests install a recorder.

#include <string>

class IMessageWindow {
 public:
  virtual ~IMessageWindow() = default;
  // Shows the text (Windows-1251 bytes) and returns when the user has closed the window.
  virtual void ShowMessage(const std::string& text) = 0;
};

// The installed window; a process without one gets a window that shows nothing.
IMessageWindow& MessageWindow();
// Installs a window (not owned) and returns the previous one; nullptr restores the silent one.
IMessageWindow* SetMessageWindow(IMessageWindow* window);

// Shows text in the installed message window.
inline void ShowMessage(const std::string& text) {
  MessageWindow().ShowMessage(text);
}
