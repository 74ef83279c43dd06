#pragma once

// The message formatter for texts that come from a scheme (service strings and the like).
// Such a text is never handed to printf: its directives are read here and each one reads at
// most the one argument that is there.
//
// Directives: "%s" a text, "%d" a decimal integer, "%f" a number in fixed notation with two
// decimals and the locale decimal separator (rounded half away from zero on the number's
// 18-digit decimal expansion, so 0.125 gives "0.13"; a result that rounds to zero has no minus
// sign), "%%" a percent sign. Upper-case letters work alike. Each of "%s", "%d" and "%f" takes
// the next argument; when there is none, or when it does not fit the directive (a text for
// "%d" or "%f", a float for "%d"), the directive is copied literally (the unfitting argument is
// still used up). "%s" writes an integer in decimal and a float as its general number text with
// the locale separator. Any other "%" sequence is copied literally and takes no argument.

#include <concepts>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// The integer types FormatArg takes as numbers.
template <class T>
concept FormatInteger = std::integral<T> && !std::same_as<T, char>;

// One argument of FormatText: a text, an integer or an extended float.
class FormatArg {
 public:
  FormatArg(std::string text) : Value(std::move(text)) {}
  FormatArg(const char* text) : Value(std::string(text)) {}
  // Any integer type but char (a character would be taken for a number).
  template <FormatInteger T>
  FormatArg(T number) : Value(static_cast<std::int64_t>(number)) {}
  template <std::floating_point T>
  FormatArg(T number) : Value(static_cast<long double>(number)) {}

  std::variant<std::string, std::int64_t, long double> Value;
};

// fmt with its directives replaced by the arguments, in order. Never raises.
std::string FormatText(const std::string& fmt, const std::vector<FormatArg>& args);

// A number in fixed notation with two decimals and the locale separator, as "%f" writes it
// ("INF", "-INF" and "NAN" for the values without digits).
std::string FormatFixed2(long double value);
