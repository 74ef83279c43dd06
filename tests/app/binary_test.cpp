// The real program, started as a separate process.
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <filesystem>
#include <string>

#include "app/pictures.h"
#include "app/wz_about.h"
#include "tests/app/app_support.h"
#include "tests/support/test_paths.h"

namespace {

// Long enough for the 4 s splash and the load on a busy machine; a program that is still
// running then waits for something (a message box) and has failed.
constexpr int kProgramTimeoutMs = 30000;

// The program's environment with its settings kept in a scratch folder, never the user's.
QProcessEnvironment ProgramEnvironment(const ScratchFolder& config) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("XDG_CONFIG_HOME", QString::fromStdString(config.Path().string()));
  return environment;
}

TEST(Program, OffscreenOnASchemeWithoutScreensEndsByItselfAfterTheSplash) {
  QProcess program;
  const ScratchFolder config;
  QProcessEnvironment environment = ProgramEnvironment(config);
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QElapsedTimer clock;
  clock.start();
  program.start(QUORVANE_IDLE_EXECUTABLE, {});
  ASSERT_TRUE(program.waitForStarted()) << QUORVANE_IDLE_EXECUTABLE;
  if (!program.waitForFinished(kProgramTimeoutMs)) {
    program.kill();
    program.waitForFinished();
    FAIL() << "the program did not end by itself: the embedded scheme did not load (a message "
              "box is waiting) or a screen is waiting";
  }
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_GE(clock.elapsed(), 4000) << "the splash did not stay up for 4000 ms";

  // The first exit writes the default settings.
  EXPECT_EQ(ReadWholeFile(config.File("Talpix/Quorvane.conf")),
            "[Grid]\nDisplay=0\nX=1\nY=1\n\n"
            "[Languages]\nName1=English\nName2=Russian\nName3=Ukrainian\n");
}

TEST(Program, SplashOnARealDisplayIsA400By330WindowInTheMiddleOfTheScreen) {
  const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
  if (xvfbRun.isEmpty() || QStandardPaths::findExecutable("Xvfb").isEmpty()) {
    GTEST_SKIP() << "Xvfb is not installed";
  }
  ASSERT_FALSE(QStandardPaths::findExecutable("import").isEmpty())
      << "ImageMagick's import is needed to grab the screen";

  const std::filesystem::path artifacts =
      std::filesystem::path(QUORVANE_BINARY_DIR) / "test-artifacts" / "splash";
  std::filesystem::remove_all(artifacts);
  std::filesystem::create_directories(artifacts);

  // Starts the program, grabs the screen twice a second for six seconds, ends the program.
  // The server runs with -noreset: otherwise it resets as each grab leaves, and a program that
  // connects during a reset (a slow start on a busy machine) is refused.
  const char* script = R"(
    QT_QPA_PLATFORM=xcb "$1" &
    program=$!
    for i in 01 02 03 04 05 06 07 08 09 10 11 12; do
      sleep 0.5
      import -window root "$2/screen-$i.png" 2>/dev/null
    done
    kill "$program" 2>/dev/null
    wait "$program" 2>/dev/null
    exit 0
  )";
  QProcess session;
  const ScratchFolder config;
  session.setProcessEnvironment(ProgramEnvironment(config));
  session.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  session.start(xvfbRun,
                {"-a", "-s", "-screen 0 1280x1024x24 -br -nolisten tcp -noreset", "/bin/sh", "-c",
                 script, "grab", QUORVANE_EXECUTABLE, QString::fromStdString(artifacts.string())});
  ASSERT_TRUE(session.waitForStarted());
  ASSERT_TRUE(session.waitForFinished(kProgramTimeoutMs)) << "the virtual display session hung";
  ASSERT_EQ(session.exitCode(), 0);

  // The first grab that shows a window, kept as the test's artifact.
  QImage screen;
  QString kept;
  const QStringList shots = QDir(QString::fromStdString(artifacts.string()))
                                .entryList({"screen-*.png"}, QDir::Files, QDir::Name);
  for (const QString& shot : shots) {
    const QString path = QString::fromStdString(artifacts.string()) + "/" + shot;
    QImage image(path);
    if (!image.isNull() && LitArea(image.convertToFormat(QImage::Format_RGB32)).isValid()) {
      screen = image.convertToFormat(QImage::Format_RGB32);
      kept = QString::fromStdString(artifacts.string()) + "/splash.png";
      QFile::copy(path, kept);
      break;
    }
  }
  for (const QString& shot : shots)
    QFile::remove(QString::fromStdString(artifacts.string()) + "/" + shot);
  ASSERT_FALSE(screen.isNull()) << "no grab showed the splash (" << shots.size() << " grabs)";
  RecordProperty("splash_screenshot", kept.toStdString());

  ASSERT_EQ(screen.size(), QSize(1280, 1024));
  const QRect window = LitArea(screen);
  EXPECT_EQ(window.size(), QSize(400, 330));
  EXPECT_EQ(window.topLeft(), QPoint((1280 - 400) / 2, (1024 - 330) / 2));

  // Inside the one-pixel border lies the decoded picture, pixel for pixel away from the labels.
  const QByteArray jpeg = SplashPictureBytes();
  const QImage picture = DecodeJpeg(reinterpret_cast<const unsigned char*>(jpeg.constData()),
                                    static_cast<std::size_t>(jpeg.size()));
  ASSERT_FALSE(picture.isNull());
  for (const QPoint at : {QPoint(5, 5), QPoint(60, 150), QPoint(250, 80), QPoint(20, 320)}) {
    SCOPED_TRACE(at.x() * 1000 + at.y());
    const QColor expected = picture.pixelColor(at);
    const QColor shown = screen.pixelColor(window.topLeft() + QPoint(1, 1) + at);
    EXPECT_LE(std::abs(expected.red() - shown.red()) + std::abs(expected.green() - shown.green()) +
                  std::abs(expected.blue() - shown.blue()),
              12);
  }
}

}  // namespace
