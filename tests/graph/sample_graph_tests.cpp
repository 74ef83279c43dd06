// The flow graph of the sample scheme the build embeds, read with the template it indexes.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "graph/elements.h"
#include "model/core.h"
#include "model/saver.h"
#include "tests/support/model_support.h"

namespace {

class SampleGraph : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Stream.LoadFromFile(SampleSchemePath()))
        << SampleSchemePath() << " (built by the target qv_sample_scheme_file)";
    Template.LoadFromStream(Stream);
    Scheme.EventsEnabled = false;
    TSpecSchemeManager(&Scheme, &Template).LoadFromStream(Stream);
    Scheme.EventsEnabled = true;
  }

  static const TSchemeElement* Next(const TSchemeElement* Element, int32_t Point) {
    return Element->OutputPoints(Point)->Link()->Target()->Element();
  }

  // Every element reachable from Element, itself included.
  std::set<const TSchemeElement*> Reachable(const TSchemeElement* Element) const {
    std::set<const TSchemeElement*> Seen;
    std::vector<const TSchemeElement*> Open{Element};
    while (!Open.empty()) {
      const TSchemeElement* E = Open.back();
      Open.pop_back();
      if (!Seen.insert(E).second) continue;
      for (int32_t K = 0; K < E->OutputPointCount(); ++K) Open.push_back(Next(E, K));
    }
    return Seen;
  }

  TSpecDataStream Stream;
  TSpecTemplate Template;
  TScheme Scheme;
};

TEST_F(SampleGraph, ReadsToTheStampAndLinksEveryOutputOnce) {
  EXPECT_EQ(Stream.ReadInteger(), 20261210);
  ASSERT_GE(Scheme.ElementCount(), 2);
  EXPECT_NE(dynamic_cast<TSpecStartElement*>(Scheme.Elements(0)), nullptr);
  EXPECT_NE(dynamic_cast<TSpecFinishElement*>(Scheme.Elements(1)), nullptr);

  std::map<TSpecObjectKind, int> Kinds;
  for (int32_t I = 0; I < Scheme.ElementCount(); ++I) {
    const TSchemeElement* Element = Scheme.Elements(I);
    ASSERT_NE(ElementModel(Element), nullptr) << I;
    ++Kinds[ElementModel(Element)->ObjectKind()];
    for (int32_t K = 0; K < Element->OutputPointCount(); ++K)
      EXPECT_NE(Element->OutputPoints(K)->Link(), nullptr) << "element " << I << " point " << K;
  }
  EXPECT_EQ(Kinds[TSpecObjectKind::Start], 1);
  EXPECT_EQ(Kinds[TSpecObjectKind::Finish], 1);
  EXPECT_EQ(Kinds[TSpecObjectKind::Screen], Template.ScreenCount());
  EXPECT_EQ(Kinds[TSpecObjectKind::Action], Template.ActionCount());
  EXPECT_EQ(Kinds[TSpecObjectKind::DecisionPoint], Template.DecisionPointCount());
  EXPECT_GT(Template.DecisionPointCount(), 0);
  for (int32_t I = 0; I < Scheme.LinkCount(); ++I)
    EXPECT_EQ(Scheme.Links(I)->Target()->Element()->InputPoints(0), Scheme.Links(I)->Target());
}

TEST_F(SampleGraph, EveryPathFromTheStartEndsAtTheFinishWithoutLoops) {
  // Depth-first over paths: an element met again on the current path is a loop.
  std::vector<std::pair<const TSchemeElement*, int32_t>> Path{{Scheme.Elements(0), 0}};
  std::set<const TSchemeElement*> OnPath{Scheme.Elements(0)}, Done;
  while (!Path.empty()) {
    auto& [Element, Point] = Path.back();
    if (Element->OutputPointCount() == 0) {
      EXPECT_EQ(Element, Scheme.Elements(1));
    }
    if (Point == Element->OutputPointCount() || Done.count(Element) > 0) {
      Done.insert(Element);
      OnPath.erase(Element);
      Path.pop_back();
      continue;
    }
    const TSchemeElement* To = Next(Element, Point++);
    ASSERT_EQ(OnPath.count(To), 0u) << "loop through element " << Scheme.IndexOfElement(To);
    OnPath.insert(To);
    Path.push_back({To, 0});
  }
  EXPECT_EQ(Reachable(Scheme.Elements(0)).size(), static_cast<size_t>(Scheme.ElementCount()));
}

TEST_F(SampleGraph, DecisionPointsHaveSeveralOptionsWhosePathsPartAndMeetAgain) {
  int Parting = 0;
  for (int32_t I = 0; I < Scheme.ElementCount(); ++I) {
    const auto* Decision = dynamic_cast<const TSpecDecisionElement*>(Scheme.Elements(I));
    if (Decision == nullptr) continue;
    EXPECT_GE(Decision->OptionCount(), 2) << I;
    EXPECT_EQ(Decision->OptionCount(), Decision->Model()->OptionCount());
    const TSchemeElement* First = Next(Decision, 0);
    const TSchemeElement* Last = Next(Decision, Decision->OutputPointCount() - 1);
    if (First == Last) continue;
    std::set<const TSchemeElement*> Common;
    const auto A = Reachable(First), B = Reachable(Last);
    for (const TSchemeElement* E : A)
      if (B.count(E) > 0 && E != Scheme.Elements(1)) Common.insert(E);
    if (!Common.empty()) ++Parting;
  }
  EXPECT_GT(Parting, 0);
}

}  // namespace
