#pragma once

// Plain byte files: open an existing file for reading, create or truncate one for writing, or
// replace one whole (write a new file beside it and put it in its place only once complete).
// The default implementation is POSIX; tests install a fake to script failures.

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
  // nullptr when the file cannot be opened for reading.
  virtual std::unique_ptr<IReadFile> OpenRead(const std::string& path) = 0;
  // nullptr when the file cannot be created.
  virtual std::unique_ptr<IWriteFile> CreateWrite(const std::string& path) = 0;
  // A write that replaces the file at path only when its Close succeeds: until then, and for
  // good when a write or the Close fails or the file object is dropped unclosed, the old file
  // stays as it was. nullptr when the new file cannot be created. A file system that cannot
  // replace files whole writes in place (CreateWrite).
  virtual std::unique_ptr<IWriteFile> CreateReplacing(const std::string& path) {
    return CreateWrite(path);
  }
};

// The installed file system (POSIX unless a test installed another).
IFileSystem& FileSystem();
// Installs a file system (not owned) and returns the previous one; nullptr restores POSIX.
IFileSystem* SetFileSystem(IFileSystem* files);
