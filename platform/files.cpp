#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/cp1251.h"

namespace {

int SystemOpen(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}

const TPosixFileCalls kSystemCalls = {&SystemOpen, &::write,  &::fsync, &::close,
                                      &::rename,   &::access, &::link};
TPosixFileCalls calls = kSystemCalls;

[[noreturn]] void RaiseIoError(const char* what) {
  throw EInOutError(std::string(what) + ": " + FileErrorReason(errno));
}

// Writes all count bytes to the descriptor; false with errno set when the disk refuses them.
bool WriteAll(int fd, const void* source, std::size_t count) {
  const auto* in = static_cast<const char*>(source);
  while (count > 0) {
    ssize_t n = calls.Write(fd, in, count);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    in += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
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
    if (!WriteAll(Fd, source, count)) RaiseIoError("I/O error");
  }

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

std::string LeafOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path names: the path itself, or for a symbolic link the end of its chain of
// links (a relative link read against the link's own folder), whether or not a file is
// there. False with errno set when a link cannot be read or the chain does not end.
bool FollowLinks(const std::string& path, std::string& target) {
  constexpr int kMaxLinks = 40;  // the kernel's own bound
  std::string current = path;
  for (int links = 0; links <= kMaxLinks; ++links) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      target = current;
      return true;
    }
    char text[PATH_MAX];
    const ssize_t n = ::readlink(current.c_str(), text, sizeof text);
    if (n < 0) return false;
    if (n == static_cast<ssize_t>(sizeof text)) {
      errno = ENAMETOOLONG;
      return false;
    }
    const std::string named(text, static_cast<std::size_t>(n));
    current = named.front() == '/' ? named : FolderOf(current) + "/" + named;
  }
  errno = ELOOP;
  return false;
}

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

// The rename or link itself reaches the disk with the folder's entry; a failure here loses
// nothing.
void SyncFolder(const std::string& folder) {
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  ::fsync(dir);
  ::close(dir);
}

// A TFileSave behind the IWriteFile of a replacing write.
class PosixReplacingFile : public IWriteFile {
 public:
  explicit PosixReplacingFile(std::unique_ptr<TFileSave> save) : Save(std::move(save)) {}

  void WriteBlock(const void* source, std::size_t count) override {
    if (!Save) throw EInOutError("I/O error: file closed");
    Save->Write(source, count);
  }

  void Close() override {
    if (!Save) throw EInOutError("I/O error: file closed");
    std::unique_ptr<TFileSave> save = std::move(Save);
    save->Replace();
  }

 private:
  std::unique_ptr<TFileSave> Save;
};

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
    try {
      return std::make_unique<PosixReplacingFile>(
          std::make_unique<TFileSave>(path, TFileSave::fsReplace));
    } catch (const ESaveError& e) {
      reason = e.Reason();
      return nullptr;
    }
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

std::string FileErrorReason(int error) {
  // The C library's own description, untranslated; a number it does not know is named.
  const char* text = ::strerrordesc_np(error);
  return text ? std::string(text) : "Error " + std::to_string(error);
}

std::string SaveFailedMessage(const std::string& path, const std::string& reason) {
  const std::string file = Utf8ToCp1251(path);
  std::string message = FilesText::kUnableToSave;
  std::size_t at = message.find("%s");
  message.replace(at, 2, file);
  at = message.find("%s", at + file.size());
  message.replace(at, 2, reason);
  return message;
}

ESaveError::ESaveError(std::string path, std::string reason)
    : EInOutError(SaveFailedMessage(path, reason)),
      FPath(std::move(path)),
      FReason(std::move(reason)) {}

TFileSave::TFileSave(std::string path, TKind kind) : FPath(std::move(path)) {
  mode_t mode = 0666;
  bool keepsMode = false;
  if (kind == fsReplace) {
    if (!FollowLinks(FPath, Target)) Fail(errno);
    struct stat st {};
    if (::stat(Target.c_str(), &st) == 0) {
      if (!S_ISREG(st.st_mode))
        Fail(S_ISDIR(st.st_mode) ? FileErrorReason(EISDIR) : FilesText::kNotARegularFile);
      // A rename would replace a file the user may not write (it needs only the folder's
      // write permission): such a file is kept, as writing it in place would keep it.
      if (calls.Access(Target.c_str(), W_OK) != 0) Fail(errno);
      mode = st.st_mode & 07777;
      keepsMode = true;
    }
    Folder = FolderOf(Target);
  } else {
    Folder = FolderOf(FPath);
  }
  RemoveStaleTemporaries(Folder, LeafOf(kind == fsReplace ? Target : FPath));
  // A short name (it fits wherever the final name fits), unique to this process and save.
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temporary =
        Folder + "/.~qv" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
    // Created with its final permissions, so that nobody the final file shuts out can open it
    // while it is written. The umask may take bits away: a file that keeps the mode of the
    // file it replaces gets them back before anything is written.
    const int fd =
        calls.Open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0777);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) Fail(errno);
    if (!LockNewTemporary(fd, temporary)) {
      ::close(fd);
      continue;
    }
    Fd = fd;
    Temporary = std::move(temporary);
    Lock = ::fcntl(Fd, F_DUPFD_CLOEXEC, 0);
    if (Lock < 0) Fail(errno);
    struct stat made {};
    if (keepsMode && ::fstat(Fd, &made) == 0 && (made.st_mode & 07777) != mode) ::fchmod(Fd, mode);
    return;
  }
  Fail(EEXIST);
}

TFileSave::~TFileSave() {
  Discard();
}

void TFileSave::Write(const void* source, std::size_t count) {
  if (Fd < 0) Fail(EBADF);
  if (!WriteAll(Fd, source, count)) Fail(errno);
}

void TFileSave::Sync() {
  if (Temporary.empty()) Fail(EBADF);
  if (Fd < 0) return;  // synced already, for a name that was taken
  if (calls.Fsync(Fd) != 0) Fail(errno);
  // Closed before it is named: a file system may report a failed write only here.
  const int fd = Fd;
  Fd = -1;
  if (calls.Close(fd) != 0) Fail(errno);
}

void TFileSave::Replace() {
  Sync();
  if (calls.Rename(Temporary.c_str(), Target.c_str()) != 0) Fail(errno);
  Temporary.clear();
  Discard();
  SyncFolder(Folder);
}

bool TFileSave::TakeName(const std::string& path) {
  FPath = path;
  Sync();
  // A new hard link fails on a name that exists, so no file is ever replaced, also when
  // another program writes the same name at the same moment.
  if (calls.Link(Temporary.c_str(), path.c_str()) != 0) {
    if (errno == EEXIST) return false;
    const int linkError = errno;
    // A file system without hard links may still rename without replacing.
    if (::renameat2(AT_FDCWD, Temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
      if (errno == EEXIST) return false;
      Fail(errno == EINVAL || errno == ENOSYS ? linkError : errno);
    }
    Temporary.clear();
  }
  // The temporary name beside the new one goes while the lock is held.
  Discard();
  SyncFolder(Folder);
  return true;
}

void TFileSave::Fail(int error) {
  Fail(FileErrorReason(error));
}

void TFileSave::Fail(const std::string& reason) {
  Discard();
  throw ESaveError(FPath, reason);
}

void TFileSave::Discard() {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
  // The temporary goes while its lock is still held.
  if (!Temporary.empty()) ::unlink(Temporary.c_str());
  Temporary.clear();
  if (Lock >= 0) ::close(Lock);
  Lock = -1;
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

int RemoveStaleTemporaries(const std::string& folder, const std::string& keep) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  const int dirFd = ::dirfd(dir);
  const uid_t user = ::geteuid();
  const pid_t self = ::getpid();
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    long pid = 0;
    const std::string name = entry->d_name;
    if (name == keep || !IsReplacingTemporaryName(name, pid) || pid == self) continue;
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
