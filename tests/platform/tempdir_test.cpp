#include "platform/tempdir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/support/test_paths.h"

namespace fs = std::filesystem;

namespace {

unsigned Mode(const fs::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

// Sets an environment variable for the life of the object and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : Name(name) {
    if (const char* old = std::getenv(name)) Old = old;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (Old)
      ::setenv(Name, Old->c_str(), 1);
    else
      ::unsetenv(Name);
  }

 private:
  const char* Name;
  std::optional<std::string> Old;
};

class ExtractionFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { SetExtractionRoot(Scratch.Path().string()); }
  void TearDown() override { SetExtractionRoot(""); }

  fs::path Expected() const { return Scratch.Path() / "quorvane"; }

  ScratchFolder Scratch;
};

TEST_F(ExtractionFolderTest, IsCreatedPrivateAndStaysTheSame) {
  // A umask that would take the owner's write bit away must not change the mode.
  mode_t oldMask = ::umask(0277);
  std::string folder = ExtractionFolder();
  ::umask(oldMask);
  EXPECT_EQ(folder, Expected().string());
  EXPECT_EQ(Mode(folder), 0700u);
  EXPECT_EQ(ExtractionFolder(), folder);
  fs::remove(folder);
  EXPECT_EQ(ExtractionFolder(), folder) << "a removed folder is made again under its path";
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(ExtractionFolderTest, KeepsAnExistingPrivateFolder) {
  fs::create_directory(Expected());
  ::chmod(Expected().c_str(), 0755);
  EXPECT_EQ(ExtractionFolder(), Expected().string());
  EXPECT_EQ(Mode(Expected()), 0755u) << "a folder that only its owner can write is not changed";
}

TEST_F(ExtractionFolderTest, RefusesAPathThatOthersControl) {
  struct Case {
    const char* name;
    void (*plant)(const fs::path& path, const fs::path& elsewhere);
    bool needsRoot = false;
  };
  const Case cases[] = {
      {"world-writable folder",
       [](const fs::path& p, const fs::path&) {
         fs::create_directory(p);
         ::chmod(p.c_str(), 0777);
       }},
      {"group-writable folder",
       [](const fs::path& p, const fs::path&) {
         fs::create_directory(p);
         ::chmod(p.c_str(), 0770);
       }},
      {"link to another folder",
       [](const fs::path& p, const fs::path& elsewhere) {
         fs::create_directory_symlink(elsewhere, p);
       }},
      {"plain file", [](const fs::path& p, const fs::path&) { std::ofstream(p) << "x"; }},
      {"folder of another user",
       [](const fs::path& p, const fs::path&) {
         fs::create_directory(p);
         ::chmod(p.c_str(), 0700);
         ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needsRoot && ::geteuid() != 0) continue;
    ScratchFolder root;
    ScratchFolder elsewhere;
    SetExtractionRoot(root.Path().string());
    fs::path planted = root.Path() / "quorvane";
    c.plant(planted, elsewhere.Path());

    std::string folder = ExtractionFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder, planted.string());
    EXPECT_EQ(fs::path(folder).parent_path(), root.Path());
    EXPECT_EQ(fs::path(folder).filename().string().rfind("quorvane-", 0), 0u) << folder;
    EXPECT_EQ(Mode(folder), 0700u);
    EXPECT_EQ(ExtractionFolder(), folder) << "the replacement serves for the rest of the run";
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
  }
}

TEST_F(ExtractionFolderTest, IsEmptyWhenNoPrivateFolderCanBeMade) {
  SetExtractionRoot((Scratch.Path() / "missing").string());
  EXPECT_EQ(ExtractionFolder(), "");
  EXPECT_EQ(ExtractionFilePath("a", "txt"), "");
}

TEST(ExtractionFolderEnvironmentTest, PrefersTheRuntimeFolderThenTheSystemTemp) {
  ScratchFolder runtime;
  ScratchFolder temp;
  ScopedEnv tmpdir("TMPDIR", temp.Path().c_str());
  const std::string uidLeaf = "quorvane-" + std::to_string(::geteuid());
  {
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.Path().c_str());
    SetExtractionRoot("");
    EXPECT_EQ(ExtractionFolder(), (runtime.Path() / "quorvane").string());
  }
  for (const char* unusable :
       {static_cast<const char*>(nullptr), "", "relative/dir", "/nonexistent-quorvane-runtime"}) {
    SCOPED_TRACE(unusable ? unusable : "(unset)");
    ScopedEnv xdg("XDG_RUNTIME_DIR", unusable);
    SetExtractionRoot("");
    EXPECT_EQ(ExtractionFolder(), (temp.Path() / uidLeaf).string());
  }
  SetExtractionRoot("");
}

TEST(ExtractionFileNameTest, BuildsOnePlainEntryInUtf8) {
  struct Case {
    const char* name;
    std::string resource;
    std::string extension;
    std::string expected;
  };
  const Case cases[] = {
      {"name and extension", "logo", "gif", "logo.gif"},
      {"empty extension keeps the dot", "readme", "", "readme."},
      {"empty name", "", "txt", ".txt"},
      {"slashes in the extension", "", "/../../x", "._.._.._x"},
      {"slashes in the name", "a/b", "c/d", "a_b.c_d"},
      {"zero bytes", std::string("a\0b", 3), std::string("\0", 1), "a_b._"},
      {"Cyrillic", "\xD1\xF5\xE5\xEC\xE0", "htm", "\xD0\xA1\xD1\x85\xD0\xB5\xD0\xBC\xD0\xB0.htm"},
      {"backslash and colon stay", "a\\b", "c:d", "a\\b.c:d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ExtractionFileName(c.resource, c.extension), c.expected);
  }
}

class PrivateFileTest : public ::testing::Test {
 protected:
  ScratchFolder Scratch;
};

TEST_F(PrivateFileTest, WritesAllBytesAndTruncatesAnOlderFile) {
  std::string path = Scratch.File("big.bin");
  std::string bytes(10000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  ASSERT_TRUE(
      WritePrivateFile(path, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
  EXPECT_EQ(ReadWholeFile(path), bytes);
  EXPECT_EQ(Mode(path), 0600u);

  ASSERT_TRUE(WritePrivateFile(path, reinterpret_cast<const unsigned char*>("abc"), 3));
  EXPECT_EQ(ReadWholeFile(path), "abc");
  ASSERT_TRUE(WritePrivateFile(path, nullptr, 0));
  EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(PrivateFileTest, NeverFollowsALinkNorWritesIntoAFifo) {
  std::string target = Scratch.WriteFile("target", "keep");
  std::string link = Scratch.File("link");
  fs::create_symlink(target, link);
  EXPECT_FALSE(WritePrivateFile(link, reinterpret_cast<const unsigned char*>("x"), 1));
  EXPECT_EQ(ReadWholeFile(target), "keep");

  std::string fifo = Scratch.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(WritePrivateFile(fifo, reinterpret_cast<const unsigned char*>("x"), 1));

  EXPECT_FALSE(WritePrivateFile(Scratch.Path().string(), nullptr, 0)) << "a folder";
}

TEST_F(PrivateFileTest, LeavesAFileWithASecondHardLinkWhole) {
  // A hard link planted under the resource's name shares the content of a file elsewhere:
  // neither truncated nor overwritten.
  std::string target = Scratch.WriteFile("target", "keep");
  std::string planted = Scratch.File("planted.htm");
  fs::create_hard_link(target, planted);
  EXPECT_FALSE(WritePrivateFile(planted, reinterpret_cast<const unsigned char*>("x"), 1));
  EXPECT_EQ(ReadWholeFile(target), "keep");
}

}  // namespace
