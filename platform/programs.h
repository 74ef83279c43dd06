#pragma once

// The program host: the running processes, starting a program and the class root of the
// registry (the programs registered for file types). The default host lists the processes of
// the system plus every DDE service of this process (as "<service>.exe", since an in-process
// server stands for a program of its own), starts programs without a shell, and has an empty
// class root. Tests install a fake.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Results of StartProgram, as the Windows program start gives them: above 31 is success.
namespace ProgramStart {
inline constexpr std::uint32_t kOutOfResources = 0;
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kPathNotFound = 3;
inline constexpr std::uint32_t kBadFormat = 11;
inline constexpr std::uint32_t kStarted = 33;
}  // namespace ProgramStart

class IProgramHost {
 public:
  virtual ~IProgramHost() = default;
  // The executable file names (without folder) of the running processes.
  virtual std::vector<std::string> RunningProcesses() = 0;
  // Starts a command line (Windows-1251): the program, in double quotes when its path has
  // blanks, then its arguments. The line is split here and never handed to a shell. minimised
  // asks for a minimised, not activated window where the desktop offers one.
  virtual std::uint32_t StartProgram(const std::string& commandLine, bool minimised) = 0;
  // The default value of a key under the class root; nothing when key or value is missing.
  virtual std::optional<std::string> QueryClassValue(const std::string& key) = 0;
};

// The installed host (the system's unless a test installed another).
IProgramHost& ProgramHost();
// Installs a host (not owned) and returns the previous one; nullptr restores the system's.
IProgramHost* SetProgramHost(IProgramHost* host);

// A command line split into the program and its arguments: blanks separate words, a double
// quote starts or ends a quoted run (kept without the quotes), two double quotes inside a
// quoted run give one.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
