#pragma once

// The wizard engine: the link records that flatten the flow graph (TSpecLinkMap), the run's
// value store (TSpecTransition), the run loop with its history, Back and undo (TSpecRunTime),
// and the provider of the scheme's variables and the wizard's functions (TSpecEvalProvider).
//
// The engine links no window system: it drives the screen form and the report form through
// engine/forms.h, shows its messages through platform/messages.h and takes the date and the
// decimal separator from engine/locale.h.
//
// One TSpecRunTime lives for the program's lifetime. The start-up hands it the two forms and
// calls Start and Run; Run returns when the run is finished (Close on a screen or on the
// report, or a run that ends because no option applies or no link leaves an element).

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/forms.h"
#include "engine/functions.h"
#include "expr/eval.h"
#include "expr/evalcache.h"
#include "model/core.h"

class TScheme;
class TSchemeLink;
class TSpecDataStream;
class TSpecRunTime;

// ---------------------------------------------------------------------------------------------
// Module-level data of the engine.

// The stamp of the loaded scheme, 0 until the start-up stores the value read after the flow
// graph. Every saved state begins with it.
extern std::int32_t SchemeStamp;

// The engine's copy of the 34 service strings in the current language, filled by every
// TSpecRunTime::Start. Every caption the engine sets and every message of the engine and of
// the answer validation takes its text from here. Until the first start it holds
// kInitialUIText.
extern std::array<std::string, kServiceStringCount> UIText;
extern const std::array<std::string, kServiceStringCount> kInitialUIText;

// Indexes of UIText.
enum TUITextIndex : int {
  uiActualizationDate = 0,  // "Actualization date:"
  uiBack = 1,               // "<< Back"
  uiNext = 2,               // "Next >>"
  uiClose = 3,              // "Close"
  uiExport = 4,             // "Export"
  uiPreview = 5,            // "Preview"
  uiPreviewDescription = 6,
  uiInvalidNumber = 7,       // "Invalid number (%s)."
  uiInvalidInteger = 8,      // "Invalid integer number(%s)."
  uiFloatGreater = 9,        // "Value of '%s' should not be greater than %f."
  uiFloatLess = 10,          // "Value of '%s' should not be less than %f."
  uiIntegerGreater = 11,     // "Value of '%s' should not be greater than %d."
  uiIntegerLess = 12,        // "Value of '%s' should not be less than %d."
  uiReportTextsFirst = 13,   // 13 .. 21 are ReportTexts 0 .. 8
  uiColumnTitlesFirst = 22,  // 22 .. 26 are the titles of the preview's columns 0 .. 4
  uiCalculationError = 27,   // "Error during calculation"
  uiExporting = 28,          // ReportTexts 9
  uiTotalVolumeLitres = 29,  // ReportTexts 10
  uiSaveHint = 30,           // "Save current state of specification"
  uiLoadHint = 31,           // "Load stored state of specification"
  uiHorizontals = 32,        // ReportTexts 11
  uiVerticals = 33,          // ReportTexts 12
};

// The date shown as the actualisation date: the last-modification date of the program's own
// file, or today when the file cannot be found, in the user locale's short date format
// (engine/locale.h).
std::string GetActualizationDate();

// How a screen shows a value text of a type: "1" or "0" for a Boolean (the check box's state),
// the number text of a float or an integer field, the plain text of a string field. Raises
// what the conversions raise for a value that cannot be shown so.
std::string ShownValueText(const std::string& Text, TValueType Type);

// ---------------------------------------------------------------------------------------------
// Link map.

// The link map's own numbering of the elements a link joins.
enum TSpecLinkKind : std::uint8_t {
  lkStartOrFinish = 0,  // source: the template's start; target: its finish (index unused)
  lkScreen = 1,         // TSpecTemplate::Screens
  lkAction = 2,         // TSpecTemplate::Actions
  lkDecisionPoint = 3,  // TSpecTemplate::DecisionPoints; as source with SourceOption
};

// One graph link as a record of model references by kind and index. Made only by
// TSpecLinkMap::Add.
class TSpecLink {
 public:
  explicit TSpecLink(TSpecTemplate* Template) : Template(Template) {}

  // Fills the record from the link's source and target elements. An element that is not one
  // of the typed source (target) classes leaves that side as it was; a model object that the
  // template does not hold gives the index -1.
  void LoadFromSchemeLink(const TSchemeLink* Link);
  // The TSpecStart, a screen, an action or an option of a decision point; nullptr for a kind
  // outside 0..3. An index outside its list raises EListError.
  TSpecObject* GetSource() const;
  // The TSpecFinish, a screen, an action or a decision point; nullptr for a kind outside 0..3.
  // An index outside its list raises EListError.
  TSpecObject* GetTarget() const;

  TSpecTemplate* Template;
  std::int32_t SourceIndex = 0;
  std::uint8_t SourceKind = 0;
  std::int32_t SourceOption = 0;
  std::int32_t TargetIndex = 0;
  std::uint8_t TargetKind = 0;
};

// The link records of the flow graph, in the graph's link order. Built once after the scheme
// has been loaded; nothing reads the graph afterwards.
//
// A map filled by Build answers FindLinkFrom from an index of the sources, made at its first
// search (and made again after a Delete or Clear): the records it built and the template's
// lists stand unchanged through a run. A map that has had a record added by Add since its last
// Build is searched by the scan, so that records filled or changed in place are always seen.
class TSpecLinkMap {
 public:
  explicit TSpecLinkMap(TSpecTemplate* Template) : Template(Template) {}
  ~TSpecLinkMap() { Clear(); }
  TSpecLinkMap(const TSpecLinkMap&) = delete;
  TSpecLinkMap& operator=(const TSpecLinkMap&) = delete;

  // Replaces the contents by one record per link of the graph.
  void Build(const TScheme* Scheme);
  // The last link (in graph order) whose resolved source is Element, or nullptr. The search
  // goes as a scan from the end that resolves every source down to the match, so an
  // unresolvable link after the wanted one raises EListError.
  TSpecLink* FindLinkFrom(const TSpecObject* Element) const;
  // Object identity.
  static bool SameElement(const TSpecObject* A, const TSpecObject* B) { return A == B; }

  int Count() const { return static_cast<int>(Links.size()); }
  // EListError outside 0..Count()-1.
  TSpecLink* Items(int Index) const;
  TSpecLink* Add();
  // EListError outside 0..Count()-1.
  void Delete(int Index);
  void Clear();

  TSpecTemplate* Template;
  std::vector<std::unique_ptr<TSpecLink>> Links;

 private:
  // The scan from the end.
  TSpecLink* ScanLinkFrom(const TSpecObject* Element) const;
  // Resolves every source once, for the index.
  void IndexLinks() const;

  // Filled by Build, and no record added by hand since.
  bool Built = false;
  // The index: the position of the last link of each resolved source, and the position of the
  // last link whose source does not resolve (-1 for none), over IndexedCount links.
  mutable bool Indexed = false;
  mutable std::size_t IndexedCount = 0;
  mutable std::unordered_map<const TSpecObject*, int> LastLinkFrom;
  mutable int LastUnresolved = -1;
};

// ---------------------------------------------------------------------------------------------
// Run value store.

// The state of one run that answers and actions change: a value text per scheme variable (at
// the variable's index) and a quantity text per product (at the product's index, "." as the
// separator). The template's own objects are never changed by a run.
//
// Products are found by their code in constant time: the store indexes the codes of the price
// list when it is made (the first product of each code), as the catalogue stands unchanged
// through a run, and indexes them again when the number of products has changed since.
class TSpecTransition {
 public:
  // Every variable's initial value text, and "0" for every product.
  TSpecTransition(TSpecTemplate* Template, TSpecTransition* Parent);
  // Copies of the source's two lists.
  TSpecTransition(TSpecTemplate* Template, TSpecTransition* Parent, const TSpecTransition& Source);
  TSpecTransition(const TSpecTransition&) = delete;
  TSpecTransition& operator=(const TSpecTransition&) = delete;

  // The stored text of the variable (Latin letters folded, the last variable of that name);
  // the empty text for a name the template lacks.
  std::string GetValue(std::string_view Name) const;
  // Stores the text unconverted; a name the template lacks is ignored.
  void SetValue(std::string_view Name, const std::string& Text);
  // TextToFloat of the stored quantity of the first product of that code; 0 without one.
  long double GetQuantity(const std::string& Code) const;
  // Stores FloatToValueText of the quantity ("Invalid number." for an infinite or undefined
  // one); a code no product has is ignored.
  void SetQuantity(const std::string& Code, long double Quantity);
  // Products whose quantity is above 0.
  std::int32_t ItemCount() const;
  // The price-list index of the first product of that code; -1 without one.
  int ProductIndex(const std::string& Code) const;

  // The lists are positional; after a saved state of fewer entries was loaded, an access
  // beyond their end raises EListError.
  TSpecTemplate* Template;
  std::vector<std::string> Values;
  std::vector<std::string> Quantities;
  // Stored, never read.
  TSpecTransition* Parent;

 private:
  // Indexes the codes of the price list as it stands now.
  void IndexProducts() const;

  // The price-list index of the first product of each code, over ProductsIndexed products.
  mutable std::unordered_map<std::string, int> ProductIndexes;
  mutable int ProductsIndexed = 0;
};

// ---------------------------------------------------------------------------------------------
// Evaluation provider.

// The scheme's variables, read in their declared types from the run's value store, and the
// twenty functions of the wizard (engine/functions.h), of which "stat", "iteminfo",
// "firstitem" and "nextitem" are carried out by the engine.
class TSpecEvalProvider : public TEvalProvider, private TEvalFunctionHooks {
 public:
  explicit TSpecEvalProvider(TSpecRunTime* RunTime) : RunTime(RunTime) {}

  bool IsFunction(const std::string& Name) override;
  bool IsVariable(const std::string& Name) override;
  void CallFunction(const std::string& Name, const std::vector<std::string>& Params,
                    std::string& Result) override;
  void GetVariable(const std::string& Name, std::string& Result) override;
  // IsVariable and GetVariable with one look-up of the name.
  bool ReadVariable(const std::string& Name, std::string& Result) override;

  TSpecRunTime* RunTime;

 private:
  long double ProductQuantity(const std::string& Code) override;
  void ItemInfo(const std::string& Code, std::int32_t N, std::string& Result) override;
  std::int32_t ItemCount() override;
  void Stat(std::int32_t Kind, std::string& Result) override;
  void FirstItem(std::string& Result) override;
  void NextItem(std::string& Result) override;
};

// ---------------------------------------------------------------------------------------------
// The engine.

class TSpecRunTime {
 public:
  // A fresh store on the template, the provider, the standard evaluator on it; Finished, no
  // forms, empty history.
  TSpecRunTime(TSpecTemplate* Template, TSpecLinkMap* LinkMap);
  ~TSpecRunTime();
  TSpecRunTime(const TSpecRunTime&) = delete;
  TSpecRunTime& operator=(const TSpecRunTime&) = delete;

  // --- Run loop ---------------------------------------------------------------------------
  // Copies the service strings into UIText, puts them on both forms (a form that is not set
  // is skipped), resets the run with a fresh store, pushes the start and advances once.
  void Start();
  // Steps while the run is not finished.
  void Run();
  // Processes the last history element by its kind, then advances. Nothing when finished.
  // A scheme can go round through actions and decision points without ever reaching a screen
  // or the finish again: the step after kMaxStepsWithoutShowing such steps in a row finishes
  // the run and raises Exception(kEndlessRunMessage), which the start-up reports.
  void Step();
  static constexpr int kMaxStepsWithoutShowing = 100000;
  static constexpr const char* kEndlessRunMessage = "The run goes round without showing a screen.";
  // Back (GoingBack set): removes entries down to the previous screen, undoing their added
  // quantities. Forward: pushes the target of the link leaving Current, or finishes the run
  // when none leaves it. Nothing when finished.
  void Advance();

  // The four steps. ShowScreen builds the screen on ScreenForm, shows it modally and records
  // the outcome (Finished, Current; GoingBack through the button handlers).
  void ShowScreen(TSpecScreen* Screen);
  void EvaluateDecision(TSpecDecisionPoint* DecisionPoint);
  void PerformAction(TSpecAction* Action);
  void ShowReport();

  // No screen precedes the last history entry.
  bool IsFirstScreen() const;

  // --- History ----------------------------------------------------------------------------
  int HistoryCount() const { return static_cast<int>(History.size()); }
  // EListError outside the history.
  TSpecObject* HistoryItems(int Index) const;
  // nullptr for an empty history.
  TSpecObject* LastElement() const { return History.empty() ? nullptr : History.back(); }
  // Appends the element with empty undo entries.
  void PushElement(TSpecObject* Element);
  // Removes entry Index, restoring the quantity its undo entry holds. EListError outside.
  void RemoveElement(int Index);
  void ClearHistory();

  // --- Calculation messages ---------------------------------------------------------------
  // Shows FormatText(UIText[27], {Message}) in the modal message window.
  static void ShowCalculationError(const std::string& Message);
  // Evaluates Expression (EvaluateExpression) and converts the result to a Boolean; an error
  // of either is shown by ShowCalculationError and counts as false. An empty expression is the
  // empty string constant: false, without a message.
  bool EvaluateCondition(const std::string& Expression);

  // --- Compiled expressions ---------------------------------------------------------------
  // The value text of Expression, or the error it raises, exactly as SetText and Evaluate on
  // Evaluator give them (with its provider), from the engine's compiled texts: a text is
  // compiled on its first evaluation and its program serves every later one, which asks the
  // provider for the current values again. A text that fails to compile raises the same error
  // (message and position) at every evaluation.
  std::string EvaluateExpression(const std::string& Expression);

  // --- The functions of the engine behind the provider ------------------------------------
  // "stat": 0 package volume (m3), 1 the same in litres, 2 rack units, 3 weight in grams, over
  // the products of quantity above 0; the empty text for another kind. Integer sums wrap.
  void Stat(std::int32_t Kind, std::string& Result);
  // "iteminfo": attribute N (0..16) of the first product of that code; empty otherwise.
  void ItemInfo(const std::string& Code, std::int32_t N, std::string& Result);
  // "firstitem": snapshots the codes of the products of quantity above 0 into Items and
  // answers the first as NextItem does.
  void FirstItem(std::string& Result);
  // "nextitem": the next code of Items as a string constant, or "" at the end (and before any
  // "firstitem").
  void NextItem(std::string& Result);

  // --- Answers and the screen form's buttons ----------------------------------------------
  // Reads, checks and stores every answer of the screen being shown (LastElement): either all
  // are stored or, when one is refused (raises), none.
  void CollectAnswers();
  // Handlers of the screen form's NextBtn, BackBtn and CloseBtn.
  void NextBtnClick();
  void BackBtnClick();
  void CloseBtnClick();
  // Handlers of the report form's Back and Close buttons.
  void ReportBackBtnClick();
  void ReportCloseBtnClick();

  // --- Saved state ------------------------------------------------------------------------
  // Appends the state of the run: the stamp, the values, the quantities, the history as
  // element references, the undo lists and Current.
  void SaveState(TSpecDataStream& Stream);
  // False (nothing changed) when the stream's stamp differs from SchemeStamp or the state does
  // not fit the scheme (counts, indexes, a history ending with a screen, values that convert
  // to their variables' types and can be shown); otherwise replaces the state of the run and
  // answers true.
  bool LoadState(TSpecDataStream& Stream);
  void WriteElementRef(const TSpecObject* Element, TSpecDataStream& Stream);
  TSpecObject* ReadElementRef(TSpecDataStream& Stream);
  // Handlers of the screen form's SaveBtn and LoadBtn. A save that fails keeps the file saved
  // before and raises the file layer's "Unable to save" message (SaveFailedMessage) with the
  // file's name and the reason, which the form shows in its error box; a cancelled dialog does
  // nothing. A load reads the file's stamp first and ignores a file of another scheme, or one that
  // does not fit, without a message.
  void SaveBtnClick();
  void LoadBtnClick();

  // --- Fields -----------------------------------------------------------------------------
  // The run's value store; replaced by a fresh one at every start.
  std::unique_ptr<TSpecTransition> Transition;
  std::unique_ptr<TSpecEvalProvider> EvalProvider;
  // The standard evaluator on EvalProvider. Its provider is the provider of every evaluation
  // of the run (EvaluateExpression).
  std::unique_ptr<TEvalExpression> Evaluator;
  // The compiled texts of EvaluateExpression.
  TEvalCompiledTexts CompiledExpressions;
  // Not owned; set by the start-up before the first start.
  IExecScreenForm* ScreenForm = nullptr;
  IExecReportForm* ReportForm = nullptr;
  // Not owned.
  TSpecTemplate* Template;
  TSpecLinkMap* LinkMap;
  bool Finished = true;
  // The elements visited, oldest first (never an option); not owned.
  std::vector<TSpecObject*> History;
  // Set by a Back button; consumed by the next advance.
  bool GoingBack = false;
  // The element the next forward step leaves from; nullptr when there is none.
  TSpecObject* Current = nullptr;
  // One entry per history entry: the product code and the quantity before the action for an
  // add-product action's entry, otherwise empty.
  std::vector<std::string> UndoCodes;
  std::vector<std::string> UndoQuantities;
  // The item cursor of "firstitem" and "nextitem".
  bool ItemsActive = false;
  std::vector<std::string> Items;
  std::int32_t ItemIndex = 0;

  // The flags the engine keeps for its two forms: the screen was left with Next or Back
  // (answers collected), a saved state was loaded during the showing, the report was left
  // with Back.
  bool Answered = false;
  bool StateLoaded = false;
  bool BackPressed = false;
  // Steps since the last one that showed a screen or the report (or since the start).
  int StepsWithoutShowing = 0;

 protected:
  // The builders of ShowScreen, one per family of question kinds; each works on its panel.
  void BuildCheckBoxQuestion(TSpecQuestion* Question, IFormPanel* Panel);
  void BuildFloatQuestion(TSpecQuestion* Question, IFormPanel* Panel);
  void BuildIntegerQuestion(TSpecQuestion* Question, IFormPanel* Panel);
  void BuildStringQuestion(TSpecQuestion* Question, IFormPanel* Panel);
  void BuildRadioQuestion(TSpecQuestion* Question, IFormPanel* Panel);
  void BuildComboQuestion(TSpecQuestion* Question, IFormPanel* Panel);
  void BuildReadOnlyQuestion(TSpecQuestion* Question, IFormPanel* Panel);

  // Reads and checks the answer of one question from its panel; raises the formatted service
  // string for a refused answer.
  std::string ReadAnswer(TSpecQuestion* Question, IFormPanel* Panel);

  // From Index on, the first control of that kind on the panel; Index is left on it (or past
  // the last control, answering nullptr).
  static IFormControl* FindNextCheckBox(int& Index, IFormPanel* Panel);
  static IFormControl* FindNextEdit(int& Index, IFormPanel* Panel);
  static IFormControl* FindNextComboBox(int& Index, IFormPanel* Panel);
  static IFormControl* FindNextRadioButton(int& Index, IFormPanel* Panel);
};
