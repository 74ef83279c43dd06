#include "platform/messages.h"

namespace {

class SilentMessageWindow : public IMessageWindow {
 public:
  void ShowMessage(const std::string&) override {}
};

SilentMessageWindow silent_window;
IMessageWindow* installed_window = nullptr;

}  // namespace

IMessageWindow& MessageWindow() {
  return installed_window ? *installed_window : static_cast<IMessageWindow&>(silent_window);
}

IMessageWindow* SetMessageWindow(IMessageWindow* window) {
  IMessageWindow* previous = installed_window;
  installed_window = window;
  return previous;
}
