#pragma once

// The size of a picture file in memory, found by decoding it: a picture is placed on a sheet
// at its own size, so one whose data does not decode (a broken JPEG, a GIF header followed by
// garbage, a PNG or BMP cut short) has no size and is refused. JPEG decodes through libjpeg
// and GIF through giflib with the rules of the program's picture loader (app/pictures.h):
// warnings of a corrupt but decodable JPEG are accepted, a GIF counts by its first image on
// its logical screen, and both keep the decoding bounds of platform/picturecodecs.h. PNG decodes
// through libpng, row by row, to its end chunk; a BMP is whole when its headers, colours and
// pixel data lie within the file.
//
// The check costs at most tens of megabytes and well under a second whatever the file claims:
// pictures beyond the bounds are refused from their headers, and a picture is read one row at
// a time (a progressive JPEG, which keeps its coefficients, within the JPEG memory bound).

#include <cstdint>
#include <optional>
#include <string_view>

// The largest picture accepted, on a sheet and in the windows alike: at most kMaxPicturePixels
// pixels (64 MB decoded at four bytes a pixel; a picture of 4096 x 4096 already spans more
// than a metre of sheet at its own size) and at most kMaxPictureSide pixels on either side. A
// picture file is at most kMaxPictureFileBytes long: more than any picture within the bounds
// takes in these formats.
inline constexpr std::uint64_t kMaxPicturePixels = 16ull * 1024 * 1024;
inline constexpr std::uint64_t kMaxPictureSide = 16384;
inline constexpr std::uint64_t kMaxPictureFileBytes = kMaxPicturePixels * 4;

// True for a picture of at least one pixel within both bounds.
bool WithinPictureBounds(std::uint64_t width, std::uint64_t height);

struct TPictureSize {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
};

// The size in pixels of a PNG, JPEG, GIF or BMP file's bytes; nothing for anything else, for
// data that does not decode or ends before the picture does, and for a picture beyond the
// bounds.
std::optional<TPictureSize> DecodePictureSize(std::string_view bytes);
