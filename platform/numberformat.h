#pragma once

// Number formats as a spreadsheet reads them: format codes, literal runs in double quotes and
// characters escaped by a backslash.

#include <cstddef>
#include <string>

// Calls Visit (with a char&) for every character of a number format that is a format code,
// skipping the literal runs in double quotes and the characters escaped by a backslash.
template <typename Visit>
void ForEachFormatCode(std::string& format, Visit visit) {
  bool quoted = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    char& c = format[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted) {
      continue;
    } else if (c == '\\') {
      ++i;
    } else {
      visit(c);
    }
  }
}

// The format with "." and the separator trading places in its format codes: a format written
// with "." as decimal point (and "," for thousands) in the convention of a locale whose decimal
// separator is Separator, and back again. Applied twice it gives the format it started from, so
// a format that the client writes this way and the spreadsheet reads this way arrives as it
// was written.
inline std::string SwapDecimalSeparator(std::string format, char separator) {
  if (separator == '.') return format;
  ForEachFormatCode(format, [separator](char& c) {
    if (c == separator)
      c = '.';
    else if (c == '.')
      c = separator;
  });
  return format;
}
