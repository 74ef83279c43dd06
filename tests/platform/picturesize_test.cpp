#include "platform/picturesize.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/spreadsheet.h"
#include "tests/support/picture_support.h"
#include "tests/support/test_paths.h"

namespace {

int WriteGifBytes(GifFileType* gif, const GifByteType* data, int count) {
  static_cast<std::string*>(gif->UserData)
      ->append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(count));
  return count;
}

// A two-colour GIF of the size, written with giflib.
std::string Gif(int width, int height) {
  std::string bytes;
  int error = 0;
  GifFileType* gif = EGifOpen(&bytes, WriteGifBytes, &error);
  GifColorType colours[2] = {{0, 0, 0}, {255, 255, 255}};
  ColorMapObject* map = GifMakeMapObject(2, colours);
  EGifPutScreenDesc(gif, width, height, 1, 0, map);
  EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
  std::vector<GifPixelType> line(static_cast<std::size_t>(width), 1);
  for (int y = 0; y < height; ++y) EGifPutLine(gif, line.data(), width);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return bytes;
}

// Run-length coded 8-bit pixels of a 2 x 2 picture: a run of two, an end of line, an absolute
// run of two (padded to even), then the end of the bitmap.
const std::string kRle8Lines("\x02\x01\x00\x00\x00\x02\x01\x02\x00\x00\x00\x01", 12);

struct SizeRow {
  const char* name;
  std::string bytes;
  std::uint32_t width = 0;  // 0: refused
  std::uint32_t height = 0;
};

void ExpectSizes(const std::vector<SizeRow>& rows) {
  for (const SizeRow& row : rows) {
    SCOPED_TRACE(row.name);
    const std::optional<TPictureSize> size = DecodePictureSize(row.bytes);
    if (row.width == 0) {
      EXPECT_FALSE(size.has_value());
      continue;
    }
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->Width, row.width);
    EXPECT_EQ(size->Height, row.height);
  }
}

TEST(PictureSize, PicturesAreSizedByDecodingAndRefusedWhenTheyDoNotDecode) {
  const std::string jpeg = Jpeg(4, 3);
  const std::string gif = Gif(5, 2);
  std::string bigScreenGif = gif;
  bigScreenGif[6] = bigScreenGif[7] = bigScreenGif[8] = bigScreenGif[9] = '\xff';
  const std::string png = Png(3, 2);
  ExpectSizes({
      {"PNG", png, 3, 2},
      {"interlaced PNG", Png(9, 7, true), 9, 7},
      {"JPEG", jpeg, 4, 3},
      {"progressive JPEG", Jpeg(20, 10, {.Progressive = true}), 20, 10},
      {"GIF", gif, 5, 2},
      {"BMP stored top-down", BmpPicture{.Height = -3, .Pixels = BmpRows(2, 3, 24)}.Bytes(), 2, 3},
      {"JPEG marker followed by garbage", "\xFF\xD8\xFF\xE0 not a picture at all"},
      {"JPEG without its scan", jpeg.substr(0, 200)},
      {"GIF header followed by garbage",
       std::string("GIF89a\x10\x27\x40\x2f\x80\0\0", 13) + std::string(64, '\x5a')},
      {"GIF cut in its image", gif.substr(0, gif.size() - 6)},
      {"GIF on a screen beyond the bound", bigScreenGif},
      {"PNG without a size", WithPngSize(png, 0, 0)},
      {"PNG cut in its header", png.substr(0, 20)},
      {"BMP without an info header", BmpPicture{}.Bytes().substr(0, 20)},
      {"text", "just text"},
      {"nothing", ""},
  });
}

// A header is not taken at its word: the data behind it must hold the whole picture.
TEST(PictureSize, APngCutShortIsRefused) {
  const std::string png = Png(40, 30);
  const std::string interlaced = Png(40, 30, true);
  ExpectSizes({
      {"the first 40 bytes", png.substr(0, 40)},
      {"cut in its image data", png.substr(0, png.size() - 20)},
      {"cut in an interlaced picture's last pass", interlaced.substr(0, interlaced.size() - 20)},
      {"without its end chunk", png.substr(0, png.size() - 12)},
      {"a header claiming more rows than the data holds", WithPngSize(png, 40, 31)},
      {"a damaged header checksum",
       [&] {
         std::string damaged = png;
         damaged[29] = static_cast<char>(damaged[29] ^ 1);
         return damaged;
       }()},
      {"trailing bytes after the end chunk", png + "trailing", 40, 30},
  });
}

TEST(PictureSize, ABmpIsTakenOnlyWithAllItsPixels) {
  const std::string rows = BmpRows(2, 3, 24);
  const std::string grey(1024, '\x40');  // a colour table of 256 entries
  const std::string larger =
      BmpPicture{.Width = 640, .Height = 480, .Pixels = BmpRows(640, 480, 24)}.Bytes();
  // A 2-pixel-wide 8-bit picture of the run-length coded pixels.
  const auto rle8 = [&grey](const std::string& pixels, std::int32_t height = 2) {
    return BmpPicture{
        .Height = height, .Bits = 8, .Compression = 1, .Colours = grey, .Pixels = pixels}
        .Bytes();
  };
  ExpectSizes({
      {"24-bit, bottom-up", BmpPicture{.Pixels = rows}.Bytes(), 2, 3},
      {"the 60 bytes of a larger picture's start", larger.substr(0, 60)},
      {"one byte short of its last row", BmpPicture{.Pixels = rows.substr(1)}.Bytes()},
      {"pixels that start beyond the file",
       BmpPicture{.Pixels = rows, .Offset = 4096}.Bytes().substr(0, 54 + rows.size())},
      {"8-bit with its colour table",
       BmpPicture{.Bits = 8, .Colours = grey, .Pixels = BmpRows(2, 3, 8)}.Bytes(), 2, 3},
      {"8-bit with a colour table of the colours used",
       BmpPicture{
           .Bits = 8, .ColoursUsed = 2, .Colours = grey.substr(0, 8), .Pixels = BmpRows(2, 3, 8)}
           .Bytes(),
       2, 3},
      {"8-bit cut in its colour table",
       BmpPicture{.Bits = 8, .Colours = grey}.Bytes().substr(0, 300)},
      {"32-bit with colour masks after the header",
       BmpPicture{.Bits = 32,
                  .Compression = 3,
                  .Colours = std::string(12, '\xff'),
                  .Pixels = BmpRows(2, 3, 32)}
           .Bytes(),
       2, 3},
      {"run-length coded to its end mark", rle8(kRle8Lines), 2, 2},
      {"run-length coded, cut before its end", rle8(kRle8Lines.substr(0, 6))},
      {"run-length coded, cut in an absolute run", rle8(kRle8Lines.substr(0, 7))},
      {"run-length coded and stored top-down", rle8(kRle8Lines, -2)},
      {"a JPEG inside", BmpPicture{.Compression = 4, .Pixels = rows}.Bytes()},
      {"2 bits a pixel", BmpPicture{.Bits = 2, .Pixels = rows}.Bytes()},
  });
}

// A header may claim any size: the picture is refused before decoding costs more than the file
// could hold, or than a sheet can show.
TEST(PictureSize, APictureClaimingMoreThanItsDataOrASheetHoldsIsRefused) {
  std::string hugeImageGif = Gif(5, 2);
  // The image descriptor after the header and the two-entry colour table: its size at 24.
  hugeImageGif[24] = hugeImageGif[25] = hugeImageGif[26] = hugeImageGif[27] = '\xff';
  const auto oneBitBmp = [](std::int32_t width, std::int32_t height) {
    return BmpPicture{.Width = width,
                      .Height = height,
                      .Bits = 1,
                      .Colours = std::string(8, '\x40'),
                      .Pixels = BmpRows(width, height, 1)}
        .Bytes();
  };
  std::vector<SizeRow> rows;
  for (const NamedPicture& jpeg : JpegsBeyondTheBounds()) rows.push_back({jpeg.Name, jpeg.Bytes});
  rows.insert(rows.end(), {
                              {"a real 2000 x 1500 JPEG", Jpeg(2000, 1500), 2000, 1500},
                              {"a real progressive 2000 x 1500 JPEG",
                               Jpeg(2000, 1500, {.Progressive = true}), 2000, 1500},
                              {"a GIF whose image is beyond the bound", hugeImageGif},
                              {"a PNG claiming 8192 x 8192", WithPngSize(Png(16, 16), 8192, 8192)},
                              {"a PNG wider than the side bound", Png(16385, 1)},
                              {"a BMP of 4096 x 4096", oneBitBmp(4096, 4096), 4096, 4096},
                              {"a BMP of 4097 x 4096", oneBitBmp(4097, 4096)},
                          });
  ExpectSizes(rows);
  ASSERT_EQ(hugeImageGif[19], ',') << "the image descriptor moved";
}

TEST(PictureSize, ThePictureCommandRefusesWhatDoesNotDecode) {
  ScratchFolder scratch;
  const std::string good = scratch.WriteFile("good.jpg", Jpeg(8, 6));
  const std::string broken = scratch.WriteFile("broken.jpg", "\xFF\xD8\xFF\xE0 garbage");
  const std::string garbage = scratch.WriteFile(
      "garbage.gif", std::string("GIF89a\x10\x27\x40\x2f\x80\0\0", 13) + std::string(64, 'Z'));
  TSpreadsheetService service;
  auto insert = [&service](const std::string& path) {
    return service.Execute("System", "[INSERT.PICTURE(\"" + path + "\")]") ==
           TDdeExecuteResult::Accepted;
  };
  EXPECT_FALSE(insert(broken));
  EXPECT_FALSE(insert(garbage));
  ASSERT_TRUE(insert(good));
  const std::vector<TSheetPicture>& pictures = service.ActiveWorkbook()->Pictures;
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0].Width, 8u);
  EXPECT_EQ(pictures[0].Height, 6u);
}

}  // namespace
