// Whole schemes on arbitrary bytes, read as the start-up reads the embedded one: the template
// sections, the flow graph into a scheme cleared first, the 32-bit stamp, the price list.
// Nothing may crash; whatever a failed load leaves behind must be a consistent graph that can
// be painted (at any coordinates it holds), cleared and freed.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "fuzz/fuzz_input.h"
#include "graph/elements.h"
#include "graph/visual.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "platform/errors.h"
#include "platform/resources.h"

namespace {

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

// Takes every drawing command and draws nothing.
class NullCanvas : public TSchemeCanvas {
 public:
  void Lock() override {}
  void Unlock() override {}
  TSchemeColor PenColor() const override { return 0; }
  void SetPenColor(TSchemeColor) override {}
  TSchemePenStyle PenStyle() const override { return TSchemePenStyle::Solid; }
  void SetPenStyle(TSchemePenStyle) override {}
  TSchemePenMode PenMode() const override { return TSchemePenMode::Copy; }
  void SetPenMode(TSchemePenMode) override {}
  TSchemeColor BrushColor() const override { return 0; }
  void SetBrushColor(TSchemeColor) override {}
  TSchemeBrushStyle BrushStyle() const override { return TSchemeBrushStyle::Solid; }
  void SetBrushStyle(TSchemeBrushStyle) override {}
  void SetFont(const std::string&, int32_t, bool, TSchemeColor) override {}
  void MoveTo(int32_t, int32_t) override {}
  void LineTo(int32_t, int32_t) override {}
  void Rectangle(const TSchemeRect&) override {}
  void Ellipse(const TSchemeRect&) override {}
  void FillRect(const TSchemeRect&) override {}
  void TextRect(const TSchemeRect&, int32_t, int32_t, const std::string&) override {}
  void SetPixel(int32_t, int32_t, TSchemeColor) override {}
  TSchemeRect ClipRect() const override { return {0, 0, 200, 100}; }
  void SetClipRegion(const TSchemeRect&) override {}
  void RemoveClipRegion() override {}
};

class FixedHost : public TSchemeHost {
 public:
  void Repaint() override {}
  int32_t Width() const override { return 200; }
  int32_t Height() const override { return 100; }
  TSchemeCanvas* Canvas() override { return &Surface; }
  void SetCursor(TSchemeCursor) override {}
  TSchemePoint ClientToScreen(TSchemePoint Client) const override { return Client; }
  NullCanvas Surface;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input is the embedded resource, read where it lies as the start-up reads it.
  const TModuleResource table[] = {{"QZSCHEME", data, size}};
  const std::span<const TModuleResource> previous = SetModuleResources(table);
  TSpecDataView stream;
  const bool viewed = stream.LoadFromResource("QZSCHEME");
  SetModuleResources(previous);
  Require(viewed);
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
  FixedHost host;
  scheme.SetHost(&host);
  scheme.Paint();
  scheme.MouseMove(false, 50, 50);
  scheme.SetHost(nullptr);
  scheme.ClearLinks();
  Require(scheme.LinkCount() == 0);
  scheme.ClearElements();
  Require(scheme.PointCount() == 0);
  return 0;
}
