// The twelve standard operators on value texts: arithmetic, logic and comparison, their type
// errors and the floating-point errors.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "expr/eval.h"
#include "expr/evalimpl.h"
#include "tests/support/expr_support.h"
#include "tests/support/table_provider.h"

namespace {

struct OperatorCase {
  std::string Text;
  std::map<std::string, std::string> Variables = {};
  std::string Result = "";
  std::string Error = "";
};

class OperatorsTest : public ::testing::Test {
 protected:
  OperatorsTest() : Expression(CreateStandardExpression()) { Expression->Provider = &Provider; }

  void Check(const OperatorCase& c) {
    SCOPED_TRACE(c.Text);
    Provider.Variables = c.Variables;
    Expression->SetText(c.Text);
    if (c.Error.empty()) {
      EXPECT_EQ(Expression->Evaluate(), c.Result);
    } else {
      EXPECT_RAISES(Expression->Evaluate(), c.Error);
    }
  }

  std::unique_ptr<TEvalExpression> Expression;
  TTableProvider Provider;
};

TEST_F(OperatorsTest, ArithmeticWritesFifteenDigitNumberTexts) {
  const OperatorCase cases[] = {
      {"1+1", {}, "2"},
      {"0.1+0.2", {}, "0.3"},
      {"1/3", {}, "0.333333333333333"},
      {"1/3*3", {}, "0.999999999999999"},  // every result passes through its text
      {"2/3", {}, "0.666666666666667"},
      {"7/2", {}, "3.5"},
      {"2*0.5", {}, "1"},
      {"5-7", {}, "-2"},
      {"10000000*10000000", {}, "100000000000000"},
      {"1000000*1000000*1000", {}, "1E15"},
      {"1/100000", {}, "1E-5"},
      {".+5.", {}, "5"},
      {"-X", {{"X", ""}}, "0"},
      {"+X", {{"X", "007"}}, "7"},
      {"+X", {{"X", "\"12\""}}, "12"},
      {"S+1", {{"S", "\"12\""}}, "13"},
      {"S+1", {{"S", "\"abc\""}}, "1"},
      {"X*2", {{"X", "1E3"}}, "2000"},  // variables may hold exponent texts
      {"X+1", {{"X", " 5"}}, "6"},
      {"X+1", {{"X", "$10"}}, "", kArithmeticTypecast},
      {"1+X", {{"X", "abc"}}, "", kArithmeticTypecast},
      {"X-1", {{"X", "\"1E400\""}}, "", kArithmeticTypecast},  // its conversion overflows
  };
  for (const auto& c : cases) Check(c);
}

TEST_F(OperatorsTest, FloatingPointErrorsAreRaisedWithoutPosition) {
  const OperatorCase cases[] = {
      {"1/0", {}, "", "Floating point division by zero"},
      {"-1/X", {{"X", "0.0"}}, "", "Floating point division by zero"},
      {"0/0", {}, "", "Invalid floating point operation"},
      {"X/0", {{"X", "-0"}}, "", "Invalid floating point operation"},
      {"X*X", {{"X", "1E4000"}}, "", "Floating point overflow"},  // beyond the extended range
      {"X+0", {{"X", "1E400"}}, "", "Floating point overflow"},   // beyond the double range
      {"X*10", {{"X", "1E308"}}, "", "Floating point overflow"},
      {"X/10", {{"X", "1E308"}}, "1E307"},
  };
  for (const auto& c : cases) Check(c);
}

TEST_F(OperatorsTest, LogicReadsTruthValues) {
  const OperatorCase cases[] = {
      {"~1", {}, "0"},
      {"~0", {}, "1"},
      {"~(0-1)", {}, "1"},  // an integer is true when greater than 0
      {"~0.5", {}, "1"},
      {"~X", {{"X", "-1.5"}}, "0"},  // a float by its value truncated toward zero
      {"~X", {{"X", "1.5"}}, "0"},
      {"~X", {{"X", ""}}, "1"},
      {"~X", {{"X", "\"5\""}}, "0"},
      {"~X", {{"X", "\"-5\""}}, "1"},
      {"~X", {{"X", "\"abc\""}}, "1"},
      {"X&1", {{"X", "$10"}}, "1"},
      {"2&3", {}, "1"},
      {"2&0", {}, "0"},
      {"0|0", {}, "0"},
      {"0|7", {}, "1"},
      {"X|1", {{"X", "abc"}}, "", kLogicTypecast},
      {"1&X", {{"X", "1E30"}}, "", kLogicTypecast},  // beyond the integer truncation
  };
  for (const auto& c : cases) Check(c);
}

TEST_F(OperatorsTest, ComparisonModeIsChosenByTheLeftOperand) {
  const OperatorCase cases[] = {
      {"10>9", {}, "1"},
      {"\"10\">\"9\"", {}, "0"},  // texts compare byte-wise
      {"\"B\">\"a\"", {}, "0"},
      {"\"ab\"<\"abc\"", {}, "1"},
      {"\"\xE0\">\"z\"", {}, "1"},  // as unsigned codes
      {"\"5\"=5", {}, "1"},         // a bare right operand compares as its text
      {"\"05\"=5", {}, "0"},
      {"10>\"9\"", {}, "1"},  // a number on the left compares numbers
      {"1>X", {{"X", "\"abc\""}}, "1"},
      {"X=\"\"", {{"X", ""}}, "1"},
      {"X<5", {{"X", ""}}, "1"},
      {"0=X", {{"X", ""}}, "1"},
      {"2>=2", {}, "1"},
      {"2<=1.5", {}, "0"},
      {"1.0=1", {}, "1"},
      {"3<2=0", {}, "1"},
      {"1>X", {{"X", "abc"}}, "", kLogicTypecast},
      {"1>X", {{"X", "\"1E400\""}}, "", kLogicTypecast},
      // A left operand that is neither a string constant nor a number text the operators read.
      {"X>0", {{"X", "$10"}}, "", kLogicTypecast},
      {"X=X", {{"X", "$10"}}, "", kLogicTypecast},
      {"X<1", {{"X", "abc"}}, "", kLogicTypecast},
  };
  for (const auto& c : cases) Check(c);
}

TEST_F(OperatorsTest, AllFourTypesOfHexTextsReadAlike) {
  // "$10" is an integer text but no float text: arithmetic and comparison refuse it alike,
  // logic reads it as an integer.
  const OperatorCase cases[] = {
      {"X+0", {{"X", "$10"}}, "", kArithmeticTypecast},
      {"X>0", {{"X", "$10"}}, "", kLogicTypecast},
      {"~X", {{"X", "$10"}}, "0"},
  };
  for (const auto& c : cases) Check(c);
}

TEST_F(OperatorsTest, NumbersInExpressionsKeepTheirPointUnderACommaLocale) {
  SeparatorGuard comma(',');
  const OperatorCase cases[] = {
      {"1.5+1", {}, "2.5"},
      {"7/2", {}, "3.5"},              // results are written with "."
      {"X+1", {{"X", "1,5"}}, "2.5"},  // a value text in the locale's form reads as well
      {"X>1.25", {{"X", "1,5"}}, "1"},
      {"X+1", {{"X", "1,5.0"}}, "", kArithmeticTypecast},
      {"1,5", {}, "", "Unexpected character.\r\n2"},
  };
  for (const auto& c : cases) Check(c);
}

TEST(StandardOperators, RegisteredInOrderWithTheirShapes) {
  auto expression = CreateStandardExpression();
  const struct {
    const char* Name;
    bool Binary, Unary;
    int Priority;
  } expected[] = {
      {"+", true, true, 3},  {"-", true, true, 3},  {"*", true, false, 4},  {"/", true, false, 4},
      {"~", false, true, 6}, {"&", true, false, 1}, {"|", true, false, 0},  {">", true, false, 2},
      {"<", true, false, 2}, {"=", true, false, 2}, {">=", true, false, 2}, {"<=", true, false, 2},
  };
  ASSERT_EQ(expression->OperatorCount(), 12);
  EXPECT_EQ(expression->Provider, nullptr);
  for (int i = 0; i < 12; ++i) {
    SCOPED_TRACE(expected[i].Name);
    const TEvalOperator* op = expression->Operators(i);
    EXPECT_EQ(op->Name, expected[i].Name);
    EXPECT_EQ(op->Binary, expected[i].Binary);
    EXPECT_EQ(op->Unary, expected[i].Unary);
    EXPECT_EQ(op->Priority, expected[i].Priority);
    EXPECT_EQ(op->Expression, expression.get());
  }
  // The slots the parser never calls have fixed answers.
  std::string result;
  expression->FindOperator("*")->EvaluateUnary("5", result);
  EXPECT_EQ(result, "0");
  result.clear();
  expression->FindOperator("~")->EvaluateBinary("1", "1", result);
  EXPECT_EQ(result, "");
  expression->FindOperator(">=")->EvaluateUnary("1", result);
  EXPECT_EQ(result, "");
}

}  // namespace
