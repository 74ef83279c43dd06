#include "app/textres.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <utility>

#include "app/HyperLinkView.h"
#include "app/pictures.h"
#include "model/core.h"
#include "model/resource.h"
#include "platform/cp1251.h"
#include "platform/shell.h"

TTextResourceForm* TextResourceForm = nullptr;

namespace {

// The form as designed.
constexpr int kFormWidth = 340;
constexpr int kFormHeight = 285;
// "MS Sans Serif" of height -11 and "Arial" of height -13.
constexpr int kFormFontPixels = 11;
constexpr int kTextFontPixels = 13;
// TextView's place and designed size in the panel's client area.
constexpr int kTextLeft = 4;
constexpr int kTextTop = 5;
constexpr int kTextWidth = 330;
constexpr int kTextHeight = 63;
// The panel's single-line frame: its client area starts inside it.
constexpr int kFrameWidth = 1;
// Around a text: the frame, the view's place and the same margins on the far side; around a
// picture: the frame alone.
constexpr int kTextMargin = 10;
constexpr int kPictureMargin = 2 * kFrameWidth;
// PopupLinkClicked places the replacing content at this point of the link's view.
constexpr int kNestedOffset = -5;

}  // namespace

TTextResourceForm::TTextResourceForm(QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint) {
  setObjectName("TextResourceForm");
  setWindowTitle(kTextResourceCaption);
  QFont formFont("DejaVu Sans");
  formFont.setPixelSize(kFormFontPixels);
  setFont(formFont);
  resize(kFormWidth, kFormHeight);

  // clInfoBk: the platform's tooltip background.
  const QColor infoBackground = QApplication::palette().color(QPalette::ToolTipBase);

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);
  Panel1->setLineWidth(kFrameWidth);
  QPalette panelPalette = Panel1->palette();
  panelPalette.setColor(QPalette::Window, infoBackground);
  Panel1->setPalette(panelPalette);
  Panel1->setAutoFillBackground(true);
  Panel1->setGeometry(rect());
  Panel1->installEventFilter(this);

  TextView = new THyperLinkView(Panel1);
  TextView->setObjectName("TextView");
  TextView->setGeometry(kFrameWidth + kTextLeft, kFrameWidth + kTextTop, kTextWidth, kTextHeight);
  QFont textFont("Liberation Sans");
  textFont.setPixelSize(kTextFontPixels);
  TextView->setFont(textFont);
  QPalette textPalette = TextView->palette();
  textPalette.setColor(QPalette::Base, infoBackground);
  textPalette.setColor(QPalette::Window, infoBackground);
  TextView->setPalette(textPalette);
  TextView->SetBorderStyle(THyperLinkView::bsNone);
  TextView->SetLinkColor(Qt::blue);
  TextView->SetLinkUnderline(true);
  TextView->SetHyperText("TextView");

  ImageView = new QLabel(Panel1);
  ImageView->setObjectName("ImageView");
  ImageView->move(kFrameWidth, kFrameWidth);
  ImageView->installEventFilter(this);
  ImageView->hide();
}

TTextResourceForm::~TTextResourceForm() = default;

void TTextResourceForm::ShowText(std::int32_t X, std::int32_t Y, const std::string& HyperText) {
  ImageView->hide();
  TextView->show();
  TextView->SetHyperText(HyperText);
  TextView->AdjustHeight();
  ShowAt(X, Y, TextView->width() + kTextMargin, TextView->height() + kTextMargin);
  TextView->repaint();
}

void TTextResourceForm::ShowPicture(std::int32_t X, std::int32_t Y, const std::string& FileName) {
  const QImage picture = LoadPictureFile(FileName);
  if (picture.isNull()) return;
  ImageView->setPixmap(QPixmap::fromImage(picture));
  ImageView->resize(picture.size());
  TextView->hide();
  ImageView->show();
  ShowAt(X, Y, ImageView->width() + kPictureMargin, ImageView->height() + kPictureMargin);
  ImageView->repaint();
}

void TTextResourceForm::Panel1Click(QObject*) {
  hide();
}

void TTextResourceForm::FormDeactivate(QObject*) {
  hide();
}

void TTextResourceForm::FormKeyDown(QObject*, int Key) {
  if (Key == Qt::Key_Return || Key == Qt::Key_Enter || Key == Qt::Key_Escape) hide();
}

void TTextResourceForm::ShowAt(std::int32_t X, std::int32_t Y, int width, int height) {
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == this) owner = nullptr;
  if (parentWidget() != owner) {
    QObject::disconnect(OwnerDestroyed);
    setParent(owner, windowFlags());
    // The form outlives the dialogs it pops up over: it leaves a dialog that is destroyed
    // (a widget announces its destruction before it deletes its children).
    if (owner) {
      OwnerDestroyed =
          connect(owner, &QObject::destroyed, this, [this] { setParent(nullptr, windowFlags()); });
    }
  }
  setGeometry(X, Y, width, height);
  show();
  raise();
}

void TTextResourceForm::keyPressEvent(QKeyEvent* event) {
  FormKeyDown(this, event->key());
  event->accept();
}

void TTextResourceForm::closeEvent(QCloseEvent* event) {
  // A pop-up is closed by the window system when the user clicks outside it.
  FormDeactivate(this);
  event->accept();
}

void TTextResourceForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Panel1->setGeometry(rect());
}

bool TTextResourceForm::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == Panel1 || watched == ImageView) && event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const auto* widget = static_cast<QWidget*>(watched);
    if (mouse->button() == Qt::LeftButton && widget->rect().contains(mouse->position().toPoint())) {
      Panel1Click(watched);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

TExtractionPlan PlanExtraction(const TSpecTemplate& schemeTemplate, const TSpecResource& resource) {
  TSpecNameList names(true);
  resource.CollectLinkedNames(names);
  TExtractionPlan plan;
  for (const std::string& name : names.Names()) {
    const int index = schemeTemplate.IndexOfResource(name);
    if (index < 0) {
      plan.Complete = false;
      break;
    }
    plan.Resources.push_back(schemeTemplate.Resources(index));
  }
  return plan;
}

void ShowTemplateResource(const TSpecTemplate& schemeTemplate, std::int32_t X, std::int32_t Y,
                          const std::string& Name, const TLinkClicked& popupLinkClicked) {
  const int index = schemeTemplate.IndexOfResource(Name);
  if (index < 0) return;
  const TSpecResource* resource = schemeTemplate.Resources(index);
  const TExtractionPlan plan = PlanExtraction(schemeTemplate, *resource);
  for (const TSpecResource* dependency : plan.Resources) dependency->ExtractToTempFile();
  if (!plan.Complete) return;
  switch (resource->Kind) {
    case rkInformationalText:
      if (!TextResourceForm) return;
      TextResourceForm->TextView->OnHyperlinkClicked = popupLinkClicked;
      TextResourceForm->ShowText(X, Y, resource->AsText());
      WaitWhilePopupVisible();
      break;
    case rkPicture:
      if (!TextResourceForm) return;
      resource->ExtractToTempFile();
      TextResourceForm->ShowPicture(X, Y, resource->TempFileName());
      WaitWhilePopupVisible();
      break;
    case rkHtmlPage: {
      resource->ExtractToTempFile();
      // Opened as a file URL built from the path, so that "#", "?", "%" and blanks in the
      // name stay part of it. Without a private folder there is no file to name.
      const std::string path = resource->TempFileName();
      if (!path.empty()) ShellOpenFile(path);
      break;
    }
    case rkWebResource:
      ShellOpenUrl(Cp1251ToUtf8(resource->AsText()));
      break;
    default:
      break;
  }
}

QPoint PopupLinkPoint(THyperText* Sender) {
  auto* view = dynamic_cast<QWidget*>(Sender);
  if (!view) return {};
  return view->mapToGlobal(QPoint(kNestedOffset, kNestedOffset));
}

void WaitWhilePopupVisible() {
  while (TextResourceForm && TextResourceForm->isVisible()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}
