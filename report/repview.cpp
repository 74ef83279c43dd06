#include "report/repview.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <exception>
#include <memory>

#include "app/HyperLinkView.h"
#include "engine/locale.h"
#include "expr/format.h"
#include "expr/typecvt.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/report.h"
#include "platform/cp1251_qt.h"
#include "platform/errorwindow.h"
#include "platform/fonts_qt.h"
#include "platform/windows_qt.h"
#include "report/processindicator.h"
#include "report/repexport.h"

namespace {

// The client area of the designed 532 x 402 window less its frame.
constexpr int kDesignWidth = 524;
constexpr int kDesignHeight = 375;
constexpr int kTitlePanelHeight = 66;
constexpr int kControlPanelHeight = 52;
constexpr int kPanel1Border = 5;
// Text inset of a cell on its aligned side.
constexpr int kCellInset = 6;

// The design widths and alignments of the five columns; column 1 takes what the others leave.
constexpr int kColumnWidths[kPreviewColumnCount] = {70, 0, 50, 100, 100};
constexpr bool kRightAligned[kPreviewColumnCount] = {false, false, true, true, true};

const QColor kNavy(0, 0, 128);
const QColor kLightGrey(224, 224, 224);

// A control placed at design coordinates, keeping its distance from the right edge when it
// is anchored there.
struct Placement {
  int Left, Top, Width, Height;
  bool AnchorRight = false;
  bool StretchRight = false;
};

void Place(QWidget* control, const Placement& at, int parentWidth) {
  const int rightMargin = kDesignWidth - at.Left - at.Width;
  if (at.AnchorRight) {
    control->setGeometry(parentWidth - rightMargin - at.Width, at.Top, at.Width, at.Height);
  } else if (at.StretchRight) {
    control->setGeometry(at.Left, at.Top, std::max(0, parentWidth - rightMargin - at.Left),
                         at.Height);
  } else {
    control->setGeometry(at.Left, at.Top, at.Width, at.Height);
  }
}

// "Tahoma" 8 pt.
QFont FormFont() {
  return DesignFont(TDesignFace::Tahoma, 11);
}

// Whether a row is a label row (totals and summaries): its label in column 3 and nothing in
// columns 0 to 2.
bool IsLabelRow(const QModelIndex& index) {
  for (int c = 0; c < 3; ++c) {
    if (!index.sibling(index.row(), c).data(Qt::DisplayRole).toString().isEmpty()) return false;
  }
  return !index.sibling(index.row(), 3).data(Qt::DisplayRole).toString().isEmpty();
}

// Draws every row of the preview by its style, cell by cell. The label of a label row may be
// wider than its column: it goes on into the empty cells on its left, each of which draws its
// part of it, so that the label shows whole.
class TPreviewRowDelegate : public QStyledItemDelegate {
 public:
  explicit TPreviewRowDelegate(QTreeWidget* list) : QStyledItemDelegate(list), List(list) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const QModelIndex first = index.sibling(index.row(), 0);
    const int style = first.data(kRowStyleRole).toInt();
    const bool focused = List->hasFocus() && List->currentIndex().row() == index.row() &&
                         List->currentIndex().parent() == index.parent();
    const QPalette& palette = List->palette();
    QColor text = style >= rsSum ? kNavy : QColor(Qt::black);
    QColor background = style > 0 ? kLightGrey : palette.color(QPalette::Base);
    if (focused) {
      text = palette.color(QPalette::HighlightedText);
      background = palette.color(QPalette::Highlight);
    }
    QFont font = List->font();
    font.setBold(style > 0);

    painter->save();
    const QRect cell = option.rect;
    painter->fillRect(cell, background);
    painter->setFont(font);
    painter->setPen(text);
    painter->setClipRect(cell);
    const QFontMetrics metrics(font);
    int column = index.column();
    QRect textCell = cell;
    if (column < 3 && IsLabelRow(index)) {
      column = 3;
      textCell = List->visualRect(index.sibling(index.row(), 3));
    }
    const QString caption = index.sibling(index.row(), column).data(Qt::DisplayRole).toString();
    const bool right = column >= 0 && column < kPreviewColumnCount && kRightAligned[column];
    const int x = right ? textCell.right() + 1 - kCellInset - metrics.horizontalAdvance(caption)
                        : textCell.left() + kCellInset;
    painter->drawText(x, cell.top() + metrics.ascent(), caption);
    if (style == rsSum) {
      painter->setPen(QPen(Qt::black, 1, Qt::DotLine));
      painter->drawLine(cell.left(), cell.top(), cell.right(), cell.top());
    }
    painter->restore();
  }

 private:
  QTreeWidget* List;
};

// A row of five texts with its data value and style, not yet in a list.
QTreeWidgetItem* MakeRow(const QStringList& texts, int data, int style) {
  auto* item = new QTreeWidgetItem(texts);
  item->setData(0, kPreviewDataRole, data);
  item->setData(0, kRowStyleRole, style);
  for (int c = 0; c < kPreviewColumnCount; ++c) {
    item->setTextAlignment(c, (kRightAligned[c] ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
  }
  return item;
}

// A totals or summary row: the label in column 3, the value in column 4.
void AppendLabelRow(QTreeWidget* list, const std::string& label, const std::string& value,
                    int style) {
  list->addTopLevelItem(MakeRow(
      {QString(), QString(), QString(), Cp1251ToQString(label), Cp1251ToQString(value)}, 0, style));
}

// A number in the general format with the locale's decimal separator.
std::string LocaleGeneral(long double value) {
  return ReplaceAll(FloatToValueText(value), ".", LocaleDecimalSeparator());
}

// The entry of a run list, or the list's index error.
const std::string& Entry(const std::vector<std::string>* list, int index) {
  if (!list || index < 0 || static_cast<std::size_t>(index) >= list->size()) {
    RaiseListIndexError(index);
  }
  return (*list)[static_cast<std::size_t>(index)];
}

}  // namespace

TExecReportForm::TExecReportForm(QWidget* parent)
    // A window of its own size that can be maximized, with a close box and no Minimize.
    : QDialog(parent, Qt::Dialog | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      ControlPanel(new QWidget(this)),
      TitlePanel(new QWidget(this)),
      Bevel1(new QFrame(ControlPanel)),
      ScreenTitle(new QLabel(TitlePanel)),
      ScreenDesc(new THyperLinkView(TitlePanel)),
      BackBtn(new QPushButton(ControlPanel)),
      NextBtn(new QPushButton(ControlPanel)),
      CloseBtn(new QPushButton(ControlPanel)),
      Panel1(new QWidget(this)),
      PreviewList(new QTreeWidget(Panel1)),
      ExportMenu(new QMenu(this)),
      Image1(new QLabel(ControlPanel)),
      ActualTitleLbl(new QLabel(TitlePanel)),
      ActualLbl(new QLabel(TitlePanel)),
      Timer1(new QTimer(this)) {
  setObjectName("ExecReportForm");
  setFont(FormFont());
  resize(kDesignWidth, kDesignHeight);
  setSizeGripEnabled(false);
  KeepFromMinimizing(*this);

  TitlePanel->setObjectName("TitlePanel");
  TitlePanel->setAutoFillBackground(true);
  QPalette white = TitlePanel->palette();
  white.setColor(QPalette::Window, Qt::white);
  TitlePanel->setPalette(white);
  ControlPanel->setObjectName("ControlPanel");
  Panel1->setObjectName("Panel1");

  Bevel1->setObjectName("Bevel1");
  Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  ScreenTitle->setObjectName("ScreenTitle");
  QFont bold = FormFont();
  bold.setBold(true);
  ScreenTitle->setFont(bold);
  ScreenTitle->setTextFormat(Qt::PlainText);
  ScreenDesc->setObjectName("ScreenDesc");
  ScreenDesc->SetBorderStyle(THyperLinkView::bsNone);
  ScreenDesc->SetLinkColor(Qt::blue);
  ScreenDesc->SetLinkUnderline(true);
  ScreenDesc->SetLineHeight(DesignLineHeight(TDesignFace::Tahoma, 11));

  ActualTitleLbl->setObjectName("ActualTitleLbl");
  ActualTitleLbl->setAlignment(Qt::AlignRight | Qt::AlignTop);
  ActualTitleLbl->setStyleSheet("color: grey");
  ActualLbl->setObjectName("ActualLbl");
  ActualLbl->setAlignment(Qt::AlignRight | Qt::AlignTop);
  ActualLbl->setStyleSheet("color: red");
  Image1->setObjectName("Image1");
  Image1->setScaledContents(true);

  BackBtn->setObjectName("BackBtn");
  NextBtn->setObjectName("NextBtn");
  CloseBtn->setObjectName("CloseBtn");
  for (QPushButton* button : {BackBtn, NextBtn, CloseBtn}) button->setAutoDefault(false);
  NextBtn->setDefault(true);
  connect(BackBtn, &QPushButton::clicked, this, [this] { Guarded(FBackBtnClick); });
  connect(CloseBtn, &QPushButton::clicked, this, [this] { Guarded(FCloseBtnClick); });
  connect(NextBtn, &QPushButton::clicked, this, [this] { Guarded([this] { NextBtnClick(); }); });

  PreviewList->setObjectName("PreviewList");
  PreviewList->setColumnCount(kPreviewColumnCount);
  PreviewList->setRootIsDecorated(false);
  PreviewList->setIndentation(0);
  PreviewList->setUniformRowHeights(true);
  PreviewList->setSortingEnabled(false);
  PreviewList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  PreviewList->setSelectionBehavior(QAbstractItemView::SelectRows);
  PreviewList->setSelectionMode(QAbstractItemView::SingleSelection);
  PreviewList->setItemDelegate(new TPreviewRowDelegate(PreviewList));
  QHeaderView* header = PreviewList->header();
  header->setStretchLastSection(false);
  header->setSectionsClickable(true);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionResizeMode(1, QHeaderView::Stretch);
  for (int c = 0; c < kPreviewColumnCount; ++c) {
    if (kColumnWidths[c] > 0) PreviewList->setColumnWidth(c, kColumnWidths[c]);
    PreviewList->headerItem()->setTextAlignment(
        c, (kRightAligned[c] ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  }
  // A click on a column title repaints and does not re-sort.
  connect(header, &QHeaderView::sectionClicked, this, [this] { RepaintPreview(); });
  connect(header, &QHeaderView::sectionResized, this, [this] { RepaintPreview(); });

  ExportMenu->setObjectName("ExportMenu");
  connect(ExportMenu, &QMenu::triggered, this,
          [this](QAction* action) { Guarded([this, action] { ExportMenuItemClick(action); }); });

  Timer1->setObjectName("Timer1");
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });
  Timer1->start();

  AlignControls();
  CentreOnScreen(*this);
  FormCreate();
}

TExecReportForm::~TExecReportForm() = default;

void TExecReportForm::FormCreate() {
  OutputFileName.clear();
  SetActualLbl(CurrentShortDate());
  InitialHeight = height();
}

void TExecReportForm::SetActualLbl(const std::string& Caption) {
  ActualLbl->setText(Cp1251ToQString(Caption));
  AlignControls();
}
void TExecReportForm::SetActualTitleLbl(const std::string& Caption) {
  ActualTitleLbl->setText(Cp1251ToQString(Caption));
  AlignControls();
}
void TExecReportForm::SetCaption(const std::string& Caption) {
  setWindowTitle(Cp1251ToQString(Caption));
}
void TExecReportForm::SetBackBtnCaption(const std::string& Caption) {
  BackBtn->setText(Cp1251ToQString(Caption));
}
void TExecReportForm::SetNextBtnCaption(const std::string& Caption) {
  NextBtn->setText(Cp1251ToQString(Caption));
}
void TExecReportForm::SetCloseBtnCaption(const std::string& Caption) {
  CloseBtn->setText(Cp1251ToQString(Caption));
}
void TExecReportForm::SetScreenTitle(const std::string& Caption) {
  ScreenTitle->setText(Cp1251ToQString(Caption));
}
void TExecReportForm::SetScreenDesc(const std::string& HyperText) {
  ScreenDesc->SetHyperText(HyperText);
}
void TExecReportForm::SetReportText(int Index, const std::string& Text) {
  if (Index >= 0 && Index < kReportTextCount) ReportTexts[Index] = Text;
}
void TExecReportForm::SetColumnTitle(int Index, const std::string& Title) {
  if (Index < 0 || Index >= kPreviewColumnCount) return;
  const QString title = Cp1251ToQString(Title);
  PreviewList->headerItem()->setText(Index, title);
  // A column of its design width is never narrower than its title ("Количество" does not fit
  // the 50 pixels of the quantity column); the name column takes what the others leave.
  if (kColumnWidths[Index] > 0) {
    const int needed = PreviewList->header()->sectionSizeHint(Index);
    PreviewList->setColumnWidth(Index, std::max(kColumnWidths[Index], needed));
  }
}
void TExecReportForm::SetBackBtnClick(TNotifyEvent Handler) {
  FBackBtnClick = std::move(Handler);
}
void TExecReportForm::SetCloseBtnClick(TNotifyEvent Handler) {
  FCloseBtnClick = std::move(Handler);
}
void TExecReportForm::SetBackBtnEnabled(bool Enabled) {
  BackBtn->setEnabled(Enabled);
}
void TExecReportForm::SetModalResult(int ModalResult) {
  if (ModalResult != mrNone) done(ModalResult);
}

void TExecReportForm::ShowReport(TSpecTemplate* Template,
                                 const std::vector<std::string>* Quantities,
                                 const std::vector<std::string>* VariableValues) {
  this->Template = Template;
  this->Quantities = Quantities;
  this->VariableValues = VariableValues;
  BuildPreview();
  exec();
}

std::string TExecReportForm::GetVariableValue(const std::string& Name) const {
  const int index = Template ? Template->IndexOfVariable(Name) : -1;
  if (index < 0) return {};
  return Entry(VariableValues, index);
}

void TExecReportForm::BuildPreview() {
  PreviewList->clear();
  TSpecPriceList* priceList = Template->PriceList();

  // The products to list, by their own index: two products sharing a code are listed each
  // with its own quantity.
  std::vector<int> selected;
  for (int i = 0; i < priceList->ProductCount(); ++i) {
    if (TextToFloat(Entry(Quantities, i)) > 0) selected.push_back(i);
  }
  std::stable_sort(selected.begin(), selected.end(), [priceList](int a, int b) {
    return priceList->Products(a)->OrderingIndex < priceList->Products(b)->OrderingIndex;
  });

  long double sum = 0;
  long double sumWithTaxes = 0;
  std::vector<std::unique_ptr<QTreeWidgetItem>> productRows;
  for (int i : selected) {
    const TSpecProduct* product = priceList->Products(i);
    const long double q = TextToFloat(Entry(Quantities, i));
    productRows.emplace_back(
        MakeRow({Cp1251ToQString(product->Code), Cp1251ToQString(product->GetName()),
                 Cp1251ToQString(LocaleGeneral(q)), Cp1251ToQString(FormatFixed2(product->Price)),
                 Cp1251ToQString(FormatFixed2(product->Price * q))},
                product->OrderingIndex, rsProduct));
    sum += product->Price * q;
    sumWithTaxes += product->PriceWithTaxes * q;
  }
  // The rows stand in this order already; the sort keeps equal ordering indexes in place.
  std::stable_sort(productRows.begin(), productRows.end(), [](const auto& a, const auto& b) {
    return PreviewListCompare(a.get(), b.get()) < 0;
  });
  QList<QTreeWidgetItem*> rows;
  for (auto& row : productRows) rows.push_back(row.release());
  PreviewList->addTopLevelItems(rows);

  AppendLabelRow(PreviewList, ReportTexts[0], FormatFixed2(sum), rsSum);
  AppendLabelRow(PreviewList, ReportTexts[1], FormatFixed2(sumWithTaxes - sum), rsTotals);
  AppendLabelRow(PreviewList, ReportTexts[2], FormatFixed2(sumWithTaxes), rsTotals);
  AppendLabelRow(PreviewList, {}, {}, rsTotals);

  struct Summary {
    const char* Name;
    int Label;
    // The empty string constant counts as no value.
    bool SkipEmptyString;
  };
  static constexpr Summary kSummaries[] = {
      {"TotalUnits", 5, true},   {"Horizontals", 11, true}, {"Verticals", 12, true},
      {"TotalWeight", 3, false}, {"TotalVolume", 4, false}, {"TotalVolumeLitres", 10, false},
      {"TotalWidth", 6, false},  {"TotalHeight", 7, false}, {"TotalLength", 8, false},
  };
  for (const Summary& summary : kSummaries) {
    const std::string value = GetVariableValue(summary.Name);
    if (value.empty() || (summary.SkipEmptyString && value == "\"\"")) continue;
    AppendLabelRow(PreviewList, ReportTexts[summary.Label],
                   UnquoteString(TypeCast(value, vtString)), rsSummary);
  }
  AdjustHeight();
}

int TExecReportForm::PreviewListCompare(const QTreeWidgetItem* Item1,
                                        const QTreeWidgetItem* Item2) {
  const int a = Item1->data(0, kPreviewDataRole).toInt();
  const int b = Item2->data(0, kPreviewDataRole).toInt();
  return a < b ? -1 : a > b ? 1 : 0;
}

int TExecReportForm::ScreenHeight() const {
  const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
  return shown ? shown->geometry().height() : kDesignHeight + 100;
}

int TExecReportForm::FullyVisibleRows() const {
  const QHeaderView* header = PreviewList->header();
  const int headerHeight = header->isHidden() ? 0 : header->sizeHint().height();
  const int area = PreviewList->height() - 2 * PreviewList->frameWidth() - headerHeight;
  return RowHeight > 0 ? std::max(0, area / RowHeight) : 0;
}

void TExecReportForm::AdjustHeight() {
  RowHeight = 18;
  if (PreviewList->topLevelItemCount() > 0) {
    int measured = PreviewList->visualItemRect(PreviewList->topLevelItem(0)).height();
    if (measured <= 0) measured = PreviewList->sizeHintForRow(0);
    if (measured > 0) RowHeight = measured;
  }
  HeightAdjusted = true;
  // A maximized form keeps the window manager's size; restored, it has the size it had.
  if (SizedByWindowManager()) {
    AlignControls();
    return;
  }
  Adjusting = true;
  // Outer heights: the form's client height plus its frame.
  const int frame = FrameHeight;
  const int limit = ScreenHeight() - 100;
  int formHeight = InitialHeight + frame;
  resize(width(), formHeight - frame);
  AlignControls();
  while (FullyVisibleRows() < PreviewList->topLevelItemCount() && formHeight < limit) {
    formHeight += RowHeight;
    resize(width(), formHeight - frame);
    AlignControls();
  }
  if (formHeight > limit) formHeight = limit;
  if (InitialHeight + frame > formHeight) formHeight = InitialHeight + frame;
  resize(width(), formHeight - frame);
  AlignControls();
  move(pos().x(), (ScreenHeight() - formHeight) / 2);
  Adjusting = false;
}

bool TExecReportForm::SizedByWindowManager() const {
  return windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
}

void TExecReportForm::NoteFrame() {
  // Maximized, the form has the size and the frame the window manager gives it; it is fitted
  // again only to the frame of the form at its own size.
  if (!isVisible() || Adjusting || Restoring || SizedByWindowManager()) return;
  const int frame = frameGeometry().height() - height();
  if (frame == FrameHeight) return;
  FrameHeight = frame;
  if (HeightAdjusted) AdjustHeight();
}

void TExecReportForm::AlignControls() {
  const int w = width();
  const int h = height();
  TitlePanel->setGeometry(0, 0, w, kTitlePanelHeight);
  ControlPanel->setGeometry(0, h - kControlPanelHeight, w, kControlPanelHeight);
  const int listTop = kTitlePanelHeight;
  const int listHeight = std::max(0, h - kTitlePanelHeight - kControlPanelHeight);
  Panel1->setGeometry(0, listTop, w, listHeight);
  PreviewList->setGeometry(kPanel1Border, kPanel1Border, std::max(0, w - 2 * kPanel1Border),
                           std::max(0, listHeight - 2 * kPanel1Border));

  Place(ScreenTitle, {10, 8, 315, 13, false, true}, w);
  Place(ScreenDesc, {9, 25, 504, 35}, w);
  Place(ActualTitleLbl, {289, 8, 164, 13, true}, w);
  Place(ActualLbl, {448, 8, 68, 13, true}, w);
  PlaceCaptionAndValue(*ActualTitleLbl, ActualTitleLbl->geometry(), *ActualLbl,
                       ActualLbl->geometry());
  Bevel1->setGeometry(0, 0, w, 2);
  Place(Image1, {8, 10, 111, 35}, w);
  Place(BackBtn, {280, 14, 75, 25, true}, w);
  Place(NextBtn, {356, 14, 75, 25, true}, w);
  Place(CloseBtn, {438, 14, 75, 25, true}, w);
}

void TExecReportForm::NextBtnClick() {
  if (!OutputFileName.empty()) {
    ExportReport(0);
    return;
  }
  ExportMenu->clear();
  for (int i = 0; Template && i < Template->ReportCount(); ++i) {
    QAction* entry = ExportMenu->addAction(Cp1251ToQString(Template->Reports(i)->GetName()));
    entry->setData(i);
  }
  ExportMenu->popup(NextBtn->mapToGlobal(QPoint(0, NextBtn->height())));
}

void TExecReportForm::ExportMenuItemClick(QAction* Sender) {
  ExportReport(Sender->data().toInt());
}

void TExecReportForm::ExportReport(int Index) {
  if (ProcessForm) {
    ProcessForm->ShowProgress(ReportTexts[9]);
    PaintWindowNow(*ProcessForm);
  }
  struct HideProgressOnExit {
    ~HideProgressOnExit() {
      if (ProcessForm) ProcessForm->HideProgress();
    }
  } hideProgress;

  TSpecPriceList* priceList = Template->PriceList();
  for (int i = 0; i < priceList->ProductCount(); ++i) {
    priceList->Products(i)->Quantity = TextToFloat(Entry(Quantities, i));
  }
  TSpecReportExporter exporter(priceList, Template->Reports(Index));
  exporter.VariableValues = VariableValues;
  exporter.OutputFileName = OutputFileName;
  exporter.Export();
}

void TExecReportForm::Timer1Timer() {
  if (!isVisible()) return;
  bool changed = false;
  for (int c = 0; c < kPreviewColumnCount; ++c) {
    const int w = PreviewList->columnWidth(c);
    if (w != ColumnWidths[c]) {
      ColumnWidths[c] = w;
      changed = true;
    }
  }
  if (changed) RepaintPreview();
}

void TExecReportForm::RepaintPreview() {
  PreviewList->viewport()->repaint();
}

void TExecReportForm::Guarded(const TNotifyEvent& handler) {
  if (!handler) return;
  try {
    handler();
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError("Unknown error");
  }
}

void TExecReportForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (!SizedByWindowManager()) Restoring = false;
  AlignControls();
  RepaintPreview();
  NoteFrame();
}

void TExecReportForm::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  NoteFrame();
}

void TExecReportForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!SizedByWindowManager()) Restoring = false;
  NoteFrame();
}

void TExecReportForm::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  const auto* change = static_cast<QWindowStateChangeEvent*>(event);
  const auto wmSized = Qt::WindowMaximized | Qt::WindowFullScreen;
  // Until the restored size arrives, the size is still the window manager's.
  if ((change->oldState() & wmSized) && !SizedByWindowManager()) Restoring = true;
}

bool TExecReportForm::event(QEvent* event) {
  const bool handled = QDialog::event(event);
  if (event->type() == QEvent::WindowActivate) RepaintPreview();
  return handled;
}

void TExecReportForm::keyPressEvent(QKeyEvent* event) {
  // Escape is the Close button's.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    CloseBtn->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TExecReportForm::reject() {
  done(mrCancel);
}
