// The one-pass parser of whole expression texts.
//
// It follows the level parser step for step, on positions in the one text instead of copies of
// each token's text: a level's text is read into parts exactly as the part reader reads it,
// brackets around a whole level are stripped pass by pass, a single part is classified, and
// several parts are joined by the same operator-precedence reduction. Where the level parser
// would leave an operand for a later parse, this parser parses it at once, so the tree comes
// out complete. Whatever would make the level parser fail, or take a path not followed here,
// ends the parse with nullptr.

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "expr/evalimpl.h"
#include "expr/typecvt.h"

namespace {

// The character classes of the scanners, looked up in one table: the identifier classes are
// those of IsIdentifierStart and IsIdentifierChar.
enum : std::uint8_t {
  kBlank = 1,
  kNumber = 2,     // a digit or "."
  kNameStart = 4,  // starts an identifier
  kName = 8,       // goes on with one
  kOperand = 16,   // starts an operand; the part reader takes any other as an operator name
};
const std::array<std::uint8_t, 256> kClasses = [] {
  std::array<std::uint8_t, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    std::uint8_t bits = 0;
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == ' ' || c == '\t') bits |= kBlank;
    if ((c >= '0' && c <= '9') || c == '.') bits |= kNumber | kOperand;
    if (IsIdentifierStart(u)) bits |= kNameStart | kOperand;
    if (IsIdentifierChar(u)) bits |= kName;
    if (c == '(' || c == '"') bits |= kOperand;
    classes[static_cast<std::size_t>(c)] = bits;
  }
  return classes;
}();

bool Is(char c, std::uint8_t bits) {
  return (kClasses[static_cast<unsigned char>(c)] & bits) != 0;
}
bool IsBlank(char c) {
  return Is(c, kBlank);
}
bool IsNumberChar(char c) {
  return Is(c, kNumber);
}
bool IsStart(char c) {
  return Is(c, kNameStart);
}
bool IsNameChar(char c) {
  return Is(c, kName);
}
bool StartsOperand(char c) {
  return Is(c, kOperand);
}

// The scanners below read Text[Pos..End) as the lexical scanners read a text that ends at End;
// false where those would raise.

bool SkipNumber(const char* text, int& pos, int end) {
  bool separator = false;
  for (; pos < end && IsNumberChar(text[pos]); ++pos) {
    if (text[pos] != '.') continue;
    if (separator) return false;
    separator = true;
  }
  return true;
}

bool SkipStringConstant(const char* text, int& pos, int end) {
  ++pos;
  bool escaped = false;
  while (pos < end) {
    const char c = text[pos++];
    if (escaped) {
      escaped = false;
    } else if (c == '\\') {
      escaped = true;
    } else if (c == '"') {
      return true;
    }
  }
  return false;
}

// Up to a ")" (or a "," when stop_at_comma) outside brackets, or the end.
bool SkipBalanced(const char* text, int& pos, int end, bool stop_at_comma) {
  int depth = 0;
  while (pos < end) {
    const char c = text[pos];
    if (depth == 0 && (c == ')' || (c == ',' && stop_at_comma))) return true;
    if (IsNumberChar(c)) {
      if (!SkipNumber(text, pos, end)) return false;
    } else if (c == '"') {
      if (!SkipStringConstant(text, pos, end)) return false;
    } else if (IsStart(c)) {
      while (pos < end && IsNameChar(text[pos])) ++pos;
    } else {
      if (c == '(') {
        ++depth;
      } else if (c == ')') {
        --depth;
      }
      ++pos;
    }
  }
  return true;
}

// An operator name the part reader can meet: one character that starts no operand and ends no
// part, or one of the two pairs it reads as one name.
bool ReadableName(const std::string& name) {
  if (name == "<=" || name == ">=") return true;
  return name.size() == 1 && !StartsOperand(name[0]) && !IsBlank(name[0]) && name[0] != ')' &&
         name[0] != ',';
}

// Equal names; the usual one- and two-character ones compared in place.
bool SameName(const std::string& a, const std::string& b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  if (n > 2) return a == b;
  return n == 0 || (a[0] == b[0] && (n == 1 || a[1] == b[1]));
}

// The working stacks keep at most this many entries' room between parses.
constexpr std::size_t kKeptRoom = 1024;

template <class T>
void Trim(std::vector<T>& list) {
  list.clear();
  if (list.capacity() > kKeptRoom) std::vector<T>().swap(list);
}

}  // namespace

std::unique_ptr<TEvalToken> TEvalTextParser::Parse(TEvalExpression& ForExpression,
                                                   const std::string& ForText) {
  if (ForText.size() > static_cast<std::size_t>(INT_MAX / 2)) return nullptr;
  // A parse from a static initializer that runs before the class table is filled is left to
  // the level parse.
  if (!StartsOperand('A')) return nullptr;
  const bool taken = FixedOperators && Expression == &ForExpression;
  if (!(taken ? Handled : TakeOperators(ForExpression))) return nullptr;
  Expression = &ForExpression;
  Text = ForText.data();
  std::unique_ptr<TEvalToken> root = Tree(0, static_cast<int>(ForText.size()), 0);
  Trim(Parts);
  Trim(Operands);
  Trim(Operators);
  return root;
}

bool TEvalTextParser::TakeOperators(const TEvalExpression& From) {
  const auto& list = From.OperatorList;
  bool same = Taken.size() == list.size();
  for (std::size_t i = 0; same && i < list.size(); ++i) {
    const TEvalOperator* op = list[i].get();
    const auto& taken = Taken[i];
    same = taken.first == op && SameName(taken.second, op->Name);
  }
  if (same) return Handled;
  Taken.clear();
  Handled = true;
  for (TEvalOperator*& entry : ByChar) entry = nullptr;
  LessOrEqual = MoreOrEqual = nullptr;
  // Later operators replace earlier ones of the same name, as the look-up by name finds them.
  for (const auto& entry : list) {
    TEvalOperator* op = entry.get();
    Taken.emplace_back(op, op->Name);
    if (!ReadableName(op->Name)) {
      Handled = false;
    } else if (op->Name.size() == 1) {
      ByChar[static_cast<unsigned char>(op->Name[0])] = op;
    } else if (op->Name[0] == '<') {
      LessOrEqual = op;
    } else {
      MoreOrEqual = op;
    }
  }
  return Handled;
}

TEvalOperator* TEvalTextParser::OperatorAt(int& Pos, int End) const {
  const char c = Text[Pos];
  if ((c == '<' || c == '>') && Pos + 1 < End && Text[Pos + 1] == '=') {
    Pos += 2;
    return c == '<' ? LessOrEqual : MoreOrEqual;
  }
  ++Pos;
  return ByChar[static_cast<unsigned char>(c)];
}

int TEvalTextParser::ReadOperand(int& Pos, int End, bool KeepBrackets) {
  const char c = Text[Pos];
  if (c == '(') {
    int close = Pos + 1;
    if (!SkipBalanced(Text, close, End, true) || close >= End || Text[close] != ')') return -1;
    if (close == Pos + 1) return -1;  // empty brackets
    Pos = close + 1;
    return KeepBrackets ? 0 : 1;
  }
  if (c == '"') {
    if (!SkipStringConstant(Text, Pos, End)) return -1;
  } else if (IsNumberChar(c)) {
    if (!SkipNumber(Text, Pos, End)) return -1;
  } else {
    ++Pos;
    while (Pos < End && IsNameChar(Text[Pos])) ++Pos;
    if (Pos < End && IsBlank(Text[Pos])) return -1;
    if (Pos < End && Text[Pos] == '(') {
      ++Pos;
      if (!SkipBalanced(Text, Pos, End, false) || Pos >= End) return -1;
      ++Pos;
    }
  }
  return 0;
}

bool TEvalTextParser::ScanParts(int Begin, int End) {
  int pos = Begin;
  bool operator_mode = false;
  while (pos < End) {
    // Kept in locals, not in a record: the part is written to the list only once.
    int begin = pos;
    bool bracketed = false;
    TEvalOperator* op = nullptr;
    if (IsBlank(Text[pos])) return false;
    if (StartsOperand(Text[pos])) {
      if (operator_mode) return false;
      const int read = ReadOperand(pos, End, false);
      if (read < 0) return false;
      bracketed = read == 1;
    } else if (operator_mode) {
      op = OperatorAt(pos, End);
      if (!op || !op->Binary) return false;
    } else {
      // A chain of one-character unary operators and the operand after it, brackets kept.
      for (int links = 1;; ++links) {
        const int name = pos;
        const TEvalOperator* unary = OperatorAt(pos, End);
        if (!unary || !unary->Unary || pos - name != 1 || links > kFastNesting || pos >= End)
          return false;
        if (StartsOperand(Text[pos])) break;
      }
      if (ReadOperand(pos, End, true) < 0) return false;
    }
    // A bracket part stands for its content.
    if (bracketed) {
      Parts.emplace_back(begin + 1, pos - 1, true, nullptr);
    } else {
      Parts.emplace_back(begin, pos, false, op);
    }
    operator_mode = !operator_mode;
  }
  return true;
}

std::unique_ptr<TEvalToken> TEvalTextParser::NewToken(int Begin, int End, TEvalTokenKind Kind,
                                                      int Depth) {
  // The text is written once and moved into the token's own string.
  auto token = std::make_unique<TEvalToken>(
      Expression, nullptr, std::string(Text + Begin, static_cast<std::size_t>(End - Begin)),
      Begin + 1);
  token->Kind = Kind;
  token->Depth = Depth;
  return token;
}

void TEvalTextParser::Adopt(TEvalToken& Parent, std::unique_ptr<TEvalToken> Child) {
  Child->Parent = &Parent;
  Parent.ChildList.push_back(std::move(Child));
}

std::unique_ptr<TEvalToken> TEvalTextParser::Tree(int Begin, int End, int Depth) {
  if (Depth > kFastNesting) return nullptr;
  if (Begin == End) {
    // The empty text is the empty string constant.
    auto token = std::make_unique<TEvalToken>(Expression, nullptr, "\"\"", Begin + 1);
    token->Kind = tkConstant;
    token->Depth = Depth;
    return token;
  }
  const std::size_t first = Parts.size();
  for (;;) {
    if (!ScanParts(Begin, End)) {
      Parts.resize(first);
      return nullptr;
    }
    // Brackets around the whole text: the content is read again, one level deeper.
    if (Parts.size() - first != 1 || !Parts[first].Bracketed) break;
    Begin = Parts[first].Begin;
    End = Parts[first].End;
    Parts.resize(first);
    if (++Depth > kFastNesting) return nullptr;
  }
  const std::size_t count = Parts.size() - first;
  std::unique_ptr<TEvalToken> result;
  if (count == 1) {
    const Part part = Parts[first];
    Parts.resize(first);
    return Single(part, Depth);
  }
  if (count % 2 == 1) result = Range(first, Depth);
  Parts.resize(first);
  return result;
}

std::unique_ptr<TEvalToken> TEvalTextParser::Single(const Part& Read, int Depth) {
  const char first = Text[Read.Begin];
  if (first == '"' || IsNumberChar(first)) return NewToken(Read.Begin, Read.End, tkConstant, Depth);
  if (IsStart(first)) {
    int pos = Read.Begin + 1;
    while (pos < Read.End && IsNameChar(Text[pos])) ++pos;
    if (pos == Read.End) return NewToken(Read.Begin, Read.End, tkVariable, Depth);
    // A call: the name, and each argument up to its "," or the closing ")" parsed as a text of
    // its own; an empty argument before the ")" is none.
    std::unique_ptr<TEvalToken> call = NewToken(Read.Begin, pos, tkFunction, Depth);
    ++pos;
    while (pos < Read.End && Text[pos] != ')') {
      const int start = pos;
      if (!SkipBalanced(Text, pos, Read.End, true)) return nullptr;
      std::unique_ptr<TEvalToken> argument = Tree(start, pos, Depth + 1);
      if (!argument) return nullptr;
      Adopt(*call, std::move(argument));
      if (pos < Read.End && Text[pos] == ',') ++pos;
    }
    return call;
  }
  // A unary chain: one node per operator, each the operand of the one before, down to the
  // operand, which is parsed as a text of its own.
  std::unique_ptr<TEvalToken> chain = NewToken(Read.Begin, Read.Begin + 1, tkOperator, Depth);
  TEvalToken* node = chain.get();
  int k = 1;
  for (; Read.Begin + k < Read.End; ++k) {
    const int at = Read.Begin + k;
    const char c = Text[at];
    if ((c == '<' || c == '>') && at + 1 < Read.End && Text[at + 1] == '=') break;
    const TEvalOperator* op = ByChar[static_cast<unsigned char>(c)];
    if (!op || !op->Unary) break;
    std::unique_ptr<TEvalToken> link = NewToken(at, at + 1, tkOperator, Depth + k);
    TEvalToken* next = link.get();
    Adopt(*node, std::move(link));
    node = next;
  }
  std::unique_ptr<TEvalToken> operand = Tree(Read.Begin + k, Read.End, Depth + k);
  if (!operand) return nullptr;
  Adopt(*node, std::move(operand));
  return chain;
}

void TEvalTextParser::Reduce(int Depth) {
  const Part& op = Parts[Operators.back()];
  Operators.pop_back();
  std::unique_ptr<TEvalToken> node = NewToken(op.Begin, op.End, tkOperator, Depth);
  std::unique_ptr<TEvalToken> right = std::move(Operands.back());
  Operands.pop_back();
  std::unique_ptr<TEvalToken> left = std::move(Operands.back());
  Operands.pop_back();
  node->ChildList.reserve(2);
  Adopt(*node, std::move(left));
  Adopt(*node, std::move(right));
  Operands.push_back(std::move(node));
}

std::unique_ptr<TEvalToken> TEvalTextParser::Range(std::size_t First, int Depth) {
  // The root of a range is its rightmost operator of lowest priority: every binary operator
  // associates to the left.
  const std::size_t last = Parts.size();
  const std::size_t operand_base = Operands.size();
  const std::size_t operator_base = Operators.size();
  for (std::size_t i = First; i < last; ++i) {
    if ((i - First) % 2 == 0) {
      // A bracket's content is a text of its own, one level deeper; any other operand part
      // would read as this very part again. (A copy: the operands' own parts go on the list.)
      const Part part{Parts[i].Begin, Parts[i].End, Parts[i].Bracketed, nullptr};
      std::unique_ptr<TEvalToken> leaf =
          part.Bracketed ? Tree(part.Begin, part.End, Depth + 1) : Single(part, Depth);
      if (!leaf) {
        Operands.resize(operand_base);
        Operators.resize(operator_base);
        return nullptr;
      }
      Operands.push_back(std::move(leaf));
      continue;
    }
    const std::int32_t priority = Parts[i].Operator->Priority;
    while (Operators.size() > operator_base &&
           Parts[Operators.back()].Operator->Priority >= priority)
      Reduce(Depth);
    Operators.push_back(i);
  }
  while (Operators.size() > operator_base) Reduce(Depth);
  std::unique_ptr<TEvalToken> root = std::move(Operands.back());
  Operands.pop_back();
  return root;
}
