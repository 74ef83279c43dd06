#pragma once

// Scripted stand-ins of the screen form and the report form. They keep every control the
// engine makes with fixed metrics, log every call with its arguments, and, when shown
// modally, play a script of user steps (tick, type, pick, click) until a handler sets a modal
// result. A script that runs out while a form is shown fails the test and closes the form as
// the close box would. A handler that raises sets no modal result: the message is logged as
// the error box shows it ("Error: <message>") and the form stays open for the next step.
//
// Fixed metrics: a label is 13 high and 6 pixels per character wide; a description is as wide
// as its parent's width - Left - 20 and 13 per line + 2 high (lines: the text's line breaks +
// 1, a final line break adding none); an edit and a drop-down list 21 high; a check box and a
// radio button 17 high. Question panels are 524 wide; the title panel is 79 high as designed
// and its ScreenDesc (9, 25), 504 wide, 44 high until adjusted. The form's MinHeight is 375
// and its ChromeHeight 131 (375 - the question area's 244); the screen is ScreenHeight high.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/forms.h"

class TScriptedPanel;

// The buttons a script step can click, and the frame's close box.
enum class TScriptButton { Back, Next, Close, Save, Load, CloseBox };

// One user step.
struct TScriptStep {
  enum TAction {
    Tick,        // check (Checked true) or uncheck a check box, or check a radio button
    Type,        // replace an edit's text
    Pick,        // select item Index of a drop-down list (-1: none)
    Click,       // click a button (or the close box)
    ClickLabel,  // click a question label (toggles or checks its linked control)
  };
  TAction Action = Click;
  // The panel (question index) and which control of the step's kind on it, counted from 0
  // in creation order: the check box or radio button for Tick, the edit for Type, the
  // drop-down list for Pick, the label for ClickLabel.
  int Panel = 0;
  int Nth = 0;
  bool Checked = true;
  std::string Text;
  int Index = 0;
  TScriptButton Button = TScriptButton::Next;
};

// Step builders for readable scripts.
TScriptStep ClickStep(TScriptButton button);
TScriptStep TickStep(int panel, int nth = 0, bool checked = true);
TScriptStep TypeStep(int panel, const std::string& text, int nth = 0);
TScriptStep PickStep(int panel, int index, int nth = 0);
TScriptStep ClickLabelStep(int panel, int nth);

class TScriptedControl : public IFormControl {
 public:
  TScriptedControl(TFormControlKind kind, int left, int top, int width, int height)
      : Left(left), Top(top), Width(width), Height(height), FKind(kind) {}

  TFormControlKind Kind() const override { return FKind; }
  bool ReadOnly() const override { return IsReadOnly; }
  bool Checked() const override { return IsChecked; }
  std::string Text() const override { return Caption; }
  int Tag() const override { return FTag; }
  void AddItem(const std::string& text, int data) override {
    Items.push_back(text);
    ItemsData.push_back(data);
  }
  int ItemCount() const override { return static_cast<int>(Items.size()); }
  std::string ItemText(int index) const override;
  int ItemData(int index) const override;
  int ItemIndex() const override { return FItemIndex; }
  void SetItemIndex(int index) override;

  int Left;
  int Top;
  int Width;
  int Height;
  // Label caption as given (ampersands doubled), edit text, description hypertext.
  std::string Caption;
  bool IsChecked = false;
  bool IsReadOnly = false;
  int FTag = 0;
  std::vector<std::string> Items;
  std::vector<int> ItemsData;
  int FItemIndex = -1;
  // A label's linked control, not owned.
  IFormControl* Linked = nullptr;
  TScriptedPanel* Parent = nullptr;

 private:
  TFormControlKind FKind;
};

class TScriptedPanel : public IFormPanel {
 public:
  int ControlCount() const override { return static_cast<int>(Children.size()); }
  IFormControl* Controls(int index) const override;
  int Height() const override { return FHeight; }

  // The nth control of a kind in creation order; nullptr when there is none.
  TScriptedControl* Nth(TFormControlKind kind, int nth) const;

  int Top = 0;
  int Width = 524;
  int FHeight = 150;
  std::vector<std::unique_ptr<TScriptedControl>> Children;
};

class TScriptedScreenForm : public IExecScreenForm {
 public:
  TScriptedScreenForm();

  void SetActualLbl(const std::string& caption) override;
  void SetActualTitleLbl(const std::string& caption) override;
  void SetBackBtnCaption(const std::string& caption) override;
  void SetNextBtnCaption(const std::string& caption) override;
  void SetCloseBtnCaption(const std::string& caption) override;
  void SetSaveBtnHint(const std::string& hint) override;
  void SetLoadBtnHint(const std::string& hint) override;
  void SetBackBtnClick(TNotifyEvent handler) override { BackBtnClick = std::move(handler); }
  void SetNextBtnClick(TNotifyEvent handler) override { NextBtnClick = std::move(handler); }
  void SetCloseBtnClick(TNotifyEvent handler) override { CloseBtnClick = std::move(handler); }
  void SetSaveBtnClick(TNotifyEvent handler) override { SaveBtnClick = std::move(handler); }
  void SetLoadBtnClick(TNotifyEvent handler) override { LoadBtnClick = std::move(handler); }
  void SetBackBtnEnabled(bool enabled) override;
  void SetCaption(const std::string& caption) override;
  void SetScreenTitle(const std::string& caption) override;
  void SetScreenDesc(const std::string& hyperText) override;
  void AdjustScreenDescHeight() override;
  IFormPanel* TitlePanel() override { return &FTitlePanel; }
  void ClearQuestionPanels() override;
  IFormPanel* AddQuestionPanel() override;
  IFormPanel* QuestionPanel(int index) override;
  int QuestionPanelCount() const override { return static_cast<int>(Panels.size()); }
  int AddQuestionLabel(IFormPanel* parent, const std::string& caption, int left, int top,
                       IFormControl* linked) override;
  IFormControl* AddCheckBox(IFormPanel* parent, int left, int top, bool checked) override;
  int AddDescription(IFormPanel* parent, const std::string& hyperText, int left, int top) override;
  IFormControl* AddEdit(IFormPanel* parent, int left, int top, int width,
                        const std::string& text) override;
  IFormControl* AddReadOnlyEdit(IFormPanel* parent, int left, int top, int width,
                                const std::string& text) override;
  IFormControl* AddRadioButton(IFormPanel* parent, int tag, int left, int top,
                               bool checked) override;
  IFormControl* AddComboBox(IFormPanel* parent, int left, int top, int width) override;
  void FitPanelHeight(IFormPanel* panel) override;
  void FitFormHeight() override;
  int ShowModal() override;
  void SetModalResult(int modalResult) override;
  bool ExecuteSaveDialog(std::string& fileName) override;
  bool ExecuteOpenDialog(std::string& fileName) override;

  // The description height by the fixed metrics.
  static int DescriptionHeight(const std::string& hyperText);

  // The script, consumed step by step over all showings of the form.
  std::deque<TScriptStep> Script;
  // Answers of the file dialogs, consumed in order; an empty queue cancels the dialog.
  std::deque<std::string> SaveDialogAnswers;
  std::deque<std::string> OpenDialogAnswers;

  // Every call, one line each, e.g. "AddEdit 0 (10,43) w100 '0'" (panel index, position,
  // width, text); the title panel is panel "T".
  std::vector<std::string> Log;
  // The messages the error box showed.
  std::vector<std::string> Errors;
  // How many modal showings the form had.
  int ShowCount = 0;

  // The form's state as the engine left it.
  std::string ActualLbl, ActualTitleLbl, BackBtnCaption, NextBtnCaption, CloseBtnCaption;
  std::string SaveBtnHint, LoadBtnHint, Caption, ScreenTitle, ScreenDesc;
  bool BackBtnEnabled = true;
  int ModalResult = mrNone;
  int Height;
  int Top = 0;
  int ScreenHeight = 768;
  static constexpr int MinHeight = 375;
  static constexpr int ChromeHeight = 131;
  TNotifyEvent BackBtnClick, NextBtnClick, CloseBtnClick, SaveBtnClick, LoadBtnClick;
  std::vector<std::unique_ptr<TScriptedPanel>> Panels;

 private:
  std::string PanelName(const IFormPanel* panel) const;
  TScriptedPanel* Checked(IFormPanel* panel) const;
  void Add(TScriptedPanel* panel, std::unique_ptr<TScriptedControl> control);
  // Runs a handler as the button's click does: a raise is shown in the error box.
  void Run(const TNotifyEvent& handler, const char* button);
  void Play(const TScriptStep& step);

  TScriptedPanel FTitlePanel;
  TScriptedControl* FScreenDesc = nullptr;
};

class TScriptedReportForm : public IExecReportForm {
 public:
  void SetActualLbl(const std::string& caption) override { ActualLbl = caption; }
  void SetActualTitleLbl(const std::string& caption) override { ActualTitleLbl = caption; }
  void SetCaption(const std::string& caption) override { Caption = caption; }
  void SetBackBtnCaption(const std::string& caption) override { BackBtnCaption = caption; }
  void SetNextBtnCaption(const std::string& caption) override { NextBtnCaption = caption; }
  void SetCloseBtnCaption(const std::string& caption) override { CloseBtnCaption = caption; }
  void SetScreenTitle(const std::string& caption) override { ScreenTitle = caption; }
  void SetScreenDesc(const std::string& hyperText) override { ScreenDesc = hyperText; }
  void SetReportText(int index, const std::string& text) override;
  void SetColumnTitle(int index, const std::string& title) override;
  void SetBackBtnClick(TNotifyEvent handler) override { BackBtnClick = std::move(handler); }
  void SetCloseBtnClick(TNotifyEvent handler) override { CloseBtnClick = std::move(handler); }
  void SetBackBtnEnabled(bool enabled) override { BackBtnEnabled = enabled; }
  void SetModalResult(int modalResult) override { ModalResult = modalResult; }
  // Copies what it is shown, then plays the script (Back, Close or CloseBox clicks).
  void ShowReport(TSpecTemplate* templ, const std::vector<std::string>* quantities,
                  const std::vector<std::string>* variableValues) override;

  std::deque<TScriptButton> Script;
  std::vector<std::string> Errors;
  int ShowCount = 0;
  TSpecTemplate* ShownTemplate = nullptr;
  std::vector<std::string> ShownQuantities, ShownValues;
  // Whether Back was enabled at each showing.
  std::vector<bool> BackEnabledAtShow;

  std::string ActualLbl, ActualTitleLbl, Caption, BackBtnCaption, NextBtnCaption;
  std::string CloseBtnCaption, ScreenTitle, ScreenDesc;
  std::string ReportTexts[13];
  std::string ColumnTitles[5];
  bool BackBtnEnabled = true;
  int ModalResult = mrNone;
  TNotifyEvent BackBtnClick, CloseBtnClick;
};
