// The diagram's painting: colours, the Draw of links, points and the base element, the view
// metrics, and Paint with its grid, border and scroll bars.

#include "graph/visual.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "graph/visual_impl.h"

using namespace visual_impl;

// ---------------------------------------------------------------------------------------------
// Colours and drawing

namespace {

// The classic defaults of the platform's system colours, by index, as $BBGGRR.
constexpr TSchemeColor kSystemColors[] = {
    0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xD77800, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xFF9933, 0xF0F0F0};

// A colour whose top byte is $FF or $80 names a system colour by its low byte.
TSchemeColor ColorToRGB(TSchemeColor Color) {
  const uint32_t Top = Color >> 24;
  if (Top == 0xFF || Top == 0x80) {
    const uint32_t Index = Color & 0xFF;
    return Index < std::size(kSystemColors) ? kSystemColors[Index] : 0;
  }
  return Color & 0xFFFFFF;
}

}  // namespace

int32_t ClampInt(int32_t Low, int32_t High, int32_t Value) {
  return std::max(Low, std::min(High, Value));
}

TSchemeColor ScaleColor(TSchemeColor Color, double Factor) {
  const TSchemeColor Rgb = ColorToRGB(Color);
  const auto Channel = [Factor](TSchemeColor Value) {
    return static_cast<TSchemeColor>(
        ClampInt(0, 255, RoundToInt32(static_cast<long double>(Value & 0xFF) * Factor)));
  };
  return Channel(Rgb) + 256 * Channel(Rgb >> 8) + 65536 * Channel(Rgb >> 16);
}

void TSchemeLink::Draw(TSchemeCanvas& Canvas) const {
  if (FSource == nullptr || FTarget == nullptr) return;
  Canvas.SetPenStyle(TSchemePenStyle::Solid);
  Canvas.SetPenColor(FSelected ? clSchemeRed : clSchemeBlack);
  const int32_t Sx = Offset(FSource->AbsoluteX(), FScheme->ScrollX());
  const int32_t Sy = Offset(FSource->AbsoluteY(), FScheme->ScrollY());
  const int32_t Tx = Offset(FTarget->AbsoluteX(), FScheme->ScrollX());
  const int32_t Ty = Offset(FTarget->AbsoluteY(), FScheme->ScrollY());
  Canvas.MoveTo(Sx, Sy);
  Canvas.LineTo(Tx, Ty);
  const long double Theta = VectorAngle(Sx, Sy, Tx, Ty);
  for (const long double Phi : {Theta + kPi + kPi / 6, Theta + kPi - kPi / 6}) {
    Canvas.MoveTo(RoundToInt32(Tx + 10 * std::cos(Phi)), RoundToInt32(Ty + 10 * std::sin(Phi)));
    Canvas.LineTo(Tx, Ty);
  }
}

void TSchemeConnectionPoint::Draw(TSchemeCanvas& Canvas) const {
  const TScheme* Scheme = GetScheme();
  Canvas.SetPenStyle(TSchemePenStyle::Solid);
  Canvas.SetPenColor(FMulti ? clSchemeBlue : clSchemeRed);
  const int32_t Bx = Offset(BoxLeft(), Scheme->ScrollX());
  const int32_t By = Offset(BoxTop(), Scheme->ScrollY());
  Canvas.MoveTo(Bx, By);
  Canvas.LineTo(Offset(Bx, -5), Offset(By, -5));
  Canvas.MoveTo(Offset(Bx, -4), By);
  Canvas.LineTo(Offset(Bx, 1), Offset(By, -5));
}

void TSchemeElement::Draw(TSchemeCanvas& Canvas) {
  Canvas.SetPenStyle(TSchemePenStyle::Solid);
  Canvas.SetPenColor(clSchemeBlack);
  Canvas.SetBrushStyle(TSchemeBrushStyle::Solid);
  Canvas.SetBrushColor(FSelected ? clSchemeLightGreen : clSchemeLightGray);
  const int32_t L = Offset(FLeft, FScheme->ScrollX());
  const int32_t T = Offset(FTop, FScheme->ScrollY());
  Canvas.Rectangle({L, T, Wrap32(int64_t{L} + FWidth), Wrap32(int64_t{T} + FHeight)});
}

int32_t TScheme::ClientWidth() const {
  return FHost != nullptr ? FHost->Width() : 0;
}

int32_t TScheme::ClientHeight() const {
  return FHost != nullptr ? FHost->Height() : 0;
}

int32_t TScheme::ViewWidth() const {
  return Wrap32(int64_t{ClientWidth()} - 16);
}

int32_t TScheme::ViewHeight() const {
  return Wrap32(int64_t{ClientHeight()} - 16);
}

int32_t TScheme::DiagramMinLeft() const {
  int32_t Result = 0;
  for (const auto& Element : FElements) Result = std::min(Result, Element->Left());
  return Result;
}

int32_t TScheme::DiagramMaxRight() const {
  int32_t Result = ViewWidth();
  for (const auto& Element : FElements)
    Result = std::max(Result, Wrap32(int64_t{Element->Left()} + Element->Width()));
  return Result;
}

int32_t TScheme::DiagramMinTop() const {
  int32_t Result = 0;
  for (const auto& Element : FElements) Result = std::min(Result, Element->Top());
  return Result;
}

int32_t TScheme::DiagramMaxBottom() const {
  int32_t Result = ViewHeight();
  for (const auto& Element : FElements)
    Result = std::max(Result, Wrap32(int64_t{Element->Top()} + Element->Height()));
  return Result;
}

void TScheme::Paint() {
  if (FHost == nullptr || FHost->Canvas() == nullptr) return;
  Paint(*FHost->Canvas());
}

void TScheme::Paint(TSchemeCanvas& Canvas) {
  if (FUpdateLocked) return;
  Canvas.Lock();
  Canvas.SetClipRegion(ViewArea());
  Canvas.SetBrushStyle(TSchemeBrushStyle::Solid);
  Canvas.SetBrushColor(clSchemeWhite);
  Canvas.FillRect(Canvas.ClipRect());
  if (ShowGrid) DrawGrid(Canvas);
  for (const auto& Element : FElements) Element->Draw(Canvas);
  for (const TSchemeConnectionPoint* Point : FPoints) Point->Draw(Canvas);
  for (const auto& Link : FLinks) Link->Draw(Canvas);
  FMoveInfo->Draw(Canvas);
  FMarquee->Draw(Canvas);
  Canvas.RemoveClipRegion();
  DrawBorder(Canvas);
  DrawScrollBars(Canvas);
  Canvas.Unlock();
}

TSchemeRect TScheme::ViewArea() const {
  return {ViewLeft(), ViewTop(), Wrap32(int64_t{ViewLeft()} + ViewWidth()),
          Wrap32(int64_t{ViewTop()} + ViewHeight())};
}

// Feedback drawn outside Paint is clipped to the view area as Paint clips it: a figure drawn
// before a repaint is then erased pixel for pixel by the same figure drawn after it, and no XOR
// trace is left on the border or the scroll bars, which Paint draws without the figure.
void TScheme::DrawMoveInfo() {
  TSchemeCanvas* Canvas = FHost != nullptr ? FHost->Canvas() : nullptr;
  if (FMoveInfo == nullptr || Canvas == nullptr) return;
  Canvas->SetClipRegion(ViewArea());
  FMoveInfo->Draw(*Canvas);
  Canvas->RemoveClipRegion();
}

void TScheme::DrawMarquee() {
  TSchemeCanvas* Canvas = FHost != nullptr ? FHost->Canvas() : nullptr;
  if (FMarquee == nullptr || Canvas == nullptr) return;
  Canvas->SetClipRegion(ViewArea());
  FMarquee->Draw(*Canvas);
  Canvas->RemoveClipRegion();
}

// A silver pixel wherever both diagram coordinates lie on the grid, over the view area.
void TScheme::DrawGrid(TSchemeCanvas& Canvas) {
  const int64_t X1 = 2, Y1 = 2, X2 = int64_t{ClientWidth()} - 14, Y2 = int64_t{ClientHeight()} - 14;
  const int64_t X0 = -(FScrollX % FGridX);
  const int64_t Y0 = -(FScrollY % FGridY);
  for (int64_t Y = Y0; Y <= Y2; Y += FGridY) {
    if (Y < Y1) continue;
    for (int64_t X = X0; X <= X2; X += FGridX)
      if (X >= X1)
        Canvas.SetPixel(static_cast<int32_t>(X), static_cast<int32_t>(Y), clSchemeSilver);
  }
}

// A sunken frame: grey and black on the top and left, white and silver on the bottom and right.
void TScheme::DrawBorder(TSchemeCanvas& Canvas) {
  const int32_t W = ClientWidth(), H = ClientHeight();
  Canvas.SetPenStyle(TSchemePenStyle::Solid);
  Canvas.SetPenColor(clSchemeGray);
  Canvas.MoveTo(0, H - 1);
  Canvas.LineTo(0, 0);
  Canvas.LineTo(W - 1, 0);
  Canvas.SetPenColor(clSchemeWhite);
  Canvas.LineTo(W - 1, H - 1);
  Canvas.LineTo(-1, H - 1);
  Canvas.SetPenColor(clSchemeBlack);
  Canvas.MoveTo(1, H - 2);
  Canvas.LineTo(1, 1);
  Canvas.LineTo(W - 2, 1);
  Canvas.SetPenColor(clSchemeSilver);
  Canvas.LineTo(W - 2, H - 2);
  Canvas.LineTo(1, H - 2);
}

namespace {

// The thumb's offset and length on a track of Length pixels for a view of View units at
// Position within the extent [Min, Max]; false when the extent is empty. The products can
// pass 32 bits (and, for a control of absurd size, 64).
bool ThumbSpan(int64_t View, int64_t Position, int64_t Min, int64_t Max, int64_t Length,
               int64_t& Start, int64_t& Size) {
  const int64_t Extent = Max - Min;
  if (Extent == 0) return false;
  using Wide = __int128;
  Size = static_cast<int64_t>(Wide{View} * Length / Extent);
  Start = static_cast<int64_t>(Wide{Position - Min} * Length / Extent);
  if (Start < 0) Start = 0;
  if (Start + Size > Length) Start = Length - Size;
  return true;
}

int32_t Clamp32(int64_t Value) {
  return static_cast<int32_t>(std::clamp<int64_t>(Value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

void TScheme::DrawScrollBars(TSchemeCanvas& Canvas) {
  const int32_t W = ClientWidth(), H = ClientHeight();
  Canvas.SetBrushStyle(TSchemeBrushStyle::Solid);
  int64_t Start = 0, Size = 0;

  Canvas.SetBrushColor(clSchemeGray);
  Canvas.FillRect({2, H - 14, W - 14, H - 2});
  Canvas.SetBrushColor(clSchemeWhite);
  Canvas.FillRect({4, H - 12, W - 16, H - 4});
  if (ThumbSpan(ViewWidth(), FScrollX, DiagramMinLeft(), DiagramMaxRight(), int64_t{W} - 22, Start,
                Size)) {
    Canvas.SetBrushColor(clSchemeGray);
    Canvas.FillRect({Clamp32(5 + Start), H - 11, Clamp32(5 + Start + Size), H - 5});
  }

  Canvas.SetBrushColor(clSchemeGray);
  Canvas.FillRect({W - 14, 2, W - 2, H - 14});
  Canvas.SetBrushColor(clSchemeWhite);
  Canvas.FillRect({W - 12, 4, W - 4, H - 16});
  if (ThumbSpan(ViewHeight(), FScrollY, DiagramMinTop(), DiagramMaxBottom(), int64_t{H} - 22, Start,
                Size)) {
    Canvas.SetBrushColor(clSchemeGray);
    Canvas.FillRect({W - 11, Clamp32(5 + Start), W - 5, Clamp32(5 + Start + Size)});
  }

  Canvas.SetBrushColor(clSchemeGray);
  Canvas.FillRect({W - 14, H - 14, W - 2, H - 2});
}
