// Saving and loading a run's state at the shape of the sample scheme's real saves (246
// variables, 182 products, 565 history entries) and at 10 and 100 times that shape, the
// scheme's screens, actions and decision points growing with it. Save: the state written into
// a fresh stream. Load: the stream read into a run that already stands on the same state, as
// when the user loads a file on a screen after a long run.
//
// Target: both grow in proportion to the state; the 100-fold shape under 100 ms each.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/runtime.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"

namespace {

constexpr int kVariables = 246;
constexpr int kProducts = 182;
constexpr int kHistory = 565;
constexpr int kScreens = 40;
constexpr int kActions = 60;
constexpr int kDecisionPoints = 20;

// A scheme and a run of the shape times Scale: the history goes round screen, add-product
// action, set-value action, decision point, and ends with a screen.
class SavedRunShape {
 public:
  explicit SavedRunShape(int scale) {
    const TValueType types[] = {vtString, vtInteger, vtFloat, vtBoolean};
    const char* const values[] = {"\"text of a field\"", "42", "2.5", "1"};
    for (int i = 0; i < kVariables * scale; ++i) {
      Template.AddVariable("V" + std::to_string(i), types[i % 4], values[i % 4]);
    }
    for (int i = 0; i < kProducts * scale; ++i) {
      Template.PriceList()->AddProduct()->Code = "P" + std::to_string(i);
    }
    for (int i = 0; i < kScreens * scale; ++i) Template.AddScreen("S" + std::to_string(i), "");
    for (int i = 0; i < kActions * scale; ++i) {
      TSpecAction* action = Template.AddAction();
      action->Kind = i % 2 == 0 ? akAddProduct : akSetValue;
      action->ProductCode = "P" + std::to_string(i % (kProducts * scale));
    }
    for (int i = 0; i < kDecisionPoints * scale; ++i) {
      Template.AddDecisionPoint()->InsertOption()->Condition.Expression = "V1>0";
    }

    SchemeStamp = 7;
    Run = std::make_unique<TSpecRunTime>(&Template, &LinkMap);
    Run->Start();
    const int historyCount = kHistory * scale;
    for (int i = 1; i < historyCount; ++i) {
      const int round = i / 4;
      switch (i == historyCount - 1 ? 0 : i % 4) {
        case 0:
          Run->PushElement(Template.Screens(round % Template.ScreenCount()));
          break;
        case 1: {
          const int action = (2 * round) % Template.ActionCount();
          Run->PushElement(Template.Actions(action));
          Run->UndoCodes.back() = Template.Actions(action)->ProductCode;
          Run->UndoQuantities.back() = "1";
          break;
        }
        case 2:
          Run->PushElement(Template.Actions((2 * round + 1) % Template.ActionCount()));
          break;
        default:
          Run->PushElement(Template.DecisionPoints(round % Template.DecisionPointCount()));
          break;
      }
    }
    for (std::string& quantity : Run->Transition->Quantities) quantity = "3";
    Run->Current = Template.DecisionPoints(0)->Options(0);
  }

  TSpecTemplate Template;
  TSpecLinkMap LinkMap{&Template};
  std::unique_ptr<TSpecRunTime> Run;
};

void BM_SaveState(benchmark::State& state) {
  SavedRunShape shape(static_cast<int>(state.range(0)));
  std::uint32_t bytes = 0;
  for (auto _ : state) {
    TSpecDataStream stream;
    shape.Run->SaveState(stream);
    bytes = stream.Size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["file_bytes"] = bytes;
}

void BM_LoadState(benchmark::State& state) {
  SavedRunShape shape(static_cast<int>(state.range(0)));
  TSpecDataStream stream;
  shape.Run->SaveState(stream);
  for (auto _ : state) {
    stream.Rewind();
    if (!shape.Run->LoadState(stream)) state.SkipWithError("the state was refused");
  }
  state.counters["history"] = shape.Run->HistoryCount();
}

BENCHMARK(BM_SaveState)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadState)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
