#pragma once

// Value texts and their conversions.
//
// Every run-time value of the system is a value text: a text written in the literal syntax of
// the expression language. A text carries no type mark; its type is decided by the validity
// tests below, and one text may be valid for several types ("12" is an integer, a float and a
// Boolean). The empty text is valid for every type. Texts are Windows-1251 bytes, compared
// byte-wise.
//
// Number texts are read and written by our own locale-free code: the C locale is never
// consulted (the windowing toolkit changes it at start-up). The only locale-dependent input
// is LocaleDecimalSeparator, one process-wide setting that the application fills from the
// user locale at start-up.
//
// All routines are stateless; the raising ones raise before producing any result.

#include <atomic>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

// Floats are 80-bit x87 extended values throughout the system.
static_assert(sizeof(long double) >= 10 && __LDBL_MANT_DIG__ == 64,
              "long double must be the x87 80-bit extended format (64-bit mantissa)");

// The type of a value text and the declared type of a scheme variable (stored as one byte).
enum TValueType : std::uint8_t {
  vtString = 0,   // exactly one double-quoted constant; a backslash takes the next character
  vtInteger = 1,  // a signed 32-bit integer text (decimal, or hex after "$", "x" or "0x")
  vtFloat = 2,    // a decimal number text, held as an 80-bit extended float
  vtBoolean = 3,  // an integer text; written "1" or "0", true when greater than 0
};

// Messages raised by the conversions (byte-exact).
inline constexpr const char* kInvalidTypecast = "Invalid typecast.";
inline constexpr const char* kInvalidSourceValue = "Invalid source value for typecast.";
inline constexpr const char* kInvalidStringConstant = "Invalid string constant.";
inline constexpr const char* kInvalidNumber = "Invalid number.";

// True when text is valid for type: the empty text is valid for every type, no text for a
// code beyond the four types. Never raises.
bool IsValidValue(const std::string& text, TValueType type);

// Converts Text, whose own type is detected in the order string, integer, float, to Target.
// Raises EConvertError "Invalid typecast." when Text is valid for no type, and whatever
// ConvertValue raises.
std::string TypeCast(const std::string& text, TValueType target);

// Converts Text from Source to Target; equal types return Text unchanged (not normalised).
// Raises EConvertError "Invalid source value for typecast." when Text is not valid for
// Source, "Invalid typecast." for a Target code beyond the four types; the number errors of
// FloatToValueText; from vtFloat to vtInteger or vtBoolean, EInvalidOp for a magnitude of 2^63 or
// more and, to vtInteger, EIntOverflow for a truncated value outside the signed 32-bit range.
std::string ConvertValue(const std::string& text, TValueType source, TValueType target);

// The content of a string constant (backslash escapes removed); the empty text gives the
// empty text. Raises EConvertError "Invalid string constant." for any other text.
std::string UnquoteString(const std::string& text);
// The string constant of a plain text: a backslash before every backslash and double quote,
// wrapped in double quotes.
std::string QuoteString(const std::string& text);

// The integer of an integer text; 0 for the empty text and for any text the integer grammar
// rejects.
std::int32_t TextToInt(const std::string& text);
// The decimal text of Value ("-" for negatives, no "+", no leading zeros).
std::string IntToText(std::int32_t value);

// The value of a float text; 0 for the empty text and for any text that is not a valid
// vtFloat text.
long double TextToFloat(const std::string& text);
// As TextToFloat, but a text that is neither empty nor a valid float text raises
// EConvertError "'<text>' is not a valid floating point value" (the text with every "."
// replaced by the locale separator).
long double TextToFloatStrict(const std::string& text);
// The general number text of Value with "." as separator: 15 significant digits (the 18-digit
// decimal expansion rounded half up), fixed notation for magnitudes from 0.0001 to below 1E15,
// scientific otherwise ("1E15", "1.5E-5"). Raises EConvertError "Invalid number." for an
// infinite or not-a-number value and EOverflow for a finite value beyond the double range.
inline std::string FloatToValueText(long double value);
// As above, into Text, whose storage is reused (for results written again and again); Text is
// left unchanged when it raises.
inline void FloatToValueText(long double value, std::string& text);
// The value that TextToFloat of FloatToValueText(value) gives, found without writing the text
// where the digits allow (the evaluator carries operator results as numbers this way). Raises
// what FloatToValueText raises.
inline long double ValueTextRoundTrip(long double value);

// True when TextToInt(Text) is greater than 0.
bool TextToBool(const std::string& text);
// "1" or "0".
std::string BoolToText(bool value);

// The decimal separator of value texts and expression texts: always ".".
std::string ExprDecimalSeparator();
// The user locale's decimal separator, "." until the application sets another.
std::string LocaleDecimalSeparator();
// The same as one character, for what remembers how a text read (the reading depends on it).
inline char LocaleDecimalSeparatorChar();
// Sets the process-wide locale separator. A character that would make number texts ambiguous
// (a digit, a sign, "E"/"e", a blank or NUL) is refused and "." used instead.
void SetLocaleDecimalSeparator(char separator);

// True for a name that starts with an identifier start character and goes on with identifier
// characters; false for the empty text.
bool IsValidIdentifier(const std::string& name);
// Identifier character classes, shared with the expression scanner: the start class is A-Z,
// a-z, "_" and the Windows-1251 letters 0xA5, 0xA8, 0xAA, 0xAF, 0xB2, 0xB3, 0xB4, 0xB8, 0xBA
// and 0xBF-0xFF; further characters may also be the digits 0-9.
bool IsIdentifierStart(unsigned char c);
bool IsIdentifierChar(unsigned char c);

// Text with every occurrence of Old replaced by New in one left-to-right pass (replaced text is
// never searched again). An empty Old gives Text unchanged.
std::string ReplaceAll(const std::string& text, const std::string& old_text,
                       const std::string& new_text);

// The grammars themselves, for callers that test and read a text in one step (the operators
// read every operand this way). Both answer false for the empty text, which the validity
// tests and the To* routines above treat as a special case, and never raise.
//
// Integer grammar: optional leading spaces, an optional sign, then decimal digits (leading
// zeros allowed, "010" is ten) in -2147483648..2147483647, or a hex mark ("$", "x", "X", "0x",
// "0X") and hex digits up to $FFFFFFFF taken as the 32-bit pattern ("$FFFFFFFF" is -1,
// "-$80000000" is -2147483648). Nothing may follow.
bool TryTextToInt(std::string_view text, std::int32_t& value);
// Float grammar: optional leading spaces, an optional sign, a mantissa of digits with at most
// one separator ("." or the locale separator) and at least one digit or the separator, an
// optional "E"/"e" with an optional sign and digits (possibly none; reading stops being valid
// once the exponent has reached 500 and another digit follows), optional trailing spaces.
// A value beyond the extended range is rejected; one below it reads as 0. No "inf", "nan" or
// hex floats.
bool TryTextToFloat(std::string_view text, long double& value);
// As TryTextToFloat, answering the value (0 for an invalid text) and setting Valid: the form
// for the operators' operand reads, whose value then stays in a register.
long double FloatTextValue(std::string_view text, bool& valid);
// The decimal expansion of a positive finite magnitude to 18 significant digits, rounded to
// nearest (a tie to the even digit): writes the 18 digit characters (no terminator) and returns
// E with magnitude = 0.d1d2...d18 times 10^E. Both number writers round from these digits.
int DecimalDigits18(long double magnitude, char* digits);
// True for one string constant that fills the whole text (the empty text is not one).
bool IsStringConstant(std::string_view text);

// ---------------------------------------------------------------------------------------------
// The number writer and its round trip for short decimals, inline: an extended value passed to
// a function travels through memory, and an 80-bit store read back at once (or read as integer
// bits) waits for the store to complete. Nearly every value of the system has at most three
// decimals; for those the value stays in the floating-point registers and only integers leave.

namespace value_text {

// The process-wide locale separator behind LocaleDecimalSeparator.
extern std::atomic<char> LocaleSeparator;

// Value rounded to the nearest whole number, in the registers: the sum with 1.5 * 2^63 has a
// unit in its last place of 1. |Value| must be below 2^62.
[[gnu::always_inline]] inline long double Rounded(long double value) {
  constexpr long double kShift = 0x1.8p63L;
  return (value + kShift) - kShift;
}

// The whole number T nearest to Value * Scale, for a Scale of 10^3 (short decimals) or 10^10
// (up to ten decimals: measured values, prices and their sums and differences), when T is not
// zero, |T| is below 10^15 (Value below Bound = 10^15 / Scale) and Value lies within 2^-62
// (relative) of T / Scale, the product's own rounding (2^-64) included: far closer than half a
// unit of its 18th digit (at least 5 * 10^-19 relative), so the 18-digit expansion of Value is
// exactly that of T / Scale, which has at most 15 significant digits: the text is that decimal
// number. A product of short decimals usually lands an ulp or two beside the nearest extended
// value of its decimal result.
[[gnu::always_inline]] inline bool WholeUnits(long double value, long double bound,
                                              long double scale, long double& units) {
  if (!(std::fabs(value) < bound)) return false;  // also a NaN or an invalid pattern
  const long double scaled = value * scale;
  const long double whole = Rounded(scaled);
  // The difference of two so close values is exact.
  if (whole == 0 || !(std::fabs(scaled - whole) <= std::fabs(whole) * 0x1p-62L)) return false;
  units = whole;
  return true;
}
[[gnu::always_inline]] inline bool WholeThousandths(long double value, long double& thousandths) {
  return WholeUnits(value, 1E12L, 1000.0L, thousandths);
}
[[gnu::always_inline]] inline bool WholeTenBillionths(long double value, long double& units) {
  return WholeUnits(value, 1E5L, 1E10L, units);
}

// A value that WholeUnits accepts is exactly T / Scale when it is a whole number of eighths:
// otherwise the two differ by at least 1 / (8 * Scale), far beyond the 2^-62 (relative) that
// the test allows below its Bound.
[[gnu::always_inline]] inline bool WholeEighths(long double value) {
  const long double eighths = value * 8.0L;
  return Rounded(eighths) == eighths;
}

// ValueTextRoundTrip of Value into Read where Value is zero, a whole number below 10^15 in
// magnitude, a short decimal (see WholeThousandths) or a decimal of up to ten decimals (see
// WholeTenBillionths); false for any other value.
[[gnu::always_inline]] inline bool ShortRoundTrip(long double value, long double& read) {
  // The text shows T / 10^10 or T / 1000, and reading it gives that decimal number correctly
  // rounded: Value itself when it is exactly that number (every whole number among them),
  // otherwise the one division of two exact operands. Below 10^5 a short decimal has ten
  // decimals as well, so that one test serves both.
  long double units;
  if (std::fabs(value) < 1E5L) {
    if (WholeTenBillionths(value, units)) {
      read = WholeEighths(value) ? value : units / 1E10L;
      return true;
    }
  } else if (WholeThousandths(value, units)) {
    read = WholeEighths(value) ? value : units / 1000.0L;
    return true;
  }
  if (value == 0) {
    read = 0.0L;  // "0", also for -0
    return true;
  }
  // A larger whole number below 10^15 in magnitude is written with all its digits.
  if (std::fabs(value) < 1E15L && Rounded(value) == value) {
    read = value;
    return true;
  }
  return false;
}

// Writes the text of T / 1000 ("-" for a negative T, trailing zeros of the decimals dropped).
void WriteThousandths(std::int64_t thousandths, std::string& text);
// The general cases of the three routines, for values that are not short decimals.
void WriteValueText(const long double& value, std::string& text);
long double RoundTripOther(const long double& value);

}  // namespace value_text

inline char LocaleDecimalSeparatorChar() {
  return value_text::LocaleSeparator.load(std::memory_order_relaxed);
}

inline std::string FloatToValueText(long double value) {
  std::string text;
  FloatToValueText(value, text);
  return text;
}

inline void FloatToValueText(long double value, std::string& text) {
  if (std::fabs(value) < 1E12L) {
    // The integer that fistp rounds to goes out while the test that the thousandfold is a
    // short decimal's runs beside it; an integer store is read back at once at no cost. Both
    // round to nearest, the floating-point unit's mode that the system never changes (every
    // correctly rounded reading relies on it as well).
    const long double scaled = value * 1000.0L;
    std::int64_t whole;
    asm("fistpll %0" : "=m"(whole) : "t"(scaled) : "st");
    long double thousandths;
    if (value_text::WholeThousandths(value, thousandths)) {
      value_text::WriteThousandths(whole, text);
      return;
    }
  }
  value_text::WriteValueText(value, text);
}

inline long double ValueTextRoundTrip(long double value) {
  long double read;
  if (value_text::ShortRoundTrip(value, read)) return read;
  return value_text::RoundTripOther(value);
}
