#pragma once

// Recording and scripted stand-ins for the platform seams. Each installs itself while it
// lives and restores what was installed before. (The recording message window is in
// expr_support.h.)

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/messages.h"
#include "platform/resources.h"
#include "platform/shell.h"
#include "platform/sleep.h"

// Records every sleep instead of waiting. OnSleep, when set, runs inside the sleep, so a test
// can look at the program's state at that moment.
class RecordingSleeper : public ISleeper {
 public:
  RecordingSleeper();
  ~RecordingSleeper() override;
  RecordingSleeper(const RecordingSleeper&) = delete;
  RecordingSleeper& operator=(const RecordingSleeper&) = delete;

  void Sleep(std::uint32_t milliseconds) override;

  std::vector<std::uint32_t> Calls;
  std::function<void(std::uint32_t)> OnSleep;

 private:
  ISleeper* Previous;
};

// Records every text shown in the application's error window.
class RecordingErrorWindow : public IMessageWindow {
 public:
  RecordingErrorWindow();
  ~RecordingErrorWindow() override;
  RecordingErrorWindow(const RecordingErrorWindow&) = delete;
  RecordingErrorWindow& operator=(const RecordingErrorWindow&) = delete;

  void ShowMessage(const std::string& text) override;

  std::vector<std::string> Shown;

 private:
  IMessageWindow* Previous;
};

// Records what is handed to the desktop's shell: "file " and the path, or "url " and the
// address; every call answers true.
class RecordingShell : public IShell {
 public:
  RecordingShell();
  ~RecordingShell() override;
  RecordingShell(const RecordingShell&) = delete;
  RecordingShell& operator=(const RecordingShell&) = delete;

  bool OpenFile(const std::string& path) override;
  bool OpenUrl(const std::string& url) override;
  std::string DocumentsFolder() override { return Documents; }

  std::vector<std::string> Opened;
  // The user's documents folder as the shell names it; empty: none.
  std::string Documents;

 private:
  IShell* Previous;
};

// The module's data resources replaced by a table of the test's own; a resource added with
// no bytes is present and empty.
class ScopedModuleResources {
 public:
  ScopedModuleResources();
  ~ScopedModuleResources();
  ScopedModuleResources(const ScopedModuleResources&) = delete;
  ScopedModuleResources& operator=(const ScopedModuleResources&) = delete;

  void Add(const std::string& name, std::vector<std::uint8_t> bytes);

 private:
  struct Entry {
    std::string Name;
    std::vector<std::uint8_t> Bytes;
  };
  std::vector<std::unique_ptr<Entry>> Entries;
  std::vector<TModuleResource> Table;
  std::span<const TModuleResource> Previous;
};

// An in-memory file system with scripted failures.
class FakeFileSystem : public IFileSystem {
 public:
  FakeFileSystem();
  ~FakeFileSystem() override;
  FakeFileSystem(const FakeFileSystem&) = delete;
  FakeFileSystem& operator=(const FakeFileSystem&) = delete;

  std::unique_ptr<IReadFile> OpenRead(const std::string& path) override;
  std::unique_ptr<IWriteFile> CreateWrite(const std::string& path) override;
  // The old file (or its absence) stays until the write is closed; a failed Close keeps it.
  using IFileSystem::CreateReplacing;
  // Refused creation gives the reason "Permission denied".
  std::unique_ptr<IWriteFile> CreateReplacing(const std::string& path,
                                              std::string& reason) override;

  // Present files and their bytes; a finished write stores its bytes here.
  std::map<std::string, std::string> Files;
  // Paths that cannot be opened for reading although present, or cannot be created.
  std::set<std::string> RefuseOpen;
  std::set<std::string> RefuseCreate;
  // A read of this file fails with EInOutError once this many bytes have been delivered.
  std::map<std::string, std::uint64_t> FailReadAfter;
  // Close of a write to this path fails with EInOutError (the bytes are not stored).
  std::set<std::string> FailClose;

 private:
  IFileSystem* Previous;
};
