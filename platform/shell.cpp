#include "platform/shell.h"

namespace {

class SilentShell : public IShell {
 public:
  bool OpenFile(const std::string&) override { return false; }
  bool OpenUrl(const std::string&) override { return false; }
};

SilentShell silent_shell;
IShell* installed_shell = nullptr;

}  // namespace

IShell& Shell() {
  return installed_shell ? *installed_shell : static_cast<IShell&>(silent_shell);
}

IShell* SetShell(IShell* shell) {
  IShell* previous = installed_shell;
  installed_shell = shell;
  return previous;
}
