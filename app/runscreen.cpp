#include "app/runscreen.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <exception>

#include "app/data.h"
#include "model/core.h"
#include "platform/cp1251_qt.h"
#include "platform/errors.h"
#include "platform/errorwindow.h"
#include "platform/filedialogs_qt.h"
#include "platform/fonts_qt.h"
#include "platform/windows_qt.h"

namespace {

constexpr int kClientWidth = 524;
constexpr int kClientHeight = 375;
constexpr int kTitlePanelHeight = 79;
constexpr int kControlPanelHeight = 52;
constexpr int kQuestionPanelHeight = 150;
// Heights of the single-line controls, as the platform's defaults for the form's font.
constexpr int kEditHeight = 21;
constexpr int kCheckHeight = 17;
constexpr int kCheckBoxWidth = 18;
constexpr int kRadioButtonWidth = 20;
// A typed text is stored as a string constant: quotes and backslashes doubled by escapes
// plus the two quotes must still fit a stream string of 65535 bytes.
constexpr int kMaxEditLength = (0xFFFF - 2) / 2;

// The designed boxes of the actualisation date and its caption on the title panel.
const QRect kActualLblBox(448, 8, 68, 13);
const QRect kActualTitleLblBox(289, 8, 164, 13);

const QColor kButtonFace(0xF0, 0xF0, 0xF0);
const QColor kGray(0x80, 0x80, 0x80);

// "Tahoma" of 8 points (height -11), with its 13-pixel lines.
QFont FormFont() {
  return DesignFont(TDesignFace::Tahoma, 11);
}

int FormLineHeight() {
  return DesignLineHeight(TDesignFace::Tahoma, 11);
}

void SetBackground(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  palette.setColor(QPalette::Text, colour);
  widget->setPalette(palette);
}

// A caption with doubled ampersands as the label shows it: "&&" is one "&"; a single "&"
// would mark an accelerator, which these labels do not show.
QString ShownCaption(const std::string& caption) {
  std::string shown;
  shown.reserve(caption.size());
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      shown += caption[i];
    } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
      shown += '&';
      ++i;
    }
  }
  return Cp1251ToQString(shown);
}

// The picture beside the buttons: the product's name over a blue band.
QPixmap ProductPicture() {
  QPixmap picture(111, 35);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient band(0, 0, 111, 0);
  band.setColorAt(0, QColor(0x1f, 0x4e, 0x8c));
  band.setColorAt(1, QColor(0x5b, 0x9b, 0xd5));
  painter.setBrush(band);
  painter.setPen(Qt::NoPen);
  painter.drawRoundedRect(QRectF(0.5, 4.5, 110, 26), 4, 4);
  QFont font("DejaVu Sans");
  font.setPixelSize(15);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(0, 4, 111, 27), Qt::AlignCenter, "Quorvane");
  return picture;
}

// Load: an opening folder.
QPixmap LoadGlyph() {
  QPixmap glyph(16, 16);
  glyph.fill(Qt::transparent);
  QPainter painter(&glyph);
  painter.setPen(QColor(0x80, 0x60, 0x00));
  painter.setBrush(QColor(0xF0, 0xC8, 0x40));
  painter.drawRect(1, 4, 12, 9);
  painter.drawRect(1, 3, 5, 1);
  QPainterPath flap;
  flap.moveTo(3, 7);
  flap.lineTo(15, 7);
  flap.lineTo(13, 13);
  flap.lineTo(1, 13);
  flap.closeSubpath();
  painter.setBrush(QColor(0xF8, 0xE0, 0x80));
  painter.drawPath(flap);
  return glyph;
}

// Save: a diskette.
QPixmap SaveGlyph() {
  QPixmap glyph(16, 16);
  glyph.fill(Qt::transparent);
  QPainter painter(&glyph);
  painter.setPen(QColor(0x10, 0x20, 0x50));
  painter.setBrush(QColor(0x30, 0x50, 0xA0));
  painter.drawRect(1, 1, 13, 13);
  painter.setBrush(Qt::white);
  painter.drawRect(4, 2, 7, 5);
  painter.setBrush(QColor(0xC0, 0xC0, 0xC0));
  painter.drawRect(4, 9, 7, 5);
  return glyph;
}

// A wheel over an input control without the focus is not the control's: the event goes on to
// the question area, which scrolls, so that scrolling a long screen changes no answer.
class TWheelOnlyWithFocus : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Wheel) {
      auto* control = qobject_cast<QWidget*>(watched);
      if (control && !control->hasFocus()) {
        event->ignore();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

class TFormRadioButton;

// The answers of an option question are one group on their panel, as in any desktop dialog:
// Tab stops only at the chosen answer (at the first while none is chosen), and an arrow key
// chooses the answer before (Up, Left) or after (Down, Right) the focused one and moves the
// focus with it.
class TOptionGroupKeys : public QObject {
 public:
  using QObject::QObject;

  // The group's answers, in the order they were made.
  static QList<TFormRadioButton*> Group(const QWidget* panel) {
    return panel->findChildren<TFormRadioButton*>(Qt::FindDirectChildrenOnly);
  }
  static void SetTabStop(const QWidget* panel);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

class TFormCheckBox : public QCheckBox, public IFormControl {
 public:
  explicit TFormCheckBox(QWidget* parent) : QCheckBox(parent) {}
  TFormControlKind Kind() const override { return TFormControlKind::CheckBox; }
  bool Checked() const override { return isChecked(); }
};

class TFormEdit : public QLineEdit, public IFormControl {
 public:
  explicit TFormEdit(QWidget* parent) : QLineEdit(parent) {}
  TFormControlKind Kind() const override { return TFormControlKind::Edit; }
  bool ReadOnly() const override { return isReadOnly(); }
  std::string Text() const override { return QStringToCp1251(text()); }
};

class TFormRadioButton : public QRadioButton, public IFormControl {
 public:
  TFormRadioButton(QWidget* parent, int tag) : QRadioButton(parent), FTag(tag) {}
  TFormControlKind Kind() const override { return TFormControlKind::RadioButton; }
  bool Checked() const override { return isChecked(); }
  int Tag() const override { return FTag; }

 private:
  int FTag;
};

void TOptionGroupKeys::SetTabStop(const QWidget* panel) {
  const QList<TFormRadioButton*> group = Group(panel);
  QRadioButton* stop = nullptr;
  for (TFormRadioButton* answer : group) {
    if (answer->isChecked()) stop = answer;
  }
  if (!stop && !group.isEmpty()) stop = group.front();
  bool focusInGroup = false;
  for (TFormRadioButton* answer : group) {
    focusInGroup = focusInGroup || answer->hasFocus();
    answer->setFocusPolicy(answer == stop ? Qt::StrongFocus : Qt::ClickFocus);
  }
  // A choice made with the mouse on the text of an answer takes the group's focus with it.
  if (focusInGroup && stop && !stop->hasFocus()) stop->setFocus(Qt::OtherFocusReason);
}

bool TOptionGroupKeys::eventFilter(QObject* watched, QEvent* event) {
  auto* answer = dynamic_cast<TFormRadioButton*>(watched);
  if (!answer || event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
  int step = 0;
  if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Left) step = -1;
  if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Right) step = 1;
  if (step == 0) return false;
  const QList<TFormRadioButton*> group = Group(answer->parentWidget());
  for (qsizetype i = group.indexOf(answer) + step; i >= 0 && i < group.size(); i += step) {
    TFormRadioButton* next = group[i];
    if (!next->isEnabled() || !next->isVisibleTo(answer->parentWidget())) continue;
    next->click();
    next->setFocus(step < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    break;
  }
  // At either end of the group the key does nothing.
  return true;
}

// The items keep the bytes they were added with: a title that Qt cannot show exactly still
// reads back as it was given.
class TFormComboBox : public QComboBox, public IFormControl {
 public:
  explicit TFormComboBox(QWidget* parent) : QComboBox(parent) {}
  TFormControlKind Kind() const override { return TFormControlKind::ComboBox; }
  void AddItem(const std::string& Text, int Data) override {
    Texts.push_back(Text);
    addItem(Cp1251ToQString(Text), Data);
  }
  int ItemCount() const override { return count(); }
  std::string ItemText(int Index) const override {
    return Inside(Index) ? Texts[static_cast<std::size_t>(Index)] : std::string();
  }
  int ItemData(int Index) const override { return Inside(Index) ? itemData(Index).toInt() : -1; }
  int ItemIndex() const override { return currentIndex(); }
  void SetItemIndex(int Index) override { setCurrentIndex(Inside(Index) ? Index : -1); }

 private:
  bool Inside(int index) const { return index >= 0 && index < count(); }
  std::vector<std::string> Texts;
};

}  // namespace

// --- Panels and labels ------------------------------------------------------------------------

TFormPanel::TFormPanel(TExecScreenForm* form, QWidget* parent) : QFrame(parent), Form(form) {
  setFrameShape(QFrame::NoFrame);
}

IFormControl* TFormPanel::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount()) return nullptr;
  return FControls[static_cast<std::size_t>(Index)];
}

void TFormPanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  if (event->size().height() == event->oldSize().height()) return;
  if (this == Form->TitlePanel()) {
    Form->LayOutForm();
  } else {
    Form->RestackQuestionPanels();
  }
}

TFormLabel::TFormLabel(QWidget* parent, bool autoSize) : QLabel(parent), AutoSize(autoSize) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
}

void TFormLabel::SetCaption(const std::string& Caption) {
  FCaption = Caption;
  setText(ShownCaption(Caption));
  if (AutoSize) {
    adjustSize();
    const int lines = static_cast<int>(text().count('\n')) + 1;
    if (height() < lines * LineHeight) resize(width(), lines * LineHeight);
  }
}

void TFormLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
  try {
    if (OnClick) {
      const auto handler = OnClick;
      handler(this);
    }
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

// --- The form ---------------------------------------------------------------------------------

TExecScreenForm::TExecScreenForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("ExecScreenForm");
  setModal(true);
  setFont(FormFont());
  SetBackground(this, kButtonFace);
  setFixedSize(kClientWidth, kClientHeight);

  ControlPanel = new QFrame(this);
  ControlPanel->setObjectName("ControlPanel");
  ControlPanel->setFrameShape(QFrame::NoFrame);

  FTitlePanel = new TFormPanel(this, this);
  FTitlePanel->setObjectName("TitlePanel");
  SetBackground(FTitlePanel, Qt::white);
  FTitlePanel->resize(kClientWidth, kTitlePanelHeight);

  Bevel1 = new QFrame(ControlPanel);
  Bevel1->setObjectName("Bevel1");
  Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  Bevel1->setGeometry(0, 0, kClientWidth, 2);

  ScreenTitle = new TFormLabel(FTitlePanel, false);
  ScreenTitle->setObjectName("ScreenTitle");
  QFont bold = FormFont();
  bold.setBold(true);
  ScreenTitle->setFont(bold);
  ScreenTitle->setGeometry(10, 8, 315, 13);
  FTitlePanel->AppendControl(ScreenTitle);

  ScreenDesc = new TFormDescription(FTitlePanel);
  ScreenDesc->setObjectName("ScreenDesc");
  ScreenDesc->SetBorderStyle(THyperLinkView::bsNone);
  ScreenDesc->setGeometry(9, 25, 504, 44);
  ScreenDesc->SetLinkColor(Qt::blue);
  ScreenDesc->SetLinkUnderline(true);
  ScreenDesc->SetLineHeight(FormLineHeight());
  {
    QPalette palette = ScreenDesc->palette();
    palette.setColor(QPalette::Base, Qt::white);
    ScreenDesc->setPalette(palette);
  }
  ScreenDesc->OnHyperlinkClicked = [this](THyperText* Sender, const std::string& aLinkId) {
    ScreenDescHyperlinkClicked(Sender, aLinkId);
  };
  FTitlePanel->AppendControl(ScreenDesc);

  ActualLbl = new TFormLabel(FTitlePanel, false);
  ActualLbl->setObjectName("ActualLbl");
  ActualLbl->setGeometry(kActualLblBox);
  ActualLbl->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  SetTextColour(ActualLbl, Qt::red);
  FTitlePanel->AppendControl(ActualLbl);

  QuestionsField = new QScrollArea(this);
  QuestionsField->setObjectName("QuestionsField");
  QuestionsField->setFrameShape(QFrame::NoFrame);
  // Only the answers on it take the focus.
  QuestionsField->setFocusPolicy(Qt::NoFocus);
  QuestionsField->setWidgetResizable(false);
  QuestionsField->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QuestionsField->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  auto* questionArea = new QWidget;
  questionArea->setObjectName("QuestionArea");
  QuestionsField->setWidget(questionArea);
  QuestionsField->viewport()->setAutoFillBackground(false);

  auto makeButton = [this](const char* name, int left) {
    auto* button = new QPushButton(name, ControlPanel);
    button->setObjectName(name);
    button->setGeometry(left, 14, 75, 25);
    return button;
  };
  BackBtn = makeButton("BackBtn", 280);
  NextBtn = makeButton("NextBtn", 356);
  NextBtn->setDefault(true);
  CloseBtn = makeButton("CloseBtn", 438);

  ActualTitleLbl = new TFormLabel(FTitlePanel, false);
  ActualTitleLbl->setObjectName("ActualTitleLbl");
  ActualTitleLbl->setGeometry(kActualTitleLblBox);
  ActualTitleLbl->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  SetTextColour(ActualTitleLbl, kGray);
  FTitlePanel->AppendControl(ActualTitleLbl);

  Image1 = new QLabel(ControlPanel);
  Image1->setObjectName("Image1");
  Image1->setGeometry(8, 10, 111, 35);
  Image1->setScaledContents(true);
  Image1->setPixmap(ProductPicture());

  auto makeSpeedButton = [this](const char* name, int left, const QPixmap& glyph) {
    auto* button = new QToolButton(ControlPanel);
    button->setObjectName(name);
    button->setGeometry(left, 14, 25, 25);
    button->setIcon(QIcon(glyph));
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
  };
  LoadBtn = makeSpeedButton("LoadBtn", 220, LoadGlyph());
  SaveBtn = makeSpeedButton("SaveBtn", 248, SaveGlyph());

  WheelGuard = new TWheelOnlyWithFocus(this);
  OptionKeys = new TOptionGroupKeys(this);
  KeepFromMinimizing(*this);

  // Each button runs the handler the engine bound last; a copy, since a handler may bind
  // another one while it runs.
  auto bind = [this](QAbstractButton* button, TNotifyEvent TExecScreenForm::*handler) {
    connect(button, &QAbstractButton::clicked, this, [this, handler] {
      const TNotifyEvent running = this->*handler;
      RunHandler(running);
    });
  };
  bind(BackBtn, &TExecScreenForm::BackBtnClick);
  bind(NextBtn, &TExecScreenForm::NextBtnClick);
  bind(CloseBtn, &TExecScreenForm::CloseBtnClick);
  bind(SaveBtn, &TExecScreenForm::SaveBtnClick);
  bind(LoadBtn, &TExecScreenForm::LoadBtnClick);

  LayOutForm();
  FormCreate(this);
  CentreOnScreen(*this);
}

TExecScreenForm::~TExecScreenForm() {
  FormDestroy(this);
}

namespace {

// The Load and Save dialogs.
class TFileDialog : public QFileDialog {
 public:
  TFileDialog(QWidget* owner, const char* name, const char* title) : QFileDialog(owner, title) {
    setObjectName(name);
    setOption(QFileDialog::DontUseNativeDialog);
    setNameFilters({kSavesFilter, kAllFilesFilter});
    setDefaultSuffix("qvs");
    // Neither dialog insists on an existing file.
    setFileMode(QFileDialog::AnyFile);
    KeepFileColumnsWhole(*this);
  }

 protected:
  // A name pattern in the file name field ("*.qvs") is a filter, never a file name: Return
  // lists the files of the folder that match it and the dialog stays open.
  void accept() override {
    QLineEdit* field = FileNameField();
    const QString typed = field ? field->text().trimmed() : QString();
    if (!typed.contains(QLatin1Char('*')) && !typed.contains(QLatin1Char('?'))) {
      QFileDialog::accept();
      return;
    }
    const QFileInfo pattern(QDir(directory()).absoluteFilePath(typed));
    if (pattern.dir().exists()) setDirectory(pattern.dir());
    if (auto* files = findChild<QFileSystemModel*>()) {
      files->setNameFilters(pattern.fileName().split(QLatin1Char(';'), Qt::SkipEmptyParts));
    }
    field->setText(pattern.fileName());
    field->selectAll();
  }

  // The completion list of the file name field is a window of its own, which Return on the
  // field leaves open: it closes with the dialog, so that nothing of the dialog stays over the
  // screen to take the next click.
  void done(int result) override {
    for (QCompleter* completer : findChildren<QCompleter*>()) {
      if (completer->popup()->isVisible()) completer->popup()->hide();
    }
    QFileDialog::done(result);
  }

  // The file name field opens with its text selected: typing replaces it.
  void showEvent(QShowEvent* event) override {
    QFileDialog::showEvent(event);
    if (QLineEdit* field = FileNameField()) field->selectAll();
  }

 private:
  QLineEdit* FileNameField() const { return findChild<QLineEdit*>("fileNameEdit"); }
};

}  // namespace

QFileDialog* TExecScreenForm::OpenDialog() {
  if (!OpenDlg) {
    OpenDlg = new TFileDialog(this, "OpenDlg", "Open...");
    OpenDlg->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDlg->selectFile(kOpenDialogFileName);
  }
  return OpenDlg;
}

QFileDialog* TExecScreenForm::SaveDialog() {
  if (!SaveDlg) {
    SaveDlg = new TFileDialog(this, "SaveDlg", "Save...");
    SaveDlg->setAcceptMode(QFileDialog::AcceptSave);
    SaveDlg->setOption(QFileDialog::DontConfirmOverwrite);
  }
  return SaveDlg;
}

void TExecScreenForm::FormCreate(QObject*) {
  MinHeight = height();
  ChromeHeight = height() - QuestionsField->height();
  QuestionPanels.clear();
  SetActualLbl(QStringToCp1251(QLocale().toString(QDate::currentDate(), QLocale::ShortFormat)));
}

void TExecScreenForm::FormDestroy(QObject*) {
  ClearQuestionPanels();
}

void TExecScreenForm::LayOutForm() {
  if (LayingOut) return;
  LayingOut = true;
  const int titleHeight = FTitlePanel->height();
  FTitlePanel->setGeometry(0, 0, width(), titleHeight);
  ControlPanel->setGeometry(0, height() - kControlPanelHeight, width(), kControlPanelHeight);
  QuestionsField->setGeometry(0, titleHeight, width(),
                              std::max(0, height() - titleHeight - kControlPanelHeight));
  LayingOut = false;
  RestackQuestionPanels();
}

void TExecScreenForm::RestackQuestionPanels() {
  if (Restacking) return;
  Restacking = true;
  int total = 0;
  for (const TFormPanel* panel : QuestionPanels) total += panel->height();
  // Worked out rather than read from the scroll area, which lays itself out only once shown.
  int width = QuestionsField->width();
  if (total > QuestionsField->height()) {
    width -= QuestionsField->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr,
                                                  QuestionsField->verticalScrollBar());
  }
  width = std::max(width, 0);
  int top = 0;
  for (TFormPanel* panel : QuestionPanels) {
    panel->setGeometry(0, top, width, panel->height());
    top += panel->height();
  }
  QuestionsField->widget()->resize(width, total);
  Restacking = false;
}

void TExecScreenForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayOutForm();
  NoteFrame();
}

void TExecScreenForm::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  NoteFrame();
}

void TExecScreenForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  NoteFrame();
}

void TExecScreenForm::NoteFrame() {
  if (!isVisible()) return;
  const int frame = frameGeometry().height() - height();
  if (frame == FrameHeight) return;
  FrameHeight = frame;
  if (HeightFitted) FitFormHeight();
}

// --- Texts and handlers -----------------------------------------------------------------------

void TExecScreenForm::SetActualLbl(const std::string& Caption) {
  ActualLbl->SetCaption(Caption);
  PlaceCaptionAndValue(*ActualTitleLbl, kActualTitleLblBox, *ActualLbl, kActualLblBox);
}

void TExecScreenForm::SetActualTitleLbl(const std::string& Caption) {
  ActualTitleLbl->SetCaption(Caption);
  PlaceCaptionAndValue(*ActualTitleLbl, kActualTitleLblBox, *ActualLbl, kActualLblBox);
}

void TExecScreenForm::SetBackBtnCaption(const std::string& Caption) {
  BackBtn->setText(Cp1251ToQString(Caption));
}

void TExecScreenForm::SetNextBtnCaption(const std::string& Caption) {
  NextBtn->setText(Cp1251ToQString(Caption));
}

void TExecScreenForm::SetCloseBtnCaption(const std::string& Caption) {
  CloseBtn->setText(Cp1251ToQString(Caption));
}

void TExecScreenForm::SetSaveBtnHint(const std::string& Hint) {
  SaveBtn->setToolTip(Cp1251ToQString(Hint));
}

void TExecScreenForm::SetLoadBtnHint(const std::string& Hint) {
  LoadBtn->setToolTip(Cp1251ToQString(Hint));
}

void TExecScreenForm::SetBackBtnClick(TNotifyEvent Handler) {
  BackBtnClick = std::move(Handler);
}

void TExecScreenForm::SetNextBtnClick(TNotifyEvent Handler) {
  NextBtnClick = std::move(Handler);
}

void TExecScreenForm::SetCloseBtnClick(TNotifyEvent Handler) {
  CloseBtnClick = std::move(Handler);
}

void TExecScreenForm::SetSaveBtnClick(TNotifyEvent Handler) {
  SaveBtnClick = std::move(Handler);
}

void TExecScreenForm::SetLoadBtnClick(TNotifyEvent Handler) {
  LoadBtnClick = std::move(Handler);
}

void TExecScreenForm::SetBackBtnEnabled(bool Enabled) {
  BackBtn->setEnabled(Enabled);
}

void TExecScreenForm::SetCaption(const std::string& Caption) {
  // A window caption takes no accelerators: the title as it stands.
  setWindowTitle(Cp1251ToQString(Caption));
}

void TExecScreenForm::SetScreenTitle(const std::string& Caption) {
  ScreenTitle->SetCaption(Caption);
}

void TExecScreenForm::SetScreenDesc(const std::string& HyperText) {
  ScreenDesc->SetHyperText(HyperText);
}

void TExecScreenForm::AdjustScreenDescHeight() {
  ScreenDesc->AdjustHeight();
}

void TExecScreenForm::RunHandler(const TNotifyEvent& handler) {
  if (!handler) return;
  try {
    handler();
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError("Unknown error");
  }
}

void TExecScreenForm::ScreenDescHyperlinkClicked(THyperText* Sender, const std::string& aLinkId) {
  auto* view = dynamic_cast<QWidget*>(Sender);
  if (!view) return;
  const QPoint at = view->mapToGlobal(QPoint(0, view->height()));
  if (ShowResourceAt) {
    const auto show = ShowResourceAt;
    show(at, aLinkId);
  } else if (DM) {
    DM->ShowResourceAt(at.x(), at.y(), aLinkId);
  }
}

void TExecScreenForm::QuestionLabelClick(TFormLabel* Sender) {
  if (!Sender || !Sender->Linked) return;
  if (auto* box = dynamic_cast<QCheckBox*>(Sender->Linked)) {
    box->setChecked(!box->isChecked());
  } else if (auto* radio = dynamic_cast<QRadioButton*>(Sender->Linked)) {
    radio->setChecked(true);
  }
}

// --- Question panels and widget operations ----------------------------------------------------

void TExecScreenForm::ClearQuestionPanels() {
  while (!QuestionPanels.empty()) {
    TFormPanel* panel = QuestionPanels.front();
    QuestionPanels.erase(QuestionPanels.begin());
    delete panel;
  }
  RestackQuestionPanels();
}

TFormPanel* TExecScreenForm::AddQuestionPanel() {
  auto* panel = new TFormPanel(this, QuestionsField->widget());
  panel->setFont(FormFont());
  SetBackground(panel, kButtonFace);
  panel->resize(QuestionsField->width(), kQuestionPanelHeight);
  QuestionPanels.push_back(panel);
  RestackQuestionPanels();
  panel->show();
  return panel;
}

TFormPanel* TExecScreenForm::QuestionPanel(int Index) {
  if (Index < 0 || Index >= QuestionPanelCount()) RaiseListIndexError(Index);
  return QuestionPanels[static_cast<std::size_t>(Index)];
}

TFormPanel* TExecScreenForm::PanelOf(IFormPanel* Parent) const {
  auto* panel = dynamic_cast<TFormPanel*>(Parent);
  if (!panel) throw Exception("The control's panel is not a panel of the screen form.");
  return panel;
}

int TExecScreenForm::AddQuestionLabel(IFormPanel* Parent, const std::string& Caption, int Left,
                                      int Top, IFormControl* Linked) {
  TFormPanel* panel = PanelOf(Parent);
  auto* label = new TFormLabel(panel, true);
  QFont bold = panel->font();
  bold.setBold(true);
  label->setFont(bold);
  SetTextColour(label, Qt::black);
  label->move(Left, Top);
  label->LineHeight = FormLineHeight();
  label->SetCaption(EscapeAmpersands(Caption));
  label->Linked = Linked;
  label->OnClick = [this](TFormLabel* Sender) { QuestionLabelClick(Sender); };
  label->show();
  panel->AppendControl(label);
  return label->height();
}

IFormControl* TExecScreenForm::AddCheckBox(IFormPanel* Parent, int Left, int Top, bool Checked) {
  TFormPanel* panel = PanelOf(Parent);
  auto* box = new TFormCheckBox(panel);
  box->setGeometry(Left, Top, kCheckBoxWidth, kCheckHeight);
  box->setChecked(Checked);
  box->show();
  panel->AppendControl(box);
  return box;
}

int TExecScreenForm::AddDescription(IFormPanel* Parent, const std::string& HyperText, int Left,
                                    int Top) {
  TFormPanel* panel = PanelOf(Parent);
  auto* view = new TFormDescription(panel);
  view->SetBorderStyle(THyperLinkView::bsNone);
  view->setFont(panel->font());
  view->SetLineHeight(FormLineHeight());
  QPalette palette = view->palette();
  palette.setColor(QPalette::Base, panel->palette().color(QPalette::Window));
  view->setPalette(palette);
  view->setGeometry(Left, Top, std::max(0, panel->width() - Left - 20), 0);
  view->OnHyperlinkClicked = [this](THyperText* Sender, const std::string& aLinkId) {
    ScreenDescHyperlinkClicked(Sender, aLinkId);
  };
  view->SetHyperText(HyperText);
  view->AdjustHeight();
  view->show();
  panel->AppendControl(view);
  return view->height();
}

IFormControl* TExecScreenForm::AddEdit(IFormPanel* Parent, int Left, int Top, int Width,
                                       const std::string& Text) {
  TFormPanel* panel = PanelOf(Parent);
  auto* edit = new TFormEdit(panel);
  edit->setGeometry(Left, Top, Width, kEditHeight);
  const QString text = Cp1251ToQString(Text);
  // A longer stored text is shown whole; it can only be shortened.
  edit->setMaxLength(std::max<int>(kMaxEditLength, static_cast<int>(text.size())));
  edit->setText(text);
  edit->setCursorPosition(0);
  edit->show();
  panel->AppendControl(edit);
  return edit;
}

IFormControl* TExecScreenForm::AddReadOnlyEdit(IFormPanel* Parent, int Left, int Top, int Width,
                                               const std::string& Text) {
  auto* edit = static_cast<TFormEdit*>(AddEdit(Parent, Left, Top, Width, Text));
  edit->setReadOnly(true);
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, PanelOf(Parent)->palette().color(QPalette::Window));
  edit->setPalette(palette);
  return edit;
}

IFormControl* TExecScreenForm::AddRadioButton(IFormPanel* Parent, int Tag, int Left, int Top,
                                              bool Checked) {
  TFormPanel* panel = PanelOf(Parent);
  // On its panel before it is checked: the radio buttons of one panel are one group.
  auto* radio = new TFormRadioButton(panel, Tag);
  radio->setGeometry(Left, Top, kRadioButtonWidth, kCheckHeight);
  radio->setChecked(Checked);
  radio->installEventFilter(OptionKeys);
  // The group's Tab stop follows its choice, however it is made.
  connect(radio, &QAbstractButton::toggled, panel,
          [panel] { TOptionGroupKeys::SetTabStop(panel); });
  TOptionGroupKeys::SetTabStop(panel);
  radio->show();
  panel->AppendControl(radio);
  return radio;
}

IFormControl* TExecScreenForm::AddComboBox(IFormPanel* Parent, int Left, int Top, int Width) {
  TFormPanel* panel = PanelOf(Parent);
  auto* combo = new TFormComboBox(panel);
  combo->setEditable(false);
  // The wheel changes the choice only with the focus, and does not give it.
  combo->setFocusPolicy(Qt::StrongFocus);
  combo->installEventFilter(WheelGuard);
  combo->setGeometry(Left, Top, Width, kEditHeight);
  combo->show();
  panel->AppendControl(combo);
  return combo;
}

void TExecScreenForm::FitPanelHeight(IFormPanel* Panel) {
  TFormPanel* panel = PanelOf(Panel);
  int bottom = 0;
  for (QObject* child : panel->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (!widget || widget->isWindow()) continue;
    bottom = std::max(bottom, widget->y() + widget->height());
  }
  panel->resize(panel->width(), bottom + 10);
  if (panel == FTitlePanel) {
    LayOutForm();
  } else {
    RestackQuestionPanels();
  }
}

void TExecScreenForm::FitFormHeight() {
  HeightFitted = true;
  int total = 0;
  for (const TFormPanel* panel : QuestionPanels) total += panel->height();
  // Outer heights: the frame is added to the client heights the form measures.
  int formHeight = ChromeHeight + total + FrameHeight;
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(0, 0, kClientWidth, kClientHeight);
  if (area.height() - 100 < formHeight) formHeight = area.height() - 100;
  // The minimum wins over the screen's bound.
  if (MinHeight + FrameHeight > formHeight) formHeight = MinHeight + FrameHeight;
  const int top = (area.height() - formHeight) / 2;
  setFixedSize(kClientWidth, formHeight - FrameHeight);
  LayOutForm();
  const int frameWidth = isVisible() ? frameGeometry().width() : width();
  move(area.left() + (area.width() - frameWidth) / 2, area.top() + top);
}

// --- Modal showing and dialogs ----------------------------------------------------------------

void TExecScreenForm::ArrangeTabOrder() {
  // Every answer that can take the focus is in the chain in panel order, also the answers of
  // an option group that Tab passes by, so that the group's stop stands in its place whichever
  // answer is chosen.
  std::vector<QWidget*> chain;
  for (TFormPanel* panel : QuestionPanels) {
    for (int i = 0; i < panel->ControlCount(); ++i) {
      auto* control = dynamic_cast<QWidget*>(panel->Controls(i));
      if (control && control->focusPolicy() != Qt::NoFocus) chain.push_back(control);
    }
  }
  const std::size_t answers = chain.size();
  chain.insert(chain.end(), {BackBtn, NextBtn, CloseBtn});
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) setTabOrder(chain[i], chain[i + 1]);
  for (std::size_t i = 0; i < answers; ++i) {
    if ((chain[i]->focusPolicy() & Qt::TabFocus) && chain[i]->isEnabled()) {
      chain[i]->setFocus(Qt::TabFocusReason);
      break;
    }
  }
}

int TExecScreenForm::ShowModal() {
  FModalResult = mrNone;
  ArrangeTabOrder();
  exec();
  return FModalResult;
}

void TExecScreenForm::SetModalResult(int ModalResult) {
  FModalResult = ModalResult;
  if (ModalResult != mrNone) done(ModalResult);
}

void TExecScreenForm::reject() {
  SetModalResult(mrCancel);
}

void TExecScreenForm::keyPressEvent(QKeyEvent* event) {
  // Escape clicks the cancel button, as a press of it would.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    CloseBtn->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TExecScreenForm::closeEvent(QCloseEvent* event) {
  // The close box ends a modal showing with mrCancel, whatever handlers are bound.
  event->accept();
  if (isVisible()) SetModalResult(mrCancel);
}

bool TExecScreenForm::ExecuteFileDialog(QFileDialog* dialog, std::string& FileName) {
  const int result = dialog->exec();
  // A window manager gives the keyboard back to the screen when its dialog goes; without one
  // it stays with no window until a click, unless the screen takes it.
  if (isVisible()) activateWindow();
  if (result != QDialog::Accepted) return false;
  const QStringList files = dialog->selectedFiles();
  if (files.isEmpty()) return false;
  FileName = QFile::encodeName(files.front()).toStdString();
  return true;
}

bool TExecScreenForm::ExecuteSaveDialog(std::string& FileName) {
  return ExecuteFileDialog(SaveDialog(), FileName);
}

bool TExecScreenForm::ExecuteOpenDialog(std::string& FileName) {
  return ExecuteFileDialog(OpenDialog(), FileName);
}
