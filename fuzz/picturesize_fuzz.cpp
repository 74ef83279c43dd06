// The sizes of pictures placed on a sheet, on arbitrary bytes: nothing may crash, and a size
// found lies within the picture bounds. Memory and time stay within the fuzzer's limits
// whatever a header claims (a progressive JPEG of a few hundred bytes claiming 8192 x 8192
// once took seconds and hundreds of megabytes).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "platform/picturesize.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<TPictureSize> found = DecodePictureSize(bytes);
  if (found) Require(WithinPictureBounds(found->Width, found->Height));
  return 0;
}
