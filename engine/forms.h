#pragma once

// The seam between the wizard engine and its two windows: the screen form, on which every
// screen of a run is built and shown, and the report form, which shows the offer at the finish.
// The engine drives the windows only through these interfaces; the Qt forms implement them
// in app/ and report/, and tests replace them with scripted stand-ins.
//
// Texts cross the seam as Windows-1251 bytes (the scheme's own texts and the service
// strings); only the window side converts them for display. File names chosen in the file
// dialogs are paths of the file system as it spells them (UTF-8 bytes on this platform).
//
// A handler bound to a button runs inside the form's modal showing. When it raises, the form
// shows the exception's message in its error box, sets no modal result and stays open; no
// exception crosses the window's event dispatch.

#include <functional>
#include <string>
#include <vector>

class TSpecTemplate;

// Modal results: a handler sets one and the modal showing returns it. mrNone keeps the form
// open.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;

// A button's click handler.
using TNotifyEvent = std::function<void()>;

// What a control on a question panel is; the engine finds a question's controls again by
// their kind and creation order.
enum class TFormControlKind {
  Label,        // AddQuestionLabel
  CheckBox,     // AddCheckBox
  Description,  // AddDescription
  Edit,         // AddEdit and AddReadOnlyEdit (ReadOnly tells them apart)
  RadioButton,  // AddRadioButton
  ComboBox,     // AddComboBox
};

// One control made by the screen form's Add operations. The form owns it; it lives until its
// panel is cleared. Members that do not apply to the control's kind answer false, the empty
// text, 0 or -1 and change nothing.
class IFormControl {
 public:
  virtual ~IFormControl() = default;

  virtual TFormControlKind Kind() const = 0;
  // An edit made by AddReadOnlyEdit.
  virtual bool ReadOnly() const { return false; }

  // Check box and radio button: checked now (the user may have changed it).
  virtual bool Checked() const { return false; }
  // Edit: the text now, typed characters outside Windows-1251 read as "?".
  virtual std::string Text() const { return {}; }
  // Radio button: the Tag it was made with.
  virtual int Tag() const { return 0; }

  // Drop-down list (choose-only). Items are appended with their text (shown) and a data value
  // (never shown: the engine stores the index of the offered answer in it, so a choice maps
  // back to the answer offered at that position whatever the titles are).
  virtual void AddItem(const std::string& /*Text*/, int /*Data*/) {}
  virtual int ItemCount() const { return 0; }
  // The item's text exactly as added, and its data value; an index outside the items gives
  // the empty text and -1.
  virtual std::string ItemText(int /*Index*/) const { return {}; }
  virtual int ItemData(int /*Index*/) const { return -1; }
  // The selected item, -1 for none; setting -1 (or an index outside the items) selects none.
  virtual int ItemIndex() const { return -1; }
  virtual void SetItemIndex(int /*Index*/) {}
};

// A panel of the screen form: the title panel, or the panel of one question. Its controls are
// listed in creation order, labels and descriptions included.
class IFormPanel {
 public:
  virtual ~IFormPanel() = default;

  virtual int ControlCount() const = 0;
  // The control at Index (0 .. ControlCount()-1); nullptr outside.
  virtual IFormControl* Controls(int Index) const = 0;
  // Current height in pixels (150 for a new question panel, then as FitPanelHeight sets it).
  virtual int Height() const = 0;
};

// The window in which each screen is shown (a dialog of client area 524 x 375).
class IExecScreenForm {
 public:
  virtual ~IExecScreenForm() = default;

  // Texts that the run's start puts on the form.
  virtual void SetActualLbl(const std::string& Caption) = 0;
  virtual void SetActualTitleLbl(const std::string& Caption) = 0;
  virtual void SetBackBtnCaption(const std::string& Caption) = 0;
  virtual void SetNextBtnCaption(const std::string& Caption) = 0;
  virtual void SetCloseBtnCaption(const std::string& Caption) = 0;
  virtual void SetSaveBtnHint(const std::string& Hint) = 0;
  virtual void SetLoadBtnHint(const std::string& Hint) = 0;

  // The click handlers of the five buttons, bound by the engine before each showing; an empty
  // handler makes the button do nothing.
  virtual void SetBackBtnClick(TNotifyEvent Handler) = 0;
  virtual void SetNextBtnClick(TNotifyEvent Handler) = 0;
  virtual void SetCloseBtnClick(TNotifyEvent Handler) = 0;
  virtual void SetSaveBtnClick(TNotifyEvent Handler) = 0;
  virtual void SetLoadBtnClick(TNotifyEvent Handler) = 0;
  virtual void SetBackBtnEnabled(bool Enabled) = 0;

  // The window's caption (the screen's title as it stands).
  virtual void SetCaption(const std::string& Caption) = 0;
  // ScreenTitle's caption: the engine passes the title through EscapeAmpersands, and the
  // label shows each "&&" as one "&" and underlines nothing.
  virtual void SetScreenTitle(const std::string& Caption) = 0;
  // ScreenDesc's hypertext, then its AdjustHeight.
  virtual void SetScreenDesc(const std::string& HyperText) = 0;
  virtual void AdjustScreenDescHeight() = 0;
  // The panel that holds the title, the date and ScreenDesc.
  virtual IFormPanel* TitlePanel() = 0;

  // The question area.
  virtual void ClearQuestionPanels() = 0;
  // A new panel 150 high, stacked under the last one across the width of the question area.
  virtual IFormPanel* AddQuestionPanel() = 0;
  virtual IFormPanel* QuestionPanel(int Index) = 0;  // raises the list's index error outside
  virtual int QuestionPanelCount() const = 0;

  // The widget operations. Coordinates are pixels relative to Parent.
  // A bold, auto-sized one-line label of EscapeAmpersands(Caption); a click on it toggles a
  // linked check box or checks a linked radio button. Answers the label's height.
  virtual int AddQuestionLabel(IFormPanel* Parent, const std::string& Caption, int Left, int Top,
                               IFormControl* Linked) = 0;
  // A check box 18 wide without a caption.
  virtual IFormControl* AddCheckBox(IFormPanel* Parent, int Left, int Top, bool Checked) = 0;
  // A hypertext view as wide as Parent's width - Left - 20, its height adjusted to the text;
  // a press on one of its links shows that resource just below the view. Answers the height.
  virtual int AddDescription(IFormPanel* Parent, const std::string& HyperText, int Left,
                             int Top) = 0;
  virtual IFormControl* AddEdit(IFormPanel* Parent, int Left, int Top, int Width,
                                const std::string& Text) = 0;
  virtual IFormControl* AddReadOnlyEdit(IFormPanel* Parent, int Left, int Top, int Width,
                                        const std::string& Text) = 0;
  // A radio button 20 wide without a caption; checking one unchecks the others of its panel.
  virtual IFormControl* AddRadioButton(IFormPanel* Parent, int Tag, int Left, int Top,
                                       bool Checked) = 0;
  // A choose-only drop-down list without items.
  virtual IFormControl* AddComboBox(IFormPanel* Parent, int Left, int Top, int Width) = 0;

  // Panel height := the largest (top + height) of its controls, 0 without any, plus 10.
  virtual void FitPanelHeight(IFormPanel* Panel) = 0;
  // The form's height from its panels, bounded by the screen, and centred vertically.
  virtual void FitFormHeight() = 0;

  // Shows the form modally until a handler (or Escape, or the close box: mrCancel) sets a
  // modal result, and answers it.
  virtual int ShowModal() = 0;
  virtual void SetModalResult(int ModalResult) = 0;

  // The file dialogs of Save and Load: false when cancelled, otherwise the chosen path.
  virtual bool ExecuteSaveDialog(std::string& FileName) = 0;
  virtual bool ExecuteOpenDialog(std::string& FileName) = 0;

  // Every "&" doubled, everything else copied.
  static std::string EscapeAmpersands(const std::string& Text) {
    std::string result;
    result.reserve(Text.size());
    for (char c : Text) {
      result += c;
      if (c == '&') result += '&';
    }
    return result;
  }
};

// The window that shows the offer at the finish of a run.
class IExecReportForm {
 public:
  virtual ~IExecReportForm() = default;

  // Texts that the run's start puts on the form.
  virtual void SetActualLbl(const std::string& Caption) = 0;
  virtual void SetActualTitleLbl(const std::string& Caption) = 0;
  virtual void SetCaption(const std::string& Caption) = 0;
  virtual void SetBackBtnCaption(const std::string& Caption) = 0;
  virtual void SetNextBtnCaption(const std::string& Caption) = 0;
  virtual void SetCloseBtnCaption(const std::string& Caption) = 0;
  virtual void SetScreenTitle(const std::string& Caption) = 0;
  virtual void SetScreenDesc(const std::string& HyperText) = 0;
  // ReportTexts[Index], Index 0 .. 12; another index is ignored.
  virtual void SetReportText(int Index, const std::string& Text) = 0;
  // The title of PreviewList's column Index, 0 .. 4; another index is ignored.
  virtual void SetColumnTitle(int Index, const std::string& Title) = 0;

  // Back and Close belong to the engine; Export (NextBtn) is the form's own.
  virtual void SetBackBtnClick(TNotifyEvent Handler) = 0;
  virtual void SetCloseBtnClick(TNotifyEvent Handler) = 0;
  virtual void SetBackBtnEnabled(bool Enabled) = 0;
  virtual void SetModalResult(int ModalResult) = 0;

  // Builds the preview from the scheme, the run's quantities (one per product, in price-list
  // order) and values (one per variable, in variable order), shows the form modally and
  // returns when it has closed. The lists are read, never kept beyond the showing.
  virtual void ShowReport(TSpecTemplate* Template, const std::vector<std::string>* Quantities,
                          const std::vector<std::string>* VariableValues) = 0;
};
