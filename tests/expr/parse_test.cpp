// Compile's one-pass parse against the level-by-level parse of a root token: the same tree
// (kinds, texts, positions, depths, parent links, children in order), the same answer and the
// same error fields, with the standard operators and with changed operator lists; and the flat
// tree of the one-pass parse against its token tree.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "expr/eval.h"
#include "expr/evalimpl.h"

namespace {

// The tree in prefix form with every field the parse sets: "kind:text@position^depth(...)";
// a child whose parent link is wrong is marked "!".
std::string Dump(const TEvalToken& token) {
  std::string text = std::to_string(token.Kind) + ":" + token.Text + "@" +
                     std::to_string(token.Position) + "^" + std::to_string(token.Depth);
  if (token.ChildCount() == 0) return text;
  text += "(";
  for (int i = 0; i < token.ChildCount(); ++i) {
    const TEvalToken& child = *token.Children(i);
    if (i > 0) text += ",";
    if (child.Parent != &token) text += "!";
    text += Dump(child);
  }
  return text + ")";
}

// The same without depths and parent links, which a flat tree does not keep.
std::string Shape(const TEvalToken& token) {
  std::string text =
      std::to_string(token.Kind) + ":" + token.Text + "@" + std::to_string(token.Position);
  if (token.ChildCount() == 0) return text;
  text += "(";
  for (int i = 0; i < token.ChildCount(); ++i)
    text += (i > 0 ? "," : "") + Shape(*token.Children(i));
  return text + ")";
}

std::string Shape(const TEvalFlatTree& tree, std::int32_t index) {
  const TEvalFlatTree::Node& node = tree.Nodes.at(static_cast<std::size_t>(index));
  std::string text = std::to_string(node.Kind) + ":" + std::string(tree.TextOf(node)) + "@" +
                     std::to_string(node.Position);
  if (node.ChildCount == 0) return text;
  text += "(";
  int count = 0;
  for (std::int32_t child = node.FirstChild; child >= 0;
       child = tree.Nodes.at(static_cast<std::size_t>(child)).NextSibling)
    text += (count++ > 0 ? "," : "") + Shape(tree, child);
  return text + (count == node.ChildCount ? ")" : ")!count");
}

struct Parsed {
  bool Ok;
  std::string Tree, Message;
  int Code, Position;
};

// The level parse: a root token over the normalised text.
Parsed ByLevels(TEvalExpression& expression, const std::string& text) {
  expression.SetText(text);
  expression.Reset();
  TEvalToken root(&expression, nullptr, expression.GetText(), 1);
  const bool ok = root.Parse() && root.ParseChildren();
  return {ok, Dump(root), expression.ErrorMessage, expression.ErrorCode, expression.ErrorPosition};
}

Parsed Compiled(TEvalExpression& expression, const std::string& text) {
  expression.SetText(text);
  expression.Reset();
  const bool ok = expression.Compile();
  return {ok, Dump(*expression.Root()), expression.ErrorMessage, expression.ErrorCode,
          expression.ErrorPosition};
}

void ExpectSameParse(TEvalExpression& expression, const std::string& text) {
  SCOPED_TRACE(text);
  const Parsed reference = ByLevels(expression, text);
  const Parsed compiled = Compiled(expression, text);
  EXPECT_EQ(compiled.Ok, reference.Ok);
  EXPECT_EQ(compiled.Tree, reference.Tree);
  EXPECT_EQ(compiled.Message, reference.Message);
  EXPECT_EQ(compiled.Code, reference.Code);
  EXPECT_EQ(compiled.Position, reference.Position);
  // The flat parse takes what the one-pass parse takes, as the same tree.
  expression.SetText(text);
  TEvalTextParser parser;
  const std::unique_ptr<TEvalToken> onePass = parser.Parse(expression, expression.GetText());
  TEvalFlatTree flat;
  const bool flatOk = TEvalTextParser().ParseFlat(expression, expression.GetText(), flat);
  EXPECT_EQ(flatOk, onePass != nullptr);
  if (flatOk && onePass) {
    EXPECT_EQ(Shape(flat, flat.Root), Shape(*onePass));
  }
}

const char* const kTexts[] = {
    // operator chains and priorities
    "A",
    "7",
    "A+1.1",
    "2.2*A+1.1",
    "A-B-C",
    "A|B&C",
    "A&B|C",
    "A>=B<=C",
    "A*B+C/D-E",
    "(a+b>2.5)&(c<=b*2.0)",
    "(A>1)&(B<2)|~C",
    "A=B|C",
    "A<B=C>D",
    // brackets
    "(A)",
    "((1))",
    "(((A+B)))*C",
    "(A)*(B+1)",
    "((A+B)*(C-D))/((E))",
    "1+((2))",
    // unary chains
    "-A",
    "--A",
    "-~-A",
    "~(A|B)",
    "-A*B",
    "2+-3",
    "-(-(A))",
    "~~(~A)",
    "-F(1)",
    "1*-(2+3)",
    // calls
    "F()",
    "F(A)",
    "F(,)",
    "F(A,)",
    "F(A,,B)",
    "F(G(X),(1))",
    "F((A+B),-C,\"x,y\")",
    "F(1)+G(2)*H()",
    "F(F(F(1)))",
    "F(()+1)",
    // constants as written
    "\"a\"",
    "\"\"",
    "\"a\\\"b\"+\"c\"",
    "007",
    ".",
    "5.",
    ".5",
    "1.5*.5",
    "\"(\"+\")\"",
    "\"a b\"",
    // empty brackets and texts, which keep their own forms
    "",
    "()",
    "(())",
    "()+1",
    "(())+1",
    "-()",
    "F(())",
    // every kind of failure
    "1+",
    "1+-",
    "*2",
    "1~2",
    "2(3)",
    "A)",
    "(A,B)",
    "F(1",
    "A<>B",
    "(1+)",
    "F(1+)",
    "1E5",
    "1.2.3",
    "\"open",
    "A\"b",
    "A+(B",
    "A$B",
    "A+,",
    ",",
    ")",
    "F(1))",
    "(1)(2)",
    "1 2",
};

TEST(OnePassParse, GivesTheLevelParseOfEveryText) {
  auto expression = CreateStandardExpression();
  for (const char* text : kTexts) ExpectSameParse(*expression, text);
}

TEST(OnePassParse, GivesTheLevelParseAtAndBeyondTheNestingBound) {
  auto repeat = [](const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
  };
  auto expression = CreateStandardExpression();
  for (int n : {TEvalTextParser::kFastNesting - 1, TEvalTextParser::kFastNesting,
                TEvalTextParser::kFastNesting + 1, kMaxNesting, kMaxNesting + 1}) {
    SCOPED_TRACE(n);
    ExpectSameParse(*expression, repeat("(", n) + "7" + repeat(")", n));
    ExpectSameParse(*expression, "1+" + repeat("-", n) + "7");
    ExpectSameParse(*expression, repeat("F(", n) + "1" + repeat(")", n));
    ExpectSameParse(*expression, repeat("-(", n / 2) + "A" + repeat(")", n / 2));
  }
}

// An operator of any shape; what it computes does not matter to the parse.
class ShapedOperator : public TEvalOperator {
 public:
  ShapedOperator(TEvalExpression* Expression, const std::string& Name, bool Binary, bool Unary,
                 std::int32_t Priority)
      : TEvalOperator(Expression, Name, Binary, Unary, Priority) {}
  void EvaluateBinary(const std::string&, const std::string&, std::string&) override {}
  void EvaluateUnary(const std::string&, std::string&) override {}
};

TEST(OnePassParse, FollowsTheOperatorListAsItStands) {
  auto expression = CreateStandardExpression();
  TEvalExpression& e = *expression;
  const auto add = [&e](const std::string& name, bool binary, bool unary, int priority) {
    e.AddOperator(std::make_unique<ShapedOperator>(&e, name, binary, unary, priority));
  };
  const char* const texts[] = {"A-B*C", "-A",  "A^B^C", "^A",   "!A+B",  "A=B", "=A",   "A<=B",
                               "<=A",   "A<B", "<A",    "A**B", "A#B+C", "A)B", "(A)B", "-(A^B)"};
  const auto check = [&](const char* stage) {
    SCOPED_TRACE(stage);
    for (const char* text : texts) ExpectSameParse(e, text);
    for (const char* text : kTexts) ExpectSameParse(e, text);
  };
  check("standard");
  add("^", true, true, 5);
  add("!", false, true, 6);
  add("#", true, false, -1);
  check("more operators");
  add("-", true, false, 3);
  add("=", true, true, 7);
  check("names taken over by later operators");
  e.DeleteOperator(e.FindOperator("<="));
  e.DeleteOperator(e.FindOperator("~"));
  add("<", true, true, 2);
  check("operators removed");
  add("<=", false, true, 2);
  check("a unary pair");
  add("**", true, false, 5);
  check("a name never read whole");
  e.DeleteOperator(e.FindOperator("**"));
  add(")", true, false, 1);
  check("a name that closes brackets");
}

TEST(OnePassParse, SeesShapesAndPrioritiesChangedAfterACompile) {
  auto expression = CreateStandardExpression();
  TEvalExpression& e = *expression;
  ASSERT_EQ(Compiled(e, "A*B+C").Tree, "0:+@4^0(0:*@2^0(2:A@1^0,2:B@3^0),2:C@5^0)");
  e.FindOperator("*")->Priority = 0;
  EXPECT_EQ(Compiled(e, "A*B+C").Tree, "0:*@2^0(2:A@1^0,0:+@4^0(2:B@3^0,2:C@5^0))");
  ExpectSameParse(e, "A*B+C");
  e.FindOperator("-")->Unary = false;
  ExpectSameParse(e, "-A");
  e.FindOperator("~")->Binary = true;
  ExpectSameParse(e, "A~B");
  e.FindOperator("+")->Binary = false;
  ExpectSameParse(e, "A+B");
}

}  // namespace
