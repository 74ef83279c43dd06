// Reading only regular files, and replacing a file whole: the old file stays until the new one
// is complete, a failure says why, and the temporaries of dead processes go at the next save.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "model/saver.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "tests/support/model_support.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/test_paths.h"

namespace {

// The names in the folder, so that a left-over temporary file shows.
std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void Write(IWriteFile& file, const std::string& bytes) {
  file.WriteBlock(bytes.data(), bytes.size());
}

TEST(ReplacingFile, TakesThePlaceOfTheOldFileOnlyWhenClosed) {
  ScratchFolder folder;
  const std::string path = folder.WriteFile("state.qvs", "old state");
  ::chmod(path.c_str(), 0640);

  std::unique_ptr<IWriteFile> file = FileSystem().CreateReplacing(path);
  ASSERT_NE(file, nullptr);
  Write(*file, "new");
  EXPECT_EQ(ReadWholeFile(path), "old state");
  file->Close();
  EXPECT_EQ(ReadWholeFile(path), "new");
  EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"state.qvs"});

  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(ReplacingFile, AWriteDroppedUnclosedKeepsTheOldFileAndLeavesNothingBehind) {
  ScratchFolder folder;
  const std::string path = folder.WriteFile("state.qvs", "old state");
  {
    std::unique_ptr<IWriteFile> file = FileSystem().CreateReplacing(path);
    ASSERT_NE(file, nullptr);
    Write(*file, "half");
  }
  EXPECT_EQ(ReadWholeFile(path), "old state");
  EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"state.qvs"});
}

TEST(ReplacingFile, CreatesAMissingFileAndRefusesAMissingFolder) {
  ScratchFolder folder;
  TSpecDataStream stream;
  stream.WriteInteger(5);
  ASSERT_TRUE(stream.SaveToFileReplacing(folder.File("fresh.qvs")));
  EXPECT_EQ(ReadWholeFile(folder.File("fresh.qvs")), std::string("\x05\0\0\0", 4));
  EXPECT_FALSE(stream.SaveToFileReplacing(folder.File("no/such/folder/state.qvs")));
  EXPECT_FALSE(stream.SaveToFileReplacing(folder.Path().string()));  // a folder is no byte file
  EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"fresh.qvs"});
}

TEST(ReplacingFile, ALinkStaysALinkAndItsFileIsReplaced) {
  ScratchFolder folder;
  const std::string real = folder.WriteFile("real.qvs", "old state");
  const std::string link = folder.File("link.qvs");
  std::filesystem::create_symlink(real, link);
  TSpecDataStream stream;
  stream.WriteInteger(7);
  ASSERT_TRUE(stream.SaveToFileReplacing(link));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadWholeFile(real), std::string("\x07\0\0\0", 4));
}

TEST(ReplacingFile, TheScriptedFileSystemKeepsTheOldBytesWhenTheCloseFails) {
  FakeFileSystem files;
  files.Files["/state.qvs"] = "old state";
  files.FailClose.insert("/state.qvs");
  TSpecDataStream stream;
  stream.WriteInteger(1);
  EXPECT_THROW(stream.SaveToFileReplacing("/state.qvs"), EInOutError);
  EXPECT_EQ(files.Files["/state.qvs"], "old state");

  files.FailClose.clear();
  files.RefuseCreate.insert("/refused.qvs");
  EXPECT_FALSE(stream.SaveToFileReplacing("/refused.qvs"));
  EXPECT_EQ(files.Files.count("/refused.qvs"), 0u);
  ASSERT_TRUE(stream.SaveToFileReplacing("/state.qvs"));
  EXPECT_EQ(files.Files["/state.qvs"], std::string("\x01\0\0\0", 4));
}

}  // namespace

// --- Files of other kinds, failing disks and left-over temporaries ---------------------------

namespace {

// The system calls of the POSIX file system as they were, whatever a test changed.
struct RestoredCallsOnExit {
  ~RestoredCallsOnExit() { RestorePosixFileCalls(); }
};

std::string Reason(int error) {
  return std::strerror(error);
}

TEST(ReadingFiles, OnlyARegularFileIsOpenedAndNothingBlocks) {
  ScratchFolder folder;
  const std::string regular = folder.WriteFile("state.qvs", "bytes");
  const std::string pipe = folder.File("pipe.qvs");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  struct Row {
    const char* Name;
    std::string Path;
    bool Opens;
  };
  const std::vector<Row> rows = {
      {"a regular file", regular, true},
      {"a named pipe without a writer", pipe, false},
      {"a folder", folder.Path().string(), false},
      {"a character device", "/dev/null", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    auto opening = std::async(std::launch::async, [&] { return FileSystem().OpenRead(row.Path); });
    if (opening.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      // Let the blocked open go before failing, so that the test ends.
      const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
      opening.wait();
      if (writer >= 0) ::close(writer);
      ADD_FAILURE() << "opening blocked";
      continue;
    }
    std::unique_ptr<IReadFile> file = opening.get();
    EXPECT_EQ(file != nullptr, row.Opens);
    if (file) {
      // The descriptor reads blocking again: the whole file arrives.
      char bytes[5];
      file->ReadBlock(bytes, sizeof bytes);
      EXPECT_EQ(std::string(bytes, sizeof bytes), "bytes");
    }
  }
}

// Each failure a disk can give on the way of a replacing save: the old file stays whole, no
// temporary is left, and the failure says why.
TEST(ReplacingFile, EveryFailureOfTheDiskKeepsTheOldFileAndSaysWhy) {
  struct Row {
    const char* Name;
    std::function<void(TPosixFileCalls&)> Fail;
    // The reason a refused creation gives, or the message of the error raised later.
    std::string Reason{};
    std::string Raises{};
  };
  const std::vector<Row> rows = {
      {"no space left while writing",
       [](TPosixFileCalls& calls) {
         calls.Write = [](int, const void*, std::size_t) -> ssize_t {
           errno = ENOSPC;
           return -1;
         };
       },
       "", "I/O error: " + Reason(ENOSPC)},
      {"an I/O error while writing",
       [](TPosixFileCalls& calls) {
         calls.Write = [](int, const void*, std::size_t) -> ssize_t {
           errno = EIO;
           return -1;
         };
       },
       "", "I/O error: " + Reason(EIO)},
      {"an I/O error while flushing",
       [](TPosixFileCalls& calls) {
         calls.Fsync = [](int) {
           errno = EIO;
           return -1;
         };
       },
       "", "I/O error: " + Reason(EIO)},
      {"no space left when closing",
       [](TPosixFileCalls& calls) {
         calls.Close = [](int fd) {
           ::close(fd);
           errno = ENOSPC;
           return -1;
         };
       },
       "", "I/O error: " + Reason(ENOSPC)},
      {"a read-only file system at the rename",
       [](TPosixFileCalls& calls) {
         calls.Rename = [](const char*, const char*) {
           errno = EROFS;
           return -1;
         };
       },
       "", "I/O error: " + Reason(EROFS)},
      {"a read-only file system at the creation",
       [](TPosixFileCalls& calls) {
         calls.Open = [](const char*, int, mode_t) {
           errno = EROFS;
           return -1;
         };
       },
       Reason(EROFS)},
      {"no permission on the folder",
       [](TPosixFileCalls& calls) {
         calls.Open = [](const char*, int, mode_t) {
           errno = EACCES;
           return -1;
         };
       },
       Reason(EACCES)},
      {"a target the user may not write",
       [](TPosixFileCalls& calls) {
         calls.Access = [](const char*, int) {
           errno = EACCES;
           return -1;
         };
       },
       Reason(EACCES)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    RestoredCallsOnExit restore;
    ScratchFolder folder;
    const std::string path = folder.WriteFile("state.qvs", "old state");
    row.Fail(PosixFileCalls());
    TSpecDataStream stream;
    stream.WriteInteger(5);
    std::string reason;
    if (row.Raises.empty()) {
      EXPECT_FALSE(stream.SaveToFileReplacing(path, reason));
      EXPECT_EQ(reason, row.Reason);
    } else {
      EXPECT_RAISES_WHAT(stream.SaveToFileReplacing(path, reason), row.Raises);
    }
    RestorePosixFileCalls();
    EXPECT_EQ(ReadWholeFile(path), "old state");
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"state.qvs"});
  }
}

// The same with real permissions, which do not bind the superuser.
TEST(ReplacingFile, AReadOnlyTargetOrFolderIsKeptAndTheReasonGiven) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  struct Row {
    const char* Name;
    mode_t FileMode;
    mode_t FolderMode;
  };
  const std::vector<Row> rows = {
      {"a target of mode 0444", 0444, 0755},
      {"a folder of mode 0555", 0644, 0555},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ScratchFolder folder;
    const std::string path = folder.WriteFile("state.qvs", "old state");
    ASSERT_EQ(::chmod(path.c_str(), row.FileMode), 0);
    ASSERT_EQ(::chmod(folder.Path().c_str(), row.FolderMode), 0);
    TSpecDataStream stream;
    stream.WriteInteger(5);
    std::string reason;
    EXPECT_FALSE(stream.SaveToFileReplacing(path, reason));
    EXPECT_EQ(reason, Reason(EACCES));
    ::chmod(folder.Path().c_str(), 0755);
    EXPECT_EQ(ReadWholeFile(path), "old state");
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"state.qvs"});
  }
}

// The id of a process that has ended.
pid_t DeadProcessId() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

// True when another open file holds the exclusive lock of the file at path.
bool LockedElsewhere(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return locked;
}

bool lockedAtRename = false;

// The lock keeps the cleanup of other hosts and process namespaces away from the temporary
// file for the whole save: while it is written and after it is closed, up to the rename.
TEST(ReplacingFile, ASaveHoldsTheLockOfItsTemporaryUntilTheRename) {
  RestoredCallsOnExit restore;
  ScratchFolder folder;
  const std::string path = folder.WriteFile("state.qvs", "old state");
  std::unique_ptr<IWriteFile> file = FileSystem().CreateReplacing(path);
  ASSERT_NE(file, nullptr);
  std::vector<std::string> names = Names(folder.Path());
  ASSERT_EQ(names.size(), 2u);
  const std::string temporary = folder.File(names[0] == "state.qvs" ? names[1] : names[0]);
  Write(*file, "new");
  EXPECT_TRUE(LockedElsewhere(temporary));

  lockedAtRename = false;
  PosixFileCalls().Rename = [](const char* from, const char* to) {
    lockedAtRename = LockedElsewhere(from);
    return ::rename(from, to);
  };
  file->Close();
  EXPECT_TRUE(lockedAtRename);
  EXPECT_FALSE(LockedElsewhere(path));
  EXPECT_EQ(ReadWholeFile(path), "new");
}

TEST(ReplacingFile, TheNextSaveRemovesTheTemporariesOfDeadProcessesOnly) {
  ScratchFolder folder;
  const std::string path = folder.WriteFile("state.qvs", "old state");
  const std::string dead = std::to_string(DeadProcessId());
  const std::string alive = std::to_string(::getppid());
  struct Row {
    std::string Name;
    // LockedFile: its lock is held, as by a save of another host or process namespace.
    enum { File, Folder, Link, ForeignFile, LockedFile } Kind = File;
    bool Removed = false;
  };
  std::vector<Row> rows = {
      {".~qv" + dead + "-0.tmp", Row::File, true},
      {".~qv" + dead + "-17.tmp", Row::File, true},
      {".~qv" + alive + "-0.tmp"},
      {".~qv" + std::to_string(::getpid()) + "-999999.tmp"},
      {".~qv" + dead + "-1.tmp.bak"},
      {".~qv" + dead + ".tmp"},
      {".~qvx" + dead + "-1.tmp"},
      {"~qv" + dead + "-1.tmp"},
      {".~qv" + dead + "-2.tmp", Row::Folder},
      {".~qv" + dead + "-3.tmp", Row::Link},
      {".~qv" + dead + "-5.tmp", Row::LockedFile},
  };
  // A file of another user can only be made by the superuser.
  if (::geteuid() == 0) rows.push_back({".~qv" + dead + "-4.tmp", Row::ForeignFile});
  std::vector<int> locks;
  for (const Row& row : rows) {
    const std::string entry = folder.File(row.Name);
    switch (row.Kind) {
      case Row::Folder:
        std::filesystem::create_directory(entry);
        break;
      case Row::Link:
        std::filesystem::create_symlink(path, entry);
        break;
      default:
        folder.WriteFile(row.Name, "left behind");
        if (row.Kind == Row::ForeignFile) {
          ASSERT_EQ(::chown(entry.c_str(), 12345, 12345), 0);
        }
        if (row.Kind == Row::LockedFile) {
          locks.push_back(::open(entry.c_str(), O_RDONLY | O_CLOEXEC));
          ASSERT_EQ(::flock(locks.back(), LOCK_EX | LOCK_NB), 0);
        }
    }
  }
  TSpecDataStream stream;
  stream.WriteInteger(5);
  const bool saved = stream.SaveToFileReplacing(path);
  for (int lock : locks) ::close(lock);
  ASSERT_TRUE(saved);
  std::vector<std::string> expected = {"state.qvs"};
  for (const Row& row : rows) {
    if (!row.Removed) expected.push_back(row.Name);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names(folder.Path()), expected);
  EXPECT_EQ(ReadWholeFile(path), std::string("\x05\0\0\0", 4));
}

}  // namespace
