// Saved states on arbitrary bytes, loaded into a run of a small fixed scheme: nothing may
// crash; a file that is refused or ends early changes nothing of the run, and a file that
// loads leaves a run that stands on a screen, saves again and loads back to the same state.
// The first four bytes are the stamp; inputs that do not start with the scheme's stamp
// (5, little-endian) stop there.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/runtime.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "platform/errors.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// Two variables, two products, two screens, an action and a decision point of two options.
struct Scheme {
  Scheme() {
    Template.AddVariable("A", vtInteger, "1");
    Template.AddVariable("B", vtString, "");
    Template.PriceList()->AddProduct()->Code = "P";
    Template.PriceList()->AddProduct()->Code = "Q";
    Template.AddScreen("First", "");
    Template.AddScreen("Second", "");
    Template.AddAction();
    Template.AddDecisionPoint()->InsertOption()->Condition.Expression = "A>0";
  }
  TSpecTemplate Template;
  TSpecLinkMap LinkMap{&Template};
};

struct State {
  std::vector<std::string> Values, Quantities, UndoCodes, UndoQuantities;
  std::vector<TSpecObject*> History;
  TSpecObject* Current;

  explicit State(const TSpecRunTime& run)
      : Values(run.Transition->Values),
        Quantities(run.Transition->Quantities),
        UndoCodes(run.UndoCodes),
        UndoQuantities(run.UndoQuantities),
        History(run.History),
        Current(run.Current) {}
  bool operator==(const State&) const = default;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scheme scheme;
  SchemeStamp = 5;
  TSpecRunTime run(&scheme.Template, &scheme.LinkMap);
  run.Start();  // no links: the history is the start alone
  run.PushElement(scheme.Template.Screens(0));
  run.Current = scheme.Template.Start();
  const State before(run);

  TSpecDataStream stream;
  stream.Write(data, static_cast<std::uint32_t>(size));
  bool loaded = false;
  try {
    loaded = run.LoadState(stream);
  } catch (const Exception&) {
    Require(State(run) == before);
    return 0;
  }
  if (!loaded) {
    Require(State(run) == before);
    return 0;
  }

  const State after(run);
  Require(after.Values.size() == 2 && after.Quantities.size() == 2);
  Require(!after.History.empty() && run.LastElement()->ObjectKind() == TSpecObjectKind::Screen);
  Require(after.UndoCodes.size() == after.History.size());
  Require(after.UndoQuantities.size() == after.History.size());
  for (TSpecObject* element : after.History) {
    Require(element != nullptr && element->ObjectKind() != TSpecObjectKind::Option);
  }
  TSpecDataStream again;
  try {
    run.SaveState(again);
  } catch (const Exception&) {
    return 0;  // a text too long for the format cannot be saved
  }
  TSpecRunTime reloaded(&scheme.Template, &scheme.LinkMap);
  again.Rewind();
  Require(reloaded.LoadState(again));
  Require(State(reloaded) == after);
  // Going back over the loaded history restores quantities without failing.
  run.GoingBack = true;
  run.Advance();
  run.ClearHistory();
  return 0;
}
