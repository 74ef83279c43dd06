// The diagram's model: links, link lists, connection points, elements, the scheme's lists
// and events, and the selection. Painting is in visual_drawing.cpp, mouse editing in
// visual_editing.cpp.

#include "graph/visual.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "graph/visual_impl.h"
#include "platform/errors.h"

using namespace visual_impl;

namespace {

[[noreturn]] void RaiseListIndexError(int64_t Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

template <class List>
void CheckIndex(const List& Items, int32_t Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= Items.size()) RaiseListIndexError(Index);
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

// A handler of the notification that clearing sends may delete what is to be selected, or
// select something else: then the handler's outcome stands.
bool TSchemeSelection::ClearFor(const TSchemeElement* Element) {
  const bool Notifies = FKind != skNone;
  Clear();
  return !Notifies || (FKind == skNone && FScheme->IndexOfElement(Element) >= 0);
}

bool TSchemeSelection::ClearFor(const TSchemeLink* Link) {
  const bool Notifies = FKind != skNone;
  Clear();
  return !Notifies || (FKind == skNone && FScheme->IndexOfLink(Link) >= 0);
}

void TSchemeSelection::Select(TSchemeElement* Element) {
  if (Element == nullptr || !ClearFor(Element)) return;
  FElement = Element;
  FKind = skElement;
  Element->SetSelected(true);
  Changed();
}

void TSchemeSelection::Select(TSchemeLink* Link) {
  if (Link == nullptr || !ClearFor(Link)) return;
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
      if (FKind != skNone) return;  // a handler selected something else
      // A handler may have deleted either element: what is left is selected.
      const bool KeepSelected = FScheme->IndexOfElement(Selected) >= 0;
      const bool KeepElement = FScheme->IndexOfElement(Element) >= 0;
      if (!KeepSelected || !KeepElement) {
        Select(KeepSelected ? Selected : KeepElement ? Element : nullptr);
        return;
      }
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
        if (FKind == skNone && FScheme->IndexOfElement(Remaining) >= 0) Select(Remaining);
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

int32_t TScheme::IndexOfPoint(const TSchemeConnectionPoint* Point) const {
  return static_cast<int32_t>(FindFromBothEnds(
      FPoints, [Point](const TSchemeConnectionPoint* Item) { return Item == Point; }));
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
// TSchemeSelection: the selection's geometry

void TSchemeSelection::SelectRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const int64_t Left = std::min(X1, X2), Top = std::min(Y1, Y2);
  const int64_t Right = Left + std::abs(int64_t{X2} - X1);
  const int64_t Bottom = Top + std::abs(int64_t{Y2} - Y1);
  Clear();
  if (FKind != skNone) return;  // a handler of the clearing selected something else
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
