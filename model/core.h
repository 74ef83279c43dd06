#pragma once

// The scheme model: the scheme root TSpecTemplate and the objects of asking (variables,
// questions, answers, screens) and of deciding and doing (decision points, options,
// conditions, actions, the start and finish markers), with the readers of their sections.
//
// Section order of a template (TSpecTemplate::LoadFromStream): A1 languages, A2 service
// strings, A3 variables, A4 questions with their answers, A5 resources then their dependency
// lists, A6 report templates, A7 screens, A8 decision points, A9 actions. Every count is read
// right before the records it counts and is checked against the bytes left before anything
// is allocated.
//
// Name look-ups fold the Latin letters a-z only (never Cyrillic), search from the last entry
// and never raise. Index accessors raise EListError ("List index out of bounds (%d)") outside
// their list, except where a comment says they answer nullptr.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "expr/typecvt.h"
#include "model/mui.h"

class TSpecDataReader;
class TSpecTemplate;
class TSpecResource;
class TSpecReport;
class TSpecPriceList;
class TSpecQuestion;
class TSpecDecisionPoint;

// Messages of the model checks (byte-exact).
inline constexpr const char* kInvalidVariableName = "Invalid variable name.";
inline constexpr const char* kVariableAlreadyDefined = "Variable with such name already defined.";

// Raises EListError "List index out of bounds (<index>)": the one index error of all owned
// model lists.
[[noreturn]] void RaiseListIndexError(std::int64_t index);

// Raises "Read beyond the end." when count records of at least minRecordSize bytes each
// cannot fit in the bytes left in the stream. Readers call it before they allocate for a
// count they read. Negative counts pass (they mean "no records" where a count is an Int).
void CheckRecordCount(const TSpecDataReader& stream, std::int64_t count,
                      std::uint32_t minRecordSize);

// ASCII-only case folding of names: Latin letters compare without case, every other byte
// (Cyrillic included) must match exactly.
bool SameNameFolded(std::string_view a, std::string_view b);

// The kinds of model object that the flow graph, link records and run history can refer to.
enum class TSpecObjectKind : std::uint8_t {
  Start,
  Finish,
  Screen,
  Action,
  DecisionPoint,
  Option,
};

// The common base of the model objects a run can stand on or choose: start, finish, screen,
// action, decision point and option. Link records and history entries hold a TSpecObject*
// and tell the kinds apart with ObjectKind() (or dynamic_cast).
class TSpecObject {
 public:
  virtual ~TSpecObject() = default;
  TSpecObject(const TSpecObject&) = delete;
  TSpecObject& operator=(const TSpecObject&) = delete;

  virtual TSpecObjectKind ObjectKind() const = 0;
  // The scheme root that owns the object (an option reaches it through its decision point).
  virtual TSpecTemplate* GetTemplate() const = 0;

 protected:
  TSpecObject() = default;
};

// ---------------------------------------------------------------------------------------------
// Variables, questions, answers and screens.

// A named, typed value of the scheme with its initial value text.
class TSpecVariable {
 public:
  // Checks the name: "Invalid variable name." when it is no identifier, "Variable with such
  // name already defined." when a variable of the template has it (Latin letters folded).
  // The template's AddVariable is the only caller.
  TSpecVariable(TSpecTemplate* templ, TValueType type, const std::string& name);
  TSpecVariable(const TSpecVariable&) = delete;
  TSpecVariable& operator=(const TSpecVariable&) = delete;

  TSpecTemplate* Template() const { return FTemplate; }
  const std::string& Name() const { return FName; }
  const std::string& Value() const { return FValue; }

  // Exactly the current name: nothing. Otherwise the checks of the constructor against the
  // OTHER variables of the template (a case-only rename of this variable succeeds), then the
  // name is replaced.
  void SetName(const std::string& name);
  // Raises EConvertError "Invalid source value for typecast." when the text is no valid value
  // text of Type (a type code outside 0..3 accepts only the empty text); the value is then
  // unchanged.
  void SetValue(const std::string& text);

  // Record A3: Str name (SetName), Byte type (as read), Str value (SetValue).
  void LoadFromStream(TSpecDataReader& stream);

  // Declared type as stored: 0 string, 1 integer, 2 float, 3 logical; other codes kept as read.
  TValueType Type = vtString;

 private:
  friend class TSpecTemplate;

  TSpecTemplate* FTemplate;
  std::string FName;
  std::string FValue;
  // Index in the template's variable list while the variable is in it.
  std::size_t FIndex = 0;
  bool FListed = false;
};

// An expression text: the condition of an option or the offering condition of an answer.
class TSpecCondition {
 public:
  // Takes the template of its owner but keeps no reference to it.
  explicit TSpecCondition(TSpecTemplate* templ = nullptr);

  // Condition record: one Str.
  void LoadFromStream(TSpecDataReader& stream);

  std::string Expression;
};

// One offered answer of a list question.
class TSpecAnswer {
 public:
  explicit TSpecAnswer(TSpecQuestion* question);
  TSpecAnswer(const TSpecAnswer&) = delete;
  TSpecAnswer& operator=(const TSpecAnswer&) = delete;

  TSpecQuestion* Question() const { return FQuestion; }
  TSpecTemplate* GetTemplate() const;
  // Title and description in the current language.
  const std::string& GetText() const { return Title.GetCurrentText(); }
  const std::string& GetHint() const { return Description.GetCurrentText(); }

  // Mui title, Mui description, Str value, condition record.
  void LoadFromStream(TSpecDataReader& stream);

 private:
  TSpecQuestion* FQuestion;

 public:
  TSpecMuiString Title;
  TSpecMuiString Description;
  // Expression of the value stored when this answer is chosen.
  std::string Value;
  // The answer is offered when the expression is empty or evaluates to true.
  TSpecCondition Condition;
};

// Question kinds (how a question is shown; the value type of its answer).
enum TSpecQuestionKind : std::uint8_t {
  qkCheckBox = 0,         // logical
  qkFloatInput = 1,       // float, bounds FloatMin / FloatMax
  qkIntegerInput = 2,     // integer, bounds IntMin / IntMax
  qkStringInput = 3,      // string
  qkIntegerOptions = 4,   // integer
  qkIntegerDropDown = 5,  // integer
  qkFloatOptions = 6,     // float
  qkFloatDropDown = 7,    // float
  qkStringOptions = 8,    // string
  qkStringDropDown = 9,   // string
  qkInformation = 10,     // string, shown and never stored
};

// Asks for one value and stores the answer in its variable.
class TSpecQuestion {
 public:
  explicit TSpecQuestion(TSpecTemplate* templ);
  ~TSpecQuestion();
  TSpecQuestion(const TSpecQuestion&) = delete;
  TSpecQuestion& operator=(const TSpecQuestion&) = delete;

  TSpecTemplate* Template() const { return FTemplate; }
  // The title in the current language.
  const std::string& GetText() const { return Title.GetCurrentText(); }
  void SetText(const std::string& text) { Title.SetCurrentText(text); }
  // The description in the current language.
  const std::string& GetHint() const { return Description.GetCurrentText(); }

  TSpecAnswer* AddAnswer();
  // Searched from the last; -1 when absent.
  int IndexOfAnswer(const TSpecAnswer* answer) const;
  void DeleteAnswer(TSpecAnswer* answer);
  void ClearAnswers();
  int AnswerCount() const { return static_cast<int>(FAnswers.size()); }
  // Raises EListError outside 0..AnswerCount()-1.
  TSpecAnswer* Answers(int index) const;
  // The last answer whose current-language title equals the text exactly; nullptr when none.
  TSpecAnswer* FindAnswerByText(const std::string& text) const;

  // Record A4 with its answers.
  void LoadFromStream(TSpecDataReader& stream);

 private:
  TSpecTemplate* FTemplate;
  std::vector<std::unique_ptr<TSpecAnswer>> FAnswers;

 public:
  // Where the answer is stored; nullptr: not stored. Not owned.
  TSpecVariable* Variable = nullptr;
  TSpecMuiString Title;
  // Help text in hypertext mark-up (links name resources).
  TSpecMuiString Description;
  // TSpecQuestionKind as read; codes outside 0..10 are kept.
  std::uint8_t Kind = 0;
  // Bound expressions of the input fields; empty: no bound.
  std::string FloatMin;
  std::string FloatMax;
  std::string IntMin;
  std::string IntMax;
};

// One wizard page: a title, a hypertext description and questions (not owned).
class TSpecScreen : public TSpecObject {
 public:
  explicit TSpecScreen(TSpecTemplate* templ);
  ~TSpecScreen() override;

  TSpecObjectKind ObjectKind() const override { return TSpecObjectKind::Screen; }
  TSpecTemplate* GetTemplate() const override { return FTemplate; }
  TSpecTemplate* Template() const { return FTemplate; }

  const std::string& GetTitle() const { return Title.GetCurrentText(); }
  void SetTitle(const std::string& text) { Title.SetCurrentText(text); }
  // The description in the current language.
  const std::string& GetText() const { return Description.GetCurrentText(); }
  void SetText(const std::string& text) { Description.SetCurrentText(text); }

  // Appends a reference, even when the question is already on the screen.
  void AddQuestion(TSpecQuestion* question);
  // Searched from the last; -1 when absent.
  int IndexOfQuestion(const TSpecQuestion* question) const;
  // Removes every reference to the question.
  void RemoveQuestion(const TSpecQuestion* question);
  void ClearQuestions();
  int QuestionCount() const { return static_cast<int>(FQuestions.size()); }
  // Raises EListError outside 0..QuestionCount()-1.
  TSpecQuestion* Questions(int index) const;

  // Record A7: Mui title, Mui description, Word m, m Word question indexes (appended; an
  // index outside the template's questions raises EListError).
  void LoadFromStream(TSpecDataReader& stream);

 private:
  TSpecTemplate* FTemplate;
  std::vector<TSpecQuestion*> FQuestions;

 public:
  TSpecMuiString Title;
  TSpecMuiString Description;
};

// ---------------------------------------------------------------------------------------------
// Decision points, options, actions, start and finish.

// One option of a decision point: conditional, or the default option taken without evaluating
// anything.
class TSpecOption : public TSpecObject {
 public:
  TSpecOption(TSpecDecisionPoint* decisionPoint, bool isDefault);

  TSpecObjectKind ObjectKind() const override { return TSpecObjectKind::Option; }
  TSpecTemplate* GetTemplate() const override;
  TSpecDecisionPoint* DecisionPoint() const { return FDecisionPoint; }

  // Reads one condition record and makes the option conditional.
  void LoadFromStream(TSpecDataReader& stream);

 private:
  TSpecDecisionPoint* FDecisionPoint;

 public:
  // Never evaluated for the default option.
  TSpecCondition Condition;
  bool IsDefault;
};

// Chooses one of its options: the conditional ones in list order, then the default option,
// which is always last.
class TSpecDecisionPoint : public TSpecObject {
 public:
  // Starts with one option: the default option.
  explicit TSpecDecisionPoint(TSpecTemplate* templ);
  ~TSpecDecisionPoint() override;

  TSpecObjectKind ObjectKind() const override { return TSpecObjectKind::DecisionPoint; }
  TSpecTemplate* GetTemplate() const override { return FTemplate; }
  TSpecTemplate* Template() const { return FTemplate; }

  // Appends a new default option.
  TSpecOption* AddDefaultOption();
  // Inserts a new conditional option at index 0.
  TSpecOption* InsertOption();
  // Searched from the last; -1 when absent.
  int IndexOfOption(const TSpecOption* option) const;
  void DeleteOption(TSpecOption* option);
  // Deletes every option, the default option included.
  void ClearOptions();
  int OptionCount() const { return static_cast<int>(FOptions.size()); }
  // Raises EListError outside 0..OptionCount()-1.
  TSpecOption* Options(int index) const;

  // Record A8: Str name, Word m, m condition records. The options come out in the reverse of
  // their file order, then one default option.
  void LoadFromStream(TSpecDataReader& stream);

 private:
  TSpecTemplate* FTemplate;
  std::vector<std::unique_ptr<TSpecOption>> FOptions;

 public:
  // Never shown or used by the wizard.
  std::string Name;
};

// Action kinds.
enum TSpecActionKind : std::uint8_t {
  akSetValue = 0,    // "Set Value": Variable := NewValue
  akAddProduct = 1,  // "Add Product": quantity of ProductCode += Quantity
};

// Sets a variable or adds to a product's quantity. All four texts are kept whatever the kind.
class TSpecAction : public TSpecObject {
 public:
  explicit TSpecAction(TSpecTemplate* templ);

  TSpecObjectKind ObjectKind() const override { return TSpecObjectKind::Action; }
  TSpecTemplate* GetTemplate() const override { return FTemplate; }
  TSpecTemplate* Template() const { return FTemplate; }

  // Record A9: Byte kind, Str variable, Str new value, Str product code, Str quantity.
  void LoadFromStream(TSpecDataReader& stream);

 private:
  TSpecTemplate* FTemplate;

 public:
  // TSpecActionKind as read; other codes are kept.
  std::uint8_t Kind = akSetValue;
  std::string Variable;
  std::string NewValue;
  std::string ProductCode;
  std::string Quantity;
};

// Where a run begins; one per scheme root, without a record of its own.
class TSpecStart : public TSpecObject {
 public:
  explicit TSpecStart(TSpecTemplate* templ) : FTemplate(templ) {}
  TSpecObjectKind ObjectKind() const override { return TSpecObjectKind::Start; }
  TSpecTemplate* GetTemplate() const override { return FTemplate; }
  TSpecTemplate* Template() const { return FTemplate; }

 private:
  TSpecTemplate* FTemplate;
};

// Where a run ends with the offer preview; one per scheme root.
class TSpecFinish : public TSpecObject {
 public:
  explicit TSpecFinish(TSpecTemplate* templ) : FTemplate(templ) {}
  TSpecObjectKind ObjectKind() const override { return TSpecObjectKind::Finish; }
  TSpecTemplate* GetTemplate() const override { return FTemplate; }
  TSpecTemplate* Template() const { return FTemplate; }

 private:
  TSpecTemplate* FTemplate;
};

// ---------------------------------------------------------------------------------------------
// The scheme root.

// The number of service strings a new template holds, and their default texts.
inline constexpr int kServiceStringCount = 34;
extern const char* const kDefaultServiceStrings[kServiceStringCount];

class TSpecTemplate {
 public:
  // Seven empty lists, the language manager with its three languages, the 34 service strings
  // with their defaults, the price list, the start and the finish marker.
  TSpecTemplate();
  // Frees the lists (screens, decision points, questions, variables, actions, resources,
  // reports), then start, finish, price list, service strings and last the language manager,
  // so that every multilingual string unregisters while its manager exists.
  ~TSpecTemplate();
  TSpecTemplate(const TSpecTemplate&) = delete;
  TSpecTemplate& operator=(const TSpecTemplate&) = delete;

  // Sections A1 to A9; replaces everything except the price list. Raises on the first error
  // and then holds what was read so far.
  void LoadFromStream(TSpecDataReader& stream);

  // Report bands create a default cell for every column of every row before their row records
  // are read. While a scheme is read, all bands together may create at most one cell per byte
  // of the scheme; a band that would go beyond raises "Read beyond the end." (each band alone
  // is also bounded by the bytes left, but many small reports could otherwise multiply it).
  void ChargeReportCells(std::int64_t cells);

  TSpecMuiManager* MuiManager() const { return FMuiManager.get(); }
  TSpecMuiStringList* ServiceStrings() const { return FServiceStrings.get(); }
  TSpecPriceList* PriceList() const { return FPriceList.get(); }
  TSpecStart* Start() const { return FStart.get(); }
  TSpecFinish* Finish() const { return FFinish.get(); }

  // Variables. The accessor answers nullptr outside the list.
  TSpecVariable* AddVariable(const std::string& name, TValueType type, const std::string& value);
  int IndexOfVariableObject(const TSpecVariable* variable) const;
  void DeleteVariable(TSpecVariable* variable);
  void ClearVariables();
  TSpecVariable* Variables(int index) const;
  int VariableCount() const { return static_cast<int>(FVariables.size()); }
  // Index of the variable of that name (Latin letters folded); -1 when none.
  int IndexOfVariable(std::string_view name) const;
  TSpecVariable* FindVariable(std::string_view name) const;
  // "Variable" + the first N = 1, 2, ... that no variable has.
  std::string NewVariableName() const;

  // Questions. DeleteQuestion first removes the question from every screen.
  TSpecQuestion* AddQuestion(const std::string& title, std::uint8_t kind, TSpecVariable* variable);
  int IndexOfQuestion(const TSpecQuestion* question) const;
  void DeleteQuestion(TSpecQuestion* question);
  void ClearQuestions();
  TSpecQuestion* Questions(int index) const;
  int QuestionCount() const { return static_cast<int>(FQuestions.size()); }

  // Screens.
  TSpecScreen* AddScreen(const std::string& title, const std::string& description);
  int IndexOfScreen(const TSpecScreen* screen) const;
  void DeleteScreen(TSpecScreen* screen);
  void ClearScreens();
  TSpecScreen* Screens(int index) const;
  int ScreenCount() const { return static_cast<int>(FScreens.size()); }

  // Decision points.
  TSpecDecisionPoint* AddDecisionPoint();
  int IndexOfDecisionPoint(const TSpecDecisionPoint* decisionPoint) const;
  void DeleteDecisionPoint(TSpecDecisionPoint* decisionPoint);
  void ClearDecisionPoints();
  TSpecDecisionPoint* DecisionPoints(int index) const;
  int DecisionPointCount() const { return static_cast<int>(FDecisionPoints.size()); }

  // Actions.
  TSpecAction* AddAction();
  int IndexOfAction(const TSpecAction* action) const;
  void DeleteAction(TSpecAction* action);
  void ClearActions();
  TSpecAction* Actions(int index) const;
  int ActionCount() const { return static_cast<int>(FActions.size()); }

  // Resources. DeleteResource first removes every reference to the resource from the
  // dependency lists of the others.
  TSpecResource* AddResource(const std::string& name);
  int IndexOfResourceObject(const TSpecResource* resource) const;
  void DeleteResource(TSpecResource* resource);
  void ClearResources();
  TSpecResource* Resources(int index) const;
  int ResourceCount() const { return static_cast<int>(FResources.size()); }
  // Index of the resource of that name (Latin letters folded); -1 when none.
  int IndexOfResource(std::string_view name) const;
  // "Resource " + the first N = 1, 2, ... that no resource has.
  std::string NewResourceName() const;

  // Report templates.
  TSpecReport* AddReport();
  int IndexOfReport(const TSpecReport* report) const;
  void DeleteReport(TSpecReport* report);
  void ClearReports();
  TSpecReport* Reports(int index) const;
  int ReportCount() const { return static_cast<int>(FReports.size()); }

 private:
  // Cells that report bands may still create during the current load.
  std::int64_t FReportCellBudget = INT64_MAX;
  friend class TSpecVariable;
  friend class TSpecResource;

  // Variables by name, Latin letters folded; names are unique among the variables.
  struct FoldedHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;
  };
  struct FoldedEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return SameNameFolded(a, b); }
  };
  void RenameVariable(TSpecVariable* variable, const std::string& newName);
  // A name that leaves the variables (the resources): when it is one of the new names, its
  // number may be free again.
  void ReleaseVariableNumber(std::string_view name);
  void ReleaseResourceNumber(std::string_view name);
  void ClearLists();
  void LoadResources(TSpecDataReader& stream);

  std::vector<std::unique_ptr<TSpecScreen>> FScreens;
  std::vector<std::unique_ptr<TSpecVariable>> FVariables;
  std::vector<std::unique_ptr<TSpecQuestion>> FQuestions;
  std::vector<std::unique_ptr<TSpecAction>> FActions;
  std::vector<std::unique_ptr<TSpecDecisionPoint>> FDecisionPoints;
  std::vector<std::unique_ptr<TSpecResource>> FResources;
  std::vector<std::unique_ptr<TSpecReport>> FReports;
  std::unordered_map<std::string, TSpecVariable*, FoldedHash, FoldedEqual> FVariableNames;
  // Resources by name, kept only while section A5 is read: there the loader knows which
  // resource can be renamed and re-files it after its record; elsewhere a resource renames
  // itself unseen, so look-ups then scan the list.
  std::unordered_map<std::string, int, FoldedHash, FoldedEqual> FResourceNames;
  bool FResourceNamesValid = false;
  // Every N below the hint is taken by a variable named "Variable" + N (a resource named
  // "Resource " + N): the searches for a new name start there, so that a scheme whose names
  // are the new names in order loads in linear time.
  mutable int FVariableNumberHint = 1;
  mutable int FResourceNumberHint = 1;
  std::unique_ptr<TSpecMuiManager> FMuiManager;
  std::unique_ptr<TSpecMuiStringList> FServiceStrings;
  std::unique_ptr<TSpecPriceList> FPriceList;
  std::unique_ptr<TSpecStart> FStart;
  std::unique_ptr<TSpecFinish> FFinish;
};
