#pragma once

// The report form: the offer preview shown at the finish of a run. It lists every product of
// the run whose quantity is above zero, ordered by the products' ordering index, then the sum,
// the VAT and the total of the offer and the values of the scheme's summary variables. Its
// Export button renders one of the scheme's report templates into the spreadsheet, with the
// progress window shown while the export runs. Back and Close belong to the engine.
//
// The rows of PreviewList are top-level items of five columns; each carries its data value
// (the product's ordering index, 0 for the other rows) in kPreviewDataRole and its style
// (TPreviewRowStyle) in kRowStyleRole, both on column 0. The form draws every row itself by
// its style.

#include <QDialog>
#include <string>
#include <vector>

#include "engine/forms.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
class THyperLinkView;
class TSpecTemplate;

// Item roles of a preview row (column 0).
inline constexpr int kPreviewDataRole = Qt::UserRole;
inline constexpr int kRowStyleRole = Qt::UserRole + 1;

// How a preview row looks when it has no focus.
enum TPreviewRowStyle : int {
  rsProduct = -1,  // black text on the window background
  rsSummary = 0,   // the same
  rsSum = 2,       // bold navy on light grey, a dotted black line along the top
  rsTotals = 3,    // bold navy on light grey: VAT, Total and the separator row
};

// The number of ReportTexts and of PreviewList's columns.
inline constexpr int kReportTextCount = 13;
inline constexpr int kPreviewColumnCount = 5;

class TExecReportForm : public QDialog, public IExecReportForm {
 public:
  // Builds the form and runs FormCreate.
  explicit TExecReportForm(QWidget* parent = nullptr);
  ~TExecReportForm() override;

  void SetActualLbl(const std::string& Caption) override;
  void SetActualTitleLbl(const std::string& Caption) override;
  void SetCaption(const std::string& Caption) override;
  void SetBackBtnCaption(const std::string& Caption) override;
  void SetNextBtnCaption(const std::string& Caption) override;
  void SetCloseBtnCaption(const std::string& Caption) override;
  void SetScreenTitle(const std::string& Caption) override;
  void SetScreenDesc(const std::string& HyperText) override;
  void SetReportText(int Index, const std::string& Text) override;
  void SetColumnTitle(int Index, const std::string& Title) override;
  void SetBackBtnClick(TNotifyEvent Handler) override;
  void SetCloseBtnClick(TNotifyEvent Handler) override;
  void SetBackBtnEnabled(bool Enabled) override;
  // A result other than mrNone closes the form with it.
  void SetModalResult(int ModalResult) override;

  // Stores the three references, runs BuildPreview and shows the form modally; returns when
  // it has closed. An error of BuildPreview leaves before the form is shown.
  void ShowReport(TSpecTemplate* Template, const std::vector<std::string>* Quantities,
                  const std::vector<std::string>* VariableValues) override;

  // Rebuilds the rows from Template, Quantities and VariableValues, then AdjustHeight. A
  // missing entry of either list raises the list's index error; a summary value that is no
  // value text raises "Invalid typecast.".
  void BuildPreview();
  // The value text of the scheme variable of that name (Latin letters folded); empty when the
  // scheme has no such variable.
  std::string GetVariableValue(const std::string& Name) const;
  // Fits the form's height to the rows, between its design height and the screen's height
  // less 100, and centres it vertically; the bound and the centring take the outer height,
  // the frame that Qt reports once the form has been shown included. A maximized form keeps
  // the size the window manager gave it.
  void AdjustHeight();
  // -1, 0 or 1 as Item1's data value is less than, equal to or greater than Item2's.
  static int PreviewListCompare(const QTreeWidgetItem* Item1, const QTreeWidgetItem* Item2);

  // Export: with OutputFileName set, exports report template 0 at once; otherwise opens
  // ExportMenu, one entry per report template, under NextBtn.
  void NextBtnClick();
  // ExportReport with the index the entry carries.
  void ExportMenuItemClick(QAction* Sender);
  // Copies the run's quantities into the products and exports report template Index through
  // the report exporter, with ProcessForm shown meanwhile. Errors pass on.
  void ExportReport(int Index);
  // When the form is visible: stores the column widths that changed and repaints the rows
  // once if any did.
  void Timer1Timer();

  // Components, in declaration order.
  QWidget* ControlPanel;
  QWidget* TitlePanel;
  QFrame* Bevel1;
  QLabel* ScreenTitle;
  THyperLinkView* ScreenDesc;
  QPushButton* BackBtn;
  QPushButton* NextBtn;
  QPushButton* CloseBtn;
  QWidget* Panel1;
  QTreeWidget* PreviewList;
  QMenu* ExportMenu;
  QLabel* Image1;
  QLabel* ActualTitleLbl;
  QLabel* ActualLbl;
  QTimer* Timer1;

  // Set by the engine's Back handler, cleared by the engine before each showing.
  bool BackPressed = false;
  // The run's lists and the scheme, not owned; valid while ShowReport runs.
  const std::vector<std::string>* Quantities = nullptr;
  const std::vector<std::string>* VariableValues = nullptr;
  TSpecTemplate* Template = nullptr;
  // The form's client height when it was created, and the height of one row as AdjustHeight
  // measured.
  int InitialHeight = 0;
  int RowHeight = 18;
  // Labels of the totals and summary rows and the progress text, set by the run's start.
  std::string ReportTexts[kReportTextCount];
  // The column widths as the timer last saw them.
  int ColumnWidths[kPreviewColumnCount] = {0, 0, 0, 0, 0};
  // When not empty, Export exports report template 0 to this file without the menu.
  std::string OutputFileName;
  // The frame's share of the outer height as Qt last reported it; 0 until the form is shown.
  int FrameHeight = 0;

 protected:
  // The height of the screen the form is placed on, in pixels.
  virtual int ScreenHeight() const;

  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // The close box: modal result mrCancel.
  void reject() override;

 private:
  // Clears OutputFileName, shows today's date and remembers the design height.
  void FormCreate();
  // Places the components for the current client size, as their alignments and anchors say.
  void AlignControls();
  // PreviewList's rows that fit its visible area whole.
  int FullyVisibleRows() const;
  // Repaints PreviewList at once.
  void RepaintPreview();
  // Runs a handler of a click: an error is shown in the error window and goes no further.
  void Guarded(const TNotifyEvent& handler);
  // Notes the frame Qt reports for the shown form; a changed frame fits the height again.
  void NoteFrame();
  // Whether the window manager has given the form its size (maximized or full screen).
  bool SizedByWindowManager() const;
  bool HeightAdjusted = false;
  bool Adjusting = false;
  // Restored from the maximized or full-screen state, until the restored size arrives. A
  // window manager may report the normal state (and move the form back) before it gives the
  // form its own size again: the frame is not noted meanwhile, or the height would be fitted
  // on the maximized width and the form would keep it.
  bool Restoring = false;

  TNotifyEvent FBackBtnClick;
  TNotifyEvent FCloseBtnClick;
};
