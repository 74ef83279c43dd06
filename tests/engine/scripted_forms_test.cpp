// The scripted stand-ins behave as the real forms do where the engine's tests rely on it.

#include "tests/support/scripted_forms.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(ScriptedScreenFormTest, CheckingARadioUnchecksTheOthersOfItsPanelOnly) {
  TScriptedScreenForm form;
  IFormPanel* first = form.AddQuestionPanel();
  IFormPanel* second = form.AddQuestionPanel();
  IFormControl* a = form.AddRadioButton(first, 0, 10, 26, true);
  IFormControl* b = form.AddRadioButton(first, 1, 10, 42, false);
  IFormControl* other = form.AddRadioButton(second, 0, 10, 26, true);
  IFormControl* c = form.AddRadioButton(first, 2, 10, 58, true);
  EXPECT_FALSE(a->Checked());
  EXPECT_FALSE(b->Checked());
  EXPECT_TRUE(c->Checked());
  EXPECT_TRUE(other->Checked());

  form.AddQuestionLabel(first, "B", 30, 42, b);
  bool closed = false;
  form.SetNextBtnClick([&] {
    closed = true;
    form.SetModalResult(mrYes);
  });
  form.Script = {ClickLabelStep(0, 0), ClickStep(TScriptButton::Next)};
  EXPECT_EQ(form.ShowModal(), mrYes);
  EXPECT_TRUE(closed);
  EXPECT_TRUE(b->Checked());
  EXPECT_FALSE(c->Checked());
  EXPECT_TRUE(other->Checked());
}

TEST(ScriptedScreenFormTest, AHandlerThatRaisesLeavesTheFormOpen) {
  TScriptedScreenForm form;
  int calls = 0;
  form.SetNextBtnClick([&] {
    if (++calls == 1) throw std::runtime_error("Invalid number (Width).");
    form.SetModalResult(mrYes);
  });
  form.Script = {ClickStep(TScriptButton::Next), ClickStep(TScriptButton::Next)};
  EXPECT_EQ(form.ShowModal(), mrYes);
  EXPECT_EQ(calls, 2);
  ASSERT_EQ(form.Errors.size(), 1u);
  EXPECT_EQ(form.Errors[0], "Invalid number (Width).");
}

TEST(ScriptedScreenFormTest, PanelsRestackWhenAHeightChanges) {
  TScriptedScreenForm form;
  IFormPanel* first = form.AddQuestionPanel();
  IFormPanel* second = form.AddQuestionPanel();
  EXPECT_EQ(form.Panels[1]->Top, 151);
  form.AddQuestionLabel(first, "Title", 10, 10, nullptr);
  form.AddEdit(first, 10, 43, 100, "0");
  form.FitPanelHeight(first);
  EXPECT_EQ(first->Height(), 74);
  EXPECT_EQ(form.Panels[1]->Top, 75);
  form.FitPanelHeight(second);
  EXPECT_EQ(second->Height(), 10);
  form.FitFormHeight();
  EXPECT_EQ(form.Height, TScriptedScreenForm::MinHeight);
  EXPECT_EQ(form.Top, (768 - 375) / 2);
}
