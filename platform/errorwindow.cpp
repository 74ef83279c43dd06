#include "platform/errorwindow.h"

#include <cstdio>

namespace {

// Without a window system the message still reaches the user: on the standard error.
class StandardErrorWindow : public IMessageWindow {
 public:
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
  }
};

StandardErrorWindow standard_error;
IMessageWindow* installed_window = nullptr;

}  // namespace

IMessageWindow& ErrorWindow() {
  return installed_window ? *installed_window : static_cast<IMessageWindow&>(standard_error);
}

IMessageWindow* SetErrorWindow(IMessageWindow* window) {
  IMessageWindow* previous = installed_window;
  installed_window = window;
  return previous;
}
