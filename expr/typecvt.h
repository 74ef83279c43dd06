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
std::string FloatToValueText(long double value);
// As above, into Text, whose storage is reused (for results written again and again); Text is
// left unchanged when it raises.
void FloatToValueText(long double value, std::string& text);
// The value that TextToFloat of FloatToValueText(value) gives, found without writing the text
// where the digits allow (the evaluator carries operator results as numbers this way). Raises
// what FloatToValueText raises.
long double ValueTextRoundTrip(long double value);

// True when TextToInt(Text) is greater than 0.
bool TextToBool(const std::string& text);
// "1" or "0".
std::string BoolToText(bool value);

// The decimal separator of value texts and expression texts: always ".".
std::string ExprDecimalSeparator();
// The user locale's decimal separator, "." until the application sets another.
std::string LocaleDecimalSeparator();
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
