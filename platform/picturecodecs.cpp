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
