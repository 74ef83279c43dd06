#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/errors.h"

namespace {

[[noreturn]] void RaiseIoError(const char* what) {
  throw EInOutError(std::string(what) + ": " + std::strerror(errno));
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

  void WriteBlock(const void* source, std::size_t count) override {
    const auto* in = static_cast<const char*>(source);
    while (count > 0) {
      ssize_t n = ::write(Fd, in, count);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) RaiseIoError("I/O error");
      in += n;
      count -= static_cast<std::size_t>(n);
    }
  }

  void Close() override {
    int fd = Fd;
    Fd = -1;
    if (::close(fd) != 0) RaiseIoError("I/O error");
  }

 private:
  int Fd;
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
