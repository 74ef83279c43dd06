#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "graph/elements.h"
#include "model/core.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/model_support.h"

namespace {

// (source kind, source index, source option, target kind, target index)
using Record = std::tuple<int, int, int, int, int>;

std::vector<Record> Records(const TSpecLinkMap& map) {
  std::vector<Record> records;
  for (int i = 0; i < map.Count(); ++i) {
    const TSpecLink* link = map.Items(i);
    records.emplace_back(link->SourceKind, link->SourceIndex, link->SourceOption, link->TargetKind,
                         link->TargetIndex);
  }
  return records;
}

// Two screens, one action and one decision point of three options (model order: the second
// condition, the first condition, the default option). Screen 1 is shown by two elements.
SchemeParts EveryKind() {
  SchemeParts parts;
  parts.Template.Screens = {{}, {}};
  parts.Template.Actions = {{}};
  parts.Template.DecisionPoints = {{"dp", {"A", "B"}}};
  GraphSection& g = parts.Graph;
  const int start = g.Add({.Kind = gkStart});
  const int finish = g.Add({.Kind = gkFinish});
  const int screen0 = g.Add({.Kind = gkScreen, .Index = 0});
  const int decision = g.Add({.Kind = gkDecision, .Index = 0});
  const int action = g.Add({.Kind = gkAction, .Index = 0});
  const int screen1 = g.Add({.Kind = gkScreen, .Index = 1});
  const int screen1Again = g.Add({.Kind = gkScreen, .Index = 1});
  g.Link(start, 0, screen0);
  g.Link(screen0, 0, decision);
  g.Link(decision, 2, action);
  g.Link(decision, 0, screen1);
  g.Link(decision, 1, screen1Again);
  g.Link(action, 0, finish);
  g.Link(screen1, 0, finish);
  g.Link(screen1Again, 0, action);
  return parts;
}

TEST(LinkMap, RecordsNameEveryElementKindByKindAndIndex) {
  LoadedScheme scheme(EveryKind());
  const std::vector<Record> expected = {
      {0, 0, 0, 1, 0},  // start -> screen 0
      {1, 0, 0, 3, 0},  // screen 0 -> decision point 0
      {3, 0, 2, 2, 0},  // default option -> action 0
      {3, 0, 0, 1, 1},  // option 0 -> screen 1
      {3, 0, 1, 1, 1},  // option 1 -> screen 1
      {2, 0, 0, 0, 0},  // action 0 -> finish
      {1, 1, 0, 0, 0},  // screen 1 -> finish
      {1, 1, 0, 2, 0},  // screen 1 (second element) -> action 0
  };
  EXPECT_EQ(Records(*scheme.LinkMap), expected);

  // Resolving gives the model objects themselves.
  TSpecTemplate& t = *scheme.Template;
  TSpecDecisionPoint* decision = t.DecisionPoints(0);
  EXPECT_EQ(scheme.LinkMap->Items(0)->GetSource(), t.Start());
  EXPECT_EQ(scheme.LinkMap->Items(0)->GetTarget(), t.Screens(0));
  EXPECT_EQ(scheme.LinkMap->Items(1)->GetTarget(), decision);
  EXPECT_EQ(scheme.LinkMap->Items(2)->GetSource(), decision->Options(2));
  EXPECT_TRUE(decision->Options(2)->IsDefault);
  EXPECT_EQ(scheme.LinkMap->Items(5)->GetTarget(), t.Finish());
}

// The records of the map, and the records the template's own look-ups give link by link.
std::vector<Record> RecordsLinkByLink(const LoadedScheme& scheme) {
  TSpecLinkMap map(scheme.Template.get());
  for (std::int32_t i = 0; i < scheme.Graph->LinkCount(); ++i) {
    map.Add()->LoadFromSchemeLink(scheme.Graph->Links(i));
  }
  return Records(map);
}

// A generated template of many screens, decision points and actions under the chained graph
// over all of them.
SchemeParts ManyElements() {
  SchemeParts parts;
  parts.Template.Screens.resize(30);
  for (int i = 0; i < 40; ++i) {
    parts.Template.DecisionPoints.push_back({"dp" + std::to_string(i), {}});
    for (int c = 0; c < i % 4; ++c)
      parts.Template.DecisionPoints.back().Conditions.push_back("A>" + std::to_string(c));
  }
  parts.Template.Actions.resize(70);
  parts.Graph = ChainedFlowGraph(parts.Template);
  return parts;
}

TEST(LinkMap, BuildResolvesEveryLinkAsTheTemplatesLookUpsDo) {
  struct Row {
    std::string name;
    SchemeParts parts;
  };
  std::vector<Row> rows;
  rows.push_back({"every kind, a screen shown twice", EveryKind()});
  rows.push_back({"many elements", ManyElements()});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LoadedScheme scheme(row.parts);
    EXPECT_EQ(scheme.LinkMap->Count(), scheme.Graph->LinkCount());
    EXPECT_EQ(Records(*scheme.LinkMap), RecordsLinkByLink(scheme));
  }
}

// A graph element of that class showing the model object, added to the graph.
template <typename Element, typename Model>
TSchemeElement* AddElementOf(TScheme& graph, Model* model) {
  auto element = Element::Create(&graph);
  element->SetModel(model);
  element->Refresh();
  return graph.AddElement(std::move(element));
}

TEST(LinkMap, ModelObjectsTheTemplateDoesNotHoldGiveIndexMinusOneOnBothSides) {
  // Elements of another template's screen, action and decision point (that template outlives
  // the graph), linked in a row and into the first template's action 0.
  LoadedScheme other(EveryKind());
  LoadedScheme scheme(EveryKind());
  TScheme& graph = *scheme.Graph;
  TSchemeElement* foreignScreen =
      AddElementOf<TSpecScreenElement>(graph, other.Template->Screens(0));
  TSchemeElement* foreignAction =
      AddElementOf<TSpecActionElement>(graph, other.Template->Actions(0));
  TSchemeElement* foreignDecision =
      AddElementOf<TSpecDecisionElement>(graph, other.Template->DecisionPoints(0));
  TSchemeElement* ownAction = graph.Elements(4);
  graph.AddLink(foreignScreen->OutputPoints(0), foreignAction->InputPoints(0));
  graph.AddLink(foreignAction->OutputPoints(0), foreignDecision->InputPoints(0));
  graph.AddLink(foreignDecision->OutputPoints(1), ownAction->InputPoints(0));

  scheme.LinkMap->Build(&graph);

  const std::vector<Record> records = Records(*scheme.LinkMap);
  ASSERT_EQ(records.size(), 11u);
  EXPECT_EQ(records[8], (Record{1, -1, 0, 2, -1}));
  EXPECT_EQ(records[9], (Record{2, -1, 0, 3, -1}));
  EXPECT_EQ(records[10], (Record{3, -1, 1, 2, 0}));
  EXPECT_EQ(records, RecordsLinkByLink(scheme));
}

TEST(LinkMap, FindLinkFromTakesTheLastLinkOfTheElementAndNeverADecisionPoint) {
  LoadedScheme scheme(EveryKind());
  TSpecTemplate& t = *scheme.Template;
  TSpecLinkMap& map = *scheme.LinkMap;
  EXPECT_EQ(map.FindLinkFrom(t.Start()), map.Items(0));
  // Both elements of screen 1 have a link; the later one in graph order wins.
  EXPECT_EQ(map.FindLinkFrom(t.Screens(1)), map.Items(7));
  EXPECT_EQ(map.FindLinkFrom(t.Screens(1))->GetTarget(), t.Actions(0));
  // A decision point is left from its options only.
  EXPECT_EQ(map.FindLinkFrom(t.DecisionPoints(0)), nullptr);
  EXPECT_EQ(map.FindLinkFrom(t.DecisionPoints(0)->Options(1)), map.Items(4));
  EXPECT_EQ(map.FindLinkFrom(t.Finish()), nullptr);
  EXPECT_EQ(map.FindLinkFrom(nullptr), nullptr);
}

// What FindLinkFrom answers: the link's position in the map, nothing, or the error raised.
std::string Found(const TSpecLinkMap& map, const TSpecObject* element) {
  try {
    const TSpecLink* link = map.FindLinkFrom(element);
    for (int i = 0; i < map.Count(); ++i) {
      if (map.Items(i) == link) return std::to_string(i);
    }
    return link ? "not in the map" : "none";
  } catch (const std::exception& e) {
    return std::string("error: ") + e.what();
  }
}

TEST(LinkMap, ABuiltMapFindsTheLinkTheScanFinds) {
  // After the eight links of EveryKind: a link from a screen of another template, whose source
  // does not resolve, then a second link from action 0 and one from screen 0.
  LoadedScheme other(EveryKind());
  LoadedScheme scheme(EveryKind());
  TScheme& graph = *scheme.Graph;
  TSpecTemplate& t = *scheme.Template;
  TSchemeElement* finish = graph.Elements(1);
  for (TSchemeElement* element :
       {AddElementOf<TSpecScreenElement>(graph, other.Template->Screens(0)),
        AddElementOf<TSpecActionElement>(graph, t.Actions(0)),
        AddElementOf<TSpecScreenElement>(graph, t.Screens(0))}) {
    graph.AddLink(element->OutputPoints(0), finish->InputPoints(0));
  }

  TSpecLinkMap& built = *scheme.LinkMap;
  built.Build(&graph);
  // The same records added one by one, which the map searches by its scan.
  TSpecLinkMap scanned(&t);
  for (std::int32_t i = 0; i < graph.LinkCount(); ++i) {
    scanned.Add()->LoadFromSchemeLink(graph.Links(i));
  }
  TSpecDecisionPoint* decision = t.DecisionPoints(0);
  const std::vector<const TSpecObject*> elements = {t.Start(),
                                                    t.Finish(),
                                                    t.Screens(0),
                                                    t.Screens(1),
                                                    t.Actions(0),
                                                    decision,
                                                    decision->Options(0),
                                                    decision->Options(1),
                                                    decision->Options(2),
                                                    other.Template->Screens(0),
                                                    nullptr};

  struct Row {
    std::string name;
    std::vector<std::string> expected;  // for the elements above, in order
  };
  const std::string stopped = "error: List index out of bounds (-1)";
  const std::vector<Row> rows = {
      {"the unresolvable link stops the searches it comes before",
       {stopped, stopped, "10", stopped, "9", stopped, stopped, stopped, stopped, stopped,
        stopped}},
      {"without it", {"0", "none", "9", "7", "8", "none", "3", "4", "2", "none", "none"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (std::size_t i = 0; i < elements.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(Found(built, elements[i]), row.expected[i]);
      EXPECT_EQ(Found(scanned, elements[i]), row.expected[i]);
    }
    // Deleting the unresolvable link moves the two after it down by one.
    built.Delete(8);
    scanned.Delete(8);
  }
}

TEST(LinkMap, OptionTwoOfDecisionFiveToScreenSevenIsStoredAsItsIndexes) {
  SchemeParts parts;
  parts.Template.Screens.resize(8);
  parts.Template.DecisionPoints.resize(6);
  parts.Template.DecisionPoints[5].Conditions = {"A", "B"};
  const int decision = parts.Graph.Add({.Kind = gkDecision, .Index = 5});
  const int screen = parts.Graph.Add({.Kind = gkScreen, .Index = 7});
  parts.Graph.Link(decision, 2, screen);
  LoadedScheme scheme(parts);
  EXPECT_EQ(Records(*scheme.LinkMap), (std::vector<Record>{{3, 5, 2, 1, 7}}));
}

TEST(LinkMap, BuildReplacesTheContentsAndAnEmptyGraphGivesAnEmptyMap) {
  LoadedScheme scheme(EveryKind());
  scheme.LinkMap->Build(scheme.Graph.get());
  EXPECT_EQ(scheme.LinkMap->Count(), 8);

  TScheme empty;
  scheme.LinkMap->Build(&empty);
  EXPECT_EQ(scheme.LinkMap->Count(), 0);
  EXPECT_EQ(scheme.LinkMap->FindLinkFrom(scheme.Template->Start()), nullptr);
}

TEST(LinkMap, IndexOutsideTheListAndUnresolvableLinksRaiseTheListError) {
  LoadedScheme scheme(EveryKind());
  TSpecLinkMap& map = *scheme.LinkMap;
  EXPECT_RAISES_WHAT(map.Items(map.Count()), "List index out of bounds (8)");
  EXPECT_RAISES_WHAT(map.Delete(-1), "List index out of bounds (-1)");

  // A record whose model object the template does not hold (index -1) stops every search
  // that reaches it, since the search resolves each source from the end.
  TSpecLink* stray = map.Add();
  stray->SourceKind = lkScreen;
  stray->SourceIndex = -1;
  EXPECT_RAISES_WHAT(map.FindLinkFrom(scheme.Template->Start()), "List index out of bounds (-1)");
  stray->SourceKind = 9;  // no kind: resolves to nothing, passed over
  EXPECT_EQ(stray->GetSource(), nullptr);
  EXPECT_EQ(map.FindLinkFrom(scheme.Template->Start()), map.Items(0));

  map.Delete(map.Count() - 1);
  EXPECT_EQ(map.Count(), 8);
  map.Clear();
  EXPECT_EQ(map.Count(), 0);
}

}  // namespace
