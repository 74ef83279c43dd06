#include "platform/picturesize.h"

#include "platform/picturecodecs.h"

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

bool WithinBound(std::uint64_t width, std::uint64_t height) {
  return width > 0 && height > 0 && width * height <= kMaxPictureSizePixels;
}

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
  if (!WithinBound(info->image_width, info->image_height)) return false;
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
  if (gif->SWidth <= 0 || gif->SHeight <= 0 ||
      !WithinBound(static_cast<std::uint64_t>(gif->SWidth),
                   static_cast<std::uint64_t>(gif->SHeight)))
    return false;
  int transparent = -1;
  if (!ReadFirstGifDescriptor(gif, &transparent)) return false;
  const GifImageDesc& desc = gif->Image;
  // A line is at most the image's width; the data runs out long before a hostile height.
  if (!WithinBound(static_cast<std::uint64_t>(desc.Width), 1)) return false;
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

// ---- PNG and BMP headers ----

std::uint32_t BigEndian32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::int32_t LittleEndian32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return static_cast<std::int32_t>(value);
}

// The signature, then the IHDR chunk with the size.
std::optional<TPictureSize> PngSize(std::string_view bytes) {
  if (bytes.size() < 24 || bytes.substr(12, 4) != "IHDR") return std::nullopt;
  const TPictureSize size{BigEndian32(bytes, 16), BigEndian32(bytes, 20)};
  if (!WithinBound(size.Width, size.Height)) return std::nullopt;
  return size;
}

// The file header, then an info header of 40 bytes or more with the size (a negative height
// is a picture stored top-down).
std::optional<TPictureSize> BmpSize(std::string_view bytes) {
  if (bytes.size() < 26 || LittleEndian32(bytes, 14) < 40) return std::nullopt;
  const std::int64_t width = LittleEndian32(bytes, 18);
  std::int64_t height = LittleEndian32(bytes, 22);
  if (height < 0) height = -height;
  if (width <= 0 ||
      !WithinBound(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height)))
    return std::nullopt;
  return TPictureSize{static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
}

}  // namespace

std::optional<TPictureSize> DecodePictureSize(std::string_view bytes) {
  if (bytes.starts_with("\x89PNG\r\n\x1a\n")) return PngSize(bytes);
  if (bytes.starts_with("\xFF\xD8\xFF")) return JpegSize(bytes);
  if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")) return GifSize(bytes);
  if (bytes.starts_with("BM")) return BmpSize(bytes);
  return std::nullopt;
}
