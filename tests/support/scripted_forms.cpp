#include "tests/support/scripted_forms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>

#include "platform/errors.h"

namespace {

constexpr int kLabelHeight = 13;
constexpr int kLabelCharWidth = 6;
constexpr int kLineHeight = 13;
constexpr int kEditHeight = 21;
constexpr int kButtonHeight = 17;
constexpr int kQuestionAreaHeight = 244;

std::string Position(int left, int top) {
  return "(" + std::to_string(left) + "," + std::to_string(top) + ")";
}

const char* ButtonName(TScriptButton button) {
  switch (button) {
    case TScriptButton::Back:
      return "Back";
    case TScriptButton::Next:
      return "Next";
    case TScriptButton::Close:
      return "Close";
    case TScriptButton::Save:
      return "Save";
    case TScriptButton::Load:
      return "Load";
    case TScriptButton::CloseBox:
      return "CloseBox";
  }
  return "?";
}

}  // namespace

TScriptStep ClickStep(TScriptButton button) {
  TScriptStep step;
  step.Action = TScriptStep::Click;
  step.Button = button;
  return step;
}

TScriptStep TickStep(int panel, int nth, bool checked) {
  TScriptStep step;
  step.Action = TScriptStep::Tick;
  step.Panel = panel;
  step.Nth = nth;
  step.Checked = checked;
  return step;
}

TScriptStep TypeStep(int panel, const std::string& text, int nth) {
  TScriptStep step;
  step.Action = TScriptStep::Type;
  step.Panel = panel;
  step.Nth = nth;
  step.Text = text;
  return step;
}

TScriptStep PickStep(int panel, int index, int nth) {
  TScriptStep step;
  step.Action = TScriptStep::Pick;
  step.Panel = panel;
  step.Nth = nth;
  step.Index = index;
  return step;
}

TScriptStep ClickLabelStep(int panel, int nth) {
  TScriptStep step;
  step.Action = TScriptStep::ClickLabel;
  step.Panel = panel;
  step.Nth = nth;
  return step;
}

// ---------------------------------------------------------------------------------------------

std::string TScriptedControl::ItemText(int index) const {
  if (index < 0 || index >= ItemCount()) return {};
  return Items[static_cast<std::size_t>(index)];
}

int TScriptedControl::ItemData(int index) const {
  if (index < 0 || index >= ItemCount()) return -1;
  return ItemsData[static_cast<std::size_t>(index)];
}

void TScriptedControl::SetItemIndex(int index) {
  if (FKind != TFormControlKind::ComboBox) return;
  FItemIndex = (index >= 0 && index < ItemCount()) ? index : -1;
}

IFormControl* TScriptedPanel::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) return nullptr;
  return Children[static_cast<std::size_t>(index)].get();
}

TScriptedControl* TScriptedPanel::Nth(TFormControlKind kind, int nth) const {
  for (const auto& child : Children) {
    if (child->Kind() == kind && nth-- == 0) return child.get();
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------

TScriptedScreenForm::TScriptedScreenForm() : Height(MinHeight) {
  FTitlePanel.FHeight = 79;
  auto desc = std::make_unique<TScriptedControl>(TFormControlKind::Description, 9, 25, 504, 44);
  FScreenDesc = desc.get();
  desc->Parent = &FTitlePanel;
  FTitlePanel.Children.push_back(std::move(desc));
}

void TScriptedScreenForm::SetActualLbl(const std::string& caption) {
  ActualLbl = caption;
  Log.push_back("SetActualLbl '" + caption + "'");
}

void TScriptedScreenForm::SetActualTitleLbl(const std::string& caption) {
  ActualTitleLbl = caption;
  Log.push_back("SetActualTitleLbl '" + caption + "'");
}

void TScriptedScreenForm::SetBackBtnCaption(const std::string& caption) {
  BackBtnCaption = caption;
  Log.push_back("SetBackBtnCaption '" + caption + "'");
}

void TScriptedScreenForm::SetNextBtnCaption(const std::string& caption) {
  NextBtnCaption = caption;
  Log.push_back("SetNextBtnCaption '" + caption + "'");
}

void TScriptedScreenForm::SetCloseBtnCaption(const std::string& caption) {
  CloseBtnCaption = caption;
  Log.push_back("SetCloseBtnCaption '" + caption + "'");
}

void TScriptedScreenForm::SetSaveBtnHint(const std::string& hint) {
  SaveBtnHint = hint;
  Log.push_back("SetSaveBtnHint '" + hint + "'");
}

void TScriptedScreenForm::SetLoadBtnHint(const std::string& hint) {
  LoadBtnHint = hint;
  Log.push_back("SetLoadBtnHint '" + hint + "'");
}

void TScriptedScreenForm::SetBackBtnEnabled(bool enabled) {
  BackBtnEnabled = enabled;
  Log.push_back(std::string("SetBackBtnEnabled ") + (enabled ? "1" : "0"));
}

void TScriptedScreenForm::SetCaption(const std::string& caption) {
  Caption = caption;
  Log.push_back("SetCaption '" + caption + "'");
}

void TScriptedScreenForm::SetScreenTitle(const std::string& caption) {
  ScreenTitle = caption;
  Log.push_back("SetScreenTitle '" + caption + "'");
}

void TScriptedScreenForm::SetScreenDesc(const std::string& hyperText) {
  ScreenDesc = hyperText;
  FScreenDesc->Caption = hyperText;
  Log.push_back("SetScreenDesc '" + hyperText + "'");
}

void TScriptedScreenForm::AdjustScreenDescHeight() {
  FScreenDesc->Height = DescriptionHeight(ScreenDesc);
  Log.push_back("AdjustScreenDescHeight " + std::to_string(FScreenDesc->Height));
}

void TScriptedScreenForm::ClearQuestionPanels() {
  Panels.clear();
  Log.push_back("ClearQuestionPanels");
}

IFormPanel* TScriptedScreenForm::AddQuestionPanel() {
  auto panel = std::make_unique<TScriptedPanel>();
  if (!Panels.empty()) panel->Top = Panels.back()->Top + Panels.back()->FHeight + 1;
  Panels.push_back(std::move(panel));
  Log.push_back("AddQuestionPanel " + std::to_string(Panels.size() - 1));
  return Panels.back().get();
}

IFormPanel* TScriptedScreenForm::QuestionPanel(int index) {
  if (index < 0 || index >= QuestionPanelCount()) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  }
  return Panels[static_cast<std::size_t>(index)].get();
}

std::string TScriptedScreenForm::PanelName(const IFormPanel* panel) const {
  if (panel == &FTitlePanel) return "T";
  for (std::size_t i = 0; i < Panels.size(); ++i) {
    if (Panels[i].get() == panel) return std::to_string(i);
  }
  return "?";
}

TScriptedPanel* TScriptedScreenForm::Checked(IFormPanel* panel) const {
  if (panel == &FTitlePanel) return const_cast<TScriptedPanel*>(&FTitlePanel);
  for (const auto& own : Panels) {
    if (own.get() == panel) return own.get();
  }
  ADD_FAILURE() << "the engine used a panel that is not on the form";
  throw Exception("foreign panel");
}

void TScriptedScreenForm::Add(TScriptedPanel* panel, std::unique_ptr<TScriptedControl> control) {
  control->Parent = panel;
  panel->Children.push_back(std::move(control));
}

int TScriptedScreenForm::AddQuestionLabel(IFormPanel* parent, const std::string& caption, int left,
                                          int top, IFormControl* linked) {
  TScriptedPanel* panel = Checked(parent);
  std::string shown = caption;  // the label shows each doubled "&" once
  for (std::size_t at = shown.find("&&"); at != std::string::npos; at = shown.find("&&", at + 1)) {
    shown.erase(at, 1);
  }
  auto label = std::make_unique<TScriptedControl>(TFormControlKind::Label, left, top,
                                                  static_cast<int>(shown.size()) * kLabelCharWidth,
                                                  kLabelHeight);
  label->Caption = caption;
  label->Linked = linked;
  std::string linkedName = "-";
  if (linked != nullptr) {
    for (std::size_t i = 0; i < panel->Children.size(); ++i) {
      if (panel->Children[i].get() == linked) linkedName = "#" + std::to_string(i);
    }
  }
  Log.push_back("AddQuestionLabel " + PanelName(parent) + " " + Position(left, top) + " '" +
                caption + "' linked=" + linkedName);
  Add(panel, std::move(label));
  return kLabelHeight;
}

IFormControl* TScriptedScreenForm::AddCheckBox(IFormPanel* parent, int left, int top,
                                               bool checked) {
  TScriptedPanel* panel = Checked(parent);
  auto box =
      std::make_unique<TScriptedControl>(TFormControlKind::CheckBox, left, top, 18, kButtonHeight);
  box->IsChecked = checked;
  Log.push_back("AddCheckBox " + PanelName(parent) + " " + Position(left, top) + " " +
                (checked ? "1" : "0"));
  IFormControl* result = box.get();
  Add(panel, std::move(box));
  return result;
}

int TScriptedScreenForm::DescriptionHeight(const std::string& hyperText) {
  int lines = 1;
  for (std::size_t i = 0; i < hyperText.size(); ++i) {
    if (hyperText[i] == '\n' && i + 1 < hyperText.size()) ++lines;
  }
  return lines * kLineHeight + 2;
}

int TScriptedScreenForm::AddDescription(IFormPanel* parent, const std::string& hyperText, int left,
                                        int top) {
  TScriptedPanel* panel = Checked(parent);
  const int height = DescriptionHeight(hyperText);
  auto desc = std::make_unique<TScriptedControl>(TFormControlKind::Description, left, top,
                                                 panel->Width - left - 20, height);
  desc->Caption = hyperText;
  Log.push_back("AddDescription " + PanelName(parent) + " " + Position(left, top) + " h" +
                std::to_string(height) + " '" + hyperText + "'");
  Add(panel, std::move(desc));
  return height;
}

IFormControl* TScriptedScreenForm::AddEdit(IFormPanel* parent, int left, int top, int width,
                                           const std::string& text) {
  TScriptedPanel* panel = Checked(parent);
  auto edit =
      std::make_unique<TScriptedControl>(TFormControlKind::Edit, left, top, width, kEditHeight);
  edit->Caption = text;
  Log.push_back("AddEdit " + PanelName(parent) + " " + Position(left, top) + " w" +
                std::to_string(width) + " '" + text + "'");
  IFormControl* result = edit.get();
  Add(panel, std::move(edit));
  return result;
}

IFormControl* TScriptedScreenForm::AddReadOnlyEdit(IFormPanel* parent, int left, int top, int width,
                                                   const std::string& text) {
  TScriptedPanel* panel = Checked(parent);
  auto edit =
      std::make_unique<TScriptedControl>(TFormControlKind::Edit, left, top, width, kEditHeight);
  edit->Caption = text;
  edit->IsReadOnly = true;
  Log.push_back("AddReadOnlyEdit " + PanelName(parent) + " " + Position(left, top) + " w" +
                std::to_string(width) + " '" + text + "'");
  IFormControl* result = edit.get();
  Add(panel, std::move(edit));
  return result;
}

IFormControl* TScriptedScreenForm::AddRadioButton(IFormPanel* parent, int tag, int left, int top,
                                                  bool checked) {
  TScriptedPanel* panel = Checked(parent);
  auto radio = std::make_unique<TScriptedControl>(TFormControlKind::RadioButton, left, top, 20,
                                                  kButtonHeight);
  radio->FTag = tag;
  Log.push_back("AddRadioButton " + PanelName(parent) + " " + Position(left, top) + " tag" +
                std::to_string(tag) + " " + (checked ? "1" : "0"));
  IFormControl* result = radio.get();
  if (checked) {
    for (const auto& other : panel->Children) {
      if (other->Kind() == TFormControlKind::RadioButton) other->IsChecked = false;
    }
  }
  radio->IsChecked = checked;
  Add(panel, std::move(radio));
  return result;
}

IFormControl* TScriptedScreenForm::AddComboBox(IFormPanel* parent, int left, int top, int width) {
  TScriptedPanel* panel = Checked(parent);
  auto combo =
      std::make_unique<TScriptedControl>(TFormControlKind::ComboBox, left, top, width, kEditHeight);
  Log.push_back("AddComboBox " + PanelName(parent) + " " + Position(left, top) + " w" +
                std::to_string(width));
  IFormControl* result = combo.get();
  Add(panel, std::move(combo));
  return result;
}

void TScriptedScreenForm::FitPanelHeight(IFormPanel* target) {
  TScriptedPanel* panel = Checked(target);
  int bottom = 0;
  for (const auto& child : panel->Children) bottom = std::max(bottom, child->Top + child->Height);
  panel->FHeight = bottom + 10;
  // Panels stack gap-free: those after a changed one move with it.
  for (std::size_t i = 1; i < Panels.size(); ++i) {
    Panels[i]->Top = Panels[i - 1]->Top + Panels[i - 1]->FHeight + 1;
  }
  Log.push_back("FitPanelHeight " + PanelName(target) + " " + std::to_string(panel->FHeight));
}

void TScriptedScreenForm::FitFormHeight() {
  int sum = 0;
  for (const auto& panel : Panels) sum += panel->FHeight;
  Height = ChromeHeight + sum;
  if (ScreenHeight - 100 < Height) Height = ScreenHeight - 100;
  if (MinHeight > Height) Height = MinHeight;
  Top = (ScreenHeight - Height) / 2;
  Log.push_back("FitFormHeight " + std::to_string(Height) + " top" + std::to_string(Top));
  (void)kQuestionAreaHeight;
}

void TScriptedScreenForm::SetModalResult(int modalResult) {
  ModalResult = modalResult;
  Log.push_back("SetModalResult " + std::to_string(modalResult));
}

bool TScriptedScreenForm::ExecuteSaveDialog(std::string& fileName) {
  if (SaveDialogAnswers.empty()) {
    Log.push_back("SaveDialog cancelled");
    return false;
  }
  fileName = SaveDialogAnswers.front();
  SaveDialogAnswers.pop_front();
  Log.push_back("SaveDialog '" + fileName + "'");
  return true;
}

bool TScriptedScreenForm::ExecuteOpenDialog(std::string& fileName) {
  if (OpenDialogAnswers.empty()) {
    Log.push_back("OpenDialog cancelled");
    return false;
  }
  fileName = OpenDialogAnswers.front();
  OpenDialogAnswers.pop_front();
  Log.push_back("OpenDialog '" + fileName + "'");
  return true;
}

void TScriptedScreenForm::Run(const TNotifyEvent& handler, const char* button) {
  Log.push_back(std::string("Click ") + button);
  if (!handler) return;
  try {
    handler();
  } catch (const std::exception& error) {
    Errors.push_back(error.what());
    Log.push_back(std::string("Error: ") + error.what());
  }
}

void TScriptedScreenForm::Play(const TScriptStep& step) {
  TScriptedPanel* panel = nullptr;
  if (step.Action != TScriptStep::Click) {
    if (step.Panel < 0 || step.Panel >= QuestionPanelCount()) {
      ADD_FAILURE() << "script step on panel " << step.Panel << " of " << QuestionPanelCount();
      return;
    }
    panel = Panels[static_cast<std::size_t>(step.Panel)].get();
  }
  auto missing = [&](const char* what) {
    ADD_FAILURE() << "no " << what << " #" << step.Nth << " on panel " << step.Panel;
  };
  switch (step.Action) {
    case TScriptStep::Tick: {
      TScriptedControl* target = nullptr;
      int nth = step.Nth;
      for (const auto& child : panel->Children) {
        if ((child->Kind() == TFormControlKind::CheckBox ||
             child->Kind() == TFormControlKind::RadioButton) &&
            nth-- == 0) {
          target = child.get();
          break;
        }
      }
      if (target == nullptr) return missing("check box or radio button");
      if (target->Kind() == TFormControlKind::RadioButton) {
        for (const auto& other : panel->Children) {
          if (other->Kind() == TFormControlKind::RadioButton) other->IsChecked = false;
        }
        target->IsChecked = true;
      } else {
        target->IsChecked = step.Checked;
      }
      return;
    }
    case TScriptStep::Type: {
      TScriptedControl* edit = panel->Nth(TFormControlKind::Edit, step.Nth);
      if (edit == nullptr) return missing("edit");
      if (edit->IsReadOnly) {
        ADD_FAILURE() << "typing into a read-only edit";
        return;
      }
      edit->Caption = step.Text;
      return;
    }
    case TScriptStep::Pick: {
      TScriptedControl* combo = panel->Nth(TFormControlKind::ComboBox, step.Nth);
      if (combo == nullptr) return missing("drop-down list");
      combo->SetItemIndex(step.Index);
      return;
    }
    case TScriptStep::ClickLabel: {
      TScriptedControl* label = panel->Nth(TFormControlKind::Label, step.Nth);
      if (label == nullptr) return missing("label");
      for (const auto& child : panel->Children) {
        if (child.get() != label->Linked) continue;
        if (child->Kind() == TFormControlKind::CheckBox) {
          child->IsChecked = !child->IsChecked;
        } else if (child->Kind() == TFormControlKind::RadioButton) {
          for (const auto& other : panel->Children) {
            if (other->Kind() == TFormControlKind::RadioButton) other->IsChecked = false;
          }
          child->IsChecked = true;
        }
      }
      return;
    }
    case TScriptStep::Click:
      switch (step.Button) {
        case TScriptButton::Back:
          if (!BackBtnEnabled) {
            ADD_FAILURE() << "script clicks the disabled Back button";
            return;
          }
          return Run(BackBtnClick, "Back");
        case TScriptButton::Next:
          return Run(NextBtnClick, "Next");
        case TScriptButton::Close:
          return Run(CloseBtnClick, "Close");
        case TScriptButton::Save:
          return Run(SaveBtnClick, "Save");
        case TScriptButton::Load:
          return Run(LoadBtnClick, "Load");
        case TScriptButton::CloseBox:
          Log.push_back("Click CloseBox");
          ModalResult = mrCancel;
          return;
      }
  }
}

int TScriptedScreenForm::ShowModal() {
  ++ShowCount;
  ModalResult = mrNone;
  Log.push_back("ShowModal");
  while (ModalResult == mrNone) {
    if (Script.empty()) {
      ADD_FAILURE() << "the screen script ran out while '" << Caption << "' was shown";
      ModalResult = mrCancel;
      break;
    }
    const TScriptStep step = Script.front();
    Script.pop_front();
    Play(step);
  }
  Log.push_back("ModalResult " + std::to_string(ModalResult));
  return ModalResult;
}

// ---------------------------------------------------------------------------------------------

void TScriptedReportForm::SetReportText(int index, const std::string& text) {
  if (index >= 0 && index < 13) ReportTexts[index] = text;
}

void TScriptedReportForm::SetColumnTitle(int index, const std::string& title) {
  if (index >= 0 && index < 5) ColumnTitles[index] = title;
}

void TScriptedReportForm::ShowReport(TSpecTemplate* templ,
                                     const std::vector<std::string>* quantities,
                                     const std::vector<std::string>* variableValues) {
  ++ShowCount;
  ShownTemplate = templ;
  ShownQuantities = quantities ? *quantities : std::vector<std::string>{};
  ShownValues = variableValues ? *variableValues : std::vector<std::string>{};
  BackEnabledAtShow.push_back(BackBtnEnabled);
  ModalResult = mrNone;
  while (ModalResult == mrNone) {
    if (Script.empty()) {
      ADD_FAILURE() << "the report script ran out";
      ModalResult = mrCancel;
      break;
    }
    const TScriptButton button = Script.front();
    Script.pop_front();
    const TNotifyEvent* handler = nullptr;
    if (button == TScriptButton::Back) {
      if (!BackBtnEnabled) {
        ADD_FAILURE() << "script clicks the disabled Back button of the report";
        continue;
      }
      handler = &BackBtnClick;
    } else if (button == TScriptButton::Close) {
      handler = &CloseBtnClick;
    } else if (button == TScriptButton::CloseBox) {
      ModalResult = mrCancel;
      break;
    } else {
      ADD_FAILURE() << "the report form has no " << ButtonName(button) << " button for scripts";
      continue;
    }
    if (!*handler) continue;
    try {
      (*handler)();
    } catch (const std::exception& error) {
      Errors.push_back(error.what());
    }
  }
}
