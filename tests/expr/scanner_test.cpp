// The lexical scanners: what each reads at a position, where it leaves the position, and its
// errors.

#include <gtest/gtest.h>

#include <string>

#include "expr/evalimpl.h"
#include "tests/support/expr_support.h"

namespace {

using Scanner = std::string (*)(const std::string&, int&);

struct ScanCase {
  const char* Name;
  Scanner Scan;
  std::string Text;
  int Pos = 1;
  std::string Result = "";
  int End = 0;             // where the position stands afterwards
  std::string Error = "";  // expected message instead of a result
  int ErrorPos = 0;        // where the position stands when the error is raised (0: not checked)
};

TEST(Scanners, ReadTheirPieceAndAdvance) {
  const std::string quote_a_escaped_quote_quote = "\"a\\\"\"";  // "a\""
  const ScanCase cases[] = {
      {"blanks", ReadWhitespace, " \t x", 1, " \t ", 4},
      {"no blank", ReadWhitespace, "x", 1, "", 1},
      {"blanks past the end", ReadWhitespace, "ab", 3, "", 3},
      {"blanks below 1", ReadWhitespace, " a", 0, "", 0},
      {"identifier", ReadIdentifier, "A1_b(", 1, "A1_b", 5},
      {"identifier of Cyrillic letters", ReadIdentifier, "\xCF\xF0\xE8\xE2\xE5\xF2+1", 1,
       "\xCF\xF0\xE8\xE2\xE5\xF2", 7},
      {"identifier after 0xB8", ReadIdentifier, "\xB8z", 1, "\xB8z", 3},
      {"identifier starting with a digit", ReadIdentifier, "1A", 1, "", 0,
       "No identifier found at the specified position."},
      {"identifier starting with 0xB7", ReadIdentifier, "\xB7", 1, "", 0,
       "No identifier found at the specified position."},
      {"identifier at 0", ReadIdentifier, "A", 0, "", 0, "Invalid position specified."},
      {"identifier past the end", ReadIdentifier, "A", 2, "", 0, "Invalid position specified."},
      {"number", ReadNumber, "12+3", 1, "12", 3},
      {"number with separator", ReadNumber, "1.25*", 1, "1.25", 5},
      {"lone separator", ReadNumber, ".", 1, ".", 2},
      {"leading separator", ReadNumber, ".5", 1, ".5", 3},
      {"trailing separator", ReadNumber, "5.", 1, "5.", 3},
      {"no exponent", ReadNumber, "1E5", 1, "1", 2},
      {"second separator", ReadNumber, "1.2.3", 1, "", 0, "Only one decimal separator allowed.", 4},
      {"no number", ReadNumber, "A", 1, "", 0,
       "No numeric constant found at the specified position."},
      {"number past the end", ReadNumber, "1", 2, "", 0, "Invalid position specified."},
      {"string constant with escaped quote", ReadStringConstant, quote_a_escaped_quote_quote, 1,
       quote_a_escaped_quote_quote, 6},
      {"string constant then more", ReadStringConstant, "\"ab\"+1", 1, "\"ab\"", 5},
      {"escaped backslash closes", ReadStringConstant, "\"\\\\\"x", 1, "\"\\\\\"", 5},
      {"unterminated string", ReadStringConstant, "\"a", 1, "", 0, "Unterminated string constant.",
       3},
      {"quote escaped at the end", ReadStringConstant, "\"a\\\"", 1, "", 0,
       "Unterminated string constant."},
      {"no string constant", ReadStringConstant, "a", 1, "", 0,
       "No string constant found at the specified position."},
      {"string constant at 0", ReadStringConstant, "\"\"", 0, "", 0, "Invalid position specified."},
      {"part up to a top-level comma", ReadExpressionPart, "f(a,(b,c)),d", 1, "f(a,(b,c))", 11},
      {"part stops on a bracket", ReadExpressionPart, ")", 1, "", 1},
      {"part to the end", ReadExpressionPart, "a+b", 1, "a+b", 4},
      {"part keeps blanks", ReadExpressionPart, "a + f (1, 2) ,x", 1, "a + f (1, 2) ", 14},
      {"part skips brackets in strings", ReadExpressionPart, "\")\",1", 1, "\")\"", 4},
      {"part of an unclosed bracket", ReadExpressionPart, "(a,b", 1, "(a,b", 5},
      {"part past the end", ReadExpressionPart, "a", 2, "", 2},
      {"part with a bad number", ReadExpressionPart, "(1..2)", 1, "", 0,
       "Only one decimal separator allowed.", 4},
      {"part with an unterminated string", ReadExpressionPart, "f(\"a)", 1, "", 0,
       "Unterminated string constant.", 6},
      {"parameter list", ReadParameterList, "a, (b,c) ,d)+1", 1, "a, (b,c) ,d", 12},
      {"empty parameters", ReadParameterList, ",)", 1, ",", 2},
      {"parameter list to the end", ReadParameterList, "1,2", 1, "1,2", 4},
  };
  for (const ScanCase& c : cases) {
    SCOPED_TRACE(c.Name);
    int pos = c.Pos;
    if (!c.Error.empty()) {
      EXPECT_RAISES(c.Scan(c.Text, pos), c.Error);
      if (c.ErrorPos != 0) {
        EXPECT_EQ(pos, c.ErrorPos);
      }
      continue;
    }
    EXPECT_EQ(c.Scan(c.Text, pos), c.Result);
    EXPECT_EQ(pos, c.End);
  }
}

}  // namespace
