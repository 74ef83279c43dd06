#include "tests/engine/engine_fixture.h"

#include "graph/elements.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "tests/support/model_support.h"

ProductRecord Product(const std::string& code, const std::string& name) {
  ProductRecord product;
  product.Code = code;
  if (!name.empty()) product.Name = {{"0", name}};
  return product;
}

FixedDateLocale::FixedDateLocale(char separator)
    : Separator(separator), Previous(SetUserLocale(this)) {}

FixedDateLocale::~FixedDateLocale() {
  SetUserLocale(Previous);
}

EngineRun::EngineRun(const SchemeParts& parts)
    : Scheme(parts), RunTime(Scheme.Template.get(), Scheme.LinkMap.get()) {
  RunTime.ScreenForm = &ScreenForm;
  RunTime.ReportForm = &ReportForm;
  ScreenForm.OnShow = [this] {
    Shown.push_back(ElementName(*Scheme.Template, RunTime.LastElement()));
    HistoriesShown.push_back(HistoryNames());
    QuantitiesShown.push_back(RunTime.Transition->Quantities);
    BackEnabledShown.push_back(ScreenForm.BackBtnEnabled);
  };
}

EngineRun::~EngineRun() {
  // UIText is the engine's module-level copy: the next test starts from the initial texts.
  for (int i = 0; i < kServiceStringCount; ++i) {
    UIText[static_cast<std::size_t>(i)] = kInitialUIText[static_cast<std::size_t>(i)];
  }
}

void EngineRun::StartAndRun() {
  RunTime.Start();
  RunTime.Run();
}

std::vector<std::string> EngineRun::HistoryNames() const {
  std::vector<std::string> names;
  for (const TSpecObject* element : RunTime.History) {
    names.push_back(ElementName(*Scheme.Template, element));
  }
  return names;
}

std::string ElementName(const TSpecTemplate& templ, const TSpecObject* element) {
  if (!element) return "none";
  switch (element->ObjectKind()) {
    case TSpecObjectKind::Start:
      return "start";
    case TSpecObjectKind::Finish:
      return "finish";
    case TSpecObjectKind::Screen:
      return "screen " +
             std::to_string(templ.IndexOfScreen(static_cast<const TSpecScreen*>(element)));
    case TSpecObjectKind::Action:
      return "action " +
             std::to_string(templ.IndexOfAction(static_cast<const TSpecAction*>(element)));
    case TSpecObjectKind::DecisionPoint:
      return "decision " + std::to_string(templ.IndexOfDecisionPoint(
                               static_cast<const TSpecDecisionPoint*>(element)));
    case TSpecObjectKind::Option: {
      const auto* option = static_cast<const TSpecOption*>(element);
      return "option " + std::to_string(templ.IndexOfDecisionPoint(option->DecisionPoint())) + "." +
             std::to_string(option->DecisionPoint()->IndexOfOption(option));
    }
  }
  return "?";
}
