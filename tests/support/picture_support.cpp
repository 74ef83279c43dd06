#include "tests/support/picture_support.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace {

// Every coefficient of a grey picture in a band of its own, first its high bits and then its
// last one: a valid progression of 127 scans.
std::vector<jpeg_scan_info> ManyScans() {
  std::vector<jpeg_scan_info> scans;
  scans.push_back({1, {0, 0, 0, 0}, 0, 0, 0, 0});
  for (int k = 1; k < 64; ++k) scans.push_back({1, {0, 0, 0, 0}, k, k, 0, 1});
  for (int k = 1; k < 64; ++k) scans.push_back({1, {0, 0, 0, 0}, k, k, 1, 0});
  return scans;
}

void PutBigEndian16(std::string& bytes, std::size_t at, int value) {
  bytes[at] = static_cast<char>(value >> 8 & 0xFF);
  bytes[at + 1] = static_cast<char>(value & 0xFF);
}

void PutBigEndian32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i) & 0xFF);
}

void AppendLittleEndian(std::string& bytes, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

void WritePngBytes(png_structp png, png_bytep data, png_size_t count) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), count);
}

void FlushPng(png_structp) {}

// Writing a picture of the tests' own never fails; should libpng fail, the test stops.
[[noreturn]] void OnPngWriteError(png_structp, png_const_charp message) {
  std::fprintf(stderr, "libpng: %s\n", message);
  std::abort();
}

}  // namespace

std::string Jpeg(int width, int height, const JpegOptions& options) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = options.ManyScans ? 1 : 3;
  info.in_color_space = options.ManyScans ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  if (options.FullColour) {
    for (int c = 0; c < info.num_components; ++c) {
      info.comp_info[c].h_samp_factor = 1;
      info.comp_info[c].v_samp_factor = 1;
    }
  }
  if (options.Progressive) jpeg_simple_progression(&info);
  const std::vector<jpeg_scan_info> scans = ManyScans();
  if (options.ManyScans) {
    info.scan_info = scans.data();
    info.num_scans = static_cast<int>(scans.size());
  }
  info.arith_code = options.Arithmetic ? TRUE : FALSE;
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

std::string WithJpegSize(std::string jpeg, int width, int height) {
  // The frame header: FF C0 to C2, length, precision, height, width.
  for (std::size_t i = 2; i + 8 < jpeg.size(); ++i) {
    const auto marker = static_cast<unsigned char>(jpeg[i + 1]);
    if (static_cast<unsigned char>(jpeg[i]) == 0xFF && marker >= 0xC0 && marker <= 0xCA &&
        marker != 0xC4 && marker != 0xC8) {
      PutBigEndian16(jpeg, i + 5, height);
      PutBigEndian16(jpeg, i + 7, width);
      return jpeg;
    }
  }
  throw std::logic_error("no frame header");
}

std::string WithJpegComment(const std::string& jpeg, std::size_t size) {
  std::string comments;
  while (size > 0) {
    const std::size_t part = size < 65533 ? size : 65533;
    comments += "\xFF\xFE";
    comments.push_back(static_cast<char>((part + 2) >> 8));
    comments.push_back(static_cast<char>((part + 2) & 0xFF));
    comments.append(part, 'c');
    size -= part;
  }
  return jpeg.substr(0, 2) + comments + jpeg.substr(2);
}

std::vector<NamedPicture> JpegsBeyondTheBounds() {
  const std::string baseline = Jpeg(16, 16);
  const std::string progressive = Jpeg(16, 16, {.Progressive = true});
  const std::string fullColour = Jpeg(16, 16, {.Progressive = true, .FullColour = true});
  return {
      {"a progressive JPEG of some hundred bytes claiming 8192 x 8192",
       WithJpegSize(progressive, 8192, 8192)},
      {"a baseline JPEG claiming 8000 x 8000", WithJpegSize(baseline, 8000, 8000)},
      {"a baseline JPEG claiming 2000 x 2000", WithJpegSize(baseline, 2000, 2000)},
      // Comments enough for the data test: the coefficients of 4096 x 4096 in full colour take
      // 96 MB.
      {"a progressive claim whose coefficients pass the memory bound",
       WithJpegComment(WithJpegSize(fullColour, 4096, 4096), 40000)},
      {"a JPEG wider than the side bound",
       WithJpegComment(WithJpegSize(baseline, 16385, 16), 1000)},
      {"a progressive JPEG of more scans than the bound", Jpeg(16, 16, {.ManyScans = true})},
      {"an arithmetic-coded JPEG", Jpeg(16, 16, {.Arithmetic = true})},
  };
}

std::string Png(int width, int height, bool interlaced) {
  std::string bytes;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngWriteError, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &bytes, WritePngBytes, FlushPng);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3, 128);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (int y = 0; y < height; ++y) png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

std::string WithPngSize(std::string png, std::uint32_t width, std::uint32_t height) {
  // The signature (8 bytes), then IHDR: length, type, width, height, ..., the checksum of the
  // type and the 13 data bytes.
  PutBigEndian32(png, 16, width);
  PutBigEndian32(png, 20, height);
  const auto* chunk = reinterpret_cast<const Bytef*>(png.data() + 12);
  PutBigEndian32(png, 29, static_cast<std::uint32_t>(crc32(0, chunk, 17)));
  return png;
}

std::string BmpPicture::Bytes() const {
  const std::uint32_t pixelsAt =
      Offset != 0 ? Offset : static_cast<std::uint32_t>(14 + 40 + Colours.size());
  std::string bytes = "BM";
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(pixelsAt + Pixels.size()), 4);
  AppendLittleEndian(bytes, 0, 4);
  AppendLittleEndian(bytes, pixelsAt, 4);
  AppendLittleEndian(bytes, 40, 4);
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(Width), 4);
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(Height), 4);
  AppendLittleEndian(bytes, 1, 2);
  AppendLittleEndian(bytes, Bits, 2);
  AppendLittleEndian(bytes, Compression, 4);
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(Pixels.size()), 4);
  AppendLittleEndian(bytes, 2835, 4);
  AppendLittleEndian(bytes, 2835, 4);
  AppendLittleEndian(bytes, ColoursUsed, 4);
  AppendLittleEndian(bytes, 0, 4);
  bytes += Colours;
  if (bytes.size() < pixelsAt) bytes.resize(pixelsAt, '\0');
  return bytes + Pixels;
}

std::string BmpRows(std::int32_t width, std::int32_t height, std::uint16_t bits) {
  const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  return std::string(stride * static_cast<std::size_t>(std::abs(height)), '\x40');
}
