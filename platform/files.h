#pragma once

// Plain byte files: open an existing file for reading, create or truncate one for writing, or
// replace one whole (write a new file beside it and put it in its place only once complete).
// The default implementation is POSIX; tests install a fake to script failures, or replace the
// system calls of the POSIX implementation (PosixFileCalls) to make them fail.
//
// TFileSave is the one way the program writes a file the user keeps (a saved state, a
// workbook): created under a temporary name with its final mode, written, synced, then given
// its name by a rename or a new link; dead temporaries cleaned up first; every failure said
// with the file and the reason (ESaveError).

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/errors.h"

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
  // A target the user may not write is not replaced. The POSIX file system writes through a
  // TFileSave: its writes and its Close raise ESaveError.
  virtual std::unique_ptr<IWriteFile> CreateReplacing(const std::string& path,
                                                      std::string& reason) {
    std::unique_ptr<IWriteFile> file = CreateWrite(path);
    if (!file) reason = "The file cannot be created";
    return file;
  }
};

// The system calls the POSIX file system and TFileSave make, so that tests can make one fail
// (a full disk, an I/O error, a read-only file system, a refused access) without such a disk.
// Each has the signature and the errno convention of the call it stands for.
struct TPosixFileCalls {
  int (*Open)(const char* path, int flags, mode_t mode);
  ssize_t (*Write)(int fd, const void* source, std::size_t count);
  int (*Fsync)(int fd);
  int (*Close)(int fd);
  int (*Rename)(const char* from, const char* to);
  int (*Access)(const char* path, int mode);
  int (*Link)(const char* from, const char* to);
};
// The calls in use; tests change members and restore them with RestorePosixFileCalls.
TPosixFileCalls& PosixFileCalls();
void RestorePosixFileCalls();

// Messages of the file layer (byte-exact).
namespace FilesText {
// A save that did not happen: the file's full path and the reason.
inline constexpr const char* kUnableToSave = "Unable to save \"%s\": %s";
inline constexpr const char* kNotARegularFile = "Not a regular file";
}  // namespace FilesText

// Why a file operation failed, as the program says it: the English description of the system
// error number ("No space left on device"), never the user locale's translation, so that a
// message is in one language and a reason always in the same words.
std::string FileErrorReason(int error);

// kUnableToSave with the file's path (a file-system path, UTF-8, made Windows-1251 like every
// text a message shows) and the reason (Windows-1251; the file layer's own are ASCII).
std::string SaveFailedMessage(const std::string& path, const std::string& reason);

// A save that did not happen and left nothing behind; what() is SaveFailedMessage.
class ESaveError : public EInOutError {
 public:
  ESaveError(std::string path, std::string reason);
  // The file as the save was asked to write it (UTF-8) and why it could not.
  const std::string& Path() const { return FPath; }
  const std::string& Reason() const { return FReason; }

 private:
  std::string FPath;
  std::string FReason;
};

// One save of a whole file. The bytes go to a temporary file ".~qv<pid>-<n>.tmp" in the
// folder of the final name, which is synced to the disk and only then given that name, so a
// reader, a crash or a power cut never finds part of the file under it. The temporary is
// created with the file's final mode in its open call (the mode of the file it replaces, or
// 0666 less the umask for a new one) and holds an exclusive lock while it has its name (see
// RemoveStaleTemporaries); any failure, and dropping a save that was not completed, removes
// it, and the file the save would replace stays as it was. Before it is created, the
// temporaries that dead saves left in that folder are removed, never the target itself.
// Every failure raises ESaveError with the path the save was given and the reason.
class TFileSave {
 public:
  enum TKind : std::uint8_t {
    // The file takes the place of the file at the path (Replace). A symbolic link there is
    // followed to the file it names, also one that does not exist yet, so the link stays; an
    // existing target must be a regular file that the user may write, and keeps its mode.
    fsReplace,
    // A new file in the path's folder, named by TakeName without ever replacing a file; the
    // path names it in messages until then.
    fsNew,
  };

  TFileSave(std::string path, TKind kind);
  ~TFileSave();
  TFileSave(const TFileSave&) = delete;
  TFileSave& operator=(const TFileSave&) = delete;

  // The path that messages name: the one given, or the last given to TakeName.
  const std::string& Path() const { return FPath; }
  void Write(const void* source, std::size_t count);
  // fsReplace: syncs the file and renames it over the target. The save is then complete.
  void Replace();
  // fsNew: syncs the file (once) and gives it the name path, which must be in the folder the
  // save was created for, when no entry has that name: false when one has, and the file waits
  // for another name; true when the save is complete.
  bool TakeName(const std::string& path);

 private:
  // Removes the temporary and raises ESaveError.
  [[noreturn]] void Fail(int error);
  [[noreturn]] void Fail(const std::string& reason);
  void Sync();
  void Discard();

  std::string FPath;
  std::string Target;     // fsReplace: the file replaced (the end of a chain of links)
  std::string Folder;     // the folder of the temporary and of the final name
  std::string Temporary;  // empty once the temporary has its final name or is removed
  int Fd = -1;            // written; closed (checked) once synced
  int Lock = -1;          // a second descriptor holding the lock until the naming
};

// The name pattern of the temporary files of TFileSave: ".~qv<pid>-<n>.tmp". True for such a
// name, with the process id it carries.
bool IsReplacingTemporaryName(const std::string& name, long& pid);
// Removes from the folder the temporary files of saves whose process is gone: only regular
// files of that name pattern owned by this user, and only those whose lock no process holds (a
// save holds an exclusive flock on its temporary file until it is named or removed, so that a
// save of another host or process namespace keeps its file). The entry named keep (the file
// being saved) is never removed, whatever its name. Answers how many were removed.
int RemoveStaleTemporaries(const std::string& folder, const std::string& keep = {});

// The installed file system (POSIX unless a test installed another).
IFileSystem& FileSystem();
// Installs a file system (not owned) and returns the previous one; nullptr restores POSIX.
IFileSystem* SetFileSystem(IFileSystem* files);
