// The whole program in-process on the sample scheme: the real start-up, screen form, message
// box, file dialogs, resource pop-up and report form, driven by a robot that acts on the active
// modal window as a user would. The preview is checked against sums worked out by hand for the
// answers the robot gives.
#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "app/main.h"
#include "app/runscreen.h"
#include "app/textres.h"
#include "engine/runtime.h"
#include "platform/errorwindow.h"
#include "platform/messages_qt.h"
#include "platform/tempdir.h"
#include "report/repview.h"
#include "tests/app/app_support.h"
#include "tests/support/model_support.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/test_paths.h"

namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// Runs an action once the robot's step has returned: a click that opens a nested modal window
// must not run inside the step, or the robot would offer that window to the same step.
void Later(std::function<void()> action) {
  QTimer::singleShot(0, QCoreApplication::instance(), std::move(action));
}

TExecScreenForm* ScreenTitled(QWidget* modal, const char* title) {
  auto* screen = dynamic_cast<TExecScreenForm*>(modal);
  if (!screen || screen->windowTitle() != U(title)) return nullptr;
  return screen;
}

// The n-th control of that kind on question panel `panel` of the screen.
template <typename Widget>
Widget* ControlOf(TExecScreenForm* screen, int panel, TFormControlKind kind, int n = 0) {
  IFormPanel* p = screen->QuestionPanel(panel);
  for (int i = 0; i < p->ControlCount(); ++i) {
    IFormControl* control = p->Controls(i);
    if (control->Kind() == kind && n-- == 0) return dynamic_cast<Widget*>(control);
  }
  ADD_FAILURE() << "panel " << panel << " lacks the control";
  return nullptr;
}

void Type(QLineEdit* edit, const char* text) {
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, U(text));
}

void Pick(QComboBox* combo, const char* title) {
  const int index = combo->findText(U(title));
  ASSERT_GE(index, 0) << title;
  combo->setCurrentIndex(index);
}

QAbstractButton* Radio(TExecScreenForm* screen, int panel, int n) {
  return ControlOf<QAbstractButton>(screen, panel, TFormControlKind::RadioButton, n);
}
QLineEdit* Edit(TExecScreenForm* screen, int panel) {
  return ControlOf<QLineEdit>(screen, panel, TFormControlKind::Edit);
}
QComboBox* Combo(TExecScreenForm* screen, int panel) {
  return ControlOf<QComboBox>(screen, panel, TFormControlKind::ComboBox);
}

std::vector<std::vector<std::string>> PreviewRows(const TExecReportForm& report) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < report.PreviewList->topLevelItemCount(); ++i) {
    std::vector<std::string> row;
    for (int c = 0; c < kPreviewColumnCount; ++c) {
      row.push_back(report.PreviewList->topLevelItem(i)->text(c).toStdString());
    }
    rows.push_back(row);
  }
  return rows;
}

class WizardRunTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    Resources.Add(kSchemeResourceName, Bytes(ReadWholeFile(SampleSchemePath())));
    SetExtractionRoot(Scratch.Path().string());
    std::filesystem::create_directory(Scratch.Path() / "Documents");
    Shell.Documents = (Scratch.Path() / "Documents").string();
  }
  void TearDown() override {
    SetExtractionRoot("");
    UIText = kInitialUIText;
    GuiTest::TearDown();
  }
  static std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

  ScratchFolder Scratch;
  ScopedModuleResources Resources;
  RecordingSleeper Sleeper;
  TQtMessageWindow Errors{TQtMessageWindow::TKind::Error};
  IMessageWindow* PreviousErrors = SetErrorWindow(&Errors);
  RecordingShell Shell;
  TQtMessageWindow Messages{TQtMessageWindow::TKind::Message};
  IMessageWindow* PreviousMessages = SetMessageWindow(&Messages);
};

TEST_F(WizardRunTest, EveryScreenOfTheSampleToTheExportedOffer) {
  const std::string saved = Scratch.File("run.qvs");
  std::vector<std::string> titles;
  std::string refusal;
  bool textShown = false;
  bool pictureShown = false;
  bool sizeRestored = false;
  QString loadAfterLoad;
  std::vector<std::vector<std::string>> preview;
  // A step on the screen of that title: what the user does there, which answers the button
  // to click then.
  auto onScreen = [&](const char* title, std::function<QAbstractButton*(TExecScreenForm*)> act) {
    return [&titles, title, act](QWidget* modal) {
      TExecScreenForm* s = ScreenTitled(modal, title);
      if (!s) return false;
      titles.push_back(title);
      QAbstractButton* button = act(s);
      Later([button] { button->click(); });
      return true;
    };
  };
  auto load = [&](const char* kg) {
    return [kg](TExecScreenForm* s) -> QAbstractButton* {
      Type(Edit(s, 0), kg);
      Radio(s, 1, 1)->click();
      Type(Edit(s, 2), "3");
      return s->NextBtn;
    };
  };
  auto fileDialog = [&](QFileDialog::AcceptMode mode) {
    return [&, mode](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (!dialog || dialog->acceptMode() != mode) return false;
      // The file name typed into the dialog's own field, then Enter.
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      if (!name) return false;
      name->setText(QString::fromStdString(saved));
      Later([name] { QTest::keyClick(name, Qt::Key_Return); });
      return true;
    };
  };

  ModalRobot robot(
      {
          // Installation: a radio answer, a typed text, and the information's text pop-up whose
          // link replaces it with a picture.
          // Next is clicked once the pop-up has gone, not by onScreen: the pop-up's wait would
          // run that click while it is shown.
          [&](QWidget* modal) {
            TExecScreenForm* s = ScreenTitled(modal, "Установка");
            if (!s) return false;
            titles.push_back("Установка");
            Radio(s, 0, 0)->click();
            Type(Edit(s, 1), "Acme & Co");
            auto* about = ControlOf<TFormDescription>(s, 2, TFormControlKind::Description);
            Later([&, s, about] {
              // Inside the wait of the text pop-up.
              QTimer::singleShot(0, [&] {
                textShown =
                    TextResourceForm->isVisible() && TextResourceForm->TextView->isVisible();
                // Inside the wait of the picture that replaced the text.
                QTimer::singleShot(0, [&] {
                  const QLabel* image = TextResourceForm->ImageView;
                  pictureShown = TextResourceForm->isVisible() && image->isVisible() &&
                                 !image->pixmap().isNull();
                  TextResourceForm->FormKeyDown(TextResourceForm, Qt::Key_Escape);
                });
                SendClick(TextResourceForm->TextView->viewport(),
                          LinkPoint(*TextResourceForm->TextView, 0));
              });
              SendClick(about->viewport(), LinkPoint(*about, 0));
              s->NextBtn->click();
            });
            return true;
          },
          // Size: 47 units, then on the next screen Back.
          onScreen("Размер",
                   [&](TExecScreenForm* s) -> QAbstractButton* {
                     Radio(s, 0, 3)->click();
                     Pick(Combo(s, 1), "800");
                     Pick(Combo(s, 2), "1000");
                     return s->NextBtn;
                   }),
          onScreen("Нагрузка", [&](TExecScreenForm* s) -> QAbstractButton* { return s->BackBtn; }),
          // Back on Size shows the answers given; 42 units now.
          onScreen("Размер",
                   [&](TExecScreenForm* s) -> QAbstractButton* {
                     sizeRestored = Radio(s, 0, 3)->isChecked() &&
                                    Combo(s, 1)->currentText() == "800" &&
                                    Combo(s, 2)->currentText() == "1000";
                     Radio(s, 0, 2)->click();
                     return s->NextBtn;
                   }),
          // Load: saved as it is shown, then a load below the minimum is refused.
          onScreen("Нагрузка", [&](TExecScreenForm* s) -> QAbstractButton* { return s->SaveBtn; }),
          fileDialog(QFileDialog::AcceptSave),
          onScreen("Нагрузка", load("5")),
          [&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return false;
            refusal = box->text().toStdString();
            Later([box] { box->button(QMessageBox::Ok)->click(); });
            return true;
          },
          onScreen("Нагрузка",
                   [&](TExecScreenForm* s) -> QAbstractButton* {
                     Type(Edit(s, 0), "900");
                     return s->NextBtn;
                   }),
          // Equipment: answered, then the state saved on Load is loaded.
          onScreen("Комплектация",
                   [&](TExecScreenForm* s) -> QAbstractButton* {
                     ControlOf<QAbstractButton>(s, 0, TFormControlKind::CheckBox)->click();
                     return s->LoadBtn;
                   }),
          fileDialog(QFileDialog::AcceptOpen),
          onScreen("Нагрузка",
                   [&](TExecScreenForm* s) {
                     loadAfterLoad = Edit(s, 0)->text();
                     return load("900")(s);
                   }),
          onScreen("Комплектация",
                   [&](TExecScreenForm* s) -> QAbstractButton* {
                     ControlOf<QAbstractButton>(s, 0, TFormControlKind::CheckBox)->click();
                     Pick(Combo(s, 1), "400 (три фазы)");
                     Pick(Combo(s, 2), "Снизу");
                     return s->NextBtn;
                   }),
          // The preview, then Export of the offer from the menu.
          [&](QWidget* modal) {
            auto* report = dynamic_cast<TExecReportForm*>(modal);
            if (!report) return false;
            titles.push_back(report->windowTitle().toStdString());
            preview = PreviewRows(*report);
            Later([report] {
              report->NextBtn->click();
              QMenu* menu = report->ExportMenu;
              if (!menu->isVisible() || menu->actions().isEmpty()) {
                ADD_FAILURE() << "Export opened no menu";
                return;
              }
              menu->setActiveAction(menu->actions().front());
              QTest::keyClick(menu, Qt::Key_Return);
            });
            return true;
          },
          [&](QWidget* modal) {
            auto* report = dynamic_cast<TExecReportForm*>(modal);
            if (!report || Shell.Opened.empty()) return false;
            Later([report] { report->CloseBtn->click(); });
            return true;
          },
      },
      20000);

  EXPECT_EQ(RunStartUp(), 0);
  SetMessageWindow(PreviousMessages);
  SetErrorWindow(PreviousErrors);

  EXPECT_TRUE(robot.Done());
  EXPECT_EQ(titles, (std::vector<std::string>{"Установка", "Размер", "Нагрузка", "Размер",
                                              "Нагрузка", "Нагрузка", "Нагрузка", "Комплектация",
                                              "Нагрузка", "Комплектация", "Просмотр"}));
  EXPECT_TRUE(textShown);
  EXPECT_TRUE(pictureShown);
  EXPECT_TRUE(sizeRestored);
  EXPECT_EQ(refusal, "Значение 'Нагрузка, кг' не должно быть меньше 10.00.");
  EXPECT_TRUE(std::filesystem::exists(saved));
  // The state was saved as the screen was shown, before anything was typed on it.
  EXPECT_EQ(loadAfterLoad.toStdString(), "100");

  // 42U 800 x 1000 (the 47U chosen before Back is gone), perforated door, the heavy-duty
  // plinth (the decision point tries its conditions last one first, and 900 kg is above 800,
  // so the plinth wins over the shelves), three-phase power, cables from below: by ordering
  // index, price x quantity.
  const std::vector<std::vector<std::string>> expected = {
      {"RC-42-800", "Шкаф 42U 800x1000", "1", "16400.00", "16400.00"},
      {"DR-PF", "Дверь перфорированная", "1", "2400.00", "2400.00"},
      {"DR-SIDE", "Панели боковые, пара", "1", "2600.00", "2600.00"},
      {"BS-HD", "Цоколь усиленный", "1", "1900.00", "1900.00"},
      {"CN-50", "Гайки закладные, 50 шт.", "2", "240.00", "480.00"},
      {"CE-BOT", "Кабельный ввод нижний", "1", "180.00", "180.00"},
      {"PDU-3PH", "Блок розеток 400 В", "1", "1850.00", "1850.00"},
      {"PC-C13", "Шнур питания C13", "2", "95.00", "190.00"},
      // 26000 and 20 % VAT.
      {"", "", "", "Сумма, грн:", "26000.00"},
      {"", "", "", "НДС, грн:", "5200.00"},
      {"", "", "", "Всего, грн:", "31200.00"},
      {"", "", "", "", ""},
      {"", "", "", "Монтажных единиц:", "42"},
      {"", "", "", "Горизонтали:", "5"},
      {"", "", "", "Вертикали:", "4"},
      // 42 x 1.8 + 3 x 2.5; 800 x 1000 x (42 x 44 + 100) mm.
      {"", "", "", "Общий вес:", "83.1"},
      {"", "", "", "Общий объём:", "1.5584"},
      {"", "", "", "Общий объём, л:", "1558.4"},
      {"", "", "", "Ширина:", "800"},
      {"", "", "", "Высота:", "1948"},
      {"", "", "", "Глубина:", "1000"},
  };
  EXPECT_EQ(preview, expected);

  // The offer went to a new workbook in the user's documents folder, opened on the desktop.
  ASSERT_EQ(Shell.Opened.size(), 1u);
  const std::string opened = Shell.Opened.front();
  ASSERT_EQ(opened.rfind("file ", 0), 0u) << opened;
  const std::filesystem::path book = opened.substr(5);
  EXPECT_EQ(book.extension(), ".xlsx");
  EXPECT_EQ(book.parent_path(), Scratch.Path() / "Documents");
  EXPECT_TRUE(std::filesystem::exists(book)) << book;
}

}  // namespace
