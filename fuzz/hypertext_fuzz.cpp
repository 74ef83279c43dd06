// The hypertext parser on arbitrary mark-up: nothing may crash, every link lies inside the
// plain text, links never overlap and stand in the order of their positions, the plain text
// is never longer than the mark-up, and parsing the same text again gives the same result.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/hyperlinkparse.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  THyperText view;
  view.SetHyperText(text);
  const auto plainSize = static_cast<std::int32_t>(view.PlainText().size());
  Require(view.PlainText().size() <= text.size());
  std::int32_t previousEnd = 0;
  for (const auto& link : view.Links) {
    Require(0 <= link->StartPos && link->StartPos <= link->EndPos && link->EndPos <= plainSize);
    Require(previousEnd <= link->StartPos);
    previousEnd = link->EndPos;
  }

  // Every link fires when its own range is pressed.
  bool fired = false;
  view.OnHyperlinkClicked = [&fired](THyperText*, const std::string&) { fired = true; };
  for (const auto& link : view.Links) {
    fired = false;
    view.FireLink(link->StartPos, link->EndPos);
    Require(fired);
  }

  THyperText again;
  again.SetHyperText(text);
  Require(again.PlainText() == view.PlainText() && again.LinkCount() == view.LinkCount());
  return 0;
}
