// The screen step: building a screen's questions on the screen form, showing it modally, and
// reading the answers back when the user leaves it; the button handlers of both forms.
#include <exception>

#include "engine/runtime.h"

void TSpecRunTime::ShowScreen(TSpecScreen* Screen) {
  if (!ScreenForm) {
    Finished = true;
    Current = nullptr;
    return;
  }
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
      default:
        break;
    }
  }
  ScreenForm->SetBackBtnEnabled(!IsFirstScreen());
  Answered = false;
  ScreenForm->FitFormHeight();
  StateLoaded = false;

  ScreenForm->ShowModal();

  if (StateLoaded) {
    TSpecObject* last = LastElement();
    if (last && last->ObjectKind() == TSpecObjectKind::Screen) {
      ShowScreen(static_cast<TSpecScreen*>(last));
    } else {
      Finished = true;
      Current = nullptr;
    }
  } else if (!Answered) {
    Finished = true;
    Current = nullptr;
  } else if (GoingBack) {
    Current = nullptr;
  } else {
    Current = Screen;
  }
}

void TSpecRunTime::BuildCheckBoxQuestion(TSpecQuestion*, IFormPanel*) {}
void TSpecRunTime::BuildFloatQuestion(TSpecQuestion*, IFormPanel*) {}
void TSpecRunTime::BuildIntegerQuestion(TSpecQuestion*, IFormPanel*) {}
void TSpecRunTime::BuildStringQuestion(TSpecQuestion*, IFormPanel*) {}
void TSpecRunTime::BuildRadioQuestion(TSpecQuestion*, IFormPanel*) {}
void TSpecRunTime::BuildComboQuestion(TSpecQuestion*, IFormPanel*) {}
void TSpecRunTime::BuildReadOnlyQuestion(TSpecQuestion*, IFormPanel*) {}

void TSpecRunTime::CollectAnswers() {}

std::string TSpecRunTime::ReadAnswer(TSpecQuestion*, IFormPanel*) {
  return {};
}

namespace {

IFormControl* FindNext(int& Index, IFormPanel* Panel, TFormControlKind Kind) {
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
