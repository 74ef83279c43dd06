// The screen form in a real window under Xvfb: one screen of each question kind, laid out as
// the engine builds it, grabbed from the screen and kept as the test's artifacts.
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QWindow>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/runscreen.h"
#include "tests/app/app_support.h"

namespace {

constexpr int kQuestionKinds = 11;
const char* const kKindNames[kQuestionKinds] = {
    "check box - logical",    "input field - float",   "input field - integer",
    "input field - string",   "option list - integer", "dropdown list - integer",
    "option list - float",    "dropdown list - float", "option list - string",
    "dropdown list - string", "information - string",
};

// One screen of one question of the kind, with descriptions, at the positions the engine
// gives its controls.
void BuildScreen(TExecScreenForm& form, int kind) {
  form.SetBackBtnCaption("< Back");
  form.SetNextBtnCaption("Next >");
  form.SetCloseBtnCaption("Close");
  form.SetActualTitleLbl("Prices as of:");
  form.SetActualLbl("10.12.2026");
  form.SetBackBtnEnabled(kind != 0);
  const std::string title = std::string("Cabinets & racks: ") + kKindNames[kind];
  form.ClearQuestionPanels();
  form.SetCaption(title);
  form.SetScreenTitle(IExecScreenForm::EscapeAmpersands(title));
  form.SetScreenDesc(
      "Choose the cabinet that fits your room. See <sizes>the size table</> "
      "or the <guide>installation guide</>.");
  form.AdjustScreenDescHeight();
  form.FitPanelHeight(form.TitlePanel());

  IFormPanel* panel = form.AddQuestionPanel();
  const int h = form.AddQuestionLabel(panel, "Height & width", 10, 10, nullptr);
  const std::string description = "Measured in <units>millimetres</>, without the feet.";
  if (kind == 0) {
    const int y = h + 20;
    form.AddCheckBox(panel, 10, y, true);
    form.AddDescription(panel, "Doors that lock with a key.", 30, y);
  } else if (kind == 4 || kind == 6 || kind == 8) {
    int y = h + 13;
    y += form.AddDescription(panel, description, 10, y) + 10;
    const char* answers[] = {"600 x 600", "600 x 800", "800 x 1000"};
    for (int i = 0; i < 3; ++i) {
      IFormControl* radio = form.AddRadioButton(panel, i, 10, y, i == 1);
      y += form.AddQuestionLabel(panel, answers[i], 30, y, radio) + 3;
      if (i == 2) y += form.AddDescription(panel, "Needs a <wide>wide door</>.", 30, y) + 5;
    }
  } else {
    int y = h + 20;
    y += form.AddDescription(panel, description, 10, y);
    y += 10;
    if (kind == 1) form.AddEdit(panel, 10, y, 100, "2.5");
    if (kind == 2) form.AddEdit(panel, 10, y, 100, "42");
    if (kind == 3) form.AddEdit(panel, 10, y, 200, "Server room \"B\"");
    if (kind == 10) form.AddReadOnlyEdit(panel, 10, y, 200, "Shown, never stored");
    if (kind == 5 || kind == 7 || kind == 9) {
      IFormControl* list = form.AddComboBox(panel, 10, y, 200);
      list->AddItem("600 x 600", 0);
      list->AddItem("600 x 800", 1);
      list->SetItemIndex(1);
    }
  }
  form.FitPanelHeight(panel);
  form.FitFormHeight();
}

std::string ShotName(int kind) {
  return "kind-" + std::string(kind < 10 ? "0" : "") + std::to_string(kind) + ".png";
}

class ScreenFormShots : public GuiTest {};

// Run by the case below inside the virtual display; skipped elsewhere.
TEST_F(ScreenFormShots, GrabsAScreenOfEachKind) {
  const char* folder = std::getenv("QUORVANE_SHOT_DIR");
  if (!folder) GTEST_SKIP() << "runs inside the virtual display of the case below";
  for (int kind = 0; kind < kQuestionKinds; ++kind) {
    SCOPED_TRACE(kind);
    TExecScreenForm form;
    BuildScreen(form, kind);
    form.show();
    QElapsedTimer clock;
    clock.start();
    while (!(form.windowHandle() && form.windowHandle()->isExposed()) && clock.elapsed() < 5000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    clock.restart();
    while (clock.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    ASSERT_TRUE(screen.save(QString(folder) + "/" + QString::fromStdString(ShotName(kind))));
    // Where the form stands, for the case below to compare.
    std::FILE* out = std::fopen((std::string(folder) + "/" + ShotName(kind) + ".txt").c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fprintf(out, "%d %d %d %d\n", form.x(), form.y(), form.width(), form.height());
    std::fclose(out);
    form.hide();
  }
}

TEST(ScreenFormOnDisplay, AScreenOfEachQuestionKindIsShownWhereTheFormStands) {
  const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
  if (xvfbRun.isEmpty() || QStandardPaths::findExecutable("Xvfb").isEmpty()) {
    GTEST_SKIP() << "Xvfb is not installed";
  }
  const std::filesystem::path artifacts =
      std::filesystem::path(QUORVANE_BINARY_DIR) / "test-artifacts" / "screens";
  std::filesystem::remove_all(artifacts);
  std::filesystem::create_directories(artifacts);

  QProcess session;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "xcb");
  environment.insert("QUORVANE_SHOT_DIR", QString::fromStdString(artifacts.string()));
  // Under the sanitizers, the X11 platform's D-Bus connection keeps a buffer to the end; the
  // offscreen cases check the form's own memory.
  const QString sanitizer = environment.value("ASAN_OPTIONS");
  environment.insert("ASAN_OPTIONS",
                     sanitizer + (sanitizer.isEmpty() ? "" : ":") + "detect_leaks=0");
  session.setProcessEnvironment(environment);
  session.setProcessChannelMode(QProcess::MergedChannels);
  session.start(xvfbRun, {"-a", "-s", "-screen 0 1024x768x24 -br -nolisten tcp",
                          QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe")),
                          "--gtest_filter=ScreenFormShots.GrabsAScreenOfEachKind"});
  ASSERT_TRUE(session.waitForStarted());
  ASSERT_TRUE(session.waitForFinished(120000)) << "the virtual display session hung";
  const std::string output = QString::fromUtf8(session.readAll()).toStdString();
  ASSERT_EQ(session.exitCode(), 0) << output;
  ASSERT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;

  for (int kind = 0; kind < kQuestionKinds; ++kind) {
    SCOPED_TRACE(kKindNames[kind]);
    const std::string shot = (artifacts / ShotName(kind)).string();
    const QImage screen =
        QImage(QString::fromStdString(shot)).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(screen.isNull()) << shot;
    RecordProperty("screen_" + std::to_string(kind), shot);
    int x = 0, y = 0, width = 0, height = 0;
    std::FILE* in = std::fopen((shot + ".txt").c_str(), "r");
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(std::fscanf(in, "%d %d %d %d", &x, &y, &width, &height), 4);
    std::fclose(in);
    std::filesystem::remove(shot + ".txt");
    EXPECT_EQ(width, 524);
    // The window without a frame (no window manager) is all that is lit.
    EXPECT_EQ(LitArea(screen), QRect(x, y, width, height));
    // The white title panel at the top, the button face below the question area.
    EXPECT_EQ(screen.pixelColor(x + 400, y + 23), QColor(Qt::white));
    EXPECT_EQ(screen.pixelColor(x + 200, y + height - 5), QColor(0xF0, 0xF0, 0xF0));
  }
}

}  // namespace
