#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/errors.h"

namespace {

[[noreturn]] void RaiseIoError(const char* what) {
  throw EInOutError(std::string(what) + ": " + std::strerror(errno));
}

// Writes all count bytes to the descriptor or raises EInOutError.
void WriteAll(int fd, const void* source, std::size_t count) {
  const auto* in = static_cast<const char*>(source);
  while (count > 0) {
    ssize_t n = ::write(fd, in, count);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseIoError("I/O error");
    in += n;
    count -= static_cast<std::size_t>(n);
  }
}

class PosixReadFile : public IReadFile {
 public:
  explicit PosixReadFile(int fd) : Fd(fd) {}
  ~PosixReadFile() override { ::close(Fd); }

  std::uint64_t Size() override {
    struct stat st {};
    if (::fstat(Fd, &st) != 0) RaiseIoError("I/O error");
    return static_cast<std::uint64_t>(st.st_size);
  }

  void ReadBlock(void* destination, std::size_t count) override {
    auto* out = static_cast<char*>(destination);
    while (count > 0) {
      ssize_t n = ::read(Fd, out, count);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) RaiseIoError("I/O error");
      if (n == 0) throw EInOutError("I/O error: unexpected end of file");
      out += n;
      count -= static_cast<std::size_t>(n);
    }
  }

 private:
  int Fd;
};

class PosixWriteFile : public IWriteFile {
 public:
  explicit PosixWriteFile(int fd) : Fd(fd) {}
  ~PosixWriteFile() override {
    if (Fd >= 0) ::close(Fd);
  }

  void WriteBlock(const void* source, std::size_t count) override { WriteAll(Fd, source, count); }

  void Close() override {
    int fd = Fd;
    Fd = -1;
    if (::close(fd) != 0) RaiseIoError("I/O error");
  }

 private:
  int Fd;
};

// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A new file beside the target that takes the target's place when it is closed: flushed to
// the disk, then renamed over the target, so that a reader sees the old file or the whole new
// one, never a part. Any failure, or dropping the object unclosed, removes the new file.
class PosixReplacingFile : public IWriteFile {
 public:
  PosixReplacingFile(int fd, std::string target, std::string temporary)
      : Fd(fd), Target(std::move(target)), Temporary(std::move(temporary)) {}
  ~PosixReplacingFile() override { Discard(); }

  void WriteBlock(const void* source, std::size_t count) override {
    if (Fd < 0) throw EInOutError("I/O error: file closed");
    WriteAll(Fd, source, count);
  }

  void Close() override {
    if (Fd < 0) throw EInOutError("I/O error: file closed");
    if (::fsync(Fd) != 0) RaiseIoError("I/O error");
    int fd = Fd;
    Fd = -1;
    if (::close(fd) != 0) RaiseIoError("I/O error");
    if (::rename(Temporary.c_str(), Target.c_str()) != 0) RaiseIoError("I/O error");
    Temporary.clear();
    SyncFolder();
  }

 private:
  void Discard() {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
    if (!Temporary.empty()) ::unlink(Temporary.c_str());
    Temporary.clear();
  }

  // The rename itself reaches the disk with the folder's entry; a failure here loses nothing.
  void SyncFolder() const {
    int dir = ::open(FolderOf(Target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
  }

  int Fd;
  std::string Target;
  std::string Temporary;
};

class PosixFileSystem : public IFileSystem {
 public:
  std::unique_ptr<IReadFile> OpenRead(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixReadFile>(fd);
  }

  std::unique_ptr<IWriteFile> CreateWrite(const std::string& path) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixWriteFile>(fd);
  }

  std::unique_ptr<IWriteFile> CreateReplacing(const std::string& path) override {
    // A link is followed, so that the file it names is replaced and the link stays.
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      char resolved[PATH_MAX];
      if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return nullptr;
    // A short name in the target's folder (the rename cannot cross file systems), unique to
    // this process and call.
    static unsigned counter = 0;
    const std::string folder = FolderOf(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string temporary =
          folder + "/.~qv" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
      int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) return nullptr;
      // The replacement keeps the permissions of the file it replaces.
      if (exists) ::fchmod(fd, st.st_mode & 07777);
      return std::make_unique<PosixReplacingFile>(fd, target, std::move(temporary));
    }
    return nullptr;
  }
};

PosixFileSystem posix_files;
IFileSystem* installed_files = nullptr;

}  // namespace

IFileSystem& FileSystem() {
  return installed_files ? *installed_files : static_cast<IFileSystem&>(posix_files);
}

IFileSystem* SetFileSystem(IFileSystem* files) {
  IFileSystem* previous = installed_files;
  installed_files = files;
  return previous;
}
