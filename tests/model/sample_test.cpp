// The sample scheme that the build embeds: its template sections and its price list load
// completely, and what the configurator needs is in them.

#include <gtest/gtest.h>

#include <set>

#include "model/core.h"
#include "model/pricelist.h"
#include "model/report.h"
#include "model/resource.h"
#include "model/saver.h"
#include "tests/support/model_support.h"

namespace {

// Steps over the flow-graph section, which this module does not read: element records (a
// kind byte; start and finish add two Ints, screens, actions and decision points a Word index
// before them), 12-byte link records, then the scroll position.
void SkipGraphSection(TSpecDataStream& stream) {
  std::int32_t elements = stream.ReadInteger();
  for (std::int32_t i = 0; i < elements; ++i) {
    std::uint8_t kind = stream.ReadByte();
    ASSERT_LE(kind, 4) << "the sample graph holds only the five element kinds";
    if (kind >= 2) stream.ReadWord();
    stream.ReadInteger();
    stream.ReadInteger();
  }
  std::int32_t links = stream.ReadInteger();
  for (std::int32_t i = 0; i < links * 3; ++i) stream.ReadInteger();
  stream.ReadInteger();
  stream.ReadInteger();
}

class SampleScheme : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Stream.LoadFromFile(SampleSchemePath())) << SampleSchemePath();
    Template.LoadFromStream(Stream);
  }

  TSpecDataStream Stream;
  TSpecTemplate Template;
};

TEST_F(SampleScheme, TemplateSectionsAndPriceListLoadToTheLastByte) {
  EXPECT_EQ(Template.MuiManager()->CurrentLanguage, 0);
  EXPECT_EQ(Template.MuiManager()->DefaultLanguage, 1);
  EXPECT_EQ(Template.MuiManager()->GetLanguage(1)->Name, "English");
  EXPECT_EQ(Template.ServiceStrings()->Count(), kServiceStringCount);
  EXPECT_EQ(Template.ScreenCount(), 4);
  EXPECT_EQ(Template.ReportCount(), 2);
  SkipGraphSection(Stream);
  EXPECT_EQ(Stream.ReadInteger(), 20261210);
  Template.PriceList()->LoadFromStream(Stream);
  EXPECT_EQ(Stream.Remaining(), 0u);
  EXPECT_EQ(Template.PriceList()->ProductCount(), 20);
  EXPECT_EQ(Template.PriceList()->CategoryCount(), 4);
}

TEST_F(SampleScheme, UsesEveryQuestionKindAndResolvesEveryStoredAnswer) {
  std::set<int> kinds;
  bool bounded = false;
  bool conditional = false;
  for (int i = 0; i < Template.QuestionCount(); ++i) {
    const TSpecQuestion* q = Template.Questions(i);
    kinds.insert(q->Kind);
    if (q->Kind != qkInformation) {
      EXPECT_NE(q->Variable, nullptr) << q->GetText();
    }
    bounded = bounded || !q->FloatMax.empty() || !q->IntMax.empty();
    for (int a = 0; a < q->AnswerCount(); ++a) {
      conditional = conditional || !q->Answers(a)->Condition.Expression.empty();
    }
  }
  EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_TRUE(bounded);
  EXPECT_TRUE(conditional);
}

TEST_F(SampleScheme, ActionsNameExistingVariablesAndProducts) {
  SkipGraphSection(Stream);
  Stream.ReadInteger();
  Template.PriceList()->LoadFromStream(Stream);
  std::set<int> actionKinds;
  for (int i = 0; i < Template.ActionCount(); ++i) {
    const TSpecAction* action = Template.Actions(i);
    actionKinds.insert(action->Kind);
    if (action->Kind == akSetValue) {
      EXPECT_NE(Template.FindVariable(action->Variable), nullptr) << action->Variable;
    } else {
      EXPECT_NE(Template.PriceList()->FindProductByCode(action->ProductCode), nullptr)
          << action->ProductCode;
    }
  }
  EXPECT_EQ(actionKinds, (std::set<int>{akSetValue, akAddProduct}));
  for (const char* name : {"TotalUnits", "Horizontals", "Verticals", "TotalWeight", "TotalVolume",
                           "TotalVolumeLitres", "TotalWidth", "TotalHeight", "TotalLength"}) {
    EXPECT_NE(Template.FindVariable(name), nullptr) << name;
  }
  int conditionalOptions = 0;
  for (int i = 0; i < Template.DecisionPointCount(); ++i) {
    conditionalOptions += Template.DecisionPoints(i)->OptionCount() - 1;
  }
  EXPECT_GT(conditionalOptions, Template.DecisionPointCount());
}

TEST_F(SampleScheme, HasAResourceOfEveryKindWithResolvedDependencies) {
  std::set<int> kinds;
  int dependencies = 0;
  for (int i = 0; i < Template.ResourceCount(); ++i) {
    kinds.insert(Template.Resources(i)->Kind);
    dependencies += Template.Resources(i)->DependencyCount();
  }
  EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3}));
  EXPECT_EQ(dependencies, 2);
  ASSERT_GE(Template.IndexOfResource("RackFront"), 0);
  EXPECT_EQ(Template.Resources(Template.IndexOfResource("RackFront"))->AsText(), "[Picture]");
  for (int r = 0; r < Template.ReportCount(); ++r) {
    for (int band = 0; band < 5; ++band) {
      EXPECT_GT(Template.Reports(r)->BandAt(band)->RowCount(), 0) << r << " " << band;
    }
  }
}

}  // namespace
