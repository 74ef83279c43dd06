#include "expr/typecvt.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/expr_support.h"
#include "tests/support/value_text_reference.h"

namespace {

std::string Q(const std::string& content) {
  return QuoteString(content);
}

// ---- validity of each type ------------------------------------------------------------------

struct ValidityRow {
  std::string text;
  TValueType type = vtString;
  bool valid = false;
  char separator = '.';
};

TEST(IsValidValue, FollowsTheGrammarOfEachType) {
  const std::vector<ValidityRow> rows = {
      // The empty text is valid for every type.
      {"", vtString, true},
      {"", vtInteger, true},
      {"", vtFloat, true},
      {"", vtBoolean, true},
      // String constants fill the whole text; a backslash takes the next character.
      {"\"abc\"", vtString, true},
      {"\"\"", vtString, true},
      {"\"a\\\"b\"", vtString, true},
      {"\"a\\\"", vtString, false},  // the escaped quote does not close
      {"\"a\\\\\"", vtString, true},
      {"\"a\"b\"", vtString, false},
      {" \"a\"", vtString, false},
      {"\"a\" ", vtString, false},
      {"\"", vtString, false},
      {"abc", vtString, false},
      {"12", vtString, false},
      // Integers: leading blanks, sign, decimal or hex; nothing after the digits.
      {"12", vtInteger, true},
      {"  -12", vtInteger, true},
      {"+7", vtInteger, true},
      {"007", vtInteger, true},
      {"5 ", vtInteger, false},
      {"\t5", vtInteger, false},
      {"- 5", vtInteger, false},
      {"-", vtInteger, false},
      {" ", vtInteger, false},
      {"1.0", vtInteger, false},
      {"2147483647", vtInteger, true},
      {"2147483648", vtInteger, false},
      {"-2147483648", vtInteger, true},
      {"-2147483649", vtInteger, false},
      {"99999999999999999999", vtInteger, false},
      {"$1F", vtInteger, true},
      {"x1f", vtInteger, true},
      {"X1F", vtInteger, true},
      {"0x1F", vtInteger, true},
      {"0X1F", vtInteger, true},
      {"-$10", vtInteger, true},
      {"$FFFFFFFF", vtInteger, true},
      {"$000000001", vtInteger, true},
      {"$100000000", vtInteger, false},
      {"$", vtInteger, false},
      {"0x", vtInteger, false},
      {"$1G", vtInteger, false},
      {"$-1", vtInteger, false},
      {"12", vtBoolean, true},
      {"-1", vtBoolean, true},
      {"1.0", vtBoolean, false},
      // Floats: blanks (spaces only) around, sign, mantissa, optional exponent.
      {"12", vtFloat, true},
      {"1.5", vtFloat, true},
      {".5", vtFloat, true},
      {"5.", vtFloat, true},
      {".", vtFloat, true},
      {"-.", vtFloat, true},
      {" 5 ", vtFloat, true},
      {"\t5", vtFloat, false},
      {"5\t", vtFloat, false},
      {"1E5", vtFloat, true},
      {"1e-5", vtFloat, true},
      {"1E+5", vtFloat, true},
      {"1E", vtFloat, true},
      {"1E+", vtFloat, true},
      {"E5", vtFloat, false},
      {"1E5.5", vtFloat, false},
      {"1.2.3", vtFloat, false},
      {"1,5", vtFloat, false},
      {"- 1", vtFloat, false},
      {"1 2", vtFloat, false},
      {" ", vtFloat, false},
      {"+", vtFloat, false},
      {"$10", vtFloat, false},
      {"0x10", vtFloat, false},
      {"0x1p3", vtFloat, false},
      {"inf", vtFloat, false},
      {"-INF", vtFloat, false},
      {"nan", vtFloat, false},
      {"infinity", vtFloat, false},
      // The exponent is read only while it stays below 500.
      {"1E600", vtFloat, true},
      {"1E4932", vtFloat, true},
      {"1E4933", vtFloat, false},  // beyond the extended range
      {"1E5000", vtFloat, false},
      {"1E00000000000000000001", vtFloat, true},
      {"1E-4999", vtFloat, true},
      {"1E-5000", vtFloat, false},
      // Under a comma locale both separators are accepted, but only one of them.
      {"1,5", vtFloat, true, ','},
      {"1.5", vtFloat, true, ','},
      {",", vtFloat, true, ','},
      {"1.5,", vtFloat, false, ','},
      {"1,5", vtInteger, false, ','},
  };
  for (const ValidityRow& row : rows) {
    SCOPED_TRACE("\"" + row.text + "\" type " + std::to_string(row.type) + " separator " +
                 row.separator);
    SeparatorGuard guard(row.separator);
    EXPECT_EQ(IsValidValue(row.text, row.type), row.valid);
  }
}

// ---- reading numbers ------------------------------------------------------------------------

TEST(TextToInt, ReadsDecimalAndHexAndAnswersZeroOtherwise) {
  const std::vector<std::pair<std::string, std::int32_t>> rows = {
      {"", 0},
      {"42", 42},
      {"  -42", -42},
      {"010", 10},  // never octal
      {"$1F", 31},
      {"0x1f", 31},
      {"x10", 16},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"$80000000", -2147483647 - 1},
      {"-$80000000", -2147483647 - 1},
      {"-2147483648", -2147483647 - 1},
      {"2147483647", 2147483647},
      {"2147483648", 0},
      {"abc", 0},
      {"5 ", 0},
      {"1.5", 0},
  };
  for (const auto& [text, value] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(TextToInt(text), value);
  }
}

TEST(TextToFloat, ReadsTheExactValueAndAnswersZeroForInvalidTexts) {
  struct Row {
    std::string text;
    long double value = 0;
    char separator = '.';
  };
  const std::vector<Row> rows = {
      {"", 0},
      {".", 0},
      {"1E", 1},
      {"0.1", 0.1L},
      {"-2.5", -2.5L},
      {" 12.5e2 ", 1250},
      {"1E-4999", 0},
      {"1E600", 1E600L},
      {"123456789012345678901234567890", 123456789012345678901234567890.0L},
      {"0.000000000000000000000000000000001", 1E-33L},
      {"1.18973149535723176502E+4932", LDBL_MAX},
      {"abc", 0},
      {"1,5", 0},
      {"1,5", 1.5L, ','},
      {"1.5", 1.5L, ','},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text + " separator " + row.separator);
    SeparatorGuard guard(row.separator);
    EXPECT_EQ(TextToFloat(row.text), row.value);
    // The operators' form answers the same value and the grammar's own verdict.
    bool valid = false;
    EXPECT_EQ(FloatTextValue(row.text, valid), row.value);
    long double ignored;
    EXPECT_EQ(valid, TryTextToFloat(row.text, ignored));
  }
}

TEST(TryTextToFloat, PlainTextsReadAsTheGeneralScannerReadsThem) {
  // Digits with separators take a shortcut when short; a trailing blank sends the same text
  // through the general scanner, which must give the same verdict and the same value.
  std::mt19937_64 random(20261212);
  std::vector<std::string> texts = {".",
                                    "0",
                                    "5.",
                                    ".5",
                                    "0.000",
                                    "..",
                                    "1..2",
                                    "1.2.3",
                                    "1,5",
                                    "1234567890123456789",
                                    "9999999999999999999",
                                    "123456789.123456789",
                                    "0000000000000000001.5"};
  for (int i = 0; i < 20000; ++i) {
    std::string text(1 + random() % 21, '0');
    for (char& c : text) {
      c = random() % 8 == 0 ? ".,"[random() % 2] : static_cast<char>('0' + random() % 10);
    }
    texts.push_back(text);
  }
  for (char separator : {'.', ','}) {
    SeparatorGuard guard(separator);
    for (const std::string& text : texts) {
      long double plain = -1, general = -1;
      const bool plain_valid = TryTextToFloat(text, plain);
      const bool general_valid = TryTextToFloat(text + " ", general);
      if (plain_valid != general_valid || plain != general ||
          std::signbit(plain) != std::signbit(general)) {
        ADD_FAILURE() << "'" << text << "' separator " << separator << ": " << plain_valid << " "
                      << static_cast<double>(plain) << " against " << general_valid << " "
                      << static_cast<double>(general);
        break;
      }
    }
  }
}

TEST(TextToFloat, DoesNotDependOnTheProcessLocale) {
  // The windowing toolkit sets the process locale from the environment; a comma locale must not
  // change how value texts are read.
  const char* previous = setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  if (setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no German locale";
  EXPECT_EQ(TextToFloat("1.5"), 1.5L);
  EXPECT_EQ(TextToFloat("1234567890123456789012.5"), 1234567890123456789012.5L);
  EXPECT_EQ(FloatToValueText(1.5L), "1.5");
  setlocale(LC_NUMERIC, saved.c_str());
}

TEST(TextToFloatStrict, RaisesWithTheTextAfterSeparatorReplacement) {
  EXPECT_EQ(TextToFloatStrict(""), 0);
  EXPECT_EQ(TextToFloatStrict("2.5"), 2.5L);
  EXPECT_RAISES(TextToFloatStrict("1.2x"), "'1.2x' is not a valid floating point value");
  SeparatorGuard guard(',');
  EXPECT_EQ(TextToFloatStrict("2.5"), 2.5L);
  EXPECT_RAISES(TextToFloatStrict("1.2x"), "'1,2x' is not a valid floating point value");
}

TEST(TextToBool, IsTrueOnlyForIntegersAboveZero) {
  EXPECT_TRUE(TextToBool("1"));
  EXPECT_TRUE(TextToBool("5"));
  EXPECT_FALSE(TextToBool("0"));
  EXPECT_FALSE(TextToBool("-1"));
  EXPECT_FALSE(TextToBool(""));
  EXPECT_FALSE(TextToBool("1.5"));
  EXPECT_EQ(BoolToText(true), "1");
  EXPECT_EQ(BoolToText(false), "0");
}

TEST(IntToText, WritesPlainDecimal) {
  EXPECT_EQ(IntToText(0), "0");
  EXPECT_EQ(IntToText(-17), "-17");
  EXPECT_EQ(IntToText(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(IntToText(2147483647), "2147483647");
}

// ---- the general float format ---------------------------------------------------------------

TEST(FloatToValueText, WritesFifteenDigitsInFixedOrExponentForm) {
  const std::vector<std::pair<long double, std::string>> rows = {
      {0.0L, "0"},
      {-0.0L, "0"},
      {12.0L, "12"},
      {-12.5L, "-12.5"},
      {1.0L / 3, "0.333333333333333"},
      {2.0L / 3, "0.666666666666667"},
      {0.1L + 0.2L, "0.3"},
      {0.1L, "0.1"},
      {123.45L, "123.45"},
      // Fixed notation from 0.0001 up to below 1E15.
      {0.0001L, "0.0001"},
      {0.00012345L, "0.00012345"},
      {0.00001L, "1E-5"},
      {0.000099999999999999999L, "0.0001"},  // rounds up into the fixed range
      {1E14L, "100000000000000"},
      {1E15L - 1, "999999999999999"},
      {1E15L, "1E15"},
      {999999999999999.5L, "1E15"},  // rounding carries into a new digit
      {1.5E-5L, "1.5E-5"},
      {-2.5E20L, "-2.5E20"},
      {1E100L, "1E100"},
      {1.7976931348623157E308L, "1.79769313486232E308"},
      {4.9E-324L, "4.9E-324"},
      {1E-4000L, "1E-4000"},  // below the double range is still written
      // The 18-digit expansion is rounded half up to 15 digits.
      {1.23456789012345L, "1.23456789012345"},
      {1.234567890123455L, "1.23456789012346"},
      {1.2345678901234549L, "1.23456789012345"},
      {0.9999999999999995L, "1"},
      {0.99999999999999949L, "0.999999999999999"},
      {123456789012345678.0L, "1.23456789012346E17"},
  };
  for (const auto& [value, text] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(FloatToValueText(value), text);
  }
}

TEST(DecimalDigits18, MatchesTheCorrectlyRoundedExpansionOverTheWholeRange) {
  std::mt19937_64 random(20261210);
  std::vector<long double> values = {1E-18L,
                                     1E38L,
                                     3.4E38L,
                                     0.1L,
                                     1.0L / 3,
                                     LDBL_MAX,
                                     LDBL_MIN,
                                     LDBL_TRUE_MIN,
                                     0.5L,
                                     1.0L,
                                     2.675L,
                                     1E15L - 1,
                                     123456789012345678.0L};
  for (int i = 0; i < 20000; ++i) {
    // Every binary exponent band, including the bands handled only by the printing path.
    const std::uint64_t mantissa = random() | (std::uint64_t{1} << 63);
    values.push_back(
        std::ldexp(static_cast<long double>(mantissa), static_cast<int>(random() % 400) - 264));
    // Exact ties at the 19th digit: 19-digit integers ending in 5.
    values.push_back(static_cast<long double>(
        (1000000000000000000ull + random() % 8000000000000000000ull) / 10 * 10 + 5));
    // Short binary fractions, whose expansions end early or tie.
    values.push_back(std::ldexp(static_cast<long double>(random() % 1000000 + 1),
                                -static_cast<int>(random() % 80)));
  }
  for (long double value : values) {
    char digits[18], expected[18];
    const int exponent = DecimalDigits18(value, digits);
    const int expected_exponent = PrintedDigits(value, expected);
    if (exponent != expected_exponent || std::memcmp(digits, expected, 18) != 0) {
      ADD_FAILURE() << "value " << std::string(expected, 18) << "E" << expected_exponent
                    << " written as " << std::string(digits, 18) << "E" << exponent;
      break;
    }
  }
}

// Values around which the writer's integer shortcut must agree with the exact expansion: every
// decimal band of the fixed form and beyond, the powers of ten and their neighbours (where the
// decimal exponent changes), exact ties and near-ties of the 16th and the 19th digit, and
// integers of up to 19 digits.
std::vector<long double> WriterCrossCheckValues() {
  std::mt19937_64 random(20261211);
  std::vector<long double> values;
  for (int e = -30; e <= 40; ++e) {
    const long double power = std::pow(10.0L, static_cast<long double>(e));
    for (long double p : {power, std::nextafter(power, 0.0L), std::nextafter(power, 1E99L)}) {
      values.push_back(p);
      values.push_back(-p);
    }
    // Just below a power of ten: the 15-digit rounding carries into the next power.
    values.push_back(power * (1 - 5E-16L));
    values.push_back(power * (1 - 4.9E-16L));
  }
  for (int i = 0; i < 40000; ++i) {
    // Random mantissas in every binary band from 2^-70 to 2^70.
    const std::uint64_t mantissa = random() | (std::uint64_t{1} << 63);
    values.push_back(
        std::ldexp(static_cast<long double>(mantissa), static_cast<int>(random() % 141) - 133));
    // Decimal texts of 16 to 19 significant digits ending in a tie or near-tie, read exactly
    // as the operators read them, at a random decimal point.
    const std::uint64_t base = 100000000000000ull + random() % 900000000000000ull;
    const char* const endings[] = {"5", "4", "6", "50", "49", "51", "500", "499", "501", "5001"};
    const std::string text = std::to_string(base) + endings[random() % 10];
    const int point = static_cast<int>(random() % 40) - 20;
    long double value = 0;
    TryTextToFloat(text + "E" + std::to_string(point - static_cast<int>(text.size())), value);
    values.push_back(value);
    // Short binary fractions and integers, typical of quantities.
    values.push_back(std::ldexp(static_cast<long double>(random() % 100000000 + 1),
                                -static_cast<int>(random() % 40)));
    values.push_back(static_cast<long double>(random() >> (random() % 64)));
    // Short decimals read from texts, and their products and sums as the operators compute
    // them: their thousandfold is often, but not always, a whole number.
    long double a = 0, b = 0;
    TryTextToFloat(std::to_string(random() % 100000000) + "." + std::to_string(random() % 1000), a);
    TryTextToFloat(std::to_string(random() % 10000) + "." + std::to_string(random() % 100), b);
    for (long double v : {a, -b, a * b, a + b, a - b, b / 8, a * 1000 + 0.5L, 999999999999.9995L})
      values.push_back(v);
  }
  return values;
}

TEST(FloatToValueText, MatchesTheTextOfThePrintedExpansion) {
  std::string reused = "previous result, longer than any number text";
  for (long double value : WriterCrossCheckValues()) {
    if (std::isinf(static_cast<double>(value))) continue;
    const std::string expected = ReferenceValueText(value);
    const std::string written = FloatToValueText(value);
    FloatToValueText(value, reused);
    char digits[18], printed[18];
    const int exponent = DecimalDigits18(std::fabs(value), digits);
    const bool same_digits = value == 0 || (exponent == PrintedDigits(std::fabs(value), printed) &&
                                            std::memcmp(digits, printed, 18) == 0);
    if (written != expected || reused != expected || !same_digits) {
      ADD_FAILURE() << "value " << ReferenceValueText(value) << " written as " << written << " / "
                    << reused << " (18 digits " << std::string(digits, 18) << "E" << exponent
                    << ")";
      break;
    }
  }
}

TEST(FloatToValueText, LeavesTheTargetTextAloneWhenItRaises) {
  std::string text = "7";
  EXPECT_RAISES(FloatToValueText(NAN, text), "Invalid number.");
  EXPECT_RAISES(FloatToValueText(1E309L, text), "Floating point overflow");
  EXPECT_EQ(text, "7");
  FloatToValueText(0.0L, text);
  EXPECT_EQ(text, "0");
}

TEST(FloatToValueText, ResultOfATextRoundTripKeepsFifteenDigits) {
  // Operators write every result as a value text, so 1/3*3 is computed from "0.333333333333333".
  EXPECT_EQ(FloatToValueText(TextToFloat(FloatToValueText(1.0L / 3)) * 3), "0.999999999999999");
}

TEST(ValueTextRoundTrip, IsTheValueThatReadingTheWrittenTextGives) {
  const long double third = 1.0L / 3;
  const long double values[] = {0.0L,          -0.0L,
                                3.75L,         -3.75L,
                                0.1L + 0.2L,   third,
                                2 * third,     -third * 1E-4L,
                                12.0L,         1E15L - 1,
                                1E15L,         999999999999.9996L,
                                123456.789L,   0.0001L,
                                0.00001L / 3,  1.5E-5L,
                                -2.5E20L,      9223372036854775807.0L,
                                1E300L / 7,    1E-300L / 7,
                                LDBL_TRUE_MIN, static_cast<long double>(DBL_MAX)};
  for (const long double value : values) {
    SCOPED_TRACE(FloatToValueText(value));
    const long double read = TextToFloat(FloatToValueText(value));
    const long double carried = ValueTextRoundTrip(value);
    EXPECT_EQ(carried, read);
    EXPECT_FALSE(std::signbit(carried) && carried == 0);  // "0" reads as +0
  }
  // Products and sums of short decimals, an ulp or two beside the value of their decimal result.
  for (const long double value : {2.2L * 1.5L, (2.2L * 1.5L + 1.1L) * 3.3L, 0.1L * 3,
                                  -1.1L * 1.1L * 1.1L, 0.7L + 0.1L, 123456.789L * 0.001L}) {
    SCOPED_TRACE(FloatToValueText(value));
    EXPECT_EQ(ValueTextRoundTrip(value), TextToFloat(FloatToValueText(value)));
  }
  // Values of up to twelve decimals as the reader gives them and their sums, differences and
  // halves, on both sides of 10^5 and of 10^-4: those of ten decimals below 10^5 are carried
  // as their nearest multiple of 10^-10.
  std::mt19937_64 decimals(7);
  for (int i = 0; i < 20000; ++i) {
    const int places = static_cast<int>(decimals() % 13);
    const std::uint64_t digits = decimals() % 1000000000000000ull >> (decimals() % 50);
    const long double read = TextToFloat(std::to_string(digits) + "E-" + std::to_string(places));
    const long double other = TextToFloat("0.00" + std::to_string(decimals() % 100000000));
    for (const long double value : {read, -read, read + other, read - other, (read + other) / 2}) {
      SCOPED_TRACE(FloatToValueText(value));
      EXPECT_EQ(ValueTextRoundTrip(value), TextToFloat(FloatToValueText(value)));
    }
  }
  // Random values around every decade, near ties of the 15th digit too.
  std::mt19937_64 random(19);
  for (int i = 0; i < 20000; ++i) {
    const long double mantissa = static_cast<long double>(random() >> 11) / (1ull << 53);
    const int decade = static_cast<int>(random() % 60) - 30;
    long double value = mantissa * std::pow(10.0L, decade);
    if (i % 2) value = std::nearbyint(value * 1E14L) / 1E14L + 5E-16L * (random() % 3);
    SCOPED_TRACE(FloatToValueText(value));
    EXPECT_EQ(ValueTextRoundTrip(value), TextToFloat(FloatToValueText(value)));
  }
  EXPECT_RAISES(ValueTextRoundTrip(INFINITY), "Invalid number.");
  EXPECT_RAISES(ValueTextRoundTrip(NAN), "Invalid number.");
  EXPECT_RAISES(ValueTextRoundTrip(1E309L), "Floating point overflow");
}

TEST(FloatToValueText, IsUnaffectedByTheLocaleSeparator) {
  SeparatorGuard guard(',');
  EXPECT_EQ(FloatToValueText(1.5L), "1.5");
  EXPECT_EQ(FloatToValueText(-1.5E-7L), "-1.5E-7");
}

TEST(FloatToValueText, RaisesForValuesWithoutADoubleText) {
  EXPECT_RAISES(FloatToValueText(INFINITY), "Invalid number.");
  EXPECT_RAISES(FloatToValueText(-INFINITY), "Invalid number.");
  EXPECT_RAISES(FloatToValueText(NAN), "Invalid number.");
  EXPECT_RAISES(FloatToValueText(1E309L), "Floating point overflow");
  EXPECT_RAISES(FloatToValueText(-1E400L), "Floating point overflow");
}

// ---- type detection and conversion ----------------------------------------------------------

struct CastRow {
  std::string text;
  TValueType target = vtString;
  std::string result = {};
  std::string error = {};  // when not empty, the exact message raised
  char separator = '.';
};

void CheckCasts(const std::vector<CastRow>& rows, TValueType* source) {
  for (const CastRow& row : rows) {
    SCOPED_TRACE("\"" + row.text + "\" to type " + std::to_string(row.target));
    SeparatorGuard guard(row.separator);
    auto convert = [&] {
      return source ? ConvertValue(row.text, *source, row.target) : TypeCast(row.text, row.target);
    };
    if (row.error.empty()) {
      EXPECT_EQ(convert(), row.result);
    } else {
      EXPECT_RAISES(convert(), row.error);
    }
  }
}

TEST(TypeCast, DetectsStringThenIntegerThenFloat) {
  CheckCasts(
      {
          {"", vtString, ""},
          {"", vtInteger, "0"},
          {"", vtFloat, "0"},
          {"", vtBoolean, "0"},
          {"abc", vtString, "", "Invalid typecast."},
          {"abc", vtInteger, "", "Invalid typecast."},
          {"5 x", vtFloat, "", "Invalid typecast."},
          // String constants convert through their content; non-numbers give "0".
          {Q("abc"), vtInteger, "0"},
          {Q("abc"), vtFloat, "0"},
          {Q("abc"), vtBoolean, "0"},
          {Q("12"), vtInteger, "12"},
          {Q("1.50"), vtFloat, "1.5"},
          {Q("1.5"), vtInteger, "0"},
          {Q("5"), vtBoolean, "1"},
          {Q("-1"), vtBoolean, "0"},  // the string's truth is "greater than 0"
          {Q("1E400"), vtFloat, "", "Floating point overflow"},
          // Integers: unchanged as integers, normalised otherwise.
          {"007", vtInteger, "007"},
          {"007", vtString, Q("7")},
          {"007", vtFloat, "7"},
          {"$10", vtFloat, "16"},
          {"-1", vtBoolean, "1"},  // an integer's truth is "not 0"
          {"0", vtBoolean, "0"},
          {"5", vtBoolean, "1"},
          // Floats: truncated toward zero for integers and Booleans.
          {" 5", vtFloat, "5"},  // an integer text, normalised
          {" 5.0 ", vtFloat, " 5.0 "},
          {"2.7", vtInteger, "2"},
          {"-2.7", vtInteger, "-2"},
          {"0.5", vtBoolean, "0"},
          {"1.5", vtBoolean, "1"},
          {"-1.5", vtBoolean, "1"},
          {"1.50", vtString, Q("1.5")},
          {"1.50", vtFloat, "1.50"},
          {"1E-4999", vtString, Q("0")},
          {"2147483647.9", vtInteger, "2147483647"},
          {"-2147483648.9", vtInteger, "-2147483648"},
          {"1,5", vtInteger, "1", "", ','},
      },
      nullptr);
}

TEST(TypeCast, FloatOutsideTheIntegerRangeRaisesInsteadOfWrapping) {
  // Keeping the low 32 bits would turn 3000000000 into -1294967296.
  CheckCasts(
      {
          {"3000000000", vtInteger, "", "Integer overflow"},
          {"2147483648", vtInteger, "", "Integer overflow"},
          {"-2147483649", vtInteger, "", "Integer overflow"},
          {"1E18", vtInteger, "", "Integer overflow"},
          {"1E19", vtInteger, "", "Invalid floating point operation"},
          {"-1E19", vtBoolean, "", "Invalid floating point operation"},
      },
      nullptr);
}

TEST(TypeCast, FloatToBooleanTestsTheWholeTruncatedValue) {
  // The low 32 bits of 4294967296 are 0, yet its truncation is not 0.
  CheckCasts(
      {
          {"4294967296", vtBoolean, "1"},
          {"-4294967296.5", vtBoolean, "1"},
          {"1E18", vtBoolean, "1"},
          {"0.999", vtBoolean, "0"},
      },
      nullptr);
}

TEST(ConvertValue, ChecksTheSourceTypeFirst) {
  TValueType source = vtInteger;
  CheckCasts(
      {
          {"12", vtFloat, "12"},
          {"12", vtInteger, "12"},
          {"1.5", vtFloat, "", "Invalid source value for typecast."},
          {Q("1"), vtString, "", "Invalid source value for typecast."},
      },
      &source);
  source = vtBoolean;
  CheckCasts(
      {
          {"1", vtString, Q("1")},
          {"5", vtInteger, "1"},
          {"-5", vtFloat, "0"},
          {"", vtString, Q("0")},
      },
      &source);
  source = vtString;
  CheckCasts(
      {
          {Q("a"), vtString, Q("a")},
          {"a", vtString, "", "Invalid source value for typecast."},
          {Q(" 12"), vtInteger, "12"},
      },
      &source);
  source = vtFloat;
  CheckCasts(
      {
          {"", vtString, Q("0")},
          {".", vtInteger, "0"},
          {"1,5", vtInteger, "", "Invalid source value for typecast."},
      },
      &source);
  // Type codes beyond the four, as a damaged stream may hold them.
  CheckCasts({{"1", static_cast<TValueType>(4), "", "Invalid typecast."}}, &source);
  source = static_cast<TValueType>(200);
  CheckCasts({{"", vtString, "", "Invalid source value for typecast."}}, &source);
  EXPECT_FALSE(IsValidValue("1", static_cast<TValueType>(4)));
}

// ---- string constants -----------------------------------------------------------------------

TEST(QuoteString, EscapesBackslashesAndQuotesAndRoundTrips) {
  EXPECT_EQ(QuoteString(""), "\"\"");
  EXPECT_EQ(QuoteString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  for (const std::string text : {"", "plain", "a\"b", "\\", "\\\"", "\"\"", "\xC0\xFF\x01"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(UnquoteString(QuoteString(text)), text);
  }
}

TEST(UnquoteString, DropsEscapesAndRejectsOtherTexts) {
  EXPECT_EQ(UnquoteString(""), "");
  EXPECT_EQ(UnquoteString("\"a\\\"b\""), "a\"b");
  EXPECT_EQ(UnquoteString("\"\\a\\\\\""), "a\\");
  for (const std::string text : {"abc", "\"a\\\"", "\"a\"b\"", "\"a\" ", "\""}) {
    SCOPED_TRACE(text);
    EXPECT_RAISES(UnquoteString(text), "Invalid string constant.");
  }
}

// ---- identifiers, separators, replacement ---------------------------------------------------

TEST(IsValidIdentifier, AcceptsLettersUnderscoreAndCyrillicThenDigits) {
  const std::vector<std::pair<std::string, bool>> rows = {
      {"", false},        {"A1", true},    {"_1", true},     {"abc_DEF", true},      {"1A", false},
      {"A B", false},     {"A-B", false},  {"A.B", false},   {"\xC8\xEC\xFF", true},  // Cyrillic
      {"\xA8\xB8", true}, {"\xA4", false}, {"A\xB9", false}, {"\xBF\xA5\xAA", true},
  };
  for (const auto& [name, valid] : rows) {
    SCOPED_TRACE(name);
    EXPECT_EQ(IsValidIdentifier(name), valid);
  }
}

TEST(LocaleDecimalSeparator, IsSettableAndRefusesAmbiguousCharacters) {
  EXPECT_EQ(ExprDecimalSeparator(), ".");
  EXPECT_EQ(LocaleDecimalSeparator(), ".");
  {
    SeparatorGuard guard(',');
    EXPECT_EQ(LocaleDecimalSeparator(), ",");
  }
  EXPECT_EQ(LocaleDecimalSeparator(), ".");
  for (char c : {'5', '-', '+', 'E', 'e', ' ', '\0'}) {
    SeparatorGuard guard(c);
    EXPECT_EQ(LocaleDecimalSeparator(), ".");
  }
}

TEST(ReplaceAll, ReplacesInOneLeftToRightPass) {
  struct Row {
    std::string text, old_text, new_text, result;
  };
  const std::vector<Row> rows = {
      {"1.5.2", ".", ",", "1,5,2"},
      {"1,5", ",", ".", "1.5"},
      {"aaa", "aa", "b", "ba"},
      {"abc", "", "x", "abc"},
      {"abc", "b", "b", "abc"},
      {"abc", "x", "y", "abc"},
      {"", "a", "b", ""},
      // A New that contains Old once made the replacement run forever.
      {"a.b.", ".", "..", "a..b.."},
      {"xx", "x", "xyx", "xyxxyx"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text + " / " + row.old_text + " / " + row.new_text);
    EXPECT_EQ(ReplaceAll(row.text, row.old_text, row.new_text), row.result);
  }
}

}  // namespace
