#include "app/pictures.h"

#include "platform/files.h"
#include "platform/picturecodecs.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>
// gif_lib.h is C and declares its own types.
#include <gif_lib.h>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace {

// Adobe writes CMYK and YCCK JPEGs with inverted components.
void CmykRowToRgb(const unsigned char* cmyk, unsigned char* rgb, JDIMENSION width) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
    const unsigned k = cmyk[3];
    rgb[0] = static_cast<unsigned char>(cmyk[0] * k / 255);
    rgb[1] = static_cast<unsigned char>(cmyk[1] * k / 255);
    rgb[2] = static_cast<unsigned char>(cmyk[2] * k / 255);
  }
}

// Decodes into image; false on any failure. Kept free of objects with destructors, because a
// fatal error leaves it through longjmp.
bool DecodeInto(jpeg_decompress_struct* info, TJpegError* error, const unsigned char* data,
                std::size_t size, QImage* image, unsigned char** cmykRow) {
  InstallJpegErrorManager(info, error);
  if (setjmp(error->Jump)) return false;
  jpeg_create_decompress(info);
  jpeg_mem_src(info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) return false;
  if (!AcceptJpegHeader(info, error, size)) return false;
  const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  info->out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(info);
  *image = QImage(static_cast<int>(info->output_width), static_cast<int>(info->output_height),
                  QImage::Format_RGB888);
  if (image->isNull()) return false;
  if (cmyk) *cmykRow = new unsigned char[static_cast<std::size_t>(info->output_width) * 4];
  while (info->output_scanline < info->output_height) {
    unsigned char* line = image->scanLine(static_cast<int>(info->output_scanline));
    JSAMPROW row = cmyk ? *cmykRow : line;
    if (jpeg_read_scanlines(info, &row, 1) != 1) return false;
    if (cmyk) CmykRowToRgb(*cmykRow, line, info->output_width);
  }
  jpeg_finish_decompress(info);
  return true;
}

// The rows of an image in the order its lines are stored: top to bottom, or the four passes
// of an interlaced image.
std::vector<int> StoredRowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(static_cast<std::size_t>(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  const int offsets[] = {0, 4, 2, 1};
  const int steps[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = offsets[pass]; y < height; y += steps[pass]) rows.push_back(y);
  }
  return rows;
}

// Reads the first image of an open GIF onto canvas; false on any failure. Line by line, so a
// hostile image size costs no more than one line of memory before the data runs out.
bool ReadFirstGifImage(GifFileType* gif, QImage* canvas) {
  int transparent = -1;
  const ColorMapObject* colours = ReadFirstGifDescriptor(gif, &transparent);
  if (!colours) return false;
  const GifImageDesc& desc = gif->Image;
  *canvas = QImage(gif->SWidth, gif->SHeight, QImage::Format_ARGB32);
  if (canvas->isNull()) return false;
  canvas->fill(Qt::transparent);
  std::vector<GifPixelType> line(static_cast<std::size_t>(desc.Width));
  for (const int row : StoredRowOrder(desc.Height, desc.Interlace)) {
    if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR) return false;
    const int y = desc.Top + row;
    if (y < 0 || y >= canvas->height()) continue;
    auto* out = reinterpret_cast<QRgb*>(canvas->scanLine(y));
    for (int x = 0; x < desc.Width; ++x) {
      const int index = line[static_cast<std::size_t>(x)];
      const int at = desc.Left + x;
      if (at < 0 || at >= canvas->width() || index == transparent) continue;
      if (index >= colours->ColorCount) continue;
      const GifColorType& c = colours->Colors[index];
      out[at] = qRgb(c.Red, c.Green, c.Blue);
    }
  }
  return true;
}

std::string LowerAsciiExtension(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension;
}

}  // namespace

QImage DecodeJpeg(const unsigned char* data, std::size_t size) {
  if (!data || size == 0) return {};
  jpeg_decompress_struct info{};
  TJpegError error{};
  QImage image;
  unsigned char* cmykRow = nullptr;
  const bool decoded = DecodeInto(&info, &error, data, size, &image, &cmykRow);
  jpeg_destroy_decompress(&info);
  delete[] cmykRow;
  return decoded ? image : QImage();
}

QImage DecodeGif(const unsigned char* data, std::size_t size) {
  if (!data || size == 0) return {};
  TGifMemory source{data, size, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&source, ReadGifMemory, &error);
  if (!gif) return {};
  QImage canvas;
  const bool decoded = ReadFirstGifImage(gif, &canvas);
  DGifCloseFile(gif, &error);
  return decoded ? canvas : QImage();
}

QImage LoadPictureFile(const std::string& path) {
  const std::string extension = LowerAsciiExtension(path);
  QImage (*decode)(const unsigned char*, std::size_t) = nullptr;
  if (extension == "jpg" || extension == "jpeg") decode = DecodeJpeg;
  if (extension == "gif") decode = DecodeGif;
  if (!decode) return {};
  // Only a regular file is read (a named pipe would block, a device never end).
  const std::unique_ptr<IReadFile> file = FileSystem().OpenRead(path);
  if (!file) return {};
  // A picture file larger than any picture within the bounds takes is refused unread.
  const std::uint64_t size = file->Size();
  if (size > kMaxPictureFileBytes) return {};
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  try {
    file->ReadBlock(bytes.data(), bytes.size());
  } catch (const std::exception&) {
    return {};
  }
  return decode(bytes.data(), bytes.size());
}
