// The scheme root: its lists, look-ups, default service strings and the reader of the template
// sections A1 to A9.

#include "model/core.h"

#include <algorithm>
#include <limits>

#include "platform/errors.h"
#include "model/ownedlist.h"
#include "model/pricelist.h"
#include "model/report.h"
#include "model/resource.h"
#include "model/saver.h"

const char* const kDefaultServiceStrings[kServiceStringCount] = {
    "Actualization date:",
    "<< Back",
    "Next >>",
    "Close",
    "Export",
    "Preview",
    ("This screen contains the automatically generated list of products based on the answers "
     "you've given on the previous screens."),
    "Invalid number (%s).",
    "Invalid integer number(%s).",
    "Value of '%s' should not be greater than %f.",
    "Value of '%s' should not be less than %f.",
    "Value of '%s' should not be greater than %d.",
    "Value of '%s' should not be less than %d.",
    "Sum, UAH:",
    "VAT, UAH:",
    "Total, UAH:",
    "Total Weight:",
    "Total Volume:",
    "Rackmount Units:",
    "Width:",
    "Height:",
    "Length:",
    "Code",
    "Name",
    "Quantity",
    "Price",
    "Sum",
    "Error during calculation",
    "Exporting to Excel. Please wait...",
    "Total Volume, l:",
    "Save current state of specification",
    "Load stored state of specification",
    "Horizontals:",
    "Verticals:",
};

namespace {

// Smallest records of the template sections, for the checks of counts against the bytes left.
constexpr std::uint32_t kVariableMinSize = 5;       // Str, Byte, Str
constexpr std::uint32_t kQuestionMinSize = 15;      // Mui, Str, Mui, Byte, 4 Str, Word
constexpr std::uint32_t kResourceMinSize = 9;       // Str, Str, Byte, Int (+ links: Int)
constexpr std::uint32_t kReportMinSize = 14;        // Str, Word, 5 band Words
constexpr std::uint32_t kScreenMinSize = 4;         // Mui, Mui, Word
constexpr std::uint32_t kDecisionPointMinSize = 4;  // Str, Word
constexpr std::uint32_t kActionMinSize = 9;         // Byte, 4 Str

// The count that precedes a section: an Int, where 0 or less means no records.
int ReadSectionCount(TSpecDataReader& stream, std::uint32_t minRecordSize) {
  std::int32_t count = stream.ReadInteger();
  if (count <= 0) return 0;
  CheckRecordCount(stream, count, minRecordSize);
  return count;
}

constexpr std::string_view kNewVariablePrefix = "Variable";
constexpr std::string_view kNewResourcePrefix = "Resource ";

// N when the name is the prefix (Latin letters folded) and the decimal text of N >= 1, the
// form of the new names; else 0.
int NewNameNumber(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || !SameNameFolded(name.substr(0, prefix.size()), prefix)) {
    return 0;
  }
  std::string_view digits = name.substr(prefix.size());
  if (digits.size() > 10 || digits[0] < '1' || digits[0] > '9') return 0;
  std::int64_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number <= std::numeric_limits<int>::max() ? static_cast<int>(number) : 0;
}

}  // namespace

std::size_t TSpecTemplate::FoldedHash::operator()(std::string_view name) const {
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : name) {
    hash ^= FoldLatin(static_cast<unsigned char>(c));
    hash *= 1099511628211ull;
  }
  return static_cast<std::size_t>(hash);
}

// --- Construction and destruction -------------------------------------------------------------

TSpecTemplate::TSpecTemplate() {
  FMuiManager = std::make_unique<TSpecMuiManager>();
  FServiceStrings = std::make_unique<TSpecMuiStringList>(this);
  for (int i = 0; i < kServiceStringCount; ++i) {
    FServiceStrings->Add();
    FServiceStrings->SetText(i, kDefaultServiceStrings[i]);
  }
  FPriceList = std::make_unique<TSpecPriceList>(this);
  FStart = std::make_unique<TSpecStart>(this);
  FFinish = std::make_unique<TSpecFinish>(this);
}

TSpecTemplate::~TSpecTemplate() {
  ClearLists();
  FStart.reset();
  FFinish.reset();
  FPriceList.reset();
  FServiceStrings.reset();
  // Last: every multilingual string of the scheme has unregistered by now.
  FMuiManager.reset();
}

void TSpecTemplate::ClearLists() {
  ClearScreens();
  ClearDecisionPoints();
  ClearQuestions();
  ClearVariables();
  ClearActions();
  ClearResources();
  ClearReports();
}

// --- Loading ----------------------------------------------------------------------------------

void TSpecTemplate::ChargeReportCells(std::int64_t cells) {
  if (cells > FReportCellBudget) throw Exception(kReadBeyondEnd);
  FReportCellBudget -= cells;
}

void TSpecTemplate::LoadFromStream(TSpecDataReader& stream) {
  ClearLists();
  FReportCellBudget = stream.Remaining();
  FMuiManager->LoadFromStream(stream);
  FServiceStrings->LoadFromStream(stream);

  int count = ReadSectionCount(stream, kVariableMinSize);
  FVariables.reserve(static_cast<std::size_t>(count));
  FVariableNames.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    AddVariable(NewVariableName(), vtString, std::string())->LoadFromStream(stream);
  }

  count = ReadSectionCount(stream, kQuestionMinSize);
  FQuestions.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    AddQuestion(std::string(), 0, nullptr)->LoadFromStream(stream);
  }

  LoadResources(stream);

  count = ReadSectionCount(stream, kReportMinSize);
  FReports.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) AddReport()->LoadFromStream(stream);

  count = ReadSectionCount(stream, kScreenMinSize);
  FScreens.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) AddScreen(std::string(), std::string())->LoadFromStream(stream);

  count = ReadSectionCount(stream, kDecisionPointMinSize);
  FDecisionPoints.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) AddDecisionPoint()->LoadFromStream(stream);

  count = ReadSectionCount(stream, kActionMinSize);
  FActions.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) AddAction()->LoadFromStream(stream);
}

void TSpecTemplate::LoadResources(TSpecDataReader& stream) {
  int count = ReadSectionCount(stream, kResourceMinSize);
  FResources.reserve(static_cast<std::size_t>(count));
  // The names are filed while the section is read, so that the name checks of a large scheme
  // stay linear; the filing ends with the section, whichever way it ends.
  struct NameFiling {
    TSpecTemplate& Owner;
    ~NameFiling() {
      Owner.FResourceNamesValid = false;
      Owner.FResourceNames.clear();
    }
  } filing{*this};
  FResourceNames.clear();
  FResourceNames.reserve(static_cast<std::size_t>(count));
  FResourceNamesValid = true;
  for (int i = 0; i < count; ++i) {
    TSpecResource* resource = AddResource(NewResourceName());
    const int index = ResourceCount() - 1;
    std::string filedName = resource->Name();
    FResourceNames.emplace(filedName, index);
    resource->LoadFromStream(stream);
    if (resource->Name() != filedName) {
      FResourceNames.erase(filedName);
      FResourceNames.emplace(resource->Name(), index);
    }
  }
  // The dependency lists follow all resource records, so that every name can be resolved.
  for (int i = 0; i < count; ++i) FResources[static_cast<std::size_t>(i)]->LoadLinks(stream);
}

// --- Variables --------------------------------------------------------------------------------

TSpecVariable* TSpecTemplate::AddVariable(const std::string& name, TValueType type,
                                          const std::string& value) {
  auto variable = std::make_unique<TSpecVariable>(this, type, name);
  variable->SetValue(value);
  TSpecVariable* added = variable.get();
  added->FIndex = FVariables.size();
  added->FListed = true;
  FVariables.push_back(std::move(variable));
  FVariableNames.emplace(added->FName, added);
  return added;
}

void TSpecTemplate::RenameVariable(TSpecVariable* variable, const std::string& newName) {
  ReleaseVariableNumber(variable->FName);
  auto entry = FVariableNames.find(std::string_view(variable->FName));
  if (entry != FVariableNames.end() && entry->second == variable) FVariableNames.erase(entry);
  variable->FName = newName;
  FVariableNames.emplace(variable->FName, variable);
}

int TSpecTemplate::IndexOfVariableObject(const TSpecVariable* variable) const {
  return IndexOfObject(FVariables, variable);
}

void TSpecTemplate::DeleteVariable(TSpecVariable* variable) {
  int index = IndexOfVariableObject(variable);
  if (index < 0) return;
  // Questions refer to their variable; none may keep a reference to a freed one.
  for (auto& question : FQuestions) {
    if (question->Variable == variable) question->Variable = nullptr;
  }
  auto entry = FVariableNames.find(std::string_view(variable->FName));
  if (entry != FVariableNames.end() && entry->second == variable) FVariableNames.erase(entry);
  ReleaseVariableNumber(variable->FName);
  FVariables.erase(FVariables.begin() + index);
  for (std::size_t i = static_cast<std::size_t>(index); i < FVariables.size(); ++i) {
    FVariables[i]->FIndex = i;
  }
}

void TSpecTemplate::ClearVariables() {
  for (auto& question : FQuestions) question->Variable = nullptr;
  FVariableNames.clear();
  FVariableNumberHint = 1;
  ClearList(FVariables);
}

void TSpecTemplate::ReleaseVariableNumber(std::string_view name) {
  const int number = NewNameNumber(name, kNewVariablePrefix);
  if (number > 0 && number < FVariableNumberHint) FVariableNumberHint = number;
}

TSpecVariable* TSpecTemplate::Variables(int index) const {
  if (index < 0 || index >= VariableCount()) return nullptr;
  return FVariables[static_cast<std::size_t>(index)].get();
}

int TSpecTemplate::IndexOfVariable(std::string_view name) const {
  auto entry = FVariableNames.find(name);
  if (entry == FVariableNames.end()) return -1;
  return static_cast<int>(entry->second->FIndex);
}

TSpecVariable* TSpecTemplate::FindVariable(std::string_view name) const {
  return Variables(IndexOfVariable(name));
}

std::string TSpecTemplate::NewVariableName() const {
  for (int n = FVariableNumberHint;; ++n) {
    std::string name = std::string(kNewVariablePrefix) + std::to_string(n);
    if (IndexOfVariable(name) < 0) {
      FVariableNumberHint = n;
      return name;
    }
  }
}

// --- Questions --------------------------------------------------------------------------------

TSpecQuestion* TSpecTemplate::AddQuestion(const std::string& title, std::uint8_t kind,
                                          TSpecVariable* variable) {
  FQuestions.push_back(std::make_unique<TSpecQuestion>(this));
  TSpecQuestion* added = FQuestions.back().get();
  added->SetText(title);
  added->Kind = kind;
  added->Variable = variable;
  return added;
}

int TSpecTemplate::IndexOfQuestion(const TSpecQuestion* question) const {
  return IndexOfObject(FQuestions, question);
}

void TSpecTemplate::DeleteQuestion(TSpecQuestion* question) {
  if (IndexOfQuestion(question) < 0) return;
  for (auto& screen : FScreens) screen->RemoveQuestion(question);
  DeleteObject(FQuestions, question);
}

void TSpecTemplate::ClearQuestions() {
  for (auto& screen : FScreens) screen->ClearQuestions();
  ClearList(FQuestions);
}

TSpecQuestion* TSpecTemplate::Questions(int index) const {
  return ElementAt(FQuestions, index);
}

// --- Screens ----------------------------------------------------------------------------------

TSpecScreen* TSpecTemplate::AddScreen(const std::string& title, const std::string& description) {
  FScreens.push_back(std::make_unique<TSpecScreen>(this));
  TSpecScreen* added = FScreens.back().get();
  added->SetTitle(title);
  added->SetText(description);
  return added;
}

int TSpecTemplate::IndexOfScreen(const TSpecScreen* screen) const {
  return IndexOfObject(FScreens, screen);
}

void TSpecTemplate::DeleteScreen(TSpecScreen* screen) {
  DeleteObject(FScreens, screen);
}

void TSpecTemplate::ClearScreens() {
  ClearList(FScreens);
}

TSpecScreen* TSpecTemplate::Screens(int index) const {
  return ElementAt(FScreens, index);
}

// --- Decision points --------------------------------------------------------------------------

TSpecDecisionPoint* TSpecTemplate::AddDecisionPoint() {
  FDecisionPoints.push_back(std::make_unique<TSpecDecisionPoint>(this));
  return FDecisionPoints.back().get();
}

int TSpecTemplate::IndexOfDecisionPoint(const TSpecDecisionPoint* decisionPoint) const {
  return IndexOfObject(FDecisionPoints, decisionPoint);
}

void TSpecTemplate::DeleteDecisionPoint(TSpecDecisionPoint* decisionPoint) {
  DeleteObject(FDecisionPoints, decisionPoint);
}

void TSpecTemplate::ClearDecisionPoints() {
  ClearList(FDecisionPoints);
}

TSpecDecisionPoint* TSpecTemplate::DecisionPoints(int index) const {
  return ElementAt(FDecisionPoints, index);
}

// --- Actions ----------------------------------------------------------------------------------

TSpecAction* TSpecTemplate::AddAction() {
  FActions.push_back(std::make_unique<TSpecAction>(this));
  return FActions.back().get();
}

int TSpecTemplate::IndexOfAction(const TSpecAction* action) const {
  return IndexOfObject(FActions, action);
}

void TSpecTemplate::DeleteAction(TSpecAction* action) {
  DeleteObject(FActions, action);
}

void TSpecTemplate::ClearActions() {
  ClearList(FActions);
}

TSpecAction* TSpecTemplate::Actions(int index) const {
  return ElementAt(FActions, index);
}

// --- Resources --------------------------------------------------------------------------------

TSpecResource* TSpecTemplate::AddResource(const std::string& name) {
  auto resource = std::make_unique<TSpecResource>(this, name);
  FResources.push_back(std::move(resource));
  return FResources.back().get();
}

int TSpecTemplate::IndexOfResourceObject(const TSpecResource* resource) const {
  return IndexOfObject(FResources, resource);
}

void TSpecTemplate::DeleteResource(TSpecResource* resource) {
  if (IndexOfResourceObject(resource) < 0) return;
  for (auto& other : FResources) {
    if (other.get() == resource) continue;
    while (other->IndexOfDependency(resource) >= 0) other->RemoveDependency(resource);
  }
  ReleaseResourceNumber(resource->Name());
  DeleteObject(FResources, resource);
}

void TSpecTemplate::ClearResources() {
  // Every resource goes, so the references between them need no unpicking one by one.
  for (auto& resource : FResources) resource->ClearDependencies();
  FResourceNumberHint = 1;
  ClearList(FResources);
}

void TSpecTemplate::ReleaseResourceNumber(std::string_view name) {
  const int number = NewNameNumber(name, kNewResourcePrefix);
  if (number > 0 && number < FResourceNumberHint) FResourceNumberHint = number;
}

TSpecResource* TSpecTemplate::Resources(int index) const {
  return ElementAt(FResources, index);
}

int TSpecTemplate::IndexOfResource(std::string_view name) const {
  if (FResourceNamesValid) {
    auto entry = FResourceNames.find(name);
    return entry == FResourceNames.end() ? -1 : entry->second;
  }
  for (std::size_t i = FResources.size(); i-- > 0;) {
    if (SameNameFolded(FResources[i]->Name(), name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TSpecTemplate::NewResourceName() const {
  for (int n = FResourceNumberHint;; ++n) {
    std::string name = std::string(kNewResourcePrefix) + std::to_string(n);
    if (IndexOfResource(name) < 0) {
      FResourceNumberHint = n;
      return name;
    }
  }
}

// --- Report templates -------------------------------------------------------------------------

TSpecReport* TSpecTemplate::AddReport() {
  FReports.push_back(std::make_unique<TSpecReport>(this));
  return FReports.back().get();
}

int TSpecTemplate::IndexOfReport(const TSpecReport* report) const {
  return IndexOfObject(FReports, report);
}

void TSpecTemplate::DeleteReport(TSpecReport* report) {
  DeleteObject(FReports, report);
}

void TSpecTemplate::ClearReports() {
  ClearList(FReports);
}

TSpecReport* TSpecTemplate::Reports(int index) const {
  return ElementAt(FReports, index);
}
