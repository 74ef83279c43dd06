// The expression parser and its syntax tree.

#include "expr/evalimpl.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "expr/evalops.h"
#include "expr/typecvt.h"
#include "platform/errors.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool Within(const std::string& text, int pos) {
  return pos >= 1 && static_cast<std::size_t>(pos) <= text.size();
}
char At(const std::string& text, int pos) {
  return text[static_cast<std::size_t>(pos) - 1];
}

// The characters that start an operand; any other character is read as an operator name.
bool StartsOperand(char c) {
  return c == '(' || c == '"' || c == '.' || IsDigit(c) ||
         IsIdentifierStart(static_cast<unsigned char>(c));
}

[[noreturn]] void RaiseListIndex(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

// Reads the operator name at Pos: one character, or two for "<=" and ">=". Pos moves past it;
// an unknown name raises with Pos on its last character.
TEvalOperator* ReadOperatorName(const TEvalExpression& expression, const std::string& text,
                                int& pos, std::string& name) {
  const char c = At(text, pos);
  const bool pair = (c == '<' || c == '>') && Within(text, pos + 1) && At(text, pos + 1) == '=';
  name.assign(1, c);
  if (pair) name += '=';
  TEvalOperator* op = expression.FindOperator(name);
  if (!op) {
    pos += static_cast<int>(name.size()) - 1;
    throw Exception(kUnexpectedCharacter);
  }
  pos += static_cast<int>(name.size());
  return op;
}

// True when the operand text of a unary node, chain[k..], would parse as another unary node:
// it starts with a one-character unary operator that the operator reader takes alone.
bool ChainsAnotherUnary(const TEvalExpression& expression, const std::string& chain,
                        std::size_t k) {
  const char c = chain[k];
  if ((c == '<' || c == '>') && k + 1 < chain.size() && chain[k + 1] == '=') return false;
  return expression.IsUnaryOperator(std::string(1, c));
}

// Tokens are parsed one after the other. The working lists of a parse and the result token of
// a single part are kept for the next parse, so that parsing allocates little more than the
// tree it builds.
constexpr std::size_t kSpareLimit = 256;
thread_local std::vector<TEvalPart> spare_parts;
thread_local std::unique_ptr<TEvalToken> spare_token;
thread_local std::vector<std::unique_ptr<TEvalToken>> spare_operands;
thread_local std::vector<TEvalPart*> spare_operators;

std::unique_ptr<TEvalToken> NewToken(TEvalExpression* expression, TEvalToken* parent,
                                     std::string text, std::int32_t position) {
  if (!spare_token)
    return std::make_unique<TEvalToken>(expression, parent, std::move(text), position);
  std::unique_ptr<TEvalToken> token = std::move(spare_token);
  token->Expression = expression;
  token->Parent = parent;
  token->Text = std::move(text);
  token->Position = position;
  token->Kind = tkUnparsed;
  token->Depth = 0;
  return token;
}

// The kind of a text that is one bare identifier (a variable) or one numeric constant, which
// the parser would read as a single part and classify so; tkUnparsed for any other text.
TEvalTokenKind PlainOperandKind(const std::string& text) {
  if (text.empty()) return tkUnparsed;
  const unsigned char first = static_cast<unsigned char>(text[0]);
  if (IsIdentifierStart(first)) {
    for (const char c : text)
      if (!IsIdentifierChar(static_cast<unsigned char>(c))) return tkUnparsed;
    return tkVariable;
  }
  int separators = 0;
  for (const char c : text) {
    if (c == '.') {
      ++separators;
    } else if (!IsDigit(c)) {
      return tkUnparsed;
    }
  }
  return separators <= 1 ? tkConstant : tkUnparsed;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TEvalToken

namespace {

// The stores of freed tokens and child lists: each a list threaded through the freed blocks
// themselves, so that it needs no destructor (a block freed after the thread's other objects
// still finds it). Under the address sanitizer they keep nothing.
constexpr std::size_t kStoreLimit = kAddressSanitizer ? 0 : 1024;
struct FreeBlock {
  FreeBlock* Next;
};
struct BlockStore {
  FreeBlock* First;
  std::size_t Count;
};
thread_local BlockStore token_store{};
thread_local BlockStore child_store{};

void* TakeBlock(BlockStore& store, std::size_t size) {
  if (FreeBlock* block = store.First) {
    store.First = block->Next;
    --store.Count;
    return block;
  }
  return ::operator new(size);
}

void GiveBlock(BlockStore& store, void* block) {
  if (store.Count < kStoreLimit) {
    FreeBlock* freed = static_cast<FreeBlock*>(block);
    freed->Next = store.First;
    store.First = freed;
    ++store.Count;
    return;
  }
  ::operator delete(block);
}

constexpr std::size_t kChildBlock = kPooledChildren * sizeof(std::unique_ptr<TEvalToken>);

}  // namespace

void* TEvalToken::operator new(std::size_t Size) {
  if (Size == sizeof(TEvalToken)) return TakeBlock(token_store, Size);
  return ::operator new(Size);
}

void TEvalToken::operator delete(void* Block, std::size_t Size) noexcept {
  if (!Block) return;
  if (Size == sizeof(TEvalToken)) {
    GiveBlock(token_store, Block);
    return;
  }
  ::operator delete(Block);
}

void* TakeChildBlock() {
  return TakeBlock(child_store, kChildBlock);
}

void GiveChildBlock(void* Block) noexcept {
  GiveBlock(child_store, Block);
}

TEvalToken::TEvalToken(TEvalExpression* Expression, TEvalToken* Parent, std::string Text,
                       std::int32_t Position)
    : Parent(Parent), Expression(Expression), Position(Position), Text(std::move(Text)) {}

TEvalToken::~TEvalToken() {
  // A left-leaning operator chain can be as deep as the text is long: the subtree is freed
  // token by token, each one's children taken off it first. The tokens waiting to be freed
  // stand in a small list of its own here and only a larger tree needs an allocated one.
  if (ChildList.empty()) return;
  constexpr std::size_t kLocal = 32;
  TEvalToken* local[kLocal];
  std::size_t count = 0;
  std::vector<TEvalToken*> more;
  auto take_children = [&](TEvalToken& token) {
    for (auto& child : token.ChildList) {
      if (count < kLocal) {
        local[count++] = child.release();
      } else {
        more.push_back(child.release());
      }
    }
    token.ChildList.clear();
  };
  take_children(*this);
  for (;;) {
    TEvalToken* token;
    if (!more.empty()) {
      token = more.back();
      more.pop_back();
    } else if (count > 0) {
      token = local[--count];
    } else {
      break;
    }
    take_children(*token);
    delete token;
  }
}

TEvalToken* TEvalToken::AddChild(std::string Text, std::int32_t Position) {
  ChildList.push_back(std::make_unique<TEvalToken>(Expression, this, std::move(Text), Position));
  return ChildList.back().get();
}

int TEvalToken::IndexOfChild(const TEvalToken* Token) const {
  for (int i = ChildCount() - 1; i >= 0; --i)
    if (ChildList[static_cast<std::size_t>(i)].get() == Token) return i;
  return -1;
}

void TEvalToken::DeleteChild(const TEvalToken* Token) {
  const int index = IndexOfChild(Token);
  if (index >= 0) ChildList.erase(ChildList.begin() + index);
}

void TEvalToken::ClearChildren() {
  // Through a detached token, so that a deep subtree is freed without recursion.
  TEvalToken holder(Expression, nullptr, std::string(), 0);
  holder.ChildList = std::move(ChildList);
  ChildList.clear();
}

TEvalToken* TEvalToken::Children(int Index) const {
  if (Index < 0 || Index >= ChildCount()) RaiseListIndex(Index);
  return ChildList[static_cast<std::size_t>(Index)].get();
}

TEvalToken* TEvalToken::CloneChild(const TEvalToken& Source) {
  struct Pending {
    const TEvalToken* Source;
    TEvalToken* Parent;
  };
  TEvalToken* first = nullptr;
  std::vector<Pending> pending{{&Source, this}};
  while (!pending.empty()) {
    const Pending item = pending.back();
    pending.pop_back();
    TEvalToken* copy = item.Parent->AddChild(item.Source->Text, item.Source->Position);
    copy->Kind = item.Source->Kind;
    copy->Depth = item.Source->Depth;
    if (!first) first = copy;
    // Reserve first so that children are appended in their order while popped in reverse.
    copy->ChildList.reserve(item.Source->ChildList.size());
    for (auto it = item.Source->ChildList.rbegin(); it != item.Source->ChildList.rend(); ++it)
      pending.push_back({it->get(), copy});
  }
  return first;
}

bool TEvalToken::Parse() {
  if (Kind != tkUnparsed) return true;
  if (!ChildList.empty()) ClearChildren();
  if (Expression->ErrorCode == 0 && Depth <= kMaxNesting) {
    const TEvalTokenKind plain = PlainOperandKind(Text);
    if (plain != tkUnparsed) {
      Kind = plain;
      return true;
    }
  }
  TEvalParser parser(this);
  if (!parser.Parse()) return false;
  TEvalToken& result = *parser.Result;
  Kind = result.Kind;
  Position = result.Position;
  Text = std::move(result.Text);
  Depth = result.Depth;
  ChildList = std::move(result.ChildList);
  result.ChildList.clear();
  for (auto& child : ChildList) child->Parent = this;
  if (!spare_token) spare_token = std::move(parser.Result);
  return true;
}

bool TEvalToken::ParseChildren() {
  bool ok = true;
  std::vector<TEvalToken*> pending;
  pending.reserve(16);
  for (auto it = ChildList.rbegin(); it != ChildList.rend(); ++it) pending.push_back(it->get());
  while (!pending.empty()) {
    TEvalToken* token = pending.back();
    pending.pop_back();
    if (!token->Parse()) {
      ok = false;
      continue;
    }
    for (auto it = token->ChildList.rbegin(); it != token->ChildList.rend(); ++it)
      pending.push_back(it->get());
  }
  return ok;
}

std::string TEvalToken::Evaluate() {
  // Any token still unparsed in this subtree is parsed first, depth first.
  std::vector<TEvalToken*> pending{this};
  while (!pending.empty()) {
    TEvalToken* token = pending.back();
    pending.pop_back();
    if (token->Kind == tkUnparsed && (!token->Parse() || !token->ParseChildren()))
      throw Exception(PositionedMessage(Expression->ErrorMessage, Expression->ErrorPosition));
    for (auto& child : token->ChildList) pending.push_back(child.get());
  }
  TEvalProgram program(*this, *Expression);
  return program.Run(*Expression);
}

// ---------------------------------------------------------------------------------------------
// TEvalParser

TEvalParser::TEvalParser(TEvalToken* Token) : Token(Token) {
  PartList.swap(spare_parts);
}

TEvalParser::~TEvalParser() {
  // Only an ordinary size is kept, not the lists of one huge text.
  PartList.clear();
  if (PartList.capacity() > spare_parts.capacity() && PartList.capacity() <= kSpareLimit)
    PartList.swap(spare_parts);
}

TEvalPart& TEvalParser::AddPart(std::string Text, bool IsOperator, std::int32_t Position) {
  TEvalPart& part = PartList.emplace_back();
  part.Parser = this;
  part.IsOperator = IsOperator;
  part.Text = std::move(Text);
  part.Position = Position;
  return part;
}

int TEvalParser::IndexOfPart(const TEvalPart* Part) const {
  for (int i = PartCount() - 1; i >= 0; --i)
    if (&PartList[static_cast<std::size_t>(i)] == Part) return i;
  return -1;
}

void TEvalParser::DeletePart(const TEvalPart* Part) {
  const int index = IndexOfPart(Part);
  if (index >= 0) PartList.erase(PartList.begin() + index);
}

TEvalPart& TEvalParser::Parts(int Index) {
  if (Index < 0 || Index >= PartCount()) RaiseListIndex(Index);
  return PartList[static_cast<std::size_t>(Index)];
}

void TEvalParser::SetErrorMessage(const std::string& Message) {
  Token->Expression->ErrorMessage = Message;
}
std::int32_t TEvalParser::GetErrorCode() const {
  return Token->Expression->ErrorCode;
}
void TEvalParser::SetErrorCode(std::int32_t Code) {
  Token->Expression->ErrorCode = Code;
}
void TEvalParser::SetErrorPosition(std::int32_t Position) {
  Token->Expression->ErrorPosition = Position;
}

bool TEvalParser::Fail(const char* Message, std::int32_t Position) {
  SetErrorCode(kParseErrorCode);
  SetErrorMessage(Message);
  SetErrorPosition(Position);
  return false;
}

std::string TEvalParser::ReadOperand(const std::string& Text, int& Pos, bool KeepBrackets) {
  const char c = At(Text, Pos);
  if (c == '(') {
    ++Pos;
    std::string content = ReadExpressionPart(Text, Pos);
    if (!Within(Text, Pos) || At(Text, Pos) != ')') throw Exception(kUnclosedBrackets);
    ++Pos;
    if (!KeepBrackets) {
      PartBracketed = true;
      return content;
    }
    return "(" + content + ")";
  }
  if (c == '"') return ReadStringConstant(Text, Pos);
  if (c == '.' || IsDigit(c)) return ReadNumber(Text, Pos);
  std::string name = ReadIdentifier(Text, Pos);
  while (Within(Text, Pos) && IsBlank(At(Text, Pos))) ++Pos;
  if (Within(Text, Pos) && At(Text, Pos) == '(') {
    ++Pos;
    std::string list = ReadParameterList(Text, Pos);
    if (!Within(Text, Pos)) throw Exception(kUnterminatedParams);
    ++Pos;
    name += '(';
    name += list;
    name += ')';
  }
  return name;
}

std::string TEvalParser::ReadPart(const std::string& Text, int& Pos, bool OperatorMode,
                                  bool KeepBrackets) {
  PartBracketed = false;
  PartOperator = nullptr;
  if (!Within(Text, Pos)) throw Exception(kInvalidOffset);
  const TEvalExpression& expression = *Token->Expression;
  if (StartsOperand(At(Text, Pos))) {
    std::string operand = ReadOperand(Text, Pos, KeepBrackets);
    if (OperatorMode) throw Exception(kExpectingBinary);
    return operand;
  }
  std::string name;
  TEvalOperator* op = ReadOperatorName(expression, Text, Pos, name);
  if (OperatorMode) {
    if (!op->Binary) throw Exception(kExpectingBinary);
    PartOperator = op;
    return name;
  }
  // A unary operator takes the single operand after it at once, brackets kept; a chain of
  // them ("--A") is read in one loop.
  std::string part;
  for (;;) {
    if (!op->Unary) throw Exception(kMisplacedOperator);
    part += name;
    if (!Within(Text, Pos)) throw Exception(kInvalidOffset);
    if (StartsOperand(At(Text, Pos))) break;
    op = ReadOperatorName(expression, Text, Pos, name);
  }
  part += ReadOperand(Text, Pos, true);
  PartBracketed = false;
  return part;
}

bool TEvalParser::Parse() {
  Result.reset();
  PartList.clear();
  if (Token->Kind != tkUnparsed) return true;
  int depth = Token->Depth;
  if (GetErrorCode() == 0 && depth > kMaxNesting) return Fail(kTooDeeplyNested, Token->Position);

  // The text of the current pass: the token's own text, or the content of the brackets
  // stripped so far (kept in `stripped`).
  const std::string* text = &Token->Text;
  std::string stripped;
  std::int32_t base = Token->Position - 1;
  for (bool first_pass = true;; first_pass = false) {
    std::size_t end = text->size();
    while (end > 0 && IsBlank((*text)[end - 1])) --end;
    std::size_t begin = 0;
    while (begin < end && IsBlank((*text)[begin])) ++begin;
    if (begin > 0 || end < text->size()) {
      stripped = text->substr(begin, end - begin);
      text = &stripped;
    }
    base += static_cast<std::int32_t>(begin);

    PartList.clear();
    int pos = 1;
    bool operator_mode = false;
    while (Within(*text, pos) && GetErrorCode() == 0) {
      const int start = pos;
      std::string part_text;
      try {
        part_text = ReadPart(*text, pos, operator_mode, false);
      } catch (const Exception& e) {
        return Fail(e.what(), base + pos);
      }
      // A bracket part stands at its content, the character after the "(".
      TEvalPart& part =
          AddPart(std::move(part_text), operator_mode, base + start + (PartBracketed ? 1 : 0));
      part.Bracketed = PartBracketed;
      part.Operator = PartOperator;
      while (Within(*text, pos) && IsBlank(At(*text, pos))) ++pos;
      operator_mode = !operator_mode;
    }
    // A single bracket part is parsed again without its brackets, until none is left; any other
    // single part would read the same once more. The content differs from the text of its pass
    // (it is shorter), except for the empty content of "()" in the first pass, which stays.
    if (PartList.size() != 1 || !PartList[0].Bracketed) break;
    if (first_pass && PartList[0].Text.empty()) break;
    if (++depth > kMaxNesting) return Fail(kTooDeeplyNested, PartList[0].Position);
    stripped = std::move(PartList[0].Text);
    text = &stripped;
    base = PartList[0].Position - 1;
  }

  if (PartList.empty()) AddPart("\"\"", false, base + 1);
  if (PartList.size() % 2 == 0)
    return Fail(kOperatorWithoutOperand, base + static_cast<std::int32_t>(text->size()));
  if (PartList.size() == 1) return Classify(PartList[0], depth);
  BuildTree(depth);
  return true;
}

bool TEvalParser::Classify(TEvalPart& Part, int Depth) {
  TEvalExpression* expression = Token->Expression;
  Result = NewToken(expression, Token->Parent, std::move(Part.Text), Part.Position);
  TEvalToken& result = *Result;
  result.Depth = Depth;
  std::string& text = result.Text;
  const char first = text.empty() ? '\0' : text[0];
  if (text.empty() || first == '"' || first == '.' || IsDigit(first)) {
    result.Kind = tkConstant;
    return true;
  }
  if (IsIdentifierStart(static_cast<unsigned char>(first))) {
    int pos = 1;
    while (Within(text, pos) && IsIdentifierChar(static_cast<unsigned char>(At(text, pos)))) ++pos;
    if (!Within(text, pos)) {
      result.Kind = tkVariable;
      return true;
    }
    if (At(text, pos) != '(') {
      Result.reset();
      return Fail(kInvalidCharacter, Part.Position + pos - 1);
    }
    // The arguments are read from the part's text, the name stays.
    const std::string call = std::move(text);
    text = call.substr(0, static_cast<std::size_t>(pos) - 1);
    result.Kind = tkFunction;
    ++pos;
    try {
      while (Within(call, pos) && At(call, pos) != ')') {
        const int start = pos;
        std::string argument = ReadExpressionPart(call, pos);
        result.AddChild(std::move(argument), Part.Position + start - 1)->Depth = Depth + 1;
        if (Within(call, pos) && At(call, pos) == ',') ++pos;
      }
    } catch (const Exception& e) {
      return Fail(e.what(), Part.Position + pos - 1);
    }
    return true;
  }
  if (expression->IsUnaryOperator(std::string(1, first))) {
    // A chain of unary operators ("--A") is a chain of one-operand nodes, each exactly what
    // parsing its operand text would give. They are built here in one pass, down to the
    // nesting bound, instead of re-reading the rest of the chain once per level; the operand,
    // or the level beyond the bound (which fails when it is parsed), is left to its own parse.
    const std::string chain = std::move(text);
    result.Kind = tkOperator;
    result.Text.assign(1, first);
    TEvalToken* node = &result;
    std::size_t k = 1;
    while (k < chain.size() && Depth + static_cast<int>(k) <= kMaxNesting &&
           ChainsAnotherUnary(*expression, chain, k)) {
      TEvalToken* link = node->AddChild(std::string(1, chain[k]), Part.Position + k);
      link->Kind = tkOperator;
      link->Depth = Depth + static_cast<int>(k);
      node = link;
      ++k;
    }
    node->AddChild(chain.substr(k), Part.Position + k)->Depth = Depth + static_cast<int>(k);
    return true;
  }
  Result.reset();
  return Fail(kCannotDetermineToken, Part.Position);
}

void TEvalParser::BuildTree(int Depth) {
  // The root of a range is its rightmost operator of lowest priority, so every binary operator
  // associates to the left: the operator-precedence reduction below builds exactly that tree
  // in one pass, however long the chain.
  TEvalExpression* expression = Token->Expression;
  std::vector<std::unique_ptr<TEvalToken>>& operands = spare_operands;
  std::vector<TEvalPart*>& operators = spare_operators;
  operands.clear();
  operators.clear();
  auto reduce = [&] {
    TEvalPart& op = *operators.back();
    operators.pop_back();
    // Each operator part becomes one node: its text moves there.
    auto node = std::make_unique<TEvalToken>(expression, nullptr, std::move(op.Text), op.Position);
    node->Kind = tkOperator;
    node->Depth = Depth;
    std::unique_ptr<TEvalToken> right = std::move(operands.back());
    operands.pop_back();
    std::unique_ptr<TEvalToken> left = std::move(operands.back());
    operands.pop_back();
    left->Parent = node.get();
    right->Parent = node.get();
    node->ChildList.reserve(2);
    node->ChildList.push_back(std::move(left));
    node->ChildList.push_back(std::move(right));
    operands.push_back(std::move(node));
  };
  for (std::size_t i = 0; i < PartList.size(); ++i) {
    TEvalPart& part = PartList[i];
    if (i % 2 == 0) {
      auto leaf =
          std::make_unique<TEvalToken>(expression, nullptr, std::move(part.Text), part.Position);
      leaf->Depth = Depth + (part.Bracketed ? 1 : 0);
      operands.push_back(std::move(leaf));
      continue;
    }
    while (!operators.empty() && operators.back()->Operator->Priority >= part.Operator->Priority)
      reduce();
    operators.push_back(&part);
  }
  while (!operators.empty()) reduce();
  Result = std::move(operands.back());
  operands.pop_back();
  if (operands.capacity() > kSpareLimit) std::vector<std::unique_ptr<TEvalToken>>().swap(operands);
  if (operators.capacity() > kSpareLimit) std::vector<TEvalPart*>().swap(operators);
  Result->Parent = Token->Parent;
}

std::string PositionedMessage(const std::string& Message, std::int32_t Position) {
  return Message + "\r\n" + std::to_string(Position);
}
