#include "platform/sheetformula.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SheetFormula, R1C1FormulasAreWrittenInA1RelativeToTheirCell) {
  struct Row {
    const char* r1c1;
    const char* a1;
    std::uint32_t row = 5;
    std::uint32_t column = 3;
  };
  const Row rows[] = {
      // Relative, absolute and mixed cells.
      {"R[-1]C*2", "C4*2"},
      {"R[-1]C[2]", "E4"},
      {"R[+1]C[-2]", "A6"},
      {"RC", "C5"},
      {"R[0]C[0]", "C5"},
      {"R4C5", "$E$4"},
      {"R4C[1]", "D$4"},
      {"R[2]C1", "$A7"},
      {"r[-1]c", "C4"},
      {"R1C1", "$A$1", 1, 1},
      {"R[-1]C", "A1", 2, 1},
      {"R1048576C16384", "$XFD$1048576"},
      {"RC[-1]", "XFC1048576", 1048576, 16384},
      {"R1C27", "$AA$1"},
      {"R1C702", "$ZZ$1"},
      {"R1C703", "$AAA$1"},
      // Ranges, whole rows and columns.
      {"SUM(R4C5:R11C5)", "SUM($E$4:$E$11)"},
      {"SUM(R[-4]C:R[-1]C)", "SUM(C1:C4)"},
      {"SUM(R2)", "SUM($2:$2)"},
      {"SUM(R[-1])", "SUM(4:4)"},
      {"SUM(R)", "SUM(5:5)"},
      {"SUM(C3)", "SUM($C:$C)"},
      {"SUM(C[-1])", "SUM(B:B)"},
      {"SUM(C)", "SUM(C:C)"},
      {"SUM(R1:R3)", "SUM($1:$3)"},
      {"SUM(R1:R[1])", "SUM($1:6)"},
      {"SUM(C1:C[1])", "SUM($A:D)"},
      {"SUM(R1:R2C2)", "SUM($1:$1:$B$2)"},
      {"R1C1:R2C2 R2C1:R2C3", "$A$1:$B$2 $A$2:$C$2"},
      {"SUM((R1C1,R3C3))", "SUM(($A$1,$C$3))"},
      // Sheet-qualified references; only the formula's own book and sheet may be named.
      {"Sheet1!R1C1", "Sheet1!$A$1"},
      {"sheet1!R[1]C:R[2]C", "sheet1!C6:C7"},
      {"'Sheet1'!R1C1*2", "'Sheet1'!$A$1*2"},
      {"[Book1]Sheet1!R1C1", "Sheet1!$A$1"},
      {"'[book1]SHEET1'!R2", "'SHEET1'!$2:$2"},
      // Everything else passes unchanged, function names in upper case.
      {"round(R1C1*1.5E+2%,2)", "ROUND($A$1*1.5E+2%,2)"},
      {"IF(RC[-1]>=10,\"R1C1 \"\"x\"\"\",FALSE)", "IF(B5>=10,\"R1C1 \"\"x\"\"\",FALSE)"},
      {"-R1C1^2&\"a\"<>TRUE", "-$A$1^2&\"a\"<>TRUE"},
      {"IF(,,)", "IF(,,)"},
      {"NOW()", "NOW()"},
      {"SUM({1,2;3,-4})+{\"a\",TRUE,#N/A}", "SUM({1,2;3,-4})+{\"a\",TRUE,#N/A}"},
      {"#div/0! ", "#DIV/0! "},
      {" 1 + .5 ", " 1 + .5 "},
      {"\"\"", "\"\""},
      {"ROUNDUP(RC2,0)", "ROUNDUP($B5,0)"},
      {"_XLFN.stdev.s(C1)", "_xlfn.STDEV.S($A:$A)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.r1c1);
    EXPECT_EQ(R1C1FormulaToA1(row.r1c1, row.row, row.column, "Book1").value_or("<refused>"),
              row.a1);
  }
}

TEST(SheetFormula, FormulasTheSpreadsheetCannotReadAreRefused) {
  const char* rows[] = {
      "",
      " ",
      "== Offer ==",
      "=1",
      "1+",
      "*2",
      "5 pcs",
      "Total",
      "Total price",
      "A1*2",
      "\xd1\xf3\xec\xec\xe0",
      "SUM(R1C1",
      "SUM(R1C1))",
      "SUM R1C1",
      "(1",
      "\"open",
      "R[-5]C",
      "RC[-3]",
      "R0C1",
      "R1C0",
      "R1048577C1",
      "R1C16385",
      "R[1048576]C",
      "R123456789C1",
      "R[x]C",
      "R[]C",
      "R1C1C1",
      "R1C1!",
      "Book2]Sheet1!R1C1",
      "Other!R1C1",
      "Sheet2!R1C1",
      "'My sheet'!R1C1*2",
      "'It''s'!R1C1",
      "[Book1]Other!R1C1",
      "'[Book1]Sheet 1'!R2",
      "\xcb\xe8\xf1\xf2!RC",
      "R1C1+Other!R1C1",
      "[Book2]Sheet1!R1C1",
      "'[Book2]Sheet1'!R1C1",
      "'Sheet1!R1C1",
      "''!R1C1",
      "Sheet1!",
      "Sheet1!Total",
      "'Sheet1'",
      "1:3",
      "R1C1:5",
      "R1C1:-R2C2",
      "1 2",
      "#NOPE!",
      "{1,R1C1}",
      "{1,2",
      "1..2",
      "1E",
      "1A",
      "\xd1\xf3\xec\xec\xe0(1)",
      "SUM(1;2)",
      "50%%x",
  };
  for (const char* row : rows) {
    SCOPED_TRACE(row);
    EXPECT_EQ(R1C1FormulaToA1(row, 5, 3, "Book1"), std::nullopt);
  }
}

TEST(SheetFormula, NestingIsBoundedAsInTheSpreadsheet) {
  auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "ABS(";
    text += "1";
    for (int i = 0; i < depth; ++i) text += ")";
    return text;
  };
  EXPECT_TRUE(R1C1FormulaToA1(nested(64), 1, 1, "Book1").has_value());
  EXPECT_FALSE(R1C1FormulaToA1(nested(65), 1, 1, "Book1").has_value());
  EXPECT_FALSE(R1C1FormulaToA1(std::string(100000, '('), 1, 1, "Book1").has_value());
}

}  // namespace
