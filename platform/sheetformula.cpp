#include "platform/sheetformula.h"

#include <charconv>

#include "platform/dde.h"
#include "platform/spreadsheet.h"

namespace {

using Spreadsheet::kMaxColumn;
using Spreadsheet::kMaxRow;

// Functions nest at most this deep, as in the spreadsheet program; the bound also keeps the
// reader's recursion small whatever the input.
constexpr int kMaxNesting = 64;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The characters of a name, a function name or an unquoted sheet name.
bool IsNameChar(char c) {
  return IsAsciiLetter(c) || IsDigit(c) || c == '_' || c == '.' || c == '\\' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

constexpr std::string_view kErrorValues[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",
                                             "#NAME?", "#NUM!",   "#N/A"};

// What an operand was, for the operators that join references only (":" and the blank).
enum class TOperand { Reference, Other };

// One part of a reference: absolute (a number) or relative (an offset in brackets, or none).
struct TRefPart {
  bool Absolute = false;
  std::int64_t Value = 0;  // the number, or the offset
};

class TFormulaReader {
 public:
  TFormulaReader(std::string_view text, std::uint32_t row, std::uint32_t column,
                 std::string_view bookName)
      : Text(text), Row(row), Column(column), BookName(bookName) {}

  std::optional<std::string> Read() {
    Out.reserve(Text.size() + 8);
    if (!Expression(0)) return std::nullopt;
    CopyBlanks();
    if (!AtEnd()) return std::nullopt;
    return std::move(Out);
  }

 private:
  bool AtEnd() const { return Pos >= Text.size(); }
  char Peek(std::size_t ahead = 0) const {
    return Pos + ahead < Text.size() ? Text[Pos + ahead] : '\0';
  }
  // Copies blanks to the result; true when there were any.
  bool CopyBlanks() {
    const std::size_t start = Pos;
    while (!AtEnd() && IsBlank(Text[Pos])) Out += Text[Pos++];
    return Pos > start;
  }

  // Operands joined by operators: unary signs, then an operand with its percent signs, then
  // a binary operator or the blank that intersects two references, and so on.
  bool Expression(int depth) {
    if (depth > kMaxNesting) return false;
    bool needReference = false;
    for (;;) {
      CopyBlanks();
      bool signed_ = false;
      while (Peek() == '+' || Peek() == '-') {
        Out += Text[Pos++];
        signed_ = true;
        CopyBlanks();
      }
      TOperand operand = TOperand::Other;
      if (!Operand(depth, operand)) return false;
      if (needReference && (signed_ || operand != TOperand::Reference)) return false;
      // A percent sign makes a number of whatever stood before it.
      bool reference = operand == TOperand::Reference;
      bool blanks = CopyBlanks();
      while (Peek() == '%') {
        Out += Text[Pos++];
        reference = false;
        blanks = CopyBlanks();
      }
      const char c = Peek();
      if (c == ':') {
        if (!reference) return false;
        Out += Text[Pos++];
        needReference = true;
        continue;
      }
      needReference = false;
      if (c == '+' || c == '-' || c == '*' || c == '/' || c == '^' || c == '&' || c == '=') {
        Out += Text[Pos++];
        continue;
      }
      if (c == '<' || c == '>') {
        Out += Text[Pos++];
        if (Peek() == '=' || (c == '<' && Peek() == '>')) Out += Text[Pos++];
        continue;
      }
      // A blank between two references is their intersection.
      if (blanks && reference && StartsReferenceOperand()) {
        needReference = true;
        continue;
      }
      return true;
    }
  }

  // True when the text at the position can only begin a reference or a parenthesis: the
  // other side of an intersection.
  bool StartsReferenceOperand() const {
    const char c = Peek();
    return c == '(' || c == '\'' || c == '[' || IsNameChar(c);
  }

  bool Operand(int depth, TOperand& operand) {
    operand = TOperand::Other;
    const char c = Peek();
    if (c == '(') {
      Out += Text[Pos++];
      // A parenthesis holds one expression or the union of several.
      if (!Expression(depth + 1)) return false;
      while (Peek() == ',') {
        Out += Text[Pos++];
        if (!Expression(depth + 1)) return false;
      }
      CopyBlanks();
      if (Peek() != ')') return false;
      Out += Text[Pos++];
      operand = TOperand::Reference;  // a parenthesis may hold a range; the file judges it
      return true;
    }
    if (c == '"') return StringConstant();
    if (c == '#') return ErrorConstant();
    if (c == '{') return ArrayConstant();
    if (IsDigit(c) || (c == '.' && IsDigit(Peek(1)))) return NumberConstant();
    if (c == '\'') {
      operand = TOperand::Reference;
      return QuotedSheetReference();
    }
    if (c == '[') {
      operand = TOperand::Reference;
      return BookSheetReference();
    }
    if (!IsNameChar(c)) return false;
    if (Reference()) {
      operand = TOperand::Reference;
      return true;
    }
    const std::size_t start = Pos;
    while (IsNameChar(Peek())) ++Pos;
    const std::string_view name = Text.substr(start, Pos - start);
    if (Peek() == '!') {
      ++Pos;
      if (!OwnSheet(name)) return false;
      Out.append(name);
      Out += '!';
      operand = TOperand::Reference;
      return Reference();
    }
    if (Peek() == '(') {
      if (!FunctionName(name)) return false;
      // Function names in upper case, as the file writes them; the prefix of the newer
      // functions stays in its own lower case.
      std::string_view rest = name;
      constexpr std::string_view kFuturePrefix = "_xlfn.";
      if (rest.size() > kFuturePrefix.size() &&
          SameTextAscii(rest.substr(0, kFuturePrefix.size()), kFuturePrefix)) {
        Out.append(kFuturePrefix);
        rest.remove_prefix(kFuturePrefix.size());
      }
      for (char n : rest) Out += UpperAscii(n);
      Out += Text[Pos++];
      return Arguments(depth + 1, operand);
    }
    if (SameTextAscii(name, "TRUE") || SameTextAscii(name, "FALSE")) {
      for (char n : name) Out += UpperAscii(n);
      return true;
    }
    // Any other name: the workbooks of the service define none.
    return false;
  }

  // "(" already copied: arguments, each of which may be left out, up to ")".
  bool Arguments(int depth, TOperand& operand) {
    if (depth > kMaxNesting) return false;
    // A function's result may be a reference (INDEX, OFFSET): the file judges it.
    operand = TOperand::Reference;
    CopyBlanks();
    if (Peek() == ')') {
      Out += Text[Pos++];
      return true;
    }
    for (;;) {
      CopyBlanks();
      if (Peek() != ',' && Peek() != ')' && !Expression(depth)) return false;
      CopyBlanks();
      if (Peek() == ')') {
        Out += Text[Pos++];
        return true;
      }
      if (Peek() != ',') return false;
      Out += Text[Pos++];
    }
  }

  static bool FunctionName(std::string_view name) {
    if (!IsAsciiLetter(name.front()) && name.front() != '_') return false;
    for (char c : name)
      if (!IsAsciiLetter(c) && !IsDigit(c) && c != '.' && c != '_') return false;
    return true;
  }

  // A sheet of the formula's workbook, named without regard to case as the spreadsheet
  // program names sheets. The service's workbooks have one sheet: a reference to any other
  // would only show #NAME? in the file, so it is refused as an unknown name is.
  static bool OwnSheet(std::string_view name) {
    return SameTextAscii(name, Spreadsheet::kSheetName);
  }

  // "[book]" names a workbook: only the formula's own, which the file writes without it.
  bool OwnBook(std::string_view& text) {
    if (text.empty() || text.front() != '[') return true;
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    if (!SameTextAscii(text.substr(1, close - 1), BookName)) return false;
    text.remove_prefix(close + 1);
    return true;
  }

  // [book]Sheet!reference, unquoted.
  bool BookSheetReference() {
    const std::size_t start = Pos;
    const std::size_t close = Text.find(']', Pos);
    if (close == std::string_view::npos) return false;
    Pos = close + 1;
    while (IsNameChar(Peek())) ++Pos;
    std::string_view sheet = Text.substr(start, Pos - start);
    if (Peek() != '!' || !OwnBook(sheet) || !OwnSheet(sheet)) return false;
    ++Pos;
    Out.append(sheet);
    Out += '!';
    return Reference();
  }

  // 'Sheet name'!reference, an inner apostrophe doubled; the book part may lead the name.
  bool QuotedSheetReference() {
    ++Pos;
    std::string name;
    for (;;) {
      if (AtEnd()) return false;
      if (Text[Pos] == '\'') {
        if (Peek(1) != '\'') break;
        Pos += 1;
      }
      name += Text[Pos++];
    }
    ++Pos;
    if (Peek() != '!') return false;
    ++Pos;
    std::string_view sheet = name;
    if (!OwnBook(sheet) || !OwnSheet(sheet)) return false;
    Out += '\'';
    for (char c : sheet) {
      if (c == '\'') Out += '\'';
      Out += c;
    }
    Out += "'!";
    return Reference();
  }

  bool StringConstant() {
    Out += Text[Pos++];
    for (;;) {
      if (AtEnd()) return false;
      const char c = Text[Pos++];
      Out += c;
      if (c == '"') {
        if (Peek() != '"') return true;
        Out += Text[Pos++];
      }
    }
  }

  bool ErrorConstant() {
    for (std::string_view error : kErrorValues) {
      if (Pos + error.size() <= Text.size() &&
          SameTextAscii(Text.substr(Pos, error.size()), error)) {
        Out.append(error);
        Pos += error.size();
        return true;
      }
    }
    return false;
  }

  // Digits with at most one point and an exponent; no name character may follow.
  bool NumberConstant() {
    const std::size_t start = Pos;
    while (IsDigit(Peek())) ++Pos;
    if (Peek() == '.') {
      ++Pos;
      while (IsDigit(Peek())) ++Pos;
    }
    if (UpperAscii(Peek()) == 'E') {
      std::size_t i = Pos + 1;
      if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) ++i;
      if (i >= Text.size() || !IsDigit(Text[i])) return false;
      Pos = i;
      while (IsDigit(Peek())) ++Pos;
    }
    if (IsNameChar(Peek())) return false;
    Out.append(Text.substr(start, Pos - start));
    return true;
  }

  // {1,2;"a",TRUE}: constants only, columns by "," and rows by ";".
  bool ArrayConstant() {
    Out += Text[Pos++];
    for (;;) {
      CopyBlanks();
      if (Peek() == '-' || Peek() == '+') Out += Text[Pos++];
      const char c = Peek();
      bool ok = false;
      if (c == '"') {
        ok = StringConstant();
      } else if (c == '#') {
        ok = ErrorConstant();
      } else if (IsDigit(c) || c == '.') {
        ok = NumberConstant();
      } else if (IsAsciiLetter(c)) {
        const std::size_t start = Pos;
        while (IsAsciiLetter(Peek())) ++Pos;
        const std::string_view word = Text.substr(start, Pos - start);
        ok = SameTextAscii(word, "TRUE") || SameTextAscii(word, "FALSE");
        for (char w : word) Out += UpperAscii(w);
      }
      if (!ok) return false;
      CopyBlanks();
      if (Peek() == '}') {
        Out += Text[Pos++];
        return true;
      }
      if (Peek() != ',' && Peek() != ';') return false;
      Out += Text[Pos++];
    }
  }

  // One part after its letter: [offset], a number, or nothing (this row or column).
  bool RefPart(TRefPart& part) {
    part = TRefPart{};
    if (Peek() == '[') {
      std::size_t i = Pos + 1;
      const bool minus = i < Text.size() && Text[i] == '-';
      if (i < Text.size() && (Text[i] == '-' || Text[i] == '+')) ++i;
      const std::size_t digits = i;
      while (i < Text.size() && IsDigit(Text[i]) && i - digits < 8) ++i;
      if (i == digits || i >= Text.size() || Text[i] != ']') return false;
      std::from_chars(Text.data() + digits, Text.data() + i, part.Value);
      if (minus) part.Value = -part.Value;
      Pos = i + 1;
      return true;
    }
    if (IsDigit(Peek())) {
      const std::size_t start = Pos;
      while (IsDigit(Peek()) && Pos - start < 8) ++Pos;
      if (IsDigit(Peek())) return false;
      std::from_chars(Text.data() + start, Text.data() + Pos, part.Value);
      part.Absolute = true;
    }
    return true;
  }

  // The row or column a part names, from the formula's own cell; false outside the sheet.
  static bool Resolve(const TRefPart& part, std::uint32_t current, std::uint32_t max,
                      std::uint32_t& result) {
    const std::int64_t value = part.Absolute ? part.Value : current + part.Value;
    if (value < 1 || value > static_cast<std::int64_t>(max)) return false;
    result = static_cast<std::uint32_t>(value);
    return true;
  }

  enum class TRefKind { Cell, Row, Column };

  // An R1C1 reference at the position, read but not written: R<part>C<part>, R<part> or
  // C<part>, followed by nothing that continues a name. Pos moves only on success.
  bool ReadReference(TRefKind& kind, TRefPart& rowPart, TRefPart& columnPart) {
    const std::size_t start = Pos;
    bool hasRow = false, hasColumn = false;
    if (UpperAscii(Peek()) == 'R') {
      ++Pos;
      hasRow = RefPart(rowPart);
      if (!hasRow) {
        Pos = start;
        return false;
      }
    }
    if (UpperAscii(Peek()) == 'C') {
      ++Pos;
      hasColumn = RefPart(columnPart);
      if (!hasColumn) {
        Pos = start;
        return false;
      }
    }
    if ((!hasRow && !hasColumn) || IsNameChar(Peek()) || Peek() == '(' || Peek() == '!' ||
        Peek() == '[') {
      Pos = start;
      return false;
    }
    kind = hasRow && hasColumn ? TRefKind::Cell : hasRow ? TRefKind::Row : TRefKind::Column;
    return true;
  }

  void WriteRow(const TRefPart& part, std::uint32_t row) {
    if (part.Absolute) Out += '$';
    Out += std::to_string(row);
  }
  void WriteColumn(const TRefPart& part, std::uint32_t column) {
    if (part.Absolute) Out += '$';
    Out += ColumnLetters(column);
  }

  // A reference at the position, written in A1 notation. A whole row or column stands in the
  // file as a range: R2 is $2:$2, R2:R[1] is $2:<row>.
  bool Reference() {
    TRefKind kind{};
    TRefPart rowPart, columnPart;
    if (!ReadReference(kind, rowPart, columnPart)) return false;
    std::uint32_t row = 0, column = 0;
    if (kind != TRefKind::Column && !Resolve(rowPart, Row, kMaxRow, row)) return false;
    if (kind != TRefKind::Row && !Resolve(columnPart, Column, kMaxColumn, column)) return false;
    if (kind == TRefKind::Cell) {
      WriteColumn(columnPart, column);
      WriteRow(rowPart, row);
      return true;
    }
    // The other end of a range of whole rows or columns, when one follows.
    TRefPart endPart = kind == TRefKind::Row ? rowPart : columnPart;
    std::uint32_t end = kind == TRefKind::Row ? row : column;
    if (Peek() == ':') {
      const std::size_t colon = Pos;
      ++Pos;
      TRefKind endKind{};
      TRefPart endRow, endColumn;
      if (ReadReference(endKind, endRow, endColumn) && endKind == kind) {
        endPart = kind == TRefKind::Row ? endRow : endColumn;
        if (kind == TRefKind::Row ? !Resolve(endPart, Row, kMaxRow, end)
                                  : !Resolve(endPart, Column, kMaxColumn, end))
          return false;
      } else {
        Pos = colon;
      }
    }
    if (kind == TRefKind::Row) {
      WriteRow(rowPart, row);
      Out += ':';
      WriteRow(endPart, end);
    } else {
      WriteColumn(columnPart, column);
      Out += ':';
      WriteColumn(endPart, end);
    }
    return true;
  }

  std::string_view Text;
  std::uint32_t Row;
  std::uint32_t Column;
  std::string_view BookName;
  std::size_t Pos = 0;
  std::string Out;
};

}  // namespace

std::string ColumnLetters(std::uint32_t column) {
  char letters[8];
  std::size_t n = sizeof letters;
  while (column > 0 && n > 0) {
    const std::uint32_t digit = (column - 1) % 26;
    letters[--n] = static_cast<char>('A' + digit);
    column = (column - 1) / 26;
  }
  return std::string(letters + n, sizeof letters - n);
}

std::optional<std::string> R1C1FormulaToA1(std::string_view formula, std::uint32_t row,
                                           std::uint32_t column, std::string_view bookName) {
  if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn) return std::nullopt;
  return TFormulaReader(formula, row, column, bookName).Read();
}
