// The report form under the engine: a run whose start leads straight to the finish shows the
// preview with the texts the run's start put on the form.

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "engine/runtime.h"
#include "graph/elements.h"
#include "graph/visual.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "report/repview.h"
#include "tests/app/app_support.h"
#include "tests/support/loaded_scheme.h"
#include "tests/support/scripted_forms.h"

namespace {

class ReportFormRunTest : public GuiTest {};

TEST_F(ReportFormRunTest, TheFinishShowsThePreviewWithTheTextsOfTheRunsStart) {
  const IdleScheme scheme;
  LoadedScheme loaded(scheme.Bytes);
  TSpecTemplate& templ = *loaded.Template;
  TSpecLinkMap& links = *loaded.LinkMap;

  TSpecRunTime engine(&templ, &links);
  TScriptedScreenForm screens;
  TExecReportForm report;
  engine.ScreenForm = &screens;
  engine.ReportForm = &report;
  engine.Start();
  // The one product, added as if an action had run.
  engine.Transition->Quantities[0] = "2";

  std::vector<std::string> shown;
  bool backEnabled = true;
  QTimer::singleShot(0, [&] {
    ASSERT_EQ(QApplication::activeModalWidget(), &report);
    for (int i = 0; i < report.PreviewList->topLevelItemCount(); ++i) {
      shown.push_back(report.PreviewList->topLevelItem(i)->text(0).toStdString() + "|" +
                      report.PreviewList->topLevelItem(i)->text(3).toStdString() + "|" +
                      report.PreviewList->topLevelItem(i)->text(4).toStdString());
    }
    backEnabled = report.BackBtn->isEnabled();
    report.CloseBtn->click();
  });
  engine.Run();

  EXPECT_TRUE(engine.Finished);
  EXPECT_FALSE(backEnabled);
  const std::vector<std::string> expected = {"RACK-42|1000.00|2000.00", "|Sum, UAH:|2000.00",
                                             "|VAT, UAH:|400.00", "|Total, UAH:|2400.00", "||"};
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(report.windowTitle(), "Preview");
  EXPECT_EQ(report.ScreenTitle->text(), "Preview");
  EXPECT_EQ(report.NextBtn->text(), "Export");
  EXPECT_EQ(report.CloseBtn->text(), "Close");
  EXPECT_EQ(report.ReportTexts[9], "Exporting to Excel. Please wait...");
  EXPECT_EQ(report.PreviewList->headerItem()->text(4), "Sum");
}

}  // namespace
