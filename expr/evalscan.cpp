// Lexical scanners of expression texts.

#include <string>

#include "platform/errors.h"
#include "expr/evalimpl.h"
#include "expr/typecvt.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsNumberChar(char c) {
  return IsDigit(c) || c == '.';
}

// Pos (1-based) stands on a character of Text.
bool Within(const std::string& text, int pos) {
  return pos >= 1 && static_cast<std::size_t>(pos) <= text.size();
}

char At(const std::string& text, int pos) {
  return text[static_cast<std::size_t>(pos) - 1];
}

void CheckPosition(const std::string& text, int pos) {
  if (!Within(text, pos)) throw Exception(kInvalidPosition);
}

// Advances Pos over one numeric constant; raises on a second separator, Pos on it.
void SkipNumber(const std::string& text, int& pos) {
  bool separator = false;
  while (Within(text, pos) && IsNumberChar(At(text, pos))) {
    if (At(text, pos) == '.') {
      if (separator) throw Exception(kOneDecimalSeparator);
      separator = true;
    }
    ++pos;
  }
}

// Advances Pos over one string constant whose opening quote it stands on; raises at the end of
// the text when the constant is not closed.
void SkipStringConstant(const std::string& text, int& pos) {
  ++pos;
  bool escaped = false;
  while (Within(text, pos)) {
    const char c = At(text, pos++);
    if (escaped) {
      escaped = false;
    } else if (c == '\\') {
      escaped = true;
    } else if (c == '"') {
      return;
    }
  }
  throw Exception(kUnterminatedString);
}

// Advances Pos over balanced text: at bracket depth 0 it stops before a "," (unless commas are
// part of the list being read) or a ")"; inside brackets commas belong to the text, and the
// scan ends without error where the text ends. Numbers and string constants are scanned as
// such, so their errors surface here and their contents never count as brackets.
void SkipBalanced(const std::string& text, int& pos, bool stop_at_comma) {
  int depth = 0;
  while (Within(text, pos)) {
    const char c = At(text, pos);
    if (depth == 0 && (c == ')' || (c == ',' && stop_at_comma))) return;
    if (IsNumberChar(c)) {
      SkipNumber(text, pos);
    } else if (c == '"') {
      SkipStringConstant(text, pos);
    } else if (IsIdentifierStart(static_cast<unsigned char>(c))) {
      while (Within(text, pos) && IsIdentifierChar(static_cast<unsigned char>(At(text, pos))))
        ++pos;
    } else {
      if (c == '(') {
        ++depth;
      } else if (c == ')') {
        --depth;
      }
      ++pos;
    }
  }
}

std::string Slice(const std::string& text, int from, int to) {
  return text.substr(static_cast<std::size_t>(from) - 1, static_cast<std::size_t>(to - from));
}

}  // namespace

std::string ReadWhitespace(const std::string& Text, int& Pos) {
  const int start = Pos;
  while (Within(Text, Pos) && IsBlank(At(Text, Pos))) ++Pos;
  return start == Pos ? std::string() : Slice(Text, start, Pos);
}

std::string ReadIdentifier(const std::string& Text, int& Pos) {
  CheckPosition(Text, Pos);
  if (!IsIdentifierStart(static_cast<unsigned char>(At(Text, Pos)))) throw Exception(kNoIdentifier);
  const int start = Pos++;
  while (Within(Text, Pos) && IsIdentifierChar(static_cast<unsigned char>(At(Text, Pos)))) ++Pos;
  return Slice(Text, start, Pos);
}

std::string ReadNumber(const std::string& Text, int& Pos) {
  CheckPosition(Text, Pos);
  if (!IsNumberChar(At(Text, Pos))) throw Exception(kNoNumber);
  const int start = Pos;
  SkipNumber(Text, Pos);
  return Slice(Text, start, Pos);
}

std::string ReadStringConstant(const std::string& Text, int& Pos) {
  CheckPosition(Text, Pos);
  if (At(Text, Pos) != '"') throw Exception(kNoStringConstant);
  const int start = Pos;
  SkipStringConstant(Text, Pos);
  return Slice(Text, start, Pos);
}

std::string ReadExpressionPart(const std::string& Text, int& Pos) {
  if (!Within(Text, Pos)) return std::string();
  const int start = Pos;
  SkipBalanced(Text, Pos, true);
  return Slice(Text, start, Pos);
}

std::string ReadParameterList(const std::string& Text, int& Pos) {
  if (!Within(Text, Pos)) return std::string();
  const int start = Pos;
  SkipBalanced(Text, Pos, false);
  return Slice(Text, start, Pos);
}
