#pragma once

// Shared fixtures of the window tests: one QApplication for the test binary (offscreen unless
// the environment names another platform), a fixture that fails a case which leaves a
// top-level window behind, and a small whole scheme whose run has nothing to do.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// The application object of the test binary, created on first use. On the offscreen platform
// its one screen is pinned: 1024 x 768 (the height QUORVANE_TEST_SCREEN_HEIGHT when set),
// 96 dpi, windows without frames (with the platform's frames when QUORVANE_TEST_WINDOW_FRAMES
// is set).
QApplication& TestApplication();

// Fails the case when a top-level window is still alive after it (deferred deletions are
// carried out first), and deletes such windows so the next case starts clean.
class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// A GuiTest whose application font is the program's, as the start-up sets it
// (SetApplicationDesignFont); the test binary's own is restored after each case.
class DesignFontGuiTest : public GuiTest {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  QFont PreviousFont;
};

class THyperLinkView;

// The smallest rectangle holding every pixel that is not the black of an empty screen.
QRect LitArea(const QImage& screen);
// A press and a release of a mouse button at a point of the widget, sent to it directly.
void SendClick(QWidget* widget, const QPoint& at, Qt::MouseButton button = Qt::LeftButton);
// The middle of the character at a document position of a hypertext view (its left edge plus
// two pixels at the end of a line), in the view's viewport coordinates.
QPoint CharacterPoint(THyperLinkView& view, int documentPos);
// The CharacterPoint of the first character of the view's link i.
QPoint LinkPoint(THyperLinkView& view, int i);

// Processes every kind of event for that long, so that the window system maps and paints what
// was shown.
void Settle(int milliseconds);

// Whether xvfb-run and Xvfb are installed.
bool VirtualDisplayAvailable();
// Runs the one case of this test binary inside a fresh 1024 x 768 Xvfb display on the xcb
// platform, with folderVariable naming the (emptied) artifact folder in its environment;
// fails unless the case ran and passed.
void RunCaseInVirtualDisplay(const std::string& caseName, const char* folderVariable,
                             const std::filesystem::path& folder);

// Runs the one case of this test binary in a child process on the offscreen platform with
// these variables added to its environment; fails unless the case ran and passed.
void RunCaseInChildProcess(const std::string& caseName,
                           const std::vector<std::pair<std::string, std::string>>& environment);

// Drives modal windows as a user would: while it lives, every 20 ms of an event loop it hands
// the active modal widget to its next step. A step answers false when the widget is not yet
// the one it waits for, and is offered the next one again. A modal widget left waiting for
// timeoutMs (no step left, or no step ready) fails the case, naming the step it waited at, and
// is closed, so a test never hangs in a modal loop.
class ModalRobot {
 public:
  using Step = std::function<bool(QWidget* modal)>;
  explicit ModalRobot(std::vector<Step> steps, int timeoutMs = 5000);
  ~ModalRobot();
  ModalRobot(const ModalRobot&) = delete;
  ModalRobot& operator=(const ModalRobot&) = delete;

  // Every step ran.
  bool Done() const { return Steps.empty(); }

 private:
  void Tick();

  std::deque<Step> Steps;
  std::size_t StepCount;
  int TimeoutMs;
  QTimer Timer;
  QElapsedTimer Waiting;
};

// A whole scheme: a template of one language and one variable, a flow graph of a start element
// linked to the finish (or, without startLinksToFinish, linked to nothing, so that a run ends
// at once without a window), the stamp, and a price list of one category and one product.
// Offsets of the section borders allow truncating it at each of them.
struct IdleScheme {
  explicit IdleScheme(std::int32_t stamp = 0x5EED1234, bool startLinksToFinish = true);

  std::vector<std::uint8_t> Bytes;
  std::int32_t Stamp;
  std::size_t TemplateEnd = 0;
  std::size_t GraphEnd = 0;
  std::size_t StampEnd = 0;

  // The first count bytes.
  std::vector<std::uint8_t> Prefix(std::size_t count) const;
};
