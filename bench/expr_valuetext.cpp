// Number texts: every operand of an operator is read and every result written through these.

#include <benchmark/benchmark.h>

#include <string>

#include "expr/format.h"
#include "expr/typecvt.h"

namespace {

void BM_TryTextToFloat(benchmark::State& state) {
  const std::string texts[] = {"2.2", "0.333333333333333", "12345", "1.5E-7"};
  std::size_t i = 0;
  for (auto _ : state) {
    long double value;
    benchmark::DoNotOptimize(TryTextToFloat(texts[i++ & 3], value));
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_TryTextToFloat);

void BM_FloatToValueText(benchmark::State& state) {
  const long double values[] = {3.3L, 1.0L / 3, 12345, 1.5E-7L};
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(FloatToValueText(values[i++ & 3]));
}
BENCHMARK(BM_FloatToValueText);

void BM_TypeCastToBoolean(benchmark::State& state) {
  const std::string texts[] = {"1", "0.5", "\"7\"", ""};
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(TypeCast(texts[i++ & 3], vtBoolean));
}
BENCHMARK(BM_TypeCastToBoolean);

void BM_FormatText(benchmark::State& state) {
  const std::string fmt = "Total %f for %s (%d items)";
  for (auto _ : state) benchmark::DoNotOptimize(FormatText(fmt, {1234.5L, "Product", 3}));
}
BENCHMARK(BM_FormatText);

}  // namespace
