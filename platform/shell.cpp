#include "platform/shell.h"

#include <cctype>

namespace {

class SilentShell : public IShell {
 public:
  bool OpenFile(const std::string&) override { return false; }
  bool OpenUrl(const std::string&) override { return false; }
};

SilentShell silent_shell;
IShell* installed_shell = nullptr;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
    if (i >= text.size() ||
        std::tolower(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(prefix[i]))
      return false;
  }
  return true;
}

// A scheme: a letter, then letters, digits, "+", "-" or "." up to a ":". A single letter is
// a drive ("C:\\..."), and a ":" followed by a digit ends a host and starts its port
// ("localhost:8080/..."): neither is a scheme.
bool HasScheme(const std::string& address) {
  const std::size_t colon = address.find(':');
  if (colon == std::string::npos || colon < 2) return false;
  if (!std::isalpha(static_cast<unsigned char>(address[0]))) return false;
  for (std::size_t i = 1; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(address[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return !(colon + 1 < address.size() &&
           std::isdigit(static_cast<unsigned char>(address[colon + 1])));
}

}  // namespace

std::string WebAddressUrl(const std::string& address) {
  std::size_t first = 0;
  std::size_t last = address.size();
  while (first < last && IsBlank(address[first])) ++first;
  while (last > first && IsBlank(address[last - 1])) --last;
  const std::string trimmed = address.substr(first, last - first);
  if (trimmed.empty() || HasScheme(trimmed)) return trimmed;
  // "//host/path" names the host already.
  if (StartsWithNoCase(trimmed, "//")) return "http:" + trimmed;
  if (StartsWithNoCase(trimmed, "ftp.")) return "ftp://" + trimmed;
  return "http://" + trimmed;
}

IShell& Shell() {
  return installed_shell ? *installed_shell : static_cast<IShell&>(silent_shell);
}

IShell* SetShell(IShell* shell) {
  IShell* previous = installed_shell;
  installed_shell = shell;
  return previous;
}
