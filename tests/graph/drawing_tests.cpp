// Painting the diagram, checked as the commands it gives a recording canvas.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "graph/elements.h"
#include "graph/visual.h"
#include "model/core.h"
#include "tests/support/graph_support.h"

namespace {

using Ops = std::vector<std::string>;

class DrawingTest : public ::testing::Test {
 protected:
  void SetUp() override { Host.DrawingCanvas = &Canvas; }

  // A base element placed so that its output point (30, 39 from its corner) or its input
  // point (30, 0) lies at the given diagram position.
  TSchemeConnectionPoint* OutputAt(int32_t X, int32_t Y) {
    TSchemeElement* Element = Scheme.AddElement(TSchemeElement::Create(&Scheme));
    Element->SetBounds(X - 30, Y - 39, 60, 40);
    return Element->OutputPoints(0);
  }
  TSchemeConnectionPoint* InputAt(int32_t X, int32_t Y) {
    TSchemeElement* Element = Scheme.AddElement(TSchemeElement::Create(&Scheme));
    Element->SetBounds(X - 30, Y, 60, 40);
    return Element->InputPoints(0);
  }
  template <class T>
  T* Place(TSchemeElementPtr<T> Element, int32_t Left, int32_t Top) {
    T* Result = Element.get();
    Scheme.AddElement(std::move(Element));
    Result->SetLeft(Left);
    Result->SetTop(Top);
    return Result;
  }

  RecordingCanvas Canvas;
  FakeSchemeHost Host;
  TScheme Scheme{&Host};
  TSpecTemplate Template;
};

TEST(ScaleColor, ScalesEachChannelRoundingHalvesToEven) {
  struct Row {
    TSchemeColor Color;
    double Factor;
    TSchemeColor Expected;
  };
  const Row Rows[] = {
      {0xF0F0F0, 0.95, 0xE4E4E4},  // the scaled fills of the element rows
      {0xCDFFBA, 0.95, 0xC3F2B1},      {0xFFCDBA, 0.95, 0xF2C3B1},
      {0x000000, 0.95, 0x000000},      {0x808080, 2.0, 0xFFFFFF},  // clamped at 255
      {0x0A0A0A, -1.0, 0x000000},                                  // and at 0
      {0x050301, 0.5, 0x020200},                                   // 2.5 -> 2, 1.5 -> 2, 0.5 -> 0
      {0xFF000000 | 5, 1.0, 0xFFFFFF},  // a system colour (the window colour) is looked up
      {0x12345678, 1.0, 0x345678},      // a top byte that names no system colour is dropped
  };
  for (const Row& R : Rows) {
    SCOPED_TRACE(ColorText(R.Color));
    EXPECT_EQ(ScaleColor(R.Color, R.Factor), R.Expected);
  }
  EXPECT_EQ(ClampInt(0, 255, 300), 255);
  EXPECT_EQ(ClampInt(0, 255, -4), 0);
}

// A 200 x 100 control without elements, scrolled to (-1, -1): the whole paint in order.
TEST_F(DrawingTest, EmptySchemePaintsViewBorderAndFullThumbs) {
  Scheme.Paint();
  const Ops Expected = {"lock", "clip 2,2,186,86", "brush style solid", "brush FFFFFF",
                        "fill 2,2,186,86", "unclip",
                        // border
                        "pen style solid", "pen 808080", "move 0,99", "line 0,0", "line 199,0",
                        "pen FFFFFF", "line 199,99", "line -1,99", "pen 000000", "move 1,98",
                        "line 1,1", "line 198,1", "pen C0C0C0", "line 198,98", "line 1,98",
                        // horizontal bar: track 5..183 (178), extent 184, thumb 178 at offset 0
                        "brush style solid", "brush 808080", "fill 2,86,186,98", "brush FFFFFF",
                        "fill 4,88,184,96", "brush 808080", "fill 5,89,183,95",
                        // vertical bar: track 5..83 (78), extent 84
                        "brush 808080", "fill 186,2,198,86", "brush FFFFFF", "fill 188,4,196,84",
                        "brush 808080", "fill 189,5,195,83",
                        // corner
                        "brush 808080", "fill 186,86,198,98", "unlock"};
  EXPECT_EQ(Canvas.Ops, Expected);
}

TEST_F(DrawingTest, UpdateLockedPaintsNothing) {
  Scheme.BeginUpdate();
  Scheme.Paint();
  EXPECT_TRUE(Canvas.Ops.empty());
  Scheme.EndUpdate();
  Scheme.Paint();
  EXPECT_FALSE(Canvas.Ops.empty());
}

TEST_F(DrawingTest, ElementsThenPointsThenLinksThenFeedbackInsideTheClip) {
  TSchemeConnectionPoint* Source = OutputAt(10, 10);
  Scheme.AddLink(Source, InputAt(50, 60));
  Scheme.SetScrollX(0);
  Scheme.SetScrollY(0);
  Scheme.MoveInfo().BeginLine(20, 20, 10, 10);
  Scheme.Marquee().Start(30, 30);
  Canvas.Ops.clear();
  Scheme.Paint();
  const Ops Shapes = Canvas.Only({"rect", "move", "line", "clip", "unclip"});
  const Ops Expected = {
      "clip 2,2,186,86",
      // elements
      "rect -20,-29,40,11", "rect 20,60,80,100",
      // points in registration order: input and output of each element
      "move 8,-31", "line 13,-26", "move 12,-31", "line 7,-26", "move 8,8", "line 13,13",
      "move 12,8", "line 7,13", "move 48,58", "line 53,63", "move 52,58", "line 47,63",
      "move 48,97", "line 53,102", "move 52,97", "line 47,102",
      // the link and its arrowhead
      "move 10,10", "line 50,60", "move 48,50", "line 50,60", "move 41,56", "line 50,60",
      // the feedback line, then the zero-size marquee
      "move 10,10", "line 20,20", "move 30,30", "line 30,30", "line 30,30", "line 30,30",
      "line 30,30", "unclip"};
  ASSERT_GE(Shapes.size(), Expected.size());
  EXPECT_EQ(Ops(Shapes.begin(), Shapes.begin() + static_cast<std::ptrdiff_t>(Expected.size())),
            Expected);
}

TEST_F(DrawingTest, LinkArrowHeadsPointBackAtThirtyDegrees) {
  struct Row {
    const char* Name;
    int32_t Sx, Sy, Tx, Ty;
    Ops Expected;
  };
  const Row Rows[] = {
      {"to the right",
       0,
       0,
       100,
       0,
       {"move 0,0", "line 100,0", "move 91,-5", "line 100,0", "move 91,5", "line 100,0"}},
      {"to the left",
       100,
       0,
       0,
       0,
       {"move 100,0", "line 0,0", "move 9,5", "line 0,0", "move 9,-5", "line 0,0"}},
      {"downward",
       0,
       0,
       0,
       100,
       {"move 0,0", "line 0,100", "move 5,91", "line 0,100", "move -5,91", "line 0,100"}},
      {"upward",
       0,
       100,
       0,
       0,
       {"move 0,100", "line 0,0", "move -5,9", "line 0,0", "move 5,9", "line 0,0"}},
  };
  Scheme.SetScrollX(0);
  Scheme.SetScrollY(0);
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Name);
    TSchemeConnectionPoint* Source = OutputAt(R.Sx, R.Sy);
    TSchemeLink* Link = Scheme.AddLink(Source, InputAt(R.Tx, R.Ty));
    Canvas.Ops.clear();
    Link->Draw(Canvas);
    EXPECT_EQ(Canvas.Only({"move", "line"}), R.Expected);
    EXPECT_EQ(Canvas.Only({"pen 0"}), Ops{"pen 000000"});
  }
}

TEST_F(DrawingTest, SelectedLinkIsRedAndItsPointsKeepTheirColours) {
  TSchemeConnectionPoint* Source = OutputAt(10, 10);
  TSchemeLink* Link = Scheme.AddLink(Source, InputAt(60, 60));
  Scheme.Selection().Select(Link);
  Canvas.Ops.clear();
  Link->Draw(Canvas);
  Link->Source()->Draw(Canvas);
  Link->Target()->Draw(Canvas);
  EXPECT_EQ(Canvas.Only({"pen 0", "pen F"}), (Ops{"pen 0000FF", "pen 0000FF", "pen FF0000"}));
}

TEST_F(DrawingTest, StartAndFinishAreRingsSelectionWinsOverHighlight) {
  auto* Start = Place(TSpecStartElement::Create(&Scheme), 10, 20);
  auto* Finish = Place(TSpecFinishElement::Create(&Scheme), 100, 20);
  Scheme.SetScrollX(0);
  Scheme.SetScrollY(10);
  Start->SetHighlighted(true);
  Scheme.Selection().Select(Start);
  Canvas.Ops.clear();
  Start->Draw(Canvas);
  EXPECT_EQ(Canvas.Only({"pen 8", "brush", "ellipse"}),
            (Ops{"pen 808080", "brush style solid", "brush FFFFFF", "ellipse 10,10,50,50",
                 "brush CDFFBA", "ellipse 15,15,45,45"}));
  Finish->SetHighlighted(true);
  Canvas.Ops.clear();
  Finish->Draw(Canvas);
  EXPECT_EQ(Canvas.Only({"brush ", "ellipse"}),
            (Ops{"brush style solid", "brush FFCDBA", "ellipse 100,10,140,50", "brush FFFFFF",
                 "ellipse 105,15,135,45"}));
}

TEST_F(DrawingTest, ScreenShowsItsTitleAndOneRowPerQuestion) {
  TSpecScreen* Model = Template.AddScreen("Welcome", "");
  Model->AddQuestion(Template.AddQuestion("Name?", 0, nullptr));
  Model->AddQuestion(Template.AddQuestion("Age?", 0, nullptr));
  auto* Screen = Place(TSpecScreenElement::Create(&Scheme), 0, 0);
  Screen->SetModel(Model);
  Screen->Refresh();
  Scheme.SetScrollX(0);
  Scheme.SetScrollY(0);
  Canvas.Ops.clear();
  Screen->Draw(Canvas);
  EXPECT_EQ(Canvas.Ops, (Ops{"pen style solid", "pen 808080", "brush style solid", "brush F0F0F0",
                             "font Tahoma 8 bold 808080", "rect 0,0,120,80",
                             // the window glyph
                             "move 5,5", "line 5,17", "line 18,17", "line 18,5", "line 5,5",
                             "move 5,6", "line 18,6", "text 25,5,115,25 @25,5 Welcome",
                             // the rows, in the scaled fill
                             "brush E4E4E4", "font Tahoma 8 regular 808080", "rect 10,30,110,51",
                             "text 13,33,107,48 @13,33 Name?", "rect 10,50,110,71",
                             "text 13,53,107,68 @13,53 Age?"}));
}

TEST_F(DrawingTest, SelectedAndHighlightedScreenIsLightBlueWithBlackText) {
  auto* Screen = Place(TSpecScreenElement::Create(&Scheme), 0, 0);
  Screen->SetHighlighted(true);
  Scheme.Selection().Select(Screen);
  Canvas.Ops.clear();
  Screen->Draw(Canvas);
  EXPECT_EQ(Canvas.Only({"pen 0", "brush F", "font", "text"}),
            (Ops{"pen 000000", "brush FFCDBA", "font Tahoma 8 bold 000000",
                 "text 26,6,116,26 @26,6 <No screen>"}));
}

TEST_F(DrawingTest, DecisionRowsReachTheRightEdgeWithDefaultLast) {
  TSpecDecisionPoint* Model = Template.AddDecisionPoint();
  Model->InsertOption()->Condition.Expression = "A > 1";
  auto* Decision = Place(TSpecDecisionElement::Create(&Scheme), 0, 0);
  Decision->SetModel(Model);
  Decision->Refresh();
  Scheme.SetScrollX(0);
  Scheme.SetScrollY(0);
  Canvas.Ops.clear();
  Decision->Draw(Canvas);
  EXPECT_EQ(Canvas.Only({"rect", "move", "line", "text"}),
            (Ops{"rect 0,0,120,80", "move 5,12", "line 12,19", "line 19,12", "line 12,5",
                 "line 5,12", "text 25,5,115,25 @25,5 Decision Point", "rect 20,30,120,51",
                 "text 23,33,117,48 @23,33 A > 1", "rect 20,50,120,71",
                 "text 23,53,117,68 @23,53 Default"}));
  Model->Name = "Route";
  Canvas.Ops.clear();
  Decision->Draw(Canvas);
  EXPECT_EQ(Canvas.Only({"text 25"}), Ops{"text 25,5,115,25 @25,5 Route"});
}

TEST_F(DrawingTest, ActionCaptionAndDetailFollowItsKind) {
  struct Row {
    uint8_t Kind;
    Ops Texts;
  };
  const Row Rows[] = {
      {akSetValue, {"text 25,5,115,25 @25,5 Set Value", "text 5,23,115,38 @5,23 Total := 1 + 2"}},
      {akAddProduct, {"text 25,5,115,25 @25,5 Add Product", "text 5,23,115,38 @5,23 P-7, 3"}},
      {9, {"text 25,5,115,25 @25,5 Add Product", "text 5,23,115,38 @5,23 P-7, 3"}},
  };
  Scheme.SetScrollX(0);
  Scheme.SetScrollY(0);
  for (const Row& R : Rows) {
    SCOPED_TRACE(int(R.Kind));
    TSpecAction* Model = Template.AddAction();
    Model->Kind = R.Kind;
    Model->Variable = "Total";
    Model->NewValue = "1 + 2";
    Model->ProductCode = "P-7";
    Model->Quantity = "3";
    auto Action = TSpecActionElement::Create(&Scheme);
    Action->SetModel(Model);
    Canvas.Ops.clear();
    Action->Draw(Canvas);
    EXPECT_EQ(Canvas.Only({"text"}), R.Texts);
    EXPECT_EQ(Canvas.Only({"ellipse"}), Ops{"ellipse 5,5,20,19"});
  }
  auto Bare = TSpecActionElement::Create(&Scheme);
  Canvas.Ops.clear();
  Bare->Draw(Canvas);
  EXPECT_EQ(Canvas.Only({"text"}), Ops{"text 25,5,115,25 @25,5 <No Action>"});
}

TEST_F(DrawingTest, GridDotsLieOnDiagramMultiplesOfTheStep) {
  Host.ClientWidth = 30;
  Host.ClientHeight = 24;  // view pixels 2..16 by 2..10
  Scheme.SetGridX(5);
  Scheme.SetGridY(4);
  Scheme.SetScrollX(3);   // columns at diagram 5, 10, 15 -> control 2, 7, 12
  Scheme.SetScrollY(-6);  // rows at diagram -4, 0, 4 -> control 2, 6, 10 (the remainder is -2)
  Scheme.ShowGrid = true;
  Scheme.Paint();
  EXPECT_EQ(Canvas.Only({"pixel"}),
            (Ops{"pixel 2,2 C0C0C0", "pixel 7,2 C0C0C0", "pixel 12,2 C0C0C0", "pixel 2,6 C0C0C0",
                 "pixel 7,6 C0C0C0", "pixel 12,6 C0C0C0", "pixel 2,10 C0C0C0", "pixel 7,10 C0C0C0",
                 "pixel 12,10 C0C0C0"}));
}

TEST_F(DrawingTest, ThumbsFollowTheScrollPositionWithinTheExtent) {
  struct Row {
    const char* Name;
    int32_t ElementLeft;
    int32_t ScrollX;
    std::string Thumb;
  };
  // 200 wide: view 184, track 5..183 (178).
  const Row Rows[] = {
      {"half the extent, at its start", 308, -1, "fill 5,89,94,95"},   // E 368, t 89
      {"half the extent, at its end", 308, 184, "fill 94,89,183,95"},  // o 89
      {"scrolled past the end", 308, 1000, "fill 94,89,183,95"},       // lowered
      {"element left of 0", -184, -184, "fill 5,89,94,95"},            // min -184
      {"far right: products pass 32 bits", 2'000'000'000, 1'999'999'000,
       "fill 182,89,182,95"},  // t 0, o 177
  };
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Name);
    TScheme Local(&Host);
    TSchemeElement* Element = Local.AddElement(TSchemeElement::Create(&Local));
    Element->SetBounds(R.ElementLeft, 0, 60, 40);
    Local.SetScrollX(R.ScrollX);
    Canvas.Ops.clear();
    Local.Paint(Canvas);
    const Ops Fills = Canvas.Only({"fill"});
    ASSERT_GE(Fills.size(), 4u);
    EXPECT_EQ(Fills[3], R.Thumb);
  }
}

// Coordinates wrap at 32 bits as the diagram's do; painting such a scheme must not overflow.
TEST_F(DrawingTest, ElementsAtTheEndsOfTheRangePaint) {
  TSpecScreen* Screen = Template.AddScreen("S", "");
  Screen->AddQuestion(Template.AddQuestion("Q", 0, nullptr));
  TSpecDecisionPoint* Decision = Template.AddDecisionPoint();
  const int32_t Far = std::numeric_limits<int32_t>::max() - 30;
  const int32_t Near = std::numeric_limits<int32_t>::min() + 10;
  auto* S = Place(TSpecScreenElement::Create(&Scheme), Far, Near);
  S->SetModel(Screen);
  S->Refresh();
  auto* D = Place(TSpecDecisionElement::Create(&Scheme), Near, Far);
  D->SetModel(Decision);
  D->Refresh();
  Place(TSpecActionElement::Create(&Scheme), Far, Far);
  Place(TSpecStartElement::Create(&Scheme), Near, Near);
  Scheme.AddLink(S->OutputPoints(0), D->InputPoints(0));
  for (const int32_t Scroll : {Near, -1, Far}) {
    Scheme.SetScrollX(Scroll);
    Scheme.SetScrollY(-Scroll);
    Canvas.Ops.clear();
    Scheme.Paint();
    EXPECT_EQ(Canvas.Only({"rect"}).size(), 5u);  // three frames, a question and an option row
  }
}

TEST_F(DrawingTest, ControlWithoutExtentDrawsNoThumb) {
  Host.ClientWidth = 16;
  Host.ClientHeight = 16;
  Scheme.Paint();
  // the view fill, two tracks of two fills each, the corner: no thumb
  EXPECT_EQ(Canvas.Only({"fill"}).size(), 6u);
}

}  // namespace
