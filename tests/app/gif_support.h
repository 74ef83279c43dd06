#pragma once

// GIF pictures for the picture tests, written with giflib's encoder.

#include <gif_lib.h>

#include <string>
#include <vector>

// A palette, one image of palette indexes given row by row (top to bottom), optionally
// interlaced, placed on a logical screen, with an optional transparent index.
struct GifPicture {
  int ScreenWidth = 0;  // 0: the image's width
  int ScreenHeight = 0;
  int Left = 0;
  int Top = 0;
  std::vector<std::vector<GifPixelType>> Rows;
  std::vector<GifColorType> Palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  bool Interlaced = false;
  int Transparent = -1;
  bool GlobalPalette = true;

  std::vector<unsigned char> Bytes() const;
};

// A GIF of the given size in the one colour (200, 40, 40), as the bytes of a resource.
std::string PlainGif(int width, int height);
