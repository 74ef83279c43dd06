#include "tests/app/gif_support.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

int AppendGifBytes(GifFileType* gif, const GifByteType* data, int count) {
  auto* out = static_cast<std::vector<unsigned char>*>(gif->UserData);
  out->insert(out->end(), data, data + count);
  return count;
}

}  // namespace

std::vector<unsigned char> GifPicture::Bytes() const {
  std::vector<unsigned char> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, AppendGifBytes, &error);
  EXPECT_NE(gif, nullptr);
  EGifSetGifVersion(gif, true);
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(Palette.size()), Palette.data());
  const int width = Rows.empty() ? 0 : static_cast<int>(Rows[0].size());
  const int height = static_cast<int>(Rows.size());
  EGifPutScreenDesc(gif, ScreenWidth ? ScreenWidth : width, ScreenHeight ? ScreenHeight : height, 8,
                    0, GlobalPalette ? map : nullptr);
  if (Transparent >= 0) {
    const GifByteType control[4] = {0x01, 0, 0, static_cast<GifByteType>(Transparent)};
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
  }
  EGifPutImageDesc(gif, Left, Top, width, height, Interlaced, nullptr);
  std::vector<int> order;
  if (Interlaced) {
    for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
      for (int y = start; y < height; y += step) order.push_back(y);
    }
  } else {
    for (int y = 0; y < height; ++y) order.push_back(y);
  }
  for (int y : order) {
    std::vector<GifPixelType> line = Rows[static_cast<std::size_t>(y)];
    EGifPutLine(gif, line.data(), width);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

std::string PlainGif(int width, int height) {
  GifPicture picture;
  picture.Palette = {{200, 40, 40}, {0, 0, 0}};
  picture.Rows.assign(static_cast<std::size_t>(height),
                      std::vector<GifPixelType>(static_cast<std::size_t>(width), 0));
  const std::vector<unsigned char> bytes = picture.Bytes();
  return {bytes.begin(), bytes.end()};
}
