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
#include "platform/fonts_qt.h"
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
  // The form replays a closing press itself, on every platform alike.
  setAttribute(Qt::WA_NoMouseReplay);
  setWindowTitle(kTextResourceCaption);
  setFont(DesignFont(TDesignFace::MsSansSerif, kFormFontPixels));
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
  TextView->setFont(DesignFont(TDesignFace::Arial, kTextFontPixels));
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

void TTextResourceForm::mousePressEvent(QMouseEvent* event) {
  if (rect().contains(event->position().toPoint())) {
    QWidget::mousePressEvent(event);
    return;
  }
  // As the platform's pop-ups do: losing activation to a click elsewhere hides the form, and
  // the click acts there.
  event->accept();
  FormDeactivate(this);
  ReplayPress(*event);
}

void TTextResourceForm::ReplayPress(const QMouseEvent& press) {
  const QPointF global = press.globalPosition();
  QWidget* target = QApplication::widgetAt(global.toPoint());
  if (!target || target == this || isAncestorOf(target)) return;
  // Input goes only where the modal window allows it.
  const QWidget* modal = QApplication::activeModalWidget();
  if (modal && target->window() != modal && !modal->isAncestorOf(target)) return;
  ReplayTarget = target;
  qApp->installEventFilter(this);
  QMouseEvent replayed(QEvent::MouseButtonPress, target->mapFromGlobal(global),
                       target->window()->mapFromGlobal(global), global, press.button(),
                       press.buttons(), press.modifiers(), press.pointingDevice());
  const QEvent* outer = std::exchange(ReplayedPress, &replayed);
  QCoreApplication::sendEvent(target, &replayed);
  ReplayedPress = outer;
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
  // The release that ends a replayed press belongs to the widget that took the press. The
  // window system hands it to a window first, which may pass it to no widget at all (Qt drops
  // the release after a press that closed a pop-up) or to another one: it goes to the target
  // from there.
  if (event->type() == QEvent::MouseButtonRelease && ReplayTarget &&
      (watched->isWindowType() || watched->isWidgetType())) {
    QPointer<QWidget> target = ReplayTarget;
    ReplayTarget = nullptr;
    qApp->removeEventFilter(this);
    if (watched == target) return false;
    const auto* release = static_cast<QMouseEvent*>(event);
    const QPointF global = release->globalPosition();
    QMouseEvent forwarded(QEvent::MouseButtonRelease, target->mapFromGlobal(global),
                          target->window()->mapFromGlobal(global), global, release->button(),
                          release->buttons(), release->modifiers(), release->pointingDevice());
    QCoreApplication::sendEvent(target, &forwarded);
    return true;
  }
  if (event->type() == QEvent::MouseButtonPress && ReplayTarget && event != ReplayedPress &&
      (watched->isWindowType() || watched->isWidgetType())) {
    // A new press: the replayed one has ended without its release.
    ReplayTarget = nullptr;
    qApp->removeEventFilter(this);
  }
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
