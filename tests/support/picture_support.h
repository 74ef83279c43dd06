#pragma once

// Picture files for the picture tests, small and made on the spot: JPEG and PNG written with
// libjpeg's and libpng's encoders, BMP put together field by field, and the header patches
// that make a small picture claim another size.

#include <cstdint>
#include <string>
#include <vector>

struct JpegOptions {
  bool Progressive = false;
  bool Arithmetic = false;
  // Colour components at full resolution (4:4:4) instead of halved (4:2:0).
  bool FullColour = false;
  // A grey picture coded in 127 progressive scans, each coefficient on its own.
  bool ManyScans = false;
};

// A mid-grey JPEG of the size.
std::string Jpeg(int width, int height, const JpegOptions& options = {});
// The JPEG with its frame header claiming Width x Height.
std::string WithJpegSize(std::string jpeg, int width, int height);
// The JPEG with comment segments of Size bytes in all right after its start marker.
std::string WithJpegComment(const std::string& jpeg, std::size_t size);

// JPEGs that every picture decoder of the program refuses, each named for what it is: headers
// claiming more than their data holds or a sheet shows, and pictures whose decoding would pass
// the memory or scan bounds or that are arithmetic-coded.
struct NamedPicture {
  const char* Name;
  std::string Bytes;
};
std::vector<NamedPicture> JpegsBeyondTheBounds();

// A grey 8-bit RGB PNG of the size, optionally interlaced.
std::string Png(int width, int height, bool interlaced = false);
// The PNG with its header chunk claiming Width x Height, its checksum made good.
std::string WithPngSize(std::string png, std::uint32_t width, std::uint32_t height);

// A BMP with the 40-byte info header: the file header, the info header, Colours (the colour
// table, 4 bytes an entry) and Pixels, which start at Offset (0: right after the colours).
struct BmpPicture {
  std::int32_t Width = 2;
  std::int32_t Height = 3;  // negative: stored top-down
  std::uint16_t Bits = 24;
  std::uint32_t Compression = 0;  // 1 run-length coded 8-bit, 2 4-bit, 3 colour masks
  std::uint32_t ColoursUsed = 0;
  std::string Colours{};
  std::string Pixels{};
  std::uint32_t Offset = 0;

  std::string Bytes() const;
};

// The uncompressed rows of a BMP of the size and bits, each padded to four bytes.
std::string BmpRows(std::int32_t width, std::int32_t height, std::uint16_t bits);
