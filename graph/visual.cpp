#include "graph/visual.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "platform/errors.h"

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

[[noreturn]] void RaiseListIndexError(int64_t Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

template <class List>
void CheckIndex(const List& Items, int32_t Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= Items.size()) RaiseListIndexError(Index);
}

// Coordinates wrap at 32 bits, as the diagram's integer arithmetic does.
int32_t Wrap32(int64_t Value) {
  return static_cast<int32_t>(Value);
}

// Rounds to the nearest integer, halves to even, and keeps the result within 32 bits.
int32_t RoundToInt32(long double Value) {
  const long double Rounded = std::nearbyintl(Value);
  if (!(Rounded < static_cast<long double>(std::numeric_limits<int32_t>::max())))
    return std::numeric_limits<int32_t>::max();
  if (!(Rounded > static_cast<long double>(std::numeric_limits<int32_t>::min())))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(Rounded);
}

// Index of an entry in a list that holds each entry once, searched from both ends at once:
// clearing a list takes its first entry each time, and a point made and dropped again while
// an element is built is the last one, so both are found in a step or two and the result is
// that of a search from either end.
template <class List, class Matches>
int64_t FindFromBothEnds(const List& Items, Matches IsIt) {
  size_t Front = 0;
  size_t Back = Items.size();
  while (Front < Back) {
    if (IsIt(Items[Front])) return static_cast<int64_t>(Front);
    --Back;
    if (IsIt(Items[Back])) return static_cast<int64_t>(Back);
    ++Front;
  }
  return -1;
}

template <class List, class T>
int64_t FindOwned(const List& Items, const T* Object) {
  return FindFromBothEnds(Items, [Object](const auto& Item) { return Item.get() == Object; });
}

// Index of an owned object, searched from the last entry to the first.
template <class List, class T>
int32_t LastIndexOfOwned(const List& Items, const T* Object) {
  for (size_t I = Items.size(); I-- > 0;)
    if (Items[I].get() == Object) return static_cast<int32_t>(I);
  return -1;
}

}  // namespace

long double VectorAngle(long double X1, long double Y1, long double X2, long double Y2) {
  const long double Dx = X2 - X1;
  const long double Dy = Y2 - Y1;
  if (Dx != 0) {
    long double Theta = std::atan(Dy / Dx);
    if (Theta < 0) Theta += 2 * kPi;
    if (Dx < 0) {
      if (Dy > 0) return Theta - kPi;
      if (Dy < 0) return Theta + kPi;
      return kPi;
    }
    return Theta;
  }
  if (Dy > 0) return kPi / 2;
  if (Dy < 0) return 3 * kPi / 2;
  return 0;
}

long double PointDistance(long double X1, long double Y1, long double X2, long double Y2) {
  return std::sqrt((X1 - X2) * (X1 - X2) + (Y1 - Y2) * (Y1 - Y2));
}

// ---------------------------------------------------------------------------------------------
// TSchemeLink

TSchemeLink::TSchemeLink(TScheme* Scheme, TSchemeConnectionPoint* Source,
                         TSchemeConnectionPoint* Target) {
  if (Source->Link() != nullptr) throw EAbort();
  if (Source->Multi() || !Target->Multi()) throw EAbort();
  FScheme = Scheme;
  FSource = Source;
  if (!Source->AttachLink(this)) throw EAbort();
  FTarget = Target;
  if (!Target->AttachLink(this)) {
    Source->DetachLink(this);
    throw EAbort();
  }
}

TSchemeLink::~TSchemeLink() {
  if (FSource != nullptr) FSource->DetachLink(this);
  if (FTarget != nullptr) FTarget->DetachLink(this);
}

void TSchemeLink::SetSelected(bool Value) {
  if (Value == FSelected) return;
  FSelected = Value;
  FScheme->Repaint();
}

void TSchemeLink::RepaintScheme() {
  FScheme->Repaint();
}

int32_t TSchemeLink::DistanceTo(int32_t X, int32_t Y) const {
  if (FSource == nullptr || FTarget == nullptr) return std::numeric_limits<int32_t>::max();
  const long double Sx = FSource->AbsoluteX(), Sy = FSource->AbsoluteY();
  const long double Tx = FTarget->AbsoluteX(), Ty = FTarget->AbsoluteY();
  const long double Px = X, Py = Y;
  long double Delta = std::fabs(VectorAngle(Sx, Sy, Tx, Ty) - VectorAngle(Sx, Sy, Px, Py));
  if (Delta > kPi) Delta = 2 * kPi - Delta;
  const long double Length = PointDistance(Sx, Sy, Tx, Ty);
  const long double Distance = PointDistance(Sx, Sy, Px, Py);
  if (Delta > kPi / 2) return RoundToInt32(Distance);  // behind the source
  const int32_t Perpendicular = RoundToInt32(std::fabs(std::sin(Delta) * Distance));
  if (Distance - Length > Perpendicular) return RoundToInt32(Distance - Length);  // beyond
  return Perpendicular;
}

// ---------------------------------------------------------------------------------------------
// TSchemeLinkList

namespace {
// A link list longer than this answers membership from a set.
constexpr size_t kLinkListIndexedFrom = 16;
}  // namespace

bool TSchemeLinkList::Lists(const TSchemeLink* Link) const {
  if (FIndexed) return FListed.count(Link) > 0;
  return std::find(FItems.begin(), FItems.end(), Link) != FItems.end();
}

int32_t TSchemeLinkList::Add(TSchemeLink* Link) {
  if (Lists(Link)) return IndexOf(Link);
  FItems.push_back(Link);
  if (FIndexed) {
    FListed.insert(Link);
  } else if (FItems.size() > kLinkListIndexedFrom) {
    FListed.insert(FItems.begin(), FItems.end());
    FIndexed = true;
  }
  return Count() - 1;
}

int32_t TSchemeLinkList::IndexOf(const TSchemeLink* Link) const {
  if (FIndexed && FListed.count(Link) == 0) return -1;
  return static_cast<int32_t>(
      FindFromBothEnds(FItems, [Link](const TSchemeLink* Item) { return Item == Link; }));
}

void TSchemeLinkList::Remove(const TSchemeLink* Link) {
  const int32_t Index = IndexOf(Link);
  if (Index >= 0) Delete(Index);
}

void TSchemeLinkList::Delete(int32_t Index) {
  CheckIndex(FItems, Index);
  if (FIndexed) FListed.erase(FItems[static_cast<size_t>(Index)]);
  FItems.erase(FItems.begin() + Index);
}

void TSchemeLinkList::Clear() {
  while (Count() > 0) Delete(0);
}

TSchemeLink* TSchemeLinkList::Items(int32_t Index) const {
  CheckIndex(FItems, Index);
  return FItems[static_cast<size_t>(Index)];
}

// ---------------------------------------------------------------------------------------------
// TSchemeConnectionPoint

TSchemeConnectionPoint::TSchemeConnectionPoint(TSchemeElement* Element, int32_t X, int32_t Y,
                                               bool Multi)
    : FElement(Element), FLinks(Element->Scheme(), this), FMulti(Multi), FX(X), FY(Y) {}

TSchemeConnectionPoint::~TSchemeConnectionPoint() {
  DeleteLinks();
}

TScheme* TSchemeConnectionPoint::GetScheme() const {
  return FElement->Scheme();
}

int32_t TSchemeConnectionPoint::AbsoluteX() const {
  return Wrap32(int64_t{FElement->Left()} + FX);
}

int32_t TSchemeConnectionPoint::AbsoluteY() const {
  return Wrap32(int64_t{FElement->Top()} + FY);
}

int32_t TSchemeConnectionPoint::BoxLeft() const {
  return Wrap32(int64_t{AbsoluteX()} - BoxWidth / 2);
}

int32_t TSchemeConnectionPoint::BoxTop() const {
  return Wrap32(int64_t{AbsoluteY()} - BoxHeight / 2);
}

bool TSchemeConnectionPoint::AttachLink(TSchemeLink* Link) {
  if (Link == nullptr) return false;
  if (FMulti) {
    FLinks.Add(Link);
    return true;
  }
  if (FLink != nullptr) return false;
  FLink = Link;
  return true;
}

void TSchemeConnectionPoint::DetachLink(const TSchemeLink* Link) {
  if (FMulti)
    FLinks.Remove(Link);
  else if (FLink == Link)
    FLink = nullptr;
}

void TSchemeConnectionPoint::DeleteLinks() {
  TScheme* Scheme = GetScheme();
  // A link that the scheme no longer lists is already being deleted further up the call
  // chain (an event handler deleted this point meanwhile): it only forgets this end.
  auto Drop = [this, Scheme](TSchemeLink* Link) {
    if (Link->FListed) {
      Scheme->DeleteLink(Link);
      return;
    }
    if (Link->FSource == this) Link->FSource = nullptr;
    if (Link->FTarget == this) Link->FTarget = nullptr;
  };
  if (!FMulti) {
    if (FLink != nullptr) {
      TSchemeLink* Link = FLink;
      Drop(Link);
      FLink = nullptr;
    }
    return;
  }
  while (FLinks.Count() > 0) {
    TSchemeLink* Link = FLinks.Items(0);
    FLinks.Delete(0);
    Drop(Link);
  }
}

void TSchemeConnectionPoint::RepaintLinks() {
  const int32_t Count = FMulti ? FLinks.Count() : (FLink != nullptr ? 1 : 0);
  for (int32_t I = 0; I < Count; ++I) GetScheme()->Repaint();
}

// ---------------------------------------------------------------------------------------------
// TSchemeElement

void TSchemeElementDeleter::operator()(TSchemeElement* Element) const {
  Element->Detach();
  delete Element;
}

TSchemeElement::TSchemeElement(TScheme* Scheme) : FScheme(Scheme) {}

TSchemeElementPtr<TSchemeElement> TSchemeElement::Create(TScheme* Scheme) {
  return Construct(new TSchemeElement(Scheme));
}

TSchemeElement::~TSchemeElement() {
  DeleteAllPoints();
}

void TSchemeElement::Detach() {
  DeleteAllPoints();
}

void TSchemeElement::Initialize() {
  FLeft = 0;
  FTop = 0;
  FWidth = 60;
  FHeight = 40;
  CreateConnectionPoints();
}

void TSchemeElement::CreateConnectionPoints() {
  AddPoint(FWidth / 2, 0, true);
  AddPoint(FWidth / 2, FHeight - 1, false);
}

TSchemeConnectionPoint* TSchemeElement::AddPoint(int32_t X, int32_t Y, bool Multi) {
  std::unique_ptr<TSchemeConnectionPoint> Point(new TSchemeConnectionPoint(this, X, Y, Multi));
  TSchemeConnectionPoint* Result = Point.get();
  (Multi ? FInputPoints : FOutputPoints).push_back(std::move(Point));
  FScheme->AddPoint(Result);
  return Result;
}

bool TSchemeElement::SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
  if (Width < MinWidth || Height < MinHeight) return false;
  FLeft = Left;
  FTop = Top;
  FWidth = Width;
  FHeight = Height;
  FScheme->Repaint();
  AlignToGrid();
  return true;
}

void TSchemeElement::AlignToGrid() {
  SetLeft((FLeft / FScheme->GridX()) * FScheme->GridX());
  SetTop((FTop / FScheme->GridY()) * FScheme->GridY());
}

void TSchemeElement::SetLeft(int32_t Value) {
  const int32_t Snapped = (Value / FScheme->GridX()) * FScheme->GridX();
  if (Snapped != FLeft) SetBounds(Snapped, FTop, FWidth, FHeight);
}

void TSchemeElement::SetTop(int32_t Value) {
  const int32_t Snapped = (Value / FScheme->GridY()) * FScheme->GridY();
  if (Snapped != FTop) SetBounds(FLeft, Snapped, FWidth, FHeight);
}

void TSchemeElement::SetWidth(int32_t Value) {
  if (Value != FWidth) SetBounds(FLeft, FTop, Value, FHeight);
}

void TSchemeElement::SetHeight(int32_t Value) {
  if (Value != FHeight) SetBounds(FLeft, FTop, FWidth, Value);
}

void TSchemeElement::SetSelected(bool Value) {
  if (Value == FSelected) return;
  FSelected = Value;
  FScheme->Repaint();
}

bool TSchemeElement::ContainsPoint(int32_t X, int32_t Y) const {
  return FLeft <= X && int64_t{X} < int64_t{FLeft} + FWidth && FTop <= Y &&
         int64_t{Y} < int64_t{FTop} + FHeight;
}

int32_t TSchemeElement::IndexOfOutputPoint(const TSchemeConnectionPoint* Point) const {
  // Each point is listed once: the search from both ends gives what a search from the last
  // entry gives.
  return static_cast<int32_t>(FindOwned(FOutputPoints, Point));
}

TSchemeConnectionPoint* TSchemeElement::OutputPoints(int32_t Index) const {
  CheckIndex(FOutputPoints, Index);
  return FOutputPoints[static_cast<size_t>(Index)].get();
}

TSchemeConnectionPoint* TSchemeElement::InputPoints(int32_t Index) const {
  CheckIndex(FInputPoints, Index);
  return FInputPoints[static_cast<size_t>(Index)].get();
}

void TSchemeElement::DeletePoint(TPointList& List, int32_t Index) {
  CheckIndex(List, Index);
  FScheme->RemovePoint(List[static_cast<size_t>(Index)].get());
  std::unique_ptr<TSchemeConnectionPoint> Point = std::move(List[static_cast<size_t>(Index)]);
  List.erase(List.begin() + Index);
  Point.reset();  // its links go with it
}

void TSchemeElement::DeleteOutputPoint(int32_t Index) {
  DeletePoint(FOutputPoints, Index);
}

void TSchemeElement::DeleteInputPoint(int32_t Index) {
  DeletePoint(FInputPoints, Index);
}

void TSchemeElement::DeleteAllPoints() {
  while (!FOutputPoints.empty()) DeleteOutputPoint(0);
  while (!FInputPoints.empty()) DeleteInputPoint(0);
}

void TSchemeElement::ExchangeOutputPoints(int32_t I, int32_t J) {
  CheckIndex(FOutputPoints, I);
  CheckIndex(FOutputPoints, J);
  std::swap(FOutputPoints[static_cast<size_t>(I)], FOutputPoints[static_cast<size_t>(J)]);
}

// ---------------------------------------------------------------------------------------------
// TSchemeSelection

TSchemeSelection::~TSchemeSelection() {
  Clear();
}

int32_t TSchemeSelection::Count() const {
  return FKind == skElements ? static_cast<int32_t>(FList.size()) : 0;
}

TSchemeElement* TSchemeSelection::Items(int32_t Index) const {
  if (FKind != skElements || Index < 0 || static_cast<size_t>(Index) >= FList.size())
    return nullptr;
  return FList[static_cast<size_t>(Index)];
}

bool TSchemeSelection::Holds(const TSchemeElement* Element) const {
  return Element != nullptr &&
         (SelectedElement() == Element ||
          (FKind == skElements && std::find(FList.begin(), FList.end(), Element) != FList.end()));
}

void TSchemeSelection::Select(TSchemeElement* Element) {
  if (Element == nullptr) return;
  Clear();
  FElement = Element;
  FKind = skElement;
  Element->SetSelected(true);
  Changed();
}

void TSchemeSelection::Select(TSchemeLink* Link) {
  if (Link == nullptr) return;
  Clear();
  FLink = Link;
  FKind = skLink;
  Link->SetSelected(true);
  Changed();
}

void TSchemeSelection::Toggle(TSchemeElement* Element) {
  if (Element == nullptr) return;
  switch (FKind) {
    case skNone:
    case skLink:
      Select(Element);
      return;
    case skElement: {
      if (Element == FElement) {
        Clear();
        return;
      }
      TSchemeElement* Selected = FElement;
      Clear();
      FList = {Selected, Element};
      break;
    }
    case skElements: {
      const auto Found = std::find(FList.begin(), FList.end(), Element);
      if (Found == FList.end()) {
        FList.push_back(Element);
        break;
      }
      Element->SetSelected(false);
      FList.erase(Found);
      if (FList.size() == 1) {
        TSchemeElement* Remaining = FList.front();
        Clear();
        Select(Remaining);
        return;
      }
      break;
    }
  }
  UpdateBounds();
  FKind = skElements;
  Changed();
}

void TSchemeSelection::UpdateBounds() {
  FScheme->BeginUpdate();
  for (TSchemeElement* Element : FList) Element->SetSelected(true);
  int64_t Left = 0, Top = 0, Width = 0, Height = 0;
  if (!FList.empty()) {
    Left = FList.front()->Left();
    Top = FList.front()->Top();
  }
  for (const TSchemeElement* Element : FList) {
    Left = std::min<int64_t>(Left, Element->Left());
    Top = std::min<int64_t>(Top, Element->Top());
  }
  for (const TSchemeElement* Element : FList) {
    Width = std::max<int64_t>(Width, int64_t{Element->Left()} + Element->Width() - Left);
    Height = std::max<int64_t>(Height, int64_t{Element->Top()} + Element->Height() - Top);
  }
  FBoundsLeft = static_cast<int32_t>(Left);
  FBoundsTop = static_cast<int32_t>(Top);
  FBoundsWidth = Wrap32(Width);
  FBoundsHeight = Wrap32(Height);
  FScheme->EndUpdate();
}

void TSchemeSelection::Clear() {
  switch (FKind) {
    case skNone:
      return;
    case skElement:
      FElement->SetSelected(false);
      break;
    case skLink:
      FLink->SetSelected(false);
      break;
    case skElements:
      FScheme->BeginUpdate();
      for (TSchemeElement* Element : FList) Element->SetSelected(false);
      FList.clear();
      FScheme->EndUpdate();
      break;
  }
  FKind = skNone;
  FElement = nullptr;
  FLink = nullptr;
  Changed();
}

void TSchemeSelection::Changed() {
  if (OnChange) OnChange(FScheme);
}

// ---------------------------------------------------------------------------------------------
// TScheme

TScheme::TScheme(TSchemeHost* Host)
    : FHost(Host),
      FSelection(std::make_unique<TSchemeSelection>(this)),
      FMoveInfo(std::make_unique<TSchemeMoveInfo>(this)),
      FMarquee(std::make_unique<TSchemeMarquee>(this)) {
  FSelection->OnChange = [this](TScheme*) { DoSelectionChange(); };
}

TScheme::~TScheme() {
  ClearLinks();
  ClearElements();
  FSelection.reset();
  // The feedback erases itself while the scheme can still draw it.
  FMarquee->Stop(FMarquee->EndX(), FMarquee->EndY());
  FMarquee.reset();
  int32_t X = 0, Y = 0;
  FMoveInfo->EndFrame(X, Y);
  FMoveInfo->EndLine(X, Y);
  FMoveInfo.reset();
}

void TScheme::Repaint() {
  if (FHost != nullptr) FHost->Repaint();
}

void TScheme::AddPoint(TSchemeConnectionPoint* Point) {
  FPoints.push_back(Point);
  Repaint();
}

void TScheme::RemovePoint(const TSchemeConnectionPoint* Point) {
  const int64_t Index = FindFromBothEnds(
      FPoints, [Point](const TSchemeConnectionPoint* Item) { return Item == Point; });
  if (Index >= 0) FPoints.erase(FPoints.begin() + Index);
  if (LinkDragStart == Point) LinkDragStart = nullptr;
  Repaint();
}

TSchemeConnectionPoint* TScheme::Points(int32_t Index) const {
  CheckIndex(FPoints, Index);
  return FPoints[static_cast<size_t>(Index)];
}

TSchemeLink* TScheme::AddLink(TSchemeConnectionPoint* Source, TSchemeConnectionPoint* Target) {
  if (Source == nullptr || Target == nullptr || Source->GetScheme() != this ||
      Target->GetScheme() != this)
    throw EAbort();
  std::unique_ptr<TSchemeLink> Link(new TSchemeLink(this, Source, Target));
  TSchemeLink* Result = Link.get();
  FLinks.push_back(std::move(Link));
  Result->FListed = true;
  DoAddLink(Result);
  Repaint();
  return Result;
}

void TScheme::DeleteLink(TSchemeLink* Link) {
  const int64_t Index = FindOwned(FLinks, Link);
  if (Index < 0) return;
  std::unique_ptr<TSchemeLink> Owned = std::move(FLinks[static_cast<size_t>(Index)]);
  FLinks.erase(FLinks.begin() + Index);
  Link->FListed = false;
  if (FSelection->SelectedLink() == Link) FSelection->Clear();
  DoRemoveLink(Link);
  Owned.reset();  // detaches from both ends
  Repaint();
}

void TScheme::ClearLinks() {
  while (!FLinks.empty()) DeleteLink(FLinks.front().get());
}

int32_t TScheme::IndexOfLink(const TSchemeLink* Link) const {
  return static_cast<int32_t>(FindOwned(FLinks, Link));
}

TSchemeLink* TScheme::Links(int32_t Index) const {
  CheckIndex(FLinks, Index);
  return FLinks[static_cast<size_t>(Index)].get();
}

TSchemeElement* TScheme::AddElement(TSchemeElementPtr<TSchemeElement> Element) {
  if (Element == nullptr || Element->Scheme() != this) throw EAbort();
  TSchemeElement* Result = Element.get();
  FElements.push_back(std::move(Element));
  Repaint();
  return Result;
}

void TScheme::DeleteElement(TSchemeElement* Element) {
  const int64_t Index = FindOwned(FElements, Element);
  if (Index < 0) return;
  TSchemeElementPtr<TSchemeElement> Owned = std::move(FElements[static_cast<size_t>(Index)]);
  FElements.erase(FElements.begin() + Index);
  // A deleted member of a multiple selection clears the whole selection.
  if (FSelection->Holds(Element)) FSelection->Clear();
  DoRemoveElement(Element);
  Owned.reset();  // its points and all their links go
  Repaint();
}

void TScheme::ClearElements() {
  while (!FElements.empty()) DeleteElement(FElements.front().get());
}

int32_t TScheme::IndexOfElement(const TSchemeElement* Element) const {
  return LastIndexOfOwned(FElements, Element);
}

TSchemeElement* TScheme::Elements(int32_t Index) const {
  CheckIndex(FElements, Index);
  return FElements[static_cast<size_t>(Index)].get();
}

void TScheme::SetMode(TSchemeMode NewMode) {
  if (NewMode == FMode) return;
  const TSchemeMode OldMode = FMode;
  FMode = NewMode;
  if (EventsEnabled && OnModeChange) OnModeChange(this, OldMode, NewMode);
}

void TScheme::SetScrollX(int32_t Value) {
  if (Value == FScrollX) return;
  FScrollX = Value;
  Repaint();
}

void TScheme::SetScrollY(int32_t Value) {
  if (Value == FScrollY) return;
  FScrollY = Value;
  Repaint();
}

void TScheme::SetGridX(int32_t Value) {
  FGridX = std::max(Value, 1);
}

void TScheme::SetGridY(int32_t Value) {
  FGridY = std::max(Value, 1);
}

void TScheme::BeginUpdate() {
  FUpdateLocked = true;
}

void TScheme::EndUpdate() {
  FUpdateLocked = false;
  Repaint();
}

void TScheme::DoNewElement(int32_t X, int32_t Y) {
  if (EventsEnabled && OnNewElement) OnNewElement(this, X, Y);
}

void TScheme::DoRemoveElement(TSchemeElement* Element) {
  if (EventsEnabled && OnRemoveElement) OnRemoveElement(this, Element);
}

void TScheme::DoAddLink(TSchemeLink* Link) {
  if (EventsEnabled && OnAddLink) OnAddLink(this, Link);
}

void TScheme::DoRemoveLink(TSchemeLink* Link) {
  if (EventsEnabled && OnRemoveLink) OnRemoveLink(this, Link);
}

void TScheme::DoSelectionChange() {
  if (EventsEnabled && OnSelectionChange) OnSelectionChange(this);
}

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

int32_t Offset(int32_t Value, int32_t By) {
  return Wrap32(int64_t{Value} - By);
}

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
  Canvas.SetClipRegion({ViewLeft(), ViewTop(), Wrap32(int64_t{ViewLeft()} + ViewWidth()),
                        Wrap32(int64_t{ViewTop()} + ViewHeight())});
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

void TScheme::DrawMoveInfo() {
  if (FMoveInfo != nullptr && FHost != nullptr && FHost->Canvas() != nullptr)
    FMoveInfo->Draw(*FHost->Canvas());
}

void TScheme::DrawMarquee() {
  if (FMarquee != nullptr && FHost != nullptr && FHost->Canvas() != nullptr)
    FMarquee->Draw(*FHost->Canvas());
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

// ---------------------------------------------------------------------------------------------
// Editing: the selection's geometry

void TSchemeSelection::SelectRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const int64_t Left = std::min(X1, X2), Top = std::min(Y1, Y2);
  const int64_t Right = Left + std::abs(int64_t{X2} - X1);
  const int64_t Bottom = Top + std::abs(int64_t{Y2} - Y1);
  Clear();
  std::vector<TSchemeElement*> Touched;
  for (int32_t I = 0; I < FScheme->ElementCount(); ++I) {
    TSchemeElement* Element = FScheme->Elements(I);
    const int64_t ELeft = Element->Left(), ETop = Element->Top();
    const int64_t ERight = ELeft + Element->Width(), EBottom = ETop + Element->Height();
    if (ELeft <= Right && Left <= ERight && ETop <= Bottom && Top <= EBottom)
      Touched.push_back(Element);
  }
  if (Touched.empty()) return;
  if (Touched.size() == 1) {
    Select(Touched.front());
    return;
  }
  FList = std::move(Touched);
  UpdateBounds();
  FKind = skElements;
  Changed();
}

void TSchemeSelection::MoveTo(int32_t X, int32_t Y) {
  if (FKind != skElements) return;
  const int64_t Dx = int64_t{X} - FBoundsLeft, Dy = int64_t{Y} - FBoundsTop;
  for (TSchemeElement* Element : std::vector<TSchemeElement*>(FList)) {
    Element->SetLeft(Wrap32(Element->Left() + Dx));
    Element->SetTop(Wrap32(Element->Top() + Dy));
  }
  FBoundsLeft = X;
  FBoundsTop = Y;
}

bool TSchemeSelection::ContainsPoint(int32_t X, int32_t Y) const {
  if (FKind != skElements) return false;
  return std::any_of(FList.begin(), FList.end(), [X, Y](const TSchemeElement* Element) {
    return Element->ContainsPoint(X, Y);
  });
}

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
  if (Target != nullptr && LinkDragStart != nullptr && !LinkDragStart->Multi() && Target->Multi()) {
    if (LinkDragStart->Link() != nullptr) LinkDragStart->DeleteLinks();
    if (LinkDragStart != nullptr) FSelection->Select(AddLink(LinkDragStart, Target));
  }
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
    TSchemeConnectionPoint* KeptSource = Link->Source();
    TSchemeConnectionPoint* KeptTarget = Link->Target();
    FSelection->Clear();
    DeleteLink(Link);
    TSchemeConnectionPoint* Source = Point->Multi() ? KeptSource : Point;
    TSchemeConnectionPoint* Target = Point->Multi() ? Point : KeptTarget;
    if (Source->Link() != nullptr) Source->DeleteLinks();
    FSelection->Select(AddLink(Source, Target));
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
  SetMode(smMoveMultiElement);
  if (FSelection->Kind() == TSchemeSelection::skElements)
    FMoveInfo->BeginFrame(X, Y, FSelection->BoundsLeft(), FSelection->BoundsTop(),
                          FSelection->BoundsWidth(), FSelection->BoundsHeight());
}

void TScheme::FinishMoveMulti(int32_t X, int32_t Y) {
  BeginUpdate();
  FMoveInfo->Track(X, Y);
  const bool Shown = FMoveInfo->State() == TSchemeMoveInfo::msFrame;
  int32_t Left = -1, Top = -1;
  FMoveInfo->EndFrame(Left, Top);
  if (Shown && FDrag == dkMoveMulti) FSelection->MoveTo(Left, Top);
  EndUpdate();
  SetMode(smNormal);
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
