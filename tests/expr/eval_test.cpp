// The expression object: normalising, parse errors with their positions, the shape of the
// tree, evaluation order, the provider protocol and the object's life cycle.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "expr/eval.h"
#include "expr/evalfunc.h"
#include "expr/evalimpl.h"
#include "expr/typecvt.h"
#include "platform/errors.h"
#include "tests/support/expr_support.h"
#include "tests/support/table_provider.h"

namespace {

std::string Positioned(const std::string& message, int position) {
  return message + "\r\n" + std::to_string(position);
}

// The tree in prefix form with positions: "-@4(-@2(X@1,Y@3),Z@5)".
std::string Dump(const TEvalToken& token) {
  std::string text = token.Text + "@" + std::to_string(token.Position);
  if (token.Kind == tkFunction || token.ChildCount() > 0) {
    text += "(";
    for (int i = 0; i < token.ChildCount(); ++i) {
      if (i > 0) text += ",";
      text += Dump(*token.Children(i));
    }
    text += ")";
  }
  return text;
}

class ExpressionTest : public ::testing::Test {
 protected:
  ExpressionTest() : Expression(CreateStandardExpression()) {
    Expression->Provider = &Provider;
    Provider.Functions["F"] = EchoFunction("F");
    Provider.Functions["G"] = EchoFunction("G");
  }

  std::string Eval(const std::string& text) {
    Expression->SetText(text);
    return Expression->Evaluate();
  }

  std::unique_ptr<TEvalExpression> Expression;
  TTableProvider Provider;
};

TEST_F(ExpressionTest, NormalisesBlanksAndCaseOutsideStringConstants) {
  const struct {
    std::string Text, Normalised;
  } cases[] = {
      {"x + 1", "X+1"},
      {"a b", "AB"},
      {"\tf( a ,\"a b\\\" c\" )", "F(A,\"a b\\\" c\")"},
      {"\xE0\xE1 c",
       "\xE0\xE1"
       "C"},                       // only ASCII letters change
      {"1 + \"ab c", "1+\"ab c"},  // an unterminated constant is copied to the end
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(TEvalExpression::NormalizeText(c.Text), c.Normalised);
    Expression->SetText(c.Text);
    EXPECT_EQ(Expression->GetText(), c.Normalised);
  }
}

TEST_F(ExpressionTest, EveryParseErrorCarriesItsPosition) {
  const struct {
    std::string Text, Message;
    int Position;
  } cases[] = {
      {"1+", kOperatorWithoutOperand, 2},
      {"1>=", kOperatorWithoutOperand, 3},
      {"1+-", kInvalidOffset, 4},
      {"*2", kMisplacedOperator, 2},
      {"A<>B", kMisplacedOperator, 4},
      {"1<=>2", kMisplacedOperator, 5},
      {"1~2", kExpectingBinary, 3},
      {"2(3)", kExpectingBinary, 5},
      {"1E5", kExpectingBinary, 4},
      {"\"a\"\"b\"", kExpectingBinary, 7},
      {"A)", kUnexpectedCharacter, 2},
      {"1+2)", kUnexpectedCharacter, 4},
      {"#", kUnexpectedCharacter, 1},
      {"(1))", kUnexpectedCharacter, 4},
      {"(A,B)", kUnclosedBrackets, 3},
      {"(1+2", kUnclosedBrackets, 5},
      {"F(1", kUnterminatedParams, 4},
      {"F(G(1)", kUnterminatedParams, 7},
      {"1..2", kOneDecimalSeparator, 3},
      {"F(1..2)", kOneDecimalSeparator, 5},
      {"1+\"ab", kUnterminatedString, 6},
      {"(1+)", kOperatorWithoutOperand, 3},
      {"F(1+)", kOperatorWithoutOperand, 4},
      {"F(2,(1*))", kOperatorWithoutOperand, 7},
      {"x * (y +)", kOperatorWithoutOperand, 5},  // positions count in the normalised text
      // The first failure in depth-first, left-to-right order stands.
      {"(1+)*(*2)", kOperatorWithoutOperand, 3},
      {"F(1,*2)+(2~)", kMisplacedOperator, 6},
      {"(2~)+F(1,*2)", kExpectingBinary, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    Expression->SetText(c.Text);
    EXPECT_FALSE(Expression->Compile());
    EXPECT_EQ(Expression->ErrorCode, kParseErrorCode);
    EXPECT_EQ(Expression->ErrorMessage, c.Message);
    EXPECT_EQ(Expression->ErrorPosition, c.Position);
    Expression->SetText(c.Text);
    EXPECT_RAISES(Expression->Evaluate(), Positioned(c.Message, c.Position));
  }
  EXPECT_TRUE(Provider.Log.empty()) << "the parse asked the provider";
}

TEST_F(ExpressionTest, TreeFollowsPrioritiesAndLeftAssociativity) {
  const struct {
    std::string Text, Tree;
  } cases[] = {
      {"X-Y-Z", "-@4(-@2(X@1,Y@3),Z@5)"},
      {"X-Y+Z", "+@4(-@2(X@1,Y@3),Z@5)"},
      {"X|Y&Z", "|@2(X@1,&@4(Y@3,Z@5))"},
      {"X&Y|Z", "|@4(&@2(X@1,Y@3),Z@5)"},
      {"X+Y>Z", ">@4(+@2(X@1,Y@3),Z@5)"},
      {"X=Y|Z", "|@4(=@2(X@1,Y@3),Z@5)"},
      {"X+Y*Z", "+@2(X@1,*@4(Y@3,Z@5))"},
      {"X>=Y<=Z", "<=@5(>=@2(X@1,Y@4),Z@7)"},
      {"-A*B", "*@3(-@1(A@2),B@4)"},
      {"--A", "-@1(-@2(A@3))"},
      {"~(A|B)", "~@1(|@4(A@3,B@5))"},
      {"~A|B", "|@3(~@1(A@2),B@4)"},
      {"((1))", "1@3"},
      {"(X)*(Y+1)", "*@4(X@2,+@7(Y@6,1@8))"},
      {"()", "@2"},
      {"", "\"\"@1"},
      {"F()", "F@1()"},
      {"F(,)", "F@1(\"\"@3)"},
      {"F(A,)", "F@1(A@3)"},
      {"F(A,,B)", "F@1(A@3,\"\"@5,B@6)"},
      {"F(G(X),(1))", "F@1(G@3(X@5),1@9)"},
      {"\"a\"", "\"a\"@1"},
      {"007", "007@1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    Expression->SetText(c.Text);
    ASSERT_TRUE(Expression->Compile()) << Expression->ErrorMessage;
    EXPECT_EQ(Dump(*Expression->Root()), c.Tree);
  }
}

struct EvalCase {
  std::string Text;
  std::map<std::string, std::string> Variables = {};
  std::string Result = "";
  std::string Error = "";
};

TEST_F(ExpressionTest, EvaluatesToValueTexts) {
  const EvalCase cases[] = {
      {"X-Y-Z", {{"X", "10"}, {"Y", "3"}, {"Z", "2"}}, "5"},
      {"10/4/5", {}, "0.5"},
      {"2+3*4", {}, "14"},
      {"2*(3+4)", {}, "14"},
      {"X|Y&Z", {{"X", "1"}, {"Y", "0"}, {"Z", "0"}}, "1"},
      {"X+Y>Z", {{"X", "2"}, {"Y", "2"}, {"Z", "3"}}, "1"},
      {"X=Y|Z", {{"X", "2"}, {"Y", "2"}, {"Z", "0"}}, "1"},
      {"~1|1", {}, "1"},
      {"-A*B", {{"A", "2"}, {"B", "3"}}, "-6"},
      {"--A", {{"A", "2"}}, "2"},
      {"~(A|B)", {{"A", "0"}, {"B", "0"}}, "1"},
      {"x + 1", {{"X", "2"}}, "3"},
      {"((1))", {}, "1"},
      {"()", {}, ""},
      {"", {}, "\"\""},
      {"007", {}, "007"},
      {".", {}, "."},
      {"\"a b\\\"\"", {}, "\"a b\\\"\""},
      {"X", {{"X", "$1F"}}, "$1F"},  // a variable's text is passed on as it is
      {"F(,)", {}, "\"F(\\\"\\\")\""},
      {"F(A,)", {{"A", "1"}}, "\"F(1)\""},
      {"1+X", {}, "", Positioned("Invalid variable name: \"X\"", 3)},
      {"2*F(1)+H(2)", {}, "", Positioned("Invalid function name: \"H\"", 8)},
  };
  for (const EvalCase& c : cases) {
    SCOPED_TRACE(c.Text);
    Provider.Variables = c.Variables;
    if (c.Error.empty()) {
      EXPECT_EQ(Eval(c.Text), c.Result);
    } else {
      EXPECT_RAISES(Eval(c.Text), c.Error);
    }
  }
}

TEST_F(ExpressionTest, AskesBareNamesOnlyAsVariablesAndBracketedOnesOnlyAsFunctions) {
  Provider.Variables["F"] = "1";
  Provider.Functions["X"] = EchoFunction("X");
  EXPECT_RAISES(Eval("X"), Positioned("Invalid variable name: \"X\"", 1));
  EXPECT_EQ(Provider.Log, (std::vector<std::string>{"IsVariable X"}));
  Provider.Log.clear();
  Provider.Functions.erase("F");
  EXPECT_RAISES(Eval("1+F(2)"), Positioned("Invalid function name: \"F\"", 3));
  EXPECT_EQ(Provider.Log, (std::vector<std::string>{"IsFunction F"}));
}

TEST_F(ExpressionTest, RightOperandsFirstArgumentsLeftToRightNoShortCircuit) {
  Provider.Variables = {{"A", "1"}, {"B", "0"}};
  // The two calls answer string constants that count as 0.
  EXPECT_EQ(Eval("F(A,B)+G(2)|B&A"), "0");
  EXPECT_EQ(Provider.Log,
            (std::vector<std::string>{"IsVariable A", "GetVariable A",  // right side of "&" first
                                      "IsVariable B", "GetVariable B",  // then its left side
                                      "IsFunction G", "CallFunction G(2)",  // right of "+"
                                      "IsFunction F",  // the name is checked before the arguments
                                      "IsVariable A", "GetVariable A", "IsVariable B",
                                      "GetVariable B", "CallFunction F(1,0)"}));
}

TEST_F(ExpressionTest, ConstantsSurviveEveryEvaluation) {
  // Constants are read in place from the tree: neither a whole-expression constant nor a call
  // argument may be used up by the first evaluation.
  for (const std::string text : {"2.50", "\"a\"", "F(1.5,\"b\")", "F(2)+1"}) {
    SCOPED_TRACE(text);
    Expression->SetText(text);
    const std::string first = Expression->Evaluate();
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(Expression->Evaluate(), first);
  }
}

TEST_F(ExpressionTest, KeepsTheTreeAndAsksTheProviderAgain) {
  Provider.Variables["X"] = "1";
  Expression->SetText("X*2");
  EXPECT_EQ(Expression->Evaluate(), "2");
  Provider.Variables["X"] = "4";
  EXPECT_EQ(Expression->Evaluate(), "8");
}

TEST_F(ExpressionTest, FailedCompileIsRaisedAgainUntilTheNextText) {
  Expression->SetText("1+");
  const std::string error = Positioned(kOperatorWithoutOperand, 2);
  EXPECT_RAISES(Expression->Evaluate(), error);
  EXPECT_RAISES(Expression->Evaluate(), error);  // not an empty string constant
  EXPECT_RAISES(Expression->Evaluate(), error);
  Expression->SetText("1");
  EXPECT_EQ(Expression->Evaluate(), "1");
  EXPECT_EQ(Expression->ErrorMessage, kNoError);
  EXPECT_EQ(Expression->ErrorCode, 0);
  EXPECT_EQ(Expression->ErrorPosition, 0);
}

TEST_F(ExpressionTest, EvaluationErrorsSetMessageAndPositionButNotCode) {
  EXPECT_RAISES(Eval("1+Y"), Positioned("Invalid variable name: \"Y\"", 3));
  EXPECT_EQ(Expression->ErrorMessage, "Invalid variable name: \"Y\"");
  EXPECT_EQ(Expression->ErrorPosition, 3);
  EXPECT_EQ(Expression->ErrorCode, 0);
  // The tree stays: the variable appears, and the same tree evaluates.
  Provider.Variables["Y"] = "2";
  EXPECT_EQ(Expression->Evaluate(), "3");
}

TEST_F(ExpressionTest, WithoutProviderOnlyNamesFail) {
  Expression->Provider = nullptr;
  EXPECT_EQ(Eval("1+2"), "3");
  EXPECT_RAISES(Eval("X"), Positioned(kNoProvider, 1));
  EXPECT_RAISES(Eval("2*F(1)"), Positioned(kNoProvider, 3));
}

TEST_F(ExpressionTest, ErrorsInsideACallPassOnAsPlainErrors) {
  Provider.Functions["BAD"] = [](const std::vector<std::string>&) -> std::string {
    throw EConvertError("broken");
  };
  const struct {
    std::string Text, Message;
  } cases[] = {
      {"F(1/0)", "Floating point division by zero"},
      {"F(X)", Positioned("Invalid variable name: \"X\"", 3)},
      {"BAD()", "broken"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    try {
      Eval(c.Text);
      ADD_FAILURE() << "nothing raised";
    } catch (const Exception& e) {
      EXPECT_EQ(e.GetMessage(), c.Message);
      EXPECT_EQ(typeid(e), typeid(Exception));
    }
  }
  // Outside a call an operator's error keeps its own type.
  EXPECT_THROW(Eval("1/0"), EZeroDivide);
}

TEST_F(ExpressionTest, FunctionThatWritesNothingGivesTheEmptyText) {
  Provider.Functions["NONE"] = [](const std::vector<std::string>&) { return std::string(); };
  EXPECT_EQ(Eval("NONE(1,2)"), "");
  EXPECT_EQ(Eval("NONE()+1"), "1");
}

TEST_F(ExpressionTest, NestingIsBoundedWithAPosition) {
  const auto repeat = [](const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
  };
  const struct {
    std::string Name, Text, Result;
    int ErrorPosition = 0;
  } cases[] = {
      {"256 brackets", repeat("(", 256) + "7" + repeat(")", 256), "7"},
      {"257 brackets", repeat("(", 257) + "7" + repeat(")", 257), "", 258},
      {"256 brackets in a sum", "1+" + repeat("(", 256) + "7" + repeat(")", 256), "8"},
      {"257 brackets in a sum", "1+" + repeat("(", 257) + "7" + repeat(")", 257), "", 260},
      {"256 minus signs", repeat("-", 256) + "7", "7"},
      {"257 minus signs", repeat("-", 257) + "7", "", 258},
      {"mixed unary chain in a sum", "2+" + repeat("-~", 100) + "-7", "1"},
      // Each level of a long chain must not read the rest of the chain again.
      {"a million unary signs", repeat("-", 1000000) + "7", "", 258},
      {"unary and brackets mixed", repeat("-(", 128) + "1" + repeat(")", 128), "1"},
      {"unary and brackets too deep", "1*" + repeat("-(", 129) + "1" + repeat(")", 129), "", 260},
      {"calls", repeat("F(", 256) + repeat(")", 256), ""},
      {"calls too deep", repeat("F(", 257) + "1" + repeat(")", 257), "", 515},
  };
  Provider.Functions["F"] = [](const std::vector<std::string>& p) {
    return p.empty() ? std::string() : p[0];
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.ErrorPosition == 0) {
      EXPECT_EQ(Eval(c.Text), c.Result);
    } else {
      EXPECT_RAISES(Eval(c.Text), Positioned(kTooDeeplyNested, c.ErrorPosition));
    }
  }
}

TEST_F(ExpressionTest, LongOperatorChainsNeedNoDeepStack) {
  std::string text = "1";
  for (int i = 1; i < 200000; ++i) text += i % 2 ? "+1" : "*1";
  EXPECT_EQ(Eval(text), "100001");
  std::string deep = std::string(20000, '(') + std::string(20000, ')');
  EXPECT_RAISES(Eval(deep), Positioned(kTooDeeplyNested, 258));
  Expression->SetText("1");  // frees the long tree
}

TEST_F(ExpressionTest, OperatorListChangesReachACompiledTree) {
  Expression->SetText("2*3");
  EXPECT_EQ(Expression->Evaluate(), "6");
  Expression->DeleteOperator(Expression->FindOperator("*"));
  EXPECT_EQ(Expression->FindOperator("*"), nullptr);
  EXPECT_RAISES(Expression->Evaluate(), Positioned("Undefined operator: \"*\"", 2));
  // A binary-only "~" registered last hides the unary one: the call no longer fits.
  struct BinaryTilde : TEvalOperator {
    explicit BinaryTilde(TEvalExpression* e) : TEvalOperator(e) {
      Name = "~";
      Binary = true;
    }
    void EvaluateBinary(const std::string&, const std::string&, std::string& r) override {
      r = "B";
    }
    void EvaluateUnary(const std::string&, std::string&) override {}
  };
  Expression->SetText("1+~0");
  EXPECT_EQ(Expression->Evaluate(), "2");
  Expression->AddOperator(std::make_unique<BinaryTilde>(Expression.get()));
  EXPECT_EQ(Expression->IndexOfOperatorName("~"), Expression->OperatorCount() - 1);
  EXPECT_RAISES(Expression->Evaluate(), Positioned("Invalid operator call: \"~\"", 3));
  EXPECT_EQ(Eval("1~0"), "B");
  EXPECT_RAISES(Expression->Operators(Expression->OperatorCount()),
                "List index out of bounds (" + std::to_string(Expression->OperatorCount()) + ")");
}

// Results carried as numbers between operators give the texts and errors of results written
// and read again at every operator, also where the written text loses digits.
TEST_F(ExpressionTest, NumbersCarriedBetweenOperatorsMatchTheTextRun) {
  struct Truncating : TPlusOperator {
    using TPlusOperator::TPlusOperator;
    void EvaluateBinary(const std::string& l, const std::string& r, std::string& out) override {
      TPlusOperator::EvaluateBinary(l, r, out);
      out.resize(std::min<std::size_t>(out.size(), 3));
    }
  };
  const struct {
    std::string Text, Result;
  } cases[] = {
      {"1/3*3", "0.999999999999999"},
      {"(A-0.5)/3*3", "0.999999999999999"},
      {"(2/3)*3-2", "0"},
      {"A*B+C", "3.75"},
      {"2.2*A+1.1", "4.4"},
      {"(2.2*A+1.1)*3.3", "14.52"},
      {"1/3*3+1", "2"},
      {"A*B/(C*1)", "!Floating point division by zero"},
      {"A*E*E+1", "!Floating point overflow"},
      {"-(A*B)+1", "-2.75"},
      {"0.1+0.2=0.3", "1"},
      {"1/3=0.333333333333333", "1"},
      {"100000000000000*10+1-1000000000000000", "0"},
      {"1/3>=F(1/3)", "1"},
      {"F(1/3)*3", "0.999999999999999"},
      {"\"1\"<1/3", "0"},
      {"1/3<\"0.4\"", "1"},
      {"~(A*B-3.75)|(1/0.5)&C", "1"},
      {"-(-A)+-B", "-1"},
      {"E*E", "!Floating point overflow"},
      {"E*E/E", "!Floating point overflow"},
      {"1/0", "!Floating point division by zero"},
      {"0/(A-A)", "!Invalid floating point operation"},
      {"D+1", "!Invalid typecast."},
      {"(A*2)>D", "!Invalid type cast."},
      {"X*2", "!Invalid variable name: \"X\"\r\n1"},
      // Values of ten digits: every result in a chain takes all fifteen digits of its text.
      {"G*H+C", "3.35590346353758"},
      {"(G+H)/2", "1.9764248595"},
      {"(2.2*G+1.1)*3.3*H", "34.2312221809229"},
      {"G*H*G*H-1", "10.2620880565836"},
      {"-(G*H)/3", "-1.11863448784586"},
      {"(G-H)/4", "-0.37092848425"},
      {"(N-G)*3", "299993.666666667"},
      {"(N+G)*3", "300001.074074013"},
      {"(G-G+0.00012)*2", "0.00024"},
      {"(G-1.234567)*8", "7.12800000000034E-6"},
      {"(H+0.5)*8", "25.746254624"},
      // The truth of a variable's float text: an integer text is true above 0, any other from
      // a magnitude of 1 on, up to the magnitude its truncation refuses.
      {"~G", "0"},
      {"~(G-1)", "1"},
      {"~K", "1"},
      {"~L", "0"},
      {"L&G|~C", "1"},
      {"~M", "!Invalid type cast."},
  };
  Provider.Variables = {
      {"A", "1.5"},           {"B", "2.5"},         {"C", "0"},  {"D", "abc"},  {"E", "1E300"},
      {"G", "1.234567891"},   {"H", "2.718281828"}, {"K", "-1"}, {"L", "-1.5"}, {"M", "1E19"},
      {"N", "99999.12345678"}};
  Provider.Functions["F"] = [](const std::vector<std::string>& p) { return p[0]; };
  for (const bool replaced : {false, true}) {
    if (replaced) Expression->AddOperator(std::make_unique<Truncating>(Expression.get()));
    for (const auto& c : cases) {
      SCOPED_TRACE(c.Text);
      Expression->SetText(c.Text);
      std::string carried, written;
      try {
        carried = Expression->Evaluate();
      } catch (const Exception& e) {
        carried = std::string("!") + e.what();
      }
      ASSERT_EQ(Expression->ErrorCode, 0);
      try {
        TEvalProgram program(*Expression->Root(), *Expression);
        written = program.RunTexts(*Expression);
      } catch (const Exception& e) {
        written = std::string("!") + e.what();
      }
      EXPECT_EQ(carried, written);
      if (!replaced) {
        EXPECT_EQ(carried, c.Result);
      }
    }
  }
}

// A variable remembers the number of the last text it read; a text of any remembered length
// that differs from it in one character only is read again.
TEST_F(ExpressionTest, AVariableTextChangedInOneCharacterIsReadAgain) {
  Expression->SetText("A+0");
  for (std::size_t length = 1; length <= TEvalProgram::kRememberedText + 1; ++length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('1' + i % 9);
    for (std::size_t changed = 0; changed < length; ++changed) {
      SCOPED_TRACE(text + " then digit " + std::to_string(changed) + " changed");
      Provider.Variables["A"] = text;
      ASSERT_EQ(Expression->Evaluate(), FloatToValueText(TextToFloat(text)));
      std::string other = text;
      other[changed] = '0';
      Provider.Variables["A"] = other;
      ASSERT_EQ(Expression->Evaluate(), FloatToValueText(TextToFloat(other)));
    }
  }
}

// Compile lays out the evaluation order with the tree; an operator list changed after it still
// reaches the evaluation.
TEST_F(ExpressionTest, OperatorListChangesAfterACompileReachTheEvaluation) {
  Expression->SetText("2*3");
  ASSERT_TRUE(Expression->Compile());
  Expression->DeleteOperator(Expression->FindOperator("*"));
  EXPECT_RAISES(Expression->Evaluate(), Positioned("Undefined operator: \"*\"", 2));
  Expression->SetText("2*3");
  EXPECT_RAISES(Expression->Evaluate(), "Unexpected character.\r\n2");
  Expression->SetText("1+2");
  ASSERT_TRUE(Expression->Compile());
  EXPECT_EQ(Expression->Evaluate(), "3");
  EXPECT_EQ(Expression->Evaluate(), "3");
}

TEST_F(ExpressionTest, AMessageOpenDuringEvaluationCannotFreeTheTree) {
  // The message window runs code while it is open, as a nested event loop would: a second
  // use of the same expression object raises instead of freeing the tree being evaluated.
  RecordingMessageWindow window;
  Provider.Functions["USERMSG"] = [](const std::vector<std::string>& p) {
    return EvalUserMsg(p.at(0));
  };
  std::vector<std::string> nested;
  window.OnShow = [&](const std::string&) {
    for (auto use : {0, 1}) {
      try {
        if (use == 0) Expression->SetText("2");
        if (use == 1) Expression->Evaluate();
        nested.push_back("nothing raised");
      } catch (const Exception& e) {
        nested.push_back(e.what());
      }
    }
  };
  EXPECT_EQ(Eval("USERMSG(\"Hi\")+1"), "1");
  EXPECT_EQ(window.Shown, (std::vector<std::string>{"Hi"}));
  EXPECT_EQ(nested, (std::vector<std::string>(2, kExpressionInUse)));
  // Afterwards the object is usable again, also after an evaluation that raised.
  EXPECT_EQ(Eval("1+1"), "2");
  EXPECT_RAISES(Eval("1/0"), "Floating point division by zero");
  EXPECT_EQ(Eval("3"), "3");
}

TEST(EvalTokens, CloneAndChildListsAreSelfContained) {
  auto expression = CreateStandardExpression();
  TEvalToken root(expression.get(), nullptr, "1-(2*3)", 1);
  ASSERT_TRUE(root.Parse() && root.ParseChildren());
  TEvalToken holder(expression.get(), nullptr, "", 1);
  TEvalToken* copy = holder.CloneChild(root);
  EXPECT_EQ(Dump(*copy), "-@2(1@1,*@5(2@4,3@6))");
  EXPECT_EQ(copy->Parent, &holder);
  EXPECT_EQ(copy->Children(1)->Parent, copy);
  EXPECT_EQ(copy->Evaluate(), "-5");
  EXPECT_EQ(holder.IndexOfChild(copy), 0);
  holder.DeleteChild(copy);
  EXPECT_EQ(holder.ChildCount(), 0);
  EXPECT_RAISES(holder.Children(0), "List index out of bounds (0)");
  // An unparsed token parses itself when evaluated.
  TEvalToken lazy(expression.get(), nullptr, "2*(1+1)", 1);
  EXPECT_EQ(lazy.Evaluate(), "4");
}

}  // namespace
