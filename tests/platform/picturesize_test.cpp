#include "platform/picturesize.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "platform/spreadsheet.h"
#include "tests/support/test_paths.h"

namespace {

// A grey JPEG of the size, written with libjpeg.
std::string Jpeg(int width, int height) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3, 128);
  while (info.next_scanline < info.image_height) {
    JSAMPROW line = row.data();
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string bytes(reinterpret_cast<char*>(buffer), size);
  std::free(buffer);
  return bytes;
}

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

const std::string kPng(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x03\x00\x00"
    "\x00\x02\x08\x06\x00\x00\x00\x1f\x15\xc4\x89",
    33);

// A BMP file header and info header of a 2 x 3 picture stored top-down.
const std::string kBmp = std::string("BM") + std::string(12, '\0') +
                         std::string("\x28\0\0\0\x02\0\0\0\xfd\xff\xff\xff\x01\0\x18\0", 16) +
                         std::string(24, '\0');

TEST(PictureSize, PicturesAreSizedByDecodingAndRefusedWhenTheyDoNotDecode) {
  const std::string jpeg = Jpeg(4, 3);
  const std::string gif = Gif(5, 2);
  std::string bigScreenGif = gif;
  bigScreenGif[6] = bigScreenGif[7] = bigScreenGif[8] = bigScreenGif[9] = '\xff';
  struct Row {
    const char* name;
    std::string bytes;
    std::uint32_t width = 0;  // 0: refused
    std::uint32_t height = 0;
  };
  const Row rows[] = {
      {"PNG", kPng, 3, 2},
      {"JPEG", jpeg, 4, 3},
      {"GIF", gif, 5, 2},
      {"BMP stored top-down", kBmp, 2, 3},
      {"JPEG marker followed by garbage", "\xFF\xD8\xFF\xE0 not a picture at all"},
      {"JPEG without its scan", jpeg.substr(0, 200)},
      {"GIF header followed by garbage",
       std::string("GIF89a\x10\x27\x40\x2f\x80\0\0", 13) + std::string(64, '\x5a')},
      {"GIF cut in its image", gif.substr(0, gif.size() - 6)},
      {"GIF on a screen beyond the bound", bigScreenGif},
      {"PNG without a size", kPng.substr(0, 16) + std::string(8, '\0')},
      {"PNG cut in its header", kPng.substr(0, 20)},
      {"BMP without an info header", kBmp.substr(0, 20)},
      {"text", "just text"},
      {"nothing", ""},
  };
  for (const Row& row : rows) {
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
