// The engine's compiled texts (TSpecRunTime::EvaluateExpression) beside the one-text evaluator
// (SetText and Evaluate on TSpecRunTime::Evaluator), over many distinct texts:
//
// - Cycling: the texts of a family evaluated in turn, over and over, for a number of distinct
//   texts below and beyond what the engine keeps compiled; the same sequence the one-text way.
// - FirstEvaluation: every evaluation a text the engine has not seen yet; SecondEvaluation: a
//   text it has evaluated once.
// - Memory: the heap that a fresh engine holds after two evaluations of each of a number of
//   texts (the second keeps it), per text and per byte of text (counters), among them texts
//   that read a variable holding a 1 MB string; beside it the bytes the compiled texts count
//   as theirs. Chunks that an earlier engine of the process gave back are reused without new
//   heap: run it alone (--benchmark_filter=Memory) for the heap's figure.
//
// Targets: no evaluation of the engine costs more than the one-text way, at any number of
// distinct texts; the compiled texts take a small multiple of the bytes of the texts, whatever
// the values they read.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/runtime.h"
#include "expr/eval.h"
#include "expr/evalcache.h"
#include "tests/support/loaded_scheme.h"

namespace {

constexpr std::size_t kLargeValue = 1 << 20;

SchemeParts Scheme() {
  SchemeParts parts;
  parts.Template.Variables = {{"Units", vtInteger, "3"},
                              {"Width", vtFloat, "2.5"},
                              {"Label", vtString, "\"box\""},
                              {"Big", vtString, "\"\""}};
  return parts;
}

// The families of texts, each text distinct by its numbers.
enum Family { kCondition, kQuantity, kLong, kReadsLargeValue };

std::string Text(Family family, std::size_t i) {
  const std::string n = std::to_string(i);
  switch (family) {
    case kCondition:
      return "(Units>=" + n + ")&(Width<" + n + ".5)";
    case kQuantity:
      return "Units*" + n + "+Width/2";
    case kLong: {
      // About 5 KB of arithmetic over both variables.
      std::string text = n;
      for (int k = 0; text.size() < 5000; ++k)
        text += "+Units*" + std::to_string(k % 10) + "-Width/" + std::to_string(k % 7 + 1);
      return text;
    }
    case kReadsLargeValue:
      return "Big=\"x" + n + "\"";
  }
  return {};
}

const char* FamilyName(Family family) {
  switch (family) {
    case kCondition:
      return "condition";
    case kQuantity:
      return "quantity";
    case kLong:
      return "long";
    case kReadsLargeValue:
      return "reads1MB";
  }
  return "";
}

std::vector<std::string> Texts(Family family, std::size_t count, std::size_t first = 0) {
  std::vector<std::string> texts;
  texts.reserve(count);
  for (std::size_t i = 0; i < count; ++i) texts.push_back(Text(family, first + i));
  return texts;
}

struct Engine {
  explicit Engine(Family family) : Scheme(::Scheme()) {
    RunTime = std::make_unique<TSpecRunTime>(Scheme.Template.get(), Scheme.LinkMap.get());
    if (family == kReadsLargeValue)
      RunTime->Transition->SetValue("Big", "\"" + std::string(kLargeValue, 'x') + "\"");
  }
  LoadedScheme Scheme;
  std::unique_ptr<TSpecRunTime> RunTime;
};

// The two ways of evaluating a text: the engine's, from its compiled texts, and SetText and
// Evaluate on the engine's evaluator for every evaluation.
enum Way { kCompiled, kOneText };

std::string Evaluated(Engine& engine, Way way, const std::string& text) {
  if (way == kCompiled) return engine.RunTime->EvaluateExpression(text);
  TEvalExpression& evaluator = *engine.RunTime->Evaluator;
  evaluator.SetText(text);
  return evaluator.Evaluate();
}

// The texts in turn, over and over; the engine's way twice around before the timing starts
// (the second evaluation keeps a text).
void Cycling(benchmark::State& state, Family family, Way way) {
  const std::vector<std::string> texts = Texts(family, static_cast<std::size_t>(state.range(0)));
  Engine engine(family);
  if (way == kCompiled)
    for (int visit = 0; visit < 2; ++visit)
      for (const std::string& text : texts) engine.RunTime->EvaluateExpression(text);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Evaluated(engine, way, texts[i]));
    if (++i == texts.size()) i = 0;
  }
  state.counters["texts"] = static_cast<double>(texts.size());
}

// Each evaluation a text new to the engine (Seen 0), or one it has evaluated once (Seen 1, the
// evaluation that keeps it); a fresh engine (outside the timing) when the prepared texts run
// out.
void NewEvaluation(benchmark::State& state, Family family, Way way, int seen) {
  constexpr std::size_t kBatch = 2048;
  std::vector<std::string> texts;
  std::unique_ptr<Engine> engine;
  std::size_t i = kBatch, batch = 0;
  for (auto _ : state) {
    if (i == kBatch) {
      state.PauseTiming();
      engine.reset();
      engine = std::make_unique<Engine>(family);
      texts = Texts(family, kBatch, batch++ * kBatch);
      for (int visit = 0; visit < seen; ++visit)
        for (const std::string& text : texts) Evaluated(*engine, way, text);
      i = 0;
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(Evaluated(*engine, way, texts[i++]));
  }
}

std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// The heap a fresh engine holds after two evaluations of each text, beyond what it held before.
void CompiledMemory(benchmark::State& state, Family family) {
  const std::vector<std::string> texts = Texts(family, static_cast<std::size_t>(state.range(0)));
  std::size_t textBytes = 0;
  for (const std::string& text : texts) textBytes += text.size();
  double held = 0, counted = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto engine = std::make_unique<Engine>(family);
    // One text first, so that what every engine holds once is not counted.
    engine->RunTime->EvaluateExpression("0");
    engine->RunTime->EvaluateExpression("0");
    const std::size_t before = HeapInUse();
    const std::size_t countedBefore = engine->RunTime->CompiledExpressions.Bytes();
    state.ResumeTiming();
    for (int visit = 0; visit < 2; ++visit)
      for (const std::string& text : texts) engine->RunTime->EvaluateExpression(text);
    state.PauseTiming();
    held = static_cast<double>(HeapInUse()) - static_cast<double>(before);
    counted = static_cast<double>(engine->RunTime->CompiledExpressions.Bytes() - countedBefore);
    engine.reset();
    state.ResumeTiming();
  }
  state.counters["bytes"] = held;
  state.counters["counted_bytes"] = counted;
  state.counters["bytes_per_text"] = held / static_cast<double>(texts.size());
  state.counters["bytes_per_text_byte"] = held / static_cast<double>(textBytes);
}

const bool kRegistered = [] {
  for (Family family : {kCondition, kQuantity, kLong}) {
    const std::string name = FamilyName(family);
    const std::vector<long> counts = family == kLong
                                         ? std::vector<long>{64, 1024}
                                         : std::vector<long>{64, 4096, 4097, 16384, 65536};
    for (long count : counts) {
      benchmark::RegisterBenchmark(("Cycling/compiled/" + name).c_str(), Cycling, family, kCompiled)
          ->Arg(count);
      benchmark::RegisterBenchmark(("Cycling/onetext/" + name).c_str(), Cycling, family, kOneText)
          ->Arg(count);
    }
    benchmark::RegisterBenchmark(("FirstEvaluation/compiled/" + name).c_str(), NewEvaluation,
                                 family, kCompiled, 0);
    benchmark::RegisterBenchmark(("FirstEvaluation/onetext/" + name).c_str(), NewEvaluation, family,
                                 kOneText, 0);
    benchmark::RegisterBenchmark(("SecondEvaluation/compiled/" + name).c_str(), NewEvaluation,
                                 family, kCompiled, 1);
    benchmark::RegisterBenchmark(("SecondEvaluation/onetext/" + name).c_str(), NewEvaluation,
                                 family, kOneText, 1);
  }
  for (Family family : {kCondition, kQuantity, kLong, kReadsLargeValue}) {
    const long count = family == kLong ? 200 : family == kReadsLargeValue ? 100 : 4000;
    benchmark::RegisterBenchmark((std::string("Memory/compiled/") + FamilyName(family)).c_str(),
                                 CompiledMemory, family)
        ->Arg(count)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
