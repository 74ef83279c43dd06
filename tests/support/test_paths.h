#pragma once

// Scratch folders for tests: a fresh private folder per test, removed afterwards.

#include <filesystem>
#include <string>

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return Root; }
  // Path of a file inside the folder.
  std::string File(const std::string& name) const { return (Root / name).string(); }
  // Writes bytes to a file inside the folder and returns its path.
  std::string WriteFile(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path Root;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// The id of a process that has ended, as a dead save's temporary file carries it.
int DeadProcessId();
