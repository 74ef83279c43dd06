#include "app/hyperlinkparse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"

namespace {

struct Link {
  std::int32_t Start;
  std::int32_t End;
  std::string Id;
  bool operator==(const Link&) const = default;
};

std::vector<Link> LinksOf(const THyperText& text) {
  std::vector<Link> links;
  for (const auto& link : text.Links) links.push_back({link->StartPos, link->EndPos, link->LinkId});
  return links;
}

TEST(HyperTextParser, MarkUpGivesThePlainTextAndTheLinks) {
  struct Row {
    std::string name;
    std::string plain;
    std::vector<Link> links = {};
  };
  const Row rows[] = {
      {"", ""},
      {"plain text > with / signs", "plain text > with / signs"},
      {"Press <res1>here</> for details", "Press here for details", {{6, 10, "res1"}}},
      {"<a>x</> and <b>yz</>", "x and yz", {{0, 1, "a"}, {6, 8, "b"}}},
      {"a\\<b\\\\c", "a<b\\c"},
      {"x\\", "x"},
      {"\\<a>x</>", "<a>x"},
      {"<a\\>b>x</>", "x", {{0, 1, "a>b"}}},
      {"<a>x\\</>y</>", "x</>y", {{0, 5, "a"}}},
      // Links do not nest: the inner opening tag is dropped, the last "</>" opens a link
      // with id "/" that is never closed.
      {"<a>one<b>two</>three</>", "onetwothree", {{0, 6, "a"}}},
      // Any tag starting with "/" closes; outside a link it opens one with that id.
      {"<a>x</close>y", "xy", {{0, 1, "a"}}},
      {"a</x>b</>c", "abc", {{1, 2, "/x"}}},
      {"<>x</>", "x", {{0, 1, ""}}},
      {"<a></>b", "b", {{0, 0, "a"}}},
      {"text <unclosed", "text "},
      {"<id>open to the end", "open to the end"},
      {"ends with <", "ends with "},
      {"<a>cut off</", "cut off", {{0, 7, "a"}}},
      {"<a>x</><b>y</>", "xy", {{0, 1, "a"}, {1, 2, "b"}}},
      {"one\r\n<r>two</>\n", "one\r\ntwo\n", {{5, 8, "r"}}},
      {"\xCF\xF0\xE8 <\xF0\xE5\xF1>\xF1\xF1\xFB\xEB\xEA\xE0</>",
       "\xCF\xF0\xE8 \xF1\xF1\xFB\xEB\xEA\xE0",
       {{4, 10, "\xF0\xE5\xF1"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    THyperText text;
    text.SetHyperText(row.name);
    EXPECT_EQ(text.HyperText(), row.name);
    EXPECT_EQ(text.PlainText(), row.plain);
    EXPECT_EQ(LinksOf(text), row.links);
  }
}

TEST(HyperTextParser, AnotherTextReplacesPlainTextAndLinks) {
  THyperText text;
  text.SetHyperText("<a>x</> <b>y</>");
  text.SetHyperText("only <c>one</>");
  EXPECT_EQ(text.PlainText(), "only one");
  EXPECT_EQ(LinksOf(text), (std::vector<Link>{{5, 8, "c"}}));
  text.SetHyperText("");
  EXPECT_EQ(text.PlainText(), "");
  EXPECT_EQ(text.LinkCount(), 0);
}

// Counts the reformatting that a view does on every change.
class CountingText : public THyperText {
 public:
  int Formatted = 0;

 protected:
  void ApplyFormatting() override { ++Formatted; }
};

TEST(HyperTextParser, TheSameTextAgainChangesNothing) {
  CountingText text;
  text.SetHyperText("<a>x</>");
  text.Links[0]->LinkId = "changed";
  text.SetHyperText("<a>x</>");
  EXPECT_EQ(text.Formatted, 1);
  EXPECT_EQ(text.GetLink(0)->LinkId, "changed");
  // The comparison is exact: another case is another text.
  text.SetHyperText("<A>x</>");
  EXPECT_EQ(text.Formatted, 2);
  EXPECT_EQ(text.GetLink(0)->LinkId, "A");
}

TEST(HyperTextLinks, FireLinkCallsTheHandlerForAnExactRangeOnly) {
  THyperText text;
  text.SetHyperText("<a>x</><b>y</> and <c>zz</>");
  std::vector<std::string> fired;
  THyperText* sender = nullptr;
  text.FireLink(0, 1);  // no handler: nothing happens
  text.OnHyperlinkClicked = [&](THyperText* Sender, const std::string& id) {
    sender = Sender;
    fired.push_back(id);
  };
  struct Row {
    std::int32_t cpMin;
    std::int32_t cpMax;
    std::vector<std::string> fired;
  };
  const Row rows[] = {
      {0, 1, {"a"}},
      {1, 2, {"b"}},
      {7, 9, {"c"}},
      // The run of two touching links matches neither of them.
      {0, 2, {}},
      {7, 8, {}},
      {3, 3, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.cpMin) + "-" + std::to_string(row.cpMax));
    fired.clear();
    text.FireLink(row.cpMin, row.cpMax);
    EXPECT_EQ(fired, row.fired);
  }
  EXPECT_EQ(sender, &text);
}

TEST(HyperTextLinks, FireLinkTakesTheFirstOfLinksWithTheSameRange) {
  THyperText text;
  text.AddLink(2, 4, "first");
  text.AddLink(2, 4, "second");
  std::string fired;
  text.OnHyperlinkClicked = [&](THyperText*, const std::string& id) { fired = id; };
  text.FireLink(2, 4);
  EXPECT_EQ(fired, "first");
}

TEST(HyperTextLinks, HandlerMayReplaceTheTextAndItsOwnHandler) {
  THyperText text;
  text.SetHyperText("<first>x</>");
  std::string fired;
  text.OnHyperlinkClicked = [&](THyperText* Sender, const std::string& id) {
    // A pop-up's link shows another resource in the same view: the link pressed is freed.
    Sender->SetHyperText("<other>y</> <more>z</>");
    Sender->OnHyperlinkClicked = nullptr;
    fired = id;
  };
  text.FireLink(0, 1);
  EXPECT_EQ(fired, "first");
  EXPECT_EQ(text.PlainText(), "y z");
  EXPECT_EQ(text.LinkCount(), 2);
}

TEST(HyperTextLinks, DeleteLinkAndGetLink) {
  THyperText text;
  text.SetHyperText("<a>x</><b>y</><c>z</>");
  THyperLinkInfo* middle = text.GetLink(1);
  text.DeleteLink(middle);
  ASSERT_EQ(text.LinkCount(), 2);
  EXPECT_EQ(text.GetLink(1)->LinkId, "c");
  const THyperLinkInfo stranger(0, 1, "a");
  text.DeleteLink(&stranger);  // not in the list: nothing
  EXPECT_EQ(text.LinkCount(), 2);
  for (std::int32_t outside : {-1, 2}) {
    SCOPED_TRACE(outside);
    try {
      text.GetLink(outside);
      ADD_FAILURE() << "no error";
    } catch (const EListError& e) {
      EXPECT_EQ(std::string(e.what()),
                "List index out of bounds (" + std::to_string(outside) + ")");
    }
  }
  text.ClearLinks();
  EXPECT_EQ(text.LinkCount(), 0);
}

TEST(HyperTextLinks, MatchesIsExact) {
  const THyperLinkInfo link(3, 7, "id");
  EXPECT_TRUE(link.Matches(3, 7));
  EXPECT_FALSE(link.Matches(3, 6));
  EXPECT_FALSE(link.Matches(4, 7));
}

}  // namespace
