#include "platform/programs.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/cp1251.h"
#include "platform/dde.h"

extern char** environ;

namespace {

std::vector<std::string> SystemProcesses() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string pid = entry.path().filename().string();
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    if (std::getline(comm, name) && !name.empty()) names.push_back(name);
  }
  return names;
}

std::uint32_t StartResult(int error) {
  switch (error) {
    case 0:
      return ProgramStart::kStarted;
    case ENOENT:
      return ProgramStart::kFileNotFound;
    case ENOTDIR:
      return ProgramStart::kPathNotFound;
    case ENOEXEC:
    case EACCES:
      return ProgramStart::kBadFormat;
    default:
      return ProgramStart::kOutOfResources;
  }
}

class SystemProgramHost : public IProgramHost {
 public:
  std::vector<std::string> RunningProcesses() override {
    std::vector<std::string> names = SystemProcesses();
    // A server of this process stands for the program it serves.
    for (const std::string& service : DdeServiceNames()) names.push_back(service + ".exe");
    return names;
  }

  std::uint32_t StartProgram(const std::string& commandLine, bool) override {
    std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty()) return ProgramStart::kFileNotFound;
    std::vector<std::string> args;
    for (const std::string& word : words) args.push_back(Cp1251ToUtf8(word));
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (error == 0) {
      // The started program lives on its own; its exit status is collected so that it leaves
      // no zombie behind.
      std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    }
    return StartResult(error);
  }

  std::optional<std::string> QueryClassValue(const std::string&) override { return std::nullopt; }
};

SystemProgramHost system_host;
IProgramHost* installed_host = nullptr;

}  // namespace

IProgramHost& ProgramHost() {
  return installed_host ? *installed_host : static_cast<IProgramHost&>(system_host);
}

IProgramHost* SetProgramHost(IProgramHost* host) {
  IProgramHost* previous = installed_host;
  installed_host = host;
  return previous;
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = 0; i < commandLine.size(); ++i) {
    const char c = commandLine[i];
    if (quoted) {
      if (c != '"') {
        word += c;
      } else if (i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
        word += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
      inWord = true;
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}
