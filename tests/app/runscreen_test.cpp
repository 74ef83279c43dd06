#include "app/runscreen.h"

#include <QtTest/qtestspontaneevent.h>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>
#include <QWheelEvent>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/cp1251_qt.h"
#include "platform/errors.h"
#include "platform/fonts_qt.h"
#include "report/repview.h"
#include "tests/app/app_support.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/test_paths.h"

namespace {

class ScreenFormTest : public GuiTest {};

QRect GeometryOf(const QWidget* widget) {
  return widget ? widget->geometry() : QRect();
}

void Click(QWidget* widget) {
  SendClick(widget, QPoint(3, 3));
}

void Key(QWidget* widget, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &press);
}

TEST_F(ScreenFormTest, ComponentsStandWhereTheFormDescriptionPutsThem) {
  TExecScreenForm form;
  EXPECT_EQ(form.size(), QSize(524, 375));
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the dialog frame is not resizable";
  EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint))
      << "a dialog frame has neither Minimize nor Maximize";
  EXPECT_EQ(form.MinHeight, 375);
  EXPECT_EQ(form.ChromeHeight, 131);
  EXPECT_EQ(form.font().family(), StandInFamily(TDesignFace::Tahoma));
  EXPECT_EQ(form.font().pixelSize(), 11);
  EXPECT_FALSE(form.ActualLbl->text().isEmpty()) << "today's date";
  // A date as wide as those the title panel was laid out for: a wider one moves the caption.
  form.SetActualLbl("11.12.2026");

  struct Row {
    std::string name;
    const QWidget* widget;
    QRect geometry;
  };
  const Row rows[] = {
      {"ControlPanel", form.ControlPanel, {0, 323, 524, 52}},
      {"TitlePanel", form.TitlePanel(), {0, 0, 524, 79}},
      {"Bevel1", form.Bevel1, {0, 0, 524, 2}},
      {"ScreenTitle", form.ScreenTitle, {10, 8, 315, 13}},
      {"ScreenDesc", form.ScreenDesc, {9, 25, 504, 44}},
      {"ActualLbl", form.ActualLbl, {448, 8, 68, 13}},
      {"QuestionsField", form.QuestionsField, {0, 79, 524, 244}},
      {"BackBtn", form.BackBtn, {280, 14, 75, 25}},
      {"NextBtn", form.NextBtn, {356, 14, 75, 25}},
      {"CloseBtn", form.CloseBtn, {438, 14, 75, 25}},
      {"ActualTitleLbl", form.ActualTitleLbl, {289, 8, 164, 13}},
      {"Image1", form.Image1, {8, 10, 111, 35}},
      {"LoadBtn", form.LoadBtn, {220, 14, 25, 25}},
      {"SaveBtn", form.SaveBtn, {248, 14, 25, 25}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(GeometryOf(row.widget), row.geometry);
  }
  EXPECT_TRUE(form.ScreenTitle->font().bold());
  EXPECT_TRUE(form.NextBtn->isDefault());
  EXPECT_FALSE(form.Image1->pixmap().isNull());
  EXPECT_FALSE(form.LoadBtn->icon().isNull());
  EXPECT_FALSE(form.SaveBtn->icon().isNull());
  EXPECT_EQ(form.ScreenDesc->BorderStyle(), THyperLinkView::bsNone);
  EXPECT_EQ(form.ScreenDesc->LinkColor(), QColor(Qt::blue));
  EXPECT_TRUE(form.ScreenDesc->LinkUnderline());

  // The title panel lists its own controls.
  ASSERT_EQ(form.TitlePanel()->ControlCount(), 4);
  EXPECT_EQ(form.TitlePanel()->Controls(1)->Kind(), TFormControlKind::Description);
  EXPECT_EQ(form.TitlePanel()->Controls(4), nullptr);
}

TEST_F(ScreenFormTest, TextsOfTheRunGoOnTheirControls) {
  TExecScreenForm form;
  form.SetActualLbl("01.02.2026");
  form.SetActualTitleLbl("\xC0\xEA\xF2\xF3\xE0\xEB\xFC\xED\xEE:");  // "Актуально:"
  form.SetBackBtnCaption("< Back");
  form.SetNextBtnCaption("Next >");
  form.SetCloseBtnCaption("Close");
  form.SetSaveBtnHint("Save state");
  form.SetLoadBtnHint("Load state");
  form.SetCaption("Racks & cabinets");
  form.SetScreenTitle(IExecScreenForm::EscapeAmpersands("Racks & cabinets"));
  EXPECT_EQ(form.ActualLbl->text(), "01.02.2026");
  EXPECT_EQ(form.ActualTitleLbl->text(), Cp1251ToQString("\xC0\xEA\xF2\xF3\xE0\xEB\xFC\xED\xEE:"));
  EXPECT_EQ(form.BackBtn->text(), "< Back");
  EXPECT_EQ(form.NextBtn->text(), "Next >");
  EXPECT_EQ(form.CloseBtn->text(), "Close");
  EXPECT_EQ(form.SaveBtn->toolTip(), "Save state");
  EXPECT_EQ(form.LoadBtn->toolTip(), "Load state");
  // The caption takes the title unchanged; the label shows one "&" and underlines nothing.
  EXPECT_EQ(form.windowTitle(), "Racks & cabinets");
  EXPECT_EQ(form.ScreenTitle->text(), "Racks & cabinets");
  EXPECT_EQ(form.ScreenTitle->textFormat(), Qt::PlainText);
  EXPECT_EQ(form.ScreenTitle->buddy(), nullptr);
  form.SetBackBtnEnabled(false);
  EXPECT_FALSE(form.BackBtn->isEnabled());

  // A title wider than the label is cut off at its right end.
  form.SetScreenTitle(std::string(200, 'W'));
  EXPECT_EQ(form.ScreenTitle->geometry(), QRect(10, 8, 315, 13));

  // A one-line description makes the title panel 50 high; the question area takes the rest.
  form.SetScreenDesc("One <r>line</>.");
  form.AdjustScreenDescHeight();
  EXPECT_EQ(form.ScreenDesc->height(), 15);
  form.FitPanelHeight(form.TitlePanel());
  EXPECT_EQ(form.TitlePanel()->height(), 50);
  EXPECT_EQ(form.QuestionsField->geometry(), QRect(0, 50, 524, 375 - 50 - 52));
}

TEST_F(ScreenFormTest, PanelsStackInCreationOrderAcrossTheQuestionArea) {
  TExecScreenForm form;
  TFormPanel* first = form.AddQuestionPanel();
  EXPECT_EQ(first->geometry(), QRect(0, 0, 524, 150));
  EXPECT_EQ(first->font().family(), StandInFamily(TDesignFace::Tahoma));
  // Two panels do not fit the area's 244 pixels: they make room for the scroll bar.
  TFormPanel* second = form.AddQuestionPanel();
  const int scrollBar = form.QuestionsField->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  EXPECT_EQ(form.QuestionPanelCount(), 2);
  EXPECT_EQ(form.QuestionPanel(1), second);
  EXPECT_EQ(first->geometry(), QRect(0, 0, 524 - scrollBar, 150));
  EXPECT_EQ(second->geometry(), QRect(0, 150, 524 - scrollBar, 150));

  // An empty panel fits to 10 pixels; the next one moves up against it.
  form.FitPanelHeight(first);
  EXPECT_EQ(first->height(), 10);
  EXPECT_EQ(second->y(), 10);
  form.AddQuestionLabel(second, "Title", 10, 10, nullptr);
  form.FitPanelHeight(second);
  EXPECT_EQ(second->height(), 10 + 13 + 10);
  EXPECT_EQ(second->width(), 524) << "the two fit again";

  form.AddQuestionPanel();
  form.AddQuestionPanel();
  for (int i = 0; i < form.QuestionPanelCount(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(form.QuestionPanel(i)->width(), 524 - scrollBar);
  }
  EXPECT_EQ(form.QuestionPanel(3)->y(), 10 + 33 + 150);
  EXPECT_EQ(form.QuestionsField->widget()->height(), 10 + 33 + 300);

  try {
    form.QuestionPanel(4);
    ADD_FAILURE() << "no error";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (4)");
  }
  form.ClearQuestionPanels();
  EXPECT_EQ(form.QuestionPanelCount(), 0);
  EXPECT_TRUE(form.QuestionsField->widget()->findChildren<TFormPanel*>().isEmpty());
}

TEST_F(ScreenFormTest, WidgetOperationsMakeTheirControlsInCreationOrder) {
  TExecScreenForm form;
  TFormPanel* panel = form.AddQuestionPanel();
  const int labelHeight = form.AddQuestionLabel(panel, "A&B", 10, 10, nullptr);
  IFormControl* box = form.AddCheckBox(panel, 10, 33, true);
  const int descHeight = form.AddDescription(panel, "Two\nlines <x>here</>", 30, 33);
  IFormControl* edit = form.AddEdit(panel, 10, 60, 100, "\xC4\xE0 \"q\"");
  IFormControl* readOnly = form.AddReadOnlyEdit(panel, 10, 90, 200, "shown");
  IFormControl* radio = form.AddRadioButton(panel, 7, 10, 120, false);
  IFormControl* combo = form.AddComboBox(panel, 10, 140, 200);

  EXPECT_EQ(labelHeight, 13);
  EXPECT_EQ(descHeight, 2 * 13 + 2);
  ASSERT_EQ(panel->ControlCount(), 7);
  const TFormControlKind kinds[] = {
      TFormControlKind::Label,    TFormControlKind::CheckBox, TFormControlKind::Description,
      TFormControlKind::Edit,     TFormControlKind::Edit,     TFormControlKind::RadioButton,
      TFormControlKind::ComboBox,
  };
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(panel->Controls(i)->Kind(), kinds[i]);
  }
  EXPECT_EQ(panel->Controls(7), nullptr);

  auto* label = dynamic_cast<TFormLabel*>(panel->Controls(0));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->Caption(), "A&&B");
  EXPECT_EQ(label->text(), "A&B");
  EXPECT_TRUE(label->font().bold());
  EXPECT_EQ(label->pos(), QPoint(10, 10));
  // Question labels size themselves to their text, on one line.
  const int shortWidth = label->width();
  form.AddQuestionLabel(panel, std::string(100, 'W') + "\nsecond line", 10, 200, nullptr);
  auto* wide = dynamic_cast<TFormLabel*>(panel->Controls(7));
  ASSERT_NE(wide, nullptr);
  EXPECT_GT(wide->width(), 524);
  EXPECT_GT(wide->width(), shortWidth);
  EXPECT_FALSE(wide->wordWrap());

  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(dynamic_cast<QWidget*>(box)->geometry(), QRect(10, 33, 18, 17));
  EXPECT_TRUE(dynamic_cast<QCheckBox*>(box)->text().isEmpty());

  auto* view = dynamic_cast<TFormDescription*>(panel->Controls(2));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->geometry(), QRect(30, 33, 524 - 30 - 20, 28));
  EXPECT_EQ(view->BorderStyle(), THyperLinkView::bsNone);
  EXPECT_EQ(view->palette().color(QPalette::Base), panel->palette().color(QPalette::Window));

  EXPECT_EQ(dynamic_cast<QWidget*>(edit)->geometry(), QRect(10, 60, 100, 21));
  EXPECT_EQ(edit->Text(), "\xC4\xE0 \"q\"");
  EXPECT_FALSE(edit->ReadOnly());
  // A typed character outside Windows-1251 reads as "?".
  dynamic_cast<QLineEdit*>(edit)->setText(QString::fromUtf8("x\xE2\x82\xAC\xE4\xB8\xADy"));
  EXPECT_EQ(edit->Text(), "x\x88?y");
  EXPECT_TRUE(readOnly->ReadOnly());
  EXPECT_EQ(readOnly->Text(), "shown");

  EXPECT_EQ(radio->Tag(), 7);
  EXPECT_FALSE(radio->Checked());
  EXPECT_EQ(dynamic_cast<QWidget*>(radio)->geometry(), QRect(10, 120, 20, 17));

  auto* list = dynamic_cast<QComboBox*>(combo);
  ASSERT_NE(list, nullptr);
  EXPECT_FALSE(list->isEditable());
  EXPECT_EQ(combo->ItemCount(), 0);
  EXPECT_EQ(combo->ItemIndex(), -1);
  combo->AddItem("first", 0);
  combo->AddItem("\x98 odd \xFF", 2);
  combo->AddItem("first", 3);
  EXPECT_EQ(combo->ItemCount(), 3);
  EXPECT_EQ(combo->ItemText(1), "\x98 odd \xFF");
  EXPECT_EQ(combo->ItemData(2), 3);
  EXPECT_EQ(combo->ItemText(3), "");
  EXPECT_EQ(combo->ItemData(-1), -1);
  combo->SetItemIndex(2);
  EXPECT_EQ(combo->ItemIndex(), 2);
  combo->SetItemIndex(9);
  EXPECT_EQ(combo->ItemIndex(), -1);

  form.FitPanelHeight(panel);
  EXPECT_EQ(panel->height(), 200 + wide->height() + 10);
}

TEST_F(ScreenFormTest, StringEditsAreCappedSoTheQuotedValueFitsAStreamString) {
  TExecScreenForm form;
  TFormPanel* panel = form.AddQuestionPanel();
  auto* edit = dynamic_cast<QLineEdit*>(form.AddEdit(panel, 10, 10, 200, ""));
  ASSERT_NE(edit, nullptr);
  // Every character doubled by its escape, plus the two quotes: at most 65535 bytes.
  EXPECT_LE(2 * edit->maxLength() + 2, 65535);
  const std::string stored(40000, 'x');
  IFormControl* longer = form.AddEdit(panel, 10, 40, 200, stored);
  EXPECT_EQ(longer->Text(), stored) << "a longer stored value is shown whole";
}

TEST_F(ScreenFormTest, RadioButtonsAreExclusivePerPanelAndLabelsSelectTheirLinkedControl) {
  TExecScreenForm form;
  TFormPanel* first = form.AddQuestionPanel();
  TFormPanel* second = form.AddQuestionPanel();
  IFormControl* a = form.AddRadioButton(first, 0, 10, 26, true);
  IFormControl* b = form.AddRadioButton(first, 1, 10, 42, false);
  IFormControl* c = form.AddRadioButton(second, 0, 10, 26, true);
  IFormControl* d = form.AddRadioButton(second, 2, 10, 42, false);
  form.AddQuestionLabel(first, "Answer B", 30, 42, b);
  IFormControl* box = form.AddCheckBox(second, 10, 60, false);
  form.AddQuestionLabel(second, "Box", 30, 60, box);
  form.AddQuestionLabel(second, "Nothing linked", 30, 80, nullptr);

  // A radio button checked when made unchecks the earlier one of its panel only.
  IFormControl* e = form.AddRadioButton(first, 2, 10, 58, true);
  EXPECT_FALSE(a->Checked());
  EXPECT_FALSE(b->Checked());
  EXPECT_TRUE(e->Checked());
  EXPECT_TRUE(c->Checked());

  // A click on an answer's label selects it.
  Click(dynamic_cast<QWidget*>(first->Controls(2)));
  EXPECT_TRUE(b->Checked());
  EXPECT_FALSE(e->Checked());
  EXPECT_TRUE(c->Checked()) << "the other panel's group changed";

  dynamic_cast<QRadioButton*>(d)->click();
  EXPECT_TRUE(d->Checked());
  EXPECT_FALSE(c->Checked());
  EXPECT_TRUE(b->Checked());

  // A label linked to a check box toggles it; one without a link does nothing.
  Click(dynamic_cast<QWidget*>(second->Controls(3)));
  EXPECT_TRUE(box->Checked());
  Click(dynamic_cast<QWidget*>(second->Controls(3)));
  EXPECT_FALSE(box->Checked());
  Click(dynamic_cast<QWidget*>(second->Controls(4)));
  EXPECT_FALSE(box->Checked());
  EXPECT_TRUE(d->Checked());
}

// One screen height: the rows of the table whose screen it is run in this process; the other
// heights run in a child process of this binary each.
TEST_F(ScreenFormTest, FitFormHeightFollowsThePanelsWithinTheScreen) {
  struct Row {
    int screen;
    std::string name;
    std::vector<int> panels;
    int height;
    int top;
  };
  const Row rows[] = {
      {768, "no questions", {}, 375, 196},
      {768, "two panels", {150, 150}, 131 + 300, 168},
      {768, "more than the screen", {150, 150, 150, 150, 150}, 668, 50},
      {600, "no questions", {}, 375, 112},
      {600, "two panels", {150, 150}, 431, 84},
      {600, "more than the screen", {150, 150, 150, 150, 150}, 500, 50},
      // The minimum wins over the screen's bound; the top truncates toward zero.
      {300, "no questions", {}, 375, -37},
      {300, "two panels", {150, 150}, 375, -37},
  };
  const int screen = QGuiApplication::primaryScreen()->geometry().height();
  int ran = 0;
  for (const Row& row : rows) {
    if (row.screen != screen) continue;
    SCOPED_TRACE(std::to_string(row.screen) + ": " + row.name);
    ++ran;
    TExecScreenForm form;
    for (int height : row.panels) {
      TFormPanel* panel = form.AddQuestionPanel();
      panel->resize(panel->width(), height);
    }
    form.FitFormHeight();
    EXPECT_EQ(form.size(), QSize(524, row.height));
    EXPECT_EQ(form.pos(), QPoint((1024 - 524) / 2, row.top));
    EXPECT_EQ(form.QuestionsField->height(), row.height - 131);
    const bool scrolls = form.QuestionsField->widget()->height() > form.QuestionsField->height();
    EXPECT_EQ(scrolls, row.height < 131 + 150 * static_cast<int>(row.panels.size()));
    if (scrolls) {
      form.show();
      QCoreApplication::processEvents();
      EXPECT_TRUE(form.QuestionsField->verticalScrollBar()->isVisible());
      EXPECT_EQ(form.QuestionsField->viewport()->width(), form.QuestionPanel(0)->width());
      form.hide();
    }
  }
  EXPECT_GT(ran, 0) << "no rows for a screen " << screen << " pixels high";
}

TEST_F(ScreenFormTest, FitFormHeightOnScreensOf600And300Pixels) {
  for (const char* height : {"600", "300"}) {
    SCOPED_TRACE(height);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QUORVANE_TEST_SCREEN_HEIGHT", height);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("/proc/self/exe",
                {"--gtest_filter=ScreenFormTest.FitFormHeightFollowsThePanelsWithinTheScreen"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromUtf8(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
  }
}

TEST_F(ScreenFormTest, ButtonsRunTheBoundHandlersAndEndTheShowingWithTheirResult) {
  struct Row {
    std::string name;
    // What the robot does to the form.
    std::function<void(TExecScreenForm&)> act;
    int result;
  };
  const Row rows[] = {
      {"Next", [](TExecScreenForm& f) { f.NextBtn->click(); }, mrYes},
      {"Back", [](TExecScreenForm& f) { f.BackBtn->click(); }, mrNo},
      {"Close", [](TExecScreenForm& f) { f.CloseBtn->click(); }, mrCancel},
      {"Load", [](TExecScreenForm& f) { f.LoadBtn->click(); }, mrOk},
      {"Enter clicks Next", [](TExecScreenForm& f) { Key(&f, Qt::Key_Return); }, mrYes},
      {"Escape clicks Close", [](TExecScreenForm& f) { Key(&f, Qt::Key_Escape); }, mrCancel},
      {"the close box", [](TExecScreenForm& f) { f.close(); }, mrCancel},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TExecScreenForm form;
    std::vector<std::string> clicked;
    auto bind = [&](const char* name, int result) {
      return [&form, &clicked, name, result] {
        clicked.push_back(name);
        form.SetModalResult(result);
      };
    };
    form.SetNextBtnClick(bind("Next", mrYes));
    form.SetBackBtnClick(bind("Back", mrNo));
    form.SetCloseBtnClick(bind("Close", mrCancel));
    form.SetLoadBtnClick(bind("Load", mrOk));
    form.SetSaveBtnClick(bind("Save", mrNone));
    ModalRobot robot({[&](QWidget* modal) {
      if (modal != &form) return false;
      row.act(form);
      return true;
    }});
    EXPECT_EQ(form.ShowModal(), row.result);
    EXPECT_EQ(form.ModalResult(), row.result);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(robot.Done());
    EXPECT_LE(clicked.size(), 1u);
  }
}

TEST_F(ScreenFormTest, WithoutHandlersOnlyTheCloseBoxEndsTheShowing) {
  TExecScreenForm form;
  bool stillOpen = false;
  ModalRobot robot({[&](QWidget* modal) {
                      if (modal != &form) return false;
                      form.NextBtn->click();
                      form.SaveBtn->click();
                      Key(&form, Qt::Key_Escape);
                      return true;
                    },
                    [&](QWidget* modal) {
                      stillOpen = modal == &form && form.isVisible();
                      form.close();
                      return true;
                    }});
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_TRUE(stillOpen);
}

TEST_F(ScreenFormTest, AHandlerThatRaisesIsShownAndTheScreenStaysOpen) {
  RecordingErrorWindow errors;
  TExecScreenForm form;
  int attempts = 0;
  form.SetNextBtnClick([&] {
    if (++attempts == 1) throw Exception("Invalid number (Width).");
    form.SetModalResult(mrYes);
  });
  bool openAfterError = false;
  ModalRobot robot({[&](QWidget* modal) {
                      if (modal != &form) return false;
                      form.NextBtn->click();
                      return true;
                    },
                    [&](QWidget* modal) {
                      openAfterError = modal == &form && form.ModalResult() == mrNone;
                      form.NextBtn->click();
                      return true;
                    }});
  EXPECT_EQ(form.ShowModal(), mrYes);
  EXPECT_TRUE(openAfterError);
  EXPECT_EQ(errors.Shown, std::vector<std::string>{"Invalid number (Width)."});
}

TEST_F(ScreenFormTest, AHandlerMayBindAnotherHandlerWhileItRuns) {
  TExecScreenForm form;
  int second = 0;
  form.SetNextBtnClick([&] { form.SetNextBtnClick([&] { ++second; }); });
  form.NextBtn->click();
  form.NextBtn->click();
  EXPECT_EQ(second, 1);
}

TEST_F(ScreenFormTest, APressOnADescriptionLinkShowsTheResourceBelowTheDescription) {
  TExecScreenForm form;
  std::vector<std::pair<QPoint, std::string>> shown;
  form.ShowResourceAt = [&](const QPoint& at, const std::string& id) {
    shown.emplace_back(at, id);
  };
  TFormPanel* panel = form.AddQuestionPanel();
  form.AddDescription(panel, "See <first>one</> or <second>two</>", 30, 40);
  auto* view = dynamic_cast<TFormDescription*>(panel->Controls(0));
  ASSERT_NE(view, nullptr);
  form.SetScreenDesc("Screen <intro>text</>");
  form.AdjustScreenDescHeight();
  form.show();
  QCoreApplication::processEvents();

  auto press = [](THyperLinkView* target, int documentPos) {
    SendClick(target->viewport(), CharacterPoint(*target, documentPos));
  };

  press(view, 12);  // "two"
  press(view, 5);   // "one"
  press(view, 1);   // no link
  press(form.ScreenDesc, 8);
  const QPoint below = view->mapToGlobal(QPoint(0, view->height()));
  const QPoint belowTitle = form.ScreenDesc->mapToGlobal(QPoint(0, form.ScreenDesc->height()));
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0], std::make_pair(below, std::string("second")));
  EXPECT_EQ(shown[1], std::make_pair(below, std::string("first")));
  EXPECT_EQ(shown[2], std::make_pair(belowTitle, std::string("intro")));
  form.hide();
}

TEST_F(ScreenFormTest, FileDialogsOfferSavesAndDoNotAskBeforeOverwriting) {
  ScratchFolder folder;
  const std::string existing = folder.WriteFile("run.qvs", "old");
  TExecScreenForm form;
  struct Row {
    std::string name;
    bool save;
    std::string typed;  // empty: cancel
    std::string chosen;
  };
  const Row rows[] = {
      {"save adds the suffix", true, "first", folder.File("first.qvs")},
      {"save over an existing file", true, "run.qvs", existing},
      {"save cancelled", true, "", ""},
      {"open a missing file", false, "missing.qvs", folder.File("missing.qvs")},
      {"open cancelled", false, "", ""},
  };
  // Neither dialog is built before it is first used.
  EXPECT_TRUE(form.findChildren<QFileDialog*>().isEmpty());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string title;
    QStringList filters;
    ModalRobot robot({[&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (!dialog || dialog != (row.save ? form.SaveDlg : form.OpenDlg)) return false;
      title = dialog->windowTitle().toStdString();
      filters = dialog->nameFilters();
      if (row.typed.empty()) {
        dialog->reject();
      } else {
        dialog->setDirectory(QString::fromStdString(folder.Path().string()));
        // Typed into the file name field, which has the focus.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (!name) return false;
        name->setText(QString::fromStdString(row.typed));
        // As the user's Enter in the file name field does.
        QMetaObject::invokeMethod(dialog, "accept");
      }
      return true;
    }});
    std::string chosen;
    const bool accepted =
        row.save ? form.ExecuteSaveDialog(chosen) : form.ExecuteOpenDialog(chosen);
    EXPECT_EQ(accepted, !row.typed.empty());
    if (accepted) {
      EXPECT_EQ(chosen, row.chosen);
    }
    EXPECT_EQ(title, row.save ? "Save..." : "Open...");
    EXPECT_EQ(filters, QStringList({"Quorvane Saves (*.qvs)", "All Files (*.*)"}));
  }
  // Each built once, and kept.
  EXPECT_EQ(form.findChildren<QFileDialog*>().size(), 2);
  EXPECT_EQ(form.SaveDialog(), form.SaveDlg);
  EXPECT_EQ(form.SaveDlg->defaultSuffix(), "qvs");
  EXPECT_TRUE(form.SaveDlg->testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_EQ(form.OpenDlg->fileMode(), QFileDialog::AnyFile);
  EXPECT_EQ(ReadWholeFile(existing), "old") << "the dialog itself writes nothing";
}

// The names the file dialog lists in its folder.
QStringList Listed(QFileDialog* dialog) {
  QStringList names;
  auto* view = dialog->findChild<QListView*>("listView");
  if (!view || !view->model()) return names;
  const QModelIndex folder = view->rootIndex();
  for (int r = 0; r < view->model()->rowCount(folder); ++r) {
    names << view->model()->index(r, 0, folder).data().toString();
  }
  return names;
}

TEST_F(ScreenFormTest, TheCompletionListClosesWithItsFileDialogAndTheNextClickActs) {
  ScratchFolder folder;
  folder.WriteFile("cabinet.qvs", "state");
  struct Row {
    std::string name;
    bool save;
    std::string typed;
    std::string chosen;
  };
  const Row rows[] = {
      {"open the beginning of a name", false, "cab", "cab.qvs"},
      {"open a whole name", false, "cabinet.qvs", "cabinet.qvs"},
      {"save over a whole name", true, "cabinet.qvs", "cabinet.qvs"},
  };
  TExecScreenForm form;
  int nextClicks = 0;
  form.SetNextBtnClick([&] { ++nextClicks; });
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QFileDialog* dialog = row.save ? form.SaveDialog() : form.OpenDialog();
    dialog->setDirectory(QString::fromStdString(folder.Path().string()));
    // What the robot last found while it waited, for a case that fails.
    std::string seen;
    ModalRobot robot({
        // Typed key by key, as the user types, so that the field offers its completions of
        // the folder's names once the dialog has read them.
        [&](QWidget* modal) {
          auto* field = modal == dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
          const QStringList listed = Listed(dialog);
          seen = "listed: " + listed.join(' ').toStdString();
          if (!field || !listed.contains("cabinet.qvs")) return false;
          field->selectAll();
          QTest::keyClicks(field, QString::fromStdString(row.typed));
          return true;
        },
        // Return while the completion list is shown.
        [&](QWidget*) {
          QWidget* list = QApplication::activePopupWidget();
          if (!list) {
            auto* field = dialog->findChild<QLineEdit*>("fileNameEdit");
            QCompleter* completer = field ? field->completer() : nullptr;
            seen = "no list; field \"" + (field ? field->text().toStdString() : "") + "\", focus " +
                   std::to_string(field && field->hasFocus()) + ", completions " +
                   std::to_string(completer ? completer->completionCount() : -1) +
                   ", active window " + std::to_string(dialog->isActiveWindow());
            return false;
          }
          QTest::keyClick(list, Qt::Key_Return);
          return true;
        },
    });
    std::string chosen;
    ASSERT_TRUE(row.save ? form.ExecuteSaveDialog(chosen) : form.ExecuteOpenDialog(chosen)) << seen;
    EXPECT_TRUE(robot.Done()) << seen;
    EXPECT_EQ(chosen, folder.File(row.chosen));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "the completion list stayed";
    // One click on Next, delivered to the screen's window as the window system delivers it.
    const int before = nextClicks;
    QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {},
                      form.NextBtn->mapTo(&form, QPoint(30, 12)));
    EXPECT_EQ(nextClicks, before + 1) << "the click did not reach Next";
  }
  form.hide();
}

TEST_F(ScreenFormTest, TheOpenDialogStartsWithThePatternOfTheSavesAndReturnOnAPatternFilters) {
  ScratchFolder folder;
  folder.WriteFile("run.qvs", "state");
  folder.WriteFile("notes.txt", "text");
  TExecScreenForm form;
  QFileDialog* dialog = form.OpenDialog();
  dialog->setDirectory(QString::fromStdString(folder.Path().string()));
  QString shown, selected;
  QLineEdit* field = dialog->findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(field, nullptr);
  ModalRobot robot({
      [&](QWidget* modal) {
        if (modal != dialog || Listed(dialog) != QStringList({"run.qvs"})) return false;
        shown = field->text();
        selected = field->selectedText();
        // Another pattern typed over it, and Return.
        field->setText("*.txt");
        QMetaObject::invokeMethod(dialog, "accept");
        return true;
      },
      // Still open, listing what the pattern matches; then a file of the list is opened.
      [&](QWidget* modal) {
        if (modal != dialog || Listed(dialog) != QStringList({"notes.txt"})) return false;
        EXPECT_EQ(field->text(), "*.txt");
        field->setText("notes.txt");
        QMetaObject::invokeMethod(dialog, "accept");
        return true;
      },
  });
  std::string chosen;
  ASSERT_TRUE(form.ExecuteOpenDialog(chosen));
  EXPECT_TRUE(robot.Done());
  EXPECT_EQ(shown, "*.qvs");
  EXPECT_EQ(selected, "*.qvs") << "typing does not replace the starting name";
  EXPECT_EQ(chosen, folder.File("notes.txt"));
}

TEST_F(ScreenFormTest, NeitherTheScreenNorThePreviewStaysMinimized) {
  TExecScreenForm screen;
  TExecReportForm preview;
  for (QWidget* window : {static_cast<QWidget*>(&screen), static_cast<QWidget*>(&preview)}) {
    SCOPED_TRACE(window->objectName().toStdString());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    // As a window manager that offers Minimize anyway does.
    window->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(QTest::qWaitFor([window] { return !window->isMinimized(); }));
    EXPECT_TRUE(window->isVisible());
    window->hide();
  }
}

// Notches of the wheel over a widget, as the window system delivers them: spontaneous, so that
// a widget that leaves the event passes it on to its parents.
void WheelOver(QWidget* widget, int notches) {
  const QPointF local(10, 5);
  QWheelEvent wheel(local, widget->mapToGlobal(local), QPoint(), QPoint(0, 120 * notches),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QSpontaneKeyEvent::setSpontaneous(&wheel);
  // Not sendEvent, which makes every event it sends one of the program's own.
  qApp->notify(widget, &wheel);
  QCoreApplication::processEvents();
}

TEST_F(ScreenFormTest, TheWheelChangesADropDownAnswerOnlyWhenTheListHasTheFocus) {
  struct Row {
    std::string name;
    bool focused;
    int notches;
    int index;
    bool scrolled;
  };
  const Row rows[] = {
      {"a notch down without the focus scrolls the screen", false, -1, 1, true},
      {"a notch up without the focus keeps Depth 800", false, 1, 1, false},
      {"a notch down with the focus picks the next depth", true, -1, 2, false},
      {"a notch up with the focus picks 600", true, 1, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TExecScreenForm form;
    TFormPanel* panel = form.AddQuestionPanel();
    form.AddQuestionLabel(panel, "Depth", 10, 10, nullptr);
    IFormControl* depth = form.AddComboBox(panel, 10, 30, 200);
    for (const char* title : {"600", "800", "1000"}) depth->AddItem(title, 0);
    depth->SetItemIndex(1);
    // Two more questions: the screen scrolls.
    form.AddQuestionPanel();
    form.AddQuestionPanel();
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* list = dynamic_cast<QComboBox*>(depth);
    if (row.focused) {
      list->setFocus();
    } else {
      form.NextBtn->setFocus();
    }
    QCoreApplication::processEvents();
    ASSERT_EQ(list->hasFocus(), row.focused);
    WheelOver(list, row.notches);
    EXPECT_EQ(depth->ItemIndex(), row.index);
    EXPECT_EQ(form.QuestionsField->verticalScrollBar()->value() > 0, row.scrolled);
    EXPECT_EQ(list->hasFocus(), row.focused) << "the wheel gives no focus";
    form.hide();
  }
}

TEST_F(ScreenFormTest, TabWalksTheAnswersThenTheButtonsAndTheQuestionAreaIsNoTabStop) {
  TExecScreenForm form;
  TFormPanel* first = form.AddQuestionPanel();
  form.AddQuestionLabel(first, "Customer", 10, 10, nullptr);
  form.AddDescription(first, "As on the <offer>offer</>.", 10, 26);
  auto* customer = dynamic_cast<QWidget*>(form.AddEdit(first, 10, 44, 200, ""));
  TFormPanel* second = form.AddQuestionPanel();
  auto* floor = dynamic_cast<QWidget*>(form.AddRadioButton(second, 0, 10, 10, true));
  form.AddQuestionLabel(second, "Floor", 30, 10, dynamic_cast<IFormControl*>(floor));
  auto* depth = dynamic_cast<QWidget*>(form.AddComboBox(second, 10, 40, 200));
  auto* doors = dynamic_cast<QWidget*>(form.AddCheckBox(second, 10, 70, false));
  EXPECT_EQ(form.QuestionsField->focusPolicy(), Qt::NoFocus);

  std::vector<QWidget*> walked;
  ModalRobot robot({[&](QWidget* modal) {
    if (modal != &form || !QApplication::focusWidget()) return false;
    walked.push_back(QApplication::focusWidget());
    for (int i = 0; i < 7; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      walked.push_back(QApplication::focusWidget());
    }
    form.close();
    return true;
  }});
  form.ShowModal();
  EXPECT_TRUE(robot.Done());
  const std::vector<QWidget*> expected = {customer,     floor,        depth,         doors,
                                          form.BackBtn, form.NextBtn, form.CloseBtn, customer};
  EXPECT_EQ(walked, expected);
}

TEST_F(ScreenFormTest, AnOptionGroupIsOneTabStopAtItsChoiceAndTheArrowKeysChoose) {
  // Keys pressed in turn; kClickLabel3 clicks the text of the third answer instead.
  constexpr int kClickLabel3 = -1;
  // Where the focus ends: an answer's index, or one of these.
  constexpr int kEdit = -1, kClose = -2;
  struct Row {
    std::string name;
    int chosen;  // -1: none
    std::vector<int> keys;
    int focused;
    int checked;
  };
  const Row rows[] = {
      {"the screen opens on the chosen answer", 1, {}, 1, 1},
      {"Down chooses the next answer", 1, {Qt::Key_Down}, 2, 2},
      {"Up and Left choose the answers before", 2, {Qt::Key_Up, Qt::Key_Left}, 0, 0},
      {"the arrows stop at the ends", 2, {Qt::Key_Down, Qt::Key_Right}, 2, 2},
      {"no answer chosen: the first has the focus", -1, {}, 0, -1},
      {"no answer chosen: Down chooses the second", -1, {Qt::Key_Down}, 1, 1},
      {"Tab leaves the group from its choice", 1, {Qt::Key_Tab}, kEdit, 1},
      {"Shift+Tab comes back to the choice", 0, {Qt::Key_Tab, Qt::Key_Backtab}, 0, 0},
      {"Shift+Tab leaves the group backwards", 2, {Qt::Key_Backtab}, kClose, 2},
      {"the Tab stop follows a choice made with the mouse",
       0,
       {kClickLabel3, Qt::Key_Tab, Qt::Key_Backtab},
       2,
       2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TExecScreenForm form;
    // A group of three answers, then a typed answer.
    TFormPanel* sizes = form.AddQuestionPanel();
    std::vector<QRadioButton*> answers;
    std::vector<QWidget*> labels;
    for (int i = 0; i < 3; ++i) {
      answers.push_back(dynamic_cast<QRadioButton*>(
          form.AddRadioButton(sizes, i, 10, 10 + 16 * i, i == row.chosen)));
      form.AddQuestionLabel(sizes, "Answer " + std::to_string(i), 30, 10 + 16 * i,
                            dynamic_cast<IFormControl*>(answers.back()));
      labels.push_back(dynamic_cast<QWidget*>(sizes->Controls(sizes->ControlCount() - 1)));
    }
    auto* edit = dynamic_cast<QWidget*>(form.AddEdit(form.AddQuestionPanel(), 10, 10, 200, ""));
    QWidget* focused = nullptr;
    ModalRobot robot({[&](QWidget* modal) {
      if (modal != &form || !QApplication::focusWidget()) return false;
      for (const int key : row.keys) {
        if (key == kClickLabel3) {
          Click(labels[2]);
        } else if (key == Qt::Key_Backtab) {
          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        } else {
          QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
        }
      }
      focused = QApplication::focusWidget();
      form.close();
      return true;
    }});
    form.ShowModal();
    EXPECT_TRUE(robot.Done());
    QWidget* expected = row.focused == kEdit    ? edit
                        : row.focused == kClose ? static_cast<QWidget*>(form.CloseBtn)
                                                : answers[static_cast<std::size_t>(row.focused)];
    EXPECT_EQ(focused, expected);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(answers[static_cast<std::size_t>(i)]->isChecked(), i == row.checked) << i;
    }
  }
}

TEST_F(ScreenFormTest, ALetteredDateKeepsItsGapFromTheCaptionAsANumericOneDoes) {
  // "Дата актуализации:" with the short dates of three locales: the numeric one the title
  // panels were laid out for, the C locale's, and one wider than its box.
  const std::string caption = "\xC4\xE0\xF2\xE0 \xE0\xEA\xF2\xF3\xE0\xEB\xE8\xE7\xE0\xF6\xE8\xE8:";
  struct Date {
    std::string text;
    bool asDesigned;  // both labels keep their designed boxes
  };
  const Date dates[] = {
      {"10.12.2026", true},
      {"10 Dec 2026", false},
      {"10 December 2026", false},
  };
  for (const Date& date : dates) {
    SCOPED_TRACE(date.text);
    TExecScreenForm screen;
    TExecReportForm report;
    struct Row {
      std::string name;
      QLabel* caption;
      QLabel* date;
    };
    screen.SetActualTitleLbl(caption);
    screen.SetActualLbl(date.text);
    report.SetActualTitleLbl(caption);
    report.SetActualLbl(date.text);
    const Row rows[] = {{"screen", screen.ActualTitleLbl, screen.ActualLbl},
                        {"report", report.ActualTitleLbl, report.ActualLbl}};
    for (const Row& row : rows) {
      SCOPED_TRACE(row.name);
      const int captionWidth =
          QFontMetrics(row.caption->font()).horizontalAdvance(row.caption->text());
      const int dateWidth = QFontMetrics(row.date->font()).horizontalAdvance(row.date->text());
      EXPECT_LE(captionWidth, row.caption->contentsRect().width());
      EXPECT_LE(dateWidth, row.date->contentsRect().width());
      // Both right-aligned: the caption's text ends a gap before the date's text begins, and
      // the date still ends at the panel's right margin.
      const int captionEnd = row.caption->geometry().right() + 1;
      const int dateStart = row.date->geometry().right() + 1 - dateWidth;
      EXPECT_GE(dateStart - captionEnd, kCaptionValueGap);
      EXPECT_EQ(row.date->geometry().right(), 515);
      if (date.asDesigned) {
        EXPECT_EQ(row.caption->geometry(), QRect(289, 8, 164, 13));
        EXPECT_EQ(row.date->geometry(), QRect(448, 8, 68, 13));
      }
    }
  }
}

// Runs in the child process of the case below, on a platform that draws window frames.
TEST_F(ScreenFormTest, UnderAWindowFrameTheOuterHeightIsBoundByTheScreenAndCentred) {
  if (!std::getenv("QUORVANE_TEST_WINDOW_FRAMES")) GTEST_SKIP() << "runs in a child process";
  struct Row {
    std::string name;
    int panels;
    int outerHeight;  // 0: the design height plus the frame
  };
  const Row rows[] = {
      {"no questions", 0, 0},
      {"more than the screen", 5, 768 - 100},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TExecScreenForm form;
    for (int i = 0; i < row.panels; ++i) form.AddQuestionPanel();
    form.FitFormHeight();
    form.show();
    QCoreApplication::processEvents();
    const QRect outer = form.frameGeometry();
    const int frame = outer.height() - form.height();
    ASSERT_GT(frame, 0) << "the platform draws no frame";
    EXPECT_EQ(outer.height(), row.outerHeight ? row.outerHeight : 375 + frame);
    EXPECT_EQ(outer.top(), (768 - outer.height()) / 2);
    EXPECT_EQ(form.FrameHeight, frame);
    // The next screen is fitted with the frame known from the start.
    form.hide();
    form.FitFormHeight();
    EXPECT_EQ(form.height() + frame, outer.height());
  }
}

TEST_F(ScreenFormTest, UnderAWindowFrame) {
  RunCaseInChildProcess(
      "ScreenFormTest.UnderAWindowFrameTheOuterHeightIsBoundByTheScreenAndCentred",
      {{"QUORVANE_TEST_WINDOW_FRAMES", "1"}});
}

}  // namespace
