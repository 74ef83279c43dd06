#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/errors.h"

namespace {

int SystemOpen(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}

const TPosixFileCalls kSystemCalls = {&SystemOpen, &::write,  &::fsync,
                                      &::close,    &::rename, &::access};
TPosixFileCalls calls = kSystemCalls;

std::string ErrnoText(int error) {
  return std::strerror(error);
}

[[noreturn]] void RaiseIoError(const char* what) {
  throw EInOutError(std::string(what) + ": " + ErrnoText(errno));
}

// Writes all count bytes to the descriptor or raises EInOutError.
void WriteAll(int fd, const void* source, std::size_t count) {
  const auto* in = static_cast<const char*>(source);
  while (count > 0) {
    ssize_t n = calls.Write(fd, in, count);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseIoError("I/O error");
    if (n == 0) {
      errno = EIO;
      RaiseIoError("I/O error");
    }
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
    if (calls.Close(fd) != 0) RaiseIoError("I/O error");
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
// Lock, a second descriptor of the same open file, holds the exclusive lock that tells the
// cleanup of other processes the file is in use: it stays open after the written descriptor
// is closed, until the rename or the removal.
class PosixReplacingFile : public IWriteFile {
 public:
  PosixReplacingFile(int fd, int lock, std::string target, std::string temporary)
      : Fd(fd), Lock(lock), Target(std::move(target)), Temporary(std::move(temporary)) {}
  ~PosixReplacingFile() override { Discard(); }

  void WriteBlock(const void* source, std::size_t count) override {
    if (Fd < 0) throw EInOutError("I/O error: file closed");
    WriteAll(Fd, source, count);
  }

  void Close() override {
    if (Fd < 0) throw EInOutError("I/O error: file closed");
    if (calls.Fsync(Fd) != 0) RaiseIoError("I/O error");
    int fd = Fd;
    Fd = -1;
    if (calls.Close(fd) != 0) RaiseIoError("I/O error");
    if (calls.Rename(Temporary.c_str(), Target.c_str()) != 0) RaiseIoError("I/O error");
    Temporary.clear();
    ReleaseLock();
    SyncFolder();
  }

 private:
  // The temporary file goes while its lock is still held.
  void Discard() {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
    if (!Temporary.empty()) ::unlink(Temporary.c_str());
    Temporary.clear();
    ReleaseLock();
  }

  void ReleaseLock() {
    if (Lock >= 0) ::close(Lock);
    Lock = -1;
  }

  // The rename itself reaches the disk with the folder's entry; a failure here loses nothing.
  void SyncFolder() const {
    int dir = ::open(FolderOf(Target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
  }

  int Fd;
  int Lock;
  std::string Target;
  std::string Temporary;
};

// Takes the exclusive lock of a temporary file just created under the name. False when
// another process's cleanup holds the lock or has removed the name in the meantime: that
// file is going, and the save takes another name. A file system without locks leaves the
// file unlocked, and the cleanup, which cannot lock it either, leaves it alone.
bool LockNewTemporary(int fd, const std::string& name) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno != EWOULDBLOCK;
  struct stat held {};
  struct stat named {};
  return ::fstat(fd, &held) == 0 && ::lstat(name.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

class PosixFileSystem : public IFileSystem {
 public:
  using IFileSystem::CreateReplacing;

  std::unique_ptr<IReadFile> OpenRead(const std::string& path) override {
    // Opening a named pipe without a writer blocks for ever, and reading a device may never
    // end: the file is opened without blocking, and only a regular file is kept. Its reads
    // then block as usual.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixReadFile>(fd);
  }

  std::unique_ptr<IWriteFile> CreateWrite(const std::string& path) override {
    int fd = calls.Open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixWriteFile>(fd);
  }

  std::unique_ptr<IWriteFile> CreateReplacing(const std::string& path,
                                              std::string& reason) override {
    // A link is followed, so that the file it names is replaced and the link stays.
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      char resolved[PATH_MAX];
      if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
      reason = S_ISDIR(st.st_mode) ? ErrnoText(EISDIR) : "Not a regular file";
      return nullptr;
    }
    // A rename would replace a file the user may not write (it needs only the folder's write
    // permission): such a file is kept, as writing it in place would keep it.
    if (exists && calls.Access(target.c_str(), W_OK) != 0) {
      reason = ErrnoText(errno);
      return nullptr;
    }
    const std::string folder = FolderOf(target);
    RemoveStaleTemporaries(folder);
    // A short name in the target's folder (the rename cannot cross file systems), unique to
    // this process and call.
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string temporary =
          folder + "/.~qv" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
      int fd = calls.Open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) {
        reason = ErrnoText(errno);
        return nullptr;
      }
      if (!LockNewTemporary(fd, temporary)) {
        ::close(fd);
        continue;
      }
      const int lock = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
      if (lock < 0) {
        reason = ErrnoText(errno);
        ::unlink(temporary.c_str());
        ::close(fd);
        return nullptr;
      }
      // The replacement keeps the permissions of the file it replaces.
      if (exists) ::fchmod(fd, st.st_mode & 07777);
      return std::make_unique<PosixReplacingFile>(fd, lock, target, std::move(temporary));
    }
    reason = ErrnoText(EEXIST);
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

TPosixFileCalls& PosixFileCalls() {
  return calls;
}

void RestorePosixFileCalls() {
  calls = kSystemCalls;
}

bool IsReplacingTemporaryName(const std::string& name, long& pid) {
  static constexpr char kPrefix[] = ".~qv";
  static constexpr char kSuffix[] = ".tmp";
  const std::size_t prefix = sizeof kPrefix - 1;
  const std::size_t suffix = sizeof kSuffix - 1;
  if (name.size() < prefix + suffix + 3 || name.compare(0, prefix, kPrefix) != 0 ||
      name.compare(name.size() - suffix, suffix, kSuffix) != 0) {
    return false;
  }
  // <pid>-<n>: two runs of decimal digits; the pid within the range of process ids.
  const std::string middle = name.substr(prefix, name.size() - prefix - suffix);
  const std::size_t dash = middle.find('-');
  if (dash == std::string::npos || dash == 0 || dash + 1 == middle.size() || dash > 9) {
    return false;
  }
  long value = 0;
  for (std::size_t i = 0; i < middle.size(); ++i) {
    if (i == dash) continue;
    if (middle[i] < '0' || middle[i] > '9') return false;
    if (i < dash) value = value * 10 + (middle[i] - '0');
  }
  if (value <= 0 || middle.size() - dash - 1 > 10) return false;
  pid = value;
  return true;
}

namespace {

// Removes a temporary file of a dead process only if no process holds its lock: a process of
// another host or of another process namespace, which the process test cannot see, may still
// be writing it. The file is opened without following a link and without blocking, must be
// the user's regular file, and is removed while its lock is held and its name still names it.
bool RemoveUnlockedTemporary(int dirFd, const std::string& name, uid_t user) {
  const int fd =
      ::openat(dirFd, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  bool removed = false;
  struct stat held {};
  struct stat named {};
  if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == user &&
      ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
      named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
    removed = ::unlinkat(dirFd, name.c_str(), 0) == 0;
  }
  ::close(fd);
  return removed;
}

}  // namespace

int RemoveStaleTemporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  const int dirFd = ::dirfd(dir);
  const uid_t user = ::geteuid();
  const pid_t self = ::getpid();
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    long pid = 0;
    const std::string name = entry->d_name;
    if (!IsReplacingTemporaryName(name, pid) || pid == self) continue;
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != user) continue;
    // A process that still lives may be writing its save: its file stays.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    if (RemoveUnlockedTemporary(dirFd, name, user)) ++removed;
  }
  ::closedir(dir);
  return removed;
}
