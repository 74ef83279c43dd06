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

// Tokens: each with its own copy of its text, children in their lists.
struct TEvalTextParser::TokenBuilder {
  using Node = std::unique_ptr<TEvalToken>;
  using Ref = TEvalToken*;
  TEvalTextParser& Parser;
  std::vector<Node>& Operands;

  static Node None() { return nullptr; }
  static bool Valid(const Node& Item) { return Item != nullptr; }
  static Ref RefOf(const Node& Item) { return Item.get(); }
  // The text is written once and moved into the token's own string.
  Node Make(std::string Text, int Position, TEvalTokenKind Kind, int Depth) {
    auto token =
        std::make_unique<TEvalToken>(Parser.Expression, nullptr, std::move(Text), Position);
    token->Kind = Kind;
    token->Depth = Depth;
    return token;
  }
  Node New(int Begin, int End, TEvalTokenKind Kind, int Depth) {
    return Make(std::string(Parser.Text + Begin, static_cast<std::size_t>(End - Begin)), Begin + 1,
                Kind, Depth);
  }
  Node EmptyConstant(int Begin, int Depth) { return Make("\"\"", Begin + 1, tkConstant, Depth); }
  static void Reserve(Ref Parent, std::size_t Count) { Parent->ChildList.reserve(Count); }
  static void Adopt(Ref Parent, Node Child) {
    Child->Parent = Parent;
    Parent->ChildList.push_back(std::move(Child));
  }
};

// Nodes of a flat tree, by their index in its list.
struct TEvalTextParser::FlatBuilder {
  using Node = std::int32_t;
  using Ref = std::int32_t;
  TEvalFlatTree& Tree;
  std::vector<Node>& Operands;

  static Node None() { return -1; }
  static bool Valid(Node Item) { return Item >= 0; }
  static Ref RefOf(Node Item) { return Item; }
  Node Add(int Begin, int Length, int Position, TEvalTokenKind Kind) {
    Tree.Nodes.push_back(TEvalFlatTree::Node{Begin, Length, Position, Kind, 0, -1, -1, -1});
    return static_cast<Node>(Tree.Nodes.size() - 1);
  }
  Node New(int Begin, int End, TEvalTokenKind Kind, int) {
    return Add(Begin, End - Begin, Begin + 1, Kind);
  }
  Node EmptyConstant(int Begin, int) { return Add(-1, 2, Begin + 1, tkConstant); }
  static void Reserve(Ref, std::size_t) {}
  void Adopt(Ref Parent, Node Child) {
    TEvalFlatTree::Node& parent = Tree.Nodes[static_cast<std::size_t>(Parent)];
    if (parent.LastChild < 0) {
      parent.FirstChild = Child;
    } else {
      Tree.Nodes[static_cast<std::size_t>(parent.LastChild)].NextSibling = Child;
    }
    parent.LastChild = Child;
    ++parent.ChildCount;
  }
};

bool TEvalTextParser::Start(TEvalExpression& ForExpression, const std::string& ForText) {
  if (ForText.size() > static_cast<std::size_t>(INT_MAX / 2)) return false;
  // A parse from a static initializer that runs before the class table is filled is left to
  // the level parse.
  if (!StartsOperand('A')) return false;
  const bool taken = FixedOperators && Expression == &ForExpression;
  if (!(taken ? Handled : TakeOperators(ForExpression))) return false;
  Expression = &ForExpression;
  Text = ForText.data();
  return true;
}

void TEvalTextParser::Finish() {
  Trim(Parts);
  Trim(Operands);
  Trim(Operators);
}

std::unique_ptr<TEvalToken> TEvalTextParser::Parse(TEvalExpression& ForExpression,
                                                   const std::string& ForText) {
  if (!Start(ForExpression, ForText)) return nullptr;
  TokenBuilder make{*this, Operands};
  std::unique_ptr<TEvalToken> root = Tree(make, 0, static_cast<int>(ForText.size()), 0);
  Finish();
  return root;
}

bool TEvalTextParser::ParseFlat(TEvalExpression& ForExpression, const std::string& ForText,
                                TEvalFlatTree& Result) {
  Result.Nodes.clear();
  Result.Text = ForText.data();
  Result.Root = -1;
  if (!Start(ForExpression, ForText)) return false;
  FlatBuilder make{Result, Result.Operands};
  Result.Root = Tree(make, 0, static_cast<int>(ForText.size()), 0);
  Finish();
  Trim(Result.Operands);
  if (Result.Root < 0) Result.Nodes.clear();
  return Result.Root >= 0;
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

template <class Builder>
typename Builder::Node TEvalTextParser::Tree(Builder& Make, int Begin, int End, int Depth) {
  if (Depth > kFastNesting) return Builder::None();
  // The empty text is the empty string constant.
  if (Begin == End) return Make.EmptyConstant(Begin, Depth);
  const std::size_t first = Parts.size();
  for (;;) {
    if (!ScanParts(Begin, End)) {
      Parts.resize(first);
      return Builder::None();
    }
    // Brackets around the whole text: the content is read again, one level deeper.
    if (Parts.size() - first != 1 || !Parts[first].Bracketed) break;
    Begin = Parts[first].Begin;
    End = Parts[first].End;
    Parts.resize(first);
    if (++Depth > kFastNesting) return Builder::None();
  }
  const std::size_t count = Parts.size() - first;
  if (count == 1) {
    const Part part = Parts[first];
    Parts.resize(first);
    return Single(Make, part, Depth);
  }
  typename Builder::Node result = Builder::None();
  if (count % 2 == 1) result = Range(Make, first, Depth);
  Parts.resize(first);
  return result;
}

template <class Builder>
typename Builder::Node TEvalTextParser::Single(Builder& Make, const Part& Read, int Depth) {
  const char first = Text[Read.Begin];
  if (first == '"' || IsNumberChar(first)) return Make.New(Read.Begin, Read.End, tkConstant, Depth);
  if (IsStart(first)) {
    int pos = Read.Begin + 1;
    while (pos < Read.End && IsNameChar(Text[pos])) ++pos;
    if (pos == Read.End) return Make.New(Read.Begin, Read.End, tkVariable, Depth);
    // A call: the name, and each argument up to its "," or the closing ")" parsed as a text of
    // its own; an empty argument before the ")" is none.
    typename Builder::Node call = Make.New(Read.Begin, pos, tkFunction, Depth);
    ++pos;
    while (pos < Read.End && Text[pos] != ')') {
      const int start = pos;
      if (!SkipBalanced(Text, pos, Read.End, true)) return Builder::None();
      typename Builder::Node argument = Tree(Make, start, pos, Depth + 1);
      if (!Builder::Valid(argument)) return Builder::None();
      Make.Adopt(Builder::RefOf(call), std::move(argument));
      if (pos < Read.End && Text[pos] == ',') ++pos;
    }
    return call;
  }
  // A unary chain: one node per operator, each the operand of the one before, down to the
  // operand, which is parsed as a text of its own.
  typename Builder::Node chain = Make.New(Read.Begin, Read.Begin + 1, tkOperator, Depth);
  typename Builder::Ref node = Builder::RefOf(chain);
  int k = 1;
  for (; Read.Begin + k < Read.End; ++k) {
    const int at = Read.Begin + k;
    const char c = Text[at];
    if ((c == '<' || c == '>') && at + 1 < Read.End && Text[at + 1] == '=') break;
    const TEvalOperator* op = ByChar[static_cast<unsigned char>(c)];
    if (!op || !op->Unary) break;
    typename Builder::Node link = Make.New(at, at + 1, tkOperator, Depth + k);
    const typename Builder::Ref next = Builder::RefOf(link);
    Make.Adopt(node, std::move(link));
    node = next;
  }
  typename Builder::Node operand = Tree(Make, Read.Begin + k, Read.End, Depth + k);
  if (!Builder::Valid(operand)) return Builder::None();
  Make.Adopt(node, std::move(operand));
  return chain;
}

template <class Builder>
void TEvalTextParser::Reduce(Builder& Make, int Depth) {
  const Part& op = Parts[Operators.back()];
  Operators.pop_back();
  typename Builder::Node node = Make.New(op.Begin, op.End, tkOperator, Depth);
  typename Builder::Node right = std::move(Make.Operands.back());
  Make.Operands.pop_back();
  typename Builder::Node left = std::move(Make.Operands.back());
  Make.Operands.pop_back();
  Builder::Reserve(Builder::RefOf(node), 2);
  Make.Adopt(Builder::RefOf(node), std::move(left));
  Make.Adopt(Builder::RefOf(node), std::move(right));
  Make.Operands.push_back(std::move(node));
}

template <class Builder>
typename Builder::Node TEvalTextParser::Range(Builder& Make, std::size_t First, int Depth) {
  // The root of a range is its rightmost operator of lowest priority: every binary operator
  // associates to the left.
  const std::size_t last = Parts.size();
  const std::size_t operand_base = Make.Operands.size();
  const std::size_t operator_base = Operators.size();
  for (std::size_t i = First; i < last; ++i) {
    if ((i - First) % 2 == 0) {
      // A bracket's content is a text of its own, one level deeper; any other operand part
      // would read as this very part again. (A copy: the operands' own parts go on the list.)
      const Part part{Parts[i].Begin, Parts[i].End, Parts[i].Bracketed, nullptr};
      typename Builder::Node leaf =
          part.Bracketed ? Tree(Make, part.Begin, part.End, Depth + 1) : Single(Make, part, Depth);
      if (!Builder::Valid(leaf)) {
        Make.Operands.resize(operand_base);
        Operators.resize(operator_base);
        return Builder::None();
      }
      Make.Operands.push_back(std::move(leaf));
      continue;
    }
    const std::int32_t priority = Parts[i].Operator->Priority;
    while (Operators.size() > operator_base &&
           Parts[Operators.back()].Operator->Priority >= priority)
      Reduce(Make, Depth);
    Operators.push_back(i);
  }
  while (Operators.size() > operator_base) Reduce(Make, Depth);
  typename Builder::Node root = std::move(Make.Operands.back());
  Make.Operands.pop_back();
  return root;
}
