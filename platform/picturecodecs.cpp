#include "platform/picturecodecs.h"

#include <algorithm>
#include <cstring>

namespace {

// libjpeg calls this on a fatal error; control returns to the decoder's setjmp, across
// libjpeg's own C frames only.
[[noreturn]] void OnFatalError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<TJpegError*>(info->err)->Jump, 1);
}

void OnMessage(j_common_ptr) {}

// Called by libjpeg as it goes; a progressive JPEG past its scan bound is a fatal error.
void OnProgress(j_common_ptr info) {
  if (info->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxJpegScans)
    OnFatalError(info);
}

// Every 8 x 8 block of a component at full resolution takes at least one bit of
// Huffman-coded data (the code of its DC coefficient, in a sequential scan and in the first DC
// scan of a progressive one), so a JPEG holds at most 512 pixels a byte of its file.
constexpr std::uint64_t kMaxJpegPixelsPerByte = 64 * 8;

}  // namespace

void InstallJpegErrorManager(jpeg_decompress_struct* info, TJpegError* error) {
  info->err = jpeg_std_error(&error->Manager);
  error->Manager.error_exit = OnFatalError;
  error->Manager.output_message = OnMessage;
}

bool AcceptJpegHeader(jpeg_decompress_struct* info, TJpegError* error, std::size_t size) {
  const std::uint64_t width = info->image_width;
  const std::uint64_t height = info->image_height;
  if (!WithinPictureBounds(width, height)) return false;
  // Arithmetic-coded data can take far less than a bit a block, so its size bounds nothing;
  // the picture readers of desktop spreadsheet programs commonly refuse it too.
  if (info->arith_code) return false;
  if (width * height > kMaxJpegPixelsPerByte * size) return false;
  info->mem->max_memory_to_use = kMaxJpegMemory;
  error->Progress = {};
  error->Progress.progress_monitor = OnProgress;
  info->progress = &error->Progress;
  return true;
}

int ReadGifMemory(GifFileType* gif, GifByteType* buffer, int count) {
  auto* source = static_cast<TGifMemory*>(gif->UserData);
  const std::size_t wanted = count > 0 ? static_cast<std::size_t>(count) : 0;
  const std::size_t n = std::min(wanted, source->Size - source->Position);
  std::memcpy(buffer, source->Data + source->Position, n);
  source->Position += n;
  return static_cast<int>(n);
}

const ColorMapObject* ReadFirstGifDescriptor(GifFileType* gif, int* transparent) {
  *transparent = -1;
  if (gif->SWidth <= 0 || gif->SHeight <= 0 ||
      !WithinPictureBounds(static_cast<std::uint64_t>(gif->SWidth),
                           static_cast<std::uint64_t>(gif->SHeight)))
    return nullptr;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) return nullptr;
    if (record == TERMINATE_RECORD_TYPE) return nullptr;
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return nullptr;
      // The graphic control block of the image that follows: flags, delay, transparent index.
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
        *transparent = (block[1] & 0x01) ? block[4] : -1;
      while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return nullptr;
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) == GIF_ERROR) return nullptr;
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* colours = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    // Decoding takes time in proportion to the image, also where it lies off the screen.
    if (!colours || desc.Width <= 0 || desc.Height <= 0 ||
        !WithinPictureBounds(static_cast<std::uint64_t>(desc.Width),
                             static_cast<std::uint64_t>(desc.Height)))
      return nullptr;
    return colours;
  }
}
