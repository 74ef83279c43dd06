// The scheme model's readers on arbitrary bytes: the template sections (A1 to A9) and, fed the
// same bytes on their own, the price list. Nothing may crash or hang, no count may allocate
// more than the input can fill, and a template that loads must keep its invariants: every
// decision point ends with its one default option, every screen shows questions of the
// template, every multilingual string is registered with the template's manager.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>

#include "fuzz/fuzz_input.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"

namespace {

void CheckTemplate(const TSpecTemplate& templ) {
  for (int i = 0; i < templ.DecisionPointCount(); ++i) {
    const TSpecDecisionPoint* point = templ.DecisionPoints(i);
    Require(point->OptionCount() >= 1);
    for (int k = 0; k < point->OptionCount(); ++k) {
      Require(point->Options(k)->IsDefault == (k + 1 == point->OptionCount()));
    }
  }
  for (int i = 0; i < templ.ScreenCount(); ++i) {
    const TSpecScreen* screen = templ.Screens(i);
    for (int k = 0; k < screen->QuestionCount(); ++k) {
      Require(templ.IndexOfQuestion(screen->Questions(k)) >= 0);
    }
  }
  for (int i = 0; i < templ.QuestionCount(); ++i) {
    const TSpecQuestion* question = templ.Questions(i);
    Require(question->Variable == nullptr || templ.IndexOfVariableObject(question->Variable) >= 0);
    Require(question->Title.Registered() && question->Title.Manager() == templ.MuiManager());
  }
  for (int i = 0; i < templ.VariableCount(); ++i) {
    Require(templ.IndexOfVariable(templ.Variables(i)->Name()) == i);
  }
  Require(templ.MuiManager()->LanguageCount() == 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > TSpecDataStream::MaxSize) return 0;
  {
    TSpecDataStream stream;
    stream.Write(data, static_cast<std::uint32_t>(size));
    TSpecTemplate templ;
    bool loaded = false;
    try {
      templ.LoadFromStream(stream);
      loaded = true;
    } catch (const std::exception&) {
      // A refused scheme is fine; what it left behind must still free cleanly.
    }
    if (loaded) CheckTemplate(templ);
  }
  {
    TSpecDataStream stream;
    stream.Write(data, static_cast<std::uint32_t>(size));
    TSpecTemplate templ;
    try {
      templ.PriceList()->LoadFromStream(stream);
    } catch (const std::exception&) {
    }
  }
  return 0;
}
