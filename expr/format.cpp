#include "expr/format.h"

#include <charconv>
#include <cmath>

#include "expr/typecvt.h"

namespace {

std::string IntegerText(std::int64_t value) {
  char buffer[24];
  auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, written.ptr);
}

// The general number text with the locale separator.
std::string GeneralText(long double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  try {
    return ReplaceAll(FloatToValueText(value), ExprDecimalSeparator(), LocaleDecimalSeparator());
  } catch (...) {
    // Beyond the double range: still a number worth showing.
    return FormatFixed2(value);
  }
}

// Writes the argument for the directive letter, or answers false when it does not fit.
bool AppendArgument(char directive, const FormatArg& arg, std::string& out) {
  const auto* text = std::get_if<std::string>(&arg.Value);
  const auto* integer = std::get_if<std::int64_t>(&arg.Value);
  const auto* number = std::get_if<long double>(&arg.Value);
  switch (directive) {
    case 's':
      out += text ? *text : integer ? IntegerText(*integer) : GeneralText(*number);
      return true;
    case 'd':
      if (!integer) return false;
      out += IntegerText(*integer);
      return true;
    case 'f':
      if (text) return false;
      out += FormatFixed2(integer ? static_cast<long double>(*integer) : *number);
      return true;
  }
  return false;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string FormatFixed2(long double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  const std::string separator = LocaleDecimalSeparator();

  // Digits of the value times 100, rounded half away from zero on the 18-digit expansion.
  std::string hundredths;
  if (value != 0) {
    char digit_buffer[18];
    const int exponent = DecimalDigits18(std::fabs(value), digit_buffer) - 1;  // d1.d2... form
    const std::string digits(digit_buffer, sizeof digit_buffer);
    const int keep = exponent + 3;  // digits down to the hundredths
    if (keep >= 18) {
      hundredths = digits + std::string(static_cast<std::size_t>(keep - 18), '0');
    } else if (keep >= 0) {
      hundredths = digits.substr(0, static_cast<std::size_t>(keep));
      if (digits[static_cast<std::size_t>(keep)] >= '5') {
        int k = keep - 1;
        while (k >= 0 && hundredths[static_cast<std::size_t>(k)] == '9') {
          hundredths[static_cast<std::size_t>(k--)] = '0';
        }
        if (k >= 0) {
          ++hundredths[static_cast<std::size_t>(k)];
        } else {
          hundredths.insert(hundredths.begin(), '1');
        }
      }
    }
  }
  const bool zero = hundredths.find_first_not_of('0') == std::string::npos;
  if (hundredths.size() < 3) hundredths.insert(0, 3 - hundredths.size(), '0');

  std::string text;
  if (value < 0 && !zero) text += '-';
  text.append(hundredths, 0, hundredths.size() - 2);
  text += separator;
  text.append(hundredths, hundredths.size() - 2, 2);
  return text;
}

std::string FormatText(const std::string& fmt, const std::vector<FormatArg>& args) {
  std::string out;
  out.reserve(fmt.size() + 16);
  std::size_t next_arg = 0;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%' || i + 1 >= fmt.size()) {
      out += fmt[i];
      continue;
    }
    const char directive = Lower(fmt[i + 1]);
    if (directive == '%') {
      out += '%';
      ++i;
      continue;
    }
    if (directive != 's' && directive != 'd' && directive != 'f') {
      out += fmt[i];  // not a directive: copied as it stands
      continue;
    }
    if (next_arg >= args.size() || !AppendArgument(directive, args[next_arg], out)) {
      out.append(fmt, i, 2);
    }
    if (next_arg < args.size()) ++next_arg;
    ++i;
  }
  return out;
}
