// Saved states on arbitrary bytes, loaded through the Load button into a run of a fixed scheme
// that asks questions of every kind and stands on a screen; the loaded screen is then shown
// and left with Next. Nothing may crash, and nothing but an error box may come of a file: the
// screen step never raises; a file that is refused or ends early changes nothing of the run;
// a file that loads leaves a run on a screen whose values convert to their variables' types,
// can be shown and are read by the expressions' arithmetic (texts in the forms the run writes:
// no hexadecimal integer, no blank or "+" before a number), that saves again and loads back
// to the same state.
// The first four bytes are the stamp; inputs that do not start with the scheme's stamp
// (5, little-endian) stop there.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/forms.h"
#include "engine/runtime.h"
#include "expr/typecvt.h"
#include "fuzz/fuzz_input.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace {

constexpr const char* kStateFile = "/fuzz/state.qvs";

// Variables of the four types, a question of every kind on each type it may meet (a kind that
// stores another type than its variable's among them) and one of an unknown kind, bounds and
// answer conditions that read the loaded values, two screens, two products, an action and a
// decision point of two options.
struct Scheme {
  Scheme() {
    const TValueType types[] = {vtBoolean, vtFloat, vtInteger, vtString};
    const char* const initial[] = {"0", "2.5", "3", "\"s\""};
    std::vector<TSpecVariable*> variables;
    for (int t = 0; t < 4; ++t) {
      variables.push_back(Template.AddVariable("V" + std::to_string(t), types[t], initial[t]));
    }
    TSpecScreen* first = Template.AddScreen("First", "");
    TSpecScreen* second = Template.AddScreen("Second", "");
    for (std::uint8_t kind = 0; kind <= 11; ++kind) {
      for (int t = 0; t < 4; ++t) {
        TSpecQuestion* question =
            Template.AddQuestion("Q" + std::to_string(kind) + "_" + std::to_string(t), kind,
                                 variables[static_cast<std::size_t>(t)]);
        question->FloatMin = "V1-100";
        question->FloatMax = "V2*V1";
        question->IntMin = "V2-5";
        question->IntMax = "V2+V1";
        const char* const values[] = {"1", "2.5", "\"a\"", "V2", "V1/V0"};
        for (int a = 0; a < 5; ++a) {
          TSpecAnswer* answer = question->AddAnswer();
          answer->Title.SetCurrentText("A" + std::to_string(a));
          answer->Value = values[a];
          answer->Condition.Expression = a % 2 == 0 ? "" : "V" + std::to_string(a % 4) + ">0";
        }
        (t % 2 == 0 ? first : second)->AddQuestion(question);
      }
    }
    Template.PriceList()->AddProduct()->Code = "P";
    Template.PriceList()->AddProduct()->Code = "Q";
    TSpecAction* action = Template.AddAction();
    action->Kind = akAddProduct;
    action->ProductCode = "P";
    action->Quantity = "V1";
    Template.AddDecisionPoint()->InsertOption()->Condition.Expression = "V2>0";
  }
  TSpecTemplate Template;
  TSpecLinkMap LinkMap{&Template};
};

// The input as the one file of the file system; nothing can be written.
class InputFile : public IReadFile {
 public:
  InputFile(const std::uint8_t* data, std::size_t size) : Data(data), FSize(size) {}
  std::uint64_t Size() override { return FSize; }
  void ReadBlock(void* destination, std::size_t count) override {
    if (count > FSize - Position) throw EInOutError("I/O error: unexpected end of file");
    if (count > 0) std::memcpy(destination, Data + Position, count);
    Position += count;
    Read += count;
  }
  const std::uint8_t* Data;
  std::size_t FSize;
  std::size_t Position = 0;
  static inline std::size_t Read = 0;
};

class InputFileSystem : public IFileSystem {
 public:
  InputFileSystem(const std::uint8_t* data, std::size_t size)
      : Data(data), Size(size), Previous(SetFileSystem(this)) {}
  ~InputFileSystem() override { SetFileSystem(Previous); }
  std::unique_ptr<IReadFile> OpenRead(const std::string& path) override {
    if (path != kStateFile) return nullptr;
    return std::make_unique<InputFile>(Data, Size);
  }
  std::unique_ptr<IWriteFile> CreateWrite(const std::string&) override { return nullptr; }
  const std::uint8_t* Data;
  std::size_t Size;
  IFileSystem* Previous;
};

class Control : public IFormControl {
 public:
  explicit Control(TFormControlKind kind) : FKind(kind) {}
  TFormControlKind Kind() const override { return FKind; }
  bool Checked() const override { return IsChecked; }
  std::string Text() const override { return FText; }
  int Tag() const override { return FTag; }
  void AddItem(const std::string& text, int data) override {
    Items.push_back(text);
    ItemsData.push_back(data);
  }
  int ItemCount() const override { return static_cast<int>(Items.size()); }
  std::string ItemText(int index) const override {
    return index >= 0 && index < ItemCount() ? Items[static_cast<std::size_t>(index)] : "";
  }
  int ItemData(int index) const override {
    return index >= 0 && index < ItemCount() ? ItemsData[static_cast<std::size_t>(index)] : -1;
  }
  int ItemIndex() const override { return FItemIndex; }
  void SetItemIndex(int index) override { FItemIndex = index < ItemCount() ? index : -1; }

  TFormControlKind FKind;
  bool IsChecked = false;
  std::string FText;
  int FTag = 0;
  int FItemIndex = -1;
  std::vector<std::string> Items;
  std::vector<int> ItemsData;
};

class Panel : public IFormPanel {
 public:
  int ControlCount() const override { return static_cast<int>(Children.size()); }
  IFormControl* Controls(int index) const override {
    return index >= 0 && index < ControlCount() ? Children[static_cast<std::size_t>(index)].get()
                                                : nullptr;
  }
  int Height() const override { return 150; }
  Control* Add(TFormControlKind kind) {
    Children.push_back(std::make_unique<Control>(kind));
    return Children.back().get();
  }
  std::vector<std::unique_ptr<Control>> Children;
};

// The first showing clicks Load and opens the input; every later one clicks Next, then Close
// when Next was refused. A handler's error goes to the error box, as on the real form: only
// the engine's own exceptions may come out of a handler.
class ScreenForm : public IExecScreenForm {
 public:
  void SetActualLbl(const std::string&) override {}
  void SetActualTitleLbl(const std::string&) override {}
  void SetBackBtnCaption(const std::string&) override {}
  void SetNextBtnCaption(const std::string&) override {}
  void SetCloseBtnCaption(const std::string&) override {}
  void SetSaveBtnHint(const std::string&) override {}
  void SetLoadBtnHint(const std::string&) override {}
  void SetBackBtnClick(TNotifyEvent) override {}
  void SetNextBtnClick(TNotifyEvent handler) override { Next = std::move(handler); }
  void SetCloseBtnClick(TNotifyEvent handler) override { Close = std::move(handler); }
  void SetSaveBtnClick(TNotifyEvent) override {}
  void SetLoadBtnClick(TNotifyEvent handler) override { Load = std::move(handler); }
  void SetBackBtnEnabled(bool) override {}
  void SetCaption(const std::string&) override {}
  void SetScreenTitle(const std::string&) override {}
  void SetScreenDesc(const std::string&) override {}
  void AdjustScreenDescHeight() override {}
  IFormPanel* TitlePanel() override { return &Title; }
  void ClearQuestionPanels() override { Panels.clear(); }
  IFormPanel* AddQuestionPanel() override {
    Panels.push_back(std::make_unique<Panel>());
    return Panels.back().get();
  }
  IFormPanel* QuestionPanel(int index) override {
    if (index < 0 || index >= QuestionPanelCount()) {
      throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    }
    return Panels[static_cast<std::size_t>(index)].get();
  }
  int QuestionPanelCount() const override { return static_cast<int>(Panels.size()); }
  int AddQuestionLabel(IFormPanel* parent, const std::string&, int, int, IFormControl*) override {
    Own(parent)->Add(TFormControlKind::Label);
    return 13;
  }
  IFormControl* AddCheckBox(IFormPanel* parent, int, int, bool checked) override {
    Control* box = Own(parent)->Add(TFormControlKind::CheckBox);
    box->IsChecked = checked;
    return box;
  }
  int AddDescription(IFormPanel* parent, const std::string&, int, int) override {
    Own(parent)->Add(TFormControlKind::Description);
    return 15;
  }
  IFormControl* AddEdit(IFormPanel* parent, int, int, int, const std::string& text) override {
    Control* edit = Own(parent)->Add(TFormControlKind::Edit);
    edit->FText = text;
    return edit;
  }
  IFormControl* AddReadOnlyEdit(IFormPanel* parent, int, int, int,
                                const std::string& text) override {
    return AddEdit(parent, 0, 0, 0, text);
  }
  IFormControl* AddRadioButton(IFormPanel* parent, int tag, int, int, bool checked) override {
    Control* radio = Own(parent)->Add(TFormControlKind::RadioButton);
    radio->FTag = tag;
    radio->IsChecked = checked;
    return radio;
  }
  IFormControl* AddComboBox(IFormPanel* parent, int, int, int) override {
    return Own(parent)->Add(TFormControlKind::ComboBox);
  }
  void FitPanelHeight(IFormPanel* panel) override { Own(panel); }
  void FitFormHeight() override {}

  int ShowModal() override {
    ++Showings;
    Result = mrNone;
    if (Showings == 1) {
      Click(Load);
    } else {
      if (OnLoadedShowing) OnLoadedShowing();
      Click(Next);
      if (Result == mrNone) Click(Close);
    }
    return Result == mrNone ? mrCancel : Result;
  }
  void SetModalResult(int modalResult) override { Result = modalResult; }
  bool ExecuteSaveDialog(std::string&) override { return false; }
  bool ExecuteOpenDialog(std::string& fileName) override {
    fileName = kStateFile;
    return true;
  }

  int Showings = 0;
  int Result = mrNone;
  int Errors = 0;
  std::function<void()> OnLoadedShowing;

 private:
  Panel* Own(IFormPanel* panel) {
    if (panel == &Title) return &Title;
    for (const auto& own : Panels) {
      if (own.get() == panel) return own.get();
    }
    std::abort();  // the engine used a panel that is not on the form
  }
  void Click(const TNotifyEvent& handler) {
    if (!handler) return;
    try {
      handler();
    } catch (const Exception&) {
      ++Errors;  // the error box: the form stays open
    }
  }

  TNotifyEvent Next, Close, Load;
  Panel Title;
  std::vector<std::unique_ptr<Panel>> Panels;
};

struct State {
  std::vector<std::string> Values, Quantities, UndoCodes, UndoQuantities;
  std::vector<TSpecObject*> History;
  TSpecObject* Current;

  explicit State(const TSpecRunTime& run)
      : Values(run.Transition->Values),
        Quantities(run.Transition->Quantities),
        UndoCodes(run.UndoCodes),
        UndoQuantities(run.UndoQuantities),
        History(run.History),
        Current(run.Current) {}
  bool operator==(const State&) const = default;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scheme scheme;
  if (size > (1u << 20)) return 0;
  SchemeStamp = 5;
  InputFileSystem files(data, size);
  ScreenForm form;
  TSpecRunTime run(&scheme.Template, &scheme.LinkMap);
  run.ScreenForm = &form;
  run.Start();  // no links: the history is the start alone
  TSpecScreen* first = scheme.Template.Screens(0);
  run.PushElement(first);
  run.Current = scheme.Template.Start();
  const State before(run);
  // The loaded state as the second showing finds it, before its Next stores answers.
  std::unique_ptr<State> loaded;
  form.OnLoadedShowing = [&] {
    loaded = std::make_unique<State>(run);
    for (int i = 0; i < 4; ++i) {
      try {
        run.EvaluateExpression("V" + std::to_string(i) + "+0");
      } catch (const std::exception&) {
        std::abort();  // a value the arithmetic cannot read was let in
      }
    }
  };

  InputFile::Read = 0;
  // Load, then the loaded screen shown and left: nothing raises out of the screen step.
  run.ShowScreen(first);
  if (size >= 4 && std::memcmp(data, "\x05\0\0\0", 4) != 0) Require(InputFile::Read <= 4);
  if (!loaded) {
    // Refused or cut short: the run is as it was.
    State now(run);
    now.Current = before.Current;  // the first showing was closed
    Require(form.Showings == 1 && now == before);
    return 0;
  }

  // The loaded state fits the scheme, and every value can be shown in its variable's type.
  Require(loaded->Values.size() == 4 && loaded->Quantities.size() == 2);
  Require(!loaded->History.empty() &&
          loaded->History.back()->ObjectKind() == TSpecObjectKind::Screen);
  Require(loaded->UndoCodes.size() == loaded->History.size());
  Require(loaded->UndoQuantities.size() == loaded->History.size());
  for (TSpecObject* element : loaded->History) {
    Require(element != nullptr && element->ObjectKind() != TSpecObjectKind::Option);
  }
  for (int i = 0; i < 4; ++i) {
    try {
      ShownValueText(loaded->Values[static_cast<std::size_t>(i)],
                     scheme.Template.Variables(i)->Type);
    } catch (const std::exception&) {
      std::abort();  // a value the screens cannot show was let in
    }
  }
  // The run after the loaded screen was left saves and loads back to the same state.
  const State after(run);
  TSpecDataStream again;
  try {
    run.SaveState(again);
  } catch (const Exception&) {
    return 0;  // a text too long for the format cannot be saved
  }
  TSpecRunTime reloaded(&scheme.Template, &scheme.LinkMap);
  again.Rewind();
  Require(reloaded.LoadState(again));
  Require(State(reloaded) == after);
  // Going back over the loaded history restores quantities without failing.
  run.Finished = false;
  run.GoingBack = true;
  run.Advance();
  run.ClearHistory();
  return 0;
}
