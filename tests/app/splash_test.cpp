#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <string>
#include <vector>

#include "app/pictures.h"
#include "app/wz_about.h"
#include "platform/cp1251_qt.h"
#include "platform/fonts_qt.h"
#include "tests/app/app_support.h"

namespace {

class SplashTest : public GuiTest {};

TEST_F(SplashTest, IsABorderless400By330WindowInTheMiddleOfTheScreen) {
  TwzAboutForm splash;
  splash.show();

  EXPECT_EQ(splash.size(), QSize(400, 330));
  EXPECT_EQ(splash.minimumSize(), splash.maximumSize());
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(splash.geometry().center(), screen.center());
}

TEST_F(SplashTest, ShowsThePictureAndSixRightAlignedArialLabelsOverItsLowerRight) {
  TwzAboutForm splash;
  ASSERT_NE(splash.Image1, nullptr);
  const QPixmap picture = splash.Image1->pixmap();
  EXPECT_EQ(picture.size(), QSize(398, 328)) << "the picture did not decode";

  const std::vector<std::string> texts = {
      "\xC2\xE5\xF0\xF1\xE8\xFF 1.2",  // "Версия 1.2"
      "Release Candidate 2",
  };
  for (std::size_t i = 0; i < splash.Labels.size(); ++i) {
    SCOPED_TRACE(i + 1);
    const QLabel* label = splash.Labels[i];
    ASSERT_NE(label, nullptr);
    if (i < texts.size()) {
      EXPECT_EQ(label->text(), Cp1251ToQString(texts[i]));
    }
    EXPECT_FALSE(label->text().isEmpty());
    // "Arial" 8 pt as 11 pixels: the labels keep their size whatever the screen's dpi.
    EXPECT_EQ(label->font().family(), StandInFamily(TDesignFace::Arial));
    EXPECT_EQ(label->font().pixelSize(), 11);
    EXPECT_EQ(label->font().bold(), i == 0);
    EXPECT_TRUE(label->alignment() & Qt::AlignRight);
    EXPECT_FALSE(label->autoFillBackground());
    // Over the lower right quarter, inside the window.
    EXPECT_GE(label->geometry().left(), 100);
    EXPECT_GE(label->geometry().top(), 165);
    EXPECT_TRUE(QRect(0, 0, 400, 330).contains(label->geometry()));
  }
}

TEST_F(SplashTest, ClicksAndEnterOrEscapeSetTheModalResultAndCloseNothing) {
  struct Row {
    std::string name;
    // A key press, or a click on the widget when key is 0.
    int key = 0;
    int widget = 0;  // 0: Image1, 1 to 6: Label1 to Label6
    int expected = 1;
  };
  const Row rows[] = {
      {.name = "click on the picture", .widget = 0},
      {.name = "click on Label1", .widget = 1},
      {.name = "click on Label6", .widget = 6},
      {.name = "Return", .key = Qt::Key_Return},
      {.name = "keypad Enter", .key = Qt::Key_Enter},
      {.name = "Escape", .key = Qt::Key_Escape},
      {.name = "letter", .key = Qt::Key_A, .expected = 0},
      {.name = "space", .key = Qt::Key_Space, .expected = 0},
      {.name = "F4", .key = Qt::Key_F4, .expected = 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TwzAboutForm splash;
    splash.show();
    if (row.key != 0) {
      QKeyEvent press(QEvent::KeyPress, row.key, Qt::NoModifier);
      QCoreApplication::sendEvent(&splash, &press);
    } else {
      QWidget* target = row.widget == 0 ? static_cast<QWidget*>(splash.Image1)
                                        : splash.Labels[static_cast<std::size_t>(row.widget - 1)];
      SendClick(target, QPoint(2, 2));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(splash.ModalResult, row.expected);
    EXPECT_TRUE(splash.isVisible());
  }
}

std::vector<unsigned char> SplashJpeg() {
  const QByteArray bytes = SplashPictureBytes();
  return {bytes.begin(), bytes.end()};
}

TEST(DecodeJpeg, DecodesTheSplashPictureToRgb) {
  const std::vector<unsigned char> jpeg = SplashJpeg();
  ASSERT_FALSE(jpeg.empty());
  const QImage image = DecodeJpeg(jpeg.data(), jpeg.size());
  ASSERT_EQ(image.size(), QSize(398, 328));
  // The cabinet's dark frame on the left, the light gradient at the top right.
  const QColor frame = image.pixelColor(36, 150);
  EXPECT_LT(frame.lightness(), 90);
  const QColor background = image.pixelColor(390, 5);
  EXPECT_GT(background.lightness(), 220);
}

TEST(DecodeJpeg, RefusesWhatIsNotADecodablePicture) {
  std::vector<unsigned char> jpeg = SplashJpeg();
  ASSERT_GT(jpeg.size(), 200u);
  // The frame header (SOF0 or SOF2) with its height and width replaced by 65535 x 65535.
  std::vector<unsigned char> huge = jpeg;
  for (std::size_t i = 0; i + 8 < huge.size(); ++i) {
    if (huge[i] == 0xFF && (huge[i + 1] == 0xC0 || huge[i + 1] == 0xC2)) {
      for (std::size_t k = 5; k < 9; ++k) huge[i + k] = 0xFF;
      break;
    }
  }
  struct Row {
    std::string name;
    std::vector<unsigned char> bytes;
  };
  const Row rows[] = {
      {"empty", {}},
      {"not a JPEG", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}},
      {"the start marker alone", {0xFF, 0xD8}},
      {"cut inside the header", {jpeg.begin(), jpeg.begin() + 100}},
      {"larger than the pixel limit", huge},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(DecodeJpeg(row.bytes.data(), row.bytes.size()).isNull());
  }
}

TEST(DecodeJpeg, PictureCutInsideItsDataStillDecodesToItsFullSize) {
  // libjpeg fills the missing rows; the window shows what arrived instead of failing.
  const std::vector<unsigned char> jpeg = SplashJpeg();
  const std::vector<unsigned char> cut(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);
  EXPECT_EQ(DecodeJpeg(cut.data(), cut.size()).size(), QSize(398, 328));
}

}  // namespace
