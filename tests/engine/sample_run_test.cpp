#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/runtime.h"
#include "graph/elements.h"
#include "graph/visual.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/loaded_scheme.h"
#include "tests/support/model_support.h"
#include "tests/support/test_paths.h"

namespace {

// Next at every showing, whatever the screen.
class NextEveryTimeForm : public TScriptedScreenForm {
 public:
  int ShowModal() override {
    Script.push_back(ClickStep(TScriptButton::Next));
    return TScriptedScreenForm::ShowModal();
  }
};

TEST(SampleRun, TheSampleSchemeRunsFromItsStartToTheReportOnItsDefaultAnswers) {
  const std::unique_ptr<LoadedScheme> scheme = LoadedScheme::FromFile(SampleSchemePath());
  TSpecTemplate& schemeTemplate = *scheme->Template;
  TSpecLinkMap& linkMap = *scheme->LinkMap;

  RecordingMessageWindow messages;
  FixedDateLocale locale;
  NextEveryTimeForm screenForm;
  TScriptedReportForm reportForm;
  reportForm.Script = {TScriptButton::Close};
  TSpecRunTime engine(&schemeTemplate, &linkMap);
  engine.ScreenForm = &screenForm;
  engine.ReportForm = &reportForm;
  engine.Start();
  engine.Run();

  EXPECT_EQ(screenForm.ShowCount, schemeTemplate.ScreenCount());
  EXPECT_TRUE(screenForm.Errors.empty());
  EXPECT_TRUE(messages.Shown.empty());
  ASSERT_EQ(reportForm.ShowCount, 1);
  EXPECT_EQ(engine.LastElement(), schemeTemplate.Finish());
  int added = 0;
  for (const std::string& quantity : reportForm.ShownQuantities) added += quantity != "0";
  EXPECT_GT(added, 0);
  UIText = kInitialUIText;
}

// The sample scheme on the scripted forms: Next on the first three screens, then the script's
// steps on the fourth (doors, power and cables).
struct SampleOnItsFourthScreen {
  explicit SampleOnItsFourthScreen(std::vector<TScriptStep> steps)
      : Scheme(LoadedScheme::FromFile(SampleSchemePath())),
        Engine(Scheme->Template.get(), Scheme->LinkMap.get()) {
    ScreenForm.Script = {ClickStep(TScriptButton::Next), ClickStep(TScriptButton::Next),
                         ClickStep(TScriptButton::Next)};
    for (const TScriptStep& step : steps) ScreenForm.Script.push_back(step);
    ReportForm.Script = {TScriptButton::Close};
    Engine.ScreenForm = &ScreenForm;
    Engine.ReportForm = &ReportForm;
  }
  ~SampleOnItsFourthScreen() { UIText = kInitialUIText; }

  void Run() {
    Engine.Start();
    Engine.Run();
  }

  std::unique_ptr<LoadedScheme> Scheme;
  RecordingMessageWindow Messages;
  FixedDateLocale Locale;
  TScriptedScreenForm ScreenForm;
  TScriptedReportForm ReportForm;
  TSpecRunTime Engine;
};

// The bytes of a saved state with the value of one variable replaced: after the stamp and the
// value count come the values in the variables' order, each a 16-bit length and its bytes.
std::string WithSavedValue(std::string bytes, int variable, const std::string& value) {
  std::size_t at = 8;
  for (int i = 0; i < variable; ++i) {
    at += 2 + static_cast<unsigned char>(bytes[at]) +
          256u * static_cast<unsigned char>(bytes[at + 1]);
  }
  const std::size_t length =
      static_cast<unsigned char>(bytes[at]) + 256u * static_cast<unsigned char>(bytes[at + 1]);
  std::string field;
  field += static_cast<char>(value.size() & 0xFF);
  field += static_cast<char>(value.size() >> 8);
  field += value;
  return bytes.replace(at, 2 + length, field);
}

// A real save of the sample, with one value that is valid for some value type but that its
// variable's declared type cannot hold or a screen cannot show, is refused silently like any
// file that does not fit: the screen stays and the run goes on. The save as written loads.
TEST(SampleRun, ASavedValueItsVariableCannotHoldIsRefusedAndTheRunGoesOn) {
  ScratchFolder folder;
  const std::string saved = folder.File("sample.qvs");
  std::vector<std::string> savedValues;
  {
    SampleOnItsFourthScreen run({ClickStep(TScriptButton::Save), ClickStep(TScriptButton::Close)});
    run.ScreenForm.SaveDialogAnswers = {saved};
    run.Run();
    ASSERT_TRUE(run.ScreenForm.Errors.empty());
    ASSERT_EQ(run.ScreenForm.ShowCount, 4);
    savedValues = run.Engine.Transition->Values;
  }
  const std::string bytes = ReadWholeFile(saved);
  ASSERT_FALSE(bytes.empty());

  struct Row {
    const char* Name;
    std::string Variable;
    std::string Value;
    bool Loads = false;
  };
  const std::vector<Row> rows = {
      {"the save as written", "Perforated", "0", true},
      {"1e308 in the logical of a check box", "Perforated", "1e308"},
      {"1e4000 in the float of a number field", "LoadKg", "1e4000"},
      {"99999999999 in the integer of a whole-number field", "ShelfCount", "99999999999"},
      {"1e4000 in the string of a text field", "Customer", "1e4000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    SampleOnItsFourthScreen run({ClickStep(TScriptButton::Load), ClickStep(TScriptButton::Close)});
    const int variable = run.Scheme->Template->IndexOfVariable(row.Variable);
    ASSERT_GE(variable, 0);
    const std::string edited =
        folder.WriteFile("edited.qvs", WithSavedValue(bytes, variable, row.Value));
    run.ScreenForm.OpenDialogAnswers = {edited};
    EXPECT_NO_THROW(run.Run());
    EXPECT_TRUE(run.ScreenForm.Errors.empty());
    EXPECT_TRUE(run.Messages.Shown.empty());
    // Three screens, the fourth, and the fourth again when the file loaded.
    EXPECT_EQ(run.ScreenForm.ShowCount, row.Loads ? 5 : 4);
    // The run stands where it stood before the Load, as the save was made.
    EXPECT_EQ(run.Engine.Transition->Values, savedValues);
  }
}

}  // namespace
