#include "graph/visual.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "platform/errors.h"
#include "tests/support/graph_support.h"

namespace {

using Events = std::vector<std::string>;

// A scheme with a counting host and an event log; elements are base elements (input point
// at the top, output point at the bottom) named for the log.
class SchemeTest : public ::testing::Test {
 protected:
  TSchemeElement* Add(const std::string& Name, int32_t Left = 0, int32_t Top = 0) {
    TSchemeElement* Element = Scheme.AddElement(TSchemeElement::Create(&Scheme));
    Element->SetLeft(Left);
    Element->SetTop(Top);
    Log.Name(Element, Name);
    return Element;
  }
  static TSchemeConnectionPoint* In(TSchemeElement* Element) { return Element->InputPoints(0); }
  static TSchemeConnectionPoint* Out(TSchemeElement* Element, int32_t Index = 0) {
    return Element->OutputPoints(Index);
  }

  FakeSchemeHost Host;
  TScheme Scheme{&Host};
  SchemeEventLog Log{Scheme};
};

TEST_F(SchemeTest, NewSchemeAndElementStartFromTheirDefaults) {
  TScheme Bare;
  EXPECT_EQ(Bare.Host(), nullptr);
  EXPECT_EQ(Bare.Mode(), smNormal);
  EXPECT_EQ(Bare.ScrollX(), -1);
  EXPECT_EQ(Bare.ScrollY(), -1);
  EXPECT_EQ(Bare.GridX(), 1);
  EXPECT_EQ(Bare.GridY(), 1);
  EXPECT_TRUE(Bare.EventsEnabled);
  EXPECT_FALSE(Bare.EditLocked || Bare.ShowGrid || Bare.UpdateLocked() || Bare.LinkSeeksInput);
  EXPECT_EQ(Bare.Selection().Kind(), TSchemeSelection::skNone);
  EXPECT_EQ(Bare.MoveInfo().State(), TSchemeMoveInfo::msIdle);
  EXPECT_EQ(Bare.MoveInfo().CurX(), -1);
  EXPECT_EQ(Bare.MoveInfo().FrameHeight(), -1);
  EXPECT_FALSE(Bare.Marquee().Active());
  EXPECT_EQ(Bare.Marquee().EndY(), -1);
  Bare.Repaint();  // no host: nothing to ask

  auto Element = TSchemeElement::Create(&Bare);
  EXPECT_EQ(Element->Width(), 60);
  EXPECT_EQ(Element->Height(), 40);
  ASSERT_EQ(Element->InputPointCount(), 1);
  ASSERT_EQ(Element->OutputPointCount(), 1);
  EXPECT_EQ(Element->InputPoints(0)->X(), 30);
  EXPECT_EQ(Element->InputPoints(0)->Y(), 0);
  EXPECT_TRUE(Element->InputPoints(0)->Multi());
  EXPECT_EQ(Element->OutputPoints(0)->Y(), 39);
  // Points are registered before the element is added, input point first.
  ASSERT_EQ(Bare.PointCount(), 2);
  EXPECT_EQ(Bare.Points(0), Element->InputPoints(0));
  EXPECT_EQ(Bare.ElementCount(), 0);
  EXPECT_EQ(Bare.IndexOfElement(Element.get()), -1);
  Element.reset();
  EXPECT_EQ(Bare.PointCount(), 0);
}

TEST_F(SchemeTest, AddLinkConnectsAnOutputToAnInput) {
  TSchemeElement* A = Add("a");
  TSchemeElement* B = Add("b");
  const int Before = Host.Repaints;
  TSchemeLink* Link = Scheme.AddLink(Out(A), In(B));
  EXPECT_EQ(Log.Events, Events{"add link a->b"});
  EXPECT_GT(Host.Repaints, Before);
  EXPECT_EQ(Scheme.LinkCount(), 1);
  EXPECT_EQ(Scheme.Links(0), Link);
  EXPECT_EQ(Link->Scheme(), &Scheme);
  EXPECT_EQ(Link->Source(), Out(A));
  EXPECT_EQ(Link->Target(), In(B));
  EXPECT_FALSE(Link->Selected());
  EXPECT_EQ(Out(A)->Link(), Link);
  ASSERT_EQ(In(B)->Links().Count(), 1);
  EXPECT_EQ(In(B)->Links().Items(0), Link);
  EXPECT_EQ(In(B)->Links().Point(), In(B));

  // An element may link to itself, and an input point takes any number of links.
  TSchemeLink* Self = Scheme.AddLink(Out(B), In(B));
  EXPECT_EQ(In(B)->Links().Count(), 2);
  EXPECT_EQ(In(B)->Links().IndexOf(Self), 1);
}

TEST_F(SchemeTest, ASecondOutputPointMayLinkTheSameTwoElements) {
  TSchemeElement* A = Add("a");
  TSchemeElement* B = Add("b");
  TSchemeConnectionPoint* Second = A->AddPoint(10, 39, false);
  Scheme.AddLink(Out(A), In(B));
  Scheme.AddLink(Second, In(B));
  EXPECT_EQ(Scheme.LinkCount(), 2);
  EXPECT_EQ(A->IndexOfOutputPoint(Second), 1);
}

TEST_F(SchemeTest, ForbiddenLinksAbortWithNothingChanged) {
  TSchemeElement* A = Add("a");
  TSchemeElement* B = Add("b");
  TScheme Other;
  auto Foreign = TSchemeElement::Create(&Other);
  TSchemeLink* Existing = Scheme.AddLink(Out(A), In(B));
  Log.Events.clear();

  struct Row {
    const char* Name;
    TSchemeConnectionPoint* Source;
    TSchemeConnectionPoint* Target;
  };
  const Row Rows[] = {
      {"second link from an output", Out(A), In(A)},
      {"from an input point", In(A), In(B)},
      {"to an output point", Out(B), Out(A)},
      {"input to output", In(B), Out(B)},
      {"from another scheme's point", Out(Foreign.get()), In(B)},
      {"to another scheme's point", Out(B), In(Foreign.get())},
      {"no source", nullptr, In(B)},
      {"no target", Out(B), nullptr},
  };
  for (const Row& Case : Rows) {
    SCOPED_TRACE(Case.Name);
    const int Repaints = Host.Repaints;
    EXPECT_THROW(Scheme.AddLink(Case.Source, Case.Target), EAbort);
    EXPECT_EQ(Scheme.LinkCount(), 1);
    EXPECT_EQ(Scheme.Links(0), Existing);
    EXPECT_EQ(Out(A)->Link(), Existing);
    EXPECT_EQ(Out(B)->Link(), nullptr);
    EXPECT_EQ(In(A)->Links().Count(), 0);
    EXPECT_EQ(In(B)->Links().Count(), 1);
    EXPECT_EQ(Out(Foreign.get())->Link(), nullptr);
    EXPECT_EQ(In(Foreign.get())->Links().Count(), 0);
    EXPECT_TRUE(Log.Events.empty());
    EXPECT_EQ(Host.Repaints, Repaints);
  }
  try {
    Scheme.AddLink(Out(A), In(A));
  } catch (const EAbort& Abort) {
    EXPECT_STREQ(Abort.what(), "Operation aborted");
  }
}

TEST_F(SchemeTest, DeletingAnElementRemovesItThenItsOutgoingThenItsIncomingLinks) {
  TSchemeElement* A = Add("a");
  TSchemeElement* B = Add("b");
  TSchemeElement* C = Add("c");
  Scheme.AddLink(Out(A), In(B));
  TSchemeLink* Kept = Scheme.AddLink(Out(C), In(A));
  Scheme.AddLink(Out(B), In(C));
  Log.Events.clear();

  Scheme.DeleteElement(B);
  EXPECT_EQ(Log.Events, (Events{"remove element b", "remove link b->c", "remove link a->b"}));
  EXPECT_EQ(Scheme.ElementCount(), 2);
  EXPECT_EQ(Scheme.IndexOfElement(C), 1);
  ASSERT_EQ(Scheme.LinkCount(), 1);
  EXPECT_EQ(Scheme.Links(0), Kept);
  EXPECT_EQ(Out(A)->Link(), nullptr);
  EXPECT_EQ(In(C)->Links().Count(), 0);
  // b's two points are no longer registered.
  EXPECT_EQ(Scheme.PointCount(), 4);
}

TEST_F(SchemeTest, NoEventFiresWhileEventsAreDisabledYetTheGraphChanges) {
  Scheme.EventsEnabled = false;
  TSchemeElement* A = Add("a");
  TSchemeElement* B = Add("b");
  Scheme.AddLink(Out(A), In(B));
  Scheme.Selection().Select(A);
  Scheme.SetMode(smNewLink);
  Scheme.DeleteElement(B);
  EXPECT_EQ(Scheme.LinkCount(), 0);
  EXPECT_EQ(Scheme.ElementCount(), 1);
  EXPECT_EQ(Scheme.Mode(), smNewLink);
  EXPECT_TRUE(Log.Events.empty());
  const int Repaints = Host.Repaints;
  Scheme.ClearElements();
  EXPECT_GT(Host.Repaints, Repaints);  // repaints are not gated
  EXPECT_TRUE(Log.Events.empty());
}

TEST_F(SchemeTest, DeletingTheSelectedElementOrLinkClearsTheSelectionFirst) {
  TSchemeElement* A = Add("a");
  TSchemeElement* B = Add("b");
  TSchemeLink* Link = Scheme.AddLink(Out(A), In(B));
  Scheme.Selection().Select(Link);
  EXPECT_TRUE(Link->Selected());
  EXPECT_EQ(Scheme.Selection().Kind(), TSchemeSelection::skLink);
  EXPECT_EQ(Scheme.Selection().SelectedElement(), nullptr);
  Log.Events.clear();
  Scheme.DeleteLink(Link);
  EXPECT_EQ(Log.Events, (Events{"selection", "remove link a->b"}));
  EXPECT_EQ(Scheme.Selection().Kind(), TSchemeSelection::skNone);

  Scheme.Selection().Select(B);
  EXPECT_TRUE(B->Selected());
  EXPECT_EQ(Scheme.Selection().SelectedElement(), B);
  Log.Events.clear();
  Scheme.DeleteElement(A);  // not the selected one
  EXPECT_EQ(Log.Events, Events{"remove element a"});
  Scheme.DeleteElement(B);
  EXPECT_EQ(Log.Events, (Events{"remove element a", "selection", "remove element b"}));
  EXPECT_EQ(Scheme.Selection().SelectedElement(), nullptr);
}

TEST_F(SchemeTest, SelectionNotifiesOnEveryChangeButClearingNothing) {
  TSchemeElement* A = Add("a");
  TSchemeElement* B = Add("b");
  Scheme.Selection().Clear();
  Scheme.Selection().Select(static_cast<TSchemeElement*>(nullptr));
  EXPECT_TRUE(Log.Events.empty());
  Scheme.Selection().Select(A);
  EXPECT_EQ(Log.Events, Events{"selection"});
  Scheme.Selection().Select(B);  // clears a first: two notifications
  EXPECT_EQ(Log.Events, (Events{"selection", "selection", "selection"}));
  EXPECT_FALSE(A->Selected());
  EXPECT_TRUE(B->Selected());
  EXPECT_EQ(Scheme.Selection().Count(), 0);
  EXPECT_EQ(Scheme.Selection().Items(0), nullptr);
}

TEST_F(SchemeTest, ToggleBuildsAndShrinksASelectionOfSeveral) {
  TSchemeElement* A = Add("a", 10, 20);
  TSchemeElement* B = Add("b", 100, 5);
  TSchemeElement* C = Add("c", -4, 50);
  TSchemeSelection& Selection = Scheme.Selection();
  Selection.Toggle(A);
  EXPECT_EQ(Selection.SelectedElement(), A);
  Selection.Toggle(A);  // the single selected element: nothing remains
  EXPECT_EQ(Selection.Kind(), TSchemeSelection::skNone);
  EXPECT_FALSE(A->Selected());

  Selection.Select(A);
  Selection.Toggle(B);
  ASSERT_EQ(Selection.Kind(), TSchemeSelection::skElements);
  EXPECT_EQ(Selection.Count(), 2);
  EXPECT_EQ(Selection.Items(0), A);
  EXPECT_EQ(Selection.Items(1), B);
  EXPECT_EQ(Selection.SelectedElement(), nullptr);
  EXPECT_TRUE(A->Selected() && B->Selected());
  Selection.Toggle(C);
  EXPECT_EQ(Selection.Count(), 3);
  EXPECT_EQ(Selection.BoundsLeft(), -4);
  EXPECT_EQ(Selection.BoundsTop(), 5);
  EXPECT_EQ(Selection.BoundsWidth(), 164);  // to b's right edge at 160
  EXPECT_EQ(Selection.BoundsHeight(), 85);  // to c's bottom edge at 90
  Selection.Toggle(C);
  Selection.Toggle(A);  // one of two: the other stays as the single selection
  EXPECT_EQ(Selection.Kind(), TSchemeSelection::skElement);
  EXPECT_EQ(Selection.SelectedElement(), B);
  EXPECT_FALSE(A->Selected() || C->Selected());
  EXPECT_EQ(Selection.BoundsWidth(), 0);
}

TEST_F(SchemeTest, DeletingAMemberOfASelectionOfSeveralClearsIt) {
  TSchemeElement* A = Add("a");
  TSchemeElement* B = Add("b");
  TSchemeElement* C = Add("c");
  Scheme.Selection().Select(A);
  Scheme.Selection().Toggle(B);
  Scheme.Selection().Toggle(C);
  Log.Events.clear();
  Scheme.DeleteElement(B);
  EXPECT_EQ(Log.Events, (Events{"selection", "remove element b"}));
  EXPECT_EQ(Scheme.Selection().Kind(), TSchemeSelection::skNone);
  EXPECT_FALSE(A->Selected() || C->Selected());
}

TEST_F(SchemeTest, ObjectsThatTheSchemeDoesNotListAreLeftAlone) {
  TSchemeElement* A = Add("a");
  TSchemeElement* B = Add("b");
  TScheme Other;
  TSchemeElement* OtherA = Other.AddElement(TSchemeElement::Create(&Other));
  TSchemeElement* OtherB = Other.AddElement(TSchemeElement::Create(&Other));
  TSchemeLink* OtherLink = Other.AddLink(Out(OtherA), In(OtherB));
  Scheme.AddLink(Out(A), In(B));
  Log.Events.clear();

  Scheme.DeleteLink(OtherLink);
  Scheme.DeleteElement(OtherA);
  Scheme.DeleteLink(nullptr);
  Scheme.DeleteElement(nullptr);
  EXPECT_TRUE(Log.Events.empty());
  EXPECT_EQ(Other.LinkCount(), 1);
  EXPECT_EQ(Other.ElementCount(), 2);
  EXPECT_EQ(Out(OtherA)->Link(), OtherLink);
  EXPECT_EQ(Scheme.LinkCount(), 1);

  // Another scheme's element cannot be added; it is freed and its scheme keeps no point of it.
  const int32_t OtherPoints = Other.PointCount();
  EXPECT_THROW(Scheme.AddElement(TSchemeElement::Create(&Other)), EAbort);
  EXPECT_EQ(Other.PointCount(), OtherPoints);
  EXPECT_EQ(Scheme.ElementCount(), 2);
}

TEST_F(SchemeTest, AHandlerThatDeletesTheOtherEndOfARemovedLinkIsSafe) {
  TSchemeElement* A = Add("a");
  TSchemeElement* B = Add("b");
  Scheme.AddLink(Out(A), In(B));
  Scheme.OnRemoveLink = [&](TScheme* Sender, TSchemeLink* Link) {
    Sender->OnRemoveLink = nullptr;
    Sender->DeleteElement(Link->Target()->Element());
  };
  Scheme.DeleteElement(A);
  EXPECT_EQ(Scheme.ElementCount(), 0);
  EXPECT_EQ(Scheme.LinkCount(), 0);
  EXPECT_EQ(Scheme.PointCount(), 0);
}

TEST(SchemeLifetime, DestroyingTheSchemeRemovesLinksThenElementsWithEvents) {
  Events Seen;
  auto Local = std::make_unique<TScheme>();
  TSchemeElement* A = Local->AddElement(TSchemeElement::Create(Local.get()));
  TSchemeElement* B = Local->AddElement(TSchemeElement::Create(Local.get()));
  Local->AddLink(A->OutputPoints(0), B->InputPoints(0));
  Local->Selection().Select(A);
  const auto Name = [&](const TSchemeElement* E) { return std::string(E == A ? "a" : "b"); };
  Local->OnRemoveElement = [&](TScheme*, TSchemeElement* E) {
    Seen.push_back("remove element " + Name(E));
  };
  Local->OnRemoveLink = [&](TScheme*, TSchemeLink* L) {
    Seen.push_back("remove link " + Name(L->Source()->Element()) + "->" +
                   Name(L->Target()->Element()));
  };
  Local->OnSelectionChange = [&](TScheme*) { Seen.push_back("selection"); };
  Local.reset();
  EXPECT_EQ(Seen,
            (Events{"remove link a->b", "selection", "remove element a", "remove element b"}));
}

TEST_F(SchemeTest, ClearingAnEmptySchemeDoesNothing) {
  Scheme.ClearLinks();
  Scheme.ClearElements();
  EXPECT_TRUE(Log.Events.empty());
  EXPECT_EQ(Host.Repaints, 0);
}

TEST_F(SchemeTest, IndexLookUpsAndAccessors) {
  TSchemeElement* A = Add("a");
  auto Loose = TSchemeElement::Create(&Scheme);
  EXPECT_EQ(Scheme.IndexOfElement(Loose.get()), -1);
  EXPECT_EQ(Scheme.IndexOfElement(A), 0);
  EXPECT_EQ(A->IndexOfOutputPoint(In(A)), -1);
  EXPECT_EQ(A->IndexOfOutputPoint(Out(A)), 0);

  struct Row {
    const char* Name;
    std::function<void()> Access;
    const char* Message;
  };
  const Row Rows[] = {
      {"links", [&] { Scheme.Links(0); }, "List index out of bounds (0)"},
      {"elements", [&] { Scheme.Elements(1); }, "List index out of bounds (1)"},
      {"points", [&] { Scheme.Points(-1); }, "List index out of bounds (-1)"},
      {"output points", [&] { A->OutputPoints(1); }, "List index out of bounds (1)"},
      {"input points", [&] { A->InputPoints(7); }, "List index out of bounds (7)"},
      {"point's links", [&] { In(A)->Links().Items(0); }, "List index out of bounds (0)"},
      {"delete output point", [&] { A->DeleteOutputPoint(3); }, "List index out of bounds (3)"},
  };
  for (const Row& Case : Rows) {
    SCOPED_TRACE(Case.Name);
    try {
      Case.Access();
      ADD_FAILURE() << "no error";
    } catch (const EListError& Error) {
      EXPECT_STREQ(Error.what(), Case.Message);
    }
  }
  EXPECT_EQ(A->OutputPointCount(), 1);
  EXPECT_EQ(Scheme.PointCount(), 4);
}

TEST_F(SchemeTest, LinkListKeepsEachLinkOnce) {
  TSchemeElement* A = Add("a");
  TSchemeElement* B = Add("b");
  TSchemeLink* Link = Scheme.AddLink(Out(A), In(B));
  TSchemeLinkList& List = In(B)->Links();
  EXPECT_EQ(List.Add(Link), 0);
  EXPECT_EQ(List.Count(), 1);
  EXPECT_TRUE(In(B)->AttachLink(Link));  // an input point accepts it again, listed once
  EXPECT_EQ(List.Count(), 1);
  EXPECT_FALSE(In(B)->AttachLink(nullptr));
  EXPECT_FALSE(Out(B)->AttachLink(nullptr));
  Out(B)->DetachLink(Link);  // not its link: nothing
  EXPECT_EQ(Out(A)->Link(), Link);
  List.Remove(nullptr);
  EXPECT_EQ(List.Count(), 1);
}

TEST_F(SchemeTest, SetModeFiresOnlyOnAChange) {
  Scheme.SetMode(smNormal);
  EXPECT_TRUE(Log.Events.empty());
  Scheme.SetMode(smNewLink);
  Scheme.SetMode(smNewLink);
  Scheme.SetMode(smNewBoundedElement);
  EXPECT_EQ(Log.Events, (Events{"mode 0->2", "mode 2->7"}));
  EXPECT_EQ(Scheme.Mode(), smNewBoundedElement);
}

TEST_F(SchemeTest, RepaintRequests) {
  TSchemeElement* A = Add("a");
  struct Row {
    const char* Name;
    std::function<void()> Change;
    int Repaints;
  };
  const Row Rows[] = {
      {"scroll x changes", [&] { Scheme.SetScrollX(5); }, 1},
      {"scroll x stays", [&] { Scheme.SetScrollX(5); }, 0},
      {"scroll y changes", [&] { Scheme.SetScrollY(-7); }, 1},
      {"begin update", [&] { Scheme.BeginUpdate(); }, 0},
      {"end update", [&] { Scheme.EndUpdate(); }, 1},
      {"select element", [&] { A->SetSelected(true); }, 1},
      {"select it again", [&] { A->SetSelected(true); }, 0},
      {"width too small", [&] { A->SetWidth(39); }, 0},
      {"height too small", [&] { A->SetHeight(29); }, 0},
      {"same width", [&] { A->SetWidth(60); }, 0},
      {"new width", [&] { A->SetWidth(80); }, 1},
      {"point added", [&] { A->AddPoint(1, 1, true); }, 1},
      {"point removed", [&] { A->DeleteInputPoint(1); }, 1},
      {"repaint links of an unlinked point", [&] { In(A)->RepaintLinks(); }, 0},
  };
  for (const Row& Case : Rows) {
    SCOPED_TRACE(Case.Name);
    const int Before = Host.Repaints;
    Case.Change();
    EXPECT_EQ(Host.Repaints - Before, Case.Repaints);
  }
  EXPECT_EQ(Scheme.ScrollX(), 5);
  EXPECT_EQ(Scheme.ScrollY(), -7);
  EXPECT_FALSE(Scheme.UpdateLocked());
  Scheme.BeginUpdate();
  Scheme.BeginUpdate();
  EXPECT_TRUE(Scheme.UpdateLocked());
  Scheme.EndUpdate();  // not counted
  EXPECT_FALSE(Scheme.UpdateLocked());
  EXPECT_EQ(A->Width(), 80);
}

TEST_F(SchemeTest, BoundsKeepTheMinimumSizeAndSnapToTheGrid) {
  struct Row {
    const char* Name;
    int32_t GridX = 1;
    int32_t GridY = 1;
    std::optional<int32_t> Left = {}, Top = {}, Width = {}, Height = {};
    int32_t WantLeft = 0, WantTop = 0, WantWidth = 60, WantHeight = 40;
  };
  const Row Rows[] = {
      {.Name = "minimum size", .Width = 40, .Height = 30, .WantWidth = 40, .WantHeight = 30},
      {.Name = "width below 40", .Width = 39},
      {.Name = "height below 30", .Height = 29},
      {.Name = "grid 1 keeps any value", .Left = -13, .Top = 7, .WantLeft = -13, .WantTop = 7},
      {.Name = "-5 truncates to 0", .GridX = 10, .Left = -5},
      {.Name = "-15 truncates to -10", .GridX = 10, .Left = -15, .WantLeft = -10},
      {.Name = "47 goes to 40", .GridX = 10, .Left = 47, .WantLeft = 40},
      {.Name = "top on its own grid", .GridX = 10, .GridY = 4, .Top = 11, .WantTop = 8},
      {.Name = "grid below 1 is 1",
       .GridX = 0,
       .GridY = -3,
       .Left = 7,
       .Top = 9,
       .WantLeft = 7,
       .WantTop = 9},
  };
  for (const Row& Case : Rows) {
    SCOPED_TRACE(Case.Name);
    Scheme.SetGridX(Case.GridX);
    Scheme.SetGridY(Case.GridY);
    auto Element = TSchemeElement::Create(&Scheme);
    if (Case.Left) Element->SetLeft(*Case.Left);
    if (Case.Top) Element->SetTop(*Case.Top);
    if (Case.Width) Element->SetWidth(*Case.Width);
    if (Case.Height) Element->SetHeight(*Case.Height);
    EXPECT_EQ(Element->Left(), Case.WantLeft);
    EXPECT_EQ(Element->Top(), Case.WantTop);
    EXPECT_EQ(Element->Width(), Case.WantWidth);
    EXPECT_EQ(Element->Height(), Case.WantHeight);
  }
}

TEST_F(SchemeTest, SetBoundsStoresThenSnaps) {
  Scheme.SetGridX(10);
  Scheme.SetGridY(10);
  TSchemeElement* A = Add("a");
  const int Before = Host.Repaints;
  EXPECT_TRUE(A->SetBounds(47, 33, 70, 50));
  // Stored as given, then snapped left, then snapped top: three repaints.
  EXPECT_EQ(Host.Repaints - Before, 3);
  EXPECT_EQ(A->Left(), 40);
  EXPECT_EQ(A->Top(), 30);
  EXPECT_EQ(A->Width(), 70);
  EXPECT_EQ(A->Height(), 50);
  EXPECT_FALSE(A->SetBounds(0, 0, 39, 50));
  EXPECT_EQ(A->Left(), 40);
  EXPECT_EQ(Out(A)->AbsoluteX(), 70);  // the base element does not move its points
  EXPECT_EQ(Out(A)->AbsoluteY(), 69);
  EXPECT_EQ(Out(A)->BoxLeft(), 68);
  EXPECT_EQ(Out(A)->BoxTop(), 67);
}

TEST_F(SchemeTest, ElementContainsItsHalfOpenRectangle) {
  TSchemeElement* A = Add("a", 10, 20);
  struct Row {
    int32_t X, Y;
    bool Inside;
  };
  const Row Rows[] = {{10, 20, true},  {69, 59, true}, {70, 20, false},
                      {10, 60, false}, {9, 30, false}, {30, 19, false}};
  for (const Row& Case : Rows) {
    SCOPED_TRACE(std::to_string(Case.X) + "," + std::to_string(Case.Y));
    EXPECT_EQ(A->ContainsPoint(Case.X, Case.Y), Case.Inside);
  }
}

TEST(GraphGeometry, VectorAngle) {
  constexpr long double Pi = std::numbers::pi_v<long double>;
  struct Row {
    long double X1, Y1, X2, Y2, Angle;
  };
  const Row Rows[] = {
      {0, 0, -5, 0, Pi},         {0, 0, 0, 5, Pi / 2},
      {3, 3, 3, 3, 0},           {0, 0, 0, -5, 3 * Pi / 2},
      {0, 0, 5, 0, 0},           {0, 0, 1, 1, Pi / 4},
      {0, 0, -1, 1, 3 * Pi / 4}, {0, 0, -1, -1, 5 * Pi / 4},
      {0, 0, 1, -1, 7 * Pi / 4},
  };
  for (const Row& Case : Rows) {
    SCOPED_TRACE(::testing::Message() << Case.X2 << "," << Case.Y2);
    EXPECT_NEAR(static_cast<double>(VectorAngle(Case.X1, Case.Y1, Case.X2, Case.Y2)),
                static_cast<double>(Case.Angle), 1e-15);
  }
  EXPECT_EQ(VectorAngle(0, 0, -5, 0), Pi);
  EXPECT_EQ(PointDistance(1, 2, 4, 6), 5);
}

TEST_F(SchemeTest, LinkDistanceAndHitTest) {
  // Elements placed so that the link runs from (0, 0) to (100, 0).
  TSchemeElement* A = Add("a", -30, -39);
  TSchemeElement* B = Add("b", 70, 0);
  TSchemeLink* Link = Scheme.AddLink(Out(A), In(B));
  ASSERT_EQ(Out(A)->AbsoluteX(), 0);
  ASSERT_EQ(Out(A)->AbsoluteY(), 0);
  ASSERT_EQ(In(B)->AbsoluteX(), 100);
  struct Row {
    int32_t X, Y, Distance;
  };
  const Row Rows[] = {
      {50, 2, 2},   {50, -2, 2},  {50, 3, 3},
      {-10, 0, 10}, {120, 0, 20}, {0, 0, 0},
      {100, 0, 0},  {-3, -4, 5},  {103, 4, 4} /* beside, not beyond: the perpendicular wins */,
  };
  for (const Row& Case : Rows) {
    SCOPED_TRACE(std::to_string(Case.X) + "," + std::to_string(Case.Y));
    EXPECT_EQ(Link->DistanceTo(Case.X, Case.Y), Case.Distance);
    EXPECT_EQ(Link->HitTest(Case.X, Case.Y), Case.Distance < 3);
  }
}

}  // namespace

namespace {

// A long link list answers membership from a set and drops its first entry without moving
// the rest; both must keep the list's order and indexes exact.
TEST_F(SchemeTest, LongLinkListsKeepTheirOrderWhileClearedFromEitherEnd) {
  TSchemeElement* Target = Add("t");
  std::vector<TSchemeLink*> Links;
  for (int I = 0; I < 40; ++I) Links.push_back(Scheme.AddLink(Out(Add("s")), In(Target)));
  TSchemeLinkList& List = In(Target)->Links();
  ASSERT_EQ(List.Count(), 40);
  EXPECT_EQ(List.Add(Links[7]), 7);  // already listed: its index, no second entry
  EXPECT_EQ(List.Count(), 40);

  Scheme.DeleteLink(Links[0]);   // the front
  Scheme.DeleteLink(Links[39]);  // the back
  Scheme.DeleteLink(Links[20]);  // the middle
  ASSERT_EQ(List.Count(), 37);
  EXPECT_EQ(List.Items(0), Links[1]);
  EXPECT_EQ(List.IndexOf(Links[21]), 19);
  EXPECT_EQ(List.IndexOf(Links[20]), -1);
  for (int I = 1; I < 30; ++I)
    if (I != 20) Scheme.DeleteLink(Links[I]);  // past the head's give-back
  ASSERT_EQ(List.Count(), 9);
  EXPECT_EQ(List.Items(0), Links[30]);
  EXPECT_EQ(List.IndexOf(Links[38]), 8);

  Scheme.ClearLinks();
  EXPECT_EQ(List.Count(), 0);
  EXPECT_EQ(List.IndexOf(Links[30]), -1);
}

}  // namespace
