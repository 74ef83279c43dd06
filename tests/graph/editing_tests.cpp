// Editing the diagram with the mouse: sequences of presses, moves and releases, each checked
// for the resulting selection, positions, links, events, mode and cursor.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "graph/visual.h"
#include "tests/support/graph_support.h"

namespace {

using Events = std::vector<std::string>;
using Button = TSchemeMouseButton;

// Three base elements (60 x 40, input point at the top centre, output point at the bottom
// centre) on a 400 x 300 control scrolled to (0, 0):
//   a at (40, 40): input (70, 40), output (70, 79)
//   b at (200, 40): input (230, 40), output (230, 79)
//   c at (40, 150): input (70, 150), output (70, 189)
struct Board {
  Board() {
    Host.ClientWidth = 400;
    Host.ClientHeight = 300;
    Host.DrawingCanvas = &Canvas;
    Scheme.SetScrollX(0);
    Scheme.SetScrollY(0);
    A = Add("a", 40, 40);
    B = Add("b", 200, 40);
    C = Add("c", 40, 150);
  }
  TSchemeElement* Add(const std::string& Name, int32_t Left, int32_t Top) {
    TSchemeElement* Element = Scheme.AddElement(TSchemeElement::Create(&Scheme));
    Element->SetBounds(Left, Top, 60, 40);
    Log.Name(Element, Name);
    return Element;
  }
  TSchemeLink* Link(TSchemeElement* From, TSchemeElement* To) {
    return Scheme.AddLink(From->OutputPoints(0), To->InputPoints(0));
  }

  std::string Selection() const {
    const TSchemeSelection& S = Scheme.Selection();
    switch (S.Kind()) {
      case TSchemeSelection::skNone:
        return "none";
      case TSchemeSelection::skElement:
        return "element " + Log.Label(S.SelectedElement());
      case TSchemeSelection::skLink:
        return "link " + Log.LinkLabel(S.SelectedLink());
      case TSchemeSelection::skElements: {
        std::string Text = "elements";
        for (int32_t I = 0; I < S.Count(); ++I)
          Text += (I == 0 ? " " : ",") + Log.Label(S.Items(I));
        return Text;
      }
    }
    return "?";
  }
  std::string Positions() const {
    std::string Text;
    for (int32_t I = 0; I < Scheme.ElementCount(); ++I) {
      const TSchemeElement* E = Scheme.Elements(I);
      Text += (I == 0 ? "" : " ") + Log.Label(E) + " " + std::to_string(E->Left()) + "," +
              std::to_string(E->Top());
    }
    return Text;
  }
  std::string Links() const {
    std::string Text;
    for (int32_t I = 0; I < Scheme.LinkCount(); ++I)
      Text += (I == 0 ? "" : " ") + Log.LinkLabel(Scheme.Links(I));
    return Text;
  }

  RecordingCanvas Canvas;
  FakeSchemeHost Host;
  TScheme Scheme{&Host};
  SchemeEventLog Log{Scheme};
  TSchemeElement* A;
  TSchemeElement* B;
  TSchemeElement* C;
};

struct Step {
  enum TKind { Down, Move, Up, Act } Kind;
  int32_t X, Y;
  bool Shift = false;
  Button Pressed = Button::Left;
  // What a caller does between two mouse events.
  std::function<void(Board&)> Action = nullptr;
};
Step Down(int32_t X, int32_t Y, bool Shift = false) {
  return {Step::Down, X, Y, Shift};
}
Step Move(int32_t X, int32_t Y) {
  return {Step::Move, X, Y};
}
Step Up(int32_t X, int32_t Y, bool Shift = false) {
  return {Step::Up, X, Y, Shift};
}
Step RightUp(int32_t X, int32_t Y) {
  return {Step::Up, X, Y, false, Button::Right};
}
Step Then(std::function<void(Board&)> Action) {
  return {Step::Act, 0, 0, false, Button::Left, std::move(Action)};
}

void Play(Board& On, const std::vector<Step>& Steps) {
  for (const Step& S : Steps) {
    switch (S.Kind) {
      case Step::Down:
        On.Scheme.MouseDown(S.Pressed, S.Shift, S.X, S.Y);
        break;
      case Step::Move:
        On.Scheme.MouseMove(S.Shift, S.X, S.Y);
        break;
      case Step::Up:
        On.Scheme.MouseUp(S.Pressed, S.Shift, S.X, S.Y);
        break;
      case Step::Act:
        S.Action(On);
        break;
    }
  }
}

const char* const kStart = "a 40,40 b 200,40 c 40,150";

struct Row {
  const char* Name;
  // Runs before the steps; the event log is emptied after it.
  std::function<void(Board&)> Setup = [](Board&) {};
  std::vector<Step> Steps;
  std::string Selection = "none";
  std::string Positions = kStart;
  std::string Links = "";
  Events Logged = {};
  TSchemeCursor Cursor = TSchemeCursor::Default;
};

void Check(const Row& R) {
  SCOPED_TRACE(R.Name);
  Board On;
  R.Setup(On);
  On.Log.Events.clear();
  Play(On, R.Steps);
  EXPECT_EQ(On.Selection(), R.Selection);
  EXPECT_EQ(On.Positions(), R.Positions);
  EXPECT_EQ(On.Links(), R.Links);
  EXPECT_EQ(On.Log.Events, R.Logged);
  EXPECT_EQ(On.Scheme.Mode(), smNormal);
  EXPECT_EQ(On.Host.Cursor, R.Cursor);
  // Every drag ends with its feedback erased.
  EXPECT_EQ(On.Scheme.MoveInfo().State(), TSchemeMoveInfo::msIdle);
  EXPECT_FALSE(On.Scheme.Marquee().Active());
}

void SelectA(Board& On) {
  On.Scheme.Selection().Select(On.A);
}
void SelectAB(Board& On) {
  On.Scheme.Selection().Select(On.A);
  On.Scheme.Selection().Toggle(On.B);
}
void SelectLinkAB(Board& On) {
  On.Scheme.Selection().Select(On.Link(On.A, On.B));
}
void SelectBC(Board& On) {
  On.Scheme.Selection().Select(On.B);
  On.Scheme.Selection().Toggle(On.C);
}

// Runs Do after what the event log records for the event, with the same arguments.
template <class Event, class Action>
void AlsoOn(Event& Handler, Action Do) {
  Event Logged = Handler;
  Handler = [Logged, Do](auto... Args) {
    Logged(Args...);
    Do(Args...);
  };
}

// An element that a handler deletes, once, while it is still in the scheme.
void DeleteIfListed(Board& On, TSchemeElement* Element) {
  if (On.Scheme.IndexOfElement(Element) >= 0) On.Scheme.DeleteElement(Element);
}
// The same when the selection has just been cleared.
void DeleteOnClear(Board& On, TSchemeElement* Element) {
  AlsoOn(On.Scheme.OnSelectionChange, [&On, Element](TScheme* S) {
    if (S->Selection().Kind() == TSchemeSelection::skNone) DeleteIfListed(On, Element);
  });
}

TEST(SchemeEditing, ClicksSelect) {
  const Row Rows[] = {
      {.Name = "click on an unselected element selects it",
       .Steps = {Down(50, 50), Up(50, 50)},
       .Selection = "element a",
       .Logged = {"selection"}},
      {.Name = "click on an empty spot clears the selection (a zero-size marquee)",
       .Setup = SelectA,
       .Steps = {Down(300, 250), Up(300, 250)},
       .Logged = {"mode 0->6", "selection", "mode 6->0"}},
      {.Name = "zero-size marquee in the column right of an element selects it",
       .Steps = {Down(100, 50), Up(100, 50)},
       .Selection = "element a",
       .Logged = {"mode 0->6", "selection", "mode 6->0"}},
      {.Name = "zero-size marquee in the row below an element selects it",
       .Steps = {Down(50, 80), Up(50, 80)},
       .Selection = "element a",
       .Logged = {"mode 0->6", "selection", "mode 6->0"}},
      {.Name = "marquee over two elements selects both",
       .Steps = {Down(30, 30), Move(150, 60), Move(270, 90), Up(270, 90)},
       .Selection = "elements a,b",
       .Logged = {"mode 0->6", "selection", "mode 6->0"},
       .Cursor = TSchemeCursor::Cross},
      {.Name = "marquee touching one element selects it alone",
       .Steps = {Down(110, 10), Move(60, 30), Up(60, 40)},
       .Selection = "element a",
       .Logged = {"mode 0->6", "selection", "mode 6->0"},
       .Cursor = TSchemeCursor::Cross},
      {.Name = "shift-click adds an element to the selection",
       .Setup = SelectA,
       .Steps = {Down(210, 50, true), Up(210, 50, true)},
       .Selection = "elements a,b",
       .Logged = {"selection", "selection"}},
      {.Name = "shift-click on one of two leaves the other",
       .Setup = SelectAB,
       .Steps = {Down(50, 50, true), Up(50, 50, true)},
       .Selection = "element b",
       .Logged = {"selection", "selection"}},
      {.Name = "shift-click on the single selected element clears it",
       .Setup = SelectA,
       .Steps = {Down(50, 50, true), Up(50, 50, true)},
       .Logged = {"selection"}},
      {.Name = "a link within 2 pixels wins over the element under it",
       .Setup = [](Board& On) { On.Link(On.C, On.A); },  // (70,189) up to (70,40), through c
       .Steps = {Down(72, 160), Up(72, 160)},
       .Selection = "link c->a",
       .Links = "c->a",
       .Logged = {"selection"}},
      {.Name = "of two overlapping elements the later one is picked",
       .Setup = [](Board& On) { On.B->SetBounds(60, 50, 60, 40); },
       .Steps = {Down(70, 60), Up(70, 60)},
       .Selection = "element b",
       .Positions = "a 40,40 b 60,50 c 40,150",
       .Logged = {"selection"}},
      {.Name = "a locked scheme treats a press on the selection as a click",
       .Setup =
           [](Board& On) {
             SelectA(On);
             On.Scheme.EditLocked = true;
           },
       .Steps = {Down(50, 50), Move(90, 90), Up(60, 60)},
       .Selection = "element a",
       .Logged = {"selection", "selection"},
       .Cursor = TSchemeCursor::Default},
  };
  for (const Row& R : Rows) Check(R);
}

TEST(SchemeEditing, DragsMoveElements) {
  const Row Rows[] = {
      {.Name = "dragging the selected element moves it",
       .Setup = SelectA,
       .Steps = {Down(50, 50), Move(60, 55), Move(80, 70), Up(80, 70)},
       .Selection = "element a",
       .Positions = "a 70,60 b 200,40 c 40,150",
       .Logged = {"mode 0->3", "mode 3->0"},
       .Cursor = TSchemeCursor::Move},
      {.Name = "the frame snaps to the grid: a frame at 47 puts the element at 40",
       .Setup =
           [](Board& On) {
             On.Scheme.SetGridX(10);
             On.Scheme.SetGridY(10);
             SelectA(On);
           },
       .Steps = {Down(50, 50), Move(57, 50), Up(57, 50)},
       .Selection = "element a",
       .Logged = {"mode 0->3", "mode 3->0"},
       .Cursor = TSchemeCursor::Move},
      {.Name = "the frame moves in grid steps",
       .Setup =
           [](Board& On) {
             On.Scheme.SetGridX(10);
             On.Scheme.SetGridY(10);
             SelectA(On);
           },
       .Steps = {Down(50, 50), Move(75, 50), Up(75, 50)},
       .Selection = "element a",
       .Positions = "a 60,40 b 200,40 c 40,150",
       .Logged = {"mode 0->3", "mode 3->0"},
       .Cursor = TSchemeCursor::Move},
      {.Name = "dragging a group moves every element by the same step",
       .Setup = SelectAB,
       .Steps = {Down(210, 50), Move(210, 80), Up(210, 80)},
       .Selection = "elements a,b",
       .Positions = "a 40,70 b 200,70 c 40,150",
       .Logged = {"mode 0->5", "mode 5->0"}},
      {.Name = "a group move whose group was replaced before the release moves nothing",
       .Setup = SelectAB,
       .Steps = {Down(50, 50), Move(50, 60), Then(SelectBC), Move(50, 80), Up(50, 80)},
       .Selection = "elements b,c",
       .Logged = {"mode 0->5", "selection", "selection", "selection", "selection", "mode 5->0"}},
      {.Name = "a group move whose group a mode handler replaced moves nothing",
       .Setup =
           [](Board& On) {
             SelectAB(On);
             On.Scheme.OnModeChange = [&On](TScheme*, TSchemeMode, TSchemeMode New) {
               if (New == smMoveMultiElement) SelectBC(On);
             };
           },
       .Steps = {Down(50, 50), Move(50, 80), Up(50, 80)},
       .Selection = "elements b,c",
       .Logged = {"selection", "selection", "selection", "selection"}},
      {.Name = "a group move whose group was changed and restored moves it",
       .Setup = SelectAB,
       .Steps = {Down(50, 50), Then(SelectBC), Then(SelectAB), Move(50, 80), Up(50, 80)},
       .Selection = "elements a,b",
       .Positions = "a 40,70 b 200,70 c 40,150",
       .Logged = {"mode 0->5", "selection", "selection", "selection", "selection", "selection",
                  "selection", "selection", "selection", "mode 5->0"}},
      {.Name = "a move whose element a handler deselected moves nothing",
       .Setup =
           [](Board& On) {
             SelectA(On);
             On.Scheme.OnModeChange = [](TScheme* S, TSchemeMode, TSchemeMode New) {
               if (New == smMoveElement) S->Selection().Clear();
             };
           },
       .Steps = {Down(50, 50), Move(80, 80), Up(80, 80)},
       .Logged = {"selection"},
       .Cursor = TSchemeCursor::Move},
  };
  for (const Row& R : Rows) Check(R);
}

TEST(SchemeEditing, DragsMakeAndMoveLinks) {
  const Row Rows[] = {
      {.Name = "a new link runs from an output point to an input point",
       .Setup = [](Board& On) { On.Scheme.SetMode(smNewLink); },
       .Steps = {Move(72, 78), Down(72, 78), Move(100, 120), Up(73, 152)},
       .Selection = "link a->c",
       .Links = "a->c",
       .Logged = {"mode 2->4", "add link a->c", "selection", "mode 4->0"},
       .Cursor = TSchemeCursor::Cross},
      {.Name = "a press away from any output point starts nothing",
       .Setup = [](Board& On) { On.Scheme.SetMode(smNewLink); },
       .Steps = {Move(150, 150), Down(150, 150), Up(150, 150), RightUp(150, 150)},
       .Logged = {"mode 2->0"},
       .Cursor = TSchemeCursor::NoDrop},
      {.Name = "a new link from a linked output point replaces its link",
       .Setup =
           [](Board& On) {
             On.Link(On.A, On.B);
             On.Scheme.SetMode(smNewLink);
           },
       .Steps = {Down(70, 79), Up(70, 150)},
       .Selection = "link a->c",
       .Links = "a->c",
       .Logged = {"mode 2->4", "remove link a->b", "add link a->c", "selection", "mode 4->0"}},
      {.Name = "a new link dropped away from any input keeps the old link",
       .Setup =
           [](Board& On) {
             On.Link(On.A, On.B);
             On.Scheme.SetMode(smNewLink);
           },
       .Steps = {Down(70, 79), Up(300, 250)},
       .Links = "a->b",
       .Logged = {"mode 2->4", "mode 4->0"}},
      {.Name = "dragging the target end of a link to another input",
       .Setup = SelectLinkAB,
       .Steps = {Down(222, 42), Move(100, 100), Up(71, 151)},
       .Selection = "link a->c",
       .Links = "a->c",
       .Logged = {"mode 0->4", "selection", "remove link a->b", "add link a->c", "selection",
                  "mode 4->0"},
       .Cursor = TSchemeCursor::Cross},
      {.Name = "dragging the source end of a link to another output",
       .Setup = SelectLinkAB,
       .Steps = {Down(78, 77), Up(70, 189)},
       .Selection = "link c->b",
       .Links = "c->b",
       .Logged = {"mode 0->4", "selection", "remove link a->b", "add link c->b", "selection",
                  "mode 4->0"}},
      {.Name = "dropping the target on its own input recreates the link",
       .Setup = SelectLinkAB,
       .Steps = {Down(222, 42), Up(230, 40)},
       .Selection = "link a->b",
       .Links = "a->b",
       .Logged = {"mode 0->4", "selection", "remove link a->b", "add link a->b", "selection",
                  "mode 4->0"}},
      {.Name = "a link end dropped away from every point changes nothing",
       .Setup = SelectLinkAB,
       .Steps = {Down(222, 42), Up(300, 250)},
       .Selection = "link a->b",
       .Links = "a->b",
       .Logged = {"mode 0->4", "mode 4->0"}},
      {.Name = "a link end drag whose link a handler deselected relinks nothing",
       .Setup =
           [](Board& On) {
             SelectLinkAB(On);
             On.Scheme.OnModeChange = [](TScheme* S, TSchemeMode, TSchemeMode New) {
               if (New == smMoveLink) S->Selection().Clear();
             };
           },
       .Steps = {Down(222, 42), Up(70, 150)},
       .Links = "a->b",
       .Logged = {"selection"}},
  };
  for (const Row& R : Rows) Check(R);
}

// Handlers of the link and selection events may delete elements and links, for instance to
// veto a new link; the editor must not use what they freed, nor link or select it.
TEST(SchemeEditing, WhatAnEventHandlerDeletesIsNotUsedAfterwards) {
  const Row Rows[] = {
      {.Name = "a new link that an add handler vetoes is not selected",
       .Setup =
           [](Board& On) {
             On.Scheme.SetMode(smNewLink);
             AlsoOn(On.Scheme.OnAddLink, [](TScheme* S, TSchemeLink* L) { S->DeleteLink(L); });
           },
       .Steps = {Down(70, 79), Up(70, 150)},
       .Logged = {"mode 2->4", "add link a->c", "remove link a->c", "mode 4->0"}},
      {.Name = "a relinked end that an add handler vetoes is not selected",
       .Setup =
           [](Board& On) {
             SelectLinkAB(On);
             AlsoOn(On.Scheme.OnAddLink, [](TScheme* S, TSchemeLink* L) { S->DeleteLink(L); });
           },
       .Steps = {Down(222, 42), Up(71, 151)},
       .Logged = {"mode 0->4", "selection", "remove link a->b", "add link a->c", "remove link a->c",
                  "mode 4->0"}},
      {.Name = "a new link whose drop target a remove handler deleted is not made",
       .Setup =
           [](Board& On) {
             On.Link(On.A, On.B);
             On.Scheme.SetMode(smNewLink);
             AlsoOn(On.Scheme.OnRemoveLink,
                    [&On](TScheme*, TSchemeLink*) { DeleteIfListed(On, On.C); });
           },
       .Steps = {Down(70, 79), Up(70, 150)},
       .Positions = "a 40,40 b 200,40",
       .Logged = {"mode 2->4", "remove link a->b", "remove element c", "mode 4->0"}},
      {.Name = "a moved source end whose new point a remove handler deleted is not linked",
       .Setup =
           [](Board& On) {
             SelectLinkAB(On);
             AlsoOn(On.Scheme.OnRemoveLink,
                    [&On](TScheme*, TSchemeLink*) { DeleteIfListed(On, On.C); });
           },
       .Steps = {Down(78, 77), Up(70, 189)},
       .Positions = "a 40,40 b 200,40",
       .Logged = {"mode 0->4", "selection", "remove link a->b", "remove element c", "mode 4->0"}},
      {.Name = "a link-end move whose kept element a selection handler deleted links nothing",
       .Setup =
           [](Board& On) {
             SelectLinkAB(On);
             DeleteOnClear(On, On.A);
           },
       .Steps = {Down(222, 42), Up(71, 151)},
       .Positions = "b 200,40 c 40,150",
       .Logged = {"mode 0->4", "selection", "remove element a", "remove link a->b", "mode 4->0"}},
      {.Name = "a link-end move whose kept element a remove handler deleted links nothing",
       .Setup =
           [](Board& On) {
             SelectLinkAB(On);
             AlsoOn(On.Scheme.OnRemoveLink,
                    [&On](TScheme*, TSchemeLink*) { DeleteIfListed(On, On.A); });
           },
       .Steps = {Down(222, 42), Up(71, 151)},
       .Positions = "b 200,40 c 40,150",
       .Logged = {"mode 0->4", "selection", "remove link a->b", "remove element a", "mode 4->0"}},
      {.Name = "a source end moved onto a linked output whose removal took the kept target",
       .Setup =
           [](Board& On) {
             On.Link(On.C, On.B);
             SelectLinkAB(On);
             AlsoOn(On.Scheme.OnRemoveLink, [&On](TScheme*, TSchemeLink* L) {
               if (L->Source() == On.C->OutputPoints(0)) DeleteIfListed(On, On.B);
             });
           },
       .Steps = {Down(78, 77), Up(70, 189)},
       .Positions = "a 40,40 c 40,150",
       .Logged = {"mode 0->4", "selection", "remove link a->b", "remove link c->b",
                  "remove element b", "mode 4->0"}},
      {.Name = "shift-click after a selection handler deleted the selected element",
       .Setup =
           [](Board& On) {
             SelectA(On);
             DeleteOnClear(On, On.A);
           },
       .Steps = {Down(210, 50, true), Up(210, 50, true)},
       .Selection = "element b",
       .Positions = "b 200,40 c 40,150",
       .Logged = {"selection", "remove element a", "selection"}},
      {.Name = "shift-click on an element that a selection handler deleted",
       .Setup =
           [](Board& On) {
             SelectA(On);
             DeleteOnClear(On, On.B);
           },
       .Steps = {Down(210, 50, true), Up(210, 50, true)},
       .Selection = "element a",
       .Positions = "a 40,40 c 40,150",
       .Logged = {"selection", "remove element b", "selection"}},
      {.Name = "shift-click on one of two after a selection handler deleted the other",
       .Setup =
           [](Board& On) {
             SelectAB(On);
             DeleteOnClear(On, On.B);
           },
       .Steps = {Down(50, 50, true), Up(50, 50, true)},
       .Positions = "a 40,40 c 40,150",
       .Logged = {"selection", "remove element b"}},
      {.Name = "a click on an element that a selection handler deleted selects nothing",
       .Setup =
           [](Board& On) {
             SelectA(On);
             DeleteOnClear(On, On.B);
           },
       .Steps = {Down(210, 50), Up(210, 50)},
       .Positions = "a 40,40 c 40,150",
       .Logged = {"selection", "remove element b"}},
      {.Name = "a click whose clearing handler selected another element keeps that choice",
       .Setup =
           [](Board& On) {
             SelectA(On);
             AlsoOn(On.Scheme.OnSelectionChange, [&On](TScheme* S) {
               if (S->Selection().Kind() == TSchemeSelection::skNone) S->Selection().Select(On.C);
             });
           },
       .Steps = {Down(210, 50), Up(210, 50)},
       .Selection = "element c",
       .Logged = {"selection", "selection"}},
      {.Name = "a click on a link that a selection handler deleted selects nothing",
       .Setup =
           [](Board& On) {
             On.Link(On.A, On.B);
             SelectA(On);
             DeleteOnClear(On, On.B);
           },
       .Steps = {Down(150, 59), Up(150, 59)},
       .Positions = "a 40,40 c 40,150",
       .Logged = {"selection", "remove element b", "remove link a->b"}},
  };
  for (const Row& R : Rows) Check(R);
}

TEST(SchemeEditing, ModesReportNewElementsAndRightClicksCancel) {
  struct Menu : TSchemePopupMenu {
    void Popup(int32_t X, int32_t Y) override {
      Shown.push_back(std::to_string(X) + "," + std::to_string(Y));
    }
    std::vector<std::string> Shown;
  };
  auto MenuOn = std::make_shared<Menu>();
  const Row Rows[] = {
      {.Name = "a left release in new-element mode reports the diagram position",
       .Setup =
           [](Board& On) {
             On.Scheme.SetScrollX(100);
             On.Scheme.SetScrollY(-10);
             On.Scheme.SetMode(smNewElement);
           },
       .Steps = {Move(300, 250), Down(300, 250), Up(300, 250)},
       .Logged = {"new element 400,240", "mode 1->0"},
       .Cursor = TSchemeCursor::Drag},
      {.Name = "a right release in new-element mode only cancels",
       .Setup = [](Board& On) { On.Scheme.SetMode(smNewElement); },
       .Steps = {RightUp(300, 250)},
       .Logged = {"mode 1->0"}},
      {.Name = "a bounded new element lands at the frame's top-left",
       .Setup =
           [](Board& On) {
             On.Scheme.SetMode(smNewBoundedElement);
             On.Scheme.MoveInfo().BeginFrame(300, 250, 290, 240, 60, 40);
           },
       .Steps = {Move(320, 260), Up(320, 260)},
       .Logged = {"new element 310,250", "mode 7->0"}},
      {.Name = "a bounded new element without a frame is reported at -1,-1",
       .Setup = [](Board& On) { On.Scheme.SetMode(smNewBoundedElement); },
       .Steps = {Up(320, 260)},
       .Logged = {"new element -1,-1", "mode 7->0"}},
      {.Name = "a right release drops the bounded frame",
       .Setup =
           [](Board& On) {
             On.Scheme.SetMode(smNewBoundedElement);
             On.Scheme.MoveInfo().BeginFrame(300, 250, 290, 240, 60, 40);
           },
       .Steps = {RightUp(320, 260)},
       .Logged = {"mode 7->0"}},
      {.Name = "a right release without a menu does nothing",
       .Setup = SelectA,
       .Steps = {RightUp(50, 50)},
       .Selection = "element a"},
      {.Name = "a release whose selection handler enters new-element mode reports at once",
       .Setup =
           [](Board& On) {
             On.Scheme.OnSelectionChange = [](TScheme* S) { S->SetMode(smNewElement); };
           },
       .Steps = {Down(50, 50), Up(50, 50)},
       .Selection = "element a",
       .Logged = {"mode 0->1", "new element 50,50", "mode 1->0"}},
  };
  for (const Row& R : Rows) Check(R);

  Board On;
  On.Scheme.ContextMenu = MenuOn.get();
  SelectA(On);
  Play(On, {Down(50, 50), Move(60, 50), RightUp(60, 50)});
  EXPECT_EQ(MenuOn->Shown, std::vector<std::string>{"1060,1050"});
  EXPECT_EQ(On.Scheme.Mode(), smMoveElement);  // the drag goes on
  Play(On, {Up(60, 50)});
  EXPECT_EQ(On.Positions(), "a 50,40 b 200,40 c 40,150");
}

TEST(SchemeEditing, BorderAndScrollBarPressesSelectNothingOnRelease) {
  const Row Rows[] = {
      {.Name = "a press in the border does nothing",
       .Setup = [](Board& On) { On.B->SetBounds(0, 0, 60, 40); },
       .Steps = {Down(1, 20), Up(3, 20)},
       .Positions = "a 40,40 b 0,0 c 40,150"},
      {.Name = "a press on the vertical bar scrolls and its release selects nothing",
       .Setup = [](Board& On) { On.B->SetBounds(300, 0, 100, 400); },
       .Steps = {Down(390, 71), Up(390, 71)},
       .Positions = "a 40,40 b 300,0 c 40,150"},
      {.Name = "a press on the horizontal bar likewise",
       .Setup = [](Board& On) { On.B->SetBounds(0, 250, 400, 100); },
       .Steps = {Down(194, 290), Up(194, 290)},
       .Positions = "a 40,40 b 0,250 c 40,150"},
  };
  for (const Row& R : Rows) Check(R);
}

TEST(SchemeEditing, ScrollBarPressesCentreTheFractionOfTheExtent) {
  struct Row {
    const char* Name;
    int32_t X, Y;
    int32_t ScrollX, ScrollY;
  };
  // 400 x 300: view 384 x 284; the diagram reaches to 900 across and 600 down.
  const Row Rows[] = {
      {"vertical bar at a quarter", 390, 2 + 71, 0, 150 - 142},
      {"vertical bar at the top", 390, 2, 0, -142},
      {"horizontal bar at the left", 2, 290, -192, 0},
      {"horizontal bar at the right edge", 385, 290, 898 - 192, 0},  // 383/384 of 900
      {"horizontal bar at its half", 2 + 192, 290, 450 - 192, 0},
  };
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Name);
    Board On;
    On.C->SetBounds(840, 560, 60, 40);
    On.Scheme.MouseDown(Button::Left, false, R.X, R.Y);
    EXPECT_EQ(On.Scheme.ScrollX(), R.ScrollX);
    EXPECT_EQ(On.Scheme.ScrollY(), R.ScrollY);
  }
  Board On;
  On.Scheme.ScrollToFractionY(1.0);
  EXPECT_EQ(On.Scheme.ScrollY(), 284 - 142);
  On.Scheme.ScrollToFractionX(0.0);
  EXPECT_EQ(On.Scheme.ScrollX(), -192);
  On.Scheme.ScrollToFractionX(0.5 / 384);  // 0.5 of a pixel rounds to the even 0
  EXPECT_EQ(On.Scheme.ScrollX(), -192);
}

TEST(SchemeEditing, CursorsFollowTheModeAndWhatLiesUnderTheMouse) {
  struct Row {
    const char* Name;
    std::function<void(Board&)> Setup;
    int32_t X, Y;
    TSchemeCursor Cursor;
  };
  const Row Rows[] = {
      {"over the selected element", SelectA, 50, 50, TSchemeCursor::Move},
      {"over an unselected element", [](Board&) {}, 50, 50, TSchemeCursor::Default},
      {"over a group", SelectAB, 50, 50, TSchemeCursor::Default},
      {"over the selected link", SelectLinkAB, 150, 59, TSchemeCursor::Cross},
      {"new link near an output point", [](Board& On) { On.Scheme.SetMode(smNewLink); }, 74, 82,
       TSchemeCursor::Cross},
      {"new link away from outputs", [](Board& On) { On.Scheme.SetMode(smNewLink); }, 70, 40,
       TSchemeCursor::NoDrop},
      {"group move leaves the cursor",
       [](Board& On) {
         On.Host.Cursor = TSchemeCursor::Drag;
         On.Scheme.SetMode(smMoveMultiElement);
       },
       50, 50, TSchemeCursor::Drag},
  };
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Name);
    Board On;
    R.Setup(On);
    On.Scheme.MouseMove(false, R.X, R.Y);
    EXPECT_EQ(On.Host.Cursor, R.Cursor);
  }
}

TEST(SchemeEditing, PicksTheNearestPointWithinFivePixelsLaterOnATie) {
  Board On;
  TSchemeElement* D = On.Add("d", 48, 40);  // output point at (78, 79)
  EXPECT_EQ(On.Scheme.FindPointNear(74, 79, false), D->OutputPoints(0));     // 4 from both
  EXPECT_EQ(On.Scheme.FindPointNear(73, 83, false), On.A->OutputPoints(0));  // 3 and 4: 5
  EXPECT_EQ(On.Scheme.FindPointNear(65, 80, false), nullptr);                // 5 and 1: sqrt 26
  EXPECT_EQ(On.Scheme.FindPointNear(70, 79, true), nullptr);                 // no input point there
  EXPECT_TRUE(On.Scheme.IsEmptySpot(150, 150));
  EXPECT_FALSE(On.Scheme.IsEmptySpot(40, 40));
}

// The frame is not shown (a handler took the selection away as the drag began) while the
// element is selected again by the release: its end reads -1, -1, which must not be applied.
TEST(SchemeEditing, AnElementMovesOnlyWhenItsFrameWasShown) {
  Board On;
  SelectA(On);
  On.Scheme.OnModeChange = [](TScheme* S, TSchemeMode, TSchemeMode New) {
    if (New == smMoveElement) S->Selection().Clear();
  };
  On.Scheme.MouseDown(Button::Left, false, 50, 50);
  ASSERT_EQ(On.Scheme.Mode(), smMoveElement);
  EXPECT_EQ(On.Scheme.MoveInfo().State(), TSchemeMoveInfo::msIdle);
  On.Scheme.Selection().Select(On.A);
  On.Scheme.MouseMove(false, 80, 80);
  On.Scheme.MouseUp(Button::Left, false, 80, 80);
  EXPECT_EQ(On.Positions(), kStart);
  EXPECT_EQ(On.Scheme.Mode(), smNormal);
}

TEST(SchemeEditing, AnEndOnTheHalfWayDragsTheTarget) {
  Board On;
  TSchemeLink* Link = On.Link(On.A, On.C);  // (70, 79) down to (70, 150)
  On.Scheme.Selection().Select(Link);
  On.Scheme.StartMoveLink(70, 114);  // 35 from the source and 36 from the target
  EXPECT_FALSE(On.Scheme.LinkSeeksInput);
  int32_t X = 0, Y = 0;
  On.Scheme.MoveInfo().EndLine(X, Y);
  On.Scheme.SetMode(smNormal);
  On.C->SetBounds(40, 149, 60, 40);  // target at (70, 149): 35 and 35
  On.Scheme.StartMoveLink(70, 114);
  EXPECT_TRUE(On.Scheme.LinkSeeksInput);
  EXPECT_EQ(On.Scheme.MoveInfo().OffsetX(), 70);  // the fixed end is the source
  EXPECT_EQ(On.Scheme.MoveInfo().OffsetY(), 79);
}

TEST(SchemeEditing, RemovingTheDragStartPointMidDragLinksNothing) {
  Board On;
  On.Scheme.SetMode(smNewLink);
  On.Scheme.MouseDown(Button::Left, false, 70, 79);
  ASSERT_EQ(On.Scheme.LinkDragStart, On.A->OutputPoints(0));
  On.Scheme.DeleteElement(On.A);
  EXPECT_EQ(On.Scheme.LinkDragStart, nullptr);
  On.Scheme.MouseUp(Button::Left, false, 70, 150);
  EXPECT_EQ(On.Scheme.LinkCount(), 0);
  EXPECT_EQ(On.Scheme.Mode(), smNormal);
}

// Feedback is drawn with a dotted XOR pen on the host's canvas, and every figure drawn is
// drawn again to erase it; the pen's style and mode come back afterwards.
TEST(SchemeEditing, FeedbackIsDrawnInPairsWithADottedXorPen) {
  Board On;
  SelectA(On);
  On.Canvas.Ops.clear();
  Play(On, {Down(50, 50), Move(60, 60), Move(60, 60), Up(70, 70)});
  const std::vector<std::string> Lines = On.Canvas.Only({"move", "line"});
  // begin, erase + draw at (60, 60), erase + draw at (70, 70), erase: 6 figures of 5 calls
  ASSERT_EQ(Lines.size(), 30u);
  EXPECT_EQ(std::vector<std::string>(Lines.begin(), Lines.begin() + 5),
            (std::vector<std::string>{"move 40,40", "line 100,40", "line 100,80", "line 40,80",
                                      "line 40,40"}));
  EXPECT_EQ(On.Canvas.Only({"pen style", "pen mode"}).back(), "pen mode copy");
  EXPECT_EQ(On.Canvas.PenStyle(), TSchemePenStyle::Solid);
  EXPECT_EQ(On.Canvas.Only({"pen C"}).size(), 6u);
}

// Paint draws the feedback inside the view area; the feedback drawn outside Paint must cover
// the same pixels, or a repaint between drawing and erasing a figure leaves XOR traces on the
// border and the scroll bars.
TEST(SchemeEditing, FeedbackOutsidePaintIsClippedToTheViewAsInPaint) {
  struct Row {
    const char* Name;
    std::function<void(Board&)> Setup;
    std::vector<Step> Begin;
  };
  const Row Rows[] = {
      {"element frame", SelectA, {Down(50, 50)}},
      {"group frame", SelectAB, {Down(50, 50)}},
      {"new link line", [](Board& On) { On.Scheme.SetMode(smNewLink); }, {Down(70, 79)}},
      {"link end line", SelectLinkAB, {Down(222, 42)}},
      {"marquee", [](Board&) {}, {Down(300, 250)}},
  };
  const std::vector<std::string> Drawn = {"clip 2,2,386,286", "pen mode xor", "pen mode copy",
                                          "unclip"};
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Name);
    Board On;
    R.Setup(On);
    On.Canvas.Ops.clear();
    Play(On, R.Begin);
    EXPECT_EQ(On.Canvas.Only({"clip", "unclip", "pen mode"}), Drawn);
    On.Canvas.Ops.clear();
    Play(On, {Move(395, 295)});  // erased and drawn again, reaching over the bars
    std::vector<std::string> Twice = Drawn;
    Twice.insert(Twice.end(), Drawn.begin(), Drawn.end());
    EXPECT_EQ(On.Canvas.Only({"clip", "unclip", "pen mode"}), Twice);
    On.Canvas.Ops.clear();
    On.Scheme.Paint();
    const std::vector<std::string> Painted = On.Canvas.Only({"clip", "unclip", "pen mode"});
    EXPECT_EQ(Painted, Drawn);
  }
}

}  // namespace
