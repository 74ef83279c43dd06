// Building a screen: the layout of every question kind in pixels, the values shown, the
// answers offered under conditions and the answer preselected.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/engine/screen_test_support.h"

namespace {

using Lines = std::vector<std::string>;

struct AnswerRow {
  std::string Title;
  std::string Value;
  std::string Condition{};
  std::string Hint{};
};

struct LayoutRow {
  const char* Name;
  std::uint8_t Kind = qkFloatInput;
  std::string Stored{};
  std::string Hint{};
  std::vector<AnswerRow> Answers{};
  bool NoVariable = false;
  Lines Expected{};
};

// One screen with one question of the row, its variable holding the row's value text; the
// screen is left with Close.
TEST(ScreenLayout, EveryKindIsLaidOutAsTheAnswerReaderExpects) {
  const std::vector<LayoutRow> rows = {
      {.Name = "float, empty value shows 0",
       .Kind = qkFloatInput,
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "AddEdit 0 (10,43) w100 '0'",
                    "FitPanelHeight 0 74"}},
      {.Name = "float 2.50 shows 2.5",
       .Kind = qkFloatInput,
       .Stored = "2.50",
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "AddEdit 0 (10,43) w100 '2.5'",
                    "FitPanelHeight 0 74"}},
      {.Name = "float with a description under the title",
       .Kind = qkFloatInput,
       .Stored = "3",
       .Hint = "In mm",
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-",
                    "AddDescription 0 (10,33) h15 'In mm'", "AddEdit 0 (10,58) w100 '3'",
                    "FitPanelHeight 0 89"}},
      {.Name = "integer from a float value is truncated",
       .Kind = qkIntegerInput,
       .Stored = "2.7",
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "AddEdit 0 (10,43) w100 '2'",
                    "FitPanelHeight 0 74"}},
      {.Name = "integer, empty value shows 0",
       .Kind = qkIntegerInput,
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "AddEdit 0 (10,43) w100 '0'",
                    "FitPanelHeight 0 74"}},
      {.Name = "string shows the plain text of its constant",
       .Kind = qkStringInput,
       .Stored = R"("a\"b")",
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "AddEdit 0 (10,43) w200 'a\"b'",
                    "FitPanelHeight 0 74"}},
      {.Name = "string from an integer value shows its digits",
       .Kind = qkStringInput,
       .Stored = "42",
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "AddEdit 0 (10,43) w200 '42'",
                    "FitPanelHeight 0 74"}},
      {.Name = "information is a read-only edit",
       .Kind = qkInformation,
       .Stored = R"("Read me")",
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-",
                    "AddReadOnlyEdit 0 (10,43) w200 'Read me'", "FitPanelHeight 0 74"}},
      {.Name = "check box, checked, description beside it",
       .Kind = qkCheckBox,
       .Stored = "1",
       .Hint = "Tick me",
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "AddCheckBox 0 (10,33) 1",
                    "AddDescription 0 (30,33) h15 'Tick me'", "FitPanelHeight 0 60"}},
      {.Name = "check box without a variable is unchecked",
       .Kind = qkCheckBox,
       .NoVariable = true,
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "AddCheckBox 0 (10,33) 0",
                    "FitPanelHeight 0 60"}},
      {.Name = "option list, the stored value selects the second answer",
       .Kind = qkIntegerOptions,
       .Stored = "2",
       .Answers = {{"One", "1"}, {"Two", "2"}, {"Three", "3"}},
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "AddRadioButton 0 (10,26) tag0 0",
                    "AddQuestionLabel 0 (30,26) 'One' linked=#1", "AddRadioButton 0 (10,42) tag1 1",
                    "AddQuestionLabel 0 (30,42) 'Two' linked=#3", "AddRadioButton 0 (10,58) tag2 0",
                    "AddQuestionLabel 0 (30,58) 'Three' linked=#5", "FitPanelHeight 0 85"}},
      {.Name = "option list, no answer matches: the first is selected",
       .Kind = qkIntegerOptions,
       .Stored = "7",
       .Answers = {{"One", "1"}, {"Two", "2"}},
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "AddRadioButton 0 (10,26) tag0 1",
                    "AddQuestionLabel 0 (30,26) 'One' linked=#1", "AddRadioButton 0 (10,42) tag1 0",
                    "AddQuestionLabel 0 (30,42) 'Two' linked=#3", "FitPanelHeight 0 69"}},
      {.Name = "option list with descriptions of the question and an answer",
       .Kind = qkStringOptions,
       .Stored = R"("b")",
       .Hint = "Pick one",
       .Answers = {{"A", R"("a")", "", "First letter"}, {"B", R"("b")"}},
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-",
                    "AddDescription 0 (10,26) h15 'Pick one'", "AddRadioButton 0 (10,51) tag0 0",
                    "AddQuestionLabel 0 (30,51) 'A' linked=#2",
                    "AddDescription 0 (30,67) h15 'First letter'",
                    "AddRadioButton 0 (10,87) tag1 1", "AddQuestionLabel 0 (30,87) 'B' linked=#5",
                    "FitPanelHeight 0 114"}},
      {.Name = "option list, an answer whose condition is false is skipped with its index",
       .Kind = qkFloatOptions,
       .Stored = "2.5",
       .Answers = {{"Low", "1.5"}, {"Mid", "2.5", "0"}, {"High", "3.5", "1"}},
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "AddRadioButton 0 (10,26) tag0 1",
                    "AddQuestionLabel 0 (30,26) 'Low' linked=#1", "AddRadioButton 0 (10,42) tag2 0",
                    "AddQuestionLabel 0 (30,42) 'High' linked=#3", "FitPanelHeight 0 69"}},
      {.Name = "option list without offered answers has no radio button",
       .Kind = qkIntegerOptions,
       .Answers = {{"Never", "1", "0"}},
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "FitPanelHeight 0 33"}},
      {.Name = "drop-down list under the title",
       .Kind = qkIntegerDropDown,
       .Stored = "2",
       .Answers = {{"One", "1"}, {"Two", "2"}},
       .Expected = {"AddQuestionLabel 0 (10,10) 'Q' linked=-", "AddComboBox 0 (10,43) w200",
                    "FitPanelHeight 0 74"}},
      {.Name = "unknown kind keeps an empty panel", .Kind = 11, .Expected = {}},
  };
  for (const LayoutRow& row : rows) {
    SCOPED_TRACE(row.Name);
    EngineFixture f;
    TSpecVariable* variable = row.NoVariable ? nullptr : f.Variable("V");
    TSpecQuestion* question = f.Question("Q", row.Kind, variable, row.Hint);
    for (const AnswerRow& answer : row.Answers) {
      f.Answer(question, answer.Title, answer.Value, answer.Condition, answer.Hint);
    }
    TSpecScreen* screen = f.Screen("S", {question});
    f.Chain({f.Template.Start(), screen, f.Template.Finish()});
    f.Form.Script = {ClickStep(TScriptButton::Close)};
    f.RunTime.Start();
    f.RunTime.Transition->SetValue("V", row.Stored);
    f.RunTime.Run();
    EXPECT_EQ(f.PanelLog(0), row.Expected);
    EXPECT_TRUE(f.Messages.Shown.empty());
    if (row.Kind == 11) {
      EXPECT_EQ(f.Form.Panels[0]->Height(), 150);
    }
  }
}

TEST(ScreenLayout, TitleDescriptionAndFormHeightComeFromTheScreen) {
  EngineFixture f;
  TSpecQuestion* width = f.Question("Width", qkFloatInput);
  TSpecQuestion* count = f.Question("Count", qkIntegerInput);
  TSpecScreen* screen = f.Screen("Size & count", {width, count}, "Two lines\nof help");
  f.Chain({f.Template.Start(), screen, f.Template.Finish()});
  f.Form.Script = {ClickStep(TScriptButton::Close)};
  f.Run();

  EXPECT_EQ(f.Form.Caption, "Size & count");
  EXPECT_EQ(f.Form.ScreenTitle, "Size && count");
  EXPECT_EQ(f.Form.ScreenDesc, "Two lines\nof help");
  // The title panel: 25 + the description's two lines (28) + 10.
  EXPECT_EQ(f.Form.TitlePanel()->Height(), 63);
  EXPECT_EQ(f.Form.Panels[1]->Top, 75);
  // 131 + 74 + 74 is lower than the form's minimum.
  EXPECT_EQ(f.Form.Height, 375);
  EXPECT_FALSE(f.Form.BackBtnEnabled);
  // The panel heights are final before the form is fitted and shown.
  const auto at = [&](const std::string& line) {
    return std::find(f.Form.Log.begin(), f.Form.Log.end(), line) - f.Form.Log.begin();
  };
  EXPECT_LT(at("FitPanelHeight 1 74"), at("FitFormHeight 375 top196"));
  EXPECT_LT(at("FitFormHeight 375 top196"), at("ShowModal"));
}

TEST(ScreenLayout, BackIsEnabledFromTheSecondScreenOn) {
  EngineFixture f;
  TSpecScreen* first = f.Screen("First", {});
  TSpecScreen* second = f.Screen("Second", {});
  TSpecAction* action = f.AddProduct("P", "1");
  f.Chain({f.Template.Start(), action, first, second, f.Template.Finish()});
  f.Form.Script = {ClickStep(TScriptButton::Next), ClickStep(TScriptButton::Close)};
  f.Run();
  std::vector<std::string> enabled;
  for (const std::string& line : f.Form.Log) {
    if (line.rfind("SetBackBtnEnabled", 0) == 0) enabled.push_back(line);
  }
  EXPECT_EQ(enabled, (Lines{"SetBackBtnEnabled 0", "SetBackBtnEnabled 1"}));
}

TEST(ScreenConditions, AreEvaluatedAgainstTheStoredValuesAndAFailureHidesTheAnswer) {
  EngineFixture f;
  f.Variable("SIZE", vtInteger, "3");
  TSpecVariable* choice = f.Variable("CHOICE", vtInteger, "");
  TSpecQuestion* question = f.Question("Q", qkIntegerOptions, choice);
  f.Answer(question, "Small", "1", "SIZE<2");
  f.Answer(question, "Large", "2", "SIZE>2");
  f.Answer(question, "Broken", "3", "NOSUCH>1");
  f.Answer(question, "Always", "4");
  TSpecScreen* screen = f.Screen("S", {question});
  f.Chain({f.Template.Start(), screen, f.Template.Finish()});
  f.Form.Script = {ClickStep(TScriptButton::Close)};
  f.Run();

  std::vector<int> tags;
  for (int i = 0; TScriptedControl* radio = f.Control(0, TFormControlKind::RadioButton, i); ++i) {
    tags.push_back(radio->Tag());
  }
  EXPECT_EQ(tags, (std::vector<int>{1, 3}));
  EXPECT_EQ(f.Messages.Shown, Lines{"Error during calculation"});
}

TEST(ScreenDropDown, ItemsCarryTheirAnswersIndexAndTheLastMatchIsSelected) {
  struct Row {
    const char* Name;
    std::string Stored;
    int Selected;
  };
  const std::vector<Row> rows = {
      {"two offered answers match: the later one", "2", 2},
      {"no answer matches: the first item", "9", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    EngineFixture f;
    TSpecVariable* variable = f.Variable("V", vtInteger, row.Stored);
    TSpecQuestion* question = f.Question("Q", qkIntegerDropDown, variable);
    f.Answer(question, "Hidden", "2", "0");
    f.Answer(question, "One", "1");
    f.Answer(question, "Two", "2");
    f.Answer(question, "Two again", "2");
    TSpecScreen* screen = f.Screen("S", {question});
    f.Chain({f.Template.Start(), screen, f.Template.Finish()});
    f.Form.Script = {ClickStep(TScriptButton::Close)};
    f.Run();
    TScriptedControl* combo = f.Control(0, TFormControlKind::ComboBox);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->Items, (Lines{"One", "Two", "Two again"}));
    EXPECT_EQ(combo->ItemsData, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(combo->ItemIndex(), row.Selected);
  }
}

TEST(ScreenDropDown, WithoutOfferedAnswersNothingIsSelected) {
  EngineFixture f;
  TSpecQuestion* question = f.Question("Q", qkStringDropDown, f.Variable("V"));
  f.Answer(question, "Never", R"("x")", "0");
  TSpecScreen* screen = f.Screen("S", {question});
  f.Chain({f.Template.Start(), screen, f.Template.Finish()});
  f.Form.Script = {ClickStep(TScriptButton::Next)};
  f.Report.Script = {TScriptButton::Close};
  f.Run();
  TScriptedControl* combo = f.Control(0, TFormControlKind::ComboBox);
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->ItemCount(), 0);
  EXPECT_EQ(combo->ItemIndex(), -1);
  EXPECT_EQ(f.Value("V"), "");
}

// A value that the question's control cannot show (valid for no type, or valid but beyond
// what its type holds) is a calculation error: the message, the control from the empty value,
// the form shown and the run going on.
TEST(ScreenLayout, AValueTheControlCannotShowIsACalculationErrorAndTheFormIsShown) {
  struct Row {
    const char* Name;
    std::uint8_t Kind;
    TValueType Type;
    std::string Stored;
    TFormControlKind Control;
    std::string Shown;  // the edit's text; for the check box "1" when checked
  };
  const std::vector<Row> rows = {
      {"text valid for no type in a number field", qkFloatInput, vtString, "raw text",
       TFormControlKind::Edit, "0"},
      {"1e308 in a logical check box", qkCheckBox, vtBoolean, "1e308", TFormControlKind::CheckBox,
       "0"},
      {"1e4000 in a number field", qkFloatInput, vtFloat, "1e4000", TFormControlKind::Edit, "0"},
      {"99999999999 in a whole-number field", qkIntegerInput, vtInteger, "99999999999",
       TFormControlKind::Edit, "0"},
      {"1e4000 in a text field", qkStringInput, vtString, "1e4000", TFormControlKind::Edit, ""},
      {"1e4000 in an information field", qkInformation, vtString, "1e4000", TFormControlKind::Edit,
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    EngineFixture f;
    TSpecVariable* variable = f.Variable("V", row.Type);
    TSpecScreen* screen = f.Screen("S", {f.Question("Q", row.Kind, variable)});
    f.Chain({f.Template.Start(), screen, f.Template.Finish()});
    f.Form.Script = {ClickStep(TScriptButton::Close)};
    f.RunTime.Start();
    f.RunTime.Transition->SetValue("V", row.Stored);
    EXPECT_NO_THROW(f.RunTime.Run());
    EXPECT_EQ(f.Form.ShowCount, 1);
    EXPECT_EQ(f.Messages.Shown, Lines{"Error during calculation"});
    EXPECT_TRUE(f.Form.Errors.empty());
    TScriptedControl* control = f.Control(0, row.Control);
    ASSERT_NE(control, nullptr);
    if (row.Control == TFormControlKind::CheckBox) {
      EXPECT_EQ(control->Checked(), row.Shown == "1");
    } else {
      EXPECT_EQ(control->Text(), row.Shown);
    }
  }
}

}  // namespace
