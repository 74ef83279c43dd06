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
