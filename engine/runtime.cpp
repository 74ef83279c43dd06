// The run loop: history, Back with the undo of added quantities, decision points, actions and
// the report step; the engine's service strings and the functions it carries out itself.
#include "engine/runtime.h"

#include <exception>
#include <utility>

#include "engine/locale.h"
#include "expr/evalimpl.h"
#include "expr/format.h"
#include "expr/typecvt.h"
#include "model/pricelist.h"
#include "platform/errors.h"
#include "platform/messages.h"

std::int32_t SchemeStamp = 0;

namespace {

// The engine's own initial texts are the template's default service strings but for the
// units of the report's totals and the colons of two labels.
const std::pair<int, const char*> kInitialTextsOfTheirOwn[] = {
    {16, "Total Weight, g:"}, {17, "Total Volume, m3:"}, {19, "Width, mm:"}, {20, "Height, mm:"},
    {21, "Length, mm:"},      {32, "Horizontals"},       {33, "Verticals"},
};

std::array<std::string, kServiceStringCount> MakeInitialUIText() {
  std::array<std::string, kServiceStringCount> texts;
  for (int i = 0; i < kServiceStringCount; ++i) {
    texts[static_cast<std::size_t>(i)] = kDefaultServiceStrings[i];
  }
  for (const auto& [index, text] : kInitialTextsOfTheirOwn) {
    texts[static_cast<std::size_t>(index)] = text;
  }
  return texts;
}

}  // namespace

const std::array<std::string, kServiceStringCount> kInitialUIText = MakeInitialUIText();

namespace {

// The service strings that become the report form's ReportTexts 0 .. 12, in that order.
constexpr int kReportTextSources[] = {13, 14, 15, 16, 17, 18, 19, 20, 21, 28, 29, 32, 33};
constexpr int kColumnCount = 5;

const std::string& UI(int index) {
  return UIText[static_cast<std::size_t>(index)];
}

bool IsScreen(const TSpecObject* element) {
  return element && element->ObjectKind() == TSpecObjectKind::Screen;
}

}  // namespace

std::array<std::string, kServiceStringCount> UIText = kInitialUIText;

std::string GetActualizationDate() {
  TUserLocale& locale = UserLocale();
  TCalendarDate date;
  if (!locale.ProgramFileDate(date)) date = locale.Today();
  return locale.ShortDate(date);
}

// ---------------------------------------------------------------------------------------------

TSpecRunTime::TSpecRunTime(TSpecTemplate* Template, TSpecLinkMap* LinkMap)
    : Transition(std::make_unique<TSpecTransition>(Template, nullptr)),
      EvalProvider(std::make_unique<TSpecEvalProvider>(this)),
      Evaluator(CreateStandardExpression()),
      Template(Template),
      LinkMap(LinkMap) {
  Evaluator->Provider = EvalProvider.get();
}

TSpecRunTime::~TSpecRunTime() {
  CompiledExpressions.Clear();
  Evaluator.reset();
  EvalProvider.reset();
  // The store goes with the engine: nothing of it needs restoring on the way.
  History.clear();
  UndoCodes.clear();
  UndoQuantities.clear();
}

void TSpecRunTime::Start() {
  const TSpecMuiStringList* strings = Template->ServiceStrings();
  for (int i = 0; i < kServiceStringCount; ++i) {
    UIText[static_cast<std::size_t>(i)] = strings->GetText(i);
  }

  if (ScreenForm) {
    ScreenForm->SetActualLbl(GetActualizationDate());
    ScreenForm->SetBackBtnCaption(UI(uiBack));
    ScreenForm->SetNextBtnCaption(UI(uiNext));
    ScreenForm->SetCloseBtnCaption(UI(uiClose));
    ScreenForm->SetActualTitleLbl(UI(uiActualizationDate));
    ScreenForm->SetSaveBtnHint(UI(uiSaveHint));
    ScreenForm->SetLoadBtnHint(UI(uiLoadHint));
  }
  if (ReportForm) {
    ReportForm->SetActualLbl(GetActualizationDate());
    ReportForm->SetCaption(UI(uiPreview));
    ReportForm->SetBackBtnCaption(UI(uiBack));
    ReportForm->SetNextBtnCaption(UI(uiExport));
    ReportForm->SetCloseBtnCaption(UI(uiClose));
    ReportForm->SetActualTitleLbl(UI(uiActualizationDate));
    ReportForm->SetScreenTitle(UI(uiPreview));
    ReportForm->SetScreenDesc(UI(uiPreviewDescription));
    int index = 0;
    for (int source : kReportTextSources) ReportForm->SetReportText(index++, UI(source));
    for (int column = 0; column < kColumnCount; ++column) {
      ReportForm->SetColumnTitle(column, UI(uiColumnTitlesFirst + column));
    }
  }

  GoingBack = false;
  Finished = false;
  ItemsActive = false;
  Items.clear();
  StepsWithoutShowing = 0;
  ClearHistory();
  PushElement(Template->Start());
  Current = Template->Start();
  Transition = std::make_unique<TSpecTransition>(Template, nullptr);
  Advance();
}

void TSpecRunTime::Run() {
  while (!Finished) Step();
}

void TSpecRunTime::Step() {
  if (Finished) return;
  TSpecObject* last = LastElement();
  const bool shows = last && (last->ObjectKind() == TSpecObjectKind::Screen ||
                              last->ObjectKind() == TSpecObjectKind::Finish);
  if (shows) {
    StepsWithoutShowing = 0;
  } else if (++StepsWithoutShowing > kMaxStepsWithoutShowing) {
    Finished = true;
    Current = nullptr;
    throw Exception(kEndlessRunMessage);
  }
  if (last) {
    switch (last->ObjectKind()) {
      case TSpecObjectKind::Screen:
        ShowScreen(static_cast<TSpecScreen*>(last));
        break;
      case TSpecObjectKind::DecisionPoint:
        EvaluateDecision(static_cast<TSpecDecisionPoint*>(last));
        break;
      case TSpecObjectKind::Action:
        PerformAction(static_cast<TSpecAction*>(last));
        break;
      case TSpecObjectKind::Finish:
        ShowReport();
        break;
      default:
        break;
    }
  }
  Advance();
}

void TSpecRunTime::Advance() {
  if (Finished) return;
  if (GoingBack) {
    if (HistoryCount() > 1) RemoveElement(HistoryCount() - 1);
    while (!IsScreen(LastElement()) && HistoryCount() > 1) RemoveElement(HistoryCount() - 1);
    GoingBack = false;
    if (HistoryCount() == 1) {
      Current = History.front();
      Advance();
    }
    return;
  }
  if (!Current) return;
  if (TSpecLink* link = LinkMap->FindLinkFrom(Current)) {
    PushElement(link->GetTarget());
  } else {
    Finished = true;
  }
}

void TSpecRunTime::EvaluateDecision(TSpecDecisionPoint* DecisionPoint) {
  TSpecOption* taken = nullptr;
  for (int i = 0; i < DecisionPoint->OptionCount() && !taken; ++i) {
    TSpecOption* option = DecisionPoint->Options(i);
    if (option->IsDefault || EvaluateCondition(option->Condition.Expression)) taken = option;
  }
  if (taken) {
    Current = taken;
    GoingBack = false;
  } else {
    Finished = true;
  }
}

void TSpecRunTime::PerformAction(TSpecAction* Action) {
  if (Action->Kind == akSetValue) {
    std::string value;
    try {
      value = EvaluateExpression(Action->NewValue);
    } catch (const std::exception& e) {
      ShowCalculationError(e.what());
      value.clear();
    }
    Transition->SetValue(Action->Variable, value);
  } else if (Action->Kind == akAddProduct) {
    const std::string& code = Action->ProductCode;
    if (const int entry = HistoryCount() - 1; entry >= 0) {
      UndoCodes[static_cast<std::size_t>(entry)] = code;
      UndoQuantities[static_cast<std::size_t>(entry)] =
          FloatToValueText(Transition->GetQuantity(code));
    }
    long double added = 0;
    try {
      added = TextToFloat(TypeCast(EvaluateExpression(Action->Quantity), vtFloat));
    } catch (const std::exception& e) {
      ShowCalculationError(e.what());
      added = 0;
    }
    try {
      Transition->SetQuantity(code, Transition->GetQuantity(code) + added);
    } catch (const EMathError& e) {
      // A sum beyond the stored number range is a calculation error like any other: the
      // quantity keeps its value.
      ShowCalculationError(e.what());
    } catch (const EConvertError& e) {
      ShowCalculationError(e.what());
    }
  }
  Current = Action;
  GoingBack = false;
}

void TSpecRunTime::ShowReport() {
  if (!ReportForm) {
    Finished = true;
    return;
  }
  ReportForm->SetBackBtnClick([this] { ReportBackBtnClick(); });
  ReportForm->SetCloseBtnClick([this] { ReportCloseBtnClick(); });
  ReportForm->SetBackBtnEnabled(!IsFirstScreen());
  BackPressed = false;
  ReportForm->ShowReport(Template, &Transition->Quantities, &Transition->Values);
  if (!BackPressed) Finished = true;
}

bool TSpecRunTime::IsFirstScreen() const {
  for (int i = HistoryCount() - 2; i >= 0; --i) {
    if (IsScreen(History[static_cast<std::size_t>(i)])) return false;
  }
  return true;
}

TSpecObject* TSpecRunTime::HistoryItems(int Index) const {
  if (Index < 0 || Index >= HistoryCount()) RaiseListIndexError(Index);
  return History[static_cast<std::size_t>(Index)];
}

void TSpecRunTime::PushElement(TSpecObject* Element) {
  History.push_back(Element);
  UndoCodes.emplace_back();
  UndoQuantities.emplace_back();
}

void TSpecRunTime::RemoveElement(int Index) {
  if (Index < 0 || Index >= HistoryCount()) RaiseListIndexError(Index);
  const auto i = static_cast<std::size_t>(Index);
  History.erase(History.begin() + Index);
  if (i < UndoCodes.size() && !UndoCodes[i].empty()) {
    const std::string quantity = i < UndoQuantities.size() ? UndoQuantities[i] : std::string();
    Transition->SetQuantity(UndoCodes[i], TextToFloat(quantity));
  }
  if (i < UndoCodes.size()) UndoCodes.erase(UndoCodes.begin() + Index);
  if (i < UndoQuantities.size()) UndoQuantities.erase(UndoQuantities.begin() + Index);
}

void TSpecRunTime::ClearHistory() {
  // As removing entry 0 until none is left, without moving the rest down each time: the undo
  // entries are restored oldest first.
  for (std::size_t i = 0; i < History.size(); ++i) {
    if (i < UndoCodes.size() && !UndoCodes[i].empty()) {
      const std::string quantity = i < UndoQuantities.size() ? UndoQuantities[i] : std::string();
      Transition->SetQuantity(UndoCodes[i], TextToFloat(quantity));
    }
  }
  History.clear();
  UndoCodes.clear();
  UndoQuantities.clear();
}

void TSpecRunTime::ShowCalculationError(const std::string& Message) {
  ShowMessage(FormatText(UI(uiCalculationError), {Message}));
}

bool TSpecRunTime::EvaluateCondition(const std::string& Expression) {
  try {
    return TextToBool(TypeCast(EvaluateExpression(Expression), vtBoolean));
  } catch (const std::exception& e) {
    ShowCalculationError(e.what());
    return false;
  }
}

std::string TSpecRunTime::EvaluateExpression(const std::string& Expression) {
  return CompiledExpressions.Evaluate(Expression, Evaluator->Provider);
}

// ---------------------------------------------------------------------------------------------
// The functions the engine carries out for its provider.

void TSpecRunTime::Stat(std::int32_t Kind, std::string& Result) {
  Result.clear();
  if (Kind < 0 || Kind > 3) return;
  const TSpecPriceList* priceList = Template->PriceList();
  long double volume = 0;
  // Integer sums wrap around in unsigned 32-bit arithmetic, never a signed overflow.
  std::uint32_t total = 0;
  for (int i = 0; i < priceList->ProductCount(); ++i) {
    const TSpecProduct* product = priceList->Products(i);
    const long double quantity = Transition->GetQuantity(product->Code);
    if (!(quantity > 0)) continue;
    switch (Kind) {
      case 0:
        volume += product->PackageVolume * quantity;
        break;
      case 1:
        volume += product->PackageVolume * quantity * 1000;
        break;
      case 2:
        total += static_cast<std::uint32_t>(product->RackUnits()) *
                 static_cast<std::uint32_t>(RoundHalfEven(quantity));
        break;
      case 3:
        total += static_cast<std::uint32_t>(RoundHalfEven(
            static_cast<long double>(static_cast<std::uint32_t>(product->Weight)) * quantity));
        break;
    }
  }
  if (Kind <= 1) {
    FloatToValueText(volume, Result);
  } else {
    Result = IntToText(static_cast<std::int32_t>(total));
  }
}

void TSpecRunTime::ItemInfo(const std::string& Code, std::int32_t N, std::string& Result) {
  const long double quantity = Transition->GetQuantity(Code);
  Result.clear();
  // The first product of the code, found through the store's index of the codes.
  const int index = Transition->ProductIndex(Code);
  if (index >= 0) ProductItemInfo(*Template->PriceList()->Products(index), quantity, N, Result);
}

void TSpecRunTime::FirstItem(std::string& Result) {
  Items.clear();
  const TSpecPriceList* priceList = Template->PriceList();
  for (int i = 0; i < priceList->ProductCount(); ++i) {
    const TSpecProduct* product = priceList->Products(i);
    if (Transition->GetQuantity(product->Code) > 0) Items.push_back(product->Code);
  }
  ItemIndex = 0;
  ItemsActive = true;
  NextItem(Result);
}

void TSpecRunTime::NextItem(std::string& Result) {
  Result = "\"\"";
  if (ItemsActive && ItemIndex >= 0 && static_cast<std::size_t>(ItemIndex) < Items.size()) {
    Result = QuoteString(Items[static_cast<std::size_t>(ItemIndex)]);
    ++ItemIndex;
  }
}
