// The objects of asking, deciding and doing: variables, questions, answers, screens, decision
// points, options, conditions and actions, with their records.

#include <algorithm>
#include <string>

#include "platform/errors.h"
#include "model/core.h"
#include "model/ownedlist.h"
#include "model/saver.h"

namespace {

// Smallest records, for the checks of counts against the bytes left.
constexpr std::uint32_t kAnswerMinSize = 6;      // Mui, Mui, Str, Str
constexpr std::uint32_t kQuestionIndexSize = 2;  // Word
constexpr std::uint32_t kConditionMinSize = 2;   // Str

bool IsKnownValueType(TValueType type) {
  return type <= vtBoolean;
}

}  // namespace

// --- Shared helpers ---------------------------------------------------------------------------

void RaiseListIndexError(std::int64_t index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void CheckRecordCount(const TSpecDataReader& stream, std::int64_t count,
                      std::uint32_t minRecordSize) {
  if (count <= 0) return;
  if (static_cast<std::uint64_t>(count) * std::max<std::uint32_t>(minRecordSize, 1) >
      stream.Remaining()) {
    throw Exception(kReadBeyondEnd);
  }
}

bool SameNameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldLatin(static_cast<unsigned char>(a[i])) != FoldLatin(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// --- TSpecVariable ----------------------------------------------------------------------------

TSpecVariable::TSpecVariable(TSpecTemplate* templ, TValueType type, const std::string& name)
    : Type(type), FTemplate(templ) {
  if (!IsValidIdentifier(name)) throw Exception(kInvalidVariableName);
  if (FTemplate && FTemplate->FindVariable(name)) throw Exception(kVariableAlreadyDefined);
  FName = name;
}

void TSpecVariable::SetName(const std::string& name) {
  if (name == FName) return;
  if (!IsValidIdentifier(name)) throw Exception(kInvalidVariableName);
  if (FTemplate) {
    TSpecVariable* holder = FTemplate->FindVariable(name);
    if (holder && holder != this) throw Exception(kVariableAlreadyDefined);
    if (FListed) {
      FTemplate->RenameVariable(this, name);
      return;
    }
  }
  FName = name;
}

void TSpecVariable::SetValue(const std::string& text) {
  // The empty text is valid for every type, a code outside 0..3 accepts nothing else.
  bool valid = text.empty() || (IsKnownValueType(Type) && IsValidValue(text, Type));
  if (!valid) throw EConvertError(kInvalidSourceValue);
  FValue = text;
}

void TSpecVariable::LoadFromStream(TSpecDataReader& stream) {
  SetName(stream.ReadString());
  Type = static_cast<TValueType>(stream.ReadByte());
  SetValue(stream.ReadString());
}

// --- TSpecCondition ---------------------------------------------------------------------------

TSpecCondition::TSpecCondition(TSpecTemplate* /*templ*/) {}

void TSpecCondition::LoadFromStream(TSpecDataReader& stream) {
  Expression = stream.ReadString();
}

// --- TSpecAnswer ------------------------------------------------------------------------------

TSpecAnswer::TSpecAnswer(TSpecQuestion* question)
    : FQuestion(question),
      Title(question->Template()->MuiManager()),
      Description(question->Template()->MuiManager()),
      Condition(question->Template()) {}

TSpecTemplate* TSpecAnswer::GetTemplate() const {
  return FQuestion->Template();
}

void TSpecAnswer::LoadFromStream(TSpecDataReader& stream) {
  Title.LoadFromStream(stream);
  Description.LoadFromStream(stream);
  Value = stream.ReadString();
  Condition.LoadFromStream(stream);
}

// --- TSpecQuestion ----------------------------------------------------------------------------

TSpecQuestion::TSpecQuestion(TSpecTemplate* templ)
    : FTemplate(templ), Title(templ->MuiManager()), Description(templ->MuiManager()) {}

TSpecQuestion::~TSpecQuestion() {
  ClearAnswers();
}

TSpecAnswer* TSpecQuestion::AddAnswer() {
  FAnswers.push_back(std::make_unique<TSpecAnswer>(this));
  return FAnswers.back().get();
}

int TSpecQuestion::IndexOfAnswer(const TSpecAnswer* answer) const {
  return IndexOfObject(FAnswers, answer);
}

void TSpecQuestion::DeleteAnswer(TSpecAnswer* answer) {
  DeleteObject(FAnswers, answer);
}

void TSpecQuestion::ClearAnswers() {
  while (!FAnswers.empty()) FAnswers.pop_back();
}

TSpecAnswer* TSpecQuestion::Answers(int index) const {
  return ElementAt(FAnswers, index);
}

TSpecAnswer* TSpecQuestion::FindAnswerByText(const std::string& text) const {
  for (int i = AnswerCount() - 1; i >= 0; --i) {
    TSpecAnswer* answer = FAnswers[static_cast<std::size_t>(i)].get();
    if (answer->GetText() == text) return answer;
  }
  return nullptr;
}

void TSpecQuestion::LoadFromStream(TSpecDataReader& stream) {
  Title.LoadFromStream(stream);
  std::string variable = stream.ReadString();
  Variable = variable.empty() ? nullptr : FTemplate->FindVariable(variable);
  Description.LoadFromStream(stream);
  Kind = stream.ReadByte();
  FloatMin = stream.ReadString();
  FloatMax = stream.ReadString();
  IntMin = stream.ReadString();
  IntMax = stream.ReadString();
  std::uint16_t count = stream.ReadWord();
  ClearAnswers();
  CheckRecordCount(stream, count, kAnswerMinSize);
  FAnswers.reserve(count);
  for (int i = 0; i < count; ++i) AddAnswer()->LoadFromStream(stream);
}

// --- TSpecScreen ------------------------------------------------------------------------------

TSpecScreen::TSpecScreen(TSpecTemplate* templ)
    : FTemplate(templ), Title(templ->MuiManager()), Description(templ->MuiManager()) {}

TSpecScreen::~TSpecScreen() {
  ClearQuestions();
}

void TSpecScreen::AddQuestion(TSpecQuestion* question) {
  FQuestions.push_back(question);
}

int TSpecScreen::IndexOfQuestion(const TSpecQuestion* question) const {
  for (int i = QuestionCount() - 1; i >= 0; --i) {
    if (FQuestions[static_cast<std::size_t>(i)] == question) return i;
  }
  return -1;
}

void TSpecScreen::RemoveQuestion(const TSpecQuestion* question) {
  std::erase(FQuestions, question);
}

void TSpecScreen::ClearQuestions() {
  FQuestions.clear();
}

TSpecQuestion* TSpecScreen::Questions(int index) const {
  if (index < 0 || index >= QuestionCount()) RaiseListIndexError(index);
  return FQuestions[static_cast<std::size_t>(index)];
}

void TSpecScreen::LoadFromStream(TSpecDataReader& stream) {
  Title.LoadFromStream(stream);
  Description.LoadFromStream(stream);
  std::uint16_t count = stream.ReadWord();
  CheckRecordCount(stream, count, kQuestionIndexSize);
  FQuestions.reserve(FQuestions.size() + count);
  for (int i = 0; i < count; ++i) AddQuestion(FTemplate->Questions(stream.ReadWord()));
}

// --- TSpecOption ------------------------------------------------------------------------------

TSpecOption::TSpecOption(TSpecDecisionPoint* decisionPoint, bool isDefault)
    : FDecisionPoint(decisionPoint), Condition(decisionPoint->Template()), IsDefault(isDefault) {}

TSpecTemplate* TSpecOption::GetTemplate() const {
  return FDecisionPoint->Template();
}

void TSpecOption::LoadFromStream(TSpecDataReader& stream) {
  Condition.LoadFromStream(stream);
  IsDefault = false;
}

// --- TSpecDecisionPoint -----------------------------------------------------------------------

TSpecDecisionPoint::TSpecDecisionPoint(TSpecTemplate* templ) : FTemplate(templ) {
  AddDefaultOption();
}

TSpecDecisionPoint::~TSpecDecisionPoint() {
  ClearOptions();
}

TSpecOption* TSpecDecisionPoint::AddDefaultOption() {
  FOptions.push_back(std::make_unique<TSpecOption>(this, true));
  return FOptions.back().get();
}

TSpecOption* TSpecDecisionPoint::InsertOption() {
  FOptions.insert(FOptions.begin(), std::make_unique<TSpecOption>(this, false));
  return FOptions.front().get();
}

int TSpecDecisionPoint::IndexOfOption(const TSpecOption* option) const {
  return IndexOfObject(FOptions, option);
}

void TSpecDecisionPoint::DeleteOption(TSpecOption* option) {
  DeleteObject(FOptions, option);
}

void TSpecDecisionPoint::ClearOptions() {
  while (!FOptions.empty()) FOptions.pop_back();
}

TSpecOption* TSpecDecisionPoint::Options(int index) const {
  return ElementAt(FOptions, index);
}

void TSpecDecisionPoint::LoadFromStream(TSpecDataReader& stream) {
  ClearOptions();
  Name = stream.ReadString();
  std::uint16_t count = stream.ReadWord();
  CheckRecordCount(stream, count, kConditionMinSize);
  // Each option is put in front of those before it, so the list ends up in the reverse of the
  // file order; appending and reversing once gives the same list without quadratic inserts.
  FOptions.reserve(count + 1u);
  for (int i = 0; i < count; ++i) {
    FOptions.push_back(std::make_unique<TSpecOption>(this, false));
    FOptions.back()->LoadFromStream(stream);
  }
  std::reverse(FOptions.begin(), FOptions.end());
  AddDefaultOption();
}

// --- TSpecAction ------------------------------------------------------------------------------

TSpecAction::TSpecAction(TSpecTemplate* templ) : FTemplate(templ) {}

void TSpecAction::LoadFromStream(TSpecDataReader& stream) {
  Kind = stream.ReadByte();
  Variable = stream.ReadString();
  NewValue = stream.ReadString();
  ProductCode = stream.ReadString();
  Quantity = stream.ReadString();
}
