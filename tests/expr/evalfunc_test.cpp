#include "expr/evalfunc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "expr/typecvt.h"
#include "tests/support/expr_support.h"

namespace {

// One call of a float routine: its result, or the exact message it raises.
struct FloatRow {
  std::string name;
  std::function<long double()> call;
  long double result = 0;
  std::string error = {};
};

void CheckFloatRows(const std::vector<FloatRow>& rows) {
  for (const FloatRow& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.error.empty()) {
      EXPECT_EQ(row.call(), row.result);
    } else {
      EXPECT_RAISES(row.call(), row.error);
    }
  }
}

const char* const kInvalidOp = "Invalid floating point operation";
const char* const kZeroDivide = "Floating point division by zero";
const char* const kOverflow = "Floating point overflow";

TEST(EvalLowerUpperAbs, TruncateAndRoundUpTowardTheRightSide) {
  CheckFloatRows({
      {"lower(2.7)", [] { return EvalLower(2.7L); }, 2},
      {"lower(-2.7)", [] { return EvalLower(-2.7L); }, -2},
      {"lower(-0.5)", [] { return EvalLower(-0.5L); }, 0},
      {"lower(2^62)", [] { return EvalLower(4611686018427387904.5L); }, 4611686018427387904.0L},
      {"lower(2^63)", [] { return EvalLower(9223372036854775808.0L); }, 0, kInvalidOp},
      {"lower(-1E30)", [] { return EvalLower(-1E30L); }, 0, kInvalidOp},
      {"upper(2.1)", [] { return EvalUpper(2.1L); }, 3},
      {"upper(2)", [] { return EvalUpper(2); }, 2},
      {"upper(-2.5)", [] { return EvalUpper(-2.5L); }, -2},
      {"upper(-0.5)", [] { return EvalUpper(-0.5L); }, 0},
      {"upper(0.0000001)", [] { return EvalUpper(0.0000001L); }, 1},
      {"upper(1E19)", [] { return EvalUpper(1E19L); }, 0, kInvalidOp},
      {"abs(-3.5)", [] { return EvalAbs(-3.5L); }, 3.5L},
      {"abs(2)", [] { return EvalAbs(2); }, 2},
  });
}

TEST(EvalRemainDiv, FollowSignedDivisionAndRaiseForItsFailures) {
  struct Row {
    std::int32_t a, b;
    std::int32_t quotient = 0, remainder = 0;
    std::string error = {};
  };
  const std::vector<Row> rows = {
      {7, 3, 2, 1},
      {-7, 3, -2, -1},
      {7, -3, -2, 1},
      {-7, -3, 2, -1},
      {7, 2, 3, 1},
      {-7, 2, -3, -1},
      {0, 5, 0, 0},
      {-2147483647 - 1, 1, -2147483647 - 1, 0},
      {5, 0, 0, 0, "Division by zero"},
      {-2147483647 - 1, -1, 0, 0, "Integer overflow"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.a) + " by " + std::to_string(row.b));
    if (row.error.empty()) {
      EXPECT_EQ(EvalDiv(row.a, row.b), row.quotient);
      EXPECT_EQ(EvalRemain(row.a, row.b), row.remainder);
    } else {
      EXPECT_RAISES(EvalDiv(row.a, row.b), row.error);
      EXPECT_RAISES(EvalRemain(row.a, row.b), row.error);
    }
  }
}

TEST(EvalIf, ReturnsTheChosenTextUnchanged) {
  EXPECT_EQ(EvalIf(true, "\"a\"", "007"), "\"a\"");
  EXPECT_EQ(EvalIf(false, "\"a\"", "007"), "007");
}

TEST(EvalAverage, ReadsEveryParameterAsAFloat) {
  const std::string six = QuoteString("6");
  const std::string word = QuoteString("abc");
  CheckFloatRows({
      {"no parameters", [] { return EvalAverage({}); }, 0},
      {"1, 2, \"6\"",
       [&] {
         return EvalAverage({"1", "2", six});
       },
       3},
      {"string without a number",
       [&] {
         return EvalAverage({word, "4"});
       },
       2},
      {"hex and empty",
       [] {
         return EvalAverage({"$10", ""});
       },
       8},
      {"float texts",
       [] {
         return EvalAverage({"0.5", "1E1"});
       },
       5.25L},
      {"invalid",
       [] {
         return EvalAverage({"1", "abc"});
       },
       0, "Invalid typecast."},
  });
}

TEST(EvalPower, CoversZeroWholeAndFractionalExponents) {
  CheckFloatRows({
      {"0^0", [] { return EvalPower(0, 0); }, 1},
      {"5^0", [] { return EvalPower(5, 0); }, 1},
      {"0^3", [] { return EvalPower(0, 3); }, 0},
      {"0^0.5", [] { return EvalPower(0, 0.5L); }, 0},
      {"0^-1", [] { return EvalPower(0, -1); }, 0, kZeroDivide},
      {"2^10", [] { return EvalPower(2, 10); }, 1024},
      {"2^-2", [] { return EvalPower(2, -2); }, 0.25L},
      {"-2^3", [] { return EvalPower(-2, 3); }, -8},
      {"-2^-3", [] { return EvalPower(-2, -3); }, -0.125L},
      {"1.5^2", [] { return EvalPower(1.5L, 2); }, 2.25L},
      {"-1^2147483647", [] { return EvalPower(-1, 2147483647.0L); }, -1},
      {"4^0.5", [] { return EvalPower(4, 0.5L); }, std::exp(0.5L * std::log(4.0L))},
      {"-8^(1/3)", [] { return EvalPower(-8, 1.0L / 3); }, 0, kInvalidOp},
      {"-2^1E10", [] { return EvalPower(-2, 1E10L); }, 0, kInvalidOp},
      {"10^5000", [] { return EvalPower(10, 5000); }, 0, kOverflow},
      {"10^-5000", [] { return EvalPower(10, -5000); }, 0, kOverflow},
      {"0.1^-5000", [] { return EvalPower(0.1L, -5000); }, 0, kOverflow},
      {"0.1^5000", [] { return EvalPower(0.1L, 5000); }, 0},
      {"10^5000.5", [] { return EvalPower(10, 5000.5L); }, 0, kOverflow},
  });
}

TEST(EvalSqrtExp, RaiseForNegativeRootsAndOverflow) {
  CheckFloatRows({
      {"sqrt(9)", [] { return EvalSqrt(9); }, 3},
      {"sqrt(0)", [] { return EvalSqrt(0); }, 0},
      {"sqrt(-1)", [] { return EvalSqrt(-1); }, 0, kInvalidOp},
      {"exp(0)", [] { return EvalExp(0); }, 1},
      {"exp(1)", [] { return EvalExp(1); }, std::exp(1.0L)},
      {"exp(-20000)", [] { return EvalExp(-20000); }, 0},
      {"exp(20000)", [] { return EvalExp(20000); }, 0, kOverflow},
  });
}

TEST(EvalCPercent, MultipliesOncePerPeriod) {
  CheckFloatRows({
      {"100, 10%, 2", [] { return EvalCPercent(100, 10, 2); }, 121},
      {"100, 10%, 0", [] { return EvalCPercent(100, 10, 0); }, 100},
      {"100, 10%, -1", [] { return EvalCPercent(100, 10, -1); }, 100},
      {"200, -50%, 3", [] { return EvalCPercent(200, -50, 3); }, 25},
      {"1.1 three times", [] { return EvalCPercent(100, 10, 3); },
       100 * (10.0L / 100 + 1) * (10.0L / 100 + 1) * (10.0L / 100 + 1)},
      {"-200%, odd", [] { return EvalCPercent(5, -200, 3); }, -5},
      {"-200%, even", [] { return EvalCPercent(5, -200, 4); }, 5},
      {"overflow", [] { return EvalCPercent(1E4000L, 1000000, 1000); }, 0, kOverflow},
  });
}

TEST(EvalCPercent, StopsOnceTheValueNoLongerChanges) {
  // Two billion periods that change nothing after the first few must not take seconds.
  EXPECT_EQ(EvalCPercent(100, 0, 2147483647), 100);
  EXPECT_EQ(EvalCPercent(100, -100, 2147483647), 0);
  EXPECT_EQ(EvalCPercent(100, -50, 2147483647), 0);
  EXPECT_EQ(EvalCPercent(0, 10, 2147483647), 0);
}

TEST(EvalUserMsg, ShowsThePlainTextAndReturnsTheValue) {
  struct Row {
    std::string value, shown;
  };
  const std::vector<Row> rows = {
      {QuoteString("Hello"), "Hello"},
      {QuoteString("say \"hi\""), "say \"hi\""},
      {"007", "7"},
      {"1.50", "1.5"},
      {"", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    RecordingMessageWindow window;
    EXPECT_EQ(EvalUserMsg(row.value), row.value);
    EXPECT_EQ(window.Shown, std::vector<std::string>{row.shown});
  }
}

TEST(EvalUserMsg, RaisesForAnInvalidValueWithoutShowingIt) {
  RecordingMessageWindow window;
  EXPECT_RAISES(EvalUserMsg("abc"), "Invalid typecast.");
  EXPECT_TRUE(window.Shown.empty());
}

}  // namespace
