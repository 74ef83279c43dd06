// The whole program in-process on the sample scheme: the real start-up, screen form, message
// box, file dialogs, resource pop-up and report form, driven by a robot that acts on the active
// modal window as a user would. The preview is checked against sums worked out by hand for the
// answers the robot gives.
#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <map>
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

// Where a text is drawn in its label, in the coordinates of the label's window.
QRect TextRect(const QLabel* label) {
  const QFontMetrics metrics(label->font());
  const QRect box = label->contentsRect();
  int width = 0;
  for (const QString& line : label->text().split('\n')) {
    width = std::max(width, metrics.horizontalAdvance(line));
  }
  const int left = label->alignment() & Qt::AlignRight ? box.right() + 1 - width : box.left();
  const QRect text(left, box.top(), width, box.height());
  return text.translated(label->mapTo(label->window(), QPoint(0, 0)));
}

// Every text of a window that is not shown whole: a label narrower or lower than its text, a
// label whose text runs into another's, a description lower than its lines, a button narrower
// than its caption, a preview column narrower than its title or than a cell's text.
std::vector<std::string> CutTexts(QWidget* window) {
  std::vector<std::string> cut;
  const auto name = [](const QWidget* w, const QString& text) {
    return (w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName())
               .toStdString() +
           " \"" + text.toStdString() + "\"";
  };
  std::vector<const QLabel*> labels;
  for (const QLabel* label : window->findChildren<QLabel*>()) {
    if (!label->isVisibleTo(window) || label->text().isEmpty()) continue;
    labels.push_back(label);
    const QFontMetrics metrics(label->font());
    const QRect box = label->contentsRect();
    const QRect needed =
        label->wordWrap()
            ? metrics.boundingRect(QRect(0, 0, box.width(), 10000), Qt::TextWordWrap, label->text())
            : QRect(0, 0, TextRect(label).width(),
                    metrics.height() * static_cast<int>(label->text().count('\n') + 1));
    if (needed.width() > box.width() || needed.height() > box.height()) {
      cut.push_back(name(label, label->text()) + " needs " + std::to_string(needed.width()) +
                    " x " + std::to_string(needed.height()) + ", has " +
                    std::to_string(box.width()) + " x " + std::to_string(box.height()));
    }
  }
  for (std::size_t i = 0; i < labels.size(); ++i) {
    for (std::size_t j = i + 1; j < labels.size(); ++j) {
      if (labels[i]->parentWidget() != labels[j]->parentWidget()) continue;
      if (TextRect(labels[i]).intersects(TextRect(labels[j]))) {
        cut.push_back(name(labels[i], labels[i]->text()) + " runs into " +
                      name(labels[j], labels[j]->text()));
      }
    }
  }
  for (THyperLinkView* view : window->findChildren<THyperLinkView*>()) {
    if (!view->isVisibleTo(window)) continue;
    view->LineCount();  // lays the document out at the view's width
    const int needed = static_cast<int>(view->document()->size().height());
    if (needed > view->viewport()->height()) {
      cut.push_back(name(view, view->toPlainText()) + " needs " + std::to_string(needed) +
                    " high, has " + std::to_string(view->viewport()->height()));
    }
  }
  for (const QPushButton* button : window->findChildren<QPushButton*>()) {
    if (!button->isVisibleTo(window) || button->text().isEmpty()) continue;
    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
    const int needed = QFontMetrics(button->font()).horizontalAdvance(button->text()) + 2 * margin;
    if (needed > button->width()) cut.push_back(name(button, button->text()) + " is too narrow");
  }
  for (const QTreeWidget* list : window->findChildren<QTreeWidget*>()) {
    const QHeaderView* header = list->header();
    for (int c = 0; c < list->columnCount(); ++c) {
      if (header->sectionSizeHint(c) > header->sectionSize(c)) {
        cut.push_back(name(list, list->headerItem()->text(c)) + " title is cut");
      }
    }
    // As the rows are drawn: 6 pixels from the aligned edge, bold on styled rows; a label row's
    // label may use the empty cells on its left.
    for (int r = 0; r < list->topLevelItemCount(); ++r) {
      const QTreeWidgetItem* row = list->topLevelItem(r);
      QFont font = list->font();
      font.setBold(row->data(0, kRowStyleRole).toInt() > 0);
      const QFontMetrics metrics(font);
      const bool labelRow = row->text(0).isEmpty() && row->text(1).isEmpty() &&
                            row->text(2).isEmpty() && !row->text(3).isEmpty();
      for (int c = 0; c < list->columnCount(); ++c) {
        int room = header->sectionSize(c);
        if (labelRow && c == 3)
          room += header->sectionSize(0) + header->sectionSize(1) + header->sectionSize(2);
        if (metrics.horizontalAdvance(row->text(c)) + 6 > room) {
          cut.push_back(name(list, row->text(c)) + " does not fit its cell");
        }
      }
    }
  }
  return cut;
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
  std::string exported;  // the menu entry of the template exported
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
            Later([report, &exported] {
              report->NextBtn->click();
              QMenu* menu = report->ExportMenu;
              if (!menu->isVisible() || menu->actions().isEmpty()) {
                ADD_FAILURE() << "Export opened no menu";
                return;
              }
              menu->setActiveAction(menu->actions().front());
              exported = menu->actions().front()->text().toStdString();
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
  // Named from the template chosen in the menu and the day.
  EXPECT_EQ(book.stem().string().rfind(exported + " ", 0), 0u) << book << " of " << exported;
  EXPECT_TRUE(std::filesystem::exists(book)) << book;
}

TEST_F(WizardRunTest, EveryTextOfTheSampleIsShownWholeOnItsScreensPopUpsAndPreview) {
  std::map<std::string, std::vector<std::string>> cut;
  std::vector<std::string> seen;
  const auto walk = [&](const std::string& where, QWidget* window) {
    seen.push_back(where);
    for (std::string& text : CutTexts(window)) cut[where].push_back(std::move(text));
  };
  // A step on the screen of that title: the texts are walked, the answers given, then Next.
  auto onScreen = [&](const char* title, std::function<void(TExecScreenForm*)> answer) {
    return [&, title, answer](QWidget* modal) {
      TExecScreenForm* s = ScreenTitled(modal, title);
      if (!s) return false;
      walk(title, s);
      answer(s);
      Later([s] { s->NextBtn->click(); });
      return true;
    };
  };
  ModalRobot robot({
                       [&](QWidget* modal) {
                         TExecScreenForm* s = ScreenTitled(modal, "Установка");
                         if (!s) return false;
                         walk("Установка", s);
                         // The information's text pop-up, and the picture its link shows.
                         auto* about =
                             ControlOf<TFormDescription>(s, 2, TFormControlKind::Description);
                         Later([&, s, about] {
                           QTimer::singleShot(0, [&] {
                             walk("the text pop-up", TextResourceForm);
                             QTimer::singleShot(0, [&] {
                               walk("the picture pop-up", TextResourceForm);
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
                       onScreen("Размер", [](TExecScreenForm*) {}),
                       onScreen("Нагрузка",
                                [](TExecScreenForm* s) {
                                  Type(Edit(s, 0), "900");
                                  Radio(s, 1, 1)->click();
                                  Type(Edit(s, 2), "3");
                                }),
                       onScreen("Комплектация", [](TExecScreenForm*) {}),
                       [&](QWidget* modal) {
                         auto* report = dynamic_cast<TExecReportForm*>(modal);
                         if (!report) return false;
                         walk("Просмотр", report);
                         Later([report] { report->CloseBtn->click(); });
                         return true;
                       },
                   },
                   20000);
  EXPECT_EQ(RunStartUp(), 0);
  SetMessageWindow(PreviousMessages);
  SetErrorWindow(PreviousErrors);
  EXPECT_TRUE(robot.Done());
  EXPECT_EQ(seen, (std::vector<std::string>{"Установка", "the text pop-up", "the picture pop-up",
                                            "Размер", "Нагрузка", "Комплектация", "Просмотр"}));
  for (const auto& [where, texts] : cut) {
    for (const std::string& text : texts) ADD_FAILURE() << where << ": " << text;
  }
}

}  // namespace
