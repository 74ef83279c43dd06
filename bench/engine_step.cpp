// The engine stepping through a generated scheme: Next on a screen of 50 questions of every kind
// (its answers read, checked and stored), a decision point that tries 10 conditions before its
// default option, a set-value and an add-product action, and the same screen built again. One
// iteration is that cycle, from Next to the next screen built; it runs against the scripted
// forms of the tests and against the real Qt screen form (offscreen, shown modally and left
// with a click on Next).
//
// Target: at most 1 ms per cycle on the scripted forms.
//
// Beside it, the cost of one decision point's condition in a run against the evaluation of the
// same text on a tree compiled once (the target: within 1.3x).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/runscreen.h"
#include "engine/runtime.h"
#include "expr/evalimpl.h"
#include "graph/elements.h"
#include "graph/visual.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "platform/errorwindow.h"
#include "platform/messages.h"
#include "tests/support/loaded_scheme.h"
#include "tests/support/scripted_forms.h"
#include "tools/graphwriter.h"
#include "tools/pricelistwriter.h"
#include "tools/templatewriter.h"

namespace {

constexpr int kQuestions = 50;
constexpr int kConditions = 10;
// The condition of the second decision point, alone before its default option; true in the run.
constexpr const char* kCondition = "(Counter>=0)&(Q2<10)";

// The value type each question kind stores, and a value of it.
const TValueType kKindTypes[11] = {vtBoolean, vtFloat, vtInteger, vtString, vtInteger, vtInteger,
                                   vtFloat,   vtFloat, vtString,  vtString, vtString};
const char* const kTypeValues[4] = {"\"b\"", "2", "2.5", "1"};

std::vector<std::uint8_t> BuildScheme() {
  TemplateRecord templ;
  templ.Languages = {{{0, "English"}}, 0, 0};
  templ.Variables.push_back({"Counter", vtInteger, "0"});
  ScreenRecord screen;
  screen.Title = {{"0", "Fifty questions & more"}};
  screen.Description = {{"0", "A screen with a <help>link</> in its description."}};
  for (int i = 0; i < kQuestions; ++i) {
    const auto kind = static_cast<std::uint8_t>(i % 11);
    const TValueType type = kKindTypes[kind];
    const std::string name = "Q" + std::to_string(i);
    templ.Variables.push_back({name, type, kTypeValues[type]});
    QuestionRecord question;
    question.Title = {{"0", "Question " + std::to_string(i)}};
    question.Variable = name;
    if (i % 3 == 0) question.Description = {{"0", "Help of question " + std::to_string(i)}};
    question.Kind = kind;
    question.IntMin = kind == qkIntegerInput ? "0" : "";
    question.IntMax = kind == qkIntegerInput ? "Counter+100" : "";
    question.FloatMin = kind == qkFloatInput ? "-1" : "";
    question.FloatMax = kind == qkFloatInput ? "100.5" : "";
    if (kind >= qkIntegerOptions && kind <= qkStringDropDown) {
      for (int a = 1; a <= 4; ++a) {
        const std::string value = type == vtString
                                      ? "\"" + std::string(1, static_cast<char>('a' + a)) + "\""
                                  : type == vtFloat ? std::to_string(a) + ".5"
                                                    : std::to_string(a);
        question.Answers.push_back(
            {{{"0", "Answer " + std::to_string(a)}}, {}, value, a % 2 == 0 ? "Counter>=0" : ""});
      }
    }
    templ.Questions.push_back(question);
    screen.Questions.push_back(static_cast<std::uint16_t>(i));
  }
  templ.Screens = {screen};
  DecisionPointRecord decision{"choose", {}};
  for (int c = 0; c < kConditions; ++c) {
    decision.Conditions.push_back("(Counter<0)&(Q2>" + std::to_string(c) + ")");
  }
  templ.DecisionPoints = {decision, {"one condition", {kCondition}}};
  templ.Actions = {{akSetValue, "Counter", "Counter+1", "", ""},
                   {akAddProduct, "", "", "P1", "quantity(\"P1\")*0+1"}};

  // start -> screen -> decision point (default option) -> set value -> add product -> screen
  GraphSection graph;
  const int start = graph.Add({.Kind = gkStart});
  graph.Add({.Kind = gkFinish});
  const int screenElement = graph.Add({.Kind = gkScreen, .Index = 0});
  const int decisionElement = graph.Add({.Kind = gkDecision, .Index = 0});
  const int setValue = graph.Add({.Kind = gkAction, .Index = 0});
  const int addProduct = graph.Add({.Kind = gkAction, .Index = 1});
  graph.Link(start, 0, screenElement);
  graph.Link(screenElement, 0, decisionElement);
  graph.Link(decisionElement, kConditions, setValue);
  graph.Link(setValue, 0, addProduct);
  graph.Link(addProduct, 0, screenElement);

  std::vector<ProductRecord> products;
  for (int p = 1; p <= 20; ++p) {
    ProductRecord product;
    product.Code = "P" + std::to_string(p);
    product.Name = {{"0", "Product " + std::to_string(p)}};
    products.push_back(product);
  }
  SchemeWriter out;
  WriteTemplate(out, templ);
  WriteGraph(out, graph);
  WriteSchemeStamp(out, 1);
  WritePriceList(out, products, {});
  return out.Bytes();
}

// Counts the calculation messages (and the errors the Qt form's slots show): a cycle that shows
// one is not the cycle meant.
class CountingMessageWindow : public IMessageWindow {
 public:
  void ShowMessage(const std::string&) override { ++Count; }
  int Count = 0;
};

// Clicks Next at every showing and keeps no log of the calls.
class NextEveryTimeForm : public TScriptedScreenForm {
 public:
  int ShowModal() override {
    Log.clear();
    Script.push_back(ClickStep(TScriptButton::Next));
    return TScriptedScreenForm::ShowModal();
  }
};

// The application of the Qt form's cycle, on the offscreen platform unless another is named.
QApplication& Application() {
  static int argc = 1;
  static char name[] = "engine_bench";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication application(argc, argv);
  return application;
}

// The real screen form, shown modally; the first turn of its modal loop clicks Next.
class NextOnShowQtForm : public TExecScreenForm {
 public:
  int ShowModal() override {
    ++ShowCount;
    QTimer::singleShot(0, this, [this] { NextBtn->click(); });
    return TExecScreenForm::ShowModal();
  }
  int ShowCount = 0;
};

template <typename Form>
void RunCycles(benchmark::State& state, Form& screenForm, int& showCount) {
  LoadedScheme scheme(BuildScheme());
  TSpecTemplate& schemeTemplate = *scheme.Template;
  TSpecLinkMap& linkMap = *scheme.LinkMap;

  CountingMessageWindow messages;
  IMessageWindow* previousWindow = SetMessageWindow(&messages);
  CountingMessageWindow errors;
  IMessageWindow* previousErrorWindow = SetErrorWindow(&errors);
  TScriptedReportForm reportForm;
  TSpecRunTime engine(&schemeTemplate, &linkMap);
  engine.ScreenForm = &screenForm;
  engine.ReportForm = &reportForm;
  engine.Start();
  engine.Step();  // the first showing: the screen is left with Next
  for (auto _ : state) {
    // The decision point, the two actions, then the screen built, shown and left with Next.
    for (int step = 0; step < 4; ++step) engine.Step();
    // Keep the history at the start and the screen (the action's undo restores its quantity).
    for (int entry = 0; entry < 4; ++entry) engine.RemoveElement(1);
  }
  SetErrorWindow(previousErrorWindow);
  SetMessageWindow(previousWindow);
  if (engine.Finished || messages.Count != 0 || errors.Count != 0 ||
      showCount != static_cast<int>(state.iterations()) + 1) {
    state.SkipWithError("the run did not go round its cycle");
  }
  state.counters["questions"] = kQuestions;
  UIText = kInitialUIText;
}

void EngineStepFromNextToTheNextScreen(benchmark::State& state) {
  NextEveryTimeForm screenForm;
  RunCycles(state, screenForm, screenForm.ShowCount);
  if (!screenForm.Errors.empty()) state.SkipWithError("the scripted form refused a call");
}

void EngineStepOnTheQtScreenForm(benchmark::State& state) {
  Application();
  NextOnShowQtForm screenForm;
  RunCycles(state, screenForm, screenForm.ShowCount);
}

// One decision point's condition as the run evaluates it: the decision point takes its first
// option, whose condition holds.
void DecisionPointCondition(benchmark::State& state) {
  LoadedScheme scheme(BuildScheme());
  TSpecRunTime engine(scheme.Template.get(), scheme.LinkMap.get());
  engine.Start();
  TSpecDecisionPoint* decisionPoint = scheme.Template->DecisionPoints(1);
  TSpecOption* first = decisionPoint->Options(0);
  for (auto _ : state) {
    engine.EvaluateDecision(decisionPoint);
    benchmark::DoNotOptimize(engine.Current);
  }
  if (engine.Current != first) state.SkipWithError("the condition did not hold");
}

// The same text on one expression whose tree is compiled once, with the engine's provider.
void CachedTreeEvaluation(benchmark::State& state) {
  LoadedScheme scheme(BuildScheme());
  TSpecRunTime engine(scheme.Template.get(), scheme.LinkMap.get());
  engine.Start();
  std::unique_ptr<TEvalExpression> expression = CreateStandardExpression();
  expression->Provider = engine.EvalProvider.get();
  expression->SetText(kCondition);
  std::string result;
  for (auto _ : state) {
    result = expression->Evaluate();
    benchmark::DoNotOptimize(result);
  }
  if (result != "1") state.SkipWithError("the condition did not hold");
}

BENCHMARK(EngineStepFromNextToTheNextScreen)->Unit(benchmark::kMicrosecond);
BENCHMARK(EngineStepOnTheQtScreenForm)->Unit(benchmark::kMicrosecond);
BENCHMARK(DecisionPointCondition);
BENCHMARK(CachedTreeEvaluation);

}  // namespace
