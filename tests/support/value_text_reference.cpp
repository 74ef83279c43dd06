#include "tests/support/value_text_reference.h"

#include <charconv>
#include <cmath>
#include <cstring>

int PrintedDigits(long double magnitude, char* digits) {
  char buffer[48];
  auto printed =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 17);
  digits[0] = buffer[0];
  std::memcpy(digits + 1, buffer + 2, 17);
  int exponent = 0;
  std::from_chars(buffer + 21, printed.ptr, exponent);
  return (buffer[20] == '-' ? -exponent : exponent) + 1;
}

std::string ReferenceValueText(long double value) {
  if (value == 0) return "0";
  char digits[18];
  int exponent = PrintedDigits(std::fabs(value), digits);
  std::string kept(digits, 15);
  if (digits[15] >= '5') {
    int k = 14;
    while (k >= 0 && kept[k] == '9') kept[k--] = '0';
    if (k >= 0) {
      ++kept[k];
    } else {
      kept.insert(kept.begin(), '1');
      kept.pop_back();
      ++exponent;
    }
  }
  while (kept.size() > 1 && kept.back() == '0') kept.pop_back();
  const int count = static_cast<int>(kept.size());
  std::string text;
  if (value < 0) text.append("-");
  if (exponent >= -3 && exponent <= 15) {
    if (exponent <= 0) {
      text.append("0.").append(static_cast<std::size_t>(-exponent), '0').append(kept);
    } else if (count <= exponent) {
      text.append(kept).append(static_cast<std::size_t>(exponent - count), '0');
    } else {
      text.append(kept, 0, exponent).append(".").append(kept, exponent);
    }
    return text;
  }
  text.append(1, kept[0]);
  if (count > 1) text.append(".").append(kept, 1);
  return text.append("E").append(std::to_string(exponent - 1));
}
