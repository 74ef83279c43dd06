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

}  // namespace

void InstallJpegErrorManager(jpeg_decompress_struct* info, TJpegError* error) {
  info->err = jpeg_std_error(&error->Manager);
  error->Manager.error_exit = OnFatalError;
  error->Manager.output_message = OnMessage;
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
    if (!colours || desc.Width <= 0 || desc.Height <= 0) return nullptr;
    return colours;
  }
}
