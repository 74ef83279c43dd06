// The screen step: building a screen's questions on the screen form, showing it modally, and
// reading the answers back when the user leaves it; the button handlers of both forms.
//
// The builders and the reader agree on one layout: one panel per question in the screen's
// order, and on each panel the question's input control is the first control of its kind
// (check box, edit, drop-down list; for option lists the radio buttons, one per offered
// answer, tagged with the answer's index).

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "engine/runtime.h"
#include "expr/format.h"
#include "expr/typecvt.h"
#include "platform/errors.h"

namespace {

// Layout of a question panel, in pixels.
constexpr int kLeft = 10;              // the title, the descriptions and the input controls
constexpr int kBesideLeft = 30;        // what stands beside a check box or a radio button
constexpr int kTitleTop = 10;          // the question's title
constexpr int kNumberEditWidth = 100;  // float and integer edits
constexpr int kWideWidth = 200;        // string edits and drop-down lists

// The value type a list question (kinds 4 to 9) reads its answer's value as.
TValueType ListValueType(std::uint8_t kind) {
  switch (kind) {
    case qkIntegerOptions:
    case qkIntegerDropDown:
      return vtInteger;
    case qkFloatOptions:
    case qkFloatDropDown:
      return vtFloat;
    default:
      return vtString;
  }
}

// A refused answer: the service string formatted with the question's title (and the bound).
[[noreturn]] void Refuse(int textIndex, const std::vector<FormatArg>& args) {
  throw Exception(FormatText(UIText[static_cast<std::size_t>(textIndex)], args));
}

// The answers offered now, in list order, with their indexes in the full answer list. Their
// conditions are evaluated against the values stored so far; a condition that fails is shown
// as a calculation error and hides its answer.
struct OfferedAnswer {
  int Index;
  TSpecAnswer* Answer;
};

std::vector<OfferedAnswer> OfferedAnswers(TSpecRunTime& runTime, TSpecQuestion* question) {
  std::vector<OfferedAnswer> offered;
  for (int i = 0; i < question->AnswerCount(); ++i) {
    TSpecAnswer* answer = question->Answers(i);
    const std::string& condition = answer->Condition.Expression;
    if (condition.empty() || runTime.EvaluateCondition(condition)) offered.push_back({i, answer});
  }
  return offered;
}

// The stored value text of the question's variable; the empty text without a variable.
std::string CurrentValue(const TSpecRunTime& runTime, const TSpecQuestion* question) {
  if (question->Variable == nullptr) return {};
  return runTime.Transition->GetValue(question->Variable->Name());
}

// The text the question's control shows for its current value read in the type. A value that
// cannot be read or shown so is a calculation error like any other: it is shown as one, and
// the control shows what it shows for the empty value; the screen is built and the run goes
// on.
std::string ShownCurrentValue(const TSpecRunTime& runTime, const TSpecQuestion* question,
                              TValueType type) {
  try {
    return ShownValueText(CurrentValue(runTime, question), type);
  } catch (const std::exception& e) {
    TSpecRunTime::ShowCalculationError(e.what());
    return ShownValueText({}, type);
  }
}

// The current value as the list questions compare it with their answers' value texts; one
// that cannot be read is a calculation error and matches no answer but an empty one.
std::string ListCurrentValue(const TSpecRunTime& runTime, const TSpecQuestion* question) {
  try {
    return CurrentValue(runTime, question);
  } catch (const std::exception& e) {
    TSpecRunTime::ShowCalculationError(e.what());
    return {};
  }
}

}  // namespace

std::string ShownValueText(const std::string& Text, TValueType Type) {
  switch (Type) {
    case vtBoolean:
      return BoolToText(TextToBool(TypeCast(Text, vtBoolean)));
    case vtFloat:
      return FloatToValueText(TextToFloat(TypeCast(Text, vtFloat)));
    case vtInteger:
      return IntToText(TextToInt(TypeCast(Text, vtInteger)));
    default:
      return UnquoteString(TypeCast(Text, Type));
  }
}

// ---------------------------------------------------------------------------------------------
// Building.

void TSpecRunTime::ShowScreen(TSpecScreen* Screen) {
  if (!ScreenForm) {
    Finished = true;
    Current = nullptr;
    return;
  }
  // Each load during a showing shows the last screen of the loaded history in the same way;
  // the outcome of the last showing stands.
  for (;;) {
    ScreenForm->SetBackBtnClick([this] { BackBtnClick(); });
    ScreenForm->SetNextBtnClick([this] { NextBtnClick(); });
    ScreenForm->SetCloseBtnClick([this] { CloseBtnClick(); });
    ScreenForm->SetSaveBtnClick([this] { SaveBtnClick(); });
    ScreenForm->SetLoadBtnClick([this] { LoadBtnClick(); });
    ScreenForm->ClearQuestionPanels();
    ScreenForm->SetCaption(Screen->GetTitle());
    ScreenForm->SetScreenTitle(IExecScreenForm::EscapeAmpersands(Screen->GetTitle()));
    ScreenForm->SetScreenDesc(Screen->GetText());
    ScreenForm->AdjustScreenDescHeight();
    ScreenForm->FitPanelHeight(ScreenForm->TitlePanel());
    for (int i = 0; i < Screen->QuestionCount(); ++i) {
      TSpecQuestion* question = Screen->Questions(i);
      IFormPanel* panel = ScreenForm->AddQuestionPanel();
      switch (question->Kind) {
        case qkCheckBox:
          BuildCheckBoxQuestion(question, panel);
          break;
        case qkFloatInput:
          BuildFloatQuestion(question, panel);
          break;
        case qkIntegerInput:
          BuildIntegerQuestion(question, panel);
          break;
        case qkStringInput:
          BuildStringQuestion(question, panel);
          break;
        case qkIntegerOptions:
        case qkFloatOptions:
        case qkStringOptions:
          BuildRadioQuestion(question, panel);
          break;
        case qkIntegerDropDown:
        case qkFloatDropDown:
        case qkStringDropDown:
          BuildComboQuestion(question, panel);
          break;
        case qkInformation:
          BuildReadOnlyQuestion(question, panel);
          break;
        default:  // an unknown kind keeps its empty panel, 150 high
          break;
      }
    }
    ScreenForm->SetBackBtnEnabled(!IsFirstScreen());
    Answered = false;
    ScreenForm->FitFormHeight();
    StateLoaded = false;

    ScreenForm->ShowModal();

    if (StateLoaded) {
      // A loaded state always ends with a screen (LoadState refuses any other).
      TSpecObject* last = LastElement();
      if (last && last->ObjectKind() == TSpecObjectKind::Screen) {
        Screen = static_cast<TSpecScreen*>(last);
        continue;
      }
      Finished = true;
      Current = nullptr;
    } else if (!Answered) {
      Finished = true;
      Current = nullptr;
    } else if (GoingBack) {
      Current = nullptr;
    } else {
      Current = Screen;
    }
    return;
  }
}

namespace {

// The title label at (10, 10) that every question starts with; answers its height.
int AddTitle(IExecScreenForm* form, TSpecQuestion* question, IFormPanel* panel) {
  return form->AddQuestionLabel(panel, question->GetText(), kLeft, kTitleTop, nullptr);
}

// Title, then the description when there is one, then the top of the one input control.
int InputControlTop(IExecScreenForm* form, TSpecQuestion* question, IFormPanel* panel) {
  int y = AddTitle(form, question, panel) + 20;
  if (!question->GetHint().empty()) y += form->AddDescription(panel, question->GetHint(), kLeft, y);
  return y + 10;
}

}  // namespace

void TSpecRunTime::BuildCheckBoxQuestion(TSpecQuestion* Question, IFormPanel* Panel) {
  const int y = AddTitle(ScreenForm, Question, Panel) + 20;
  const bool checked = ShownCurrentValue(*this, Question, vtBoolean) == "1";
  ScreenForm->AddCheckBox(Panel, kLeft, y, checked);
  if (!Question->GetHint().empty()) {
    ScreenForm->AddDescription(Panel, Question->GetHint(), kBesideLeft, y);
  }
  ScreenForm->FitPanelHeight(Panel);
}

void TSpecRunTime::BuildFloatQuestion(TSpecQuestion* Question, IFormPanel* Panel) {
  const std::string text = ShownCurrentValue(*this, Question, vtFloat);
  const int y = InputControlTop(ScreenForm, Question, Panel);
  ScreenForm->AddEdit(Panel, kLeft, y, kNumberEditWidth, text);
  ScreenForm->FitPanelHeight(Panel);
}

void TSpecRunTime::BuildIntegerQuestion(TSpecQuestion* Question, IFormPanel* Panel) {
  const std::string text = ShownCurrentValue(*this, Question, vtInteger);
  const int y = InputControlTop(ScreenForm, Question, Panel);
  ScreenForm->AddEdit(Panel, kLeft, y, kNumberEditWidth, text);
  ScreenForm->FitPanelHeight(Panel);
}

void TSpecRunTime::BuildStringQuestion(TSpecQuestion* Question, IFormPanel* Panel) {
  const std::string text = ShownCurrentValue(*this, Question, vtString);
  const int y = InputControlTop(ScreenForm, Question, Panel);
  ScreenForm->AddEdit(Panel, kLeft, y, kWideWidth, text);
  ScreenForm->FitPanelHeight(Panel);
}

void TSpecRunTime::BuildReadOnlyQuestion(TSpecQuestion* Question, IFormPanel* Panel) {
  const std::string text = ShownCurrentValue(*this, Question, vtString);
  const int y = InputControlTop(ScreenForm, Question, Panel);
  ScreenForm->AddReadOnlyEdit(Panel, kLeft, y, kWideWidth, text);
  ScreenForm->FitPanelHeight(Panel);
}

void TSpecRunTime::BuildRadioQuestion(TSpecQuestion* Question, IFormPanel* Panel) {
  const std::string value = ListCurrentValue(*this, Question);
  int y = AddTitle(ScreenForm, Question, Panel) + 13;
  if (!Question->GetHint().empty()) {
    y += ScreenForm->AddDescription(Panel, Question->GetHint(), kLeft, y) + 10;
  }
  // Answers match the stored value by their value expression as written. The radio buttons of
  // a panel are one group, so of several matching answers the last stays checked; without a
  // match the first offered answer is checked.
  const std::vector<OfferedAnswer> offered = OfferedAnswers(*this, Question);
  bool anyMatches = false;
  for (const OfferedAnswer& entry : offered) anyMatches |= entry.Answer->Value == value;
  bool first = true;
  for (const OfferedAnswer& entry : offered) {
    const bool checked = entry.Answer->Value == value || (first && !anyMatches);
    first = false;
    IFormControl* radio = ScreenForm->AddRadioButton(Panel, entry.Index, kLeft, y, checked);
    y += ScreenForm->AddQuestionLabel(Panel, entry.Answer->GetText(), kBesideLeft, y, radio) + 3;
    if (!entry.Answer->GetHint().empty()) {
      y += ScreenForm->AddDescription(Panel, entry.Answer->GetHint(), kBesideLeft, y) + 5;
    }
  }
  ScreenForm->FitPanelHeight(Panel);
}

void TSpecRunTime::BuildComboQuestion(TSpecQuestion* Question, IFormPanel* Panel) {
  const std::string value = ListCurrentValue(*this, Question);
  const int y = InputControlTop(ScreenForm, Question, Panel);
  IFormControl* combo = ScreenForm->AddComboBox(Panel, kLeft, y, kWideWidth);
  // Each item carries the index of its answer in the full list, so that the choice maps back
  // to the answer offered at that position, whatever the titles are.
  int selected = -1;
  int item = 0;
  for (const OfferedAnswer& entry : OfferedAnswers(*this, Question)) {
    combo->AddItem(entry.Answer->GetText(), entry.Index);
    if (entry.Answer->Value == value) selected = item;
    ++item;
  }
  if (selected < 0 && item > 0) selected = 0;
  combo->SetItemIndex(selected);
  ScreenForm->FitPanelHeight(Panel);
}

// ---------------------------------------------------------------------------------------------
// Reading.

namespace {

// The value of an expression, from the engine's compiled copy of its text, as a text of the
// type; a failure of either is shown as a calculation error and gives the empty text. The
// catch is the one of every evaluation of the run (conditions, actions): whatever the
// evaluation raises.
std::string EvaluateAs(TSpecRunTime& runTime, const std::string& expression, TValueType type) {
  try {
    return TypeCast(runTime.EvaluateExpression(expression), type);
  } catch (const std::exception& e) {
    TSpecRunTime::ShowCalculationError(e.what());
    return {};
  }
}

// A bound of an input field, evaluated against the values stored so far; a failing bound is
// shown as a calculation error and counts as 0.
long double FloatBound(TSpecRunTime& runTime, const std::string& expression) {
  return TextToFloat(EvaluateAs(runTime, expression, vtFloat));
}

std::int32_t IntegerBound(TSpecRunTime& runTime, const std::string& expression) {
  return TextToInt(EvaluateAs(runTime, expression, vtInteger));
}

}  // namespace

std::string TSpecRunTime::ReadAnswer(TSpecQuestion* Question, IFormPanel* Panel) {
  const std::string& title = Question->GetText();
  int index = 0;
  switch (Question->Kind) {
    case qkCheckBox: {
      IFormControl* box = FindNextCheckBox(index, Panel);
      return box ? BoolToText(box->Checked()) : std::string();
    }
    case qkFloatInput: {
      IFormControl* edit = FindNextEdit(index, Panel);
      if (!edit) return {};
      std::string result;
      try {
        result = FloatToValueText(TextToFloatStrict(edit->Text()));
      } catch (const Exception&) {
        Refuse(uiInvalidNumber, {title});
      }
      const long double x = TextToFloat(result);
      if (!Question->FloatMin.empty()) {
        const long double min = FloatBound(*this, Question->FloatMin);
        if (x < min) Refuse(uiFloatLess, {title, min});
      }
      if (!Question->FloatMax.empty()) {
        const long double max = FloatBound(*this, Question->FloatMax);
        if (x > max) Refuse(uiFloatGreater, {title, max});
      }
      return result;
    }
    case qkIntegerInput: {
      IFormControl* edit = FindNextEdit(index, Panel);
      if (!edit) return {};
      const std::string text = edit->Text();
      std::int32_t x = 0;
      if (!text.empty() && !TryTextToInt(text, x)) Refuse(uiInvalidInteger, {title});
      if (!Question->IntMin.empty()) {
        const std::int32_t min = IntegerBound(*this, Question->IntMin);
        if (x < min) Refuse(uiIntegerLess, {title, min});
      }
      if (!Question->IntMax.empty()) {
        const std::int32_t max = IntegerBound(*this, Question->IntMax);
        if (x > max) Refuse(uiIntegerGreater, {title, max});
      }
      return IntToText(x);
    }
    case qkStringInput: {
      IFormControl* edit = FindNextEdit(index, Panel);
      return edit ? QuoteString(edit->Text()) : std::string();
    }
    case qkIntegerOptions:
    case qkFloatOptions:
    case qkStringOptions:
      for (IFormControl* radio = FindNextRadioButton(index, Panel); radio;
           radio = FindNextRadioButton(++index, Panel)) {
        if (!radio->Checked()) continue;
        return EvaluateAs(*this, Question->Answers(radio->Tag())->Value,
                          ListValueType(Question->Kind));
      }
      return {};
    case qkIntegerDropDown:
    case qkFloatDropDown:
    case qkStringDropDown: {
      IFormControl* combo = FindNextComboBox(index, Panel);
      if (!combo || combo->ItemIndex() < 0) return {};
      // The answer offered at the chosen position (its index travels with the item).
      const int answer = combo->ItemData(combo->ItemIndex());
      if (answer < 0 || answer >= Question->AnswerCount()) return {};
      return EvaluateAs(*this, Question->Answers(answer)->Value, ListValueType(Question->Kind));
    }
    default:
      return {};
  }
}

void TSpecRunTime::CollectAnswers() {
  TSpecObject* last = LastElement();
  if (!last || last->ObjectKind() != TSpecObjectKind::Screen || !ScreenForm) return;
  auto* screen = static_cast<TSpecScreen*>(last);
  // Every answer is read and checked first; only when none was refused are they stored.
  std::vector<std::string> values;
  values.reserve(static_cast<std::size_t>(screen->QuestionCount()));
  for (int i = 0; i < screen->QuestionCount(); ++i) {
    TSpecQuestion* question = screen->Questions(i);
    if (question->Kind == qkInformation) {
      values.emplace_back("-");
    } else {
      values.push_back(ReadAnswer(question, ScreenForm->QuestionPanel(i)));
    }
  }
  for (int i = 0; i < screen->QuestionCount(); ++i) {
    TSpecQuestion* question = screen->Questions(i);
    if (question->Kind == qkInformation || question->Variable == nullptr) continue;
    Transition->SetValue(question->Variable->Name(), values[static_cast<std::size_t>(i)]);
  }
}

namespace {

IFormControl* FindNext(int& Index, IFormPanel* Panel, TFormControlKind Kind) {
  if (Index < 0) Index = 0;
  for (; Index < Panel->ControlCount(); ++Index) {
    IFormControl* control = Panel->Controls(Index);
    if (control && control->Kind() == Kind) return control;
  }
  return nullptr;
}

}  // namespace

IFormControl* TSpecRunTime::FindNextCheckBox(int& Index, IFormPanel* Panel) {
  return FindNext(Index, Panel, TFormControlKind::CheckBox);
}
IFormControl* TSpecRunTime::FindNextEdit(int& Index, IFormPanel* Panel) {
  return FindNext(Index, Panel, TFormControlKind::Edit);
}
IFormControl* TSpecRunTime::FindNextComboBox(int& Index, IFormPanel* Panel) {
  return FindNext(Index, Panel, TFormControlKind::ComboBox);
}
IFormControl* TSpecRunTime::FindNextRadioButton(int& Index, IFormPanel* Panel) {
  return FindNext(Index, Panel, TFormControlKind::RadioButton);
}

// ---------------------------------------------------------------------------------------------
// Button handlers. A refused answer raises out of Next and Back before any flag or modal
// result changes, so the screen stays open as typed.

void TSpecRunTime::NextBtnClick() {
  CollectAnswers();
  Answered = true;
  GoingBack = false;
  ScreenForm->SetModalResult(mrYes);
}

void TSpecRunTime::BackBtnClick() {
  CollectAnswers();
  Answered = true;
  GoingBack = true;
  ScreenForm->SetModalResult(mrNo);
}

void TSpecRunTime::CloseBtnClick() {
  ScreenForm->SetModalResult(mrCancel);
}

void TSpecRunTime::ReportBackBtnClick() {
  BackPressed = true;
  GoingBack = true;
  ReportForm->SetModalResult(mrNo);
}

void TSpecRunTime::ReportCloseBtnClick() {
  ReportForm->SetModalResult(mrCancel);
}
