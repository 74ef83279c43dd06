// The diagram's mouse editing: the XOR drag feedback (moving frame, rubber-band line and
// marquee), the pick rules, the mouse handlers and the steps of the drags.

#include "graph/visual.h"

#include "graph/visual_impl.h"

using namespace visual_impl;

namespace {

// Keeps the pen's style and mode across the drawing of a feedback figure, which uses a dotted
// silver XOR pen and no brush.
class TFeedbackPen {
 public:
  explicit TFeedbackPen(TSchemeCanvas& Canvas)
      : FCanvas(Canvas), FStyle(Canvas.PenStyle()), FMode(Canvas.PenMode()) {
    Canvas.SetBrushStyle(TSchemeBrushStyle::Clear);
    Canvas.SetPenColor(clSchemeSilver);
    Canvas.SetPenStyle(TSchemePenStyle::Dot);
    Canvas.SetPenMode(TSchemePenMode::Xor);
  }
  ~TFeedbackPen() {
    FCanvas.SetPenStyle(FStyle);
    FCanvas.SetPenMode(FMode);
  }
  TFeedbackPen(const TFeedbackPen&) = delete;
  TFeedbackPen& operator=(const TFeedbackPen&) = delete;

 private:
  TSchemeCanvas& FCanvas;
  TSchemePenStyle FStyle;
  TSchemePenMode FMode;
};

// The outline through two corners as four lines, corner to corner and back.
void DrawOutline(TSchemeCanvas& Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  Canvas.MoveTo(X1, Y1);
  Canvas.LineTo(X2, Y1);
  Canvas.LineTo(X2, Y2);
  Canvas.LineTo(X1, Y2);
  Canvas.LineTo(X1, Y1);
}

// Handlers of the events that a relink sends may delete either end of the link to be made, or
// the new link itself: each is looked up in the scheme before it is used.
bool IsRegistered(const TScheme& Scheme, const TSchemeConnectionPoint* Point) {
  return Scheme.IndexOfPoint(Point) >= 0;
}

// Links two points that are still registered once the source is free (a remove handler may
// have linked it again), and selects the new link unless an add handler deleted it.
void LinkAndSelect(TScheme& Scheme, TSchemeConnectionPoint* Source,
                   TSchemeConnectionPoint* Target) {
  if (!IsRegistered(Scheme, Source) || !IsRegistered(Scheme, Target)) return;
  if (Source->Link() != nullptr) Source->DeleteLinks();
  if (!IsRegistered(Scheme, Source) || !IsRegistered(Scheme, Target)) return;
  if (Source->Link() != nullptr) return;
  TSchemeLink* Link = Scheme.AddLink(Source, Target);
  if (Scheme.IndexOfLink(Link) >= 0) Scheme.Selection().Select(Link);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Editing: drag feedback

TSchemeMoveInfo::~TSchemeMoveInfo() {
  int32_t X = 0, Y = 0;
  if (FState == msFrame) EndFrame(X, Y);
  if (FState == msLine) EndLine(X, Y);
}

void TSchemeMoveInfo::BeginFrame(int32_t X, int32_t Y, int32_t FrameLeft, int32_t FrameTop,
                                 int32_t FrameWidth, int32_t FrameHeight) {
  if (FState != msIdle) return;
  FState = msFrame;
  FFrameWidth = FrameWidth;
  FFrameHeight = FrameHeight;
  FOffsetX = Wrap32(int64_t{X} - FrameLeft);
  FOffsetY = Wrap32(int64_t{Y} - FrameTop);
  FCurX = X;
  FCurY = Y;
  FScheme->DrawMoveInfo();
}

void TSchemeMoveInfo::BeginLine(int32_t X, int32_t Y, int32_t FixedX, int32_t FixedY) {
  if (FState != msIdle) return;
  FState = msLine;
  FOffsetX = FixedX;
  FOffsetY = FixedY;
  FCurX = X;
  FCurY = Y;
  FScheme->DrawMoveInfo();
}

void TSchemeMoveInfo::Track(int32_t X, int32_t Y) {
  if (FState == msIdle) return;
  if (FState == msFrame) {
    const int64_t GridX = FScheme->GridX(), GridY = FScheme->GridY();
    X = Wrap32((int64_t{X} - FOffsetX) / GridX * GridX + FOffsetX);
    Y = Wrap32((int64_t{Y} - FOffsetY) / GridY * GridY + FOffsetY);
  }
  if (X == FCurX && Y == FCurY) return;
  FScheme->DrawMoveInfo();
  FCurX = X;
  FCurY = Y;
  FScheme->DrawMoveInfo();
}

void TSchemeMoveInfo::EndFrame(int32_t& Left, int32_t& Top) {
  Left = -1;
  Top = -1;
  if (FState != msFrame) return;
  Left = Wrap32(int64_t{FCurX} - FOffsetX);
  Top = Wrap32(int64_t{FCurY} - FOffsetY);
  FScheme->DrawMoveInfo();
  FState = msIdle;
  FOffsetX = FOffsetY = FCurX = FCurY = FFrameWidth = FFrameHeight = -1;
}

void TSchemeMoveInfo::EndLine(int32_t& X, int32_t& Y) {
  X = -1;
  Y = -1;
  if (FState != msLine) return;
  FScheme->DrawMoveInfo();
  X = FCurX;
  Y = FCurY;
  FState = msIdle;
  FOffsetX = FOffsetY = FCurX = FCurY = FFrameWidth = FFrameHeight = -1;
}

void TSchemeMoveInfo::Draw(TSchemeCanvas& Canvas) const {
  if (FState == msIdle) return;
  TFeedbackPen Pen(Canvas);
  const int32_t Sx = FScheme->ScrollX(), Sy = FScheme->ScrollY();
  if (FState == msLine) {
    Canvas.MoveTo(Offset(FOffsetX, Sx), Offset(FOffsetY, Sy));
    Canvas.LineTo(Offset(FCurX, Sx), Offset(FCurY, Sy));
    return;
  }
  const int32_t Left = Offset(Offset(FCurX, FOffsetX), Sx);
  const int32_t Top = Offset(Offset(FCurY, FOffsetY), Sy);
  DrawOutline(Canvas, Left, Top, Wrap32(int64_t{Left} + FFrameWidth),
              Wrap32(int64_t{Top} + FFrameHeight));
}

TSchemeMarquee::~TSchemeMarquee() {
  if (FActive) Stop(FEndX, FEndY);
}

void TSchemeMarquee::Start(int32_t X, int32_t Y) {
  if (FActive) return;
  FActive = true;
  FStartX = FEndX = X;
  FStartY = FEndY = Y;
  FScheme->DrawMarquee();
}

void TSchemeMarquee::Track(int32_t X, int32_t Y) {
  if (!FActive || (X == FEndX && Y == FEndY)) return;
  FScheme->DrawMarquee();
  FEndX = X;
  FEndY = Y;
  FScheme->DrawMarquee();
}

void TSchemeMarquee::Stop(int32_t X, int32_t Y) {
  if (!FActive) return;
  FScheme->DrawMarquee();
  FActive = false;
  FEndX = X;
  FEndY = Y;
}

void TSchemeMarquee::Draw(TSchemeCanvas& Canvas) const {
  if (!FActive) return;
  TFeedbackPen Pen(Canvas);
  const int32_t Sx = FScheme->ScrollX(), Sy = FScheme->ScrollY();
  DrawOutline(Canvas, Offset(FStartX, Sx), Offset(FStartY, Sy), Offset(FEndX, Sx),
              Offset(FEndY, Sy));
}

// ---------------------------------------------------------------------------------------------
// Editing: the mouse

TSchemeConnectionPoint* TScheme::FindPointNear(int32_t X, int32_t Y, bool Multi) const {
  long double Best = 1000.0L;
  TSchemeConnectionPoint* Found = nullptr;
  for (TSchemeConnectionPoint* Point : FPoints) {
    if (Point->Multi() != Multi) continue;
    const long double Distance = PointDistance(X, Y, Point->AbsoluteX(), Point->AbsoluteY());
    if (Distance <= Best) {
      Best = Distance;
      Found = Point;
    }
  }
  return Best <= 5.0L ? Found : nullptr;
}

bool TScheme::IsEmptySpot(int32_t X, int32_t Y) const {
  for (const auto& Element : FElements)
    if (Element->ContainsPoint(X, Y)) return false;
  for (const auto& Link : FLinks)
    if (Link->HitTest(X, Y)) return false;
  return true;
}

void TScheme::SetCursor(TSchemeCursor Cursor) {
  if (FHost != nullptr) FHost->SetCursor(Cursor);
}

namespace {

// round (Extent * Fraction) + Min - View div 2, rounding halves to even.
int32_t ScrollForFraction(int32_t Min, int32_t Max, int32_t View, double Fraction) {
  const long double Scaled = static_cast<long double>(int64_t{Max} - Min) * Fraction;
  return Wrap32(int64_t{RoundToInt32(Scaled)} + Min - View / 2);
}

// The fraction of the bar at a press; 0 on a bar without length.
double BarFraction(int32_t Position, int32_t Start, int32_t Length) {
  if (Length <= 0) return 0;
  return static_cast<double>(static_cast<long double>(int64_t{Position} - Start) / Length);
}

}  // namespace

void TScheme::ScrollToFractionX(double Fraction) {
  SetScrollX(ScrollForFraction(DiagramMinLeft(), DiagramMaxRight(), ViewWidth(), Fraction));
}

void TScheme::ScrollToFractionY(double Fraction) {
  SetScrollY(ScrollForFraction(DiagramMinTop(), DiagramMaxBottom(), ViewHeight(), Fraction));
}

void TScheme::MouseDown(TSchemeMouseButton Button, bool Shift, int32_t X, int32_t Y) {
  const int32_t W = ClientWidth(), H = ClientHeight();
  bool& Consumed = FPressConsumed[static_cast<size_t>(Button)];
  Consumed = false;
  if (X < 2 || Y < 2 || X > W - 2 || Y > H - 2) {
    Consumed = true;
    return;
  }
  if (X > W - 14 && Y < H - 14) {
    Consumed = true;
    ScrollToFractionY(BarFraction(Y, ViewTop(), ViewHeight()));
    return;
  }
  if (X < W - 14 && Y > H - 14) {
    Consumed = true;
    ScrollToFractionX(BarFraction(X, ViewLeft(), ViewWidth()));
    return;
  }
  X = Wrap32(int64_t{X} + FScrollX);
  Y = Wrap32(int64_t{Y} + FScrollY);
  if (Shift || Button != TSchemeMouseButton::Left) return;
  FDrag = dkNone;
  FDragLink = nullptr;
  FDragElement = nullptr;
  FDragGroup.clear();
  if (FMode == smNewLink) {
    StartNewLink(X, Y);
    return;
  }
  if (FMode != smNormal) return;
  TSchemeElement* Element = FSelection->SelectedElement();
  TSchemeLink* Link = FSelection->SelectedLink();
  if (Element != nullptr && Element->ContainsPoint(X, Y))
    StartMoveElement(X, Y);
  else if (Link != nullptr && Link->HitTest(X, Y))
    StartMoveLink(X, Y);
  else if (FSelection->ContainsPoint(X, Y))
    StartMoveMulti(X, Y);
  else if (IsEmptySpot(X, Y))
    StartMarquee(X, Y);
}

void TScheme::MouseMove(bool /*Shift*/, int32_t X, int32_t Y) {
  X = Wrap32(int64_t{X} + FScrollX);
  Y = Wrap32(int64_t{Y} + FScrollY);
  switch (FMode) {
    case smNormal: {
      const TSchemeElement* Element = FSelection->SelectedElement();
      const TSchemeLink* Link = FSelection->SelectedLink();
      if (Element != nullptr && Element->ContainsPoint(X, Y))
        SetCursor(TSchemeCursor::Move);
      else if (Link != nullptr && Link->HitTest(X, Y))
        SetCursor(TSchemeCursor::Cross);
      else
        SetCursor(TSchemeCursor::Default);
      break;
    }
    case smNewElement:
      SetCursor(TSchemeCursor::Drag);
      break;
    case smNewLink:
      SetCursor(FindPointNear(X, Y, false) != nullptr ? TSchemeCursor::Cross
                                                      : TSchemeCursor::NoDrop);
      break;
    case smMoveElement:
      SetCursor(TSchemeCursor::Move);
      break;
    case smMoveLink:
    case smMarquee:
      SetCursor(TSchemeCursor::Cross);
      break;
    case smMoveMultiElement:
    case smNewBoundedElement:
      break;
  }
  FMoveInfo->Track(X, Y);
  FMarquee->Track(X, Y);
}

void TScheme::MouseUp(TSchemeMouseButton Button, bool Shift, int32_t X, int32_t Y) {
  const TSchemePoint Client{X, Y};
  bool& Consumed = FPressConsumed[static_cast<size_t>(Button)];
  if (Consumed) {
    Consumed = false;
    return;
  }
  X = Wrap32(int64_t{X} + FScrollX);
  Y = Wrap32(int64_t{Y} + FScrollY);
  if (Button == TSchemeMouseButton::Left) {
    // Each mode is tested in turn: a handler that changes the mode lets a later branch run
    // on the same release.
    if (FMode == smNormal) {
      TSchemeLink* Hit = nullptr;
      for (size_t I = FLinks.size(); I-- > 0 && Hit == nullptr;)
        if (FLinks[I]->HitTest(X, Y)) Hit = FLinks[I].get();
      if (Hit != nullptr) {
        FSelection->Select(Hit);
      } else {
        TSchemeElement* Element = nullptr;
        for (size_t I = FElements.size(); I-- > 0 && Element == nullptr;)
          if (FElements[I]->ContainsPoint(X, Y)) Element = FElements[I].get();
        if (Element != nullptr) {
          if (Shift)
            FSelection->Toggle(Element);
          else
            FSelection->Select(Element);
        }
      }
    }
    if (FMode == smNewElement) {
      DoNewElement(X, Y);
      SetMode(smNormal);
    }
    if (FMode == smMoveElement) FinishMoveElement(X, Y);
    if (FMode == smMoveLink) {
      if (FDrag == dkMoveLink)
        FinishMoveLink(X, Y);
      else
        FinishNewLink(X, Y);
    }
    if (FMode == smMoveMultiElement) FinishMoveMulti(X, Y);
    if (FMode == smMarquee) FinishMarquee(X, Y);
    if (FMode == smNewBoundedElement) {
      int32_t Left = -1, Top = -1;
      EndBoundedFrame(Left, Top);
      DoNewElement(Left, Top);
      SetMode(smNormal);
    }
    FDrag = dkNone;
    FDragLink = nullptr;
    FDragElement = nullptr;
    FDragGroup.clear();
    return;
  }
  if (Button != TSchemeMouseButton::Right) return;
  if (FMode == smNewElement || FMode == smNewLink) {
    SetMode(smNormal);
  } else if (FMode == smNewBoundedElement) {
    int32_t Left = -1, Top = -1;
    EndBoundedFrame(Left, Top);
    SetMode(smNormal);
  } else if (ContextMenu != nullptr) {
    const TSchemePoint Screen = FHost != nullptr ? FHost->ClientToScreen(Client) : Client;
    ContextMenu->Popup(Screen.X, Screen.Y);
  }
}

// ---------------------------------------------------------------------------------------------
// Editing: the drags

void TScheme::StartNewLink(int32_t X, int32_t Y) {
  TSchemeConnectionPoint* Point = FindPointNear(X, Y, false);
  if (Point == nullptr) return;
  LinkDragStart = Point;
  LinkSeeksInput = true;
  FDrag = dkNewLink;
  FSelection->Clear();
  SetMode(smMoveLink);
  if (LinkDragStart != nullptr)
    FMoveInfo->BeginLine(X, Y, LinkDragStart->AbsoluteX(), LinkDragStart->AbsoluteY());
}

void TScheme::FinishNewLink(int32_t X, int32_t Y) {
  FMoveInfo->Track(X, Y);
  int32_t EndX = -1, EndY = -1;
  const bool Shown = FMoveInfo->State() == TSchemeMoveInfo::msLine;
  FMoveInfo->EndLine(EndX, EndY);
  TSchemeConnectionPoint* Target = Shown ? FindPointNear(EndX, EndY, LinkSeeksInput) : nullptr;
  if (Target != nullptr && LinkDragStart != nullptr && !LinkDragStart->Multi() && Target->Multi())
    LinkAndSelect(*this, LinkDragStart, Target);
  LinkDragStart = nullptr;
  SetMode(smNormal);
}

void TScheme::StartMoveLink(int32_t X, int32_t Y) {
  TSchemeLink* Link = FSelection->SelectedLink();
  if (Link == nullptr) return;
  const long double FromSource =
      PointDistance(Link->Source()->AbsoluteX(), Link->Source()->AbsoluteY(), X, Y);
  const long double FromTarget =
      PointDistance(Link->Target()->AbsoluteX(), Link->Target()->AbsoluteY(), X, Y);
  LinkSeeksInput = FromTarget <= FromSource;
  const TSchemeConnectionPoint* Fixed = LinkSeeksInput ? Link->Source() : Link->Target();
  const int32_t FixedX = Fixed->AbsoluteX(), FixedY = Fixed->AbsoluteY();
  FDrag = dkMoveLink;
  FDragLink = Link;
  SetMode(smMoveLink);
  if (FSelection->SelectedLink() == Link) FMoveInfo->BeginLine(X, Y, FixedX, FixedY);
}

void TScheme::FinishMoveLink(int32_t X, int32_t Y) {
  FMoveInfo->Track(X, Y);
  int32_t EndX = -1, EndY = -1;
  const bool Shown = FMoveInfo->State() == TSchemeMoveInfo::msLine;
  FMoveInfo->EndLine(EndX, EndY);
  TSchemeLink* Link = FSelection->SelectedLink();
  // A handler that cleared or changed the selection meanwhile leaves nothing to relink.
  TSchemeConnectionPoint* Point = Shown && Link != nullptr && Link == FDragLink
                                      ? FindPointNear(EndX, EndY, LinkSeeksInput)
                                      : nullptr;
  if (Point != nullptr) {
    const bool ToInput = Point->Multi();
    TSchemeConnectionPoint* Source = ToInput ? Link->Source() : Point;
    TSchemeConnectionPoint* Target = ToInput ? Point : Link->Target();
    FSelection->Clear();
    // A handler of the clearing that deleted the link leaves nothing to relink.
    if (IndexOfLink(Link) >= 0) {
      DeleteLink(Link);
      LinkAndSelect(*this, Source, Target);
    }
  }
  SetMode(smNormal);
}

void TScheme::StartMoveElement(int32_t X, int32_t Y) {
  if (EditLocked) return;
  const TSchemeElement* Element = FSelection->SelectedElement();
  FDrag = dkMoveElement;
  FDragElement = Element;
  SetMode(smMoveElement);
  if (Element != nullptr && FSelection->SelectedElement() == Element)
    FMoveInfo->BeginFrame(X, Y, Element->Left(), Element->Top(), Element->Width(),
                          Element->Height());
}

void TScheme::FinishMoveElement(int32_t X, int32_t Y) {
  FMoveInfo->Track(X, Y);
  const bool Shown = FMoveInfo->State() == TSchemeMoveInfo::msFrame;
  int32_t Left = -1, Top = -1;
  FMoveInfo->EndFrame(Left, Top);
  TSchemeElement* Element = FSelection->SelectedElement();
  // Only a shown frame moves, and only the element it was begun for.
  if (Shown && Element != nullptr && Element == FDragElement) {
    Element->SetLeft(Left);
    Element->SetTop(Top);
  }
  SetMode(smNormal);
}

void TScheme::StartMoveMulti(int32_t X, int32_t Y) {
  if (EditLocked) return;
  FDrag = dkMoveMulti;
  FDragGroup.clear();
  for (int32_t I = 0; I < FSelection->Count(); ++I) FDragGroup.push_back(FSelection->Items(I));
  SetMode(smMoveMultiElement);
  if (SelectionIsDragGroup())
    FMoveInfo->BeginFrame(X, Y, FSelection->BoundsLeft(), FSelection->BoundsTop(),
                          FSelection->BoundsWidth(), FSelection->BoundsHeight());
}

void TScheme::FinishMoveMulti(int32_t X, int32_t Y) {
  BeginUpdate();
  FMoveInfo->Track(X, Y);
  const bool Shown = FMoveInfo->State() == TSchemeMoveInfo::msFrame;
  int32_t Left = -1, Top = -1;
  FMoveInfo->EndFrame(Left, Top);
  // Only a shown frame moves, and only the group it was begun for.
  if (Shown && FDrag == dkMoveMulti && SelectionIsDragGroup()) FSelection->MoveTo(Left, Top);
  EndUpdate();
  SetMode(smNormal);
}

bool TScheme::SelectionIsDragGroup() const {
  if (FSelection->Kind() != TSchemeSelection::skElements || FDragGroup.empty() ||
      static_cast<size_t>(FSelection->Count()) != FDragGroup.size())
    return false;
  for (size_t I = 0; I < FDragGroup.size(); ++I)
    if (FSelection->Items(static_cast<int32_t>(I)) != FDragGroup[I]) return false;
  return true;
}

void TScheme::StartMarquee(int32_t X, int32_t Y) {
  if (EditLocked) return;
  SetMode(smMarquee);
  FMarquee->Start(X, Y);
}

void TScheme::FinishMarquee(int32_t X, int32_t Y) {
  FMarquee->Track(X, Y);
  FMarquee->Stop(X, Y);
  FSelection->SelectRect(FMarquee->StartX(), FMarquee->StartY(), FMarquee->EndX(),
                         FMarquee->EndY());
  SetMode(smNormal);
}

void TScheme::EndBoundedFrame(int32_t& Left, int32_t& Top) {
  FMoveInfo->EndFrame(Left, Top);
}
