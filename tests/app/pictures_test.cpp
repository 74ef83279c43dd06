#include "app/pictures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QColor>
#include <functional>
#include <string>
#include <vector>

#include "app/wz_about.h"
#include "platform/picturesize.h"
#include "tests/app/gif_support.h"
#include "tests/support/picture_support.h"
#include "tests/support/test_paths.h"

namespace {

QImage Decode(const std::vector<unsigned char>& bytes) {
  return DecodeGif(bytes.data(), bytes.size());
}

TEST(DecodeGif, GivesThePaletteColoursOfEveryPixel) {
  GifPicture picture;
  picture.Rows = {{0, 1, 2}, {3, 2, 1}};
  const QImage image = Decode(picture.Bytes());
  ASSERT_EQ(image.size(), QSize(3, 2));
  EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(1, 0), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(2, 0), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(2, 1), qRgb(255, 0, 0));
}

TEST(DecodeGif, PutsInterlacedRowsInPlace) {
  GifPicture picture;
  picture.Interlaced = true;
  // Row y has colour y % 4: every pass of the interlacing holds rows of several colours.
  for (int y = 0; y < 11; ++y) picture.Rows.push_back({static_cast<GifPixelType>(y % 4)});
  const QImage image = Decode(picture.Bytes());
  ASSERT_EQ(image.size(), QSize(1, 11));
  for (int y = 0; y < 11; ++y) {
    SCOPED_TRACE(y);
    const GifColorType& c = picture.Palette[static_cast<std::size_t>(y % 4)];
    EXPECT_EQ(image.pixel(0, y), qRgb(c.Red, c.Green, c.Blue));
  }
}

TEST(DecodeGif, ImageOnALargerScreenAndTheTransparentColourLeaveTheCanvasClear) {
  GifPicture picture;
  picture.ScreenWidth = 4;
  picture.ScreenHeight = 3;
  picture.Left = 1;
  picture.Top = 1;
  picture.Rows = {{1, 2}, {2, 1}};
  picture.Transparent = 2;
  const QImage image = Decode(picture.Bytes());
  ASSERT_EQ(image.size(), QSize(4, 3));
  EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "outside the image";
  EXPECT_EQ(image.pixel(1, 1), qRgb(255, 0, 0));
  EXPECT_EQ(qAlpha(image.pixel(2, 1)), 0) << "the transparent index";
  EXPECT_EQ(image.pixel(2, 2), qRgb(255, 0, 0));
  EXPECT_EQ(qAlpha(image.pixel(3, 2)), 0);
}

TEST(DecodeGif, RefusesWhatIsNotADecodablePicture) {
  GifPicture good;
  good.Rows = {{1, 1}, {1, 1}};
  const std::vector<unsigned char> bytes = good.Bytes();
  GifPicture noPalette = good;
  noPalette.GlobalPalette = false;
  // The logical screen's width and height (bytes 6 to 9) set to 65535 x 65535.
  std::vector<unsigned char> huge = bytes;
  for (std::size_t i = 6; i < 10; ++i) huge[i] = 0xFF;
  const QByteArray jpeg = SplashPictureBytes();
  struct Row {
    std::string name;
    std::vector<unsigned char> bytes;
  };
  const Row rows[] = {
      {"empty", {}},
      {"a JPEG", {jpeg.begin(), jpeg.end()}},
      {"the signature alone", {'G', 'I', 'F', '8', '9', 'a'}},
      {"cut inside the image",
       {bytes.begin(), bytes.begin() + static_cast<long>(bytes.size()) - 4}},
      {"no colour table", noPalette.Bytes()},
      {"larger than the pixel limit", huge},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(Decode(row.bytes).isNull());
  }
}

// The windows decode what a sheet takes and refuse what it refuses, at the same small cost: a
// header claiming more than its data holds or a sheet shows, or a picture whose decoding would
// pass the memory or scan bounds.
TEST(DecodeJpeg, TheWindowsRefuseThePicturesASheetRefuses) {
  struct Row {
    const char* name;
    std::string bytes;
    bool decodes = false;
  };
  std::vector<Row> rows = {
      {"a baseline JPEG", Jpeg(40, 30), true},
      {"a progressive JPEG", Jpeg(40, 30, {.Progressive = true}), true},
  };
  for (const NamedPicture& jpeg : JpegsBeyondTheBounds()) rows.push_back({jpeg.Name, jpeg.Bytes});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto* data = reinterpret_cast<const unsigned char*>(row.bytes.data());
    EXPECT_EQ(!DecodeJpeg(data, row.bytes.size()).isNull(), row.decodes);
    EXPECT_EQ(DecodePictureSize(row.bytes).has_value(), row.decodes);
  }
}

TEST(DecodeGif, AnImageBeyondThePictureBoundIsRefusedAsOnASheet) {
  GifPicture picture;
  picture.Rows = {{1, 1}, {1, 1}};
  std::vector<unsigned char> bytes = picture.Bytes();
  const std::string text(bytes.begin(), bytes.end());
  ASSERT_FALSE(Decode(bytes).isNull());
  ASSERT_TRUE(DecodePictureSize(text).has_value());
  // The image descriptor after the header and the four-entry colour table: its size at 30.
  ASSERT_EQ(bytes[25], ',');
  for (std::size_t i = 30; i < 34; ++i) bytes[i] = 0xFF;
  EXPECT_TRUE(Decode(bytes).isNull());
  EXPECT_FALSE(DecodePictureSize(std::string(bytes.begin(), bytes.end())).has_value());
}

TEST(LoadPictureFile, ChoosesTheDecoderByTheExtension) {
  ScratchFolder scratch;
  GifPicture gif;
  gif.Rows = {{1, 2, 3}};
  const std::vector<unsigned char> gifBytes = gif.Bytes();
  const QByteArray jpegBytes = SplashPictureBytes();
  const std::string gifText(gifBytes.begin(), gifBytes.end());
  const std::string jpegText(jpegBytes.begin(), jpegBytes.end());
  struct Row {
    std::string name;
    std::string content;
    QSize expected;  // invalid: a null image
  };
  const Row rows[] = {
      {"door.gif", gifText, QSize(3, 1)},
      {"door.GIF", gifText, QSize(3, 1)},
      {"rack.jpg", jpegText, QSize(398, 328)},
      {"rack.JPEG", jpegText, QSize(398, 328)},
      {"rack.png", jpegText, {}},
      {"rack.", jpegText, {}},
      {"gif", gifText, {}},
      {"door.jpg", gifText, {}},
      {"rack.gif", jpegText, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = scratch.WriteFile(row.name, row.content);
    const QImage image = LoadPictureFile(path);
    EXPECT_EQ(image.isNull(), !row.expected.isValid());
    if (row.expected.isValid()) {
      EXPECT_EQ(image.size(), row.expected);
    }
  }
  EXPECT_TRUE(LoadPictureFile(scratch.File("missing.gif")).isNull());
  EXPECT_TRUE(LoadPictureFile(scratch.Path().string() + "/").isNull()) << "a folder";
  // A named pipe without a writer is refused at once instead of blocking the program.
  const std::string pipe = scratch.File("pipe.gif");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_TRUE(LoadPictureFile(pipe).isNull()) << "a named pipe";
}

}  // namespace
