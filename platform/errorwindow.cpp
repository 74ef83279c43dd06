#include "platform/errorwindow.h"

namespace {

class SilentErrorWindow : public IMessageWindow {
 public:
  void ShowMessage(const std::string&) override {}
};

SilentErrorWindow silent_window;
IMessageWindow* installed_window = nullptr;

}  // namespace

IMessageWindow& ErrorWindow() {
  return installed_window ? *installed_window : static_cast<IMessageWindow&>(silent_window);
}

IMessageWindow* SetErrorWindow(IMessageWindow* window) {
  IMessageWindow* previous = installed_window;
  installed_window = window;
  return previous;
}
