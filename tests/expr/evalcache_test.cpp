// The compiled texts: every evaluation answers and asks the provider exactly as SetText and
// Evaluate on a new standard expression do, whatever is kept; what is kept stays within its
// bound and grows with the texts, not with the values they read.

#include <gtest/gtest.h>
#include <malloc.h>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "expr/eval.h"
#include "expr/evalcache.h"
#include "expr/evalimpl.h"
#include "tests/support/expr_support.h"
#include "tests/support/table_provider.h"

namespace {

// "= value" or "! message", then the provider's questions in order.
std::string Outcome(TTableProvider& provider, const std::function<std::string()>& evaluate) {
  provider.Log.clear();
  std::string outcome;
  try {
    outcome = "= " + evaluate();
  } catch (const std::exception& e) {
    outcome = std::string("! ") + e.what();
  }
  for (const std::string& line : provider.Log) outcome += " | " + line;
  return outcome;
}

std::string Fresh(TTableProvider& provider, const std::string& text) {
  return Outcome(provider, [&] {
    auto fresh = CreateStandardExpression();
    fresh->Provider = &provider;
    fresh->SetText(text);
    return fresh->Evaluate();
  });
}

// Variables A, B and S, the functions F (its call echoed) and SETA (stores its argument in A and
// answers "0"), and FAIL (raises).
struct Table {
  Table() {
    provider.Functions["F"] = EchoFunction("F");
    provider.Functions["SETA"] = [this](const std::vector<std::string>& params) {
      provider.Variables["A"] = params.empty() ? "" : params[0];
      return std::string("0");
    };
    provider.Functions["FAIL"] = [](const std::vector<std::string>&) -> std::string {
      throw Exception("failed");
    };
  }
  void Set(const std::map<std::string, std::string>& values) { provider.Variables = values; }
  TTableProvider provider;
};

// A text of more than a few dozen steps, where equal texts, numbers and variables share one
// copy: A is read before and after SETA changes it within one run.
std::string LongText() {
  std::string text = "A+SETA(7)+A";
  for (int i = 0; i < 20; ++i) text += "+B*" + std::to_string(i % 3);
  return text;
}

// A text of more distinct constants than are looked for in place when a program is frozen,
// among them equal numbers written differently and repeated ones, around a change of A.
std::string ManyConstantsText() {
  std::string text = "A*1.5+SETA(4)+A*1.50";
  for (int i = 0; i < 40; ++i) text += (i % 2 ? "-B*" : "+A/") + std::to_string(i % 25 + 1);
  return text + "+F(\"x\",A,0.1)";
}

TEST(CompiledTexts, EveryEvaluationAnswersAndAsksAsANewExpression) {
  const std::vector<std::string> texts = {
      "A + 1",
      "a*b-b/2",
      "A+A",
      "(A>1)&(B<2)|~A",
      "S=\"box\"",
      "S+1",
      "F(A, \"a b\", , 2.50)",
      "F(F(1),A)",
      "\"\"",
      "",
      "007",
      "-A",
      "1+",
      "(A",
      "A B",
      "Missing+1",
      "nosuch(1)",
      "FAIL(A)+1",
      "1/(A-A)",
      "A+SETA(9)+A",
      LongText(),
      ManyConstantsText(),
  };
  // Rounds of values: the same values again (what a compiled text remembers is used), other
  // values, texts beyond what is remembered, texts that read differently under the separator.
  struct Round {
    std::map<std::string, std::string> Values;
    char Separator = '.';
  };
  const std::vector<Round> rounds = {
      {{{"A", "1.5"}, {"B", "2"}, {"S", "\"box\""}}},
      {{{"A", "1.5"}, {"B", "2"}, {"S", "\"box\""}}},
      {{{"A", "3"}, {"B", "0.25"}, {"S", "\"12\""}}},
      {{{"A", "1.0000000000000000000000000001"}, {"B", "-2"}, {"S", ""}}},
      {{{"A", "1.0000000000000000000000000001"}, {"B", "-2"}, {"S", ""}}},
      {{{"A", "1,5"}, {"B", "2"}, {"S", "\"a\""}}, ','},
      {{{"A", "1,5"}, {"B", "2"}, {"S", "\"a\""}}, '.'},
      {{{"A", "abc"}, {"B", "$10"}, {"S", "5"}}},
  };
  for (const std::size_t bound : {TEvalCompiledTexts::kMaxBytes, std::size_t{0}}) {
    SCOPED_TRACE(bound == 0 ? "nothing kept" : "kept");
    TEvalCompiledTexts compiled(bound);
    Table table;
    for (std::size_t r = 0; r < rounds.size(); ++r) {
      const SeparatorGuard separator(rounds[r].Separator);
      for (const std::string& text : texts) {
        SCOPED_TRACE("round " + std::to_string(r) + ": " + text);
        table.Set(rounds[r].Values);
        const std::string fresh = Fresh(table.provider, text);
        table.Set(rounds[r].Values);
        const std::string kept =
            Outcome(table.provider, [&] { return compiled.Evaluate(text, &table.provider); });
        EXPECT_EQ(kept, fresh);
      }
    }
    EXPECT_EQ(compiled.Count(), bound == 0 ? 0 : texts.size());
  }
}

TEST(CompiledTexts, TextsBeyondTheBoundAreAnsweredAndTheKeptOnesStay) {
  constexpr std::size_t kBound = 256 * 1024;
  TEvalCompiledTexts compiled(kBound);
  Table table;
  table.Set({{"A", "1"}});
  std::size_t kept = 0;
  // The texts are kept at their second evaluation, as far as they fit.
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 2000; ++i) {
      ASSERT_EQ(compiled.Evaluate("A+" + std::to_string(i), &table.provider),
                std::to_string(i + 1));
      ASSERT_LE(compiled.Bytes(), kBound);
    }
    if (round == 0) {
      EXPECT_EQ(compiled.Count(), 0u);
    }
    if (round == 1) kept = compiled.Count();
  }
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, 2000u);
  EXPECT_EQ(compiled.Count(), kept);
}

TEST(CompiledTexts, WhatATextKeepsGrowsWithTheTextNotWithTheValuesItReads) {
  Table table;
  table.Set({{"A", "1.5"}, {"B", "2"}, {"S", "\"" + std::string(1 << 20, 'x') + "\""}});
  std::string sum;
  while (sum.size() < 5000) sum += "+A*3-B/4";
  // What a text adds, over a number of texts of that form: a short condition that reads a
  // large value, and a text of one step per character (some 16 bytes a step).
  const struct {
    std::string Text;
    int Count;
    std::size_t Most;
  } rows[] = {{"&(A>=5)&~(S=\"x\")", 100, 800}, {sum, 20, 20 * sum.size()}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Text.substr(0, 20));
    TEvalCompiledTexts compiled;
    // Each text twice: the second evaluation keeps it.
    const auto twice = [&](const std::string& text) {
      compiled.Evaluate(text, &table.provider);
      compiled.Evaluate(text, &table.provider);
    };
    twice("0");
    const std::size_t before = compiled.Bytes();
    for (int i = 0; i < row.Count; ++i) twice(std::to_string(i) + row.Text);
    ASSERT_EQ(compiled.Count(), static_cast<std::size_t>(row.Count) + 1);
    EXPECT_LT((compiled.Bytes() - before) / static_cast<std::size_t>(row.Count), row.Most);
  }
}

TEST(CompiledTexts, ATextEvaluatedOnceKeepsOnlyItsMark) {
  Table table;
  table.Set({{"A", "2"}});
  TEvalCompiledTexts compiled;
  for (int i = 0; i < 1000; ++i) compiled.Evaluate("A*" + std::to_string(i), &table.provider);
  EXPECT_EQ(compiled.Count(), 0u);
  // The marks' table alone: at most half full, two words a slot.
  EXPECT_LE(compiled.Bytes(), 2048 * 2 * sizeof(void*));
  for (int i = 0; i < 1000; ++i) compiled.Evaluate("A*" + std::to_string(i), &table.provider);
  EXPECT_EQ(compiled.Count(), 1000u);
}

std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

TEST(CompiledTexts, NoCopyOfALargeValueStaysAfterItsEvaluation) {
  Table table;
  const std::string large = "\"" + std::string(1 << 20, 'x') + "\"";
  table.Set({{"S", large}, {"B", "\"\""}});
  TEvalCompiledTexts compiled;
  auto expression = CreateStandardExpression();
  expression->Provider = &table.provider;
  table.provider.Logging = false;
  // Both once on a short value, so that what they keep of their own is not counted.
  compiled.Evaluate("B=\"\"", &table.provider);
  expression->SetText("B=\"\"");
  expression->Evaluate();
  const std::size_t before = HeapInUse();
  for (int i = 0; i < 50; ++i) {
    const std::string text = "S=\"" + std::to_string(i) + "\"";
    ASSERT_EQ(compiled.Evaluate(text, &table.provider), "0");
    expression->SetText(text);
    ASSERT_EQ(expression->Evaluate(), "0");
  }
  // Evaluated again without a new text, the expression keeps its tree.
  ASSERT_EQ(expression->Evaluate(), "0");
  EXPECT_LT(HeapInUse(), before + large.size());
}

TEST(CompiledTexts, ARememberedNumberFollowsTheDecimalSeparator) {
  // A compiled text and one expression evaluated again on its tree both remember how A's text
  // read; under "." the text "1,5" is no number at all.
  Table table;
  table.Set({{"A", "1,5"}});
  TEvalCompiledTexts compiled;
  auto expression = CreateStandardExpression();
  expression->Provider = &table.provider;
  expression->SetText("A+1");
  const std::vector<std::function<std::string()>> evaluators = {
      [&] { return compiled.Evaluate("A+1", &table.provider); },
      [&] { return expression->Evaluate(); }};
  for (const auto& evaluate : evaluators) {
    for (const char separator : {',', '.', ','}) {
      SCOPED_TRACE(std::string("separator ") + separator);
      const SeparatorGuard guard(separator);
      if (separator == ',') {
        EXPECT_EQ(evaluate(), "2.5");
      } else {
        EXPECT_RAISES(evaluate(), "Invalid typecast.");
      }
    }
  }
}

TEST(CompiledTexts, AProviderMayEvaluateThroughTheSameTextsWhileItIsCalled) {
  for (const std::size_t bound : {TEvalCompiledTexts::kMaxBytes, std::size_t{0}}) {
    SCOPED_TRACE(bound == 0 ? "nothing kept" : "kept");
    TEvalCompiledTexts compiled(bound);
    Table table;
    table.Set({{"A", "2"}});
    // NEST evaluates the text its argument holds through the same compiled texts; AGAIN the
    // text that calls it.
    table.provider.Functions["NEST"] = [&](const std::vector<std::string>& params) {
      return compiled.Evaluate(UnquoteString(params[0]), &table.provider);
    };
    table.provider.Functions["AGAIN"] = [&](const std::vector<std::string>&) {
      return compiled.Evaluate("AGAIN()+1", &table.provider);
    };
    EXPECT_EQ(compiled.Evaluate("NEST(\"A*10\")+A", &table.provider), "22");
    EXPECT_EQ(compiled.Evaluate("NEST(\"NEST(\\\"A+1\\\")\")", &table.provider), "3");
    // The text under way cannot be evaluated inside itself, as an expression cannot: an error of
    // the call. The texts answer as before afterwards.
    EXPECT_RAISES(compiled.Evaluate("AGAIN()+1", &table.provider), kExpressionInUse);
    EXPECT_RAISES(compiled.Evaluate("AGAIN()+1", &table.provider), kExpressionInUse);
    EXPECT_EQ(compiled.Evaluate("NEST(\"A*10\")+A", &table.provider), "22");
  }
}

}  // namespace
