#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/data.h"
#include "app/main.h"
#include "graph/visual.h"
#include "model/core.h"
#include "platform/settings.h"
#include "tests/app/app_support.h"
#include "tests/support/expr_support.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/scripted_forms.h"

namespace {

// A store that keeps nothing and notes, at every write, whether the data module's engine
// objects still existed.
class ProbeStore : public ISettingsStore {
 public:
  explicit ProbeStore(std::vector<std::string>& log) : Log(log) {}
  bool OpenKey(const std::string& path, bool) override {
    Log.push_back("open " + path);
    return true;
  }
  bool OpenKeyReadOnly(const std::string& path) override {
    Log.push_back("open read-only " + path);
    return false;
  }
  std::string CurrentPath() const override { return kSettingsKey; }
  void CloseKey() override {}
  bool ReadString(const std::string&, std::string&) override { return false; }
  bool ReadInteger(const std::string&, std::int32_t&) override { return false; }
  bool WriteString(const std::string& name, const std::string& value) override {
    Note(name + "=" + value);
    return true;
  }
  bool WriteInteger(const std::string& name, std::int32_t value) override {
    Note(name + "=" + std::to_string(value));
    return true;
  }

 private:
  void Note(const std::string& what) {
    const bool alive = DM && DM->RunTime && DM->LinkMap && DM->Template;
    Log.push_back(what + (alive ? "" : " (engine already freed)"));
  }
  std::vector<std::string>& Log;
};

class DataModuleTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    Previous = SetSettingsStoreFactory([this] { return std::make_unique<ProbeStore>(Log); });
  }
  void TearDown() override {
    SetSettingsStoreFactory(Previous);
    GuiTest::TearDown();
  }
  std::vector<std::string> Log;
  TSettingsStoreFactory Previous;
};

TEST_F(DataModuleTest, CreatesItsObjectsAndWritesTheSettingsBeforeFreeingThem) {
  DM = new TDM();
  EXPECT_EQ(Log, std::vector<std::string>{"open read-only \\Software\\Talpix\\Quorvane"});
  ASSERT_TRUE(DM->Settings && DM->Template && DM->LinkMap && DM->RunTime);
  EXPECT_EQ(DM->LinkMap->Template, DM->Template.get());
  EXPECT_EQ(DM->RunTime->Template, DM->Template.get());
  EXPECT_EQ(DM->RunTime->LinkMap, DM->LinkMap.get());
  EXPECT_TRUE(DM->RunTime->Finished);
  EXPECT_TRUE(DM->ResourceTimer->isActive());
  EXPECT_EQ(DM->ResourceTimer->interval(), 200);
  EXPECT_TRUE(DM->ResourceQueue.empty());
  Log.clear();

  delete DM;
  DM = nullptr;

  EXPECT_EQ(Log, (std::vector<std::string>{
                     "open \\Software\\Talpix\\Quorvane", "open Languages", "Name1=English",
                     "Name2=Russian", "Name3=Ukrainian", "open \\Software\\Talpix\\Quorvane",
                     "open Grid", "X=1", "Y=1", "Display=0", "open \\Software\\Talpix\\Quorvane"}));
}

TEST_F(DataModuleTest, ResourceRequestsCarryTwoFiveCharacterCoordinatesAndTheName) {
  struct Row {
    std::string request;
    int x, y;
    std::string name;
  };
  const std::vector<Row> rows = {
      {"  120   45pic.jpg", 120, 45, "pic.jpg"},
      {"00007-0003A", 7, -3, "A"},
      {"abcde   12x", 0, 12, "x"},
      {"12", 12, 0, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.request);
    int x = -1, y = -1;
    std::string name = "?";
    TDM::ParseResourceRequest(row.request, x, y, name);
    EXPECT_EQ(x, row.x);
    EXPECT_EQ(y, row.y);
    EXPECT_EQ(name, row.name);
  }
}

// The start-up with both run forms handed to it: the engine runs on the embedded scheme.
class StartUpRunTest : public DataModuleTest {
 protected:
  void SetUp() override {
    DataModuleTest::SetUp();
    ExecScreenForm = &Screen;
    ExecReportForm = &Report;
  }
  void TearDown() override {
    ExecScreenForm = nullptr;
    ExecReportForm = nullptr;
    DataModuleTest::TearDown();
  }
  RecordingSleeper Sleeper;
  RecordingMessageWindow Messages;
  ScopedModuleResources Resources;
  TScriptedScreenForm Screen;
  TScriptedReportForm Report;
};

TEST_F(StartUpRunTest, RunsTheEmbeddedSchemeToItsReportAndWritesTheSettingsAtExit) {
  const IdleScheme scheme;
  Resources.Add(kSchemeResourceName, scheme.Bytes);
  Report.Script = {TScriptButton::Close};

  EXPECT_EQ(RunStartUp(), 0);

  EXPECT_EQ(Report.ShowCount, 1);
  EXPECT_EQ(Report.ShownQuantities, std::vector<std::string>{"0"});
  EXPECT_EQ(Report.ShownValues, std::vector<std::string>{"0"});
  EXPECT_EQ(Report.NextBtnCaption, "Export");
  EXPECT_EQ(Screen.ShowCount, 0);
  EXPECT_TRUE(Messages.Shown.empty());
  EXPECT_EQ(Log.back(), "open \\Software\\Talpix\\Quorvane");
  EXPECT_NE(std::find(Log.begin(), Log.end(), "Display=0"), Log.end());
  EXPECT_EQ(DM, nullptr);
}

TEST_F(StartUpRunTest, SchemeThatCannotBeLoadedRunsNothingAndStillWritesTheSettings) {
  Resources.Add(kSchemeResourceName, {1, 2, 3});

  EXPECT_EQ(RunStartUp(), 0);

  EXPECT_EQ(Messages.Shown, std::vector<std::string>{kUnableToLoadTemplate});
  EXPECT_EQ(Report.ShowCount, 0);
  EXPECT_NE(std::find(Log.begin(), Log.end(), "Name1=English"), Log.end());
}

}  // namespace
