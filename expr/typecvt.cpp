#include "expr/typecvt.h"

#include <locale.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/errors.h"

std::atomic<char> value_text::LocaleSeparator{'.'};

namespace {

bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}

int HexDigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Exact powers of ten: 10^27 is the largest whose odd factor 5^27 fits the 64-bit mantissa.
constexpr int kMaxExactPower = 27;
struct PowersOfTen {
  long double Values[kMaxExactPower + 1];
  constexpr PowersOfTen() : Values() {
    long double p = 1.0L;
    for (int i = 0; i <= kMaxExactPower; ++i) {
      Values[i] = p;
      p *= 10.0L;
    }
  }
};
constexpr PowersOfTen kPowersOfTen;

constexpr std::uint64_t kPowersOfTenInt[20] = {1ull,
                                               1'0ull,
                                               1'00ull,
                                               1'000ull,
                                               1'0000ull,
                                               1'00000ull,
                                               1'000000ull,
                                               1'0000000ull,
                                               1'00000000ull,
                                               1'000000000ull,
                                               1'0000000000ull,
                                               1'00000000000ull,
                                               1'000000000000ull,
                                               1'0000000000000ull,
                                               1'00000000000000ull,
                                               1'000000000000000ull,
                                               1'0000000000000000ull,
                                               1'00000000000000000ull,
                                               1'000000000000000000ull,
                                               1'0000000000000000000ull};

// Mantissas of up to 19 significant digits are below 2^64 and so exact in the 64-bit mantissa.
constexpr int kMaxExactDigits = 19;

// The exponent of a float text is read only while its value stays below this bound.
constexpr int kExponentBound = 500;

// The C locale, used only for the rare texts that the exact path cannot convert; it is passed
// explicitly so the process locale never matters.
locale_t CLocale() {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c_locale;
}

// Slow, correctly rounded conversion of a validated number in plain C syntax.
bool ConvertWithCLocale(const std::string& text, long double& value) {
  locale_t c_locale = CLocale();
  if (c_locale == static_cast<locale_t>(nullptr)) return false;
  errno = 0;
  long double result = strtold_l(text.c_str(), nullptr, c_locale);
  if (std::isinf(result) || std::isnan(result)) return false;  // beyond the extended range
  value = result;  // an underflow gives 0 or a denormal, both accepted
  return true;
}

// Truncates a float toward zero as a 64-bit integer would hold it.
long double TruncateToInt64Range(long double value) {
  long double t = std::trunc(value);
  if (!(std::fabs(t) < 9223372036854775808.0L)) throw EInvalidOp();
  return t;
}

// The number of decimal digits of a non-zero value.
int DecimalWidth(std::uint64_t value) {
  int width = 1;
  while (width < 20 && value >= kPowersOfTenInt[width]) ++width;
  return width;
}

// Writes the lowest `width` decimal digits of value, with leading zeros, ending before `end`.
void WriteDigits(std::uint64_t value, char* end, int width) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  for (; width >= 2; width -= 2) {
    const std::size_t pair = static_cast<std::size_t>(value % 100) * 2;
    value /= 100;
    *--end = kPairs[pair + 1];
    *--end = kPairs[pair];
  }
  if (width == 1) *--end = static_cast<char>('0' + value % 10);
}

// Adds one unit in the last of `count` digit characters. Answers true when the carry runs out
// of the digits, which then read "100...0" and stand for one more power of ten.
bool IncrementDigits(char* digits, int count) {
  int k = count - 1;
  while (k >= 0 && digits[k] == '9') digits[k--] = '0';
  if (k >= 0) {
    ++digits[k];
    return false;
  }
  digits[0] = '1';
  return true;
}

// The 18 digits as the standard library prints them: exact for every magnitude, but slow.
int PrintedDigits18(long double magnitude, char* digits) {
  char buffer[48];  // "d.ddddddddddddddddde-dddd"
  auto printed =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 17);
  digits[0] = buffer[0];
  for (int k = 1; k < 18; ++k) digits[k] = buffer[k + 1];
  int exponent = 0;
  std::from_chars(buffer + 21, printed.ptr, exponent);
  if (buffer[20] == '-') exponent = -exponent;
  return exponent + 1;
}

// The 18 digits by exact integer arithmetic on the 64-bit mantissa, for the magnitudes whose
// binary point lies at most 124 bits below and 64 bits above the mantissa (about 1E-18 to
// 1E38, where almost every value of the system lies). Answers false outside that range.
bool ExactDigits18(long double magnitude, char* digits, int& exponent) {
  using u128 = unsigned __int128;
  unsigned char raw[sizeof(long double)];
  std::memcpy(raw, &magnitude, sizeof raw);
  std::uint64_t mantissa;
  std::memcpy(&mantissa, raw, sizeof mantissa);
  const int biased = (raw[8] | (raw[9] << 8)) & 0x7FFF;
  if (biased == 0 || biased == 0x7FFF || mantissa == 0) return false;
  const int shift = biased - 16383 - 63;  // magnitude = mantissa * 2^shift
  if (shift < -124 || shift > 64) return false;

  // Split into an integer part and a binary fraction of `bits` bits.
  const int bits = shift < 0 ? -shift : 0;
  u128 fraction = 0;
  char integer_digits[40];
  int integer_count = 0;
  if (shift > 0) {
    u128 integer = static_cast<u128>(mantissa) << shift;
    char reversed[40];
    while (integer != 0) {
      reversed[integer_count++] = static_cast<char>('0' + static_cast<int>(integer % 10));
      integer /= 10;
    }
    for (int k = 0; k < integer_count; ++k) integer_digits[k] = reversed[integer_count - 1 - k];
  } else {
    const std::uint64_t integer = bits < 64 ? mantissa >> bits : 0;
    fraction = bits < 64 ? mantissa & ((std::uint64_t{1} << bits) - 1) : mantissa;
    if (integer != 0) {
      integer_count = DecimalWidth(integer);
      WriteDigits(integer, integer_digits + integer_count, integer_count);
    }
  }

  exponent = integer_count;
  int count = integer_count < 18 ? integer_count : 18;
  for (int k = 0; k < count; ++k) digits[k] = integer_digits[k];
  int round_digit = -1;  // the 19th digit when the integer part has more than 18
  bool sticky = fraction != 0;
  if (integer_count > 18) {
    round_digit = integer_digits[18] - '0';
    for (int k = 19; k < integer_count; ++k) sticky = sticky || integer_digits[k] != '0';
  }

  // Fraction digits, as many at a time as the 128-bit product holds.
  const u128 mask = bits > 0 ? (static_cast<u128>(1) << bits) - 1 : 0;
  const int chunk = (128 - bits) * 3 / 10;  // 10^chunk < 2^(128 - bits)
  while (count < 18) {
    const int wanted = chunk < 18 - count ? chunk : 18 - count;
    fraction *= kPowersOfTenInt[wanted];
    const std::uint64_t block = static_cast<std::uint64_t>(fraction >> bits);
    fraction &= mask;
    if (count == 0) {
      // Leading zeros of a magnitude below 1 only move the exponent.
      if (block == 0) {
        exponent -= wanted;
        continue;
      }
      const int width = DecimalWidth(block);
      exponent -= wanted - width;
      WriteDigits(block, digits + width, width);
      count = width;
    } else {
      WriteDigits(block, digits + count + wanted, wanted);
      count += wanted;
    }
  }

  // Round to nearest, a tie to the even digit, as the printed digits are.
  bool up;
  if (round_digit >= 0) {
    up = round_digit > 5 || (round_digit == 5 && (sticky || (digits[17] - '0') % 2 == 1));
  } else if (bits == 0) {
    up = false;
  } else {
    const u128 half = static_cast<u128>(1) << (bits - 1);
    up = fraction > half || (fraction == half && (digits[17] - '0') % 2 == 1);
  }
  if (up && IncrementDigits(digits, 18)) ++exponent;
  return true;
}

// The fields of an 80-bit extended float, read from its bytes once.
struct FloatParts {
  std::uint64_t Mantissa;  // with the explicit integer bit at the top
  int BiasedExponent;
  bool Negative;
};

// Reads only the ten bytes the value occupies: a read that reaches into the padding of a value
// just stored cannot be served from the store and waits for it.
FloatParts Decompose(const long double& value) {
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(&value);
  FloatParts parts;
  std::memcpy(&parts.Mantissa, raw, sizeof parts.Mantissa);
  std::uint16_t sign_and_exponent;
  std::memcpy(&sign_and_exponent, raw + 8, sizeof sign_and_exponent);
  parts.BiasedExponent = sign_and_exponent & 0x7FFF;
  parts.Negative = (sign_and_exponent & 0x8000) != 0;
  return parts;
}

// The 18-digit expansion as one integer D (10^17 <= D < 10^18, magnitude = D * 10^(E - 18)
// after rounding), for the magnitudes from 0.01 to below 2^63 where nearly every value of the
// system lies. Answers false elsewhere. A normal magnitude is mantissa * 2^-bits with
// 1 <= bits <= 124, so magnitude * 10^k = mantissa * 10^k / 2^bits. For k <= 19 the product
// mantissa * 10^k is below 2^128 and therefore exact: its bits above `bits` are the integer part
// and the bits below are the exact remainder, which decides the rounding to nearest (a tie to
// the even digit) exactly as the digit-by-digit path does.
// The sign is ignored. A value it accepts is finite, non-zero and far inside the double range,
// so the writer needs no float checks for it.
bool FastDigits18(const FloatParts& parts, std::uint64_t& digits, int& exponent) {
  using u128 = unsigned __int128;
  const std::uint64_t mantissa = parts.Mantissa;
  const int binary_exponent = parts.BiasedExponent - 16383;
  if ((mantissa >> 63) == 0) return false;  // zero, denormal or an unnormal pattern
  const int bits = 63 - binary_exponent;    // magnitude lies in [2^(63 - bits), 2^(64 - bits))
  if (bits < 1 || bits > 124) return false;

  // floor(binary_exponent * log10(2)) for |binary_exponent| < 1000: the decimal exponent of
  // the magnitude is this or one more, so k is tried as 17 minus it, then one less.
  const int decimal = (binary_exponent * 78913) >> 18;
  int k = 17 - decimal;
  if (k < 0 || k > 19) return false;
  u128 product = static_cast<u128>(mantissa) * kPowersOfTenInt[k];
  u128 whole = product >> bits;
  if (whole >= kPowersOfTenInt[18]) {
    if (k == 0) return false;
    --k;
    product = static_cast<u128>(mantissa) * kPowersOfTenInt[k];
    whole = product >> bits;
  }
  if (whole < kPowersOfTenInt[17] || whole >= kPowersOfTenInt[18]) return false;

  const u128 remainder = product & ((static_cast<u128>(1) << bits) - 1);
  const u128 half = static_cast<u128>(1) << (bits - 1);
  std::uint64_t result = static_cast<std::uint64_t>(whole);
  if (remainder > half || (remainder == half && (result & 1) != 0)) ++result;
  exponent = 18 - k;
  if (result == kPowersOfTenInt[18]) {  // rounded up into one more power of ten
    result = kPowersOfTenInt[17];
    ++exponent;
  }
  digits = result;
  return true;
}

// Room for the longest general number text (a sign, a digit, a point, 14 digits, "E-" and a
// 4-digit exponent) and for the blocks of 16 characters that the writer stores past the end of
// a text: at most a sign, 15 digits, the point and one block.
constexpr std::size_t kValueTextCapacity = 48;

// Raises the errors of FloatToValueText; answers true for zero, whose text is "0".
bool CheckWritableFloat(long double value) {
  if (std::isnan(value) || std::isinf(value)) throw EConvertError(kInvalidNumber);
  if (std::isinf(static_cast<double>(value))) throw EOverflow();
  return value == 0;
}

// The 15 significant digits that the general number text shows of a finite non-zero value
// accepted by FastDigits18 or by the slow 18-digit expansion: digits15 with
// 10^14 <= digits15 < 10^15 and magnitude (as written) = 0.d1..d15 times 10^exponent. A 16th
// digit of 5 or more rounds away from zero (the 17th and 18th digits do not count).
void RoundTo15(std::uint64_t digits18, int& exponent, std::uint64_t& digits15) {
  digits15 = digits18 / 1000;
  if (digits18 % 1000 >= 500) ++digits15;
  if (digits15 == kPowersOfTenInt[15]) {
    digits15 = kPowersOfTenInt[14];
    ++exponent;
  }
}

// The eight decimal digits of Value (below 10^8, leading zeros included) as one digit value per
// byte, the first digit in the lowest byte. The number is split in lanes of one 64-bit word,
// into two halves of four digits, four pairs and eight digits, each split by a multiplication
// with a reciprocal that is exact below these bounds: three steps instead of a chain of eight
// dependent divisions.
[[gnu::always_inline]] inline std::uint64_t DigitBytes8(std::uint32_t value) {
  // Two lanes of four digits, then four lanes of two, then the eight digits.
  const std::uint64_t halves = value / 10000 | static_cast<std::uint64_t>(value % 10000) << 32;
  const std::uint64_t first_pairs = (halves * 10486 >> 20) & (0x7Full << 32 | 0x7F);
  const std::uint64_t pairs = (halves - 100 * first_pairs) << 16 | first_pairs;
  std::uint64_t digits = (pairs * 103 >> 10) & 0x000F000F000F000Full;
  digits |= (pairs - 10 * digits) << 8;
  return digits;
}

// The 15 digits of Digits15 (10^14 <= Digits15 < 10^15) as characters, the first in the lowest
// byte, followed by a "0" character; Count is set to the count of digits up to the last one that
// is not 0. The digits stay in registers: the writer places them with whole stores, and a load
// of bytes from several smaller stores just made would wait for them.
unsigned __int128 Digits15Chars(std::uint64_t digits15, int& count) {
  static_assert(std::endian::native == std::endian::little,
                "the digit bytes are laid out low first");
  constexpr std::uint64_t kZeros = 0x3030303030303030ull;
  const std::uint32_t high = static_cast<std::uint32_t>(digits15 / 100000000);  // 7 digits
  const std::uint32_t low = static_cast<std::uint32_t>(digits15 % 100000000);
  const std::uint64_t high_bytes = DigitBytes8(high);
  const std::uint64_t low_bytes = DigitBytes8(low);
  // Trailing zero digits are the zero bytes at the top of the last half that is not all zeros.
  count = low != 0 ? 15 - std::countl_zero(low_bytes) / 8 : 7 - std::countl_zero(high_bytes) / 8;
  // The high half's first byte is the leading zero of its seven digits.
  const unsigned __int128 chars =
      static_cast<unsigned __int128>(low_bytes | kZeros) << 56 | (high_bytes | kZeros) >> 8;
  return chars | static_cast<unsigned __int128>(0x30) << 120;
}

// Stores 16 characters at Out.
void Put16(char* out, unsigned __int128 chars) {
  std::memcpy(out, &chars, 16);
}

// Writes the general number text of value into buffer (see FloatToValueText) and answers its
// length; raises before writing anything. Short decimals are written by WriteThousandths.
// Every piece is stored as a whole block of 16 characters (the buffer has room behind the text).
std::size_t WriteFloatText(const long double& value, char* buffer) {
  const FloatParts parts = Decompose(value);
  std::uint64_t digits18;
  int exponent;
  if (!FastDigits18(parts, digits18, exponent)) {
    if (CheckWritableFloat(value)) {
      buffer[0] = '0';
      return 1;
    }
    char digit_chars[18];
    exponent = DecimalDigits18(std::fabs(value), digit_chars);
    digits18 = 0;
    for (char c : digit_chars) digits18 = digits18 * 10 + static_cast<unsigned>(c - '0');
  }

  std::uint64_t digits15;
  RoundTo15(digits18, exponent, digits15);
  int count;
  const unsigned __int128 digits = Digits15Chars(digits15, count);

  char* out = buffer;
  if (parts.Negative) *out++ = '-';
  if (exponent >= -3 && exponent <= 15) {
    if (exponent <= 0) {
      // "0.", -exponent zeros and the digits.
      std::memcpy(out, "0.000", 5);
      out += 2 - exponent;
      Put16(out, digits);
      return static_cast<std::size_t>(out + count - buffer);
    }
    // The digits past the count are "0" characters: a whole number is the first Exponent.
    Put16(out, digits);
    if (count <= exponent) return static_cast<std::size_t>(out + exponent - buffer);
    out[exponent] = '.';
    Put16(out + exponent + 1, digits >> (8 * exponent));
    return static_cast<std::size_t>(out + count + 1 - buffer);
  }
  // The first digit, then the point in the first digit's place before the others.
  out[0] = static_cast<char>(digits & 0xFF);
  Put16(out + 1, (digits & ~static_cast<unsigned __int128>(0xFF)) | '.');
  out += count > 1 ? count + 1 : 1;
  *out++ = 'E';
  out = std::to_chars(out, buffer + kValueTextCapacity, exponent - 1).ptr;
  return static_cast<std::size_t>(out - buffer);
}

}  // namespace

int DecimalDigits18(long double magnitude, char* digits) {
  int exponent = 0;
  std::uint64_t fast;
  if (FastDigits18(Decompose(magnitude), fast, exponent)) {
    WriteDigits(fast, digits + 18, 18);
    return exponent;
  }
  if (ExactDigits18(magnitude, digits, exponent)) return exponent;
  return PrintedDigits18(magnitude, digits);
}

bool TryTextToInt(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= n) return false;
  bool hex = false;
  if (text[i] == '$' || text[i] == 'x' || text[i] == 'X') {
    hex = true;
    ++i;
  } else if (text[i] == '0' && i + 1 < n && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n) return false;
  std::uint64_t magnitude = 0;
  if (hex) {
    for (; i < n; ++i) {
      int d = HexDigitValue(static_cast<unsigned char>(text[i]));
      if (d < 0) return false;
      magnitude = magnitude * 16 + static_cast<unsigned>(d);
      if (magnitude > 0xFFFFFFFFull) return false;
    }
    // The hex digits are a 32-bit pattern; the sign negates that pattern's value.
    std::uint32_t pattern = static_cast<std::uint32_t>(magnitude);
    if (negative) pattern = 0u - pattern;
    value = static_cast<std::int32_t>(pattern);
    return true;
  }
  for (; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (!IsDigit(c)) return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > 2147483648ull) return false;
  }
  if (!negative && magnitude > 2147483647ull) return false;
  value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                   : static_cast<std::int32_t>(magnitude);
  return true;
}

namespace {
// The float grammar's reader behind TryTextToFloat and FloatTextValue, inlined into both so that
// FloatTextValue's result never passes through memory (an 80-bit value stored and at once read
// back stalls the load).
[[gnu::always_inline]] inline bool ReadFloatText(std::string_view text, long double& value) {
  const char separator = LocaleDecimalSeparatorChar();
  const std::size_t n = text.size();

  // Plain texts, the form of nearly every operand: up to 19 characters of digits with at most
  // one separator. Their digits fit the 64-bit mantissa and their scale is at most 10^18, so
  // this is the exact computation of the general path below without its scanning.
  if (n >= 1 && n <= kMaxExactDigits) {
    std::uint64_t plain_digits = 0;
    std::size_t point = n;  // n: no separator
    std::size_t k = 0;
    for (; k < n; ++k) {
      const unsigned digit = static_cast<unsigned char>(text[k]) - unsigned{'0'};
      if (digit < 10) {
        plain_digits = plain_digits * 10 + digit;
      } else if ((text[k] == '.' || text[k] == separator) && point == n) {
        point = k;
      } else {
        break;
      }
    }
    if (k == n) {
      const long double m = static_cast<long double>(plain_digits);
      value = point == n ? m : m / kPowersOfTen.Values[n - point - 1];
      return true;
    }
  }

  std::size_t i = 0;
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }

  // Mantissa: digits with at most one separator, at least one digit or the separator.
  const std::size_t mantissa_start = i;
  bool seen_separator = false;
  std::uint64_t digits = 0;
  int significant = 0;  // digits from the first non-zero one on
  int fraction = 0;     // digits after the separator
  for (; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsDigit(c)) {
      if (seen_separator) ++fraction;
      if (significant > 0 || c != '0') {
        ++significant;
        if (significant <= kMaxExactDigits) digits = digits * 10 + (c - '0');
      }
    } else if (c == '.' || c == separator) {
      if (seen_separator) return false;
      seen_separator = true;
    } else {
      break;
    }
  }
  const std::size_t mantissa_end = i;
  if (mantissa_end == mantissa_start) return false;

  // Exponent: optional sign and digits, read while its value stays below the bound.
  int exponent = 0;
  bool negative_exponent = false;
  if (i < n && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      negative_exponent = text[i] == '-';
      ++i;
    }
    for (; i < n && IsDigit(static_cast<unsigned char>(text[i])); ++i) {
      if (exponent >= kExponentBound) return false;
      exponent = exponent * 10 + (text[i] - '0');
    }
  }
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return false;

  if (significant == 0) {
    value = negative ? -0.0L : 0.0L;
    return true;
  }
  const int scale = (negative_exponent ? -exponent : exponent) - fraction;
  if (significant <= kMaxExactDigits && scale >= -kMaxExactPower && scale <= kMaxExactPower) {
    // Both factors are exact, so the one operation rounds correctly.
    long double m = static_cast<long double>(digits);
    long double result =
        scale >= 0 ? m * kPowersOfTen.Values[scale] : m / kPowersOfTen.Values[-scale];
    value = negative ? -result : result;
    return true;
  }

  std::string plain;
  plain.reserve(mantissa_end - mantissa_start + 16);
  if (negative) plain += '-';
  for (std::size_t k = mantissa_start; k < mantissa_end; ++k) {
    if (IsDigit(static_cast<unsigned char>(text[k]))) plain += text[k];
  }
  plain += 'e';
  plain += std::to_string(scale);
  long double converted;
  if (!ConvertWithCLocale(plain, converted)) return false;
  value = converted;
  return true;
}
}  // namespace

bool TryTextToFloat(std::string_view text, long double& value) {
  return ReadFloatText(text, value);
}

long double FloatTextValue(std::string_view text, bool& valid) {
  long double value = 0;
  valid = ReadFloatText(text, value);
  return value;
}

bool IsStringConstant(std::string_view text) {
  if (text.empty() || text[0] != '"') return false;
  bool escaped = false;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (escaped) {
      escaped = false;
    } else if (text[i] == '\\') {
      escaped = true;
    } else if (text[i] == '"') {
      return i + 1 == text.size();
    }
  }
  return false;
}

bool IsValidValue(const std::string& text, TValueType type) {
  if (type > vtBoolean) return false;  // no text is valid for a code beyond the four types
  if (text.empty()) return true;
  switch (type) {
    case vtString:
      return IsStringConstant(text);
    case vtInteger:
    case vtBoolean: {
      std::int32_t ignored;
      return TryTextToInt(text, ignored);
    }
    case vtFloat: {
      long double ignored;
      return TryTextToFloat(text, ignored);
    }
  }
  return false;
}

std::string TypeCast(const std::string& text, TValueType target) {
  // A Boolean text is always an integer text, so vtBoolean is never the detected source.
  for (TValueType source : {vtString, vtInteger, vtFloat}) {
    if (IsValidValue(text, source)) return ConvertValue(text, source, target);
  }
  throw EConvertError(kInvalidTypecast);
}

std::string ConvertValue(const std::string& text, TValueType source, TValueType target) {
  if (!IsValidValue(text, source)) throw EConvertError(kInvalidSourceValue);
  // A type byte read from a stream may hold any code; only the four types are targets.
  if (target > vtBoolean) throw EConvertError(kInvalidTypecast);
  if (source == target) return text;
  switch (source) {
    case vtString: {
      const std::string content = UnquoteString(text);
      switch (target) {
        case vtInteger:
          return IntToText(TextToInt(content));
        case vtFloat:
          return FloatToValueText(TextToFloat(content));
        case vtBoolean:
          return BoolToText(TextToBool(content));
        case vtString:
          break;
      }
      break;
    }
    case vtInteger: {
      const std::int32_t number = TextToInt(text);
      switch (target) {
        case vtString:
          return QuoteString(IntToText(number));
        case vtFloat:
          return FloatToValueText(number);
        case vtBoolean:
          return BoolToText(number != 0);
        case vtInteger:
          break;
      }
      break;
    }
    case vtFloat: {
      const long double number = TextToFloat(text);
      switch (target) {
        case vtString:
          return QuoteString(FloatToValueText(number));
        case vtInteger: {
          long double t = TruncateToInt64Range(number);
          if (t < -2147483648.0L || t > 2147483647.0L) throw EIntOverflow();
          return IntToText(static_cast<std::int32_t>(t));
        }
        case vtBoolean:
          return BoolToText(TruncateToInt64Range(number) != 0);
        case vtFloat:
          break;
      }
      break;
    }
    case vtBoolean: {
      const std::string truth = BoolToText(TextToBool(text));
      return target == vtString ? QuoteString(truth) : truth;
    }
  }
  return text;
}

std::string UnquoteString(const std::string& text) {
  if (text.empty()) return std::string();
  if (!IsStringConstant(text)) throw EConvertError(kInvalidStringConstant);
  std::string result;
  result.reserve(text.size() - 2);
  const std::size_t last = text.size() - 1;
  for (std::size_t i = 1; i < last; ++i) {
    if (text[i] == '\\') ++i;  // a valid constant never ends on an escaping backslash
    result += text[i];
  }
  return result;
}

std::string QuoteString(const std::string& text) {
  std::string result;
  result.reserve(text.size() + 2);
  result += '"';
  for (char c : text) {
    if (c == '\\' || c == '"') result += '\\';
    result += c;
  }
  result += '"';
  return result;
}

std::int32_t TextToInt(const std::string& text) {
  std::int32_t value = 0;
  return TryTextToInt(text, value) ? value : 0;
}

std::string IntToText(std::int32_t value) {
  char buffer[16];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

long double TextToFloat(const std::string& text) {
  long double value = 0;
  return TryTextToFloat(text, value) ? value : 0.0L;
}

long double TextToFloatStrict(const std::string& text) {
  if (text.empty()) return 0.0L;
  long double value = 0;
  if (TryTextToFloat(text, value)) return value;
  throw EConvertError("'" + ReplaceAll(text, ExprDecimalSeparator(), LocaleDecimalSeparator()) +
                      "' is not a valid floating point value");
}

namespace value_text {

namespace {

// The decimals of every thousandth 1..999 as written after the point, trailing zeros dropped:
// three characters and their count.
struct Decimals {
  char Chars[1000][4];
  constexpr Decimals() : Chars() {
    for (int f = 1; f < 1000; ++f) {
      char digits[3] = {static_cast<char>('0' + f / 100), static_cast<char>('0' + f / 10 % 10),
                        static_cast<char>('0' + f % 10)};
      int count = 3;
      while (digits[count - 1] == '0') --count;
      for (int k = 0; k < 3; ++k) Chars[f][k] = digits[k];
      Chars[f][3] = static_cast<char>(count);
    }
  }
};
constexpr Decimals kDecimals;

}  // namespace

void WriteThousandths(std::int64_t thousandths, std::string& text) {
  // Written backwards from the point: at most "-" and 13 digits, then "." and 3 decimals.
  char buffer[24];
  char* const point = buffer + 16;
  char* out = point;
  std::uint64_t magnitude = thousandths < 0 ? 0 - static_cast<std::uint64_t>(thousandths)
                                            : static_cast<std::uint64_t>(thousandths);
  const unsigned fraction = static_cast<unsigned>(magnitude % 1000);
  magnitude /= 1000;
  do {
    *--out = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (thousandths < 0) *--out = '-';
  std::size_t length = static_cast<std::size_t>(point - out);
  if (fraction != 0) {
    const char* decimals = kDecimals.Chars[fraction];
    point[0] = '.';
    std::memcpy(point + 1, decimals, 3);
    length += 1 + static_cast<std::size_t>(decimals[3]);
  }
  text.assign(out, length);
}

void WriteValueText(const long double& value, std::string& text) {
  char buffer[kValueTextCapacity];
  text.assign(buffer, WriteFloatText(value, buffer));
}

long double RoundTripOther(const long double& value) {
  const FloatParts parts = Decompose(value);
  std::uint64_t digits18;
  int exponent;
  if (FastDigits18(parts, digits18, exponent)) {
    // The text shows digits15 times 10^(exponent - 15), and the reader gives the correctly
    // rounded value of that decimal number: for these magnitudes the scale lies within -16..5,
    // where both factors are exact and one operation rounds correctly, as in the reader.
    std::uint64_t digits15;
    RoundTo15(digits18, exponent, digits15);
    const int scale = exponent - 15;
    const long double m = static_cast<long double>(digits15);
    const long double magnitude =
        scale >= 0 ? m * kPowersOfTen.Values[scale] : m / kPowersOfTen.Values[-scale];
    return parts.Negative ? -magnitude : magnitude;
  }
  // Elsewhere the text is written and read back.
  char buffer[kValueTextCapacity];
  const std::size_t length = WriteFloatText(value, buffer);
  long double read = 0;
  if (!ReadFloatText(std::string_view(buffer, length), read)) return 0.0L;
  return read;
}

}  // namespace value_text

bool TextToBool(const std::string& text) {
  return TextToInt(text) > 0;
}

std::string BoolToText(bool value) {
  return value ? "1" : "0";
}

std::string ExprDecimalSeparator() {
  return ".";
}

std::string LocaleDecimalSeparator() {
  return std::string(1, LocaleDecimalSeparatorChar());
}

void SetLocaleDecimalSeparator(char separator) {
  const unsigned char c = static_cast<unsigned char>(separator);
  const bool ambiguous =
      c == 0 || c == ' ' || c == '+' || c == '-' || c == 'E' || c == 'e' || IsDigit(c);
  value_text::LocaleSeparator.store(ambiguous ? '.' : separator, std::memory_order_relaxed);
}

bool IsIdentifierStart(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') return true;
  switch (c) {
    case 0xA5:
    case 0xA8:
    case 0xAA:
    case 0xAF:
    case 0xB2:
    case 0xB3:
    case 0xB4:
    case 0xB8:
    case 0xBA:
      return true;
    default:
      return c >= 0xBF;
  }
}

bool IsIdentifierChar(unsigned char c) {
  return IsIdentifierStart(c) || IsDigit(c);
}

bool IsValidIdentifier(const std::string& name) {
  if (name.empty() || !IsIdentifierStart(static_cast<unsigned char>(name[0]))) return false;
  for (std::size_t i = 1; i < name.size(); ++i) {
    if (!IsIdentifierChar(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

std::string ReplaceAll(const std::string& text, const std::string& old_text,
                       const std::string& new_text) {
  if (old_text.empty() || old_text == new_text) return text;
  std::size_t found = text.find(old_text);
  if (found == std::string::npos) return text;
  std::string result;
  result.reserve(text.size());
  std::size_t from = 0;
  while (found != std::string::npos) {
    result.append(text, from, found - from);
    result += new_text;
    from = found + old_text.size();
    found = text.find(old_text, from);
  }
  result.append(text, from, std::string::npos);
  return result;
}
