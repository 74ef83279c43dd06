// Resource pop-ups in a real window under Xvfb: a text pop-up opened from a screen's
// description, then the picture its link opens in its place, grabbed from the screen and kept
// as the test's artifacts.
#include <QImage>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/HyperLinkView.h"
#include "app/data.h"
#include "app/runscreen.h"
#include "app/textres.h"
#include "model/core.h"
#include "model/resource.h"
#include "platform/tempdir.h"
#include "tests/app/app_support.h"
#include "tests/app/gif_support.h"
#include "tests/support/test_paths.h"

namespace {

constexpr QRgb kPictureColour = qRgb(200, 40, 40);
constexpr int kPictureWidth = 64;
constexpr int kPictureHeight = 48;

// Grabs the whole screen into folder/name and notes the pop-up's and the screen's places.
void Grab(const std::string& folder, const std::string& name, const QWidget& screen) {
  Settle(400);
  const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  ASSERT_TRUE(shot.save(QString::fromStdString(folder + "/" + name)));
  std::FILE* out = std::fopen((folder + "/" + name + ".txt").c_str(), "w");
  ASSERT_NE(out, nullptr);
  const QRect popup = TextResourceForm->geometry();
  const QRect form = screen.geometry();
  std::fprintf(out, "%d %d %d %d %d %d %d %d %u\n", popup.x(), popup.y(), popup.width(),
               popup.height(), form.x(), form.y(), form.width(), form.height(),
               TextResourceForm->Panel1->palette().color(QPalette::Window).rgb());
  std::fclose(out);
}

// Run by the case below inside the virtual display; skipped elsewhere.
TEST(PopUpShots, GrabsATextAndAPicturePopUpOverAScreen) {
  const char* env = std::getenv("QUORVANE_POPUP_SHOT_DIR");
  if (!env) GTEST_SKIP() << "runs inside the virtual display of the case below";
  const std::string folder = env;
  TestApplication();
  ScratchFolder scratch;
  SetExtractionRoot(scratch.Path().string());
  auto popup = std::make_unique<TTextResourceForm>();
  TextResourceForm = popup.get();
  DM = new TDM();
  TSpecResource* door = DM->Template->AddResource("Door");
  door->Extension = "gif";
  door->Kind = rkPicture;
  const std::string gif = PlainGif(kPictureWidth, kPictureHeight);
  door->SetData({gif.begin(), gif.end()});
  TSpecResource* info = DM->Template->AddResource("RackInfo");
  info->Kind = rkInformationalText;
  const std::string text =
      "19\" cabinet with a front door and removable side panels. The door: <Door>picture</>.";
  info->SetData({text.begin(), text.end()});

  auto screen = std::make_unique<TExecScreenForm>();
  screen->ShowResourceAt = [](const QPoint& at, const std::string& id) {
    DM->ShowResourceAt(at.x(), at.y(), id);
  };
  screen->SetCaption("Cabinets");
  screen->SetScreenTitle("Installation");
  screen->SetNextBtnCaption("Next >");
  screen->SetBackBtnCaption("< Back");
  screen->SetCloseBtnCaption("Close");
  screen->SetScreenDesc("Choose how the cabinet is installed. <RackInfo>About the cabinets</>.");
  screen->AdjustScreenDescHeight();
  screen->FitPanelHeight(screen->TitlePanel());

  QObject context;
  bool shotsTaken = false;
  ModalRobot robot({[&](QWidget* modal) {
                      if (modal != screen.get() || !screen->windowHandle() ||
                          !screen->windowHandle()->isExposed()) {
                        return false;
                      }
                      Settle(300);
                      // Inside the wait of the text pop-up.
                      QTimer::singleShot(0, &context, [&] {
                        Grab(folder, "text.png", *screen);
                        // Inside the wait of the picture that replaced the text.
                        QTimer::singleShot(0, &context, [&] {
                          Grab(folder, "picture.png", *screen);
                          shotsTaken = true;
                          TextResourceForm->FormKeyDown(TextResourceForm, Qt::Key_Escape);
                        });
                        SendClick(TextResourceForm->TextView->viewport(),
                                  LinkPoint(*TextResourceForm->TextView, 0));
                      });
                      SendClick(screen->ScreenDesc->viewport(), LinkPoint(*screen->ScreenDesc, 0));
                      return true;
                    },
                    [&](QWidget* modal) {
                      if (modal != screen.get()) return false;
                      screen->SetModalResult(mrYes);
                      return true;
                    }},
                   20000);
  EXPECT_EQ(screen->ShowModal(), mrYes);
  EXPECT_TRUE(shotsTaken);
  delete DM;
  DM = nullptr;
  TextResourceForm = nullptr;
  popup.reset();
  screen.reset();
  SetExtractionRoot("");
}

struct Places {
  QRect Popup;
  QRect Screen;
  QRgb Background = 0;
};

Places ReadPlaces(const std::string& path) {
  Places places;
  int v[8] = {};
  unsigned background = 0;
  std::FILE* in = std::fopen(path.c_str(), "r");
  EXPECT_NE(in, nullptr) << path;
  if (!in) return places;
  EXPECT_EQ(std::fscanf(in, "%d %d %d %d %d %d %d %d %u", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                        &v[6], &v[7], &background),
            9);
  std::fclose(in);
  std::filesystem::remove(path);
  places.Popup = QRect(v[0], v[1], v[2], v[3]);
  places.Screen = QRect(v[4], v[5], v[6], v[7]);
  places.Background = background;
  return places;
}

QImage Shot(const std::filesystem::path& path) {
  return QImage(QString::fromStdString(path.string())).convertToFormat(QImage::Format_RGB32);
}

TEST(PopUpOnDisplay, TextThenPictureShowOverTheScreenBelowTheDescription) {
  if (!VirtualDisplayAvailable()) GTEST_SKIP() << "Xvfb is not installed";
  const std::filesystem::path artifacts =
      std::filesystem::path(QUORVANE_BINARY_DIR) / "test-artifacts" / "popups";
  ASSERT_NO_FATAL_FAILURE(RunCaseInVirtualDisplay(
      "PopUpShots.GrabsATextAndAPicturePopUpOverAScreen", "QUORVANE_POPUP_SHOT_DIR", artifacts));

  const QImage text = Shot(artifacts / "text.png");
  const QImage picture = Shot(artifacts / "picture.png");
  ASSERT_FALSE(text.isNull());
  ASSERT_FALSE(picture.isNull());
  RecordProperty("text_popup", (artifacts / "text.png").string());
  RecordProperty("picture_popup", (artifacts / "picture.png").string());
  const Places atText = ReadPlaces((artifacts / "text.png.txt").string());
  const Places atPicture = ReadPlaces((artifacts / "picture.png.txt").string());

  // The text pop-up: 340 wide, over the screen, its top-left corner on the left end of the
  // description's lower edge; a frame around the tooltip background.
  const QRect popup = atText.Popup;
  EXPECT_EQ(popup.width(), 340);
  EXPECT_TRUE(atText.Screen.contains(popup.topLeft()));
  EXPECT_EQ(text.pixel(popup.topLeft() + QPoint(2, 2)), atText.Background);
  EXPECT_EQ(text.pixel(popup.bottomRight() - QPoint(2, 2)), atText.Background);
  EXPECT_NE(text.pixel(popup.topLeft()), atText.Background) << "the frame";
  EXPECT_NE(text.pixel(popup.topLeft() - QPoint(2, 2)), atText.Background) << "the screen behind";
  int linkBlue = 0;
  for (int y = popup.top(); y <= popup.bottom(); ++y) {
    for (int x = popup.left(); x <= popup.right(); ++x) {
      if (text.pixel(x, y) == qRgb(0, 0, 255)) ++linkBlue;
    }
  }
  EXPECT_GT(linkBlue, 20) << "the link is drawn in blue";

  // The picture in its place: a pixel lower, the picture's size and the one-pixel frame.
  EXPECT_EQ(atPicture.Popup,
            QRect(popup.left(), popup.top() + 1, kPictureWidth + 2, kPictureHeight + 2));
  EXPECT_EQ(picture.pixel(atPicture.Popup.topLeft() + QPoint(1, 1)), kPictureColour);
  EXPECT_EQ(picture.pixel(atPicture.Popup.bottomRight() - QPoint(1, 1)), kPictureColour);
  EXPECT_NE(picture.pixel(atPicture.Popup.bottomRight() + QPoint(3, 3)), kPictureColour);
}

}  // namespace
