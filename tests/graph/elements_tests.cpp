#include "graph/elements.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "model/core.h"
#include "model/saver.h"
#include "tests/support/graph_support.h"
#include "tests/support/model_support.h"
#include "tools/graphwriter.h"
#include "tools/templatewriter.h"

namespace {

using Events = std::vector<std::string>;

struct Position {
  int32_t X, Y;
  bool operator==(const Position&) const = default;
};

void PrintTo(const Position& P, std::ostream* Out) {
  *Out << "(" << P.X << ", " << P.Y << ")";
}

Position At(const TSchemeConnectionPoint* Point) {
  return {Point->X(), Point->Y()};
}

std::vector<Position> OutputPositions(const TSchemeElement& Element) {
  std::vector<Position> Result;
  for (int32_t I = 0; I < Element.OutputPointCount(); ++I)
    Result.push_back(At(Element.OutputPoints(I)));
  return Result;
}

// A template with model objects to hang elements on, and a scheme with a counting host.
class ElementTest : public ::testing::Test {
 protected:
  TSpecScreen* ScreenWithQuestions(int Count) {
    TSpecScreen* Screen = Template.AddScreen("Screen", "");
    for (int I = 0; I < Count; ++I) Screen->AddQuestion(Template.AddQuestion("Q", 0, nullptr));
    return Screen;
  }
  // Conditions given in file order; the model keeps them reversed, then the default option.
  TSpecDecisionPoint* DecisionWith(const std::vector<std::string>& Conditions) {
    TSpecDecisionPoint* Decision = Template.AddDecisionPoint();
    for (const std::string& Condition : Conditions)
      Decision->InsertOption()->Condition.Expression = Condition;
    return Decision;
  }
  // Option k of the model, its info and output point k coincide, the point level with row k.
  static void ExpectInOptionOrder(const TSpecDecisionElement& Element) {
    const TSpecDecisionPoint* Model = Element.Model();
    ASSERT_EQ(Element.OptionCount(), Model->OptionCount());
    ASSERT_EQ(Element.OutputPointCount(), Model->OptionCount());
    for (int32_t K = 0; K < Model->OptionCount(); ++K) {
      SCOPED_TRACE(K);
      EXPECT_EQ(Element.Options(K)->Option(), Model->Options(K));
      EXPECT_EQ(Element.Options(K)->Element(), &Element);
      EXPECT_EQ(Element.OutputPoints(K), Element.Options(K)->Point());
      EXPECT_EQ(At(Element.OutputPoints(K)), (Position{Element.Width() - 1, 39 + 20 * K}));
    }
    EXPECT_EQ(Element.Height(), 40 + 20 * Model->OptionCount());
  }

  TSpecTemplate Template;
  FakeSchemeHost Host;
  TScheme Scheme{&Host};
};

TEST_F(ElementTest, StartAndFinishAreCirclesWithOnePointAtTheCentre) {
  auto Start = TSpecStartElement::Create(&Scheme);
  EXPECT_EQ(Start->Width(), 40);
  EXPECT_EQ(Start->Height(), 40);
  EXPECT_EQ(Start->InputPointCount(), 0);
  ASSERT_EQ(Start->OutputPointCount(), 1);
  EXPECT_EQ(At(Start->OutputPoints(0)), (Position{20, 20}));
  // The point made for 60 x 40 is gone from the registry too.
  ASSERT_EQ(Scheme.PointCount(), 1);
  EXPECT_EQ(Scheme.Points(0), Start->OutputPoints(0));
  EXPECT_EQ(Start->Model(), nullptr);

  auto Finish = TSpecFinishElement::Create(&Scheme);
  EXPECT_EQ(Finish->Width(), 40);
  EXPECT_EQ(Finish->Height(), 40);
  EXPECT_EQ(Finish->OutputPointCount(), 0);
  ASSERT_EQ(Finish->InputPointCount(), 1);
  EXPECT_EQ(At(Finish->InputPoints(0)), (Position{20, 20}));
  EXPECT_EQ(Scheme.PointCount(), 2);

  // They leave their point where it was made.
  Start->SetWidth(80);
  EXPECT_EQ(At(Start->OutputPoints(0)), (Position{20, 20}));
}

TEST_F(ElementTest, ScreenAndActionSizesAndPoints) {
  // An element of class T on a model, refreshed as the reader does.
  const auto Made = [](auto* Typed, auto* Model) {
    Typed->SetModel(Model);
    Typed->Refresh();
    return TSchemeElementPtr<TSchemeElement>(Typed);
  };
  const auto Screen = [&](TSpecScreen* Model) {
    return Made(TSpecScreenElement::Create(&Scheme).release(), Model);
  };
  struct Row {
    const char* Name;
    std::function<TSchemeElementPtr<TSchemeElement>()> Make;
    int32_t Height;
  };
  TSpecScreen* ThreeQuestions = ScreenWithQuestions(3);
  TSpecScreen* NoQuestions = ScreenWithQuestions(0);
  TSpecAction* Action = Template.AddAction();
  const Row Rows[] = {
      {"screen without a model", [&] { return Screen(nullptr); }, 40},
      {"screen of three questions", [&] { return Screen(ThreeQuestions); }, 100},
      {"screen of no questions", [&] { return Screen(NoQuestions); }, 40},
      {"action", [&] { return Made(TSpecActionElement::Create(&Scheme).release(), Action); }, 40},
  };
  for (const Row& Case : Rows) {
    SCOPED_TRACE(Case.Name);
    auto Element = Case.Make();
    EXPECT_EQ(Element->Width(), 120);
    EXPECT_EQ(Element->Height(), Case.Height);
    ASSERT_EQ(Element->InputPointCount(), 1);
    ASSERT_EQ(Element->OutputPointCount(), 1);
    EXPECT_EQ(At(Element->InputPoints(0)), (Position{60, 0}));
    EXPECT_EQ(At(Element->OutputPoints(0)), (Position{60, Case.Height - 1}));
    // Every successful SetBounds puts the points back on the edges.
    EXPECT_TRUE(Element->SetBounds(5, 6, 151, 70));
    EXPECT_EQ(At(Element->InputPoints(0)), (Position{75, 0}));
    EXPECT_EQ(At(Element->OutputPoints(0)), (Position{75, 69}));
    EXPECT_FALSE(Element->SetBounds(0, 0, 10, 10));
    EXPECT_EQ(At(Element->OutputPoints(0)), (Position{75, 69}));
  }
  EXPECT_EQ(Scheme.PointCount(), 0);
}

TEST_F(ElementTest, DecisionElementHasOneOutputPointPerOptionInModelOrder) {
  TSpecDecisionPoint* Model = DecisionWith({"c1", "c2", "c3"});
  auto Element = TSpecDecisionElement::Create(&Scheme);
  EXPECT_EQ(Element->Width(), 120);
  EXPECT_EQ(Element->Height(), 40);
  EXPECT_EQ(Element->OutputPointCount(), 0);
  ASSERT_EQ(Element->InputPointCount(), 1);
  EXPECT_EQ(At(Element->InputPoints(0)), (Position{60, 0}));

  Element->SetModel(Model);
  Element->Refresh();
  ExpectInOptionOrder(*Element);
  EXPECT_EQ(Element->Height(), 120);
  EXPECT_EQ(OutputPositions(*Element),
            (std::vector<Position>{{119, 39}, {119, 59}, {119, 79}, {119, 99}}));
  EXPECT_EQ(Element->Options(0)->GetCaption(), "c3");
  EXPECT_EQ(Element->Options(2)->GetCaption(), "c1");
  EXPECT_EQ(Element->Options(3)->GetCaption(), "Default");
  EXPECT_EQ(Element->IndexOfOption(Model->Options(1)), 1);
  EXPECT_EQ(Element->IndexOfOption(nullptr), -1);
  EXPECT_RAISES_WHAT(Element->Options(4), "List index out of bounds (4)");

  // Wider: the output points follow the right edge, the rows stay.
  EXPECT_TRUE(Element->SetBounds(0, 0, 200, 120));
  EXPECT_EQ(At(Element->InputPoints(0)), (Position{100, 0}));
  EXPECT_EQ(OutputPositions(*Element),
            (std::vector<Position>{{199, 39}, {199, 59}, {199, 79}, {199, 99}}));
}

TEST_F(ElementTest, RefreshFollowsChangedOptionsAndDropsTheLinksOfRemovedOnes) {
  TSpecDecisionPoint* Model = DecisionWith({"a", "b"});  // b, a, default
  TSchemeElement* Target = Scheme.AddElement(TSpecFinishElement::Create(&Scheme));
  auto Owned = TSpecDecisionElement::Create(&Scheme);
  TSpecDecisionElement* Element = Owned.get();
  Scheme.AddElement(std::move(Owned));
  Element->SetModel(Model);
  Element->Refresh();
  for (int32_t K = 0; K < 3; ++K) Scheme.AddLink(Element->OutputPoints(K), Target->InputPoints(0));
  TSpecOption* A = Model->Options(1);
  TSpecOption* Default = Model->Options(2);

  // c comes before b goes, so that c cannot take b's freed place in memory.
  TSpecOption* C = Model->InsertOption();
  C->Condition.Expression = "c";
  Model->DeleteOption(Model->Options(1));  // c, a, default
  Element->Refresh();
  ExpectInOptionOrder(*Element);
  EXPECT_EQ(Element->Options(1)->Option(), A);
  EXPECT_EQ(Element->Options(2)->Option(), Default);
  // b's link went with its point; a's and the default's links moved with theirs; c has none.
  EXPECT_EQ(Scheme.LinkCount(), 2);
  EXPECT_EQ(Element->OutputPoints(0)->Link(), nullptr);
  EXPECT_NE(Element->OutputPoints(1)->Link(), nullptr);
  EXPECT_NE(Element->OutputPoints(2)->Link(), nullptr);
  EXPECT_EQ(Target->InputPoints(0)->Links().Count(), 2);
}

TEST_F(ElementTest, RefreshPutsScrambledInfosInModelOrderWithTheirPointsAndLinks) {
  TSpecDecisionPoint* Model = DecisionWith({"a", "b", "c", "d"});  // d, c, b, a, default
  TSchemeElement* Target = Scheme.AddElement(TSpecFinishElement::Create(&Scheme));
  auto Owned = TSpecDecisionElement::Create(&Scheme);
  TSpecDecisionElement* Element = Owned.get();
  Scheme.AddElement(std::move(Owned));
  Element->SetModel(Model);
  // Infos made by hand in an order that takes several exchanges to mend, each point linked.
  std::vector<TSchemeLink*> LinkOf(5);
  for (int32_t K : {3, 0, 4, 1}) {
    TSpecOptionInfo* Info = Element->AddOption(Model->Options(K));
    LinkOf[static_cast<size_t>(K)] = Scheme.AddLink(Info->Point(), Target->InputPoints(0));
  }
  Element->Refresh();  // adds option 2 (c) and sorts
  ExpectInOptionOrder(*Element);
  for (int32_t K = 0; K < 5; ++K) {
    SCOPED_TRACE(K);
    EXPECT_EQ(Element->OutputPoints(K)->Link(), LinkOf[static_cast<size_t>(K)]);
  }
  EXPECT_EQ(Scheme.LinkCount(), 4);
}

TEST_F(ElementTest, DeletingADecisionElementRemovesItsOptionsFirst) {
  SchemeEventLog Log(Scheme);
  TSpecDecisionPoint* Model = DecisionWith({"a"});
  TSchemeElement* Before = Scheme.AddElement(TSpecStartElement::Create(&Scheme));
  auto Owned = TSpecDecisionElement::Create(&Scheme);
  TSpecDecisionElement* Element = Owned.get();
  Scheme.AddElement(std::move(Owned));
  Element->SetModel(Model);
  Element->Refresh();
  TSchemeElement* After = Scheme.AddElement(TSpecFinishElement::Create(&Scheme));
  Log.Name(Before, "start");
  Log.Name(Element, "decision");
  Log.Name(After, "finish");
  Scheme.AddLink(Before->OutputPoints(0), Element->InputPoints(0));
  Scheme.AddLink(Element->OutputPoints(1), After->InputPoints(0));  // the default option
  Scheme.AddLink(Element->OutputPoints(0), After->InputPoints(0));
  Log.Events.clear();

  Scheme.DeleteElement(Element);
  EXPECT_EQ(Log.Events, (Events{"remove element decision", "remove link decision->finish",
                                "remove link decision->finish", "remove link start->decision"}));
  EXPECT_EQ(Scheme.LinkCount(), 0);
  EXPECT_EQ(Scheme.PointCount(), 2);
}

TEST_F(ElementTest, ElementModelGivesEachKindsModel) {
  TSpecScreen* Screen = ScreenWithQuestions(1);
  auto Element = TSpecScreenElement::Create(&Scheme);
  EXPECT_EQ(ElementModel(Element.get()), nullptr);
  Element->SetModel(Screen);
  EXPECT_EQ(ElementModel(Element.get()), Screen);
  auto Start = TSpecStartElement::Create(&Scheme);
  Start->SetModel(Template.Start());
  EXPECT_EQ(ElementModel(Start.get())->ObjectKind(), TSpecObjectKind::Start);
  auto Base = TSchemeElement::Create(&Scheme);
  EXPECT_EQ(ElementModel(Base.get()), nullptr);
  EXPECT_EQ(ElementModel(nullptr), nullptr);
}

// ---------------------------------------------------------------------------------------------
// The graph reader

// A template of two screens (the second with two questions), two actions and one decision
// point with the conditions x, y (model order y, x, default), and a graph over them.
class GraphReaderTest : public ElementTest {
 protected:
  void SetUp() override {
    ScreenWithQuestions(0);
    ScreenWithQuestions(2);
    Template.AddAction();
    Template.AddAction();
    DecisionWith({"x", "y"});
  }

  // start -> screen 1 -> decision 0: y -> action 0 -> finish; x -> action 1 -> finish;
  // default -> screen 0 -> finish.
  static GraphSection SampleSection() {
    GraphSection Graph;
    Graph.Add({.Kind = gkStart, .Left = 10, .Top = 20});                   // 0
    Graph.Add({.Kind = gkFinish, .Left = -30, .Top = 900});                // 1
    Graph.Add({.Kind = gkScreen, .Index = 1, .Left = 100, .Top = 100});    // 2
    Graph.Add({.Kind = gkDecision, .Index = 0, .Left = 100, .Top = 300});  // 3
    Graph.Add({.Kind = gkAction, .Index = 0, .Left = 300, .Top = 500});    // 4
    Graph.Add({.Kind = gkAction, .Index = 1, .Left = 500, .Top = 500});    // 5
    Graph.Add({.Kind = gkScreen, .Index = 0, .Left = 100, .Top = 700});    // 6
    Graph.Link(0, 0, 2);
    Graph.Link(2, 0, 3);
    Graph.Link(3, 0, 4);
    Graph.Link(3, 1, 5);
    Graph.Link(3, 2, 6);
    Graph.Link(4, 0, 1);
    Graph.Link(5, 0, 1);
    Graph.Link(6, 0, 1);
    Graph.ScrollX = 17;
    Graph.ScrollY = -40;
    return Graph;
  }

  void Load(const SchemeWriter& Bytes) {
    auto Stream = StreamOf(Bytes);
    TSpecSchemeManager(&Scheme, &Template).LoadFromStream(*Stream);
  }

  // Every registered point belongs to a listed element.
  void ExpectNoStrayPoints() const {
    int32_t Points = 0;
    for (int32_t I = 0; I < Scheme.ElementCount(); ++I)
      Points += Scheme.Elements(I)->InputPointCount() + Scheme.Elements(I)->OutputPointCount();
    EXPECT_EQ(Scheme.PointCount(), Points);
  }
};

TEST_F(GraphReaderTest, ReadsElementsLinksAndScrollAndStopsAtTheSectionsEnd) {
  SchemeWriter Bytes;
  WriteGraph(Bytes, SampleSection());
  const size_t SectionSize = Bytes.Size();
  WriteSchemeStamp(Bytes, 0x12345678);
  auto Stream = StreamOf(Bytes);
  TSpecSchemeManager Manager(&Scheme, &Template);
  EXPECT_EQ(Manager.Scheme(), &Scheme);
  EXPECT_EQ(Manager.Template(), &Template);
  Manager.LoadFromStream(*Stream);
  EXPECT_EQ(Stream->Position(), SectionSize);
  EXPECT_EQ(Stream->ReadInteger(), 0x12345678);

  ASSERT_EQ(Scheme.ElementCount(), 7);
  auto* Start = dynamic_cast<TSpecStartElement*>(Scheme.Elements(0));
  auto* Finish = dynamic_cast<TSpecFinishElement*>(Scheme.Elements(1));
  auto* Screen = dynamic_cast<TSpecScreenElement*>(Scheme.Elements(2));
  auto* Decision = dynamic_cast<TSpecDecisionElement*>(Scheme.Elements(3));
  auto* Action = dynamic_cast<TSpecActionElement*>(Scheme.Elements(5));
  ASSERT_TRUE(Start && Finish && Screen && Decision && Action);
  EXPECT_EQ(Start->Model(), Template.Start());
  EXPECT_EQ(Finish->Model(), Template.Finish());
  EXPECT_EQ(Screen->Model(), Template.Screens(1));
  EXPECT_EQ(Decision->Model(), Template.DecisionPoints(0));
  EXPECT_EQ(Action->Model(), Template.Actions(1));
  EXPECT_EQ(Screen->Height(), 80);
  ExpectInOptionOrder(*Decision);
  EXPECT_EQ(Finish->Left(), -30);
  EXPECT_EQ(Finish->Top(), 900);
  EXPECT_EQ(Action->Left(), 500);
  EXPECT_EQ(Scheme.ScrollX(), 17);
  EXPECT_EQ(Scheme.ScrollY(), -40);

  ASSERT_EQ(Scheme.LinkCount(), 8);
  // The link of output point 1 of the decision element leaves option 1 (x) for action 1.
  const TSchemeLink* X = Scheme.Links(3);
  EXPECT_EQ(X->Source()->Element(), Decision);
  EXPECT_EQ(Decision->IndexOfOutputPoint(X->Source()), 1);
  EXPECT_EQ(Decision->Model()->Options(1)->Condition.Expression, "x");
  EXPECT_EQ(X->Target()->Element(), Action);
  EXPECT_EQ(Scheme.IndexOfElement(Scheme.Links(7)->Target()->Element()), 1);
  EXPECT_EQ(Finish->InputPoints(0)->Links().Count(), 3);
}

TEST_F(GraphReaderTest, EmptyGraphsStillTakeTheScrollPosition) {
  struct Row {
    const char* Name;
    int32_t ElementCount;
    int32_t LinkCount;
  };
  const Row Rows[] = {{"zero counts", 0, 0}, {"negative counts", -5, -1}};
  for (const Row& Case : Rows) {
    SCOPED_TRACE(Case.Name);
    SchemeWriter Bytes;
    Bytes.Int(Case.ElementCount).Int(Case.LinkCount).Int(3).Int(4);
    auto Stream = StreamOf(Bytes);
    TSpecSchemeManager(&Scheme, &Template).LoadFromStream(*Stream);
    EXPECT_EQ(Stream->Remaining(), 0u);
    EXPECT_EQ(Scheme.ElementCount(), 0);
    EXPECT_EQ(Scheme.ScrollX(), 3);
    EXPECT_EQ(Scheme.ScrollY(), 4);
  }
}

TEST_F(GraphReaderTest, AnUnknownKindIsOneByteAndMakesNoElement) {
  GraphSection Graph;
  EXPECT_EQ(Graph.Add({.Kind = 7}), -1);
  EXPECT_EQ(Graph.Add({.Kind = gkScreen, .Index = 0, .Left = 1, .Top = 2}), 0);
  EXPECT_EQ(Graph.Add({.Kind = 255}), -1);
  EXPECT_EQ(Graph.Add({.Kind = gkFinish}), 1);
  Graph.Link(0, 0, 1);
  SchemeWriter Bytes;
  WriteGraph(Bytes, Graph);
  Load(Bytes);
  ASSERT_EQ(Scheme.ElementCount(), 2);
  EXPECT_NE(dynamic_cast<TSpecScreenElement*>(Scheme.Elements(0)), nullptr);
  EXPECT_EQ(Scheme.Elements(0)->Top(), 2);
  EXPECT_EQ(Scheme.LinkCount(), 1);
}

TEST_F(GraphReaderTest, FailuresEndTheLoadAndFreeTheElementWhoseIndexFails) {
  struct Row {
    const char* Name;
    std::function<void(GraphSection&)> Spoil;
    const char* Message;
  };
  const Row Rows[] = {
      {"screen index out of range", [](GraphSection& G) { G.Elements[2].Index = 2; },
       "List index out of bounds (2)"},
      {"action index out of range", [](GraphSection& G) { G.Elements[4].Index = 9; },
       "List index out of bounds (9)"},
      {"decision index out of range", [](GraphSection& G) { G.Elements[3].Index = 1; },
       "List index out of bounds (1)"},
      {"from element out of range", [](GraphSection& G) { G.Links[2].FromElement = 7; },
       "List index out of bounds (7)"},
      {"negative to element", [](GraphSection& G) { G.Links[2].ToElement = -1; },
       "List index out of bounds (-1)"},
      {"a link from the finish", [](GraphSection& G) { G.Links[2].FromElement = 1; },
       "List index out of bounds (0)"},
      {"a link into the start", [](GraphSection& G) { G.Links[2].ToElement = 0; },
       "List index out of bounds (0)"},
      {"a missing option point", [](GraphSection& G) { G.Links[2].FromPoint = 3; },
       "List index out of bounds (3)"},
      {"a missing input point", [](GraphSection& G) { G.Links[2].ToPoint = 1; },
       "List index out of bounds (1)"},
      {"two links from one output", [](GraphSection& G) { G.Links[3].FromPoint = 0; },
       "Operation aborted"},
  };
  for (const Row& Case : Rows) {
    SCOPED_TRACE(Case.Name);
    GraphSection Graph = SampleSection();
    Case.Spoil(Graph);
    SchemeWriter Bytes;
    WriteGraph(Bytes, Graph);
    EXPECT_RAISES_WHAT(Load(Bytes), Case.Message);
    ExpectNoStrayPoints();
  }
}

TEST_F(GraphReaderTest, ALargeDecisionPointNamedAgainAndAgainIsRefused) {
  std::vector<std::string> Many(2000, "c");
  DecisionWith(Many);  // decision point 1: 2001 options
  struct Row {
    const char* Name;
    uint16_t Index;
    int Times;
    bool Loads;
  };
  const Row Rows[] = {
      {"a small decision point many times", 0, 20, true},
      {"a large decision point once", 1, 1, true},
      {"a large decision point twice", 1, 2, false},
      {"a large decision point 200 times", 1, 200, false},
  };
  for (const Row& Case : Rows) {
    SCOPED_TRACE(Case.Name);
    GraphSection Graph;
    for (int I = 0; I < Case.Times; ++I)
      Graph.Add({.Kind = gkDecision, .Index = Case.Index, .Left = 0, .Top = 0});
    SchemeWriter Bytes;
    WriteGraph(Bytes, Graph);
    if (Case.Loads) {
      Load(Bytes);
      EXPECT_EQ(Scheme.ElementCount(), Case.Times);
    } else {
      EXPECT_RAISES_WHAT(Load(Bytes), "Flow graph names its decision points too often.");
    }
    ExpectNoStrayPoints();
  }
}

TEST_F(GraphReaderTest, ASecondLinkFromOneOutputKeepsTheFirst) {
  GraphSection Graph = SampleSection();
  Graph.Links[3].FromPoint = 0;  // decision option 0 again, now to action 1
  SchemeWriter Bytes;
  WriteGraph(Bytes, Graph);
  EXPECT_THROW(Load(Bytes), EAbort);
  ASSERT_EQ(Scheme.LinkCount(), 3);
  EXPECT_EQ(Scheme.Links(2)->Target()->Element(), Scheme.Elements(4));
  EXPECT_EQ(Scheme.ElementCount(), 7);
}

TEST_F(GraphReaderTest, TruncationAnywhereInTheSectionReadsBeyondTheEnd) {
  SchemeWriter Whole;
  WriteGraph(Whole, SampleSection());
  const std::vector<uint8_t>& Bytes = Whole.Bytes();
  for (size_t Size = 0; Size < Bytes.size(); ++Size) {
    SCOPED_TRACE(Size);
    SchemeWriter Cut;
    Cut.Raw(Bytes.data(), Size);
    EXPECT_RAISES_WHAT(Load(Cut), kReadBeyondEnd);
    ExpectNoStrayPoints();
  }
  Load(Whole);
  EXPECT_EQ(Scheme.LinkCount(), 8);
}

TEST_F(GraphReaderTest, ASecondLoadLeavesOnlyTheSecondGraph) {
  SchemeWriter First;
  WriteGraph(First, SampleSection());
  Load(First);
  SchemeEventLog Log(Scheme);
  TSchemeElement* OldFinish = Scheme.Elements(1);
  Log.Name(OldFinish, "old finish");

  GraphSection Second;
  Second.Add({.Kind = gkStart});
  Second.Add({.Kind = gkFinish, .Left = 5});
  Second.Link(0, 0, 1);
  SchemeWriter Bytes;
  WriteGraph(Bytes, Second);
  Load(Bytes);
  ASSERT_EQ(Scheme.ElementCount(), 2);
  EXPECT_EQ(Scheme.LinkCount(), 1);
  EXPECT_EQ(Scheme.PointCount(), 2);
  EXPECT_EQ(Scheme.Elements(1)->Left(), 5);
  // The first graph went with its events: links first, then elements; then the new link.
  ASSERT_EQ(Log.Events.size(), 8u + 7u + 1u);
  EXPECT_EQ(Log.Events[0].rfind("remove link", 0), 0u);
  EXPECT_EQ(Log.Events[8].rfind("remove element", 0), 0u);
  EXPECT_EQ(Log.Events[9], "remove element old finish");
  EXPECT_EQ(Log.Events[15].rfind("add link", 0), 0u);
}

TEST_F(GraphReaderTest, ChainedFlowGraphLinksEveryOutputOnceWithoutLoops) {
  // The template of the fixture, as the generator sees it: two screens, two actions and one
  // decision point of two conditions.
  TemplateRecord Record;
  Record.Screens.resize(2);
  Record.Actions.resize(2);
  Record.DecisionPoints.push_back({.Name = "", .Conditions = {"x", "y"}});
  const GraphSection Graph = ChainedFlowGraph(Record);
  SchemeWriter Bytes;
  WriteGraph(Bytes, Graph);
  Load(Bytes);

  ASSERT_EQ(Scheme.ElementCount(), 7);
  EXPECT_NE(dynamic_cast<TSpecStartElement*>(Scheme.Elements(0)), nullptr);
  EXPECT_NE(dynamic_cast<TSpecFinishElement*>(Scheme.Elements(1)), nullptr);
  for (int32_t P = 0; P < Scheme.PointCount(); ++P) {
    const TSchemeConnectionPoint* Point = Scheme.Points(P);
    if (!Point->Multi()) {
      EXPECT_NE(Point->Link(), nullptr);
    }
  }
  // Following the links from the start reaches the finish on every path, and each of the
  // decision point's conditional options runs through its own action.
  auto* Decision = dynamic_cast<TSpecDecisionElement*>(Scheme.Elements(3));
  ASSERT_NE(Decision, nullptr);
  const auto Next = [](const TSchemeElement* E, int32_t Point) {
    return E->OutputPoints(Point)->Link()->Target()->Element();
  };
  const TSchemeElement* Rejoin = Next(Decision, 2);  // the default option
  EXPECT_EQ(Rejoin, Scheme.Elements(4));             // screen 1
  const TSchemeElement* ViaY = Next(Decision, 0);
  const TSchemeElement* ViaX = Next(Decision, 1);
  EXPECT_NE(dynamic_cast<const TSpecActionElement*>(ViaY), nullptr);
  EXPECT_NE(dynamic_cast<const TSpecActionElement*>(ViaX), nullptr);
  EXPECT_NE(ViaX, ViaY);
  EXPECT_EQ(Next(ViaX, 0), Rejoin);
  EXPECT_EQ(Next(ViaY, 0), Rejoin);
  EXPECT_EQ(Next(Rejoin, 0), Scheme.Elements(1));
  EXPECT_EQ(Next(Scheme.Elements(0), 0), Scheme.Elements(2));
}

}  // namespace
