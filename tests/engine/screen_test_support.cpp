#include "tests/engine/screen_test_support.h"

#include <gtest/gtest.h>

#include <sstream>

EngineFixture::EngineFixture() : PreviousStamp(SchemeStamp) {
  SchemeStamp = kStamp;
  RunTime.ScreenForm = &Form;
  RunTime.ReportForm = &Report;
}

EngineFixture::~EngineFixture() {
  SchemeStamp = PreviousStamp;
}

TSpecVariable* EngineFixture::Variable(const std::string& name, TValueType type,
                                       const std::string& value) {
  return Template.AddVariable(name, type, value);
}

TSpecQuestion* EngineFixture::Question(const std::string& title, std::uint8_t kind,
                                       TSpecVariable* variable, const std::string& hint) {
  TSpecQuestion* question = Template.AddQuestion(title, kind, variable);
  question->Description.SetCurrentText(hint);
  return question;
}

TSpecAnswer* EngineFixture::Answer(TSpecQuestion* question, const std::string& title,
                                   const std::string& value, const std::string& condition,
                                   const std::string& hint) {
  TSpecAnswer* answer = question->AddAnswer();
  answer->Title.SetCurrentText(title);
  answer->Description.SetCurrentText(hint);
  answer->Value = value;
  answer->Condition.Expression = condition;
  return answer;
}

TSpecScreen* EngineFixture::Screen(const std::string& title,
                                   const std::vector<TSpecQuestion*>& questions,
                                   const std::string& description) {
  TSpecScreen* screen = Template.AddScreen(title, description);
  for (TSpecQuestion* question : questions) screen->AddQuestion(question);
  return screen;
}

TSpecProduct* EngineFixture::Product(const std::string& code) {
  TSpecProduct* product = Template.PriceList()->AddProduct();
  product->Code = code;
  return product;
}

TSpecAction* EngineFixture::AddProduct(const std::string& code, const std::string& quantity) {
  TSpecAction* action = Template.AddAction();
  action->Kind = akAddProduct;
  action->ProductCode = code;
  action->Quantity = quantity;
  return action;
}

TSpecDecisionPoint* EngineFixture::Decision(const std::string& condition) {
  TSpecDecisionPoint* decision = Template.AddDecisionPoint();
  decision->InsertOption()->Condition.Expression = condition;
  return decision;
}

void EngineFixture::Link(TSpecObject* from, TSpecObject* to) {
  TSpecLink* link = LinkMap.Add();
  switch (from->ObjectKind()) {
    case TSpecObjectKind::Screen:
      link->SourceKind = lkScreen;
      link->SourceIndex = Template.IndexOfScreen(static_cast<TSpecScreen*>(from));
      break;
    case TSpecObjectKind::Action:
      link->SourceKind = lkAction;
      link->SourceIndex = Template.IndexOfAction(static_cast<TSpecAction*>(from));
      break;
    case TSpecObjectKind::Option: {
      auto* option = static_cast<TSpecOption*>(from);
      link->SourceKind = lkDecisionPoint;
      link->SourceIndex = Template.IndexOfDecisionPoint(option->DecisionPoint());
      link->SourceOption = option->DecisionPoint()->IndexOfOption(option);
      break;
    }
    default:
      link->SourceKind = lkStartOrFinish;
      break;
  }
  switch (to->ObjectKind()) {
    case TSpecObjectKind::Screen:
      link->TargetKind = lkScreen;
      link->TargetIndex = Template.IndexOfScreen(static_cast<TSpecScreen*>(to));
      break;
    case TSpecObjectKind::Action:
      link->TargetKind = lkAction;
      link->TargetIndex = Template.IndexOfAction(static_cast<TSpecAction*>(to));
      break;
    case TSpecObjectKind::DecisionPoint:
      link->TargetKind = lkDecisionPoint;
      link->TargetIndex = Template.IndexOfDecisionPoint(static_cast<TSpecDecisionPoint*>(to));
      break;
    default:
      link->TargetKind = lkStartOrFinish;
      break;
  }
}

void EngineFixture::Chain(const std::vector<TSpecObject*>& elements) {
  for (std::size_t i = 1; i < elements.size(); ++i) Link(elements[i - 1], elements[i]);
}

void EngineFixture::Run() {
  RunTime.Start();
  RunTime.Run();
}

std::vector<std::string> EngineFixture::PanelLog(int panel) const {
  const std::string name = std::to_string(panel);
  std::vector<std::string> lines;
  for (const std::string& line : Form.Log) {
    std::istringstream words(line);
    std::string operation, target;
    words >> operation >> target;
    if (operation == "AddQuestionPanel" || target != name) continue;
    if (operation.rfind("Add", 0) == 0 || operation == "FitPanelHeight") lines.push_back(line);
  }
  return lines;
}

TScriptedControl* EngineFixture::Control(int panel, TFormControlKind kind, int nth) const {
  if (panel < 0 || panel >= Form.QuestionPanelCount()) return nullptr;
  return Form.Panels[static_cast<std::size_t>(panel)]->Nth(kind, nth);
}
