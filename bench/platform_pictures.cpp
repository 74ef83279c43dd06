// The size check of a picture placed on a sheet: real pictures of 2000 x 1500 in each format,
// and small files whose headers claim far more (a progressive JPEG of some hundred bytes
// claiming 8192 x 8192 once took seconds and hundreds of megabytes). The counter peak_MB is
// the most heap the check held at once, libjpeg's, libpng's and giflib's included.
//
// Target: a claim is refused at the cost of its header; a picture within the bounds is checked
// in well under a second and within tens of megabytes.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/picturesize.h"
#include "tests/support/picture_support.h"

// The heap the process holds and the most it held since the last reset: every allocation of
// the program and of the libraries goes through these definitions, which forward to the C
// library's own.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}

namespace {

std::size_t HeapInUse = 0;
std::size_t HeapPeak = 0;

void* Taken(void* pointer) {
  if (pointer) {
    HeapInUse += malloc_usable_size(pointer);
    if (HeapInUse > HeapPeak) HeapPeak = HeapInUse;
  }
  return pointer;
}

void Given(void* pointer) {
  if (pointer) HeapInUse -= malloc_usable_size(pointer);
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) {
  return Taken(__libc_malloc(size));
}
void* calloc(std::size_t count, std::size_t size) {
  return Taken(__libc_calloc(count, size));
}
void* realloc(void* pointer, std::size_t size) {
  Given(pointer);
  void* moved = __libc_realloc(pointer, size);
  // A failed realloc keeps the old block.
  return Taken(moved ? moved : (size == 0 ? nullptr : pointer));
}
void free(void* pointer) {
  Given(pointer);
  __libc_free(pointer);
}
void* memalign(std::size_t alignment, std::size_t size) {
  return Taken(__libc_memalign(alignment, size));
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  return Taken(__libc_memalign(alignment, size));
}
int posix_memalign(void** pointer, std::size_t alignment, std::size_t size) {
  *pointer = Taken(__libc_memalign(alignment, size));
  return *pointer || size == 0 ? 0 : 12;  // ENOMEM
}
}

namespace {

void CheckSize(benchmark::State& state, const std::string& bytes, bool accepted) {
  std::size_t peak = 0;
  for (auto _ : state) {
    HeapPeak = HeapInUse;
    const std::size_t before = HeapInUse;
    const bool found = DecodePictureSize(bytes).has_value();
    if (found != accepted) state.SkipWithError("unexpected outcome");
    if (HeapPeak - before > peak) peak = HeapPeak - before;
  }
  state.counters["peak_MB"] = static_cast<double>(peak) / (1024 * 1024);
  state.counters["file_KB"] = static_cast<double>(bytes.size()) / 1024;
}

void BM_RealJpeg(benchmark::State& state) {
  CheckSize(state, Jpeg(2000, 1500), true);
}
BENCHMARK(BM_RealJpeg)->Unit(benchmark::kMillisecond);

void BM_RealProgressiveJpeg(benchmark::State& state) {
  CheckSize(state, Jpeg(2000, 1500, {.Progressive = true, .FullColour = true}), true);
}
BENCHMARK(BM_RealProgressiveJpeg)->Unit(benchmark::kMillisecond);

void BM_RealPng(benchmark::State& state) {
  CheckSize(state, Png(2000, 1500), true);
}
BENCHMARK(BM_RealPng)->Unit(benchmark::kMillisecond);

void BM_RealBmp(benchmark::State& state) {
  CheckSize(state,
            BmpPicture{.Width = 2000, .Height = 1500, .Pixels = BmpRows(2000, 1500, 24)}.Bytes(),
            true);
}
BENCHMARK(BM_RealBmp)->Unit(benchmark::kMillisecond);

void BM_ProgressiveJpegClaiming8192(benchmark::State& state) {
  CheckSize(state,
            WithJpegSize(Jpeg(16, 16, {.Progressive = true, .FullColour = true}), 8192, 8192),
            false);
}
BENCHMARK(BM_ProgressiveJpegClaiming8192)->Unit(benchmark::kMillisecond);

void BM_BaselineJpegClaiming8000(benchmark::State& state) {
  CheckSize(state, WithJpegSize(Jpeg(16, 16), 8000, 8000), false);
}
BENCHMARK(BM_BaselineJpegClaiming8000)->Unit(benchmark::kMillisecond);

// The costliest claim the bounds let through: the most pixels, with comments enough to pass
// the test of the data, its coefficients within the memory bound; it decodes with warnings.
void BM_ProgressiveJpegClaimAtTheBounds(benchmark::State& state) {
  CheckSize(state,
            WithJpegComment(WithJpegSize(Jpeg(16, 16, {.Progressive = true}), 4096, 4096), 33000),
            true);
}
BENCHMARK(BM_ProgressiveJpegClaimAtTheBounds)->Unit(benchmark::kMillisecond);

}  // namespace
