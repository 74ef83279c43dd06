// Whole runs of arbitrary schemes. The input is read as the start-up reads the embedded scheme
// (template, flow graph, stamp, price list, then the link map); the bytes left after the price
// list script the user. When the scheme loads, the engine runs against two scripted forms:
// at each showing the screen form ticks, types, picks, and clicks Next, Back, Close, Save or
// Load (through a state file of its own), and the report form clicks Back or Close. Every run
// ends: the showings are bounded here, and the engine bounds the steps between them (a flow
// graph may go round through actions and decision points without ever showing a screen).
//
// Errors of the engine's own family are what the windows show (the error box of a handler,
// the fatal error of the start-up); anything else that escapes, and every crash, is a fault.

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/forms.h"
#include "engine/runtime.h"
#include "graph/elements.h"
#include "graph/visual.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "platform/errors.h"
#include "platform/messages.h"

namespace {

constexpr int kMaxShowings = 200;
constexpr int kMaxClicksPerShowing = 6;

// The user's choices: the script bytes in order, then a fixed sequence seeded by the input.
class Choices {
 public:
  Choices(const uint8_t* data, size_t size, uint32_t seed) : Data(data), Size(size), State(seed) {
    if (State == 0) State = 0x9e3779b9u;
  }
  uint32_t Next(uint32_t bound) {
    if (bound == 0) return 0;
    if (Position < Size) return Data[Position++] % bound;
    State ^= State << 13;
    State ^= State >> 17;
    State ^= State << 5;
    return State % bound;
  }
  // Up to 16 raw script bytes.
  std::string Bytes() {
    std::string text;
    const uint32_t length = Next(17);
    for (uint32_t i = 0; i < length; ++i) text += static_cast<char>(Next(256));
    return text;
  }

 private:
  const uint8_t* Data;
  size_t Size;
  size_t Position = 0;
  uint32_t State;
};

class SilentMessages : public IMessageWindow {
 public:
  void ShowMessage(const std::string&) override {}
};

class Control : public IFormControl {
 public:
  explicit Control(TFormControlKind kind, bool readOnly = false)
      : FKind(kind), FReadOnly(readOnly) {}
  TFormControlKind Kind() const override { return FKind; }
  bool ReadOnly() const override { return FReadOnly; }
  bool Checked() const override { return IsChecked; }
  std::string Text() const override { return FText; }
  int Tag() const override { return FTag; }
  void AddItem(const std::string& text, int data) override {
    if (FKind != TFormControlKind::ComboBox) return;
    Items.push_back(text);
    ItemsData.push_back(data);
  }
  int ItemCount() const override { return static_cast<int>(Items.size()); }
  std::string ItemText(int index) const override {
    return index >= 0 && index < ItemCount() ? Items[static_cast<size_t>(index)] : std::string();
  }
  int ItemData(int index) const override {
    return index >= 0 && index < ItemCount() ? ItemsData[static_cast<size_t>(index)] : -1;
  }
  int ItemIndex() const override { return FItemIndex; }
  void SetItemIndex(int index) override {
    if (FKind == TFormControlKind::ComboBox)
      FItemIndex = index >= 0 && index < ItemCount() ? index : -1;
  }

  TFormControlKind FKind;
  bool FReadOnly;
  bool IsChecked = false;
  std::string FText;
  int FTag = 0;
  int FItemIndex = -1;
  int Top = 0;
  int Height = 13;
  Control* Linked = nullptr;
  std::vector<std::string> Items;
  std::vector<int> ItemsData;
};

class Panel : public IFormPanel {
 public:
  int ControlCount() const override { return static_cast<int>(Children.size()); }
  IFormControl* Controls(int index) const override {
    return index >= 0 && index < ControlCount() ? Children[static_cast<size_t>(index)].get()
                                                : nullptr;
  }
  int Height() const override { return FHeight; }
  Control* Add(std::unique_ptr<Control> control, int top, int height) {
    control->Top = top;
    control->Height = height;
    Children.push_back(std::move(control));
    return Children.back().get();
  }

  std::vector<std::unique_ptr<Control>> Children;
  int FHeight = 150;
};

// How many showings are left to both forms together.
struct Budget {
  int Left = kMaxShowings;
  bool Take() { return Left-- > 0; }
};

class ScreenForm : public IExecScreenForm {
 public:
  ScreenForm(Choices& choices, Budget& budget, std::string stateFile)
      : Pick(choices), Showings(budget), StateFile(std::move(stateFile)) {
    Title.FHeight = 79;
  }

  void SetActualLbl(const std::string&) override {}
  void SetActualTitleLbl(const std::string&) override {}
  void SetBackBtnCaption(const std::string&) override {}
  void SetNextBtnCaption(const std::string&) override {}
  void SetCloseBtnCaption(const std::string&) override {}
  void SetSaveBtnHint(const std::string&) override {}
  void SetLoadBtnHint(const std::string&) override {}
  void SetBackBtnClick(TNotifyEvent handler) override { Back = std::move(handler); }
  void SetNextBtnClick(TNotifyEvent handler) override { Next = std::move(handler); }
  void SetCloseBtnClick(TNotifyEvent handler) override { Close = std::move(handler); }
  void SetSaveBtnClick(TNotifyEvent handler) override { Save = std::move(handler); }
  void SetLoadBtnClick(TNotifyEvent handler) override { Load = std::move(handler); }
  void SetBackBtnEnabled(bool enabled) override { BackEnabled = enabled; }
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
    return Panels[static_cast<size_t>(index)].get();
  }
  int QuestionPanelCount() const override { return static_cast<int>(Panels.size()); }

  int AddQuestionLabel(IFormPanel* parent, const std::string&, int, int top,
                       IFormControl* linked) override {
    Control* label = Own(parent)->Add(std::make_unique<Control>(TFormControlKind::Label), top, 13);
    label->Linked = static_cast<Control*>(linked);
    return 13;
  }
  IFormControl* AddCheckBox(IFormPanel* parent, int, int top, bool checked) override {
    Control* box = Own(parent)->Add(std::make_unique<Control>(TFormControlKind::CheckBox), top, 17);
    box->IsChecked = checked;
    return box;
  }
  int AddDescription(IFormPanel* parent, const std::string&, int, int top) override {
    Own(parent)->Add(std::make_unique<Control>(TFormControlKind::Description), top, 15);
    return 15;
  }
  IFormControl* AddEdit(IFormPanel* parent, int, int top, int, const std::string& text) override {
    Control* edit = Own(parent)->Add(std::make_unique<Control>(TFormControlKind::Edit), top, 21);
    edit->FText = text;
    return edit;
  }
  IFormControl* AddReadOnlyEdit(IFormPanel* parent, int, int top, int,
                                const std::string& text) override {
    Control* edit =
        Own(parent)->Add(std::make_unique<Control>(TFormControlKind::Edit, true), top, 21);
    edit->FText = text;
    return edit;
  }
  IFormControl* AddRadioButton(IFormPanel* parent, int tag, int, int top, bool checked) override {
    Control* radio =
        Own(parent)->Add(std::make_unique<Control>(TFormControlKind::RadioButton), top, 17);
    radio->FTag = tag;
    radio->IsChecked = checked;
    return radio;
  }
  IFormControl* AddComboBox(IFormPanel* parent, int, int top, int) override {
    return Own(parent)->Add(std::make_unique<Control>(TFormControlKind::ComboBox), top, 21);
  }
  void FitPanelHeight(IFormPanel* panel) override {
    Panel* own = Own(panel);
    int bottom = 0;
    for (const auto& child : own->Children) bottom = std::max(bottom, child->Top + child->Height);
    own->FHeight = bottom + 10;
  }
  void FitFormHeight() override {}

  int ShowModal() override {
    Result = mrNone;
    if (!Showings.Take()) return mrCancel;
    for (int click = 0; click < kMaxClicksPerShowing && Result == mrNone; ++click) Act();
    return Result == mrNone ? mrCancel : Result;
  }
  void SetModalResult(int modalResult) override { Result = modalResult; }

  bool ExecuteSaveDialog(std::string& fileName) override {
    if (Pick.Next(4) == 0) return false;
    fileName = StateFile;
    return true;
  }
  bool ExecuteOpenDialog(std::string& fileName) override {
    const uint32_t choice = Pick.Next(4);
    if (choice == 0) return false;
    // Now and then the state file holds script bytes in place of a saved state.
    if (choice == 1) {
      TSpecDataStream stream;
      const std::string bytes = Pick.Bytes();
      stream.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
      stream.SaveToFile(StateFile);
    }
    fileName = StateFile;
    return true;
  }

 private:
  Panel* Own(IFormPanel* panel) {
    if (panel == &Title) return &Title;
    for (const auto& own : Panels) {
      if (own.get() == panel) return own.get();
    }
    std::abort();  // the engine used a panel that is not on the form
  }

  // A control of the question panels picked by the script, nullptr without one.
  Control* AnyControl() {
    if (Panels.empty()) return nullptr;
    Panel* panel = Panels[Pick.Next(static_cast<uint32_t>(Panels.size()))].get();
    if (panel->Children.empty()) return nullptr;
    return panel->Children[Pick.Next(static_cast<uint32_t>(panel->Children.size()))].get();
  }

  void Touch(Control* control) {
    if (!control) return;
    switch (control->FKind) {
      case TFormControlKind::CheckBox:
        control->IsChecked = !control->IsChecked;
        break;
      case TFormControlKind::RadioButton:
      case TFormControlKind::Label:
        if (control->FKind == TFormControlKind::Label) control = control->Linked;
        if (!control) break;
        if (control->FKind == TFormControlKind::CheckBox) {
          control->IsChecked = !control->IsChecked;
        } else if (control->FKind == TFormControlKind::RadioButton) {
          for (auto& panel : Panels) {
            for (auto& child : panel->Children) {
              if (child.get() != control) continue;
              for (auto& other : panel->Children) {
                if (other->FKind == TFormControlKind::RadioButton) other->IsChecked = false;
              }
            }
          }
          control->IsChecked = true;
        }
        break;
      case TFormControlKind::Edit: {
        static const char* const kTexts[] = {"",     "0",     "1",       "-3",  "2.5",
                                             "2,5",  "1e400", "-1e-400", "abc", "99999999999",
                                             "0x10", " 7 ",   "NaN",     "-0"};
        const uint32_t which = Pick.Next(sizeof(kTexts) / sizeof(kTexts[0]) + 1);
        control->FText = which < sizeof(kTexts) / sizeof(kTexts[0]) ? kTexts[which] : Pick.Bytes();
        break;
      }
      case TFormControlKind::ComboBox:
        control->SetItemIndex(
            static_cast<int>(Pick.Next(static_cast<uint32_t>(control->ItemCount()) + 1)) - 1);
        break;
      default:
        break;
    }
  }

  void Click(const TNotifyEvent& handler) {
    if (!handler) return;
    try {
      handler();
    } catch (const Exception&) {
      // the error box: the form stays open
    }
  }

  void Act() {
    switch (Pick.Next(12)) {
      case 0:
      case 1:
      case 2:
        Touch(AnyControl());
        break;
      case 3:
      case 4:
      case 5:
        Click(Next);
        break;
      case 6:
      case 7:
        if (BackEnabled) Click(Back);
        break;
      case 8:
        Click(Close);
        break;
      case 9:
        Click(Save);
        break;
      case 10:
        Click(Load);
        break;
      default:
        Result = mrCancel;  // the close box
        break;
    }
  }

  Choices& Pick;
  Budget& Showings;
  std::string StateFile;
  Panel Title;
  std::vector<std::unique_ptr<Panel>> Panels;
  TNotifyEvent Back, Next, Close, Save, Load;
  bool BackEnabled = false;
  int Result = mrNone;
};

class ReportForm : public IExecReportForm {
 public:
  ReportForm(Choices& choices, Budget& budget) : Pick(choices), Showings(budget) {}
  void SetActualLbl(const std::string&) override {}
  void SetActualTitleLbl(const std::string&) override {}
  void SetCaption(const std::string&) override {}
  void SetBackBtnCaption(const std::string&) override {}
  void SetNextBtnCaption(const std::string&) override {}
  void SetCloseBtnCaption(const std::string&) override {}
  void SetScreenTitle(const std::string&) override {}
  void SetScreenDesc(const std::string&) override {}
  void SetReportText(int, const std::string&) override {}
  void SetColumnTitle(int, const std::string&) override {}
  void SetBackBtnClick(TNotifyEvent handler) override { Back = std::move(handler); }
  void SetCloseBtnClick(TNotifyEvent handler) override { Close = std::move(handler); }
  void SetBackBtnEnabled(bool enabled) override { BackEnabled = enabled; }
  void SetModalResult(int modalResult) override { Result = modalResult; }
  void ShowReport(TSpecTemplate* templ, const std::vector<std::string>* quantities,
                  const std::vector<std::string>* values) override {
    Result = mrNone;
    if (!Showings.Take()) return;
    // What the preview reads: every product's quantity and every variable's value.
    if (templ && quantities && values) {
      size_t total = 0;
      for (const std::string& quantity : *quantities) total += quantity.size();
      for (const std::string& value : *values) total += value.size();
      (void)total;
    }
    const TNotifyEvent& handler = BackEnabled && Pick.Next(2) == 0 ? Back : Close;
    if (handler) handler();
  }

 private:
  Choices& Pick;
  Budget& Showings;
  TNotifyEvent Back, Close;
  bool BackEnabled = false;
  int Result = mrNone;
};

std::string StateFileName() {
  return (std::filesystem::temp_directory_path() /
          ("quorvane-run-fuzz-" + std::to_string(getpid()) + ".state"))
      .string();
}

uint32_t Hash(const uint8_t* data, size_t size) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  return hash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentMessages silent;
  SetMessageWindow(&silent);
  TSpecDataStream stream;
  stream.Write(data, static_cast<std::uint32_t>(size));
  // The graph goes before the link map and the template: its elements point into both.
  auto templ = std::make_unique<TSpecTemplate>();
  auto graph = std::make_unique<TScheme>();
  auto linkMap = std::make_unique<TSpecLinkMap>(templ.get());
  try {
    templ->LoadFromStream(stream);
    TSpecSchemeManager(graph.get(), templ.get()).LoadFromStream(stream);
    SchemeStamp = stream.ReadInteger();
    templ->PriceList()->LoadFromStream(stream);
    linkMap->Build(graph.get());
  } catch (const Exception&) {
    return 0;  // the start-up reports a scheme that does not load
  }
  const size_t script = stream.Position();
  Choices choices(data + script, size - script, Hash(data, size));
  Budget budget;
  const std::string stateFile = StateFileName();
  {
    ScreenForm screen(choices, budget, stateFile);
    ReportForm report(choices, budget);
    TSpecRunTime runTime(templ.get(), linkMap.get());
    runTime.ScreenForm = &screen;
    runTime.ReportForm = &report;
    try {
      runTime.Start();
      runTime.Run();
    } catch (const Exception&) {
      // the start-up's fatal error (an endless run among them)
    }
  }
  std::error_code ignored;
  std::filesystem::remove(stateFile, ignored);
  graph.reset();
  linkMap.reset();
  return 0;
}
