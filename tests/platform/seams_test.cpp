#include <gtest/gtest.h>

#include <chrono>

#include "model/saver.h"
#include "platform/errors.h"
#include "platform/sleep.h"
#include "tests/support/platform_fakes.h"

namespace {

TEST(SleepSeam, TheRealSleepBlocksForTheWholeTime) {
  const auto before = std::chrono::steady_clock::now();
  Sleep(30);
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(30));
}

TEST(SleepSeam, ARecorderReplacesTheSleepWhileItLives) {
  ISleeper* real = &Sleeper();
  {
    RecordingSleeper recorder;
    const auto before = std::chrono::steady_clock::now();
    Sleep(4000);
    Sleep(0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    EXPECT_EQ(recorder.Calls, (std::vector<std::uint32_t>{4000, 0}));
  }
  EXPECT_EQ(&Sleeper(), real);
}

// The scripted file system behaves as the POSIX one does towards the stream.
TEST(FakeFileSystem, ScriptedFailuresReachTheStreamAsRealOnesDo) {
  FakeFileSystem files;
  files.Files["/scheme.qzs"] = std::string(10000, 'x');
  TSpecDataStream stream;

  EXPECT_FALSE(stream.LoadFromFile("/missing.qzs"));
  files.RefuseOpen.insert("/scheme.qzs");
  EXPECT_FALSE(stream.LoadFromFile("/scheme.qzs"));
  EXPECT_EQ(stream.Size(), 0u);

  files.RefuseOpen.clear();
  files.FailReadAfter["/scheme.qzs"] = 9000;
  EXPECT_THROW(stream.LoadFromFile("/scheme.qzs"), EInOutError);
  files.FailReadAfter.clear();
  ASSERT_TRUE(stream.LoadFromFile("/scheme.qzs"));
  EXPECT_EQ(stream.Size(), 10000u);

  EXPECT_TRUE(stream.SaveToFile("/copy.qzs"));
  EXPECT_EQ(files.Files["/copy.qzs"], files.Files["/scheme.qzs"]);
  files.RefuseCreate.insert("/refused.qzs");
  EXPECT_FALSE(stream.SaveToFile("/refused.qzs"));
  files.FailClose.insert("/full.qzs");
  EXPECT_THROW(stream.SaveToFile("/full.qzs"), EInOutError);
  EXPECT_EQ(files.Files["/full.qzs"], "");
}

}  // namespace
