#include "expr/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/support/expr_support.h"

namespace {

struct FormatRow {
  std::string fmt;
  std::vector<FormatArg> args = {};
  std::string result = {};
  char separator = '.';
};

TEST(FormatText, ReplacesDirectivesByTheirArguments) {
  const std::vector<FormatRow> rows = {
      {"plain text", {}, "plain text"},
      {"", {"unused"}, ""},
      {"Error: %s", {"Invalid typecast."}, "Error: Invalid typecast."},
      {"%s of %s", {"2", "5"}, "2 of 5"},
      {"%d items", {12}, "12 items"},
      {"%d", {std::int64_t{-9000000000}}, "-9000000000"},
      {"%d of %d", {std::size_t{3}, std::uint8_t{200}}, "3 of 200"},
      {"%f", {2.5}, "2.50"},
      {"Total %f", {1234.5L}, "Total 1234.50"},
      {"Total %f", {1234.5L}, "Total 1234,50", ','},
      {"%f", {7}, "7.00"},
      {"%s", {42}, "42"},
      {"%s", {1.5L}, "1.5"},
      {"%s", {1.5L}, "1,5", ','},
      {"100%%", {}, "100%"},
      {"%%s", {"x"}, "%s"},
      {"%S and %D", {"a", 3}, "a and 3"},
      // Anything that is not one of the directives is copied and takes no argument.
      {"%x %5d %s", {"a"}, "%x %5d a"},
      {"50%", {}, "50%"},
      {"%", {}, "%"},
      // Directives without an argument stay as they are; nothing is read past the list.
      {"%s %d %f", {}, "%s %d %f"},
      {"%s and %s", {"one"}, "one and %s"},
      // An argument that does not fit is used up and its directive copied.
      {"%d then %s", {"text", "next"}, "%d then next"},
      {"%f|%d", {"text", 1.5L}, "%f|%d"},
  };
  for (const FormatRow& row : rows) {
    SCOPED_TRACE(row.fmt);
    SeparatorGuard guard(row.separator);
    EXPECT_EQ(FormatText(row.fmt, row.args), row.result);
  }
}

TEST(FormatFixed2, RoundsHalfAwayFromZeroOnEighteenDigits) {
  const std::vector<std::pair<long double, std::string>> rows = {
      {0, "0.00"},
      {-0.0L, "0.00"},
      {1, "1.00"},
      {0.125L, "0.13"},
      {2.675L, "2.68"},  // the binary value lies just below 2.675
      {-2.675L, "-2.68"},
      {1.005L, "1.01"},
      {0.004L, "0.00"},
      {0.005L, "0.01"},
      {0.0049999L, "0.00"},
      {-0.004L, "0.00"},  // rounds to zero: no minus sign
      {-0.005L, "-0.01"},
      {0.0001L, "0.00"},
      {9.995L, "10.00"},
      {99.999L, "100.00"},
      {1E-30L, "0.00"},
      {123456789.125L, "123456789.13"},
      {1E20L, "100000000000000000000.00"},
      {-1234567890123456789.0L, "-1234567890123456790.00"},  // 18 significant digits
      {INFINITY, "INF"},
      {-INFINITY, "-INF"},
      {NAN, "NAN"},
  };
  for (const auto& [value, text] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(FormatFixed2(value), text);
  }
}

}  // namespace
