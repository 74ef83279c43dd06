#pragma once

// The flow-graph diagram on screen: a canvas that carries out the diagram's drawing commands
// with QPainter on a QImage, and a widget that hosts a TScheme on such a backing store. The
// widget paints the diagram into the image only when the scheme asked for a repaint; drag
// feedback goes straight into the image, and the widget copies the image to the screen.

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "graph/visual.h"

class QMenu;

// A QColor of a diagram colour ($00BBGGRR).
QColor SchemeColorToQColor(TSchemeColor Color);

// Draws on a QImage as the diagram expects of its canvas: a line omits its end pixel, a
// rectangle or ellipse (L, T, R, B) covers L..R-1 and T..B-1, the XOR pen mode inverts the
// pen's bits in the image, texts are Windows-1251. One painter stays open on the image until
// End (before the image is read, resized or replaced).
class TSchemeImageCanvas : public TSchemeCanvas {
 public:
  explicit TSchemeImageCanvas(QImage* Image) : FImage(Image) {}
  ~TSchemeImageCanvas() override { End(); }
  TSchemeImageCanvas(const TSchemeImageCanvas&) = delete;
  TSchemeImageCanvas& operator=(const TSchemeImageCanvas&) = delete;

  void End();

  void Lock() override {}
  void Unlock() override {}
  TSchemeColor PenColor() const override { return FPenColor; }
  void SetPenColor(TSchemeColor Color) override { FPenColor = Color; }
  TSchemePenStyle PenStyle() const override { return FPenStyle; }
  void SetPenStyle(TSchemePenStyle Style) override { FPenStyle = Style; }
  TSchemePenMode PenMode() const override { return FPenMode; }
  void SetPenMode(TSchemePenMode Mode) override { FPenMode = Mode; }
  TSchemeColor BrushColor() const override { return FBrushColor; }
  void SetBrushColor(TSchemeColor Color) override { FBrushColor = Color; }
  TSchemeBrushStyle BrushStyle() const override { return FBrushStyle; }
  void SetBrushStyle(TSchemeBrushStyle Style) override { FBrushStyle = Style; }
  void SetFont(const std::string& Name, int32_t Size, bool Bold, TSchemeColor Color) override;

  void MoveTo(int32_t X, int32_t Y) override;
  void LineTo(int32_t X, int32_t Y) override;
  void Rectangle(const TSchemeRect& Bounds) override;
  void Ellipse(const TSchemeRect& Bounds) override;
  void FillRect(const TSchemeRect& Bounds) override;
  void TextRect(const TSchemeRect& Clip, int32_t X, int32_t Y, const std::string& Text) override;
  void SetPixel(int32_t X, int32_t Y, TSchemeColor Color) override;

  TSchemeRect ClipRect() const override;
  void SetClipRegion(const TSchemeRect& Region) override;
  void RemoveClipRegion() override;

 private:
  // The open painter with the pen, brush and mode of the canvas.
  QPainter& Painter();
  void ApplyPen(QPainter& Painter, bool WithBrush);

  QImage* FImage;
  std::unique_ptr<QPainter> FPainter;
  TSchemeColor FPenColor = 0;
  TSchemePenStyle FPenStyle = TSchemePenStyle::Solid;
  TSchemePenMode FPenMode = TSchemePenMode::Copy;
  TSchemeColor FBrushColor = 0xFFFFFF;
  TSchemeBrushStyle FBrushStyle = TSchemeBrushStyle::Solid;
  QFont FFont;
  TSchemeColor FFontColor = 0;
  std::optional<QRect> FClip;
  QPoint FPen{0, 0};
};

// A pop-up menu of Qt for the diagram's ContextMenu.
class TSchemeQtMenu : public TSchemePopupMenu {
 public:
  explicit TSchemeQtMenu(QMenu* Menu) : FMenu(Menu) {}
  void Popup(int32_t ScreenX, int32_t ScreenY) override;

 private:
  QMenu* FMenu;
};

// A widget that shows and edits a scheme of its own. Mouse presses, moves and releases go to
// the scheme with their button and the Shift key; errors raised on the way are shown in the
// error window and never leave the event handler.
class TSchemeView : public QWidget, public TSchemeHost {
 public:
  explicit TSchemeView(QWidget* Parent = nullptr);
  ~TSchemeView() override;

  TScheme& Scheme() { return *FScheme; }
  // The backing store as last drawn (the diagram and any feedback on it).
  const QImage& BackingStore();
  // How often the diagram was drawn into the backing store.
  int DiagramPaints() const { return FDiagramPaints; }

  void Repaint() override;
  int32_t Width() const override { return width(); }
  int32_t Height() const override { return height(); }
  TSchemeCanvas* Canvas() override;
  void SetCursor(TSchemeCursor Cursor) override;
  TSchemePoint ClientToScreen(TSchemePoint Client) const override;

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  // Sizes the image to the widget and draws the diagram into it when a repaint is due.
  void Refresh();
  template <class Action>
  void Forward(Action&& Do);

  QImage FImage;
  TSchemeImageCanvas FCanvas{&FImage};
  bool FDirty = true;
  int FDiagramPaints = 0;
  std::unique_ptr<TScheme> FScheme;
};
