// Evaluation and parsing of typical conditions and quantities, with the variables served by a
// table provider, beside the same expressions in muparserx (a benchmark-only dependency).
//
// Targets: an evaluation takes at most the time muparserx takes; the 20-character condition
// is parsed and compiled at least 1,500,000 times per second.

#include <benchmark/benchmark.h>
#include <muparserx/mpParser.h>

#include <memory>
#include <string>

#include "expr/eval.h"
#include "expr/evalimpl.h"
#include "tests/support/table_provider.h"

namespace {

struct Sample {
  const char* Name;
  const char* Ours;
  const char* Theirs;  // the same computation in muparserx syntax
};

// muparserx has no logical not: "~c" is written "(c==0)" there.
const Sample kSamples[] = {
    {"a+1.1", "a+1.1", "a+1.1"},
    {"2.2*a+1.1", "2.2*a+1.1", "2.2*a+1.1"},
    {"(2.2*a+1.1)*3.3", "(2.2*a+1.1)*3.3", "(2.2*a+1.1)*3.3"},
    {"a*b+c", "a*b+c", "a*b+c"},
    {"(a+b)/2", "(a+b)/2", "(a+b)/2"},
    {"a>b", "a>b", "a>b"},
    {"(a>1)&(b<2)|~c", "(a>1)&(b<2)|~c", "(a>1)&&(b<2)||(c==0)"},
    {"condition20", "(a+b>2.5)&(c<=b*2.0)", "(a+b>2.5)&&(c<=b*2.0)"},
};

void FillTable(TTableProvider& provider) {
  provider.Logging = false;
  provider.Variables = {{"A", "1.5"}, {"B", "2.5"}, {"C", "0"}};
}

void OursEvaluate(benchmark::State& state, const Sample& sample) {
  TTableProvider provider;
  FillTable(provider);
  auto expression = CreateStandardExpression();
  expression->Provider = &provider;
  expression->SetText(sample.Ours);
  for (auto _ : state) benchmark::DoNotOptimize(expression->Evaluate());
}

// A compile parses the text and lays out the evaluation order of its tree.
void OursParse(benchmark::State& state, const Sample& sample) {
  auto expression = CreateStandardExpression();
  const std::string text = sample.Ours;
  for (auto _ : state) {
    expression->SetText(text);
    benchmark::DoNotOptimize(expression->Compile());
  }
  state.counters["parses/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// A new text evaluated at once: the parse, the compile and one evaluation.
void OursParseAndEvaluate(benchmark::State& state, const Sample& sample) {
  TTableProvider provider;
  FillTable(provider);
  auto expression = CreateStandardExpression();
  expression->Provider = &provider;
  const std::string text = sample.Ours;
  for (auto _ : state) {
    expression->SetText(text);
    benchmark::DoNotOptimize(expression->Evaluate());
  }
  state.counters["parses/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

struct TheirParser {
  TheirParser() : Parser(mup::pckALL_NON_COMPLEX), A(1.5), B(2.5), C(0.0), VA(&A), VB(&B), VC(&C) {
    Parser.DefineVar("a", VA);
    Parser.DefineVar("b", VB);
    Parser.DefineVar("c", VC);
  }
  mup::ParserX Parser;
  mup::Value A, B, C;
  mup::Variable VA, VB, VC;
};

void TheirsEvaluate(benchmark::State& state, const Sample& sample) {
  TheirParser their;
  their.Parser.SetExpr(sample.Theirs);
  their.Parser.Eval();
  for (auto _ : state) benchmark::DoNotOptimize(&their.Parser.Eval());
}

// muparserx defers its parse to the first evaluation after SetExpr: this measures both.
void TheirsParse(benchmark::State& state, const Sample& sample) {
  TheirParser their;
  const mup::string_type text = sample.Theirs;
  for (auto _ : state) {
    their.Parser.SetExpr(text);
    benchmark::DoNotOptimize(&their.Parser.Eval());
  }
  state.counters["parses/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

const bool kRegistered = [] {
  for (const Sample& sample : kSamples) {
    const std::string name = sample.Name;
    benchmark::RegisterBenchmark(("Evaluate/ours/" + name).c_str(), OursEvaluate, sample);
    benchmark::RegisterBenchmark(("Evaluate/muparserx/" + name).c_str(), TheirsEvaluate, sample);
    benchmark::RegisterBenchmark(("Parse/ours/" + name).c_str(), OursParse, sample);
    benchmark::RegisterBenchmark(("ParseAndEvaluate/ours/" + name).c_str(), OursParseAndEvaluate,
                                 sample);
    benchmark::RegisterBenchmark(("ParseAndEvaluate/muparserx/" + name).c_str(), TheirsParse,
                                 sample);
  }
  return true;
}();

}  // namespace
