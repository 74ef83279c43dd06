#include "tests/support/platform_fakes.h"

#include <cstring>
#include <utility>

#include "platform/errors.h"
#include "platform/errorwindow.h"

RecordingSleeper::RecordingSleeper() : Previous(SetSleeper(this)) {}

RecordingSleeper::~RecordingSleeper() {
  SetSleeper(Previous);
}

void RecordingSleeper::Sleep(std::uint32_t milliseconds) {
  Calls.push_back(milliseconds);
  if (OnSleep) OnSleep(milliseconds);
}

RecordingErrorWindow::RecordingErrorWindow() : Previous(SetErrorWindow(this)) {}

RecordingErrorWindow::~RecordingErrorWindow() {
  SetErrorWindow(Previous);
}

void RecordingErrorWindow::ShowMessage(const std::string& text) {
  Shown.push_back(text);
}

RecordingShell::RecordingShell() : Previous(SetShell(this)) {}

RecordingShell::~RecordingShell() {
  SetShell(Previous);
}

bool RecordingShell::OpenFile(const std::string& path) {
  Opened.push_back("file " + path);
  return true;
}

bool RecordingShell::OpenUrl(const std::string& url) {
  Opened.push_back("url " + url);
  return true;
}

ScopedModuleResources::ScopedModuleResources() : Previous(SetModuleResources({})) {}

ScopedModuleResources::~ScopedModuleResources() {
  SetModuleResources(Previous);
}

void ScopedModuleResources::Add(const std::string& name, std::vector<std::uint8_t> bytes) {
  Entries.push_back(std::make_unique<Entry>(Entry{name, std::move(bytes)}));
  Table.clear();
  for (const auto& entry : Entries) {
    Table.push_back({entry->Name.c_str(), entry->Bytes.data(), entry->Bytes.size()});
  }
  SetModuleResources(Table);
}

namespace {

class FakeReadFile : public IReadFile {
 public:
  FakeReadFile(std::string bytes, std::optional<std::uint64_t> failAfter)
      : Bytes(std::move(bytes)), FailAfter(failAfter) {}

  std::uint64_t Size() override { return Bytes.size(); }

  void ReadBlock(void* destination, std::size_t count) override {
    if (FailAfter && Position + count > *FailAfter) throw EInOutError("I/O error: scripted");
    if (count > Bytes.size() - Position) throw EInOutError("I/O error: unexpected end of file");
    std::memcpy(destination, Bytes.data() + Position, count);
    Position += count;
  }

 private:
  std::string Bytes;
  std::optional<std::uint64_t> FailAfter;
  std::size_t Position = 0;
};

class FakeWriteFile : public IWriteFile {
 public:
  FakeWriteFile(std::string* target, bool failClose) : Target(target), FailClose(failClose) {}
  // A replacing write: the file appears in files only when the write is closed.
  FakeWriteFile(std::map<std::string, std::string>* files, std::string path, bool failClose)
      : Files(files), Path(std::move(path)), FailClose(failClose) {}

  void WriteBlock(const void* source, std::size_t count) override {
    Bytes.append(static_cast<const char*>(source), count);
  }

  void Close() override {
    if (FailClose) throw EInOutError("I/O error: scripted");
    if (Files != nullptr) {
      (*Files)[Path] = Bytes;
    } else {
      *Target = Bytes;
    }
  }

 private:
  std::string* Target = nullptr;
  std::map<std::string, std::string>* Files = nullptr;
  std::string Path;
  bool FailClose;
  std::string Bytes;
};

}  // namespace

FakeFileSystem::FakeFileSystem() : Previous(SetFileSystem(this)) {}

FakeFileSystem::~FakeFileSystem() {
  SetFileSystem(Previous);
}

std::unique_ptr<IReadFile> FakeFileSystem::OpenRead(const std::string& path) {
  auto it = Files.find(path);
  if (it == Files.end() || RefuseOpen.count(path)) return nullptr;
  std::optional<std::uint64_t> failAfter;
  if (auto fail = FailReadAfter.find(path); fail != FailReadAfter.end()) failAfter = fail->second;
  return std::make_unique<FakeReadFile>(it->second, failAfter);
}

std::unique_ptr<IWriteFile> FakeFileSystem::CreateWrite(const std::string& path) {
  if (RefuseCreate.count(path)) return nullptr;
  // Creating truncates: the file exists, empty, until the write is closed.
  std::string& target = Files[path];
  target.clear();
  return std::make_unique<FakeWriteFile>(&target, FailClose.count(path) != 0);
}

std::unique_ptr<IWriteFile> FakeFileSystem::CreateReplacing(const std::string& path,
                                                            std::string& reason) {
  if (RefuseCreate.count(path)) {
    reason = "Permission denied";
    return nullptr;
  }
  return std::make_unique<FakeWriteFile>(&Files, path, FailClose.count(path) != 0);
}
