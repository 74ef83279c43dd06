#pragma once

// The size of a picture file in memory, found by decoding it: a picture is placed on a sheet
// at its own size, so one whose data does not decode (a broken JPEG, a GIF header followed by
// garbage) has no size and is refused. JPEG decodes through libjpeg and GIF through giflib
// with the rules of the program's picture loader (app/pictures.h): warnings of a corrupt but
// decodable JPEG are accepted, a GIF counts by its first image on its logical screen. PNG and
// BMP, which the program does not decode itself, are judged by their headers.

#include <cstdint>
#include <optional>
#include <string_view>

struct TPictureSize {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
};

// The largest picture accepted (width x height), as the program's loader bounds it.
inline constexpr std::uint64_t kMaxPictureSizePixels = 64ull * 1024 * 1024;

// The size in pixels of a PNG, JPEG, GIF or BMP file's bytes; nothing for anything else, for
// data that does not decode and for a picture beyond kMaxPictureSizePixels.
std::optional<TPictureSize> DecodePictureSize(std::string_view bytes);
