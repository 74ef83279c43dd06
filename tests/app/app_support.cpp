#include "tests/app/app_support.h"

#include <unistd.h>
#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTextCursor>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/HyperLinkView.h"
#include "platform/fonts_qt.h"
#include "tools/graphwriter.h"
#include "tools/pricelistwriter.h"
#include "tools/templatewriter.h"

namespace {

// Writes the configuration of one offscreen screen, 1024 pixels wide and as high as
// QUORVANE_TEST_SCREEN_HEIGHT says (768 when unset), at 96 dpi and without window frames
// unless QUORVANE_TEST_WINDOW_FRAMES is set, and answers its path.
std::string WritePinnedScreen() {
  const char* asked = std::getenv("QUORVANE_TEST_SCREEN_HEIGHT");
  const int height = asked ? std::atoi(asked) : 768;
  const bool frames = std::getenv("QUORVANE_TEST_WINDOW_FRAMES") != nullptr;
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("quorvane-screen-" + std::to_string(getpid()) + ".json");
  std::ofstream out(path);
  out << R"({"synchronousWindowSystemEvents": false, "windowFrameMargins": )"
      << (frames ? "true" : "false") << R"(, "screens": [)"
      << R"({"name": "pinned", "x": 0, "y": 0, "width": 1024, "height": )" << height
      << R"(, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
  return path.string();
}

// Owns the application object and destroys it after the last case, so that Qt releases what
// it holds (fonts, the platform connection) before the process ends.
class ApplicationEnvironment : public ::testing::Environment {
 public:
  QApplication& Get() {
    if (!Application) {
      const char* platform = std::getenv("QT_QPA_PLATFORM");
      // The offscreen platform gets a pinned screen, so sizes and positions are the same on
      // every machine.
      std::string screen;
      if (platform == nullptr || std::string(platform) == "offscreen") {
        screen = WritePinnedScreen();
        setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screen).c_str(), 1);
      }
      Application = std::make_unique<QApplication>(Argc, Argv);
      if (!screen.empty()) std::filesystem::remove(screen);
    }
    return *Application;
  }
  void TearDown() override { Application.reset(); }

 private:
  int Argc = 1;
  char Name[10] = "app_tests";
  char* Argv[2] = {Name, nullptr};
  std::unique_ptr<QApplication> Application;
};

ApplicationEnvironment* const environment = static_cast<ApplicationEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment));

}  // namespace

QApplication& TestApplication() {
  return environment->Get();
}

void GuiTest::SetUp() {
  TestApplication();
}

void GuiTest::TearDown() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const QWidgetList left = QApplication::topLevelWidgets();
  for (QWidget* window : left) {
    ADD_FAILURE() << "top-level window left open: " << window->metaObject()->className() << " "
                  << window->objectName().toStdString();
  }
  qDeleteAll(left);
}

void DesignFontGuiTest::SetUp() {
  GuiTest::SetUp();
  PreviousFont = QApplication::font();
  SetApplicationDesignFont();
}

void DesignFontGuiTest::TearDown() {
  QApplication::setFont(PreviousFont);
  GuiTest::TearDown();
}

QRect LitArea(const QImage& screen) {
  int left = screen.width(), top = screen.height(), right = -1, bottom = -1;
  for (int y = 0; y < screen.height(); ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
    for (int x = 0; x < screen.width(); ++x) {
      if ((line[x] & 0xFFFFFF) == 0) continue;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

void SendClick(QWidget* widget, const QPoint& at, Qt::MouseButton button) {
  const QPointF point(at);
  QMouseEvent press(QEvent::MouseButtonPress, point, widget->mapToGlobal(point), button, button,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, point, widget->mapToGlobal(point), button,
                      Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &press);
  QCoreApplication::sendEvent(widget, &release);
}

QPoint CharacterPoint(THyperLinkView& view, int documentPos) {
  view.LineCount();  // lays the document out
  QTextCursor at(view.document());
  at.setPosition(documentPos);
  const QRect left = view.cursorRect(at);
  at.setPosition(documentPos + 1);
  const QRect right = view.cursorRect(at);
  const int x = right.top() == left.top() ? (left.left() + right.left()) / 2 : left.left() + 2;
  return {x, left.center().y()};
}

QPoint LinkPoint(THyperLinkView& view, int i) {
  return CharacterPoint(view, view.DocumentPosition(view.GetLink(i)->StartPos));
}

void Settle(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool VirtualDisplayAvailable() {
  return !QStandardPaths::findExecutable("xvfb-run").isEmpty() &&
         !QStandardPaths::findExecutable("Xvfb").isEmpty();
}

void RunCaseInVirtualDisplay(const std::string& caseName, const char* folderVariable,
                             const std::filesystem::path& folder) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "xcb");
  environment.insert(folderVariable, QString::fromStdString(folder.string()));
  // Under the sanitizers, the X11 platform's D-Bus connection keeps a buffer to the end; the
  // offscreen cases check the program's own memory.
  const QString sanitizer = environment.value("ASAN_OPTIONS");
  environment.insert("ASAN_OPTIONS",
                     sanitizer + (sanitizer.isEmpty() ? "" : ":") + "detect_leaks=0");
  QProcess session;
  session.setProcessEnvironment(environment);
  session.setProcessChannelMode(QProcess::MergedChannels);
  // With -noreset the server stays as it is when a client leaves: a reset refuses the clients
  // that connect meanwhile (the window manager a case starts, say).
  session.start(QStandardPaths::findExecutable("xvfb-run"),
                {"-a", "-s", "-screen 0 1024x768x24 -br -nolisten tcp -noreset",
                 QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe")),
                 QString::fromStdString("--gtest_filter=" + caseName)});
  ASSERT_TRUE(session.waitForStarted());
  ASSERT_TRUE(session.waitForFinished(120000)) << "the virtual display session hung";
  const std::string output = QString::fromUtf8(session.readAll()).toStdString();
  ASSERT_EQ(session.exitCode(), 0) << output;
  ASSERT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

void RunCaseInChildProcess(const std::string& caseName,
                           const std::vector<std::pair<std::string, std::string>>& environment) {
  QProcess child;
  QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
  variables.insert("QT_QPA_PLATFORM", "offscreen");
  for (const auto& [name, value] : environment) {
    variables.insert(QString::fromStdString(name), QString::fromStdString(value));
  }
  child.setProcessEnvironment(variables);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start("/proc/self/exe", {QString::fromStdString("--gtest_filter=" + caseName)});
  ASSERT_TRUE(child.waitForFinished(60000)) << "the child process hung";
  const std::string output = QString::fromUtf8(child.readAll()).toStdString();
  EXPECT_EQ(child.exitCode(), 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

ModalRobot::ModalRobot(std::vector<Step> steps, int timeoutMs)
    : Steps(steps.begin(), steps.end()), StepCount(steps.size()), TimeoutMs(timeoutMs) {
  QObject::connect(&Timer, &QTimer::timeout, [this] { Tick(); });
  Timer.start(20);
  Waiting.start();
}

ModalRobot::~ModalRobot() {
  Timer.stop();
}

void ModalRobot::Tick() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal) return;
  if (!Steps.empty()) {
    const Step step = Steps.front();
    if (step(modal)) {
      Steps.pop_front();
      Waiting.restart();
      return;
    }
  }
  if (Waiting.elapsed() > TimeoutMs) {
    const std::size_t done = StepCount - Steps.size();
    ADD_FAILURE() << "a modal window was left waiting: " << modal->metaObject()->className() << " "
                  << modal->objectName().toStdString() << ", "
                  << (Steps.empty() ? "after the last step"
                                    : "at step " + std::to_string(done + 1) + " of " +
                                          std::to_string(StepCount));
    Waiting.restart();
    modal->close();
  }
}

IdleScheme::IdleScheme(std::int32_t stamp, bool startLinksToFinish) : Stamp(stamp) {
  SchemeWriter out;
  TemplateRecord templ;
  templ.Languages.Languages = {{0, "English"}};
  templ.Variables = {{"Units", 1, "0"}};
  WriteTemplate(out, templ);
  TemplateEnd = out.Size();

  GraphSection graph;
  const std::int32_t start = graph.Add({.Kind = gkStart, .Left = 10, .Top = 10});
  const std::int32_t finish = graph.Add({.Kind = gkFinish, .Left = 200, .Top = 10});
  if (startLinksToFinish) graph.Link(start, 0, finish, 0);
  WriteGraph(out, graph);
  GraphEnd = out.Size();

  WriteSchemeStamp(out, stamp);
  StampEnd = out.Size();

  ProductRecord product;
  product.Code = "RACK-42";
  product.Name = {{"0", "Cabinet 42U"}};
  product.CategoryCode = "RACKS";
  product.Price = 1000;
  product.PriceWithTaxes = 1200;
  WritePriceList(out, {product}, {{"RACKS", {{"0", "Cabinets"}}}});
  Bytes = out.Bytes();
}

std::vector<std::uint8_t> IdleScheme::Prefix(std::size_t count) const {
  return {Bytes.begin(), Bytes.begin() + static_cast<std::ptrdiff_t>(count)};
}
