// Reading only regular files, and replacing a file whole: the old file stays until the new one
// is complete, a failure says why, and the temporaries of dead processes go at the next save.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
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
// temporary is left, and the failure says why, in the same English words whether the creation
// is refused or a later step fails.
TEST(ReplacingFile, EveryFailureOfTheDiskKeepsTheOldFileAndSaysWhy) {
  struct Row {
    const char* Name;
    std::function<void(TPosixFileCalls&)> Fail;
    std::string Reason;
    // The creation is refused (CreateReplacing answers nullptr); otherwise a later step raises.
    bool AtCreation = false;
  };
  const std::vector<Row> rows = {
      {"no space left while writing",
       [](TPosixFileCalls& calls) {
         calls.Write = [](int, const void*, std::size_t) -> ssize_t {
           errno = ENOSPC;
           return -1;
         };
       },
       "No space left on device"},
      {"no space left at the creation",
       [](TPosixFileCalls& calls) {
         calls.Open = [](const char*, int, mode_t) {
           errno = ENOSPC;
           return -1;
         };
       },
       "No space left on device", true},
      {"an I/O error while writing",
       [](TPosixFileCalls& calls) {
         calls.Write = [](int, const void*, std::size_t) -> ssize_t {
           errno = EIO;
           return -1;
         };
       },
       "Input/output error"},
      {"an I/O error while flushing",
       [](TPosixFileCalls& calls) {
         calls.Fsync = [](int) {
           errno = EIO;
           return -1;
         };
       },
       "Input/output error"},
      {"no space left when closing",
       [](TPosixFileCalls& calls) {
         calls.Close = [](int fd) {
           ::close(fd);
           errno = ENOSPC;
           return -1;
         };
       },
       "No space left on device"},
      {"a read-only file system at the rename",
       [](TPosixFileCalls& calls) {
         calls.Rename = [](const char*, const char*) {
           errno = EROFS;
           return -1;
         };
       },
       "Read-only file system"},
      {"a read-only file system at the creation",
       [](TPosixFileCalls& calls) {
         calls.Open = [](const char*, int, mode_t) {
           errno = EROFS;
           return -1;
         };
       },
       "Read-only file system", true},
      {"no permission on the folder",
       [](TPosixFileCalls& calls) {
         calls.Open = [](const char*, int, mode_t) {
           errno = EACCES;
           return -1;
         };
       },
       "Permission denied", true},
      {"a target the user may not write",
       [](TPosixFileCalls& calls) {
         calls.Access = [](const char*, int) {
           errno = EACCES;
           return -1;
         };
       },
       "Permission denied", true},
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
    if (row.AtCreation) {
      EXPECT_FALSE(stream.SaveToFileReplacing(path, reason));
      EXPECT_EQ(reason, row.Reason);
    } else {
      EXPECT_RAISES_WHAT(stream.SaveToFileReplacing(path, reason),
                         "Unable to save \"" + path + "\": " + row.Reason);
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
    EXPECT_EQ(reason, "Permission denied");
    ::chmod(folder.Path().c_str(), 0755);
    EXPECT_EQ(ReadWholeFile(path), "old state");
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"state.qvs"});
  }
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

// --- One save of a whole file: modes, the sync, links, names and the words of a failure ------

namespace {

// What the file calls saw, for the calls replaced below (plain functions: no captures).
struct TSeenCalls {
  mode_t OpenMode = 0;
  mode_t ModeAtFirstWrite = 0;
  bool Written = false;
  bool Synced = false;
  bool SyncedBeforeNaming = false;
};
TSeenCalls seen;

void WatchCalls() {
  seen = {};
  TPosixFileCalls& calls = PosixFileCalls();
  calls.Open = [](const char* path, int flags, mode_t mode) {
    seen.OpenMode = mode;
    return ::open(path, flags, mode);
  };
  calls.Write = [](int fd, const void* source, std::size_t count) {
    struct stat st {};
    if (!seen.Written && ::fstat(fd, &st) == 0) seen.ModeAtFirstWrite = st.st_mode & 07777;
    seen.Written = true;
    return ::write(fd, source, count);
  };
  calls.Fsync = [](int fd) {
    seen.Synced = true;
    return ::fsync(fd);
  };
  calls.Rename = [](const char* from, const char* to) {
    seen.SyncedBeforeNaming = seen.Synced;
    return ::rename(from, to);
  };
  calls.Link = [](const char* from, const char* to) {
    seen.SyncedBeforeNaming = seen.Synced;
    return ::link(from, to);
  };
}

// The process's umask for one scope.
struct ScopedUmask {
  explicit ScopedUmask(mode_t mask) : Previous(::umask(mask)) {}
  ~ScopedUmask() { ::umask(Previous); }
  mode_t Previous;
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A new file gets what any new document gets (0666 less the umask); a replaced one keeps its
// mode. Either way the temporary is opened with that mode and has it before a byte is
// written, so nobody the final file shuts out can read the file while it is written.
TEST(FileSave, TheFileHasItsFinalModeFromTheOpenOnAndAReplacedFileKeepsIt) {
  struct Row {
    const char* Name;
    mode_t Umask;
    mode_t Existing;  // 0: no file there before
    TFileSave::TKind Kind;
    mode_t Final;
  };
  const Row rows[] = {
      {"a new file under umask 022", 022, 0, TFileSave::fsNew, 0644},
      {"a new file under umask 002", 002, 0, TFileSave::fsNew, 0664},
      {"a missing target under umask 077", 077, 0, TFileSave::fsReplace, 0600},
      {"a private file under umask 022", 022, 0600, TFileSave::fsReplace, 0600},
      {"a shared file under umask 077", 077, 0640, TFileSave::fsReplace, 0640},
      {"a file writable by all under umask 022", 022, 0666, TFileSave::fsReplace, 0666},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    RestoredCallsOnExit restore;
    ScratchFolder folder;
    const std::string path = folder.File("offer.xlsx");
    if (row.Existing != 0) {
      folder.WriteFile("offer.xlsx", "old");
      ASSERT_EQ(::chmod(path.c_str(), row.Existing), 0);
    }
    ScopedUmask mask(row.Umask);
    WatchCalls();
    TFileSave save(path, row.Kind);
    save.Write("new", 3);
    if (row.Kind == TFileSave::fsNew) {
      ASSERT_TRUE(save.TakeName(path));
    } else {
      save.Replace();
    }
    // The open asks for the mode itself (the umask applies to a new file only through it).
    EXPECT_EQ(seen.OpenMode, row.Existing != 0 ? row.Existing : 0666);
    EXPECT_EQ(seen.ModeAtFirstWrite, row.Final);
    EXPECT_EQ(ModeOf(path), row.Final);
    EXPECT_TRUE(seen.SyncedBeforeNaming) << "the file reaches the disk before its name";
    EXPECT_EQ(ReadWholeFile(path), "new");
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"offer.xlsx"});
  }
}

// A save to a symbolic link writes the file the link names, also one that does not exist yet,
// and the link stays as it was.
TEST(FileSave, ASaveThroughALinkWritesTheFileItNamesAndKeepsTheLink) {
  struct Row {
    const char* Name;
    std::vector<std::pair<std::string, std::string>> Links;  // link name, what it names
    bool TargetExists;
  };
  const Row rows[] = {
      {"a link to a file", {{"link.qvs", "@/real.qvs"}}, true},
      {"a relative link", {{"link.qvs", "real.qvs"}}, true},
      {"a dangling link", {{"link.qvs", "real.qvs"}}, false},
      {"a chain of two links", {{"link.qvs", "middle.qvs"}, {"middle.qvs", "real.qvs"}}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ScratchFolder folder;
    if (row.TargetExists) folder.WriteFile("real.qvs", "old state");
    for (const auto& [link, named] : row.Links) {
      const std::string to =
          named.front() == '@' ? folder.Path().string() + named.substr(1) : named;
      std::filesystem::create_symlink(to, folder.File(link));
    }
    TSpecDataStream stream;
    stream.WriteInteger(7);
    ASSERT_TRUE(stream.SaveToFileReplacing(folder.File("link.qvs")));
    for (const auto& [link, named] : row.Links) {
      EXPECT_TRUE(std::filesystem::is_symlink(folder.File(link))) << link;
    }
    EXPECT_EQ(ReadWholeFile(folder.File("real.qvs")), std::string("\x07\0\0\0", 4));
    EXPECT_EQ(Names(folder.Path()).size(), row.Links.size() + 1) << "no temporary is left";
  }
}

// The target of a save is never taken for a dead save's temporary, whatever its name: a save
// that fails leaves it as it was.
TEST(FileSave, TheCleanupNeverRemovesTheTargetThatLooksLikeATemporary) {
  RestoredCallsOnExit restore;
  ScratchFolder folder;
  const std::string name = ".~qv" + std::to_string(DeadProcessId()) + "-3.tmp";
  const std::string path = folder.WriteFile(name, "old state");
  PosixFileCalls().Write = [](int, const void*, std::size_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  };
  TSpecDataStream stream;
  stream.WriteInteger(5);
  EXPECT_THROW(stream.SaveToFileReplacing(path), ESaveError);
  EXPECT_EQ(ReadWholeFile(path), "old state");
  RestorePosixFileCalls();
  ASSERT_TRUE(stream.SaveToFileReplacing(path));
  EXPECT_EQ(ReadWholeFile(path), std::string("\x05\0\0\0", 4));
  EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{name});
}

// The temporary's name is short, so that any name the folder can hold can be saved.
TEST(FileSave, ANameOfTheLongestLengthIsSaved) {
  ScratchFolder folder;
  const std::string longest = folder.File(std::string(250, 'a') + ".xlsx");  // 255 bytes
  TFileSave replacing(longest, TFileSave::fsReplace);
  replacing.Write("one", 3);
  replacing.Replace();
  EXPECT_EQ(ReadWholeFile(longest), "one");
  const std::string other = folder.File(std::string(250, 'b') + ".xlsx");
  TFileSave fresh(other, TFileSave::fsNew);
  fresh.Write("two", 3);
  ASSERT_TRUE(fresh.TakeName(other));
  EXPECT_EQ(ReadWholeFile(other), "two");
}

// A new file takes only a name that nothing has: a file or a link there, even a dangling one,
// is passed over and stays as it was.
TEST(FileSave, ANewFileNeverTakesANameThatIsThere) {
  for (bool withoutHardLinks : {false, true}) {
    SCOPED_TRACE(withoutHardLinks ? "a file system without hard links" : "hard links");
    RestoredCallsOnExit restore;
    ScratchFolder folder;
    folder.WriteFile("taken.xlsx", "the user's own");
    std::filesystem::create_symlink(folder.File("elsewhere.xlsx"), folder.File("link.xlsx"));
    if (withoutHardLinks) {
      PosixFileCalls().Link = [](const char*, const char*) {
        errno = EPERM;
        return -1;
      };
    }
    TFileSave save(folder.File("taken.xlsx"), TFileSave::fsNew);
    save.Write("offer", 5);
    EXPECT_FALSE(save.TakeName(folder.File("taken.xlsx")));
    EXPECT_FALSE(save.TakeName(folder.File("link.xlsx")));
    EXPECT_TRUE(save.TakeName(folder.File("free.xlsx")));
    EXPECT_EQ(ReadWholeFile(folder.File("taken.xlsx")), "the user's own");
    EXPECT_FALSE(std::filesystem::exists(folder.File("elsewhere.xlsx")));
    EXPECT_EQ(ReadWholeFile(folder.File("free.xlsx")), "offer");
    EXPECT_EQ(Names(folder.Path()),
              (std::vector<std::string>{"free.xlsx", "link.xlsx", "taken.xlsx"}));
  }
}

// Under a user language of its own the C library translates its texts; the reason of a failed
// save stays in the English of the rest of the message.
TEST(FileErrorReason, IsEnglishWhateverTheUsersLanguage) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale";
  EXPECT_NE(std::string(std::strerror(ENOSPC)), "No space left on device")
      << "the C library translates its texts (libc-l10n)";
  EXPECT_EQ(FileErrorReason(ENOSPC), "No space left on device");
  EXPECT_EQ(FileErrorReason(EACCES), "Permission denied");
  EXPECT_EQ(SaveFailedMessage("/home/user/offer.qvs", FileErrorReason(EROFS)),
            "Unable to save \"/home/user/offer.qvs\": Read-only file system");
  std::setlocale(LC_ALL, previous.c_str());
}

}  // namespace
