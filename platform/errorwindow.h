#pragma once

// The application's error window: shows the message of an exception that no handler of the
// system caught (an error that left the run, or one raised in a window's event handler),
// captioned with the application title, with one OK button. The application installs the Qt
// window at start-up, tests install a recorder.

#include "platform/messages.h"

// The installed error window; a process without one writes the message to the standard error.
IMessageWindow& ErrorWindow();
// Installs a window (not owned) and returns the previous one; nullptr restores the silent one.
IMessageWindow* SetErrorWindow(IMessageWindow* window);

// Shows the message of an uncaught error in the installed error window.
inline void ShowError(const std::string& text) {
  ErrorWindow().ShowMessage(text);
}
