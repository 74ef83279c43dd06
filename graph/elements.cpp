#include "graph/elements.h"

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "model/core.h"
#include "model/saver.h"
#include "platform/errors.h"

namespace {

constexpr int32_t kElementWidth = 120;
constexpr int32_t kFrameHeight = 40;
constexpr int32_t kRowHeight = 20;
// Output point k of a decision element sits level with row k.
constexpr int32_t kFirstOptionY = 39;

// Element kinds of the graph section's element records.
enum TRecordKind : uint8_t {
  rkStart = 0,
  rkFinish = 1,
  rkScreen = 2,
  rkAction = 3,
  rkDecision = 4
};

// The frame plus one row per entry, kept within 32 bits.
int32_t HeightForRows(int64_t Rows) {
  const int64_t Height = kFrameHeight + kRowHeight * Rows;
  return static_cast<int32_t>(std::min<int64_t>(Height, std::numeric_limits<int32_t>::max()));
}

// Input point 0 at the top centre and output point 0 at the bottom centre (screen and
// action elements), then a repaint.
void PlaceTopAndBottomPoints(TSchemeElement& Element) {
  if (Element.InputPointCount() > 0) {
    Element.InputPoints(0)->SetX(Element.Width() / 2);
    Element.InputPoints(0)->SetY(0);
  }
  if (Element.OutputPointCount() > 0) {
    Element.OutputPoints(0)->SetX(Element.Width() / 2);
    Element.OutputPoints(0)->SetY(Element.Height() - 1);
  }
  Element.Scheme()->Repaint();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Start and finish

TSchemeElementPtr<TSpecStartElement> TSpecStartElement::Create(TScheme* Scheme) {
  return Construct(new TSpecStartElement(Scheme));
}

// The base construction makes a point for 60 x 40; at 40 x 40 it is made again at the centre.
void TSpecStartElement::Initialize() {
  TSchemeElement::Initialize();
  SetWidth(40);
  SetHeight(40);
  DeleteAllPoints();
  CreateConnectionPoints();
}

void TSpecStartElement::CreateConnectionPoints() {
  AddPoint(Width() / 2, Height() / 2, false);
}

TSchemeElementPtr<TSpecFinishElement> TSpecFinishElement::Create(TScheme* Scheme) {
  return Construct(new TSpecFinishElement(Scheme));
}

void TSpecFinishElement::Initialize() {
  TSchemeElement::Initialize();
  SetWidth(40);
  SetHeight(40);
  DeleteAllPoints();
  CreateConnectionPoints();
}

void TSpecFinishElement::CreateConnectionPoints() {
  AddPoint(Width() / 2, Height() / 2, true);
}

// ---------------------------------------------------------------------------------------------
// Screen and action

TSchemeElementPtr<TSpecScreenElement> TSpecScreenElement::Create(TScheme* Scheme) {
  return Construct(new TSpecScreenElement(Scheme));
}

void TSpecScreenElement::Initialize() {
  TSchemeElement::Initialize();
  SetWidth(kElementWidth);
  SetHeight(kFrameHeight);
}

bool TSpecScreenElement::SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
  const bool Result = TSchemeElement::SetBounds(Left, Top, Width, Height);
  if (Result) PlaceTopAndBottomPoints(*this);
  return Result;
}

void TSpecScreenElement::Refresh() {
  SetHeight(FModel != nullptr ? HeightForRows(FModel->QuestionCount()) : kFrameHeight);
}

TSchemeElementPtr<TSpecActionElement> TSpecActionElement::Create(TScheme* Scheme) {
  return Construct(new TSpecActionElement(Scheme));
}

void TSpecActionElement::Initialize() {
  TSchemeElement::Initialize();
  SetWidth(kElementWidth);
  SetHeight(kFrameHeight);
}

bool TSpecActionElement::SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
  const bool Result = TSchemeElement::SetBounds(Left, Top, Width, Height);
  if (Result) PlaceTopAndBottomPoints(*this);
  return Result;
}

void TSpecActionElement::Refresh() {
  Scheme()->Repaint();
}

// ---------------------------------------------------------------------------------------------
// Decision point and its options

TSpecOptionInfo::TSpecOptionInfo(TSpecDecisionElement* Element, TSpecOption* Option)
    : FOption(Option),
      FPoint(Element->AddPoint(Element->Width() - 1, 0, false)),
      FElement(Element) {}

TSpecOptionInfo::~TSpecOptionInfo() {
  const int32_t Index = FElement->IndexOfOutputPoint(FPoint);
  if (Index >= 0) FElement->DeleteOutputPoint(Index);
}

void TSpecOptionInfo::UpdatePosition() {
  PlaceAtRow(FElement->IndexOfInfo(this));
}

void TSpecOptionInfo::PlaceAtRow(int32_t Row) {
  FPoint->SetX(FElement->Width() - 1);
  FPoint->SetY(kFirstOptionY + kRowHeight * Row);
}

std::string TSpecOptionInfo::GetCaption() const {
  return FOption->IsDefault ? std::string("Default") : FOption->Condition.Expression;
}

TSchemeElementPtr<TSpecDecisionElement> TSpecDecisionElement::Create(TScheme* Scheme) {
  return Construct(new TSpecDecisionElement(Scheme));
}

TSpecDecisionElement::~TSpecDecisionElement() {
  ClearOptions();
}

void TSpecDecisionElement::Detach() {
  ClearOptions();
  TSchemeElement::Detach();
}

void TSpecDecisionElement::Initialize() {
  TSchemeElement::Initialize();
  SetWidth(kElementWidth);
  SetHeight(kFrameHeight);
}

void TSpecDecisionElement::CreateConnectionPoints() {
  AddPoint(Width() / 2, 0, true);
}

bool TSpecDecisionElement::SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
  const bool Result = TSchemeElement::SetBounds(Left, Top, Width, Height);
  if (!Result) return Result;
  if (InputPointCount() > 0) {
    InputPoints(0)->SetX(this->Width() / 2);
    InputPoints(0)->SetY(0);
  }
  for (int32_t I = 0; I < OutputPointCount(); ++I) OutputPoints(I)->SetX(this->Width() - 1);
  Scheme()->Repaint();
  return Result;
}

void TSpecDecisionElement::Refresh() {
  SyncOptions();
  SetHeight(FModel != nullptr ? HeightForRows(OptionCount()) : kFrameHeight);
  Scheme()->Repaint();
}

TSpecOptionInfo* TSpecDecisionElement::Options(int32_t Index) const {
  if (Index < 0 || static_cast<size_t>(Index) >= FOptions.size()) RaiseListIndexError(Index);
  return FOptions[static_cast<size_t>(Index)].get();
}

int32_t TSpecDecisionElement::IndexOfOption(const TSpecOption* Option) const {
  for (size_t I = FOptions.size(); I-- > 0;)
    if (FOptions[I]->Option() == Option) return static_cast<int32_t>(I);
  return -1;
}

// Each info is listed once; searching from both ends finds the first one (as clearing takes
// it) and the last one in a step.
int32_t TSpecDecisionElement::IndexOfInfo(const TSpecOptionInfo* Info) const {
  for (size_t Front = 0, Back = FOptions.size(); Front < Back; ++Front) {
    if (FOptions[Front].get() == Info) return static_cast<int32_t>(Front);
    if (FOptions[--Back].get() == Info) return static_cast<int32_t>(Back);
  }
  return -1;
}

TSpecOptionInfo* TSpecDecisionElement::AddOption(TSpecOption* Option) {
  std::unique_ptr<TSpecOptionInfo> Info(new TSpecOptionInfo(this, Option));
  FOptions.push_back(std::move(Info));
  return FOptions.back().get();
}

// Removes the entry of that very info (its point and the point's link go with it).
void TSpecDecisionElement::RemoveOption(TSpecOptionInfo* Info) {
  const int32_t Index = IndexOfInfo(Info);
  if (Index < 0) return;
  std::unique_ptr<TSpecOptionInfo> Owned = std::move(FOptions[static_cast<size_t>(Index)]);
  FOptions.erase(FOptions.begin() + Index);
  Owned.reset();
}

// Moves the info of the option to the option's place in the model, keeping output point i
// the point of info i, and puts its point level with its row.
void TSpecDecisionElement::SyncOptionOrder(TSpecOption* Option) {
  const int32_t I = IndexOfOption(Option);
  const int32_t J = FModel != nullptr ? FModel->IndexOfOption(Option) : -1;
  if (I >= 0 && J >= 0 && J < OptionCount() && J < OutputPointCount() && I < OutputPointCount()) {
    std::swap(FOptions[static_cast<size_t>(I)], FOptions[static_cast<size_t>(J)]);
    ExchangeOutputPoints(I, J);
  }
}

// The searches of the three steps are answered from hash tables, so that a decision point
// with many options is brought in line in linear time; the model holds each option once, and
// while the element does too, the tables give exactly what the searches give.
void TSpecDecisionElement::SyncOptions() {
  if (FModel == nullptr) return;
  const int32_t ModelCount = FModel->OptionCount();
  std::unordered_set<const TSpecOption*> InModel;
  InModel.reserve(static_cast<size_t>(ModelCount));
  for (int32_t K = 0; K < ModelCount; ++K) InModel.insert(FModel->Options(K));
  for (int32_t I = OptionCount(); I-- > 0;)
    if (InModel.count(FOptions[static_cast<size_t>(I)]->Option()) == 0)
      RemoveOption(FOptions[static_cast<size_t>(I)].get());

  // The entry of each option: the last one that holds it, as IndexOfOption finds it.
  std::unordered_map<const TSpecOption*, int32_t> Entry;
  Entry.reserve(FOptions.size() + static_cast<size_t>(ModelCount));
  for (int32_t I = 0; I < OptionCount(); ++I) Entry[FOptions[static_cast<size_t>(I)]->Option()] = I;
  for (int32_t K = 0; K < ModelCount; ++K) {
    TSpecOption* Option = FModel->Options(K);
    if (Entry.count(Option) == 0) {
      AddOption(Option);
      Entry[Option] = OptionCount() - 1;
    }
  }

  if (Entry.size() != FOptions.size()) {
    // An option held by two entries: the searches themselves decide.
    for (int32_t K = 0; K < ModelCount; ++K) {
      SyncOptionOrder(FModel->Options(K));
      if (K < OptionCount()) FOptions[static_cast<size_t>(K)]->UpdatePosition();
    }
    return;
  }
  for (int32_t K = 0; K < ModelCount; ++K) {
    const auto Found = Entry.find(FModel->Options(K));
    const int32_t I = Found != Entry.end() ? Found->second : -1;
    if (I >= 0 && I != K && K < OptionCount() && K < OutputPointCount() && I < OutputPointCount()) {
      std::swap(FOptions[static_cast<size_t>(I)], FOptions[static_cast<size_t>(K)]);
      ExchangeOutputPoints(I, K);
      Entry[FOptions[static_cast<size_t>(I)]->Option()] = I;
      Entry[FOptions[static_cast<size_t>(K)]->Option()] = K;
    }
    if (K < OptionCount()) FOptions[static_cast<size_t>(K)]->PlaceAtRow(K);
  }
}

void TSpecDecisionElement::ClearOptions() {
  while (!FOptions.empty()) RemoveOption(FOptions.front().get());
}

// ---------------------------------------------------------------------------------------------

TSpecObject* ElementModel(const TSchemeElement* Element) {
  if (auto* Start = dynamic_cast<const TSpecStartElement*>(Element)) return Start->Model();
  if (auto* Finish = dynamic_cast<const TSpecFinishElement*>(Element)) return Finish->Model();
  if (auto* Screen = dynamic_cast<const TSpecScreenElement*>(Element)) return Screen->Model();
  if (auto* Action = dynamic_cast<const TSpecActionElement*>(Element)) return Action->Model();
  if (auto* Decision = dynamic_cast<const TSpecDecisionElement*>(Element)) return Decision->Model();
  return nullptr;
}

void TSpecSchemeManager::LoadFromStream(TSpecDataReader& Stream) {
  FScheme->ClearLinks();
  FScheme->ClearElements();

  // Decision elements get one output point per option of their decision point, and several
  // elements may name the same decision point. Together they may make as many option points
  // as the template has options, plus one per byte of this section: a short section that
  // names one large decision point again and again cannot ask for gigabytes.
  int64_t OptionPointBudget = Stream.Remaining();
  for (int32_t I = 0; I < FTemplate->DecisionPointCount(); ++I)
    OptionPointBudget += FTemplate->DecisionPoints(I)->OptionCount();

  // Each record is made before its index is read; one whose index fails is freed with its
  // points and never added.
  const int32_t ElementCount = Stream.ReadInteger();
  for (int32_t I = 0; I < ElementCount; ++I) {
    TSchemeElementPtr<TSchemeElement> Element;
    switch (Stream.ReadByte()) {
      case rkStart: {
        auto Start = TSpecStartElement::Create(FScheme);
        Start->SetModel(FTemplate->Start());
        Element = std::move(Start);
        break;
      }
      case rkFinish: {
        auto Finish = TSpecFinishElement::Create(FScheme);
        Finish->SetModel(FTemplate->Finish());
        Element = std::move(Finish);
        break;
      }
      case rkScreen: {
        auto Screen = TSpecScreenElement::Create(FScheme);
        Screen->SetModel(FTemplate->Screens(Stream.ReadWord()));
        Screen->Refresh();
        Element = std::move(Screen);
        break;
      }
      case rkAction: {
        auto Action = TSpecActionElement::Create(FScheme);
        Action->SetModel(FTemplate->Actions(Stream.ReadWord()));
        Action->Refresh();
        Element = std::move(Action);
        break;
      }
      case rkDecision: {
        auto Decision = TSpecDecisionElement::Create(FScheme);
        TSpecDecisionPoint* Model = FTemplate->DecisionPoints(Stream.ReadWord());
        OptionPointBudget -= Model->OptionCount();
        if (OptionPointBudget < 0) throw Exception(kTooManyOptionPoints);
        Decision->SetModel(Model);
        Decision->Refresh();
        Element = std::move(Decision);
        break;
      }
      default:
        continue;  // a one-byte record that makes no element
    }
    TSchemeElement* Added = FScheme->AddElement(std::move(Element));
    Added->SetLeft(Stream.ReadInteger());
    Added->SetTop(Stream.ReadInteger());
  }

  const int32_t LinkCount = Stream.ReadInteger();
  for (int32_t I = 0; I < LinkCount; ++I) {
    TSchemeElement* From = FScheme->Elements(Stream.ReadInteger());
    TSchemeConnectionPoint* Source = From->OutputPoints(Stream.ReadWord());
    TSchemeElement* To = FScheme->Elements(Stream.ReadInteger());
    TSchemeConnectionPoint* Target = To->InputPoints(Stream.ReadWord());
    FScheme->AddLink(Source, Target);
  }

  FScheme->SetScrollX(Stream.ReadInteger());
  FScheme->SetScrollY(Stream.ReadInteger());
}

// ---------------------------------------------------------------------------------------------
// Drawing

namespace {

constexpr const char* kElementFont = "Tahoma";
constexpr int32_t kElementFontSize = 8;

// The element's bounds in control coordinates, computed in 64 bits; what reaches the canvas
// wraps to 32 bits as the diagram's coordinates do.
struct TElementBox {
  int64_t L, T, R, B;
};

int32_t C(int64_t Value) {
  return static_cast<int32_t>(Value);
}

TSchemeRect Rect(int64_t L, int64_t T, int64_t R, int64_t B) {
  return {C(L), C(T), C(R), C(B)};
}

TElementBox BoxOf(const TSchemeElement& Element) {
  const TScheme* Scheme = Element.Scheme();
  const int64_t L = C(int64_t{Element.Left()} - Scheme->ScrollX());
  const int64_t T = C(int64_t{Element.Top()} - Scheme->ScrollY());
  return {L, T, C(L + Element.Width()), C(T + Element.Height())};
}

// Start and finish: selection wins over highlighting.
TSchemeColor MarkerFill(const TSchemeElement& Element) {
  if (Element.Selected()) return clSchemeLightGreen;
  return Element.Highlighted() ? clSchemeLightBlue : clSchemeLightGray;
}

// Two concentric ellipses, the outer in Outer and the inner, 5 pixels in, in Inner.
void DrawMarker(TSchemeCanvas& Canvas, const TElementBox& Box, TSchemeColor Outer,
                TSchemeColor Inner) {
  Canvas.SetPenStyle(TSchemePenStyle::Solid);
  Canvas.SetPenColor(clSchemeGray);
  Canvas.SetBrushStyle(TSchemeBrushStyle::Solid);
  Canvas.SetBrushColor(Outer);
  Canvas.Ellipse(Rect(Box.L, Box.T, Box.R, Box.B));
  Canvas.SetBrushColor(Inner);
  Canvas.Ellipse(Rect(Box.L + 5, Box.T + 5, Box.R - 5, Box.B - 5));
}

// The frame shared by screens, decision points and actions: colours by selection (the fill
// turns light blue when highlighted, whatever the selection), the bold caption font, the
// outline. Returns the fill and leaves the font colour in TextColor.
TSchemeColor DrawBoxFrame(TSchemeCanvas& Canvas, const TSchemeElement& Element,
                          const TElementBox& Box, TSchemeColor& TextColor) {
  TSchemeColor Fill = Element.Selected() ? clSchemeLightGreen : clSchemeLightGray;
  const TSchemeColor Pen = Element.Selected() ? clSchemeBlack : clSchemeGray;
  TextColor = Pen;
  if (Element.Highlighted()) Fill = clSchemeLightBlue;
  Canvas.SetPenStyle(TSchemePenStyle::Solid);
  Canvas.SetPenColor(Pen);
  Canvas.SetBrushStyle(TSchemeBrushStyle::Solid);
  Canvas.SetBrushColor(Fill);
  Canvas.SetFont(kElementFont, kElementFontSize, true, TextColor);
  Canvas.Rectangle(Rect(Box.L, Box.T, Box.R, Box.B));
  return Fill;
}

void DrawCaption(TSchemeCanvas& Canvas, const TElementBox& Box, const std::string& Caption) {
  Canvas.TextRect(Rect(Box.L + 25, Box.T + 5, Box.R - 5, Box.T + 25), C(Box.L + 25), C(Box.T + 5),
                  Caption);
}

void DrawPolyline(TSchemeCanvas& Canvas,
                  std::initializer_list<std::pair<int64_t, int64_t>> Points) {
  const auto* First = Points.begin();
  Canvas.MoveTo(C(First->first), C(First->second));
  for (const auto* Point = First + 1; Point != Points.end(); ++Point)
    Canvas.LineTo(C(Point->first), C(Point->second));
}

// Row i of a screen or decision element: 21 high at a pitch of 20 from 30 below the top.
// The rows of a screen or decision element in the fill scaled by 0.95 and the regular font:
// row i 21 high at a pitch of 20 from 30 below the top (neighbours share a border line),
// inset from the left and right edges, its text 3 pixels inside.
template <class TextOf>
void DrawRows(TSchemeCanvas& Canvas, const TElementBox& Box, TSchemeColor Fill,
              TSchemeColor TextColor, int64_t LeftInset, int64_t RightInset, int32_t Count,
              TextOf Text) {
  Canvas.SetBrushColor(ScaleColor(Fill, 0.95));
  Canvas.SetFont(kElementFont, kElementFontSize, false, TextColor);
  const int64_t Left = Box.L + LeftInset, Right = Box.R - RightInset;
  for (int32_t I = 0; I < Count; ++I) {
    const int64_t Top = C(Box.T + 30 + int64_t{20} * I);
    Canvas.Rectangle(Rect(Left, Top, Right, Top + 21));
    Canvas.TextRect(Rect(Left + 3, Top + 3, Right - 3, Top + 18), C(Left + 3), C(Top + 3), Text(I));
  }
}

}  // namespace

void TSpecStartElement::Draw(TSchemeCanvas& Canvas) {
  DrawMarker(Canvas, BoxOf(*this), clSchemeWhite, MarkerFill(*this));
}

void TSpecFinishElement::Draw(TSchemeCanvas& Canvas) {
  DrawMarker(Canvas, BoxOf(*this), MarkerFill(*this), clSchemeWhite);
}

void TSpecScreenElement::Draw(TSchemeCanvas& Canvas) {
  const TElementBox Box = BoxOf(*this);
  const int64_t L = Box.L, T = Box.T;
  TSchemeColor TextColor = 0;
  const TSchemeColor Fill = DrawBoxFrame(Canvas, *this, Box, TextColor);
  DrawPolyline(
      Canvas, {{L + 5, T + 5}, {L + 5, T + 17}, {L + 18, T + 17}, {L + 18, T + 5}, {L + 5, T + 5}});
  DrawPolyline(Canvas, {{L + 5, T + 6}, {L + 18, T + 6}});
  DrawCaption(Canvas, Box, FModel != nullptr ? FModel->GetTitle() : std::string("<No screen>"));
  if (FModel == nullptr) return;
  DrawRows(Canvas, Box, Fill, TextColor, 10, 10, FModel->QuestionCount(),
           [this](int32_t I) { return FModel->Questions(I)->GetText(); });
}

void TSpecDecisionElement::Draw(TSchemeCanvas& Canvas) {
  const TElementBox Box = BoxOf(*this);
  const int64_t L = Box.L, T = Box.T;
  TSchemeColor TextColor = 0;
  const TSchemeColor Fill = DrawBoxFrame(Canvas, *this, Box, TextColor);
  DrawPolyline(
      Canvas,
      {{L + 5, T + 12}, {L + 12, T + 19}, {L + 19, T + 12}, {L + 12, T + 5}, {L + 5, T + 12}});
  std::string Caption = "<No DecisionPoint>";
  if (FModel != nullptr) Caption = FModel->Name.empty() ? "Decision Point" : FModel->Name;
  DrawCaption(Canvas, Box, Caption);
  if (FModel == nullptr) return;
  DrawRows(Canvas, Box, Fill, TextColor, 20, 0, OptionCount(),
           [this](int32_t I) { return Options(I)->GetCaption(); });
}

void TSpecActionElement::Draw(TSchemeCanvas& Canvas) {
  const TElementBox Box = BoxOf(*this);
  const int64_t L = Box.L, T = Box.T;
  TSchemeColor TextColor = 0;
  DrawBoxFrame(Canvas, *this, Box, TextColor);
  Canvas.Ellipse(Rect(L + 5, T + 5, L + 20, T + 19));
  std::string Caption = "<No Action>";
  if (FModel != nullptr) Caption = FModel->Kind == akSetValue ? "Set Value" : "Add Product";
  DrawCaption(Canvas, Box, Caption);
  if (FModel == nullptr) return;
  Canvas.SetFont(kElementFont, kElementFontSize, false, TextColor);
  const std::string Detail = FModel->Kind == akSetValue
                                 ? FModel->Variable + " := " + FModel->NewValue
                                 : FModel->ProductCode + ", " + FModel->Quantity;
  Canvas.TextRect(Rect(L + 5, T + 23, Box.R - 5, T + 38), C(L + 5), C(T + 23), Detail);
}
