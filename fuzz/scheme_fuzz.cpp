// Whole schemes on arbitrary bytes, read as the start-up reads the embedded one: the template
// sections, the flow graph into a scheme cleared first, the 32-bit stamp, the price list.
// Nothing may crash; whatever a failed load leaves behind must be a consistent graph that can
// be cleared and freed.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/errors.h"
#include "graph/elements.h"
#include "graph/visual.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// Every link joins registered points of listed elements; every registered point belongs to a
// listed element.
void CheckGraph(const TScheme& scheme) {
  int32_t points = 0;
  for (int32_t i = 0; i < scheme.ElementCount(); ++i) {
    const TSchemeElement* element = scheme.Elements(i);
    Require(element->Scheme() == &scheme);
    points += element->InputPointCount() + element->OutputPointCount();
    for (int32_t k = 0; k < element->OutputPointCount(); ++k) {
      const TSchemeLink* link = element->OutputPoints(k)->Link();
      Require(link == nullptr ||
              (scheme.IndexOfLink(link) >= 0 && link->Source() == element->OutputPoints(k)));
    }
  }
  Require(scheme.PointCount() == points);
  for (int32_t i = 0; i < scheme.LinkCount(); ++i) {
    const TSchemeLink* link = scheme.Links(i);
    Require(link->Source() != nullptr && link->Target() != nullptr);
    Require(!link->Source()->Multi() && link->Target()->Multi());
    Require(scheme.IndexOfElement(link->Source()->Element()) >= 0);
    Require(scheme.IndexOfElement(link->Target()->Element()) >= 0);
    Require(link->Target()->Links().IndexOf(link) >= 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TSpecDataStream stream;
  stream.Write(data, static_cast<std::uint32_t>(size));
  TSpecTemplate templ;
  TScheme scheme;
  try {
    templ.LoadFromStream(stream);
    scheme.EventsEnabled = false;
    scheme.ClearLinks();
    scheme.ClearElements();
    TSpecSchemeManager(&scheme, &templ).LoadFromStream(stream);
    scheme.EventsEnabled = true;
    stream.ReadInteger();
    templ.PriceList()->LoadFromStream(stream);
  } catch (const Exception&) {
  }
  CheckGraph(scheme);
  scheme.ClearLinks();
  Require(scheme.LinkCount() == 0);
  scheme.ClearElements();
  Require(scheme.PointCount() == 0);
  return 0;
}
