#include "app/schemeview.h"

#include <QCursor>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <exception>

#include "platform/cp1251_qt.h"
#include "platform/errors.h"
#include "platform/errorwindow.h"
#include "platform/fonts_qt.h"

namespace {

// The design faces ("Tahoma", "Arial", "MS Sans Serif") take their stand-ins at the pixel
// height Windows gives the size in points at 96 dpi (8 points: 11 pixels); other names keep
// their size in points at 96 dpi.
QFont FontFor(const std::string& Name, int32_t Size, bool Bold) {
  QFont Font;
  TDesignFace face;
  if (DesignFaceByName(Name, face)) {
    Font = DesignFont(face, std::max(1, (Size * 96 + 36) / 72));
  } else {
    Font.setFamily(QString::fromStdString(Name));
    Font.setPixelSize(std::max(1, Size * 96 / 72));
  }
  Font.setBold(Bold);
  return Font;
}

// The Qt rectangle whose outline covers Left..Right-1 and Top..Bottom-1; empty when the
// diagram's rectangle covers no pixel.
std::optional<QRect> OutlineRect(const TSchemeRect& Bounds) {
  if (Bounds.Right <= Bounds.Left || Bounds.Bottom <= Bounds.Top) return std::nullopt;
  return QRect(Bounds.Left, Bounds.Top, Bounds.Right - Bounds.Left - 1,
               Bounds.Bottom - Bounds.Top - 1);
}

QRect AreaRect(const TSchemeRect& Bounds) {
  return QRect(QPoint(Bounds.Left, Bounds.Top), QPoint(Bounds.Right - 1, Bounds.Bottom - 1));
}

Qt::MouseButton QtButton(TSchemeMouseButton Button) {
  switch (Button) {
    case TSchemeMouseButton::Left:
      return Qt::LeftButton;
    case TSchemeMouseButton::Right:
      return Qt::RightButton;
    case TSchemeMouseButton::Middle:
      return Qt::MiddleButton;
  }
  return Qt::NoButton;
}

std::optional<TSchemeMouseButton> SchemeButton(Qt::MouseButton Button) {
  for (TSchemeMouseButton Candidate :
       {TSchemeMouseButton::Left, TSchemeMouseButton::Right, TSchemeMouseButton::Middle})
    if (QtButton(Candidate) == Button) return Candidate;
  return std::nullopt;
}

}  // namespace

QColor SchemeColorToQColor(TSchemeColor Color) {
  return QColor(static_cast<int>(Color & 0xFF), static_cast<int>((Color >> 8) & 0xFF),
                static_cast<int>((Color >> 16) & 0xFF));
}

// ---------------------------------------------------------------------------------------------
// TSchemeImageCanvas

void TSchemeImageCanvas::End() {
  if (FPainter != nullptr) FPainter->end();
  FPainter.reset();
}

QPainter& TSchemeImageCanvas::Painter() {
  if (FPainter == nullptr) {
    FPainter = std::make_unique<QPainter>(FImage);
    FPainter->setRenderHint(QPainter::Antialiasing, false);
    FPainter->setRenderHint(QPainter::TextAntialiasing, true);
    if (FClip) FPainter->setClipRect(*FClip);
  }
  return *FPainter;
}

// A cosmetic one-pixel pen with a flat cap, so that a line leaves out its end pixel.
void TSchemeImageCanvas::ApplyPen(QPainter& Painter, bool WithBrush) {
  QPen Pen(SchemeColorToQColor(FPenColor));
  Pen.setWidth(0);
  Pen.setCosmetic(true);
  Pen.setCapStyle(Qt::FlatCap);
  Pen.setJoinStyle(Qt::MiterJoin);
  Pen.setStyle(FPenStyle == TSchemePenStyle::Dot ? Qt::DotLine : Qt::SolidLine);
  Painter.setPen(Pen);
  if (WithBrush && FBrushStyle == TSchemeBrushStyle::Solid)
    Painter.setBrush(SchemeColorToQColor(FBrushColor));
  else
    Painter.setBrush(Qt::NoBrush);
  Painter.setCompositionMode(FPenMode == TSchemePenMode::Xor
                                 ? QPainter::RasterOp_SourceXorDestination
                                 : QPainter::CompositionMode_SourceOver);
}

void TSchemeImageCanvas::SetFont(const std::string& Name, int32_t Size, bool Bold,
                                 TSchemeColor Color) {
  FFont = FontFor(Name, Size, Bold);
  FFontColor = Color;
}

void TSchemeImageCanvas::MoveTo(int32_t X, int32_t Y) {
  FPen = QPoint(X, Y);
}

void TSchemeImageCanvas::LineTo(int32_t X, int32_t Y) {
  const QPoint To(X, Y);
  if (To != FPen) {
    QPainter& P = Painter();
    ApplyPen(P, false);
    P.drawLine(FPen, To);
  }
  FPen = To;
}

void TSchemeImageCanvas::Rectangle(const TSchemeRect& Bounds) {
  const std::optional<QRect> Rect = OutlineRect(Bounds);
  if (!Rect) return;
  QPainter& P = Painter();
  ApplyPen(P, true);
  P.drawRect(*Rect);
}

void TSchemeImageCanvas::Ellipse(const TSchemeRect& Bounds) {
  const std::optional<QRect> Rect = OutlineRect(Bounds);
  if (!Rect) return;
  QPainter& P = Painter();
  ApplyPen(P, true);
  P.drawEllipse(*Rect);
}

void TSchemeImageCanvas::FillRect(const TSchemeRect& Bounds) {
  if (Bounds.Right <= Bounds.Left || Bounds.Bottom <= Bounds.Top) return;
  if (FBrushStyle != TSchemeBrushStyle::Solid) return;
  QPainter& P = Painter();
  P.setCompositionMode(QPainter::CompositionMode_SourceOver);
  P.fillRect(AreaRect(Bounds), SchemeColorToQColor(FBrushColor));
}

void TSchemeImageCanvas::TextRect(const TSchemeRect& Clip, int32_t X, int32_t Y,
                                  const std::string& Text) {
  if (Clip.Right <= Clip.Left || Clip.Bottom <= Clip.Top) return;
  FillRect(Clip);
  QPainter& P = Painter();
  P.save();
  P.setCompositionMode(QPainter::CompositionMode_SourceOver);
  P.setClipRect(AreaRect(Clip), FClip ? Qt::IntersectClip : Qt::ReplaceClip);
  P.setFont(FFont);
  P.setPen(SchemeColorToQColor(FFontColor));
  P.drawText(QPoint(X, Y + QFontMetrics(FFont).ascent()), Cp1251ToQString(Text));
  P.restore();
}

void TSchemeImageCanvas::SetPixel(int32_t X, int32_t Y, TSchemeColor Color) {
  if (FClip && !FClip->contains(X, Y)) return;
  if (!FImage->rect().contains(X, Y)) return;
  End();  // the painter must not hold the image while a pixel is written
  FImage->setPixelColor(X, Y, SchemeColorToQColor(Color));
}

TSchemeRect TSchemeImageCanvas::ClipRect() const {
  const QRect Area = FClip ? *FClip : FImage->rect();
  return {Area.left(), Area.top(), Area.right() + 1, Area.bottom() + 1};
}

void TSchemeImageCanvas::SetClipRegion(const TSchemeRect& Region) {
  FClip = AreaRect(Region).intersected(FImage->rect());
  if (FPainter != nullptr) FPainter->setClipRect(*FClip);
}

void TSchemeImageCanvas::RemoveClipRegion() {
  FClip.reset();
  if (FPainter != nullptr) FPainter->setClipping(false);
}

void TSchemeQtMenu::Popup(int32_t ScreenX, int32_t ScreenY) {
  if (FMenu != nullptr) FMenu->popup(QPoint(ScreenX, ScreenY));
}

// ---------------------------------------------------------------------------------------------
// TSchemeView

TSchemeView::TSchemeView(QWidget* Parent) : QWidget(Parent) {
  FScheme = std::make_unique<TScheme>(this);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

TSchemeView::~TSchemeView() {
  // The scheme's own teardown erases feedback and asks for repaints: nothing to draw on now.
  FScheme->SetHost(nullptr);
  FScheme.reset();
  FCanvas.End();
}

void TSchemeView::Repaint() {
  FDirty = true;
  update();
}

// Feedback drawn outside painting goes into the backing store as it is; a store that no
// longer fits the widget is redrawn whole by the next paint event, feedback included.
TSchemeCanvas* TSchemeView::Canvas() {
  if (FImage.isNull() || FImage.size() != size()) return nullptr;
  return &FCanvas;
}

void TSchemeView::SetCursor(TSchemeCursor Cursor) {
  switch (Cursor) {
    case TSchemeCursor::Default:
      setCursor(Qt::ArrowCursor);
      break;
    case TSchemeCursor::Move:
      setCursor(Qt::SizeAllCursor);
      break;
    case TSchemeCursor::Cross:
      setCursor(Qt::CrossCursor);
      break;
    case TSchemeCursor::Drag:
      setCursor(Qt::DragMoveCursor);
      break;
    case TSchemeCursor::NoDrop:
      setCursor(Qt::ForbiddenCursor);
      break;
  }
}

TSchemePoint TSchemeView::ClientToScreen(TSchemePoint Client) const {
  const QPoint Screen = mapToGlobal(QPoint(Client.X, Client.Y));
  return {Screen.x(), Screen.y()};
}

void TSchemeView::Refresh() {
  if (FImage.size() != size()) {
    FCanvas.End();
    FImage = size().isEmpty() ? QImage() : QImage(size(), QImage::Format_RGB32);
    if (!FImage.isNull()) FImage.fill(Qt::white);
    FDirty = true;
  }
  if (FDirty && !FImage.isNull() && !FScheme->UpdateLocked()) {
    FDirty = false;
    ++FDiagramPaints;
    FScheme->Paint(FCanvas);
  }
  FCanvas.End();
}

const QImage& TSchemeView::BackingStore() {
  Refresh();
  return FImage;
}

void TSchemeView::paintEvent(QPaintEvent* Event) {
  try {
    Refresh();
    QPainter Screen(this);
    if (!FImage.isNull()) Screen.drawImage(Event->rect(), FImage, Event->rect());
  } catch (const std::exception& Error) {
    ShowError(Error.what());
  } catch (...) {
    ShowError("Unknown error");
  }
}

void TSchemeView::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  FDirty = true;
}

template <class Action>
void TSchemeView::Forward(Action&& Do) {
  try {
    Do();
  } catch (const EAbort&) {
    // a refused link: nothing to report
  } catch (const std::exception& Error) {
    ShowError(Error.what());
  } catch (...) {
    ShowError("Unknown error");
  }
  // The feedback was drawn into the backing store: copy it to the screen.
  FCanvas.End();
  update();
}

void TSchemeView::mousePressEvent(QMouseEvent* Event) {
  const std::optional<TSchemeMouseButton> Button = SchemeButton(Event->button());
  if (!Button) return;
  const bool Shift = Event->modifiers().testFlag(Qt::ShiftModifier);
  const QPoint At = Event->position().toPoint();
  Forward([&] { FScheme->MouseDown(*Button, Shift, At.x(), At.y()); });
}

void TSchemeView::mouseMoveEvent(QMouseEvent* Event) {
  const bool Shift = Event->modifiers().testFlag(Qt::ShiftModifier);
  const QPoint At = Event->position().toPoint();
  Forward([&] { FScheme->MouseMove(Shift, At.x(), At.y()); });
}

void TSchemeView::mouseReleaseEvent(QMouseEvent* Event) {
  const std::optional<TSchemeMouseButton> Button = SchemeButton(Event->button());
  if (!Button) return;
  const bool Shift = Event->modifiers().testFlag(Qt::ShiftModifier);
  const QPoint At = Event->position().toPoint();
  Forward([&] { FScheme->MouseUp(*Button, Shift, At.x(), At.y()); });
}
