#pragma once

// Plain byte files: open an existing file for reading, create or truncate one for writing, or
// replace one whole (write a new file beside it and put it in its place only once complete).
// The default implementation is POSIX; tests install a fake to script failures, or replace the
// system calls of the POSIX implementation (PosixFileCalls) to make them fail.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class IReadFile {
 public:
  virtual ~IReadFile() = default;
  virtual std::uint64_t Size() = 0;
  // Reads exactly count bytes or raises EInOutError.
  virtual void ReadBlock(void* destination, std::size_t count) = 0;
};

class IWriteFile {
 public:
  virtual ~IWriteFile() = default;
  // Writes all count bytes or raises EInOutError.
  virtual void WriteBlock(const void* source, std::size_t count) = 0;
  // Flushes and closes; raises EInOutError when the data could not be stored.
  virtual void Close() = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  // nullptr when the file cannot be opened for reading. Only a regular file is opened: a named
  // pipe, a device, a socket or a folder is refused without blocking and before a byte is read.
  virtual std::unique_ptr<IReadFile> OpenRead(const std::string& path) = 0;
  // nullptr when the file cannot be created.
  virtual std::unique_ptr<IWriteFile> CreateWrite(const std::string& path) = 0;
  // A write that replaces the file at path only when its Close succeeds: until then, and for
  // good when a write or the Close fails or the file object is dropped unclosed, the old file
  // stays as it was. nullptr when the new file cannot be created. A file system that cannot
  // replace files whole writes in place (CreateWrite).
  std::unique_ptr<IWriteFile> CreateReplacing(const std::string& path) {
    std::string reason;
    return CreateReplacing(path, reason);
  }
  // As above; when the new file cannot be created, Reason says why ("Permission denied").
  // A target the user may not write is not replaced. The POSIX file system first removes the
  // temporary files that saves of dead processes left in the target's folder.
  virtual std::unique_ptr<IWriteFile> CreateReplacing(const std::string& path,
                                                      std::string& reason) {
    std::unique_ptr<IWriteFile> file = CreateWrite(path);
    if (!file) reason = "The file cannot be created";
    return file;
  }
};

// The system calls the POSIX file system makes, so that tests can make one fail (a full disk,
// an I/O error, a read-only file system, a refused access) without such a disk. Each has the
// signature and the errno convention of the call it stands for.
struct TPosixFileCalls {
  int (*Open)(const char* path, int flags, mode_t mode);
  ssize_t (*Write)(int fd, const void* source, std::size_t count);
  int (*Fsync)(int fd);
  int (*Close)(int fd);
  int (*Rename)(const char* from, const char* to);
  int (*Access)(const char* path, int mode);
};
// The calls in use; tests change members and restore them with RestorePosixFileCalls.
TPosixFileCalls& PosixFileCalls();
void RestorePosixFileCalls();

// The name pattern of the temporary files of a replacing save: ".~qv<pid>-<n>.tmp" in the
// target's folder. True for such a name, with the process id it carries.
bool IsReplacingTemporaryName(const std::string& name, long& pid);
// Removes from the folder the temporary files of replacing saves whose process is gone: only
// regular files of that name pattern owned by this user, and only those whose lock no process
// holds (a save holds an exclusive flock on its temporary file until it is renamed or
// removed, so that a save of another host or process namespace keeps its file). Answers how
// many were removed.
int RemoveStaleTemporaries(const std::string& folder);

// The installed file system (POSIX unless a test installed another).
IFileSystem& FileSystem();
// Installs a file system (not owned) and returns the previous one; nullptr restores POSIX.
IFileSystem* SetFileSystem(IFileSystem* files);
