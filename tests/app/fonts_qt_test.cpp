#include "platform/fonts_qt.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QWindow>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/runscreen.h"
#include "model/core.h"
#include "model/report.h"
#include "platform/cp1251_qt.h"
#include "platform/messages_qt.h"
#include "report/repview.h"
#include "tests/app/app_support.h"
#include "tests/support/test_paths.h"

namespace {

class DesignFontTest : public GuiTest {};

// Widths at 11 pixels in the design faces: "Дата актуализации:" and two pangrams.
TEST_F(DesignFontTest, TheStandInTakesAboutTheDesignFacesWidths) {
  struct Row {
    std::string name;
    TDesignFace face;
    const char* text;
    int width;
  };
  const Row rows[] = {
      {"Tahoma, the date's caption", TDesignFace::Tahoma, "Дата актуализации:", 101},
      {"Tahoma, Latin", TDesignFace::Tahoma, "The quick brown fox jumps over the lazy dog", 219},
      {"Tahoma, Cyrillic", TDesignFace::Tahoma,
       "Съешь же ещё этих мягких французских булок, да выпей чаю", 315},
      {"Arial, Latin", TDesignFace::Arial, "The quick brown fox jumps over the lazy dog", 217},
      {"MS Sans Serif, as Tahoma", TDesignFace::MsSansSerif, "Дата актуализации:", 101},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const QFont font = DesignFont(row.face, 11);
    const int width = QFontMetrics(font).horizontalAdvance(QString::fromUtf8(row.text));
    // Within 3 %: DejaVu Sans, about a sixth wider, would cut the captions laid out for them.
    EXPECT_LE(std::abs(width - row.width) * 100, 3 * row.width) << width;
    EXPECT_EQ(QFontInfo(font).family(), StandInFamily(row.face)) << "an installed family";
  }
}

TEST_F(DesignFontTest, SizesAreInPixelsAndLinesAsHighAsTheDesignFacesLines) {
  struct Row {
    std::string name;
    TDesignFace face;
    int pixels;
    bool bold;
    int line;
  };
  const Row rows[] = {
      {"Tahoma 8 pt", TDesignFace::Tahoma, 11, false, 13},
      {"Tahoma 8 pt bold", TDesignFace::Tahoma, 11, true, 13},
      {"Arial of height -13", TDesignFace::Arial, 13, false, 15},
      {"MS Sans Serif 8 pt", TDesignFace::MsSansSerif, 11, false, 13},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const QFont font = DesignFont(row.face, row.pixels, row.bold);
    EXPECT_EQ(font.pixelSize(), row.pixels);
    EXPECT_EQ(font.pointSize(), -1) << "a point size would grow with the dpi";
    EXPECT_EQ(font.bold(), row.bold);
    EXPECT_EQ(DesignLineHeight(row.face, row.pixels), row.line);
    EXPECT_GE(DesignLineHeight(row.face, row.pixels), QFontMetrics(font).height());
  }
}

TEST_F(DesignFontTest, DesignFacesAreKnownByName) {
  struct Row {
    std::string name;
    bool known;
    TDesignFace face;
  };
  const Row rows[] = {
      {"Tahoma", true, TDesignFace::Tahoma},
      {"tahoma", true, TDesignFace::Tahoma},
      {"Arial", true, TDesignFace::Arial},
      {"MS Sans Serif", true, TDesignFace::MsSansSerif},
      {"Courier New", false, TDesignFace::Tahoma},
      {"", false, TDesignFace::Tahoma},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TDesignFace face = TDesignFace::Tahoma;
    EXPECT_EQ(DesignFaceByName(row.name, face), row.known);
    if (row.known) {
      EXPECT_EQ(face, row.face);
    }
  }
}

class ApplicationFontTest : public DesignFontGuiTest {};

TEST_F(ApplicationFontTest, TextsOfWindowsWithoutAFontOfTheirOwnAreInTheProgramsFace) {
  TExecScreenForm screen;
  TExecReportForm report;
  struct Row {
    std::string name;
    std::function<QFont()> font;
  };
  const Row rows[] = {
      {"the export menu", [&] { return report.ExportMenu->font(); }},
      {"a tooltip", [] { return QToolTip::font(); }},
      {"the file dialog's list",
       [&] { return screen.OpenDialog()->findChild<QTreeView*>()->font(); }},
      {"the file dialog's buttons",
       [&] { return screen.SaveDialog()->findChild<QPushButton*>()->font(); }},
      {"the entries of a drop-down list",
       [&] {
         auto* list =
             dynamic_cast<QComboBox*>(screen.AddComboBox(screen.AddQuestionPanel(), 10, 10, 200));
         return list->view()->window()->font();
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const QFontInfo shown(row.font());
    EXPECT_EQ(shown.family(), StandInFamily(TDesignFace::Tahoma));
    EXPECT_EQ(shown.pixelSize(), 11);
  }
}

// What the shots below are called, in the order they are taken.
const char* const kFaceShots[] = {"tooltip.png", "save-dialog.png", "message.png",
                                  "export-menu.png"};

// A text in the program's code page.
std::string Cp1251(const char* utf8) {
  return QStringToCp1251(QString::fromUtf8(utf8));
}

// The texts the run gives both forms, with the C locale's date.
template <typename Form>
void SetTitleTexts(Form& form, const char* title) {
  form.SetCaption(Cp1251(title));
  form.SetScreenTitle(Cp1251(title));
  form.SetActualTitleLbl(Cp1251("Дата актуализации:"));
  form.SetActualLbl("11 Dec 2026");
  form.SetBackBtnCaption(Cp1251("<< Назад"));
  form.SetCloseBtnCaption(Cp1251("Закрыть"));
}

bool Exposed(QWidget* window) {
  return window->windowHandle() && window->windowHandle()->isExposed();
}

void Grab(const std::string& folder, const char* name) {
  Settle(400);
  const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  EXPECT_TRUE(shot.save(QString::fromStdString(folder + "/" + name))) << name;
}

// Starts the window manager named and waits until it has framed a window.
void StartWindowManager(QProcess& manager, const QString& name) {
  manager.setProcessChannelMode(QProcess::ForwardedChannels);
  manager.start(name, {"--sm-disable"});
  ASSERT_TRUE(manager.waitForStarted()) << name.toStdString();
  QWidget probe;
  probe.resize(100, 100);
  probe.show();
  QElapsedTimer clock;
  clock.start();
  while (probe.windowHandle()->frameMargins().isNull() && clock.elapsed() < 10000) Settle(50);
  ASSERT_FALSE(probe.windowHandle()->frameMargins().isNull())
      << "no window manager framed a window";
}

// Run by the cases below inside the virtual display, with or without a window manager; skipped
// elsewhere. Shows the texts of windows that set no font of their own over a screen: the Save
// button's tooltip, the Save dialog on a folder of saved runs, a message box and the preview's
// export menu, each grabbed from the screen.
TEST(FaceShots, GrabsTheWindowsWithoutAFontOfTheirOwn) {
  const char* env = std::getenv("QUORVANE_FACE_SHOT_DIR");
  if (!env) GTEST_SKIP() << "runs inside the virtual display of the cases below";
  const std::string folder = env;
  TestApplication();
  QProcess manager;
  if (const char* name = std::getenv("QUORVANE_FACE_SHOT_WM")) {
    ASSERT_NO_FATAL_FAILURE(StartWindowManager(manager, name));
  }
  SetApplicationDesignFont();
  SetApplicationTitle(Cp1251("Мастер"));
  ScratchFolder saves;
  saves.WriteFile("cabinet.qvs", std::string("\x34\x12\xED\x5E", 4) + std::string(261, '\0'));
  saves.WriteFile("rack 42U, perforated door.qvs",
                  std::string("\x34\x12\xED\x5E", 4) + std::string(1532, '\0'));

  TExecScreenForm screen;
  SetTitleTexts(screen, "Нагрузка");
  screen.SetScreenDesc(Cp1251("Нагрузка и полки."));
  screen.SetNextBtnCaption(Cp1251("Далее >>"));
  screen.SetSaveBtnHint(Cp1251("Сохранить состояние"));
  screen.SetLoadBtnHint(Cp1251("Загрузить состояние"));
  screen.AdjustScreenDescHeight();
  screen.FitPanelHeight(screen.TitlePanel());
  QFileDialog* save = screen.SaveDialog();
  save->setDirectory(QString::fromStdString(saves.Path().string()));
  TQtMessageWindow messages;

  QObject context;
  ModalRobot screenRobot(
      {[&](QWidget* modal) {
         if (modal != &screen || !Exposed(&screen)) return false;
         Settle(300);
         QToolTip::showText(screen.SaveBtn->mapToGlobal(QPoint(12, 30)), screen.SaveBtn->toolTip(),
                            screen.SaveBtn);
         Grab(folder, kFaceShots[0]);
         QToolTip::hideText();
         QTimer::singleShot(0, &context, [&] {
           std::string chosen;
           screen.ExecuteSaveDialog(chosen);
         });
         return true;
       },
       [&](QWidget* modal) {
         auto* model = save->findChild<QFileSystemModel*>();
         if (modal != save || !Exposed(save) || !model) return false;
         const QModelIndex root = model->index(model->rootPath());
         if (model->rowCount(root) != 2 || model->index(0, 3, root).data().toString().isEmpty()) {
           return false;
         }
         Grab(folder, kFaceShots[1]);
         save->reject();
         QTimer::singleShot(0, &context, [&] {
           messages.ShowMessage(Cp1251("Значение 'Нагрузка, кг' не должно быть меньше 10.00."));
         });
         return true;
       },
       [&](QWidget* modal) {
         auto* box = qobject_cast<QMessageBox*>(modal);
         if (!box || !Exposed(box)) return false;
         Grab(folder, kFaceShots[2]);
         box->buttons().front()->click();
         return true;
       },
       [&](QWidget* modal) {
         if (modal != &screen) return false;
         screen.SetModalResult(mrYes);
         return true;
       }},
      20000);
  EXPECT_EQ(screen.ShowModal(), mrYes);
  EXPECT_TRUE(screenRobot.Done());

  TSpecTemplate scheme;
  scheme.AddReport()->SetName(Cp1251("Коммерческое предложение"));
  scheme.AddReport()->SetName(Cp1251("Спецификация"));
  TExecReportForm report;
  SetTitleTexts(report, "Просмотр");
  report.SetNextBtnCaption(Cp1251("Экспорт"));
  const char* titles[] = {"Код", "Наименование", "Количество", "Цена", "Сумма"};
  for (int i = 0; i < 5; ++i) report.SetColumnTitle(i, Cp1251(titles[i]));
  const char* totals[] = {"Итого, грн:", "НДС, грн:", "Всего с НДС, грн:"};
  for (int i = 0; i < 3; ++i) report.SetReportText(i, Cp1251(totals[i]));
  report.SetCloseBtnClick([&report] { report.SetModalResult(mrCancel); });
  const std::vector<std::string> none;
  ModalRobot reportRobot({[&](QWidget* modal) {
                           if (modal != &report || !Exposed(&report)) return false;
                           Settle(300);
                           report.NextBtnClick();
                           Grab(folder, kFaceShots[3]);
                           report.ExportMenu->hide();
                           report.SetModalResult(mrCancel);
                           return true;
                         }},
                         20000);
  report.ShowReport(&scheme, &none, &none);
  EXPECT_TRUE(reportRobot.Done());
  SetApplicationTitle("");
}

// The shots of the case above, bare and under a window manager, kept in
// test-artifacts/faces/<manager>.
void GrabFaceShots(const char* manager) {
  const std::filesystem::path artifacts = std::filesystem::path(QUORVANE_BINARY_DIR) /
                                          "test-artifacts" / "faces" / (manager ? manager : "bare");
  if (manager) setenv("QUORVANE_FACE_SHOT_WM", manager, 1);
  RunCaseInVirtualDisplay("FaceShots.GrabsTheWindowsWithoutAFontOfTheirOwn",
                          "QUORVANE_FACE_SHOT_DIR", artifacts);
  unsetenv("QUORVANE_FACE_SHOT_WM");
  for (const char* name : kFaceShots) {
    EXPECT_FALSE(QImage(QString::fromStdString((artifacts / name).string())).isNull()) << name;
  }
}

TEST(FacesOnDisplay, WithoutAWindowManager) {
  if (!VirtualDisplayAvailable()) GTEST_SKIP() << "Xvfb is not installed";
  GrabFaceShots(nullptr);
}

TEST(FacesOnDisplay, UnderOpenbox) {
  if (!VirtualDisplayAvailable()) GTEST_SKIP() << "Xvfb is not installed";
  if (QStandardPaths::findExecutable("openbox").isEmpty()) GTEST_SKIP() << "no openbox";
  GrabFaceShots("openbox");
}

}  // namespace
