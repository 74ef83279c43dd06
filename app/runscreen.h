#pragma once

// The screen form: the one dialog in which every screen of a run is shown. The engine builds
// each screen on it through IExecScreenForm (one panel per question, the controls at the
// positions it gives), lets it size itself and shows it modally; the buttons run the engine's
// handlers. The form knows nothing of questions or values.
//
// Sizes are the designed ones in pixels: client area 524 x 375, the title panel 79 high at
// the top, the button panel 52 high at the bottom, the scrolling question area between them.
// The heights the form measures are client heights; the bound by the screen and the centring
// take the window's outer height, frame included. Qt knows the frame only once the window has
// been shown, so the form fits itself again when the frame it reports changes.

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPoint>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/HyperLinkView.h"
#include "engine/forms.h"

class QFileDialog;
class QPushButton;
class QScrollArea;
class QToolButton;
class TExecScreenForm;

// A panel of the form: the title panel or a question panel. Lists the controls made on it in
// creation order; re-stacks the question area whenever its height changes.
class TFormPanel : public QFrame, public IFormPanel {
  Q_OBJECT

 public:
  TFormPanel(TExecScreenForm* form, QWidget* parent);

  int ControlCount() const override { return static_cast<int>(FControls.size()); }
  IFormControl* Controls(int Index) const override;
  int Height() const override { return height(); }

  void AppendControl(IFormControl* control) { FControls.push_back(control); }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  TExecScreenForm* Form;
  // Not owned: every control is a child widget of the panel.
  std::vector<IFormControl*> FControls;
};

// A label of the form. Its caption has every "&" doubled (the platform's labels would take a
// single one as an accelerator mark); the label shows each "&&" as one "&" and underlines
// nothing. A click toggles a linked check box or checks a linked radio button.
class TFormLabel : public QLabel, public IFormControl {
  Q_OBJECT

 public:
  TFormLabel(QWidget* parent, bool autoSize);

  TFormControlKind Kind() const override { return TFormControlKind::Label; }
  const std::string& Caption() const { return FCaption; }
  // Windows-1251; auto-sized labels take the size of their text.
  void SetCaption(const std::string& Caption);

  IFormControl* Linked = nullptr;
  // An auto-sized label is at least this high a line (0: the font's own line).
  int LineHeight = 0;
  // Runs on a left click; the form binds QuestionLabelClick.
  std::function<void(TFormLabel*)> OnClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool AutoSize;
  std::string FCaption;
};

// A hypertext description of the form.
class TFormDescription : public THyperLinkView, public IFormControl {
  Q_OBJECT

 public:
  explicit TFormDescription(QWidget* parent) : THyperLinkView(parent) {}
  TFormControlKind Kind() const override { return TFormControlKind::Description; }
};

class TExecScreenForm : public QDialog, public IExecScreenForm {
  Q_OBJECT

 public:
  // Runs FormCreate.
  explicit TExecScreenForm(QWidget* parent = nullptr);
  // Runs FormDestroy.
  ~TExecScreenForm() override;

  void FormCreate(QObject* Sender);
  void FormDestroy(QObject* Sender);

  // IExecScreenForm.
  void SetActualLbl(const std::string& Caption) override;
  void SetActualTitleLbl(const std::string& Caption) override;
  void SetBackBtnCaption(const std::string& Caption) override;
  void SetNextBtnCaption(const std::string& Caption) override;
  void SetCloseBtnCaption(const std::string& Caption) override;
  void SetSaveBtnHint(const std::string& Hint) override;
  void SetLoadBtnHint(const std::string& Hint) override;
  void SetBackBtnClick(TNotifyEvent Handler) override;
  void SetNextBtnClick(TNotifyEvent Handler) override;
  void SetCloseBtnClick(TNotifyEvent Handler) override;
  void SetSaveBtnClick(TNotifyEvent Handler) override;
  void SetLoadBtnClick(TNotifyEvent Handler) override;
  void SetBackBtnEnabled(bool Enabled) override;
  void SetCaption(const std::string& Caption) override;
  void SetScreenTitle(const std::string& Caption) override;
  void SetScreenDesc(const std::string& HyperText) override;
  void AdjustScreenDescHeight() override;
  TFormPanel* TitlePanel() override { return FTitlePanel; }
  void ClearQuestionPanels() override;
  TFormPanel* AddQuestionPanel() override;
  TFormPanel* QuestionPanel(int Index) override;
  int QuestionPanelCount() const override { return static_cast<int>(QuestionPanels.size()); }
  int AddQuestionLabel(IFormPanel* Parent, const std::string& Caption, int Left, int Top,
                       IFormControl* Linked) override;
  IFormControl* AddCheckBox(IFormPanel* Parent, int Left, int Top, bool Checked) override;
  int AddDescription(IFormPanel* Parent, const std::string& HyperText, int Left, int Top) override;
  IFormControl* AddEdit(IFormPanel* Parent, int Left, int Top, int Width,
                        const std::string& Text) override;
  IFormControl* AddReadOnlyEdit(IFormPanel* Parent, int Left, int Top, int Width,
                                const std::string& Text) override;
  IFormControl* AddRadioButton(IFormPanel* Parent, int Tag, int Left, int Top,
                               bool Checked) override;
  IFormControl* AddComboBox(IFormPanel* Parent, int Left, int Top, int Width) override;
  void FitPanelHeight(IFormPanel* Panel) override;
  void FitFormHeight() override;
  int ShowModal() override;
  void SetModalResult(int ModalResult) override;
  bool ExecuteSaveDialog(std::string& FileName) override;
  bool ExecuteOpenDialog(std::string& FileName) override;

  // The handler of every description's links: shows the resource just below the left end of
  // the description, whichever of its links was pressed.
  void ScreenDescHyperlinkClicked(THyperText* Sender, const std::string& aLinkId);
  // A click on a question label: toggles a linked check box, checks a linked radio button.
  void QuestionLabelClick(TFormLabel* Sender);

  int ModalResult() const { return FModalResult; }

  // Shows the resource of a link at a point of the screen in place of the data module's
  // TDM::ShowResourceAt, which serves a press while this is unset (and a data module exists).
  std::function<void(const QPoint& At, const std::string& aLinkId)> ShowResourceAt;

  // Components, in the order of the form description.
  QFrame* ControlPanel = nullptr;
  QFrame* Bevel1 = nullptr;
  TFormLabel* ScreenTitle = nullptr;
  TFormDescription* ScreenDesc = nullptr;
  TFormLabel* ActualLbl = nullptr;
  QScrollArea* QuestionsField = nullptr;
  QPushButton* BackBtn = nullptr;
  QPushButton* NextBtn = nullptr;
  QPushButton* CloseBtn = nullptr;
  TFormLabel* ActualTitleLbl = nullptr;
  QLabel* Image1 = nullptr;
  QToolButton* LoadBtn = nullptr;
  QToolButton* SaveBtn = nullptr;
  // Built on first use (OpenDialog, SaveDialog): building them costs the start-up time.
  QFileDialog* OpenDlg = nullptr;
  QFileDialog* SaveDlg = nullptr;
  QFileDialog* OpenDialog();
  QFileDialog* SaveDialog();

  // The panels of the screen being shown, in creation order (owned: freed by
  // ClearQuestionPanels).
  std::vector<TFormPanel*> QuestionPanels;
  // The client height at creation, and that height minus the question area's.
  std::int32_t MinHeight = 0;
  std::int32_t ChromeHeight = 0;
  // The frame's share of the outer height as Qt last reported it; 0 until the form is shown.
  int FrameHeight = 0;

  // Lays the panels of the question area out again: stacked without gaps in creation order,
  // each as wide as the area (less the scroll bar once they do not fit). Runs whenever the
  // height of a panel or of the area changes.
  void RestackQuestionPanels();
  // Places the title panel, the question area and the button panel in the client area; runs
  // whenever the form's or the title panel's height changes.
  void LayOutForm();

  // Every other way Qt rejects a dialog ends the showing as the close box does.
  void reject() override;

 protected:
  // Escape clicks CloseBtn.
  void keyPressEvent(QKeyEvent* event) override;
  // The close box: mrCancel.
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Notes the frame Qt reports for the shown form; a changed frame fits the height again.
  void NoteFrame();
  // The answers' controls in panel order, then Back, Next and Close, as Tab walks them; the
  // first answer Tab stops at has the focus when the screen is shown (of an option group,
  // the chosen answer).
  void ArrangeTabOrder();
  TFormPanel* PanelOf(IFormPanel* Parent) const;
  // Runs a button's handler; an error is shown in the error box and the form stays open.
  static void RunHandler(const TNotifyEvent& handler);
  bool ExecuteFileDialog(QFileDialog* dialog, std::string& FileName);

  TFormPanel* FTitlePanel = nullptr;
  TNotifyEvent BackBtnClick;
  TNotifyEvent NextBtnClick;
  TNotifyEvent CloseBtnClick;
  TNotifyEvent SaveBtnClick;
  TNotifyEvent LoadBtnClick;
  int FModalResult = mrNone;
  bool Restacking = false;
  bool LayingOut = false;
  bool HeightFitted = false;
  // Keeps the mouse wheel from input controls without the focus.
  QObject* WheelGuard = nullptr;
  // Makes the radio buttons of each panel one option group for the keyboard.
  QObject* OptionKeys = nullptr;
};

// Filters of the file dialogs, and the Open dialog's file name when it is first shown.
inline constexpr const char* kSavesFilter = "Quorvane Saves (*.qvs)";
inline constexpr const char* kAllFilesFilter = "All Files (*.*)";
inline constexpr const char* kOpenDialogFileName = "*.qvs";
