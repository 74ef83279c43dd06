// The scheme writer's primitives against the stream's own byte examples.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "tools/schemewriter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SchemeWriter, PrimitivesAreLittleEndianAndUnpadded) {
  struct Row {
    const char* name;
    SchemeWriter writer;
    Bytes bytes;
  };
  std::vector<Row> rows;
  rows.push_back({"Int 1", SchemeWriter().Int(1), {1, 0, 0, 0}});
  rows.push_back({"Int -1", SchemeWriter().Int(-1), {0xFF, 0xFF, 0xFF, 0xFF}});
  rows.push_back({"Word 2", SchemeWriter().Word(2), {2, 0}});
  rows.push_back({"Byte and Bool", SchemeWriter().Byte(0x7F).Bool(true).Bool(false), {0x7F, 1, 0}});
  rows.push_back({"Str abc", SchemeWriter().Str("abc"), {3, 0, 'a', 'b', 'c'}});
  rows.push_back({"empty Str", SchemeWriter().Str(""), {0, 0}});
  rows.push_back({"Mui", SchemeWriter().Mui({{"1", "ab"}}), {1, 1, 0, '1', 2, 0, 'a', 'b'}});
  rows.push_back({"empty Mui", SchemeWriter().Mui({}), {0}});
  rows.push_back({"Ext 1", SchemeWriter().Ext(1.0L), {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.writer.Bytes(), row.bytes);
  }
}

TEST(SchemeWriter, RefusesTextsAndCountsTheirFieldsCannotCarry) {
  SchemeWriter w;
  EXPECT_THROW(w.Str(std::string(65536, 'x')), Exception);
  EXPECT_THROW(w.WordCount(65536), Exception);
  EXPECT_THROW(w.IntCount(std::size_t{1} << 31), Exception);
  EXPECT_EQ(w.Size(), 0u);
  w.WordCount(65535).IntCount(0x7FFFFFFF);
  EXPECT_EQ(w.Bytes(), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));
}

}  // namespace
