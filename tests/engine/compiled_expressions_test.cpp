// The engine's compiled expressions: each text is compiled once and its program reused, and every
// evaluation answers what SetText and Evaluate on a fresh text answer, errors included.
#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "expr/evalcache.h"
#include "expr/evalimpl.h"
#include "model/core.h"
#include "tests/engine/engine_fixture.h"

namespace {

using Names = std::vector<std::string>;

// "= value" or "! message".
std::string Outcome(const std::function<std::string()>& evaluate) {
  try {
    return "= " + evaluate();
  } catch (const std::exception& e) {
    return std::string("! ") + e.what();
  }
}

SchemeParts UnitsScheme() {
  SchemeParts parts;
  parts.Template.Variables = {{"Units", vtInteger, "3"}, {"Label", vtString, "\"box\""}};
  parts.Products = {Product("P1", "Cabinet")};
  return parts;
}

TEST(CompiledExpressions, EveryEvaluationAnswersWhatAFreshTextAnswers) {
  struct Row {
    std::string text;
    // The outcome while Units holds 3; empty where only the agreement with the fresh text is
    // checked.
    std::string expected = {};
  };
  const std::vector<Row> rows = {
      {"Units * 2 + 1", "= 7"},
      {"units>2", "= 1"},
      {"Label", "= \"box\""},
      {"\"a b\"", "= \"a b\""},
      {"", "= \"\""},
      {"quantity(\"P1\")+Units"},
      {"1+", "! Unterminated expression - operator without operand\r\n2"},
      {"(Units"},
      {"Units 2"},
      {"Missing+1", "! Invalid variable name: \"MISSING\"\r\n1"},
      {"nosuch(1)"},
      {"1/(Units-3)"},
      {"Label*2"},
      {"~Label"},
  };
  LoadedScheme scheme(UnitsScheme());
  TSpecRunTime engine(scheme.Template.get(), scheme.LinkMap.get());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    // Three rounds, the store changed between them: the reused program asks for the values anew.
    for (const std::string units : {"3", "5", "3"}) {
      engine.Transition->SetValue("Units", units);
      const std::string fresh = Outcome([&] {
        engine.Evaluator->SetText(row.text);
        return engine.Evaluator->Evaluate();
      });
      const std::string compiled = Outcome([&] { return engine.EvaluateExpression(row.text); });
      EXPECT_EQ(compiled, fresh) << "Units " << units;
      if (units == "3" && !row.expected.empty()) {
        EXPECT_EQ(compiled, row.expected);
      }
    }
  }
}

TEST(CompiledExpressions, AConditionThatFailsToCompileShowsTheSameMessageAtEveryVisit) {
  // start -> screen 0 -> decision point (its one condition does not compile; the default
  // option) -> screen 0 again: the condition is evaluated at each pass.
  SchemeParts parts;
  for (int i = 0; i < 27; ++i) parts.Template.ServiceStrings.push_back({{"0", "x"}});
  parts.Template.ServiceStrings.push_back({{"0", "Calc: %s"}});
  parts.Template.Screens = {{}};
  parts.Template.DecisionPoints = {{"dp", {"(1+"}}};
  GraphSection& g = parts.Graph;
  const int start = g.Add({.Kind = gkStart});
  g.Add({.Kind = gkFinish});
  const int screen = g.Add({.Kind = gkScreen, .Index = 0});
  const int decision = g.Add({.Kind = gkDecision, .Index = 0});
  g.Link(start, 0, screen);
  g.Link(screen, 0, decision);
  g.Link(decision, 0, screen);  // the condition's option
  g.Link(decision, 1, screen);  // the default option
  EngineRun run(parts);
  run.ScreenForm.Script = {ClickStep(TScriptButton::Next), ClickStep(TScriptButton::Next),
                           ClickStep(TScriptButton::Next), ClickStep(TScriptButton::Close)};

  run.StartAndRun();

  std::string message;
  {
    auto fresh = CreateStandardExpression();
    fresh->SetText("(1+");
    message = "Calc: " + Outcome([&] { return fresh->Evaluate(); }).substr(2);
  }
  EXPECT_EQ(run.Shown, (Names{"screen 0", "screen 0", "screen 0", "screen 0"}));
  EXPECT_EQ(run.Messages.Shown, (Names{message, message, message}));
}

TEST(CompiledExpressions, EachEngineEvaluatesOnItsOwnStore) {
  LoadedScheme scheme(UnitsScheme());
  auto first = std::make_unique<TSpecRunTime>(scheme.Template.get(), scheme.LinkMap.get());
  TSpecRunTime second(scheme.Template.get(), scheme.LinkMap.get());
  first->Transition->SetValue("Units", "1");
  second.Transition->SetValue("Units", "2");

  EXPECT_EQ(first->EvaluateExpression("Units*10"), "10");
  EXPECT_EQ(second.EvaluateExpression("Units*10"), "20");
  EXPECT_EQ(first->EvaluateExpression("Units*10"), "10");

  // The engine's copies go with it; the other engine's stay and still answer.
  first.reset();
  second.Transition->SetValue("Units", "4");
  EXPECT_EQ(second.EvaluateExpression("Units*10"), "40");
}

TEST(CompiledExpressions, TextsPastFourThousandDoNotDropTheCompiledOnes) {
  // Once a count of texts was reached, every compiled text was dropped at once.
  LoadedScheme scheme(UnitsScheme());
  TSpecRunTime engine(scheme.Template.get(), scheme.LinkMap.get());
  constexpr int kTexts = 6000;
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < kTexts; ++i) {
      ASSERT_EQ(engine.EvaluateExpression("Units+" + std::to_string(i)), std::to_string(i + 3));
    }
    // A text is kept at its second evaluation.
    EXPECT_EQ(engine.CompiledExpressions.Count(),
              round == 0 ? 0 : static_cast<std::size_t>(kTexts));
  }
  EXPECT_LE(engine.CompiledExpressions.Bytes(), TEvalCompiledTexts::kMaxBytes);
}

}  // namespace
