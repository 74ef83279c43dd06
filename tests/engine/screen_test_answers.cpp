// Reading and checking the answers of a screen, and what Next, Back and Close lead to.

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/engine/engine_fixture.h"
#include "tests/engine/screen_test_support.h"

namespace {

using Lines = std::vector<std::string>;

// The text a refused answer leaves in the variable: its value from before the screen.
const char* const kOld = R"("old")";

struct InputRow {
  const char* Name;
  std::uint8_t Kind = qkIntegerInput;
  std::string Typed;
  std::string Min{};
  std::string Max{};
  char Separator = '.';
  // The value stored by Next, or the message that refuses the answer.
  std::string Stored{};
  std::string Refused{};
  // Calculation messages shown on the way.
  Lines Messages{};
};

TEST(ScreenAnswers, InputFieldsAreConvertedAndCheckedAgainstTheirBounds) {
  const std::vector<InputRow> rows = {
      {.Name = "integer above the upper bound",
       .Typed = "12",
       .Min = "1",
       .Max = "10",
       .Refused = "Value of 'Field' should not be greater than 10."},
      {.Name = "integer below the lower bound",
       .Typed = "0",
       .Min = "1",
       .Max = "10",
       .Refused = "Value of 'Field' should not be less than 1."},
      {.Name = "integer equal to a bound", .Typed = "10", .Min = "1", .Max = "10", .Stored = "10"},
      {.Name = "integer with a fraction",
       .Typed = "1.5",
       .Refused = "Invalid integer number(Field)."},
      {.Name = "integer with a trailing blank",
       .Typed = "7 ",
       .Refused = "Invalid integer number(Field)."},
      {.Name = "integer with a leading blank", .Typed = " 7", .Stored = "7"},
      {.Name = "integer in hexadecimal", .Typed = "$1F", .Stored = "31"},
      {.Name = "empty integer", .Typed = "", .Stored = "0"},
      {.Name = "integer bound from a variable",
       .Typed = "4",
       .Max = "LIMIT",
       .Refused = "Value of 'Field' should not be greater than 3."},
      {.Name = "integer bound that fails counts as 0",
       .Typed = "-1",
       .Min = "NOSUCH",
       .Refused = "Value of 'Field' should not be less than 0.",
       .Messages = {"Error during calculation"}},
      {.Name = "integer bounds under a comma locale",
       .Typed = "12",
       .Max = "10",
       .Separator = ',',
       .Refused = "Value of 'Field' should not be greater than 10."},
      {.Name = "float below the lower bound",
       .Kind = qkFloatInput,
       .Typed = "4.5",
       .Min = "5",
       .Refused = "Value of 'Field' should not be less than 5.00."},
      {.Name = "float below the lower bound under a comma locale",
       .Kind = qkFloatInput,
       .Typed = "4,5",
       .Min = "5",
       .Separator = ',',
       .Refused = "Value of 'Field' should not be less than 5,00."},
      {.Name = "float above the upper bound under a comma locale",
       .Kind = qkFloatInput,
       .Typed = "11",
       .Max = "10.5",
       .Separator = ',',
       .Refused = "Value of 'Field' should not be greater than 10,50."},
      {.Name = "float equal to a bound",
       .Kind = qkFloatInput,
       .Typed = "5",
       .Min = "5",
       .Stored = "5"},
      {.Name = "float typed with the locale's comma is stored with a point",
       .Kind = qkFloatInput,
       .Typed = "2,50",
       .Separator = ',',
       .Stored = "2.5"},
      {.Name = "float of letters",
       .Kind = qkFloatInput,
       .Typed = "abc",
       .Refused = "Invalid number (Field)."},
      {.Name = "float beyond the stored number range",
       .Kind = qkFloatInput,
       .Typed = "1e400",
       .Refused = "Invalid number (Field)."},
      {.Name = "empty float", .Kind = qkFloatInput, .Typed = "", .Stored = "0"},
      {.Name = "string with double quotes",
       .Kind = qkStringInput,
       .Typed = R"(say "hi")",
       .Stored = R"("say \"hi\"")"},
      {.Name = "empty string", .Kind = qkStringInput, .Typed = "", .Stored = R"("")"},
  };
  for (const InputRow& row : rows) {
    SCOPED_TRACE(row.Name);
    FixedDateLocale locale(row.Separator);
    EngineFixture f;
    f.Variable("LIMIT", vtInteger, "3");
    TSpecQuestion* question = f.Question("Field", row.Kind, f.Variable("V", vtString, kOld));
    question->IntMin = question->FloatMin = row.Min;
    question->IntMax = question->FloatMax = row.Max;
    f.Chain({f.Template.Start(), f.Screen("S", {question})});
    f.Form.Script = {TypeStep(0, row.Typed), ClickStep(TScriptButton::Next)};
    if (!row.Refused.empty()) f.Form.Script.push_back(ClickStep(TScriptButton::Close));
    f.Run();

    EXPECT_EQ(f.Form.Errors, row.Refused.empty() ? Lines{} : Lines{row.Refused});
    EXPECT_EQ(f.Value("V"), row.Refused.empty() ? row.Stored : kOld);
    EXPECT_EQ(f.Messages.Shown, row.Messages);
  }
}

TEST(ScreenAnswers, ARefusedAnswerStoresNothingOfTheScreenUntilItIsCorrected) {
  EngineFixture f;
  TSpecQuestion* count = f.Question("Count", qkIntegerInput, f.Variable("COUNT", vtString, kOld));
  TSpecQuestion* width = f.Question("Width", qkFloatInput, f.Variable("WIDTH", vtString, kOld));
  TSpecScreen* screen = f.Screen("S", {count, width});
  f.Chain({f.Template.Start(), screen});
  f.Form.Script = {TypeStep(0, "5"), TypeStep(1, "wide"), ClickStep(TScriptButton::Next),
                   TypeStep(1, "1.5"), ClickStep(TScriptButton::Next)};
  f.Run();
  EXPECT_EQ(f.Form.Errors, Lines{"Invalid number (Width)."});
  EXPECT_EQ(f.Form.ShowCount, 1);
  EXPECT_EQ(f.Value("COUNT"), "5");
  EXPECT_EQ(f.Value("WIDTH"), "1.5");
  EXPECT_EQ(f.RunTime.Current, screen);
}

TEST(ScreenAnswers, BackWithARefusedAnswerStaysOnTheScreen) {
  EngineFixture f;
  TSpecScreen* first = f.Screen("First", {});
  TSpecQuestion* count = f.Question("Count", qkIntegerInput, f.Variable("COUNT", vtString, kOld));
  TSpecScreen* second = f.Screen("Second", {count});
  f.Chain({f.Template.Start(), first, second});
  f.Form.Script = {ClickStep(TScriptButton::Next), TypeStep(0, "x"), ClickStep(TScriptButton::Back),
                   ClickStep(TScriptButton::Close)};
  f.Run();
  EXPECT_EQ(f.Form.Errors, Lines{"Invalid integer number(Count)."});
  EXPECT_EQ(f.Form.ShowCount, 2);
  EXPECT_EQ(f.Form.Caption, "Second");
  EXPECT_EQ(f.Value("COUNT"), kOld);
}

TEST(ScreenAnswers, WhatEachKindStores) {
  EngineFixture f;
  TSpecQuestion* ticked = f.Question("Ticked", qkCheckBox, f.Variable("TICKED", vtBoolean, "0"));
  TSpecQuestion* cleared = f.Question("Cleared", qkCheckBox, f.Variable("CLEARED", vtBoolean, "1"));
  TSpecQuestion* info = f.Question("Info", qkInformation, f.Variable("INFO", vtString, kOld));
  TSpecQuestion* unknown = f.Question("Unknown", 11, f.Variable("UNKNOWN", vtString, kOld));
  // Without a variable the answer is still checked, and nothing is stored for it.
  TSpecQuestion* loose = f.Question("Loose", qkIntegerInput);
  TSpecScreen* screen = f.Screen("S", {ticked, cleared, info, unknown, loose});
  f.Chain({f.Template.Start(), screen});
  f.Form.Script = {TickStep(0, 0, true), TickStep(1, 0, false),
                   TypeStep(4, "x"),     ClickStep(TScriptButton::Next),
                   TypeStep(4, "3"),     ClickStep(TScriptButton::Next)};
  f.Run();
  EXPECT_EQ(f.Form.Errors, Lines{"Invalid integer number(Loose)."});
  EXPECT_EQ(f.Value("TICKED"), "1");
  EXPECT_EQ(f.Value("CLEARED"), "0");
  EXPECT_EQ(f.Value("INFO"), kOld);
  EXPECT_EQ(f.Value("UNKNOWN"), "");
}

struct ListRow {
  const char* Name;
  std::uint8_t Kind;
  std::vector<std::string> Values;
  int Chosen;
  std::string Stored;
  Lines Messages{};
};

// The chosen answer's value expression is evaluated and converted to the question's type.
TEST(ScreenAnswers, ListAnswersStoreTheirEvaluatedValue) {
  const std::vector<ListRow> rows = {
      {"integer option, computed value", qkIntegerOptions, {"1", "1+1"}, 1, "2"},
      {"integer option, float value truncated", qkIntegerOptions, {"2.7"}, 0, "2"},
      {"float option", qkFloatOptions, {"1", "2.5"}, 1, "2.5"},
      {"string option", qkStringOptions, {R"("a")", R"("b")"}, 1, R"("b")"},
      {"string option from a number", qkStringOptions, {"12"}, 0, R"("12")"},
      {"option whose value fails",
       qkIntegerOptions,
       {"NOSUCH"},
       0,
       "",
       {"Error during calculation"}},
      {"integer drop-down", qkIntegerDropDown, {"1", "2*3"}, 1, "6"},
      {"float drop-down", qkFloatDropDown, {"0.5"}, 0, "0.5"},
      {"string drop-down", qkStringDropDown, {R"("x")", R"("y")"}, 0, R"("x")"},
      {"drop-down whose value fails",
       qkStringDropDown,
       {"1/0"},
       0,
       "",
       {"Error during calculation"}},
  };
  for (const ListRow& row : rows) {
    SCOPED_TRACE(row.Name);
    EngineFixture f;
    TSpecQuestion* question = f.Question("Q", row.Kind, f.Variable("V", vtString, kOld));
    for (std::size_t i = 0; i < row.Values.size(); ++i) {
      f.Answer(question, "Answer " + std::to_string(i), row.Values[i]);
    }
    f.Chain({f.Template.Start(), f.Screen("S", {question})});
    const bool dropDown = row.Kind == qkIntegerDropDown || row.Kind == qkFloatDropDown ||
                          row.Kind == qkStringDropDown;
    f.Form.Script = {dropDown ? PickStep(0, row.Chosen) : TickStep(0, row.Chosen),
                     ClickStep(TScriptButton::Next)};
    f.Run();
    EXPECT_TRUE(f.Form.Errors.empty());
    EXPECT_EQ(f.Value("V"), row.Stored);
    EXPECT_EQ(f.Messages.Shown, row.Messages);
  }
}

// Every evaluation on a screen has the one catch of conditions: an error of any kind while an
// answer's value or a bound is evaluated is a calculation error, not the handler's error box.
TEST(ScreenAnswers, AnswerValuesAndBoundsCatchWhatConditionsCatch) {
  // The engine's provider, with one more variable whose reading fails with an error from
  // outside the project's family (as the standard library's allocation failures are).
  class FailingVariableProvider : public TEvalProvider {
   public:
    explicit FailingVariableProvider(TEvalProvider* inner) : Inner(inner) {}
    bool IsFunction(const std::string& Name) override { return Inner->IsFunction(Name); }
    bool IsVariable(const std::string& Name) override {
      return Name == "BAD" || Inner->IsVariable(Name);
    }
    void CallFunction(const std::string& Name, const std::vector<std::string>& Params,
                      std::string& Result) override {
      Inner->CallFunction(Name, Params, Result);
    }
    void GetVariable(const std::string& Name, std::string& Result) override {
      if (Name == "BAD") {
        ++Raised;
        throw std::length_error("basic_string::_M_create");
      }
      Inner->GetVariable(Name, Result);
    }
    TEvalProvider* Inner;
    int Raised = 0;
  };
  struct Row {
    const char* Name;
    std::uint8_t Kind;
    std::string AnswerValue{};
    std::string AnswerCondition{};
    std::string Min{};
    std::string Max{};
    std::string Typed{};
    std::string Stored;
  };
  const std::vector<Row> rows = {
      {.Name = "an answer's condition",
       .Kind = qkIntegerOptions,
       .AnswerValue = "1",
       .AnswerCondition = "BAD>0",
       .Stored = ""},
      {.Name = "an option's value", .Kind = qkIntegerOptions, .AnswerValue = "BAD", .Stored = ""},
      {.Name = "a drop-down's value", .Kind = qkStringDropDown, .AnswerValue = "BAD", .Stored = ""},
      // A failing bound is the bound 0.
      {.Name = "a float field's lower bound",
       .Kind = qkFloatInput,
       .Min = "BAD",
       .Typed = "5",
       .Stored = "5"},
      {.Name = "a float field's upper bound",
       .Kind = qkFloatInput,
       .Max = "BAD+10",
       .Typed = "-5",
       .Stored = "-5"},
      {.Name = "an integer field's lower bound",
       .Kind = qkIntegerInput,
       .Min = "BAD",
       .Typed = "5",
       .Stored = "5"},
      {.Name = "an integer field's upper bound",
       .Kind = qkIntegerInput,
       .Max = "BAD",
       .Typed = "-5",
       .Stored = "-5"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    EngineFixture f;
    TSpecQuestion* question = f.Question("Q", row.Kind, f.Variable("V", vtString, kOld));
    question->FloatMin = question->IntMin = row.Min;
    question->FloatMax = question->IntMax = row.Max;
    if (!row.AnswerValue.empty()) {
      f.Answer(question, "Answer", row.AnswerValue, row.AnswerCondition);
    }
    f.Chain({f.Template.Start(), f.Screen("S", {question})});
    FailingVariableProvider provider(f.RunTime.Evaluator->Provider);
    f.RunTime.Evaluator->Provider = &provider;
    f.Form.Script = {ClickStep(TScriptButton::Next)};
    if (!row.Typed.empty()) f.Form.Script.push_front(TypeStep(0, row.Typed));
    f.Run();
    EXPECT_TRUE(f.Form.Errors.empty());
    // The message stands for the provider's own error, not for an unknown name.
    EXPECT_EQ(provider.Raised, 1);
    EXPECT_EQ(f.Messages.Shown, Lines{"Error during calculation"});
    EXPECT_EQ(f.Value("V"), row.Stored);
  }
}

// Two answers with one title under exclusive conditions: the item picked is the answer offered
// at that position, not the last answer of that title.
TEST(ScreenAnswers, DropDownChoiceMapsToTheOfferedAnswer) {
  EngineFixture f;
  f.Variable("BIG", vtInteger, "1");
  TSpecQuestion* question = f.Question("Rack", qkIntegerDropDown, f.Variable("V", vtString, kOld));
  f.Answer(question, "Standard", "42", "BIG=1");
  f.Answer(question, "Standard", "24", "BIG=0");
  f.Chain({f.Template.Start(), f.Screen("S", {question})});
  f.Form.Script = {PickStep(0, 0), ClickStep(TScriptButton::Next)};
  f.Run();
  EXPECT_EQ(f.Value("V"), "42");
}

TEST(ScreenOutcome, CloseAndTheCloseBoxEndTheRunWithoutStoringOrTheReport) {
  for (TScriptButton button : {TScriptButton::Close, TScriptButton::CloseBox}) {
    SCOPED_TRACE(button == TScriptButton::Close ? "Close" : "close box");
    EngineFixture f;
    TSpecQuestion* count = f.Question("Count", qkIntegerInput, f.Variable("V", vtString, kOld));
    f.Chain({f.Template.Start(), f.Screen("S", {count}), f.Template.Finish()});
    f.Form.Script = {TypeStep(0, "5"), ClickStep(button)};
    f.Run();
    EXPECT_TRUE(f.RunTime.Finished);
    EXPECT_EQ(f.RunTime.Current, nullptr);
    EXPECT_FALSE(f.RunTime.Answered);
    EXPECT_EQ(f.Report.ShowCount, 0);
    EXPECT_EQ(f.Value("V"), kOld);
    EXPECT_EQ(f.Form.ModalResult, mrCancel);
  }
}

TEST(ScreenOutcome, BackStoresTheAnswersAndShowsThePreviousScreenAgain) {
  EngineFixture f;
  TSpecQuestion* count = f.Question("Count", qkIntegerInput, f.Variable("V", vtString, kOld));
  TSpecScreen* first = f.Screen("First", {});
  TSpecScreen* second = f.Screen("Second", {count});
  f.Chain({f.Template.Start(), first, second, f.Template.Finish()});
  f.Form.Script = {ClickStep(TScriptButton::Next), TypeStep(0, "8"), ClickStep(TScriptButton::Back),
                   ClickStep(TScriptButton::Next), ClickStep(TScriptButton::Close)};
  f.Run();
  EXPECT_EQ(f.Value("V"), "8");
  EXPECT_EQ(f.Form.ShowCount, 4);
  // The second screen, shown again, displays what Back stored.
  ASSERT_NE(f.Control(0, TFormControlKind::Edit), nullptr);
  EXPECT_EQ(f.Control(0, TFormControlKind::Edit)->Text(), "8");
}

TEST(ScreenOutcome, TheReportsBackReturnsToTheLastScreenAndItsCloseEndsTheRun) {
  EngineFixture f;
  TSpecScreen* screen = f.Screen("Only", {});
  f.Chain({f.Template.Start(), screen, f.Template.Finish()});
  f.Form.Script = {ClickStep(TScriptButton::Next), ClickStep(TScriptButton::Next)};
  f.Report.Script = {TScriptButton::Back, TScriptButton::Close};
  f.Run();
  EXPECT_EQ(f.Form.ShowCount, 2);
  EXPECT_EQ(f.Report.ShowCount, 2);
  EXPECT_EQ(f.Report.ModalResult, mrCancel);
  EXPECT_TRUE(f.RunTime.Finished);
  EXPECT_FALSE(f.RunTime.BackPressed);
}

TEST(ScreenOutcome, TheReportsBackSetsItsFlagsAndModalResult) {
  EngineFixture f;
  f.RunTime.GoingBack = false;
  f.RunTime.ReportBackBtnClick();
  EXPECT_TRUE(f.RunTime.BackPressed);
  EXPECT_TRUE(f.RunTime.GoingBack);
  EXPECT_EQ(f.Report.ModalResult, mrNo);
}

}  // namespace
