#include "app/pictures.h"

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace {

struct JpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

// libjpeg calls this on a fatal error; control returns to the setjmp in DecodeJpeg, across
// libjpeg's own C frames only.
[[noreturn]] void OnFatalError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->Jump, 1);
}

// Warnings (a corrupt but decodable stream) are not reported.
void OnMessage(j_common_ptr) {}

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
bool DecodeInto(jpeg_decompress_struct* info, JpegError* error, const unsigned char* data,
                std::size_t size, QImage* image, unsigned char** cmykRow) {
  info->err = jpeg_std_error(&error->Manager);
  error->Manager.error_exit = OnFatalError;
  error->Manager.output_message = OnMessage;
  if (setjmp(error->Jump)) return false;
  jpeg_create_decompress(info);
  jpeg_mem_src(info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) return false;
  const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  info->out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  if (static_cast<long long>(info->image_width) * info->image_height > kMaxPicturePixels) {
    return false;
  }
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

}  // namespace

QImage DecodeJpeg(const unsigned char* data, std::size_t size) {
  if (!data || size == 0) return {};
  jpeg_decompress_struct info{};
  JpegError error{};
  QImage image;
  unsigned char* cmykRow = nullptr;
  const bool decoded = DecodeInto(&info, &error, data, size, &image, &cmykRow);
  jpeg_destroy_decompress(&info);
  delete[] cmykRow;
  return decoded ? image : QImage();
}
