// Replacing a file whole: the old file stays until the new one is complete.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/saver.h"
#include "platform/errors.h"
#include "platform/files.h"
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
