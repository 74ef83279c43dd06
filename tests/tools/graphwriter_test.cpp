// The flow-graph section writer against the record layouts the graph reader takes.
#include "tools/graphwriter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(GraphWriter, RecordsByKindLinksOfTwelveBytesAndTheScroll) {
  struct Row {
    const char* name;
    GraphElementRecord element;
    Bytes bytes;
  };
  const Row rows[] = {
      {"start: kind and position",
       {.Kind = gkStart, .Left = 1, .Top = -1},
       {0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"finish", {.Kind = gkFinish, .Left = 2, .Top = 3}, {1, 2, 0, 0, 0, 3, 0, 0, 0}},
      {"screen: kind, index, position",
       {.Kind = gkScreen, .Index = 0x0102, .Left = 4, .Top = 5},
       {2, 2, 1, 4, 0, 0, 0, 5, 0, 0, 0}},
      {"action", {.Kind = gkAction, .Index = 7}, {3, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"decision", {.Kind = gkDecision, .Index = 1}, {4, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"unknown kind: the byte alone", {.Kind = 9, .Index = 1, .Left = 5}, {9}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SchemeWriter out;
    WriteGraphElement(out, row.element);
    EXPECT_EQ(out.Bytes(), row.bytes);
  }

  SchemeWriter link;
  WriteGraphLink(link, {.FromElement = 1, .FromPoint = 2, .ToElement = 3, .ToPoint = 4});
  EXPECT_EQ(link.Bytes(), (Bytes{1, 0, 0, 0, 2, 0, 3, 0, 0, 0, 4, 0}));

  GraphSection section;
  EXPECT_EQ(section.Add({.Kind = 8}), -1);
  EXPECT_EQ(section.Add({.Kind = gkStart}), 0);
  EXPECT_EQ(section.Add({.Kind = gkFinish}), 1);
  section.Link(0, 0, 1);
  section.ScrollX = -1;
  section.ScrollY = 2;
  SchemeWriter out;
  WriteGraph(out, section);
  Bytes expected{3, 0, 0, 0, 8};
  expected.insert(expected.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0});
  expected.insert(expected.end(), {1, 0, 0, 0, 0, 0, 0, 0, 0});
  expected.insert(expected.end(), {1, 0, 0, 0});
  expected.insert(expected.end(), {0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0});
  expected.insert(expected.end(), {0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0});
  EXPECT_EQ(out.Bytes(), expected);

  SchemeWriter stamp;
  WriteSchemeStamp(stamp, 0x01020304);
  EXPECT_EQ(stamp.Bytes(), (Bytes{4, 3, 2, 1}));
}

}  // namespace
