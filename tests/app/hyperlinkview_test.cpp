#include <QFontMetrics>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/HyperLinkView.h"
#include "tests/app/app_support.h"

namespace {

class HyperLinkViewTest : public GuiTest {
 protected:
  // A view without a border in the forms' font, 504 wide.
  static void Prepare(THyperLinkView& view) {
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    view.setFont(font);
    view.SetBorderStyle(THyperLinkView::bsNone);
    view.resize(504, 44);
  }

  static QPoint PointOf(THyperLinkView& view, int documentPos) {
    return CharacterPoint(view, documentPos);
  }

  static void Press(THyperLinkView& view, const QPoint& at, Qt::MouseButton button) {
    SendClick(view.viewport(), at, button);
  }
};

TEST_F(HyperLinkViewTest, StartsReadOnlyWithoutFocusBlueUnderlinedAndEmpty) {
  THyperLinkView view;
  EXPECT_TRUE(view.isReadOnly());
  EXPECT_FALSE(view.CanFocus());
  EXPECT_EQ(view.focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(view.LinkColor(), QColor(Qt::blue));
  EXPECT_TRUE(view.LinkUnderline());
  EXPECT_EQ(view.BorderStyle(), THyperLinkView::bsSingle);
  EXPECT_EQ(view.HyperText(), "");
  EXPECT_EQ(view.toPlainText(), "");
  EXPECT_EQ(view.document()->documentMargin(), 0);
  EXPECT_EQ(view.viewport()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(HyperLinkViewTest, LinkRunsAloneCarryTheLinkFormat) {
  struct Row {
    std::string name;
    // Document positions of the characters that are link text (line breaks show nothing and
    // are not looked at).
    std::vector<int> linked;
  };
  const Row rows[] = {
      {"Press <res1>here</> for details", {6, 7, 8, 9}},
      {"<a>x</><b>y</>z", {0, 1}},
      {"no links", {}},
      // "\r\n" is one position of the document; link positions count bytes.
      {"a\r\n<l>bc</>\rd<m>\r\ne</>", {2, 3, 7}},
      {"<a></>empty link", {}},
  };
  // Every byte but the mark-up's own, then a link: only line breaks change the count.
  std::string everyByte;
  for (int byte = 0; byte < 256; ++byte) {
    if (byte != '<' && byte != '\\') everyByte += static_cast<char>(byte);
  }
  std::vector<Row> all(std::begin(rows), std::end(rows));
  all.push_back({everyByte + "<z>end</>", {254, 255, 256}});
  for (const Row& row : all) {
    SCOPED_TRACE(row.name);
    THyperLinkView view;
    Prepare(view);
    view.SetHyperText(row.name);
    const int characters = view.document()->characterCount() - 1;
    EXPECT_EQ(view.DocumentPosition(static_cast<std::int32_t>(view.PlainText().size())),
              characters);
    for (int pos = 0; pos < characters; ++pos) {
      SCOPED_TRACE(pos);
      if (view.document()->findBlock(pos).position() + view.document()->findBlock(pos).length() ==
          pos + 1) {
        continue;  // a line break
      }
      const bool linked = std::find(row.linked.begin(), row.linked.end(), pos) != row.linked.end();
      EXPECT_EQ(view.IsLinkFormatted(pos), linked);
      const QTextCharFormat format = view.CharFormatAt(pos);
      EXPECT_EQ(format.fontUnderline(), linked);
      EXPECT_EQ(format.foreground().color(),
                linked ? QColor(Qt::blue) : view.palette().color(QPalette::Text));
    }
  }
}

TEST_F(HyperLinkViewTest, ColourAndUnderlineReformatOnlyWhenTheyChange) {
  THyperLinkView view;
  Prepare(view);
  view.SetHyperText("a <l>link</> b");
  const int revision = view.document()->revision();
  view.SetHyperText("a <l>link</> b");
  view.SetLinkColor(Qt::blue);
  view.SetLinkUnderline(true);
  EXPECT_EQ(view.document()->revision(), revision) << "an equal value reformatted";

  view.SetLinkUnderline(false);
  view.SetLinkColor(Qt::darkGreen);
  EXPECT_FALSE(view.CharFormatAt(2).fontUnderline());
  EXPECT_EQ(view.CharFormatAt(2).foreground().color(), QColor(Qt::darkGreen));
  EXPECT_TRUE(view.IsLinkFormatted(2));

  // The normal text follows the font's colour; the links keep theirs.
  QPalette palette = view.palette();
  palette.setColor(QPalette::Text, Qt::darkRed);
  view.setPalette(palette);
  EXPECT_EQ(view.CharFormatAt(0).foreground().color(), QColor(Qt::darkRed));
  EXPECT_EQ(view.CharFormatAt(2).foreground().color(), QColor(Qt::darkGreen));
}

TEST_F(HyperLinkViewTest, LineCountAndPreferredHeight) {
  struct Row {
    std::string name;
    std::int32_t lines;
  };
  std::string longText;
  for (int i = 0; i < 40; ++i) longText += "several words ";
  const Row rows[] = {
      {"", 1},        {"one line", 1},  {"abc\n", 1},   {"abc\r\n", 1},
      {"a\nb\nc", 3}, {"a\r\nb\rc", 3}, {"abc\n\n", 2}, {"<l>a</>\n<m>b</>", 2},
  };
  THyperLinkView view;
  Prepare(view);
  ASSERT_EQ(QFontMetrics(view.font()).height(), 13) << "the forms' font has 13-pixel lines";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    view.SetHyperText(row.name);
    EXPECT_EQ(view.LineCount(), row.lines);
    EXPECT_EQ(view.PreferredHeight(), row.lines * 13 + 2);
    view.AdjustHeight();
    EXPECT_EQ(view.height(), row.lines * 13 + 2);
  }

  // Word wrapping at the view's width counts, shown or not.
  view.SetHyperText(longText);
  const std::int32_t wide = view.LineCount();
  EXPECT_GT(wide, 1);
  view.resize(252, view.height());
  EXPECT_GT(view.LineCount(), wide);

  // A single border adds six border pixels instead of two.
  view.SetBorderStyle(THyperLinkView::bsSingle);
  view.SetHyperText("a\nb\nc");
  EXPECT_EQ(view.PreferredHeight(), 3 * 13 + 6);
}

TEST_F(HyperLinkViewTest, PressReportsTheWholeLinkRunAndFiresOnlyAnExactLink) {
  struct Row {
    std::string name;
    int pressAt;  // document position of the character pressed
    // The run reported, or none when the character is no link text.
    std::optional<std::pair<std::int32_t, std::int32_t>> run;
    std::vector<std::string> fired;
  };
  const Row rows[] = {
      {"Press <res1>here</> for details", 7, {{6, 10}}, {"res1"}},
      {"Press <res1>here</> for details", 2, std::nullopt, {}},
      {"Press <res1>here</> for details", 12, std::nullopt, {}},
      // Touching links are one run, which matches neither link.
      {"<a>xx</><b>yy</> z", 3, {{0, 4}}, {}},
      {"<a>xx</><></><b>yy</> z", 0, {{0, 4}}, {}},
      {"<a>xx</> <b>yy</>", 4, {{3, 5}}, {"b"}},
      // Positions after "\r\n" are byte positions.
      {"ab\r\ncd <w>word</>", 6, {{7, 11}}, {"w"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name + " @" + std::to_string(row.pressAt));
    THyperLinkView view;
    Prepare(view);
    view.SetHyperText(row.name);
    std::vector<std::string> fired;
    view.OnHyperlinkClicked = [&](THyperText* Sender, const std::string& id) {
      EXPECT_EQ(Sender, static_cast<THyperText*>(&view));
      fired.push_back(id);
    };
    const QPoint at = PointOf(view, row.pressAt);
    std::int32_t cpMin = -1, cpMax = -1;
    const bool onLink = view.LinkRunAt(at, cpMin, cpMax);
    ASSERT_EQ(onLink, row.run.has_value());
    if (onLink) {
      EXPECT_EQ(std::make_pair(cpMin, cpMax), *row.run);
    }

    // The mouse over link text shows the hand.
    QMouseEvent move(QEvent::MouseMove, QPointF(at), view.viewport()->mapToGlobal(QPointF(at)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &move);
    EXPECT_EQ(view.viewport()->cursor().shape(), onLink ? Qt::PointingHandCursor : Qt::ArrowCursor);

    Press(view, at, Qt::RightButton);
    EXPECT_TRUE(fired.empty()) << "a right press fired";
    Press(view, at, Qt::LeftButton);
    EXPECT_EQ(fired, row.fired);
  }
}

TEST_F(HyperLinkViewTest, PressOutsideTheTextFiresNothing) {
  THyperLinkView view;
  Prepare(view);
  view.SetHyperText("<a>x</>");
  int calls = 0;
  view.OnHyperlinkClicked = [&](THyperText*, const std::string&) { ++calls; };
  Press(view, QPoint(400, 5), Qt::LeftButton);
  Press(view, QPoint(2, 40), Qt::LeftButton);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(view.CharacterAt(QPoint(400, 5)), -1);
}

TEST_F(HyperLinkViewTest, HandlerThatReplacesTheTextDuringThePress) {
  // A pop-up's link shows another resource in the same view while the press is handled.
  THyperLinkView view;
  Prepare(view);
  view.SetHyperText("<first>link</>");
  std::vector<std::string> fired;
  view.OnHyperlinkClicked = [&](THyperText* Sender, const std::string& id) {
    fired.push_back(id);
    Sender->SetHyperText("plain <second>text</> now");
  };
  Press(view, PointOf(view, 1), Qt::LeftButton);
  EXPECT_EQ(fired, std::vector<std::string>{"first"});
  EXPECT_EQ(view.toPlainText(), "plain text now");
  EXPECT_TRUE(view.IsLinkFormatted(7));
}

}  // namespace
