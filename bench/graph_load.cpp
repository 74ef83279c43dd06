// Loading and clearing flow graphs of two shapes that once took quadratic time: many start
// elements (each one drops the point it made at first and makes a new one, so the newest point
// is removed again and again), and many links into one input point (each one is added to that
// point's link list, and clearing the links removes them from its front). Both should grow
// linearly from 10k to 1M.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <vector>

#include "graph/elements.h"
#include "graph/visual.h"
#include "model/core.h"
#include "model/saver.h"
#include "tools/graphwriter.h"

namespace {

enum GraphShape { kStarts = 0, kLinksIntoOneInput = 1 };

// Shape kStarts: n start elements. Shape kLinksIntoOneInput: one finish element and n start
// elements, each linked to the finish.
const std::vector<std::uint8_t>& SectionBytes(GraphShape shape, int32_t count) {
  static std::map<std::pair<int, int32_t>, std::vector<std::uint8_t>> cache;
  auto& bytes = cache[{shape, count}];
  if (!bytes.empty()) return bytes;
  GraphSection section;
  if (shape == kLinksIntoOneInput) section.Elements.push_back({gkFinish, 0, 0, 0});
  for (int32_t i = 0; i < count; ++i) {
    const auto start = static_cast<int32_t>(section.Elements.size());
    section.Elements.push_back({gkStart, 0, i % 1000 * 50, i / 1000 * 50});
    if (shape == kLinksIntoOneInput) section.Link(start, 0, 0, 0);
  }
  SchemeWriter out;
  WriteGraph(out, section);
  bytes = out.Bytes();
  return bytes;
}

void Load(TScheme& scheme, TSpecTemplate& templ, const std::vector<std::uint8_t>& bytes) {
  TSpecDataStream stream;
  stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  stream.Rewind();
  TSpecSchemeManager(&scheme, &templ).LoadFromStream(stream);
}

// Loading into an empty scheme; the clearing afterwards is not timed.
void BM_GraphLoad(benchmark::State& state) {
  const auto shape = static_cast<GraphShape>(state.range(0));
  const auto count = static_cast<int32_t>(state.range(1));
  const auto& bytes = SectionBytes(shape, count);
  TSpecTemplate templ;
  for (auto _ : state) {
    TScheme scheme;
    scheme.EventsEnabled = false;
    Load(scheme, templ, bytes);
    benchmark::DoNotOptimize(scheme.ElementCount());
    state.PauseTiming();
    scheme.ClearLinks();
    scheme.ClearElements();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
}

// ClearLinks then ClearElements, as the next load and the scheme's destruction do; the load
// before is not timed.
void BM_GraphClear(benchmark::State& state) {
  const auto shape = static_cast<GraphShape>(state.range(0));
  const auto count = static_cast<int32_t>(state.range(1));
  const auto& bytes = SectionBytes(shape, count);
  TSpecTemplate templ;
  for (auto _ : state) {
    state.PauseTiming();
    TScheme scheme;
    Load(scheme, templ, bytes);
    state.ResumeTiming();
    scheme.ClearLinks();
    scheme.ClearElements();
    benchmark::DoNotOptimize(scheme.PointCount());
  }
  state.SetItemsProcessed(state.iterations() * count);
}

void Shapes(benchmark::internal::Benchmark* bench) {
  bench->ArgNames({"shape", "n"});
  for (int shape : {kStarts, kLinksIntoOneInput})
    for (int64_t count : {10'000, 100'000, 1'000'000}) bench->Args({shape, count});
  bench->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_GraphLoad)->Apply(Shapes);
BENCHMARK(BM_GraphClear)->Apply(Shapes);

}  // namespace
