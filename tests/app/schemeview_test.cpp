// The diagram's QImage canvas and the widget that shows and edits a scheme.
#include "app/schemeview.h"

#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "graph/elements.h"
#include "model/core.h"
#include "model/saver.h"
#include "tests/app/app_support.h"
#include "tests/support/model_support.h"

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;

class ImageCanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    Image.fill(Qt::white);
  }
  QRgb At(int X, int Y) {
    Canvas.End();
    return Image.pixel(X, Y);
  }

  QImage Image{20, 20, QImage::Format_RGB32};
  TSchemeImageCanvas Canvas{&Image};
};

TEST_F(ImageCanvasTest, LineLeavesOutItsEndPixel) {
  Canvas.SetPenColor(clSchemeBlack);
  Canvas.MoveTo(2, 3);
  Canvas.LineTo(8, 3);
  EXPECT_EQ(At(2, 3), kBlack);
  EXPECT_EQ(At(7, 3), kBlack);
  EXPECT_EQ(At(8, 3), kWhite);
  EXPECT_EQ(At(1, 3), kWhite);
  // A diagonal likewise: (10, 10) to (15, 15) draws 10..14.
  Canvas.MoveTo(10, 10);
  Canvas.LineTo(15, 15);
  EXPECT_EQ(At(14, 14), kBlack);
  EXPECT_EQ(At(15, 15), kWhite);
}

TEST_F(ImageCanvasTest, RectangleAndEllipseCoverLeftToRightMinusOne) {
  Canvas.SetPenColor(clSchemeBlack);
  Canvas.SetBrushColor(clSchemeRed);
  Canvas.Rectangle({2, 2, 8, 6});
  EXPECT_EQ(At(2, 2), kBlack);
  EXPECT_EQ(At(7, 5), kBlack);  // the last column and row of the outline
  EXPECT_EQ(At(8, 5), kWhite);
  EXPECT_EQ(At(7, 6), kWhite);
  EXPECT_EQ(At(4, 3), qRgb(255, 0, 0));  // $0000FF is red inside

  Canvas.Ellipse({10, 10, 20, 20});
  bool ReachesLastColumn = false;
  for (int Y = 10; Y < 20; ++Y) ReachesLastColumn |= At(19, Y) == kBlack;
  EXPECT_TRUE(ReachesLastColumn);
  EXPECT_EQ(At(15, 15), qRgb(255, 0, 0));

  Canvas.SetBrushColor(clSchemeBlue);
  Canvas.FillRect({0, 10, 5, 12});
  EXPECT_EQ(At(4, 11), qRgb(0, 0, 255));
  EXPECT_EQ(At(5, 11), kWhite);
  EXPECT_EQ(At(4, 12), kWhite);
}

TEST_F(ImageCanvasTest, ClipRegionAndPixelsStayInside) {
  Canvas.SetClipRegion({5, 5, 10, 10});
  EXPECT_EQ(Canvas.ClipRect().Right, 10);
  Canvas.SetBrushColor(clSchemeBlack);
  Canvas.FillRect(Canvas.ClipRect());
  Canvas.SetPixel(3, 3, clSchemeBlack);
  Canvas.SetPixel(6, 6, clSchemeSilver);
  EXPECT_EQ(At(9, 9), kBlack);
  EXPECT_EQ(At(10, 10), kWhite);
  EXPECT_EQ(At(3, 3), kWhite);
  EXPECT_EQ(At(6, 6), qRgb(0xC0, 0xC0, 0xC0));
  Canvas.RemoveClipRegion();
  EXPECT_EQ(Canvas.ClipRect().Right, 20);
  Canvas.SetPixel(3, 3, clSchemeBlack);
  EXPECT_EQ(At(3, 3), kBlack);
}

TEST_F(ImageCanvasTest, TextIsWindows1251ClippedToItsFilledRectangle) {
  Canvas.SetBrushColor(clSchemeLightGray);
  Canvas.SetFont("Tahoma", 8, true, clSchemeBlack);
  Canvas.TextRect({0, 0, 12, 14}, 1, 1, "\xC6\xC6\xC6\xC6");  // four capital Zhe
  int Dark = 0;
  for (int Y = 0; Y < 14; ++Y)
    for (int X = 0; X < 12; ++X) Dark += qGray(At(X, Y)) < 100;
  EXPECT_GT(Dark, 5);
  EXPECT_EQ(At(0, 13), qRgb(0xF0, 0xF0, 0xF0));
  for (int Y = 0; Y < 20; ++Y) EXPECT_EQ(At(12, Y), kWhite) << Y;  // clipped at the right
}

// The feedback figures are drawn twice to erase them: the image must come back bit for bit.
TEST_F(ImageCanvasTest, DottedXorFiguresDrawnTwiceRestoreTheImage) {
  TScheme Scheme;
  TSchemeElement* Element = Scheme.AddElement(TSchemeElement::Create(&Scheme));
  Element->SetBounds(3, 3, 60, 40);
  QImage Wide(120, 90, QImage::Format_RGB32);
  TSchemeImageCanvas On(&Wide);
  Scheme.SetScrollX(0);
  Scheme.SetScrollY(0);
  Wide.fill(Qt::white);
  Scheme.Paint(On);  // no host: a canvas of 0 x 0, yet the element is drawn
  Element->Draw(On);
  On.End();
  const QImage Before = Wide.copy();
  Scheme.MoveInfo().BeginFrame(10, 10, 3, 3, 60, 40);
  Scheme.MoveInfo().Track(27, 31);
  Scheme.MoveInfo().Draw(On);
  On.End();
  EXPECT_NE(Wide, Before);
  Scheme.MoveInfo().Draw(On);
  Scheme.Marquee().Start(5, 5);
  Scheme.Marquee().Track(70, 50);
  Scheme.Marquee().Draw(On);
  Scheme.Marquee().Draw(On);
  On.End();
  EXPECT_EQ(Wide, Before);
  EXPECT_EQ(On.PenMode(), TSchemePenMode::Copy);
}

class SchemeViewTest : public GuiTest {};

void SendMouse(QWidget& To, QEvent::Type Type, Qt::MouseButton Button, QPoint At,
               Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
  const Qt::MouseButtons Held = Type == QEvent::MouseButtonRelease ? Qt::NoButton
                                : Type == QEvent::MouseMove ? Qt::MouseButtons(Qt::LeftButton)
                                                            : Qt::MouseButtons(Button);
  QMouseEvent Event(Type, QPointF(At), To.mapToGlobal(QPointF(At)),
                    Type == QEvent::MouseMove ? Qt::NoButton : Button, Held, Modifiers);
  QCoreApplication::sendEvent(&To, &Event);
}

TEST_F(SchemeViewTest, DragFeedbackNeverRepaintsTheDiagram) {
  TSchemeView View;
  View.resize(300, 200);
  TScheme& Scheme = View.Scheme();
  Scheme.SetScrollX(0);
  Scheme.SetScrollY(0);
  TSchemeElement* Element = Scheme.AddElement(TSchemeElement::Create(&Scheme));
  Element->SetBounds(40, 40, 60, 40);
  View.show();
  const QImage Empty = View.BackingStore().copy();
  EXPECT_EQ(Empty.pixel(20, 20), kWhite);
  EXPECT_EQ(Empty.pixel(40, 40), kBlack);                // the base element's outline
  EXPECT_EQ(Empty.pixel(0, 0), qRgb(0x80, 0x80, 0x80));  // the border

  SendMouse(View, QEvent::MouseButtonPress, Qt::LeftButton, {50, 50});
  SendMouse(View, QEvent::MouseButtonRelease, Qt::LeftButton, {50, 50});
  ASSERT_EQ(Scheme.Selection().SelectedElement(), Element);
  const QImage Selected = View.BackingStore().copy();
  EXPECT_EQ(Selected.pixel(50, 50), qRgb(0xBA, 0xFF, 0xCD));  // light green fill
  const int Paints = View.DiagramPaints();

  SendMouse(View, QEvent::MouseButtonPress, Qt::LeftButton, {50, 50});
  SendMouse(View, QEvent::MouseMove, Qt::NoButton, {90, 70});
  SendMouse(View, QEvent::MouseMove, Qt::NoButton, {120, 90});
  EXPECT_NE(View.BackingStore(), Selected);  // the frame is in the store
  EXPECT_EQ(View.DiagramPaints(), Paints);
  EXPECT_EQ(View.cursor().shape(), Qt::SizeAllCursor);
  SendMouse(View, QEvent::MouseButtonRelease, Qt::LeftButton, {120, 90});
  EXPECT_EQ(Element->Left(), 110);
  EXPECT_EQ(Element->Top(), 80);
  View.BackingStore();
  EXPECT_GT(View.DiagramPaints(), Paints);
  EXPECT_EQ(View.BackingStore().pixel(110, 80), kBlack);
}

// The feedback is drawn straight into the backing store while a repaint the scheme asked for
// may still be pending; whenever the store is painted in between, what it shows afterwards
// must be what a fresh paint shows, with no XOR traces left on the border or the scroll bars.
TEST_F(SchemeViewTest, DragFeedbackStaysConsistentAcrossADeferredRepaint) {
  struct Row {
    const char* Name;
    std::function<void(TScheme&, TSchemeElement*)> Prepare;
    QPoint Press;
    QPoint Over;  // over the scroll bars, where the store is repainted
    QPoint Back;
  };
  const Row Rows[] = {
      {"element frame",
       [](TScheme& S, TSchemeElement* E) { S.Selection().Select(E); },
       {210, 140},
       {270, 190},
       {215, 145}},
      {"marquee", [](TScheme&, TSchemeElement*) {}, {150, 100}, {295, 195}, {160, 110}},
      {"new link line",
       [](TScheme& S, TSchemeElement*) { S.SetMode(smNewLink); },
       {230, 169},
       {296, 196},
       {231, 120}},
  };
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Name);
    TSchemeView View;
    View.resize(300, 200);  // the view area ends at 286 across and 186 down
    TScheme& Scheme = View.Scheme();
    Scheme.SetScrollX(0);
    Scheme.SetScrollY(0);
    TSchemeElement* Element = Scheme.AddElement(TSchemeElement::Create(&Scheme));
    Element->SetBounds(200, 130, 60, 40);
    View.show();
    R.Prepare(Scheme, Element);
    SendMouse(View, QEvent::MouseButtonPress, Qt::LeftButton, R.Press);
    ASSERT_NE(Scheme.Mode(), smNormal);
    SendMouse(View, QEvent::MouseMove, Qt::NoButton, R.Over);
    Scheme.Repaint();
    View.BackingStore();
    SendMouse(View, QEvent::MouseMove, Qt::NoButton, R.Back);
    const QImage During = View.BackingStore().copy();
    Scheme.Repaint();
    EXPECT_EQ(View.BackingStore(), During);
    SendMouse(View, QEvent::MouseButtonRelease, Qt::LeftButton, R.Back);
  }
}

TEST_F(SchemeViewTest, ShiftClicksReachTheScheme) {
  TSchemeView View;
  View.resize(300, 200);
  TScheme& Scheme = View.Scheme();
  TSchemeElement* A = Scheme.AddElement(TSchemeElement::Create(&Scheme));
  TSchemeElement* B = Scheme.AddElement(TSchemeElement::Create(&Scheme));
  A->SetBounds(20, 20, 60, 40);
  B->SetBounds(120, 20, 60, 40);
  View.show();
  for (const QPoint At : {QPoint(30, 30), QPoint(130, 30)}) {
    SendMouse(View, QEvent::MouseButtonPress, Qt::LeftButton, At, Qt::ShiftModifier);
    SendMouse(View, QEvent::MouseButtonRelease, Qt::LeftButton, At, Qt::ShiftModifier);
  }
  EXPECT_EQ(Scheme.Selection().Kind(), TSchemeSelection::skElements);
}

// Loads the sample scheme's template and graph into a scheme.
void LoadSample(TSpecTemplate& Template, TScheme& Scheme) {
  TSpecDataStream Stream;
  ASSERT_TRUE(Stream.LoadFromFile(SampleSchemePath())) << SampleSchemePath();
  Template.LoadFromStream(Stream);
  Scheme.EventsEnabled = false;
  TSpecSchemeManager(&Scheme, &Template).LoadFromStream(Stream);
  Scheme.EventsEnabled = true;
}

// How many pixels of the image have exactly that colour.
int Count(const QImage& Image, QRgb Color) {
  int Result = 0;
  for (int Y = 0; Y < Image.height(); ++Y)
    for (int X = 0; X < Image.width(); ++X) Result += Image.pixel(X, Y) == Color;
  return Result;
}

TEST_F(SchemeViewTest, DrawsTheSampleGraph) {
  TSpecTemplate Template;
  TSchemeView View;
  View.resize(800, 600);
  LoadSample(Template, View.Scheme());
  View.Scheme().SetScrollX(0);
  View.Scheme().SetScrollY(0);
  View.show();
  const QImage& Store = View.BackingStore();
  EXPECT_GT(Count(Store, qRgb(0xF0, 0xF0, 0xF0)), 1000);  // element fills
  EXPECT_GT(Count(Store, qRgb(0xE4, 0xE4, 0xE4)), 100);   // question and option rows
  EXPECT_GT(Count(Store, qRgb(255, 0, 0)), 10);           // output point markers
  EXPECT_GT(Count(Store, qRgb(0, 0, 255)), 10);           // input point markers
}

// Run by the next test in a real window under Xvfb: shows the sample graph, grabs the screen
// and keeps the grab in the folder named by QUORVANE_SCHEME_SHOT.
TEST_F(SchemeViewTest, OnScreenShot) {
  const char* Folder = std::getenv("QUORVANE_SCHEME_SHOT");
  if (Folder == nullptr) GTEST_SKIP() << "runs only under the screenshot test";
  TSpecTemplate Template;
  TSchemeView View;
  View.setWindowTitle("Flow graph");
  View.resize(900, 700);
  LoadSample(Template, View.Scheme());
  View.Scheme().SetScrollX(-20);
  View.Scheme().SetScrollY(-20);
  View.show();
  for (int I = 0; I < 20; ++I) {
    QCoreApplication::processEvents();
    QThread::msleep(50);
  }
  const QImage Screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
      QImage::Format_RGB32);
  ASSERT_FALSE(Screen.isNull());
  const QString Path = QString(Folder) + "/scheme-graph.png";
  ASSERT_TRUE(Screen.save(Path));
  // What the window shows is the backing store.
  const QPoint Origin = View.mapToGlobal(QPoint(0, 0));
  const QImage& Store = View.BackingStore();
  int Same = 0;
  for (int Y = 0; Y < Store.height(); Y += 7)
    for (int X = 0; X < Store.width(); X += 7)
      Same += Screen.pixel(Origin + QPoint(X, Y)) == Store.pixel(X, Y);
  EXPECT_GT(Same, (Store.width() / 7) * (Store.height() / 7) * 9 / 10);
}

TEST(SchemeViewOnScreen, SampleGraphInARealWindowUnderXvfb) {
  const QString XvfbRun = QStandardPaths::findExecutable("xvfb-run");
  if (XvfbRun.isEmpty() || QStandardPaths::findExecutable("Xvfb").isEmpty())
    GTEST_SKIP() << "Xvfb is not installed";
  const std::filesystem::path Artifacts =
      std::filesystem::path(QUORVANE_BINARY_DIR) / "test-artifacts" / "scheme-graph";
  std::filesystem::remove_all(Artifacts);
  std::filesystem::create_directories(Artifacts);
  // The desktop bus library that the X11 platform plug-in loads keeps a buffer to the end of
  // the process; a sanitized run must not count it against this test.
  const std::filesystem::path Suppressions = Artifacts / "leaks.supp";
  std::ofstream(Suppressions) << "leak:libdbus-1.so\n";
  QProcess Session;
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.insert("QT_QPA_PLATFORM", "xcb");
  Environment.insert("LSAN_OPTIONS",
                     QString::fromStdString("suppressions=" + Suppressions.string()));
  Environment.insert("QUORVANE_SCHEME_SHOT", QString::fromStdString(Artifacts.string()));
  Session.setProcessEnvironment(Environment);
  Session.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  Session.start(XvfbRun, {"-a", "-s", "-screen 0 1280x1024x24 -br -nolisten tcp -noreset",
                          QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe")),
                          "--gtest_filter=SchemeViewTest.OnScreenShot"});
  ASSERT_TRUE(Session.waitForStarted());
  ASSERT_TRUE(Session.waitForFinished(60000)) << "the virtual display session hung";
  EXPECT_EQ(Session.exitCode(), 0);
  const std::filesystem::path Shot = Artifacts / "scheme-graph.png";
  ASSERT_TRUE(std::filesystem::exists(Shot));
  RecordProperty("scheme_graph_screenshot", Shot.string());
  const QImage Screen(QString::fromStdString(Shot.string()));
  EXPECT_EQ(Screen.size(), QSize(1280, 1024));
}

}  // namespace
