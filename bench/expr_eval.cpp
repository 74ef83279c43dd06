// Evaluation and parsing of typical conditions and quantities, with the variables served by a
// table provider, beside the same expressions in muparserx (a benchmark-only dependency).
//
// The evaluations run on two sets of values: short decimals, whose results are short decimals
// as well, and values of ten significant digits (prices, measures, computed totals), whose
// results take all fifteen digits of the number texts.
//
// Targets: an evaluation takes at most the time muparserx takes, with either set of values;
// the 20-character condition is parsed and compiled at least 1,500,000 times per second.

#include <benchmark/benchmark.h>
#include <muparserx/mpParser.h>

#include <memory>
#include <string>

#include "expr/eval.h"
#include "expr/evalimpl.h"
#include "expr/typecvt.h"
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

// The values of a, b and c, as texts for us and as numbers for muparserx.
struct Values {
  const char* Name;
  const char* A;
  const char* B;
  const char* C;
};

const Values kShortValues = {"short", "1.5", "2.5", "0"};
const Values kValueSets[] = {kShortValues,
                             {"digits10", "1.234567891", "2.718281828", "0.5772156649"}};

void FillTable(TTableProvider& provider, const Values& values = kShortValues) {
  provider.Logging = false;
  provider.Variables = {{"A", values.A}, {"B", values.B}, {"C", values.C}};
}

void OursEvaluate(benchmark::State& state, const Sample& sample, const Values& values) {
  TTableProvider provider;
  FillTable(provider, values);
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
  explicit TheirParser(const Values& values = kShortValues)
      : Parser(mup::pckALL_NON_COMPLEX),
        A(static_cast<double>(TextToFloat(values.A))),
        B(static_cast<double>(TextToFloat(values.B))),
        C(static_cast<double>(TextToFloat(values.C))),
        VA(&A),
        VB(&B),
        VC(&C) {
    Parser.DefineVar("a", VA);
    Parser.DefineVar("b", VB);
    Parser.DefineVar("c", VC);
  }
  mup::ParserX Parser;
  mup::Value A, B, C;
  mup::Variable VA, VB, VC;
};

void TheirsEvaluate(benchmark::State& state, const Sample& sample, const Values& values) {
  TheirParser their(values);
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
    for (const Values& values : kValueSets) {
      const std::string set = std::string(values.Name) + "/" + name;
      benchmark::RegisterBenchmark(("Evaluate/ours/" + set).c_str(), OursEvaluate, sample, values);
      benchmark::RegisterBenchmark(("Evaluate/muparserx/" + set).c_str(), TheirsEvaluate, sample,
                                   values);
    }
    benchmark::RegisterBenchmark(("Parse/ours/" + name).c_str(), OursParse, sample);
    benchmark::RegisterBenchmark(("ParseAndEvaluate/ours/" + name).c_str(), OursParseAndEvaluate,
                                 sample);
    benchmark::RegisterBenchmark(("ParseAndEvaluate/muparserx/" + name).c_str(), TheirsParse,
                                 sample);
  }
  return true;
}();

}  // namespace
