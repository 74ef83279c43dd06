// The engine drives the real screen form: the sample scheme's run, with a user who presses
// Next on every screen, Back once, and Close on the report.
#include <QPushButton>
#include <string>
#include <vector>

#include "app/runscreen.h"
#include "engine/runtime.h"
#include "graph/elements.h"
#include "graph/visual.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "platform/errorwindow.h"
#include "tests/app/app_support.h"
#include "tests/support/expr_support.h"
#include "tests/support/loaded_scheme.h"
#include "tests/support/model_support.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/scripted_forms.h"

namespace {

class ScreenFormRunTest : public GuiTest {};

TEST_F(ScreenFormRunTest, TheSampleSchemeRunsThroughTheRealScreenFormToTheReport) {
  const std::unique_ptr<LoadedScheme> scheme = LoadedScheme::FromFile(SampleSchemePath());
  TSpecTemplate& schemeTemplate = *scheme->Template;
  TSpecLinkMap& linkMap = *scheme->LinkMap;
  const int screens = schemeTemplate.ScreenCount();
  ASSERT_GE(screens, 2);

  RecordingMessageWindow messages;
  RecordingErrorWindow errors;
  TExecScreenForm screenForm;
  TScriptedReportForm reportForm;
  reportForm.Script = {TScriptButton::Close};
  TSpecRunTime engine(&schemeTemplate, &linkMap);
  engine.ScreenForm = &screenForm;
  engine.ReportForm = &reportForm;

  // Next on the first screen, Back on the second, then Next to the end.
  std::vector<std::string> titles;
  auto press = [&](QPushButton* button) {
    return [&screenForm, &titles, button](QWidget* modal) {
      if (modal != &screenForm) return false;
      titles.push_back(screenForm.windowTitle().toStdString());
      button->click();
      return true;
    };
  };
  std::vector<ModalRobot::Step> steps = {press(screenForm.NextBtn), press(screenForm.BackBtn)};
  for (int i = 0; i < screens; ++i) steps.push_back(press(screenForm.NextBtn));
  ModalRobot robot(steps);
  engine.Start();
  engine.Run();

  EXPECT_TRUE(robot.Done());
  EXPECT_EQ(static_cast<int>(titles.size()), screens + 2);
  ASSERT_GE(titles.size(), 3u);
  EXPECT_EQ(titles[2], titles[0]) << "Back showed another screen";
  EXPECT_TRUE(errors.Shown.empty());
  EXPECT_TRUE(messages.Shown.empty());
  EXPECT_EQ(reportForm.ShowCount, 1);
  EXPECT_EQ(engine.LastElement(), schemeTemplate.Finish());
  EXPECT_FALSE(screenForm.isVisible());
  UIText = kInitialUIText;
}

}  // namespace
