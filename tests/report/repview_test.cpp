#include "report/repview.h"

#include <QtCore/qtestsupport_core.h>
#include <QtWidgets/qtestsupport_widgets.h>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/pricelist.h"
#include "model/report.h"
#include "platform/cp1251_qt.h"
#include "report/processindicator.h"
#include "tests/app/app_support.h"
#include "tests/report/report_support.h"
#include "tests/support/expr_support.h"
#include "tests/support/platform_fakes.h"

namespace {

// One row as "code|name|quantity|price|sum" with its data value and style.
struct Row {
  std::string Texts;
  int Data = 0;
  int Style = rsProduct;

  bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
  return out << "{" << row.Texts << ", data " << row.Data << ", style " << row.Style << "}";
}

std::vector<Row> Rows(const TExecReportForm& form) {
  std::vector<Row> rows;
  for (int i = 0; i < form.PreviewList->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = form.PreviewList->topLevelItem(i);
    QStringList texts;
    for (int c = 0; c < kPreviewColumnCount; ++c) texts << item->text(c);
    rows.push_back({texts.join('|').toStdString(), item->data(0, kPreviewDataRole).toInt(),
                    item->data(0, kRowStyleRole).toInt()});
  }
  return rows;
}

// The labels the run's start puts on the form, shortened.
void SetLabels(TExecReportForm& form) {
  const char* labels[kReportTextCount] = {"Sum:",    "VAT:",   "Total:",  "Weight:", "Volume:",
                                          "Units:",  "Width:", "Height:", "Length:", "Exporting",
                                          "Litres:", "Horiz:", "Vert:"};
  for (int i = 0; i < kReportTextCount; ++i) form.SetReportText(i, labels[i]);
}

// A form whose screen is as high as the case says.
class SizedReportForm : public TExecReportForm {
 public:
  int Screen = 768;

 protected:
  int ScreenHeight() const override { return Screen; }
};

class ReportFormTest : public GuiTest {
 protected:
  // Builds the preview of the template with these lists on a fresh form.
  void Build(TExecReportForm& form, TSpecTemplate* templ) {
    SetLabels(form);
    form.Template = templ;
    form.Quantities = &Quantities;
    form.VariableValues = &Values;
    form.BuildPreview();
  }

  // A template of Count products coded "0", "1" and so on, each with the quantity 1.
  std::unique_ptr<TSpecTemplate> NumberedProducts(int Count) {
    std::vector<TestProduct> products(static_cast<std::size_t>(Count));
    for (int i = 0; i < Count; ++i) products[static_cast<std::size_t>(i)].Code = std::to_string(i);
    Quantities.assign(static_cast<std::size_t>(Count), "1");
    return OfferTemplate(products);
  }

  std::vector<std::string> Quantities;
  std::vector<std::string> Values;
};

TEST_F(ReportFormTest, ListsProductsByOrderingIndexWithSumsUnderEitherSeparator) {
  const auto templ = OfferTemplate({
      {.Code = "A",
       .Name = "\xD8\xEA\xE0\xF4",
       .Price = 10,
       .PriceWithTaxes = 12,
       .OrderingIndex = 5},
      {.Code = "B", .Name = "Bolt", .Price = 0.5, .PriceWithTaxes = 0.6, .OrderingIndex = 1},
      {.Code = "C", .Name = "Cable", .Price = 3.333, .PriceWithTaxes = 4, .OrderingIndex = 5},
      {.Code = "Z", .Name = "Zero", .Price = 1, .OrderingIndex = 0},
      {.Code = "N", .Name = "Negative", .Price = 1, .OrderingIndex = 0},
      {.Code = "X", .Name = "Not a number", .Price = 1, .OrderingIndex = 0},
  });
  Quantities = {"2", "4", "2.5", "0", "-1", "abc"};
  struct Case {
    char Separator;
    std::vector<Row> Expected;
  };
  const Case cases[] = {
      {'.',
       {{"B|Bolt|4|0.50|2.00", 1},
        {"A|\u0428\u043a\u0430\u0444|2|10.00|20.00", 5},
        {"C|Cable|2.5|3.33|8.33", 5},
        {"|||Sum:|30.33", 0, rsSum},
        {"|||VAT:|6.07", 0, rsTotals},
        {"|||Total:|36.40", 0, rsTotals},
        {"||||", 0, rsTotals}}},
      {',',
       {{"B|Bolt|4|0,50|2,00", 1},
        {"A|\u0428\u043a\u0430\u0444|2|10,00|20,00", 5},
        {"C|Cable|2,5|3,33|8,33", 5},
        {"|||Sum:|30,33", 0, rsSum},
        {"|||VAT:|6,07", 0, rsTotals},
        {"|||Total:|36,40", 0, rsTotals},
        {"||||", 0, rsTotals}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Separator);
    SeparatorGuard separator(c.Separator);
    TExecReportForm form;
    Build(form, templ.get());
    EXPECT_EQ(Rows(form), c.Expected);
  }
}

TEST_F(ReportFormTest, NoProductAboveZeroLeavesTheZeroTotals) {
  const auto templ = OfferTemplate({{.Code = "A", .Price = 10, .PriceWithTaxes = 12}});
  Quantities = {"0"};
  TExecReportForm form;
  Build(form, templ.get());
  const std::vector<Row> expected = {{"|||Sum:|0.00", 0, rsSum},
                                     {"|||VAT:|0.00", 0, rsTotals},
                                     {"|||Total:|0.00", 0, rsTotals},
                                     {"||||", 0, rsTotals}};
  EXPECT_EQ(Rows(form), expected);
}

TEST_F(ReportFormTest, ProductsSharingACodeAreListedEachWithItsOwnQuantity) {
  const auto templ = OfferTemplate({
      {.Code = "D", .Name = "First", .Price = 10, .PriceWithTaxes = 12, .OrderingIndex = 2},
      {.Code = "D", .Name = "Second", .Price = 1, .PriceWithTaxes = 2, .OrderingIndex = 1},
  });
  Quantities = {"1", "3"};
  TExecReportForm form;
  Build(form, templ.get());
  const std::vector<Row> rows = Rows(form);
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(rows[0], (Row{"D|Second|3|1.00|3.00", 1}));
  EXPECT_EQ(rows[1], (Row{"D|First|1|10.00|10.00", 2}));
  EXPECT_EQ(rows[2].Texts, "|||Sum:|13.00");
  EXPECT_EQ(rows[3].Texts, "|||VAT:|5.00");
}

TEST_F(ReportFormTest, SummaryRowsFollowTheSeparatorInTheirOrderWhenTheyHaveAValue) {
  struct Case {
    std::string name;
    std::vector<TestVariable> Variables;
    std::vector<std::string> Expected;  // the summary rows' "label|value"
  };
  const Case cases[] = {
      {"all nine, declared in another order",
       {{"TotalLength", vtInteger, "9"},
        {"TotalHeight", vtInteger, "8"},
        {"TotalWidth", vtInteger, "7"},
        {"TotalVolumeLitres", vtFloat, "6.5"},
        {"TotalVolume", vtFloat, "0.0065"},
        {"TotalWeight", vtInteger, "4"},
        {"Verticals", vtString, "\"3 \\\"v\\\"\""},
        {"Horizontals", vtInteger, "2"},
        {"TotalUnits", vtInteger, "1"}},
       {"Units:|1", "Horiz:|2", "Vert:|3 \"v\"", "Weight:|4", "Volume:|0.0065", "Litres:|6.5",
        "Width:|7", "Height:|8", "Length:|9"}},
      {"the empty string constant hides only the unit and section counts",
       {{"TotalUnits", vtString, "\"\""},
        {"Horizontals", vtString, "\"\""},
        {"Verticals", vtString, "\"\""},
        {"TotalWeight", vtString, "\"\""}},
       {"Weight:|"}},
      {"an empty text hides the row",
       {{"TotalUnits", vtInteger, ""}, {"TotalLength", vtInteger, ""}},
       {}},
      {"names are found whatever the case of their Latin letters",
       {{"totallength", vtInteger, "12"}, {"TOTALUNITS", vtInteger, "3"}},
       {"Units:|3", "Length:|12"}},
      {"other variables show nothing", {{"Units", vtInteger, "5"}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto templ = OfferTemplate({}, c.Variables);
    Quantities.clear();
    Values.clear();
    for (const TestVariable& v : c.Variables) Values.push_back(v.Value);
    TExecReportForm form;
    Build(form, templ.get());
    std::vector<std::string> summary;
    for (const Row& row : Rows(form)) {
      if (row.Style != rsSummary) continue;
      EXPECT_EQ(row.Texts.substr(0, 3), "|||");
      summary.push_back(row.Texts.substr(3));
    }
    EXPECT_EQ(summary, c.Expected);
  }
}

TEST_F(ReportFormTest, BuildPreviewRaisesForBadValuesAndMissingEntries) {
  {
    const auto templ = OfferTemplate({}, {{"TotalWeight", vtString, ""}});
    Values = {"raw text"};
    TExecReportForm form;
    EXPECT_RAISES(Build(form, templ.get()), "Invalid typecast.");
  }
  {
    const auto templ = OfferTemplate({{.Code = "A"}, {.Code = "B"}});
    Quantities = {"1"};
    TExecReportForm form;
    EXPECT_RAISES(Build(form, templ.get()), "List index out of bounds (1)");
  }
}

TEST_F(ReportFormTest, AdjustHeightFitsTheRowsBetweenTheDesignHeightAndTheScreen) {
  struct Case {
    std::string name;
    int Screen;
    int Products;
    // Expected height: 0 for "all rows fit, taller than the design".
    int Height;
  };
  const Case cases[] = {
      {"few rows keep the design height", 768, 1, 375},
      {"many rows grow the form until they fit", 2000, 40, 0},
      {"a small screen stops the form 100 above its height", 600, 40, 500},
      {"a screen below the design height keeps the design height", 300, 40, 375},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto templ = NumberedProducts(c.Products);
    SizedReportForm form;
    form.Screen = c.Screen;
    Build(form, templ.get());
    EXPECT_EQ(form.InitialHeight, 375);
    EXPECT_GT(form.RowHeight, 0);
    if (c.Height) {
      EXPECT_EQ(form.height(), c.Height);
    } else {
      const int rows = form.PreviewList->topLevelItemCount();
      EXPECT_GT(form.height(), 375);
      // Just tall enough: one row less would not show every row.
      const int viewport = form.PreviewList->height() - 2 * form.PreviewList->frameWidth() -
                           form.PreviewList->header()->sizeHint().height();
      EXPECT_GE(viewport / form.RowHeight, rows);
      EXPECT_LT((viewport - form.RowHeight) / form.RowHeight, rows);
    }
    EXPECT_EQ(form.y(), (c.Screen - form.height()) / 2);
  }
}

// Runs the action once the form's modal loop runs.
void WhenModal(std::function<void(QWidget*)> action) {
  QTimer::singleShot(0, [action] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    action(modal);
  });
}

// Runs in the child process of the case below, on a platform that draws window frames.
TEST_F(ReportFormTest, UnderAWindowFrameTheOuterHeightIsBoundByTheScreenAndCentred) {
  if (!std::getenv("QUORVANE_TEST_WINDOW_FRAMES")) GTEST_SKIP() << "runs in a child process";
  struct Case {
    std::string name;
    int Products;
    int OuterHeight;  // 0: the design height plus the frame
  };
  const Case cases[] = {
      {"few rows", 1, 0},
      {"more rows than the screen holds", 60, 768 - 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto templ = NumberedProducts(c.Products);
    TExecReportForm form;
    SetLabels(form);
    form.SetCloseBtnClick([&form] { form.SetModalResult(mrCancel); });
    QRect outer;
    int client = 0;
    WhenModal([&](QWidget*) {
      outer = form.frameGeometry();
      client = form.height();
      form.CloseBtn->click();
    });
    form.ShowReport(templ.get(), &Quantities, &Values);
    const int frame = outer.height() - client;
    ASSERT_GT(frame, 0) << "the platform draws no frame";
    EXPECT_EQ(outer.height(), c.OuterHeight ? c.OuterHeight : 375 + frame);
    EXPECT_EQ(outer.top(), (768 - outer.height()) / 2);
  }
}

TEST_F(ReportFormTest, UnderAWindowFrame) {
  RunCaseInChildProcess(
      "ReportFormTest.UnderAWindowFrameTheOuterHeightIsBoundByTheScreenAndCentred",
      {{"QUORVANE_TEST_WINDOW_FRAMES", "1"}});
}

// Runs in the child process of the case below, on a platform that draws window frames.
TEST_F(ReportFormTest, MaximizedThePreviewKeepsTheScreenAndRestoredItsOwnSize) {
  if (!std::getenv("QUORVANE_TEST_WINDOW_FRAMES")) GTEST_SKIP() << "runs in a child process";
  struct Case {
    std::string name;
    Qt::WindowState State;
  };
  // Full screen, the window loses its frame.
  const Case cases[] = {{"maximized", Qt::WindowMaximized}, {"full screen", Qt::WindowFullScreen}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto templ = NumberedProducts(3);
    TExecReportForm form;
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    Build(form, templ.get());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QRect own = form.geometry();
    form.setWindowState(c.State);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.height() > own.height(); }));
    const QRect given = form.geometry();
    // The rows fitted again, as the finish shown once more after Back does.
    form.AdjustHeight();
    QCoreApplication::processEvents();
    EXPECT_EQ(form.windowState(), c.State);
    EXPECT_EQ(form.geometry(), given);
    form.setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.geometry() == own; }));
    EXPECT_EQ(form.geometry(), own);
    form.hide();
  }
}

// A window manager that restores the preview may report the normal state and move the form
// back before it gives the form its own size again: a frame noted meanwhile fitted the height
// on the maximized width, which the form then kept.
TEST_F(ReportFormTest, RestoredTheFormWaitsForItsOwnSizeBeforeItFitsItsHeight) {
  const auto templ = NumberedProducts(3);
  TExecReportForm form;
  Build(form, templ.get());
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const QRect own = form.geometry();
  form.setWindowState(Qt::WindowMaximized);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.height() > own.height(); }));
  const QSize given = form.size();
  // The normal state and the move back arrive first, with another frame than before.
  form.overrideWindowState(Qt::WindowNoState);
  QWindowStateChangeEvent change(Qt::WindowMaximized);
  QApplication::sendEvent(&form, &change);
  form.FrameHeight += 7;
  QMoveEvent move(own.topLeft(), form.pos());
  QApplication::sendEvent(&form, &move);
  EXPECT_EQ(form.size(), given);
  // Then the restored size: the height is fitted to it.
  form.resize(own.size());
  EXPECT_EQ(form.width(), own.width());
  form.hide();
}

TEST_F(ReportFormTest, MaximizedUnderAWindowFrame) {
  RunCaseInChildProcess("ReportFormTest.MaximizedThePreviewKeepsTheScreenAndRestoredItsOwnSize",
                        {{"QUORVANE_TEST_WINDOW_FRAMES", "1"}});
}

TEST_F(ReportFormTest, ShowReportRunsModallyUntilAButtonOrTheCloseBoxSetsAResult) {
  struct Case {
    std::string name;
    std::function<void(TExecReportForm&)> Act;
    int Result;
    bool BackPressed;
  };
  const Case cases[] = {
      {"Back", [](TExecReportForm& f) { f.BackBtn->click(); }, mrNo, true},
      {"Close", [](TExecReportForm& f) { f.CloseBtn->click(); }, mrCancel, false},
      {"Escape",
       [](TExecReportForm& f) {
         QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QApplication::sendEvent(&f, &press);
       },
       mrCancel, false},
      {"close box", [](TExecReportForm& f) { f.close(); }, mrCancel, false},
  };
  const auto templ = OfferTemplate({{.Code = "A", .Price = 1}});
  Quantities = {"1"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TExecReportForm form;
    SetLabels(form);
    // What the engine binds before a showing.
    form.SetBackBtnClick([&form] {
      form.BackPressed = true;
      form.SetModalResult(mrNo);
    });
    form.SetCloseBtnClick([&form] { form.SetModalResult(mrCancel); });
    bool shownWithRows = false;
    WhenModal([&](QWidget* modal) {
      shownWithRows = modal == &form && form.PreviewList->topLevelItemCount() == 5;
      c.Act(form);
    });
    form.ShowReport(templ.get(), &Quantities, &Values);
    EXPECT_TRUE(shownWithRows);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), c.Result);
    EXPECT_EQ(form.BackPressed, c.BackPressed);
  }
}

TEST_F(ReportFormTest, ExportOffersTheReportTemplatesByNameUnderTheButton) {
  const auto templ = OfferTemplate({});
  templ->AddReport()->SetName("Offer");
  templ->AddReport()->SetName("\xD1\xF7\xE5\xF2");  // "Счет"
  TExecReportForm form;
  Build(form, templ.get());
  form.NextBtnClick();
  ASSERT_EQ(form.ExportMenu->actions().size(), 2);
  EXPECT_EQ(form.ExportMenu->actions()[0]->text(), "Offer");
  EXPECT_EQ(form.ExportMenu->actions()[1]->text(), "\u0421\u0447\u0435\u0442");
  EXPECT_EQ(form.ExportMenu->actions()[1]->data().toInt(), 1);
  EXPECT_TRUE(form.ExportMenu->isVisible());
  EXPECT_EQ(form.ExportMenu->pos(), form.NextBtn->mapToGlobal(QPoint(0, form.NextBtn->height())));
  form.ExportMenu->hide();

  // Rebuilt on every click: a scheme without templates gets an empty menu.
  const auto empty = OfferTemplate({});
  Build(form, empty.get());
  form.NextBtnClick();
  EXPECT_TRUE(form.ExportMenu->actions().isEmpty());
  form.ExportMenu->hide();
}

TEST_F(ReportFormTest, DirectExportWithoutReportTemplatesRaisesTheIndexError) {
  const auto templ = OfferTemplate({});
  TExecReportForm form;
  Build(form, templ.get());
  form.OutputFileName = "offer.xlsx";
  EXPECT_RAISES(form.NextBtnClick(), "List index out of bounds (0)");
  EXPECT_TRUE(form.ExportMenu->actions().isEmpty());
}

TEST_F(ReportFormTest, TotalsRowsAreDrawnOnLightGreyAndProductRowsOnTheWindowColour) {
  const auto templ = OfferTemplate({{.Code = "A", .Name = "Cabinet", .Price = 10}});
  Quantities = {"1"};
  TExecReportForm form;
  Build(form, templ.get());
  form.show();
  const QImage image = form.PreviewList->viewport()->grab().toImage();
  // A point of each row's code column, right of any text.
  const auto background = [&](int row) {
    const QRect rect = form.PreviewList->visualItemRect(form.PreviewList->topLevelItem(row));
    return image.pixelColor(rect.left() + 60, rect.bottom() - 1);
  };
  EXPECT_EQ(background(0), form.PreviewList->palette().color(QPalette::Base));
  EXPECT_EQ(background(1), QColor(224, 224, 224));  // Sum
  EXPECT_EQ(background(4), QColor(224, 224, 224));  // the separator
  form.hide();
}

// The darkest pixels of a row: where its texts are drawn, as columns of the viewport.
std::pair<int, int> InkSpan(const QImage& image, const QRect& row) {
  int left = image.width(), right = -1;
  for (int y = row.top(); y <= row.bottom(); ++y) {
    for (int x = row.left(); x <= row.right(); ++x) {
      if (qGray(image.pixel(x, y)) < 96) left = std::min(left, x), right = std::max(right, x);
    }
  }
  return {left, right};
}

TEST_F(ReportFormTest, ALabelWiderThanItsColumnGoesOnIntoTheEmptyCellsOnItsLeft) {
  const auto templ = OfferTemplate({{.Code = "A", .Price = 10}}, {{"TotalUnits", vtInteger, "42"}});
  Quantities = {"1"};
  Values = {"42"};
  TExecReportForm form;
  Build(form, templ.get());
  // Wider than the 100 pixels of the label column in any face.
  const std::string label = "Mounting units, all of them:";
  form.SetReportText(5, label);
  form.BuildPreview();
  form.show();
  QCoreApplication::processEvents();
  const int last = form.PreviewList->topLevelItemCount() - 1;
  ASSERT_EQ(form.PreviewList->topLevelItem(last)->text(3).toStdString(), label);
  const QImage image = form.PreviewList->viewport()->grab().toImage();
  const QRect row = form.PreviewList->visualItemRect(form.PreviewList->topLevelItem(last));
  const QRect labelCell = form.PreviewList->visualRect(form.PreviewList->model()->index(last, 3));
  const int width =
      QFontMetrics(form.PreviewList->font()).horizontalAdvance(QString::fromStdString(label));
  ASSERT_GT(width + 6, labelCell.width());
  // The ink of columns 0 to 3: the value in column 4 stays out.
  const auto [left, right] =
      InkSpan(image, QRect(QPoint(row.left(), row.top()), QPoint(labelCell.right(), row.bottom())));
  // Right-aligned 6 pixels inside its cell, starting where its whole width puts it.
  EXPECT_LE(right, labelCell.right() - 6 + 1);
  EXPECT_LE(std::abs(left - (labelCell.right() + 1 - 6 - width)), 2) << left;
  EXPECT_LT(left, labelCell.left());
  form.hide();
}

TEST_F(ReportFormTest, AColumnIsNeverNarrowerThanItsTitle) {
  struct Case {
    std::string Title;
    bool Wider;
  };
  const Case cases[] = {
      {"Qty", false},
      {"A quantity title wider than fifty pixels", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Title);
    TExecReportForm form;
    form.SetColumnTitle(2, c.Title);
    const QHeaderView* header = form.PreviewList->header();
    EXPECT_GE(header->sectionSize(2), header->sectionSizeHint(2));
    EXPECT_EQ(header->sectionSize(2) > 50, c.Wider);
    EXPECT_EQ(header->sectionSize(3), 100);
  }
}

TEST_F(ReportFormTest, TheTimerKeepsTheColumnWidthsOnlyWhileTheFormIsShown) {
  TExecReportForm form;
  form.Timer1Timer();
  EXPECT_EQ(form.ColumnWidths[0], 0);  // hidden: not looked at
  EXPECT_EQ(form.Timer1->interval(), 1000);
  EXPECT_TRUE(form.Timer1->isActive());
  form.show();
  form.Timer1Timer();
  EXPECT_EQ(form.ColumnWidths[0], 70);
  EXPECT_EQ(form.ColumnWidths[2], 50);
  EXPECT_EQ(form.ColumnWidths[4], 100);
  form.PreviewList->setColumnWidth(0, 90);
  form.Timer1Timer();
  EXPECT_EQ(form.ColumnWidths[0], 90);
  form.hide();
}

TEST_F(ReportFormTest, FormCreateLeavesNoOutputFileAndTheDesignHeight) {
  TExecReportForm form;
  EXPECT_TRUE(form.OutputFileName.empty());
  EXPECT_EQ(form.InitialHeight, 375);
  EXPECT_EQ(form.size(), QSize(524, 375));
  EXPECT_FALSE(form.ActualLbl->text().isEmpty());
  EXPECT_TRUE(form.NextBtn->isDefault());
  EXPECT_EQ(form.PreviewList->columnCount(), kPreviewColumnCount);
}

}  // namespace

namespace {

class ReportFormExportTest : public ReportFormTest {
 protected:
  void SetUp() override {
    ReportFormTest::SetUp();
    Progress = std::make_unique<TProcessForm>();
    ProcessForm = Progress.get();
  }
  void TearDown() override {
    ProcessForm = nullptr;
    Progress.reset();
    ReportFormTest::TearDown();
  }

  std::unique_ptr<TProcessForm> Progress;
  ScopedExcelHooks Host;
  ScriptedExcelServer Sheet;
};

// A conversation that notes, at every command, what the progress window shows.
class ProgressWatchingConv : public TDdeClientConv {
 public:
  explicit ProgressWatchingConv(std::vector<std::string>& seen) : Seen(seen) {}
  bool ExecuteMacro(const std::string& command, bool waitFlag) override {
    Seen.push_back(ProcessForm && ProcessForm->isVisible()
                       ? ProcessForm->ProcessTitle->text().toStdString()
                       : "hidden");
    return TDdeClientConv::ExecuteMacro(command, waitFlag);
  }

 private:
  std::vector<std::string>& Seen;
};

TEST_F(ReportFormExportTest, ExportCopiesEveryQuantityAndShowsTheProgressMeanwhile) {
  const auto templ =
      OfferTemplate({{.Code = "A", .Price = 2}, {.Code = "B", .Price = 3}, {.Code = "C"}});
  TSpecReport* report = templ->AddReport();
  report->AddColumn();
  report->BandAt(bkReportFooter)->AddRow()->Cells(0)->Formula = "{itemcount()}/{total}";
  templ->PriceList()->Products(1)->Quantity = 9;  // left from an earlier export
  Quantities = {"2", "0", "x"};
  Host.Processes = {"EXCEL.EXE"};
  std::vector<std::string> progress;
  Host.NewConversation = [&progress] { return std::make_unique<ProgressWatchingConv>(progress); };
  TExecReportForm form;
  Build(form, templ.get());
  form.NextBtnClick();
  ASSERT_EQ(form.ExportMenu->actions().size(), 1);
  form.ExportMenu->actions()[0]->trigger();

  EXPECT_EQ(templ->PriceList()->Products(0)->Quantity, 2);
  EXPECT_EQ(templ->PriceList()->Products(1)->Quantity, 0);
  EXPECT_EQ(templ->PriceList()->Products(2)->Quantity, 0);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), "Exporting");
  EXPECT_EQ(progress.back(), "Exporting");
  EXPECT_FALSE(ProcessForm->isVisible());
  EXPECT_NE(std::find(Sheet.Commands.begin(), Sheet.Commands.end(), "[FORMULA(\"1/4\", \"R1C1\")]"),
            Sheet.Commands.end());
}

TEST_F(ReportFormExportTest, AFailedExportIsShownAndLeavesTheFormAsItWas) {
  const auto templ = OfferTemplate({{.Code = "A", .Name = "Bolt"}});
  TSpecReport* report = templ->AddReport();
  report->AddColumn();
  TSpecReportCell* cell = report->BandAt(bkReportDetail)->AddRow()->Cells(0);
  cell->Formula = "{name}";
  cell->DataType = cdNumeric;
  Quantities = {"1"};
  Host.Processes = {"EXCEL.EXE"};
  RecordingErrorWindow errors;
  TExecReportForm form;
  Build(form, templ.get());
  const std::vector<Row> before = Rows(form);
  form.OutputFileName = "offer.xls";
  form.NextBtn->click();
  EXPECT_EQ(errors.Shown, (std::vector<std::string>{"Invalid typecast."}));
  EXPECT_FALSE(ProcessForm->isVisible());
  EXPECT_EQ(Rows(form), before);
  EXPECT_EQ(std::count(Sheet.Commands.begin(), Sheet.Commands.end(), "[SAVE.AS(\"offer.xls\")]"),
            0);

  // Without a spreadsheet the export says so in its box and nothing reaches the error window.
  Host.Processes.clear();
  form.NextBtn->click();
  EXPECT_EQ(errors.Shown.size(), 1u);
  EXPECT_EQ(Host.ErrorBoxes, (std::vector<std::string>{"Error: Unable to connect to Excel..."}));
  EXPECT_FALSE(ProcessForm->isVisible());
}

}  // namespace
