#include <gtest/gtest.h>

#include <QString>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/data.h"
#include "platform/settings.h"
#include "platform/settings_qt.h"
#include "tests/app/app_support.h"
#include "tests/support/test_paths.h"

namespace {

const std::string kDefaultFile =
    "[Grid]\nDisplay=0\nX=1\nY=1\n\n[Languages]\nName1=English\nName2=Russian\nName3=Ukrainian\n";

// The program's store on a settings file in a scratch config folder, installed while it lives.
class ScratchSettings {
 public:
  ScratchSettings() {
    TestApplication();
    Previous = SetSettingsStoreFactory(
        [this] { return std::make_unique<TQtSettingsStore>(QString::fromStdString(File())); });
  }
  ~ScratchSettings() { SetSettingsStoreFactory(Previous); }

  std::string File() const { return Folder.File("Talpix/Quorvane.conf"); }
  void Write(const std::string& text) const {
    std::filesystem::create_directories(Folder.Path() / "Talpix");
    Folder.WriteFile("Talpix/Quorvane.conf", text);
  }
  std::string Read() const { return ReadWholeFile(File()); }

  ScratchFolder Folder;

 private:
  TSettingsStoreFactory Previous;
};

struct Fields {
  std::string Name1 = "English", Name2 = "Russian", Name3 = "Ukrainian";
  std::int32_t X = 1, Y = 1;
  bool Display = false;
};

void ExpectFields(const TSpecSettings& settings, const Fields& expected) {
  EXPECT_EQ(settings.Name1, expected.Name1);
  EXPECT_EQ(settings.Name2, expected.Name2);
  EXPECT_EQ(settings.Name3, expected.Name3);
  EXPECT_EQ(settings.GridX, expected.X);
  EXPECT_EQ(settings.GridY, expected.Y);
  EXPECT_EQ(settings.GridDisplay, expected.Display);
}

TEST(Settings, WithoutAFileTheDefaultsAreReadAndTheFirstSaveWritesThem) {
  ScratchSettings store;
  TSpecSettings settings;
  settings.Load();
  ExpectFields(settings, {});
  EXPECT_FALSE(std::filesystem::exists(store.File()));

  settings.Save();
  EXPECT_EQ(store.Read(), kDefaultFile);
}

TEST(Settings, ValuesThatCannotBeReadKeepTheirDefaults) {
  struct Row {
    std::string name;
    std::string file;
    Fields expected;
  };
  const std::vector<Row> rows = {
      {"names and grid read back",
       "[Languages]\nName1=Deutsch\nName2=\"a, b\"\nName3=\xD0\x96\n[Grid]\nX=-2147483648\nY=+7\n"
       "Display=5\n",
       {.Name1 = "Deutsch",
        .Name2 = "a, b",
        .Name3 = "\xC6",
        .X = -2147483647 - 1,
        .Y = 7,
        .Display = true}},
      {"an empty name keeps the default", "[Languages]\nName1=\nName3=x\n", {.Name3 = "x"}},
      {"an unquoted comma makes a list, not a string", "[Languages]\nName2=a, b\n", {}},
      {"texts where numbers belong", "[Grid]\nX=abc\nY=1.5\nDisplay=\n", {}},
      {"numbers that are not wholly 32-bit decimals",
       "[Grid]\nX=2147483648\nY=7x\nDisplay=0x1\n",
       {}},
      {"a missing group leaves its fields alone", "[Grid]\nX=3\n", {.X = 3}},
      {"an empty file", "", {}},
      {"values outside the groups", "Name1=Nope\nX=9\n", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchSettings store;
    store.Write(row.file);
    TSpecSettings settings;
    settings.Load();
    ExpectFields(settings, row.expected);
    // After every subkey the accessor went back to the main key, read-only.
    EXPECT_EQ(settings.SavedKeyPath, kSettingsKey);
    EXPECT_TRUE(settings.SavedKeyReadOnly);
  }
}

TEST(Settings, RoundTripThroughTheFile) {
  ScratchSettings store;
  store.Write("[Grid]\nDisplay=5\n");
  TSpecSettings first;
  first.Load();
  EXPECT_TRUE(first.GridDisplay);
  first.Name1 = "\xD0\xF3\xF1\xF1\xEA\xE8\xE9";  // "Русский"
  first.Name3 = "a=b; c";
  first.GridX = -5;
  first.Save();
  EXPECT_FALSE(first.SavedKeyReadOnly);
  // A Display read as true is written back as 1.
  EXPECT_EQ(store.Read(),
            "[Grid]\nDisplay=1\nX=-5\nY=1\n\n[Languages]\nName1=\xD0\xA0\xD1\x83\xD1\x81\xD1\x81"
            "\xD0\xBA\xD0\xB8\xD0\xB9\nName2=Russian\nName3=\"a=b; c\"\n");

  TSpecSettings second;
  second.Load();
  ExpectFields(second, {.Name1 = first.Name1, .Name3 = "a=b; c", .X = -5, .Display = true});
}

TEST(Settings, FailuresOfTheStoreAreSilent) {
  {
    // A folder stands where the file belongs: nothing can be read or written.
    ScratchSettings store;
    std::filesystem::create_directories(store.File());
    TSpecSettings settings;
    settings.GridX = 9;
    settings.Load();
    ExpectFields(settings, {});
    settings.Save();
    EXPECT_TRUE(std::filesystem::is_directory(store.File()));
  }
  // Without a store nothing is read and nothing is written.
  TSpecSettings settings;
  settings.GridY = 4;
  settings.Load();
  settings.Save();
  EXPECT_EQ(settings.GridY, 4);
}

TEST(Settings, TheStoreOpensOnlyTheKeyOfItsFileAndItsSubkeys) {
  ScratchSettings store;
  store.Write("[Grid]\nX=3\n");
  TQtSettingsStore accessor(QString::fromStdString(store.File()));
  EXPECT_FALSE(accessor.OpenKeyReadOnly("\\Software\\Talpix"));
  EXPECT_FALSE(accessor.OpenKey("\\Software\\Other", true));
  EXPECT_TRUE(accessor.OpenKeyReadOnly("\\software\\talpix\\quorvane"));
  EXPECT_FALSE(accessor.OpenKeyReadOnly("Languages"));
  EXPECT_TRUE(accessor.OpenKeyReadOnly("Grid"));
  EXPECT_EQ(accessor.CurrentPath(), "software\\talpix\\quorvane\\Grid");
  std::int32_t x = 0;
  EXPECT_TRUE(accessor.ReadInteger("X", x));
  EXPECT_EQ(x, 3);
  std::string text;
  EXPECT_TRUE(accessor.ReadString("X", text));
  EXPECT_EQ(text, "3");
  EXPECT_FALSE(accessor.ReadString("Y", text));
  // Opened for reading only.
  EXPECT_FALSE(accessor.WriteInteger("X", 4));
  accessor.CloseKey();
  EXPECT_EQ(accessor.CurrentPath(), "");
  EXPECT_FALSE(accessor.ReadInteger("X", x));
}

TEST(Settings, TheFileLiesInTheUsersConfigFolder) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> previous =
      saved ? std::optional<std::string>(saved) : std::nullopt;
  setenv("XDG_CONFIG_HOME", "/tmp/config-here", 1);
  EXPECT_EQ(SettingsFilePath().toStdString(), "/tmp/config-here/Talpix/Quorvane.conf");
  // A relative folder is not a config folder: the default one serves.
  setenv("XDG_CONFIG_HOME", "relative", 1);
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  EXPECT_EQ(SettingsFilePath().toStdString(), home + "/.config/Talpix/Quorvane.conf");
  if (previous) {
    setenv("XDG_CONFIG_HOME", previous->c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
