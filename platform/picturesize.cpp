#include "platform/picturesize.h"

#include "platform/picturecodecs.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
// gif_lib.h is C and declares its own types.
#include <gif_lib.h>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace {

// ---- JPEG ----

// Decodes every line into one row buffer; false on any failure. Kept free of objects with
// destructors, because a fatal error leaves it through longjmp.
bool DecodeJpegInto(jpeg_decompress_struct* info, TJpegError* error, const unsigned char* data,
                    std::size_t size, unsigned char** row, TPictureSize* result) {
  InstallJpegErrorManager(info, error);
  if (setjmp(error->Jump)) return false;
  jpeg_create_decompress(info);
  jpeg_mem_src(info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) return false;
  if (!AcceptJpegHeader(info, error, size)) return false;
  jpeg_start_decompress(info);
  *row = static_cast<unsigned char*>(
      std::malloc(static_cast<std::size_t>(info->output_width) * info->output_components));
  if (!*row) return false;
  while (info->output_scanline < info->output_height) {
    JSAMPROW line = *row;
    if (jpeg_read_scanlines(info, &line, 1) != 1) return false;
  }
  jpeg_finish_decompress(info);
  result->Width = info->image_width;
  result->Height = info->image_height;
  return true;
}

std::optional<TPictureSize> JpegSize(std::string_view bytes) {
  jpeg_decompress_struct info{};
  TJpegError error{};
  unsigned char* row = nullptr;
  TPictureSize size;
  const bool decoded =
      DecodeJpegInto(&info, &error, reinterpret_cast<const unsigned char*>(bytes.data()),
                     bytes.size(), &row, &size);
  jpeg_destroy_decompress(&info);
  std::free(row);
  if (!decoded) return std::nullopt;
  return size;
}

// ---- GIF ----

// Reads the first image of an open GIF line by line; false on any failure.
bool ReadFirstGifImage(GifFileType* gif) {
  int transparent = -1;
  if (!ReadFirstGifDescriptor(gif, &transparent)) return false;
  const GifImageDesc& desc = gif->Image;
  std::vector<GifPixelType> line(static_cast<std::size_t>(desc.Width));
  for (int y = 0; y < desc.Height; ++y)
    if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR) return false;
  return true;
}

std::optional<TPictureSize> GifSize(std::string_view bytes) {
  TGifMemory source{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&source, ReadGifMemory, &error);
  if (!gif) return std::nullopt;
  const bool decoded = ReadFirstGifImage(gif);
  const TPictureSize size{static_cast<std::uint32_t>(std::max(gif->SWidth, 0)),
                          static_cast<std::uint32_t>(std::max(gif->SHeight, 0))};
  DGifCloseFile(gif, &error);
  if (!decoded) return std::nullopt;
  return size;
}

// ---- PNG ----

// The bytes of a PNG in memory, read by libpng through ReadPngMemory (its io pointer).
struct TPngMemory {
  const unsigned char* Data;
  std::size_t Size;
  std::size_t Position;
};

// A read past the end is a fatal error: the file ends before its picture does.
void ReadPngMemory(png_structp png, png_bytep buffer, png_size_t count) {
  auto* source = static_cast<TPngMemory*>(png_get_io_ptr(png));
  if (count > source->Size - source->Position) png_error(png, "the file ends early");
  std::memcpy(buffer, source->Data + source->Position, count);
  source->Position += count;
}

// libpng's fatal errors come back to the decoder's setjmp, across libpng's own C frames only;
// warnings (of damaged ancillary chunks, which libpng drops) are not reported.
[[noreturn]] void OnPngError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// The chunks of a PNG other than its image data (texts, colour profiles) may take this much
// memory once decompressed.
constexpr png_alloc_size_t kMaxPngChunkBytes = 8u << 20;

// Decodes every row, pass by pass for an interlaced picture, into one row buffer, then reads
// the chunks after the image data up to the end chunk; false on any failure. Kept free of
// objects with destructors, because a fatal error leaves it through longjmp.
bool DecodePngInto(png_structp png, png_infop info, TPngMemory* source, unsigned char** row,
                   TPictureSize* result) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, source, ReadPngMemory);
  png_set_user_limits(png, static_cast<png_uint_32>(kMaxPictureSide),
                      static_cast<png_uint_32>(kMaxPictureSide));
  png_set_chunk_malloc_max(png, kMaxPngChunkBytes);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (!WithinPictureBounds(width, height)) return false;
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  *row = static_cast<unsigned char*>(std::malloc(png_get_rowbytes(png, info)));
  if (!*row) return false;
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, *row, nullptr);
  png_read_end(png, nullptr);
  result->Width = width;
  result->Height = height;
  return true;
}

std::optional<TPictureSize> PngSize(std::string_view bytes) {
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
  if (!png) return std::nullopt;
  png_infop info = png_create_info_struct(png);
  TPngMemory source{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0};
  unsigned char* row = nullptr;
  TPictureSize size;
  const bool decoded = info && DecodePngInto(png, info, &source, &row, &size);
  png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  std::free(row);
  if (!decoded) return std::nullopt;
  return size;
}

// ---- BMP ----

std::uint32_t LittleEndian32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint32_t LittleEndian16(std::string_view bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
}

// The compressions of a BMP that the desktop's picture readers decode.
enum TBmpCompression : std::uint32_t {
  bcRgb = 0,
  bcRle8 = 1,
  bcRle4 = 2,
  bcBitFields = 3,
};

// The run-length coded pixels from Offset reach the end of the picture: an end-of-bitmap mark,
// or the end of every one of Height lines, comes before the file ends. Absolute runs of Rle4
// pixels take half a byte each; every absolute run is padded to an even length.
bool RleComplete(std::string_view bytes, std::size_t offset, std::uint64_t height, bool rle4) {
  std::size_t at = offset;
  std::uint64_t lines = 0;
  while (at + 2 <= bytes.size()) {
    const unsigned count = static_cast<unsigned char>(bytes[at]);
    const unsigned code = static_cast<unsigned char>(bytes[at + 1]);
    at += 2;
    if (count > 0) continue;  // a run of one colour
    if (code == 0) {
      ++lines;  // end of line
    } else if (code == 1) {
      return true;  // end of bitmap
    } else if (code == 2) {
      if (at + 2 > bytes.size()) return false;  // a move right and down
      lines += static_cast<unsigned char>(bytes[at + 1]);
      at += 2;
    } else {
      std::size_t run = rle4 ? (code + 1) / 2 : code;
      run += run & 1;
      if (run > bytes.size() - at) return false;
      at += run;
    }
  }
  return lines >= height;
}

// A BMP with the Windows info header (40 bytes or more) whose colours and pixel data lie
// within the file: uncompressed rows are each padded to four bytes, run-length coded pixels
// must reach the end of the picture, and a negative height is a picture stored top-down
// (never run-length coded). The file header's own size field is not read: writers fill it
// carelessly and readers ignore it.
std::optional<TPictureSize> BmpSize(std::string_view bytes) {
  constexpr std::size_t kFileHeader = 14;
  if (bytes.size() < kFileHeader + 40) return std::nullopt;
  const std::uint64_t offset = LittleEndian32(bytes, 10);
  const std::uint64_t infoSize = LittleEndian32(bytes, 14);
  const std::int64_t width = static_cast<std::int32_t>(LittleEndian32(bytes, 18));
  const std::int64_t signedHeight = static_cast<std::int32_t>(LittleEndian32(bytes, 22));
  const std::uint32_t bits = LittleEndian16(bytes, 28);
  const std::uint32_t compression = LittleEndian32(bytes, 30);
  const std::uint64_t coloursUsed = LittleEndian32(bytes, 46);
  const std::uint64_t height = signedHeight < 0 ? -signedHeight : signedHeight;
  if (infoSize < 40 || infoSize > bytes.size() - kFileHeader) return std::nullopt;
  if (width <= 0 || !WithinPictureBounds(static_cast<std::uint64_t>(width), height))
    return std::nullopt;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return std::nullopt;
  const bool rle = compression == bcRle8 || compression == bcRle4;
  if (rle && (bits != (compression == bcRle8 ? 8u : 4u) || signedHeight < 0)) return std::nullopt;
  if (compression == bcBitFields && bits != 16 && bits != 32) return std::nullopt;
  if (!rle && compression != bcRgb && compression != bcBitFields) return std::nullopt;
  // The three colour masks follow an info header of 40 bytes; a longer one holds them.
  const std::uint64_t masks = compression == bcBitFields && infoSize == 40 ? 12 : 0;
  // A picture of 8 bits or fewer a pixel has a colour table, of 2^bits entries unless the
  // header names fewer.
  const std::uint64_t allColours = bits > 8 ? 0 : std::uint64_t{1} << bits;
  const std::uint64_t colours = coloursUsed != 0 ? std::min(coloursUsed, allColours) : allColours;
  const std::uint64_t headers = kFileHeader + infoSize + masks + colours * 4;
  if (headers > bytes.size() || offset < kFileHeader + infoSize || offset > bytes.size())
    return std::nullopt;
  if (rle) {
    if (!RleComplete(bytes, static_cast<std::size_t>(offset), height, compression == bcRle4))
      return std::nullopt;
  } else {
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    if (stride * height > bytes.size() - offset) return std::nullopt;
  }
  return TPictureSize{static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
}

}  // namespace

bool WithinPictureBounds(std::uint64_t width, std::uint64_t height) {
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         width * height <= kMaxPicturePixels;
}

std::optional<TPictureSize> DecodePictureSize(std::string_view bytes) {
  if (bytes.starts_with("\x89PNG\r\n\x1a\n")) return PngSize(bytes);
  if (bytes.starts_with("\xFF\xD8\xFF")) return JpegSize(bytes);
  if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")) return GifSize(bytes);
  if (bytes.starts_with("BM")) return BmpSize(bytes);
  return std::nullopt;
}
