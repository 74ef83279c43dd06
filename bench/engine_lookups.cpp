// The engine where a scheme grows, each figure at several sizes so that a step that depends on
// the size shows as a figure that grows with it:
// - a scheme loop over the chosen products (firstitem, then quantity and nextitem for each)
//   at 100, 1,000 and 10,000 products, every one chosen: the whole loop should grow linearly
//   with the products;
// - one step of an action in a graph that holds 0, 1,000, 10,000 and 100,000 links the run never
//   takes: the step should cost the same at every size.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/runtime.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "tests/support/expr_support.h"
#include "tests/support/loaded_scheme.h"

namespace {

ActionRecord SetValue(const std::string& variable, const std::string& value) {
  ActionRecord action;
  action.Kind = akSetValue;
  action.Variable = variable;
  action.NewValue = value;
  return action;
}

// start -> Item := firstitem() -> (Item = "": finish; otherwise: Total := Total +
// quantity(Item) -> Item := nextitem() -> back to the test), over `products` products.
SchemeParts ProductLoop(int products) {
  SchemeParts parts;
  parts.Template.Variables = {{"Item", vtString, ""}, {"Total", vtFloat, "0"}};
  parts.Template.Actions = {SetValue("Item", "firstitem()"),
                            SetValue("Total", "Total+quantity(Item)"),
                            SetValue("Item", "nextitem()")};
  parts.Template.DecisionPoints = {{"more", {"Item=\"\""}}};
  GraphSection& g = parts.Graph;
  const int start = g.Add({.Kind = gkStart});
  const int finish = g.Add({.Kind = gkFinish});
  const int first = g.Add({.Kind = gkAction, .Index = 0});
  const int add = g.Add({.Kind = gkAction, .Index = 1});
  const int next = g.Add({.Kind = gkAction, .Index = 2});
  const int more = g.Add({.Kind = gkDecision, .Index = 0});
  g.Link(start, 0, first);
  g.Link(first, 0, more);
  g.Link(more, 0, finish);
  g.Link(more, 1, add);
  g.Link(add, 0, next);
  g.Link(next, 0, more);
  for (int i = 0; i < products; ++i) {
    ProductRecord product;
    product.Code = "P" + std::to_string(i);
    product.Name = {{"0", "Product " + std::to_string(i)}};
    parts.Products.push_back(product);
  }
  return parts;
}

// One whole loop over every product, each of quantity 1; the run before it (its start and the
// quantities) is not timed.
void ProductsInALoop(benchmark::State& state) {
  const auto products = static_cast<int>(state.range(0));
  LoadedScheme scheme(ProductLoop(products));
  // A run that shows a calculation message is not the run meant.
  RecordingMessageWindow messages;
  TSpecRunTime engine(scheme.Template.get(), scheme.LinkMap.get());
  for (auto _ : state) {
    state.PauseTiming();
    engine.Start();
    for (std::string& quantity : engine.Transition->Quantities) quantity = "1";
    state.ResumeTiming();
    engine.Run();
  }
  if (!messages.Shown.empty() || engine.Transition->GetValue("Total") != std::to_string(products)) {
    state.SkipWithError("the loop did not take every product once");
  }
  state.counters["products"] = products;
  UIText = kInitialUIText;
}

// start -> A -> B -> A ..., two actions that count, and `untaken` more links, each from an
// element of a third action that the run never reaches, to the finish. The run's own links come
// first in graph order, so a search from the end passes every untaken link.
SchemeParts UntakenLinks(int untaken) {
  SchemeParts parts;
  parts.Template.Variables = {{"Counter", vtInteger, "0"}};
  parts.Template.Actions = {SetValue("Counter", "Counter+1"), SetValue("Counter", "Counter+1"),
                            SetValue("Counter", "0")};
  GraphSection& g = parts.Graph;
  const int start = g.Add({.Kind = gkStart});
  const int finish = g.Add({.Kind = gkFinish});
  const int a = g.Add({.Kind = gkAction, .Index = 0});
  const int b = g.Add({.Kind = gkAction, .Index = 1});
  g.Link(start, 0, a);
  g.Link(a, 0, b);
  g.Link(b, 0, a);
  for (int i = 0; i < untaken; ++i) g.Link(g.Add({.Kind = gkAction, .Index = 2}), 0, finish);
  return parts;
}

const LoadedScheme& UntakenLinksScheme(int untaken) {
  static std::map<int, std::unique_ptr<LoadedScheme>> schemes;
  std::unique_ptr<LoadedScheme>& scheme = schemes[untaken];
  if (!scheme) scheme = std::make_unique<LoadedScheme>(UntakenLinks(untaken));
  return *scheme;
}

// The step of action A: its value set, then the link that leaves it found and its target
// pushed; the target is taken off again, so every iteration steps from A.
void ActionStepBesideUntakenLinks(benchmark::State& state) {
  const auto untaken = static_cast<int>(state.range(0));
  const LoadedScheme& scheme = UntakenLinksScheme(untaken);
  // A run that shows a calculation message is not the run meant.
  RecordingMessageWindow messages;
  TSpecRunTime engine(scheme.Template.get(), scheme.LinkMap.get());
  engine.Start();  // the history: the start, then A
  const TSpecObject* a = scheme.Template->Actions(0);
  const TSpecObject* b = scheme.Template->Actions(1);
  bool inCycle = engine.LastElement() == a;
  for (auto _ : state) {
    engine.Step();
    inCycle = inCycle && engine.LastElement() == b;
    engine.RemoveElement(engine.HistoryCount() - 1);
    // Steps that show nothing are counted against an endless run; these are not one.
    engine.StepsWithoutShowing = 0;
  }
  if (!inCycle || engine.Finished || !messages.Shown.empty()) {
    state.SkipWithError("the run did not step from A to B");
  }
  state.counters["links"] = scheme.LinkMap->Count();
  UIText = kInitialUIText;
}

BENCHMARK(ProductsInALoop)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(ActionStepBesideUntakenLinks)->Arg(0)->Arg(1000)->Arg(10000)->Arg(100000);

}  // namespace
