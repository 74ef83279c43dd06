#include <gtest/gtest.h>

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

}  // namespace
