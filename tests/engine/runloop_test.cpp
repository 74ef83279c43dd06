#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/core.h"
#include "platform/errors.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/model_support.h"

namespace {

using Names = std::vector<std::string>;

// Graph element indexes of a chain built by Chain below.
struct ChainGraph {
  int Start = 0;
  int Finish = 0;
};

// Adds the start and the finish, then links start -> elements... -> finish in order. Each
// element is (kind, index); decision points are left by their default option, whose point
// index is their condition count.
ChainGraph Chain(SchemeParts& parts,
                 const std::vector<std::pair<std::uint8_t, std::uint16_t>>& elements,
                 bool linkToFinish = true) {
  GraphSection& g = parts.Graph;
  ChainGraph chain;
  chain.Start = g.Add({.Kind = gkStart});
  chain.Finish = g.Add({.Kind = gkFinish});
  int previous = chain.Start;
  std::uint16_t point = 0;
  for (const auto& [kind, index] : elements) {
    const int element = g.Add({.Kind = kind, .Index = index});
    g.Link(previous, point, element);
    previous = element;
    point = kind == gkDecision
                ? static_cast<std::uint16_t>(parts.Template.DecisionPoints[index].Conditions.size())
                : 0;
  }
  if (linkToFinish) g.Link(previous, point, chain.Finish);
  return chain;
}

ActionRecord AddProduct(const std::string& code, const std::string& quantity) {
  ActionRecord action;
  action.Kind = akAddProduct;
  action.ProductCode = code;
  action.Quantity = quantity;
  return action;
}
ActionRecord SetValue(const std::string& variable, const std::string& value) {
  ActionRecord action;
  action.Kind = akSetValue;
  action.Variable = variable;
  action.NewValue = value;
  return action;
}

TEST(RunLoop, StartLinkedToTheFinishShowsTheReportAtOnceWithBackDisabled) {
  for (TScriptButton button : {TScriptButton::Close, TScriptButton::CloseBox}) {
    SchemeParts parts;
    parts.Template.Variables = {{"V", vtInteger, "4"}};
    parts.Products = {Product("P")};
    Chain(parts, {});
    EngineRun run(parts);
    run.ReportForm.Script = {button};

    run.StartAndRun();

    EXPECT_TRUE(run.RunTime.Finished);
    EXPECT_EQ(run.ScreenForm.ShowCount, 0);
    EXPECT_EQ(run.ReportForm.ShowCount, 1);
    EXPECT_EQ(run.ReportForm.BackEnabledAtShow, std::vector<bool>{false});
    EXPECT_EQ(run.ReportForm.ShownTemplate, run.Scheme.Template.get());
    EXPECT_EQ(run.ReportForm.ShownQuantities, Names{"0"});
    EXPECT_EQ(run.ReportForm.ShownValues, Names{"4"});
    EXPECT_EQ(run.HistoryNames(), (Names{"start", "finish"}));
    EXPECT_TRUE(run.Messages.Shown.empty());
  }
}

TEST(RunLoop, BackOverTwoAddedQuantitiesRestoresThemAndTheHistory) {
  SchemeParts parts;
  parts.Template.Screens = {{}, {}};
  parts.Template.Actions = {AddProduct("P", "2"), AddProduct("P", "3")};
  parts.Products = {Product("P")};
  Chain(parts, {{gkScreen, 0}, {gkAction, 0}, {gkAction, 1}, {gkScreen, 1}});
  EngineRun run(parts);
  run.ScreenForm.Script = {ClickStep(TScriptButton::Next), ClickStep(TScriptButton::Back),
                           ClickStep(TScriptButton::Next), ClickStep(TScriptButton::Next)};
  run.ReportForm.Script = {TScriptButton::Close};

  run.StartAndRun();

  EXPECT_EQ(run.Shown, (Names{"screen 0", "screen 1", "screen 0", "screen 1"}));
  const Names all = {"start", "screen 0", "action 0", "action 1", "screen 1"};
  EXPECT_EQ(run.HistoriesShown,
            (std::vector<Names>{{"start", "screen 0"}, all, {"start", "screen 0"}, all}));
  EXPECT_EQ(run.QuantitiesShown, (std::vector<Names>{{"0"}, {"5"}, {"0"}, {"5"}}));
  EXPECT_EQ(run.BackEnabledShown, (std::vector<bool>{false, true, false, true}));
  EXPECT_EQ(run.ReportForm.ShownQuantities, Names{"5"});
  EXPECT_EQ(run.RunTime.UndoCodes, (Names{"", "", "P", "P", "", ""}));
  EXPECT_EQ(run.RunTime.UndoQuantities, (Names{"", "", "0", "2", "", ""}));
  EXPECT_TRUE(run.Messages.Shown.empty());
}

TEST(RunLoop, BackOnTheReportReturnsToTheLastScreenAndUndoesWhatFollowedIt) {
  SchemeParts parts;
  parts.Template.Screens = {{}};
  parts.Template.Actions = {AddProduct("P", "2"), SetValue("V", "V+1")};
  parts.Template.Variables = {{"V", vtInteger, "0"}};
  parts.Products = {Product("P")};
  Chain(parts, {{gkScreen, 0}, {gkAction, 0}, {gkAction, 1}});
  EngineRun run(parts);
  run.ScreenForm.Script = {ClickStep(TScriptButton::Next), ClickStep(TScriptButton::Next)};
  run.ReportForm.Script = {TScriptButton::Back, TScriptButton::Close};

  run.StartAndRun();

  EXPECT_EQ(run.Shown, (Names{"screen 0", "screen 0"}));
  EXPECT_EQ(run.QuantitiesShown, (std::vector<Names>{{"0"}, {"0"}}));
  EXPECT_EQ(run.ReportForm.ShowCount, 2);
  EXPECT_EQ(run.ReportForm.BackEnabledAtShow, (std::vector<bool>{true, true}));
  EXPECT_EQ(run.ReportForm.ShownQuantities, Names{"2"});
  // Set values are not undone: the action ran twice.
  EXPECT_EQ(run.ReportForm.ShownValues, Names{"2"});
  EXPECT_TRUE(run.RunTime.Finished);
}

// Two screens; a decision point whose conditional options lead to screen i and whose default
// option leads to the finish.
TEST(RunLoop, DecisionPointTakesTheFirstTrueOrDefaultOptionAndAnErrorCountsAsFalse) {
  struct Row {
    std::string name = {};
    std::vector<std::string> conditions = {};  // file order: the model holds them reversed
    std::string serviceString27 = {};
    Names shown = {};
    Names messages = {};
    std::string current = {};
  };
  const std::vector<Row> rows = {
      {.name = "raising, false, default",
       .conditions = {"0", "Missing>0"},
       .shown = {},
       .messages = {"Error during calculation"},
       .current = "option 0.2"},
      {.name = "the scheme's message takes the error's text",
       .conditions = {"0", "Missing>0"},
       .serviceString27 = "Calc: %s %d",
       .shown = {},
       .messages = {"Calc: Invalid variable name: \"MISSING\"\r\n1 %d"},
       .current = "option 0.2"},
      {.name = "an empty condition is false without a message",
       .conditions = {"1", ""},
       .shown = {"screen 1"},
       .messages = {},
       .current = "none"},
      {.name = "the first true option wins",
       .conditions = {"1", "2>1"},
       .shown = {"screen 0"},
       .messages = {},
       .current = "none"},
      {.name = "only the default option",
       .conditions = {},
       .shown = {},
       .messages = {},
       .current = "option 0.0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SchemeParts parts;
    if (!row.serviceString27.empty()) {
      for (int i = 0; i < 27; ++i) parts.Template.ServiceStrings.push_back({{"0", "x"}});
      parts.Template.ServiceStrings.push_back({{"0", row.serviceString27}});
    }
    parts.Template.Screens = {{}, {}};
    parts.Template.DecisionPoints = {{"dp", row.conditions}};
    GraphSection& g = parts.Graph;
    const int start = g.Add({.Kind = gkStart});
    const int finish = g.Add({.Kind = gkFinish});
    const int decision = g.Add({.Kind = gkDecision, .Index = 0});
    g.Link(start, 0, decision);
    const auto count = static_cast<std::uint16_t>(row.conditions.size());
    for (std::uint16_t option = 0; option < count; ++option) {
      g.Link(decision, option, g.Add({.Kind = gkScreen, .Index = option}));
    }
    g.Link(decision, count, finish);
    EngineRun run(parts);
    run.ScreenForm.Script = {ClickStep(TScriptButton::Close)};
    run.ReportForm.Script = {TScriptButton::Close};

    run.StartAndRun();

    EXPECT_EQ(run.Shown, row.shown);
    EXPECT_EQ(run.ReportForm.ShowCount, row.shown.empty() ? 1 : 0);
    EXPECT_EQ(run.Messages.Shown, row.messages);
    EXPECT_EQ(ElementName(*run.Scheme.Template, run.RunTime.Current), row.current);
    EXPECT_EQ(run.HistoryNames()[1], "decision 0");
  }
}

TEST(RunLoop, ActionsSetValuesAndAddQuantitiesAndShowCalculationErrors) {
  struct Row {
    std::string name;
    std::vector<ActionRecord> actions;
    Names values;
    Names quantities;
    Names messages = {};
  };
  const std::string error = "Error during calculation";
  const std::vector<Row> rows = {
      {"set value",
       {SetValue("N", "N*2"), SetValue("S", "concat(N,\"!\")")},
       {"4", "\"4!\""},
       {"0"}},
      // The empty expression is the empty string constant, not the empty text.
      {"set value with an empty expression", {SetValue("S", "")}, {"2", "\"\""}, {"0"}},
      {"set value raising", {SetValue("N", "1+")}, {"", "\"s\""}, {"0"}, {error}},
      {"set value of an unknown variable", {SetValue("Z", "1")}, {"2", "\"s\""}, {"0"}},
      {"add product", {AddProduct("P", "N+0.5"), AddProduct("P", "-3")}, {"2", "\"s\""}, {"-0.5"}},
      {"add product with an empty quantity",
       {AddProduct("P", "1"), AddProduct("P", "")},
       {"2", "\"s\""},
       {"1"}},
      {"add product raising", {AddProduct("P", "N/0")}, {"2", "\"s\""}, {"0"}, {error}},
      {"add product of an unknown code", {AddProduct("Z", "1")}, {"2", "\"s\""}, {"0"}},
      // A sum beyond the stored number range is shown and leaves the quantity as it was.
      {"quantity beyond the number range",
       {AddProduct("P", "power(10,308)"), AddProduct("P", "power(10,308)")},
       {"2", "\"s\""},
       {"1E308"},
       {error}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SchemeParts parts;
    parts.Template.Variables = {{"N", vtInteger, "2"}, {"S", vtString, "\"s\""}};
    parts.Template.Actions = row.actions;
    parts.Products = {Product("P")};
    std::vector<std::pair<std::uint8_t, std::uint16_t>> chain;
    for (std::size_t i = 0; i < row.actions.size(); ++i) {
      chain.push_back({gkAction, static_cast<std::uint16_t>(i)});
    }
    Chain(parts, chain);
    EngineRun run(parts);
    run.ReportForm.Script = {TScriptButton::Close};

    run.StartAndRun();

    EXPECT_EQ(run.ReportForm.ShownValues, row.values);
    EXPECT_EQ(run.ReportForm.ShownQuantities, row.quantities);
    EXPECT_EQ(run.Messages.Shown, row.messages);
    EXPECT_EQ(ElementName(*run.Scheme.Template, run.RunTime.Current),
              "action " + std::to_string(row.actions.size() - 1));
  }
}

TEST(RunLoop, FirstScreenHasBackDisabledAlsoAfterActionsAndDecisionPoints) {
  SchemeParts parts;
  parts.Template.Screens = {{}, {}};
  parts.Template.Actions = {SetValue("V", "1")};
  parts.Template.DecisionPoints = {{"dp", {"0"}}};
  parts.Template.Variables = {{"V", vtInteger, "0"}};
  Chain(parts, {{gkAction, 0}, {gkDecision, 0}, {gkScreen, 0}, {gkScreen, 1}});
  EngineRun run(parts);
  run.ScreenForm.Script = {ClickStep(TScriptButton::Next), ClickStep(TScriptButton::Back),
                           ClickStep(TScriptButton::Next), ClickStep(TScriptButton::Next)};
  run.ReportForm.Script = {TScriptButton::Back, TScriptButton::Close};
  run.ScreenForm.Script.push_back(ClickStep(TScriptButton::Next));

  run.StartAndRun();

  EXPECT_EQ(run.Shown, (Names{"screen 0", "screen 1", "screen 0", "screen 1", "screen 1"}));
  EXPECT_EQ(run.BackEnabledShown, (std::vector<bool>{false, true, false, true, true}));
  EXPECT_EQ(run.HistoriesShown[2], (Names{"start", "action 0", "decision 0", "screen 0"}));
  EXPECT_EQ(run.ReportForm.BackEnabledAtShow, (std::vector<bool>{true, true}));
}

TEST(RunLoop, RunEndsSilentlyWhenNoLinkLeavesTheCurrentElement) {
  struct Row {
    std::string name;
    std::vector<std::pair<std::uint8_t, std::uint16_t>> chain;
    Names shown;
    Names history;
  };
  const std::vector<Row> rows = {
      {"start without a link", {}, {}, {"start"}},
      {"screen without a link", {{gkScreen, 0}}, {"screen 0"}, {"start", "screen 0"}},
      {"action without a link", {{gkAction, 0}}, {}, {"start", "action 0"}},
      {"option without a link", {{gkDecision, 0}}, {}, {"start", "decision 0"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SchemeParts parts;
    parts.Template.Screens = {{}};
    parts.Template.Actions = {SetValue("V", "1")};
    parts.Template.Variables = {{"V", vtInteger, "0"}};
    parts.Template.DecisionPoints = {{"dp", {}}};
    Chain(parts, row.chain, false);
    EngineRun run(parts);
    run.ScreenForm.Script = {ClickStep(TScriptButton::Next)};

    run.StartAndRun();

    EXPECT_TRUE(run.RunTime.Finished);
    EXPECT_EQ(run.Shown, row.shown);
    EXPECT_EQ(run.HistoryNames(), row.history);
    EXPECT_EQ(run.ReportForm.ShowCount, 0);
    EXPECT_TRUE(run.Messages.Shown.empty());
  }
}

// A scheme that goes round through actions and decision points alone would step for ever,
// its history growing without bound: the run ends with an error that the start-up reports.
TEST(RunLoop, RunThatNeverShowsAScreenAgainEndsWithAnError) {
  struct Row {
    std::string name;
    bool screenFirst;
    bool throughDecision;
  };
  const std::vector<Row> rows = {
      {"an action linked to itself", false, false},
      {"an action and a decision point linked in a ring", false, true},
      {"a ring after a screen", true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SchemeParts parts;
    parts.Template.Screens = {{}};
    parts.Template.Actions = {SetValue("V", "V+1")};
    parts.Template.Variables = {{"V", vtInteger, "0"}};
    parts.Template.DecisionPoints = {{"dp", {}}};
    GraphSection& g = parts.Graph;
    int previous = g.Add({.Kind = gkStart});
    g.Add({.Kind = gkFinish});
    if (row.screenFirst) {
      const int screen = g.Add({.Kind = gkScreen, .Index = 0});
      g.Link(previous, 0, screen);
      previous = screen;
    }
    const int action = g.Add({.Kind = gkAction, .Index = 0});
    g.Link(previous, 0, action);
    if (row.throughDecision) {
      const int decision = g.Add({.Kind = gkDecision, .Index = 0});
      g.Link(action, 0, decision);
      g.Link(decision, 0, action);
    } else {
      g.Link(action, 0, action);
    }
    EngineRun run(parts);
    run.ScreenForm.Script = {ClickStep(TScriptButton::Next)};

    run.RunTime.Start();
    try {
      run.RunTime.Run();
      ADD_FAILURE() << "the run ended without an error";
    } catch (const Exception& error) {
      EXPECT_STREQ(error.what(), "The run goes round without showing a screen.");
    }

    EXPECT_TRUE(run.RunTime.Finished);
    EXPECT_EQ(run.RunTime.Current, nullptr);
    EXPECT_EQ(run.Shown.size(), row.screenFirst ? 1U : 0U);
    EXPECT_EQ(run.ReportForm.ShowCount, 0);
  }
}

// Long loops that end are no endless ones, and the screen between them starts the count anew.
TEST(RunLoop, LongLoopsThatEndRunToTheReport) {
  SchemeParts parts;
  parts.Template.Screens = {{}};
  parts.Template.Actions = {SetValue("V", "V+1"), SetValue("W", "W+1")};
  parts.Template.Variables = {{"V", vtInteger, "0"}, {"W", vtInteger, "0"}};
  parts.Template.DecisionPoints = {{"dp", {"V<30000"}}, {"dp2", {"W<30000"}}};
  GraphSection& g = parts.Graph;
  const int start = g.Add({.Kind = gkStart});
  const int finish = g.Add({.Kind = gkFinish});
  const int first = g.Add({.Kind = gkAction, .Index = 0});
  const int firstLoop = g.Add({.Kind = gkDecision, .Index = 0});
  const int screen = g.Add({.Kind = gkScreen, .Index = 0});
  const int second = g.Add({.Kind = gkAction, .Index = 1});
  const int secondLoop = g.Add({.Kind = gkDecision, .Index = 1});
  g.Link(start, 0, first);
  g.Link(first, 0, firstLoop);
  g.Link(firstLoop, 0, first);
  g.Link(firstLoop, 1, screen);
  g.Link(screen, 0, second);
  g.Link(second, 0, secondLoop);
  g.Link(secondLoop, 0, second);
  g.Link(secondLoop, 1, finish);
  EngineRun run(parts);
  run.ScreenForm.Script = {ClickStep(TScriptButton::Next)};
  run.ReportForm.Script = {TScriptButton::Close};

  run.StartAndRun();

  EXPECT_TRUE(run.RunTime.Finished);
  EXPECT_EQ(run.RunTime.Transition->GetValue("V"), "30000");
  EXPECT_EQ(run.RunTime.Transition->GetValue("W"), "30000");
  EXPECT_EQ(run.Shown.size(), 1U);
  EXPECT_EQ(run.ReportForm.ShowCount, 1);
}

TEST(RunLoop, ALoopOverTheChosenProductsTakesEachOnceInPriceListOrder) {
  // A, B, a second A and C; A and C are added before the loop, B never.
  SchemeParts parts;
  parts.Products = {Product("A", "first"), Product("B", "bolt"), Product("A", "second"),
                    Product("C", "cable")};
  parts.Template.Variables = {{"Item", vtString, ""}, {"Seen", vtString, ""}};
  parts.Template.Actions = {
      AddProduct("A", "2"),
      AddProduct("C", "0.5"),
      SetValue("Item", "firstitem()"),
      SetValue("Seen", "concat(Seen,concat(iteminfo(Item,1),quantity(Item)))"),
      SetValue("Item", "nextitem()"),
  };
  parts.Template.DecisionPoints = {{"more", {"Item=\"\""}}};
  GraphSection& g = parts.Graph;
  const int start = g.Add({.Kind = gkStart});
  const int finish = g.Add({.Kind = gkFinish});
  std::vector<int> actions;
  for (std::uint16_t i = 0; i < 5; ++i) actions.push_back(g.Add({.Kind = gkAction, .Index = i}));
  const int more = g.Add({.Kind = gkDecision, .Index = 0});
  g.Link(start, 0, actions[0]);
  g.Link(actions[0], 0, actions[1]);
  g.Link(actions[1], 0, actions[2]);
  g.Link(actions[2], 0, more);
  g.Link(more, 0, finish);      // no item left
  g.Link(more, 1, actions[3]);  // the default option: the loop's body
  g.Link(actions[3], 0, actions[4]);
  g.Link(actions[4], 0, more);
  EngineRun run(parts);
  run.ReportForm.Script = {TScriptButton::Close};

  run.StartAndRun();

  // The second A is listed by its code, so it counts with the first one's quantity and name.
  EXPECT_EQ(run.RunTime.Transition->GetValue("Seen"), "\"first2first2cable0.5\"");
  EXPECT_EQ(run.RunTime.Transition->Quantities, (Names{"2", "0", "0", "0.5"}));
  EXPECT_TRUE(run.Messages.Shown.empty());
  EXPECT_EQ(run.ReportForm.ShowCount, 1);
}

TEST(RunLoop, CloseOnAScreenEndsTheRunWithoutTheReport) {
  for (TScriptButton button : {TScriptButton::Close, TScriptButton::CloseBox}) {
    SchemeParts parts;
    parts.Template.Screens = {{}};
    Chain(parts, {{gkScreen, 0}});
    EngineRun run(parts);
    run.ScreenForm.Script = {ClickStep(button)};

    run.StartAndRun();

    EXPECT_TRUE(run.RunTime.Finished);
    EXPECT_EQ(run.RunTime.Current, nullptr);
    EXPECT_EQ(run.ReportForm.ShowCount, 0);
  }
}

TEST(RunLoop, DecisionPointWithoutOptionsEndsTheRun) {
  SchemeParts parts;
  parts.Template.DecisionPoints = {{"dp", {}}};
  // No link from its option either: a link from an option that is gone cannot be resolved.
  Chain(parts, {{gkDecision, 0}}, false);
  EngineRun run(parts);
  run.Scheme.Template->DecisionPoints(0)->ClearOptions();
  run.StartAndRun();
  EXPECT_TRUE(run.RunTime.Finished);
  EXPECT_EQ(run.RunTime.Current, run.Scheme.Template->Start());
  EXPECT_EQ(run.ReportForm.ShowCount, 0);
}

TEST(RunLoop, BackWithoutAnEarlierScreenRestartsForwardFromTheStart) {
  SchemeParts parts;
  parts.Template.Screens = {{}};
  parts.Template.Actions = {AddProduct("P", "2")};
  parts.Products = {Product("P")};
  Chain(parts, {{gkAction, 0}, {gkScreen, 0}});
  EngineRun run(parts);
  TSpecRunTime& engine = run.RunTime;
  engine.Start();
  engine.Step();  // the action, then the screen is pushed
  ASSERT_EQ(run.HistoryNames(), (Names{"start", "action 0", "screen 0"}));
  ASSERT_EQ(engine.Transition->Quantities, Names{"2"});

  engine.GoingBack = true;
  engine.Advance();

  EXPECT_EQ(run.HistoryNames(), (Names{"start", "action 0"}));
  EXPECT_EQ(engine.Transition->Quantities, Names{"0"});
  EXPECT_EQ(engine.Current, run.Scheme.Template->Start());
  EXPECT_FALSE(engine.GoingBack);
  engine.Step();  // the action is performed anew
  EXPECT_EQ(engine.Transition->Quantities, Names{"2"});
  EXPECT_EQ(run.HistoryNames(), (Names{"start", "action 0", "screen 0"}));
}

TEST(RunLoop, StartPutsTheServiceStringsOnBothFormsAndResetsTheRun) {
  SchemeParts parts;
  for (int i = 0; i < kServiceStringCount; ++i) {
    parts.Template.ServiceStrings.push_back({{"0", "S" + std::to_string(i) + "&"}});
  }
  parts.Template.Variables = {{"V", vtInteger, "3"}};
  parts.Template.Actions = {SetValue("V", "V+1"), AddProduct("P", "1")};
  parts.Products = {Product("P")};
  Chain(parts, {{gkAction, 0}, {gkAction, 1}});
  EngineRun run(parts);
  EXPECT_EQ(UIText[27], "Error during calculation");

  run.RunTime.Start();

  auto s = [](int i) { return "S" + std::to_string(i) + "&"; };
  for (int i = 0; i < kServiceStringCount; ++i) EXPECT_EQ(UIText[i], s(i));
  const TScriptedScreenForm& screen = run.ScreenForm;
  EXPECT_EQ(screen.ActualLbl, "30.11.2025");
  EXPECT_EQ(screen.ActualTitleLbl, s(0));
  EXPECT_EQ(screen.BackBtnCaption, s(1));
  EXPECT_EQ(screen.NextBtnCaption, s(2));
  EXPECT_EQ(screen.CloseBtnCaption, s(3));
  EXPECT_EQ(screen.SaveBtnHint, s(30));
  EXPECT_EQ(screen.LoadBtnHint, s(31));
  const TScriptedReportForm& report = run.ReportForm;
  EXPECT_EQ(report.ActualLbl, "30.11.2025");
  EXPECT_EQ(report.ActualTitleLbl, s(0));
  EXPECT_EQ(report.Caption, s(5));
  EXPECT_EQ(report.BackBtnCaption, s(1));
  EXPECT_EQ(report.NextBtnCaption, s(4));
  EXPECT_EQ(report.CloseBtnCaption, s(3));
  EXPECT_EQ(report.ScreenTitle, s(5));
  EXPECT_EQ(report.ScreenDesc, s(6));
  const int reportTexts[13] = {13, 14, 15, 16, 17, 18, 19, 20, 21, 28, 29, 32, 33};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(report.ReportTexts[i], s(reportTexts[i])) << i;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(report.ColumnTitles[i], s(22 + i)) << i;
  EXPECT_EQ(run.HistoryNames(), (Names{"start", "action 0"}));

  // A run in progress, then a second start.
  run.RunTime.Step();
  run.RunTime.Step();
  std::string code;
  run.RunTime.FirstItem(code);
  ASSERT_EQ(code, "\"P\"");
  ASSERT_EQ(run.RunTime.Transition->Values, Names{"4"});
  run.Locale.HasFileDate = false;

  run.RunTime.Start();

  EXPECT_EQ(screen.ActualLbl, "05.03.2026");
  EXPECT_EQ(run.HistoryNames(), (Names{"start", "action 0"}));
  EXPECT_EQ(run.RunTime.Current, run.Scheme.Template->Start());
  EXPECT_EQ(run.RunTime.Transition->Values, Names{"3"});
  EXPECT_EQ(run.RunTime.Transition->Quantities, Names{"0"});
  EXPECT_FALSE(run.RunTime.ItemsActive);
  EXPECT_TRUE(run.RunTime.Items.empty());
  EXPECT_FALSE(run.RunTime.Finished);
}

TEST(RunLoop, EngineWithoutARunDoesNothing) {
  SchemeParts parts;
  Chain(parts, {});
  EngineRun run(parts);
  EXPECT_TRUE(run.RunTime.Finished);
  run.RunTime.Run();
  run.RunTime.Step();
  EXPECT_TRUE(run.RunTime.History.empty());
  EXPECT_EQ(run.RunTime.LastElement(), nullptr);
  EXPECT_TRUE(run.RunTime.IsFirstScreen());
  EXPECT_RAISES_WHAT(run.RunTime.HistoryItems(0), "List index out of bounds (0)");
}

}  // namespace
