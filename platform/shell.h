#pragma once

// The shell: opens a local file or a web address with the desktop's default application.
// The program installs the Qt shell (platform/shell_qt.h) at start-up; a process without one
// opens nothing; tests install a recorder.

#include <string>

class IShell {
 public:
  virtual ~IShell() = default;
  // A file-system path (UTF-8); true when the desktop accepted it.
  virtual bool OpenFile(const std::string& path) = 0;
  // An address such as "https://..." or "file:///..." (UTF-8); true when accepted.
  virtual bool OpenUrl(const std::string& url) = 0;
  // A document of the user's (UTF-8 path) opened with the desktop's application for its type;
  // false when the desktop has none for that type or cannot start it, so that the caller can
  // tell the user where the file is.
  virtual bool OpenDocument(const std::string& path) { return OpenFile(path); }
  // The folder in which the user keeps documents (UTF-8 path, existing); empty when unknown.
  virtual std::string DocumentsFolder() { return {}; }
  // The user's home folder (UTF-8 path); empty when unknown.
  virtual std::string HomeFolder() { return {}; }
};

// The installed shell; a process without one gets a shell that opens nothing (false).
IShell& Shell();
// Installs a shell (not owned) and returns the previous one; nullptr restores the silent one.
IShell* SetShell(IShell* shell);

// The address a web resource names, as the desktop's opener needs it: an address with a scheme
// ("https:", "mailto:", ...) stays as it is; one without a scheme is a web address, as the
// Windows shell takes "www." addresses: "ftp." names get "ftp://", every other one "http://"
// ("www.example.com/racks" opens http://www.example.com/racks, not a file of that name).
// Blanks around the address are dropped; an empty address stays empty.
std::string WebAddressUrl(const std::string& address);

inline bool ShellOpenFile(const std::string& path) {
  return Shell().OpenFile(path);
}
inline bool ShellOpenUrl(const std::string& url) {
  return Shell().OpenUrl(url);
}
