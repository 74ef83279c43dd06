// The one-pass parse of Compile against the level-by-level parse of a root token. The input
// builds an expression text (from a table of tokens, or taken raw), picks one of several
// operator lists (the standard one, extended, replaced, cut down, with names the one-pass
// parser leaves alone, or with shapes and priorities set from the input) and the values of the
// variables. Both parses must agree on success, on the error fields, on the message that
// Evaluate raises for a failed compile and on the whole tree (kind, text, position, depth,
// parent links, children in order); a parsed text must then evaluate the same way on both
// trees, with the same result or error and the same questions to the provider. The flat tree
// that the compiled texts parse into must be the one-pass tree, and a program laid out from it
// must run as the one laid out from the tokens.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "expr/eval.h"
#include "expr/evalimpl.h"
#include "expr/typecvt.h"
#include "fuzz/eval_outcome.h"
#include "fuzz/fuzz_input.h"
#include "platform/errors.h"
#include "tests/support/table_provider.h"

namespace {

// An operator of any shape: joins the first characters of its operands into a string constant;
// as a unary operator it answers its operand unchanged.
class ShapedOperator : public TEvalOperator {
 public:
  ShapedOperator(TEvalExpression* Expression, const std::string& Name, bool Binary, bool Unary,
                 std::int32_t Priority)
      : TEvalOperator(Expression, Name, Binary, Unary, Priority) {}
  void EvaluateBinary(const std::string& Left, const std::string& Right,
                      std::string& Result) override {
    Result = QuoteString(Left.substr(0, 8) + Name + Right.substr(0, 8));
  }
  void EvaluateUnary(const std::string& Value, std::string& Result) override { Result = Value; }
};

void Add(TEvalExpression& e, const std::string& name, bool binary, bool unary, int priority) {
  e.AddOperator(std::make_unique<ShapedOperator>(&e, name, binary, unary, priority));
}

void Remove(TEvalExpression& e, const std::string& name) {
  e.DeleteOperator(e.FindOperator(name));
}

// The operator lists. The last one's operators take their shape from the input.
constexpr int kLists = 8;
std::unique_ptr<TEvalExpression> MakeList(int list) {
  std::unique_ptr<TEvalExpression> e = CreateStandardExpression();
  switch (list) {
    case 1:  // more operators
      Add(*e, "^", true, true, 5);
      Add(*e, "!", false, true, 6);
      Add(*e, "#", true, false, -1);
      break;
    case 2:  // standard names replaced by other shapes
      Add(*e, "-", true, false, 3);
      Add(*e, "*", true, false, 2);
      Add(*e, "=", true, true, 7);
      Add(*e, "&", true, false, 1);
      break;
    case 3:  // cut down
      Remove(*e, "<=");
      Remove(*e, "~");
      Remove(*e, "+");
      Add(*e, "<", true, true, 2);
      break;
    case 4:  // a name the part reader never reads whole
      Add(*e, "**", true, false, 5);
      break;
    case 5:  // a unary pair, a name that ends parts
      Add(*e, "<=", false, true, 2);
      Add(*e, ">=", true, true, 2);
      break;
    case 6:
      Add(*e, ")", true, false, 1);
      break;
    case 7:
      Add(*e, "^", true, true, 5);
      Add(*e, "!", true, true, 0);
      Add(*e, "=", true, true, 2);
      break;
    default:
      break;
  }
  return e;
}

struct Shape {
  bool Binary, Unary;
  std::int32_t Priority;
};

// Sets the shape of every operator of the last list from the input, starting each time from
// the shapes the list was made with.
void ShapeOperators(TEvalExpression& e, Bytes& in) {
  static const std::vector<Shape> made = [&e] {
    std::vector<Shape> shapes;
    for (int i = 0; i < e.OperatorCount(); ++i)
      shapes.push_back({e.Operators(i)->Binary, e.Operators(i)->Unary, e.Operators(i)->Priority});
    return shapes;
  }();
  for (int i = 0; i < e.OperatorCount(); ++i) {
    TEvalOperator* op = e.Operators(i);
    op->Binary = made[static_cast<std::size_t>(i)].Binary;
    op->Unary = made[static_cast<std::size_t>(i)].Unary;
    op->Priority = made[static_cast<std::size_t>(i)].Priority;
  }
  const std::uint8_t count = in.Next() % 4;
  for (std::uint8_t k = 0; k < count; ++k) {
    TEvalOperator* op = e.Operators(in.Next() % e.OperatorCount());
    const std::uint8_t shape = in.Next();
    op->Binary = shape & 1;
    op->Unary = shape & 2;
    op->Priority = static_cast<std::int32_t>(shape >> 2) - 16;
  }
}

std::string ValueText(Bytes& in) {
  static const char* const kValues[] = {"",    "0",    "1",          "-1",      "2.5", "0.5",
                                        "$10", "\"\"", "\"12\"",     "\"abc\"", "abc", "1E3",
                                        "007", "-0",   "\"a\\\"b\"", "3"};
  return kValues[in.Next() % (sizeof kValues / sizeof kValues[0])];
}

// An expression from a table of tokens, one input byte each.
std::string TokenText(Bytes& in) {
  static const char* const kTokens[] = {
      "A",   "B",   "C",  "x",     "ABC1", "_Z",    "X",    "1",          "2.5",   ".5", "5.",
      ".",   "007", "10", "1.2.3", "E5",   "\"a\"", "\"\"", "\"a\\\"b\"", "\"u",   "+",  "-",
      "*",   "/",   "~",  "&",     "|",    ">",     "<",    "=",          ">=",    "<=", "^",
      "!",   "#",   "(",  ")",     "(",    ")",     "(",    ")",          "F(",    "G(", "H(",
      ",",   "()",  " ",  "\t",    "$",    "@",     "'",    "**",         "-(",    "~~", "--",
      "F()", "+",   "-",  "*",     "A",    "B",     "1",    "(A+B)",      "F(A,B)"};
  return in.Tokens(kTokens);
}

// The tree in preorder, every field that the parse sets; parent links are checked on the way.
std::string Dump(const TEvalToken& root) {
  std::string dump;
  std::vector<const TEvalToken*> pending{&root};
  Require(root.Parent == nullptr);
  while (!pending.empty()) {
    const TEvalToken* token = pending.back();
    pending.pop_back();
    dump += std::to_string(token->Kind) + ':' + std::to_string(token->Depth) + ':' +
            std::to_string(token->Position) + ':' + std::to_string(token->Text.size()) + ':' +
            token->Text + ':' + std::to_string(token->ChildCount()) + ';';
    for (int i = token->ChildCount() - 1; i >= 0; --i) {
      const TEvalToken* child = token->Children(i);
      Require(child->Parent == token);
      Require(child->Expression == token->Expression);
      pending.push_back(child);
    }
  }
  return dump;
}

// The same fields in the same order without depths and parent links, which a flat tree does
// not keep; FlatDump gives it for a flat tree.
std::string ShapeDump(const TEvalToken& root) {
  std::string dump;
  std::vector<const TEvalToken*> pending{&root};
  while (!pending.empty()) {
    const TEvalToken* token = pending.back();
    pending.pop_back();
    dump += std::to_string(token->Kind) + ':' + std::to_string(token->Position) + ':' +
            std::to_string(token->Text.size()) + ':' + token->Text + ':' +
            std::to_string(token->ChildCount()) + ';';
    for (int i = token->ChildCount() - 1; i >= 0; --i) pending.push_back(token->Children(i));
  }
  return dump;
}

std::string FlatDump(const TEvalFlatTree& tree) {
  std::string dump;
  std::vector<std::int32_t> pending{tree.Root};
  const auto node = [&tree](std::int32_t index) -> const TEvalFlatTree::Node& {
    Require(index >= 0 && static_cast<std::size_t>(index) < tree.Nodes.size());
    return tree.Nodes[static_cast<std::size_t>(index)];
  };
  while (!pending.empty()) {
    const TEvalFlatTree::Node& item = node(pending.back());
    pending.pop_back();
    const std::string_view text = tree.TextOf(item);
    dump += std::to_string(item.Kind) + ':' + std::to_string(item.Position) + ':' +
            std::to_string(text.size()) + ':' + std::string(text) + ':' +
            std::to_string(item.ChildCount) + ';';
    const std::size_t first = pending.size();
    std::int32_t count = 0;
    for (std::int32_t child = item.FirstChild; child >= 0; child = node(child).NextSibling) {
      Require(++count <= item.ChildCount);
      pending.push_back(child);
    }
    Require(count == item.ChildCount);
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
  }
  return dump;
}

struct Fields {
  bool Ok;
  std::string Message;
  std::int32_t Code;
  std::int32_t Position;
  std::string Tree;
  bool operator==(const Fields&) const = default;
};

Fields Take(const TEvalExpression& e, bool ok, const TEvalToken* root) {
  return {ok, e.ErrorMessage, e.ErrorCode, e.ErrorPosition, root ? Dump(*root) : std::string()};
}

using Outcome = EvalOutcome<decltype(TTableProvider::Log)>;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<std::unique_ptr<TEvalExpression>> lists = [] {
    std::vector<std::unique_ptr<TEvalExpression>> made;
    for (int i = 0; i < kLists; ++i) made.push_back(MakeList(i));
    return made;
  }();
  static TTableProvider provider = [] {
    TTableProvider p;
    p.Functions["F"] = EchoFunction("F");
    p.Functions["G"] = [](const std::vector<std::string>&) { return std::string(); };
    p.Functions["H"] = [](const std::vector<std::string>&) -> std::string {
      throw Exception("failed");
    };
    return p;
  }();

  Bytes in(data, size);
  const std::uint8_t mode = in.Next();
  TEvalExpression& e = *lists[static_cast<std::size_t>(mode % kLists)];
  if (mode % kLists == kLists - 1) ShapeOperators(e, in);
  provider.Variables.clear();
  for (const char* name : {"A", "B", "C", "ABC1", "_Z"}) provider.Variables[name] = ValueText(in);
  const std::string text = mode & 0x80 ? in.Rest() : TokenText(in);
  e.Provider = &provider;

  // The reference: a root token over the normalised text, parsed level by level.
  e.SetText(text);
  e.Reset();
  TEvalToken reference(&e, nullptr, e.GetText(), 1);
  const bool reference_ok = reference.Parse() && reference.ParseChildren();
  const Fields expected = Take(e, reference_ok, &reference);

  e.SetText(text);
  e.Reset();
  const bool ok = e.Compile();
  Require(Take(e, ok, e.Root()) == expected);

  // The flat parse of the compiled texts takes what the one-pass parse takes, as the same tree.
  static TEvalTextParser flat_parser;
  static TEvalFlatTree flat;
  const std::unique_ptr<TEvalToken> one_pass = TEvalTextParser().Parse(e, e.GetText());
  const bool flat_ok = flat_parser.ParseFlat(e, e.GetText(), flat);
  Require(flat_ok == (one_pass != nullptr));
  Require(!flat_ok || ok);
  if (flat_ok) Require(FlatDump(flat) == ShapeDump(*one_pass));

  if (!ok) {
    const Outcome raised = Evaluated(e, provider, [&e] { return e.Evaluate(); });
    Require(raised.Text == "!" + PositionedMessage(expected.Message, expected.Position));
    Require(raised.ProviderLog.empty());
    return 0;
  }
  const Outcome fast = Evaluated(e, provider, [&e] { return e.Evaluate(); });
  const Outcome levels = Evaluated(e, provider, [&e, &reference] {
    TEvalProgram program(reference, e);
    return program.Run(e);
  });
  Require(fast == levels);
  // A program laid out from the flat tree runs as the one laid out from the tokens.
  if (flat_ok) {
    const Outcome flat_run = Evaluated(e, provider, [&e] {
      TEvalProgram program;
      program.Build(flat, e);
      return program.Run(e);
    });
    Require(flat_run == fast);
  }
  return 0;
}
