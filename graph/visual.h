#pragma once

// The flow graph's model: elements with connection points, directed links from an output
// point to an input point, and the diagram object TScheme that owns them and enforces the
// attachment rules. Everything here is plain data and logic; a window system reaches the
// diagram only through the optional TSchemeHost (repaint requests, size, canvas, cursor,
// screen coordinates), so the wizard keeps a host-less scheme that is never shown.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class TScheme;
class TSchemeElement;
class TSchemeLink;
class TSchemeConnectionPoint;

// ---------------------------------------------------------------------------------------------
// What the diagram needs of a window system. A view that shows a scheme implements these.

// A colour as $00BBGGRR: red in the low byte, green in the second, blue in the third.
using TSchemeColor = uint32_t;

struct TSchemePoint {
  int32_t X = 0;
  int32_t Y = 0;
};

// A rectangle that excludes its right and bottom edge.
struct TSchemeRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
};

enum class TSchemePenStyle : uint8_t { Solid, Dot };
enum class TSchemePenMode : uint8_t { Copy, Xor };
enum class TSchemeBrushStyle : uint8_t { Solid, Clear };
enum class TSchemeCursor : uint8_t { Default, Move, Cross, Drag, NoDrop };
enum class TSchemeMouseButton : uint8_t { Left, Right, Middle };

// The diagram's colours.
inline constexpr TSchemeColor clSchemeBlack = 0x000000;
inline constexpr TSchemeColor clSchemeGray = 0x808080;
inline constexpr TSchemeColor clSchemeSilver = 0xC0C0C0;
inline constexpr TSchemeColor clSchemeWhite = 0xFFFFFF;
inline constexpr TSchemeColor clSchemeRed = 0x0000FF;
inline constexpr TSchemeColor clSchemeBlue = 0xFF0000;
inline constexpr TSchemeColor clSchemeLightGray = 0xF0F0F0;
inline constexpr TSchemeColor clSchemeLightGreen = 0xCDFFBA;
inline constexpr TSchemeColor clSchemeLightBlue = 0xFFCDBA;

// IntMax (Low, IntMin (High, Value)).
int32_t ClampInt(int32_t Low, int32_t High, int32_t Value);
// Each channel of the colour (a system colour is looked up first) times Factor, rounded to
// the nearest (halves to even) and clamped to 0..255.
TSchemeColor ScaleColor(TSchemeColor Color, double Factor);

// The drawing surface of the diagram, in control coordinates.
class TSchemeCanvas {
 public:
  virtual ~TSchemeCanvas() = default;

  virtual void Lock() = 0;
  virtual void Unlock() = 0;

  virtual TSchemeColor PenColor() const = 0;
  virtual void SetPenColor(TSchemeColor Color) = 0;
  virtual TSchemePenStyle PenStyle() const = 0;
  virtual void SetPenStyle(TSchemePenStyle Style) = 0;
  virtual TSchemePenMode PenMode() const = 0;
  virtual void SetPenMode(TSchemePenMode Mode) = 0;
  virtual TSchemeColor BrushColor() const = 0;
  virtual void SetBrushColor(TSchemeColor Color) = 0;
  virtual TSchemeBrushStyle BrushStyle() const = 0;
  virtual void SetBrushStyle(TSchemeBrushStyle Style) = 0;
  virtual void SetFont(const std::string& Name, int32_t Size, bool Bold, TSchemeColor Color) = 0;

  // LineTo does not draw its end point; Rectangle and Ellipse outline with the pen and fill
  // with the brush inside their bounds.
  virtual void MoveTo(int32_t X, int32_t Y) = 0;
  virtual void LineTo(int32_t X, int32_t Y) = 0;
  virtual void Rectangle(const TSchemeRect& Bounds) = 0;
  virtual void Ellipse(const TSchemeRect& Bounds) = 0;
  virtual void FillRect(const TSchemeRect& Bounds) = 0;
  // Fills Clip with the brush, then draws Text (Windows-1251) with its top-left at (X, Y),
  // clipped to Clip.
  virtual void TextRect(const TSchemeRect& Clip, int32_t X, int32_t Y, const std::string& Text) = 0;
  virtual void SetPixel(int32_t X, int32_t Y, TSchemeColor Color) = 0;

  virtual TSchemeRect ClipRect() const = 0;
  virtual void SetClipRegion(const TSchemeRect& Region) = 0;
  virtual void RemoveClipRegion() = 0;
};

// A pop-up menu that opens at a point in screen coordinates.
class TSchemePopupMenu {
 public:
  virtual ~TSchemePopupMenu() = default;
  virtual void Popup(int32_t ScreenX, int32_t ScreenY) = 0;
};

// The view that shows a scheme. Repaint asks for the whole diagram to be redrawn later;
// Canvas is null while the view has nothing to draw on.
class TSchemeHost {
 public:
  virtual ~TSchemeHost() = default;
  virtual void Repaint() = 0;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual TSchemeCanvas* Canvas() = 0;
  virtual void SetCursor(TSchemeCursor Cursor) = 0;
  virtual TSchemePoint ClientToScreen(TSchemePoint Client) const = 0;
};

// ---------------------------------------------------------------------------------------------

// A vector that drops its first entry in constant time, so that clearing a list by deleting
// entry 0 until none is left stays linear while the list keeps a vector's memory.
template <class T>
class TSchemeList {
 public:
  using iterator = typename std::vector<T>::iterator;
  using const_iterator = typename std::vector<T>::const_iterator;

  size_t size() const { return FItems.size() - FHead; }
  bool empty() const { return size() == 0; }
  T& operator[](size_t Index) { return FItems[FHead + Index]; }
  const T& operator[](size_t Index) const { return FItems[FHead + Index]; }
  T& front() { return FItems[FHead]; }
  const T& front() const { return FItems[FHead]; }
  T& back() { return FItems.back(); }
  const T& back() const { return FItems.back(); }
  iterator begin() { return FItems.begin() + static_cast<std::ptrdiff_t>(FHead); }
  iterator end() { return FItems.end(); }
  const_iterator begin() const { return FItems.begin() + static_cast<std::ptrdiff_t>(FHead); }
  const_iterator end() const { return FItems.end(); }

  void push_back(T Item) { FItems.push_back(std::move(Item)); }
  void erase(const_iterator Position) {
    if (Position != begin()) {
      FItems.erase(Position);
      return;
    }
    FItems[FHead++] = T();
    // The dropped head is given back once it is as long as the rest: amortised constant.
    if (FHead == FItems.size()) {
      FItems.clear();
      FHead = 0;
    } else if (FHead >= 16 && 2 * FHead >= FItems.size()) {
      FItems.erase(FItems.begin(), FItems.begin() + static_cast<std::ptrdiff_t>(FHead));
      FHead = 0;
    }
  }

 private:
  std::vector<T> FItems;
  size_t FHead = 0;
};

// ---------------------------------------------------------------------------------------------
// Geometry on extended-precision reals.

// Direction of the vector from (X1, Y1) to (X2, Y2) in radians, in [0, 2*pi); 0 for a null
// vector.
long double VectorAngle(long double X1, long double Y1, long double X2, long double Y2);
// Euclidean distance of two points.
long double PointDistance(long double X1, long double Y1, long double X2, long double Y2);

// ---------------------------------------------------------------------------------------------

// A directed link from an output point to an input point. Links are made only by
// TScheme::AddLink and freed only by TScheme::DeleteLink (directly or through the deletion
// of one of their points).
class TSchemeLink final {
 public:
  ~TSchemeLink();
  TSchemeLink(const TSchemeLink&) = delete;
  TSchemeLink& operator=(const TSchemeLink&) = delete;

  TScheme* Scheme() const { return FScheme; }
  TSchemeConnectionPoint* Source() const { return FSource; }
  TSchemeConnectionPoint* Target() const { return FTarget; }
  bool Selected() const { return FSelected; }
  void SetSelected(bool Value);
  void RepaintScheme();

  // Hit distance of a diagram point from the link, and whether it is close enough to pick.
  int32_t DistanceTo(int32_t X, int32_t Y) const;
  bool HitTest(int32_t X, int32_t Y) const { return DistanceTo(X, Y) < 3; }
  // The line from source to target with a two-stroke arrowhead at the target.
  void Draw(TSchemeCanvas& Canvas) const;

 private:
  friend class TScheme;
  friend class TSchemeConnectionPoint;
  // Attaches to both ends or raises EAbort with nothing attached.
  TSchemeLink(TScheme* Scheme, TSchemeConnectionPoint* Source, TSchemeConnectionPoint* Target);

  TScheme* FScheme = nullptr;
  TSchemeConnectionPoint* FSource = nullptr;
  TSchemeConnectionPoint* FTarget = nullptr;
  bool FSelected = false;
  // Set while the scheme's Links list holds the link.
  bool FListed = false;
};

// The links that end at one input point, in attachment order. Holds references only. Each link
// is listed once; a long list answers membership from a set, and a link near either end (the
// last attached, or the first when links are cleared in creation order) is found at once.
class TSchemeLinkList final {
 public:
  TSchemeLinkList(TScheme* Scheme, TSchemeConnectionPoint* Point)
      : FScheme(Scheme), FPoint(Point) {}
  TSchemeLinkList(const TSchemeLinkList&) = delete;
  TSchemeLinkList& operator=(const TSchemeLinkList&) = delete;

  TScheme* Scheme() const { return FScheme; }
  TSchemeConnectionPoint* Point() const { return FPoint; }

  int32_t Add(TSchemeLink* Link);
  int32_t IndexOf(const TSchemeLink* Link) const;
  void Remove(const TSchemeLink* Link);
  void Delete(int32_t Index);
  void Clear();
  TSchemeLink* Items(int32_t Index) const;
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }

 private:
  TScheme* FScheme;
  TSchemeConnectionPoint* FPoint;
  // Kept from the moment the list first grows long.
  bool Lists(const TSchemeLink* Link) const;

  TSchemeList<TSchemeLink*> FItems;
  bool FIndexed = false;
  std::unordered_set<const TSchemeLink*> FListed;
};

// A connection point of an element: an input point (Multi, any number of links end here) or
// an output point (at most one link starts here). X and Y are offsets from the element's
// top-left corner. Points are made only through TSchemeElement::AddPoint.
class TSchemeConnectionPoint final {
 public:
  static constexpr int32_t BoxWidth = 5;
  static constexpr int32_t BoxHeight = 5;

  // Deletes every attached link through the scheme.
  ~TSchemeConnectionPoint();
  TSchemeConnectionPoint(const TSchemeConnectionPoint&) = delete;
  TSchemeConnectionPoint& operator=(const TSchemeConnectionPoint&) = delete;

  TSchemeElement* Element() const { return FElement; }
  TScheme* GetScheme() const;
  // The links that end here (input points only).
  TSchemeLinkList& Links() { return FLinks; }
  const TSchemeLinkList& Links() const { return FLinks; }
  // The one link that starts here (output points only), or null.
  TSchemeLink* Link() const { return FLink; }
  bool Multi() const { return FMulti; }
  int32_t X() const { return FX; }
  int32_t Y() const { return FY; }
  // Re-placing a point does not ask for a repaint: the element that moves it does.
  void SetX(int32_t Value) { FX = Value; }
  void SetY(int32_t Value) { FY = Value; }

  int32_t AbsoluteX() const;
  int32_t AbsoluteY() const;
  int32_t BoxLeft() const;
  int32_t BoxTop() const;

  bool AttachLink(TSchemeLink* Link);
  void DetachLink(const TSchemeLink* Link);
  void DeleteLinks();
  void RepaintLinks();
  // A diagonal cross in the marker box: blue for an input point, red for an output point.
  void Draw(TSchemeCanvas& Canvas) const;

 private:
  friend class TSchemeElement;
  TSchemeConnectionPoint(TSchemeElement* Element, int32_t X, int32_t Y, bool Multi);

  TSchemeElement* FElement;
  TSchemeLinkList FLinks;
  TSchemeLink* FLink = nullptr;
  bool FMulti;
  int32_t FX;
  int32_t FY;
};

// Frees an element only after detaching it (its points and links go, with their events) while
// the whole object is still alive.
struct TSchemeElementDeleter {
  void operator()(TSchemeElement* Element) const;
};
template <class T>
using TSchemeElementPtr = std::unique_ptr<T, TSchemeElementDeleter>;

// An element of the diagram: a box with connection points. Typed elements derive from it.
// Construction has two phases: the constructor stores the fields, then Initialize (run by the
// factory) makes the connection points through the class's own virtual operations.
class TSchemeElement {
 public:
  static constexpr int32_t MinWidth = 40;
  static constexpr int32_t MinHeight = 30;

  // A base element of 60 x 40 at (0, 0) with an input point on its top edge and an output
  // point on its bottom edge, registered with the scheme but not yet added to it.
  static TSchemeElementPtr<TSchemeElement> Create(TScheme* Scheme);

  virtual ~TSchemeElement();
  TSchemeElement(const TSchemeElement&) = delete;
  TSchemeElement& operator=(const TSchemeElement&) = delete;

  // The step before destruction: removes every point, and with them their links. The
  // deleter and TScheme::DeleteElement call it; an override removes its own parts first.
  virtual void Detach();

  TScheme* Scheme() const { return FScheme; }
  int32_t Left() const { return FLeft; }
  int32_t Top() const { return FTop; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  bool Selected() const { return FSelected; }
  bool Highlighted() const { return FHighlighted; }
  void SetHighlighted(bool Value) { FHighlighted = Value; }

  // Stores a size of at least 40 x 30, asks for a repaint and snaps to the grid; otherwise
  // changes nothing and answers false.
  virtual bool SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height);
  virtual void AlignToGrid();
  // Draws the element in control coordinates at the scheme's scroll position.
  virtual void Draw(TSchemeCanvas& Canvas);
  void SetLeft(int32_t Value);
  void SetTop(int32_t Value);
  void SetWidth(int32_t Value);
  void SetHeight(int32_t Value);
  void SetSelected(bool Value);
  bool ContainsPoint(int32_t X, int32_t Y) const;

  int32_t IndexOfOutputPoint(const TSchemeConnectionPoint* Point) const;
  int32_t OutputPointCount() const { return static_cast<int32_t>(FOutputPoints.size()); }
  TSchemeConnectionPoint* OutputPoints(int32_t Index) const;
  int32_t InputPointCount() const { return static_cast<int32_t>(FInputPoints.size()); }
  TSchemeConnectionPoint* InputPoints(int32_t Index) const;
  void DeleteOutputPoint(int32_t Index);
  void DeleteInputPoint(int32_t Index);
  void DeleteAllPoints();

  // Makes a point, appends it to the input or output points and registers it with the scheme.
  TSchemeConnectionPoint* AddPoint(int32_t X, int32_t Y, bool Multi);

 protected:
  explicit TSchemeElement(TScheme* Scheme);

  // The second construction phase: 60 x 40 at (0, 0), then CreateConnectionPoints.
  virtual void Initialize();
  virtual void CreateConnectionPoints();

  // Exchanges two output points (a decision element keeps them in its options' order).
  void ExchangeOutputPoints(int32_t I, int32_t J);

  // Runs the second phase on a freshly constructed element and hands it over.
  template <class T>
  static TSchemeElementPtr<T> Construct(T* Element) {
    TSchemeElementPtr<T> Result(Element);
    static_cast<TSchemeElement*>(Result.get())->Initialize();
    return Result;
  }

 private:
  using TPointList = TSchemeList<std::unique_ptr<TSchemeConnectionPoint>>;
  void DeletePoint(TPointList& List, int32_t Index);

  TScheme* FScheme;
  int32_t FLeft = 0;
  int32_t FTop = 0;
  int32_t FWidth = 60;
  int32_t FHeight = 40;
  TPointList FOutputPoints;
  bool FSelected = false;
  bool FHighlighted = false;
  TPointList FInputPoints;
};

// What the diagram is doing with the mouse (editing).
enum TSchemeMode : uint8_t {
  smNormal = 0,
  smNewElement,
  smNewLink,
  smMoveElement,
  smMoveLink,
  smMoveMultiElement,
  smMarquee,
  smNewBoundedElement,
};

using TSchemeNewElementEvent = std::function<void(TScheme* aSender, int32_t aX, int32_t aY)>;
using TSchemeElementEvent = std::function<void(TScheme* aSender, TSchemeElement* aElement)>;
using TSchemeLinkEvent = std::function<void(TScheme* aSender, TSchemeLink* aLink)>;
using TSchemeModeEvent =
    std::function<void(TScheme* aSender, TSchemeMode aOldMode, TSchemeMode aNewMode)>;
using TSchemeSelectionEvent = std::function<void(TScheme* aSender)>;

// What is selected: nothing, one element, one link, or several elements. An element or link
// is marked Selected exactly while the selection holds it.
class TSchemeSelection final {
 public:
  enum TKind : uint8_t { skNone = 0, skElement = 1, skLink = 2, skElements = 3 };

  explicit TSchemeSelection(TScheme* Scheme) : FScheme(Scheme) {}
  ~TSchemeSelection();
  TSchemeSelection(const TSchemeSelection&) = delete;
  TSchemeSelection& operator=(const TSchemeSelection&) = delete;

  TScheme* Scheme() const { return FScheme; }
  TKind Kind() const { return FKind; }
  TSchemeElement* SelectedElement() const { return FKind == skElement ? FElement : nullptr; }
  TSchemeLink* SelectedLink() const { return FKind == skLink ? FLink : nullptr; }
  // The elements of a selection of several; 0 and null for the other kinds.
  int32_t Count() const;
  TSchemeElement* Items(int32_t Index) const;
  bool Holds(const TSchemeElement* Element) const;

  // The bounding box of a selection of several elements; 0 for the other kinds.
  int32_t BoundsLeft() const { return FKind == skElements ? FBoundsLeft : 0; }
  int32_t BoundsTop() const { return FKind == skElements ? FBoundsTop : 0; }
  int32_t BoundsWidth() const { return FKind == skElements ? FBoundsWidth : 0; }
  int32_t BoundsHeight() const { return FKind == skElements ? FBoundsHeight : 0; }

  // Selects one element or one link (null: nothing happens).
  void Select(TSchemeElement* Element);
  void Select(TSchemeLink* Link);
  // Shift-click on an element: adds it to the selection or takes it out.
  void Toggle(TSchemeElement* Element);
  // Marks every listed element selected and computes their bounding box, with one repaint.
  void UpdateBounds();
  // Deselects everything; notifies only when something was selected.
  void Clear();
  void Changed();
  // Selects the elements whose closed rectangles share a point with the closed rectangle
  // through the two corners.
  void SelectRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  // Moves a selection of several elements so that its bounding box's top-left lands at (X, Y).
  void MoveTo(int32_t X, int32_t Y);
  // A selection of several elements one of which contains the point.
  bool ContainsPoint(int32_t X, int32_t Y) const;

  // Called with the scheme after every change of the selection.
  TSchemeSelectionEvent OnChange;

 private:
  // Clears before a new selection is made; false when a handler of the notification deleted
  // the object to be selected or selected something else.
  bool ClearFor(const TSchemeElement* Element);
  bool ClearFor(const TSchemeLink* Link);

  TScheme* FScheme;
  TSchemeElement* FElement = nullptr;
  TSchemeLink* FLink = nullptr;
  TKind FKind = skNone;
  std::vector<TSchemeElement*> FList;
  int32_t FBoundsLeft = 0;
  int32_t FBoundsTop = 0;
  int32_t FBoundsWidth = 0;
  int32_t FBoundsHeight = 0;
};

// The drag feedback: a frame that follows the mouse on the grid, or a rubber-band line. Idle
// at creation, with its six coordinates -1.
class TSchemeMoveInfo final {
 public:
  enum TState : uint8_t { msIdle = 0, msFrame = 1, msLine = 2 };

  explicit TSchemeMoveInfo(TScheme* Scheme) : FScheme(Scheme) {}
  // Erases a shown figure.
  ~TSchemeMoveInfo();
  TSchemeMoveInfo(const TSchemeMoveInfo&) = delete;
  TSchemeMoveInfo& operator=(const TSchemeMoveInfo&) = delete;

  TScheme* Scheme() const { return FScheme; }
  TState State() const { return FState; }
  int32_t OffsetX() const { return FOffsetX; }
  int32_t OffsetY() const { return FOffsetY; }
  int32_t CurX() const { return FCurX; }
  int32_t CurY() const { return FCurY; }
  int32_t FrameWidth() const { return FFrameWidth; }
  int32_t FrameHeight() const { return FFrameHeight; }

  // Each begins only while idle and draws the figure.
  void BeginFrame(int32_t X, int32_t Y, int32_t FrameLeft, int32_t FrameTop, int32_t FrameWidth,
                  int32_t FrameHeight);
  void BeginLine(int32_t X, int32_t Y, int32_t FixedX, int32_t FixedY);
  // The frame's top-left and the line's free end; -1, -1 unless that figure is shown. Both
  // erase the figure and return to idle.
  void EndFrame(int32_t& Left, int32_t& Top);
  void EndLine(int32_t& X, int32_t& Y);
  // Follows the mouse: a frame snaps its top-left to the grid; redraws only on a change.
  void Track(int32_t X, int32_t Y);
  // The figure with a dotted XOR pen: drawing it twice restores the pixels.
  void Draw(TSchemeCanvas& Canvas) const;

 private:
  TScheme* FScheme;
  TState FState = msIdle;
  int32_t FOffsetX = -1;
  int32_t FOffsetY = -1;
  int32_t FCurX = -1;
  int32_t FCurY = -1;
  int32_t FFrameWidth = -1;
  int32_t FFrameHeight = -1;
};

// The selection rectangle dragged over the diagram; inactive at creation, corners -1.
class TSchemeMarquee final {
 public:
  explicit TSchemeMarquee(TScheme* Scheme) : FScheme(Scheme) {}
  // Stops an active marquee, erasing it.
  ~TSchemeMarquee();
  TSchemeMarquee(const TSchemeMarquee&) = delete;
  TSchemeMarquee& operator=(const TSchemeMarquee&) = delete;

  TScheme* Scheme() const { return FScheme; }
  bool Active() const { return FActive; }
  int32_t StartX() const { return FStartX; }
  int32_t StartY() const { return FStartY; }
  int32_t EndX() const { return FEndX; }
  int32_t EndY() const { return FEndY; }

  void Start(int32_t X, int32_t Y);
  void Track(int32_t X, int32_t Y);
  // Erases the rectangle; the corners stay for the caller to read.
  void Stop(int32_t X, int32_t Y);
  void Draw(TSchemeCanvas& Canvas) const;

 private:
  TScheme* FScheme;
  bool FActive = false;
  int32_t FStartX = -1;
  int32_t FStartY = -1;
  int32_t FEndX = -1;
  int32_t FEndY = -1;
};

// The diagram: owns its elements (in drawing order; the position is the graph index) and its
// links (in creation order), registers every connection point, and enforces the attachment
// rules. Its events fire only while EventsEnabled is set.
class TScheme {
 public:
  explicit TScheme(TSchemeHost* Host = nullptr);
  // Clears the links, then the elements, with their remove events.
  virtual ~TScheme();
  TScheme(const TScheme&) = delete;
  TScheme& operator=(const TScheme&) = delete;

  TSchemeHost* Host() const { return FHost; }
  void SetHost(TSchemeHost* Host) { FHost = Host; }
  // Asks the host, if any, to redraw the whole diagram.
  void Repaint();

  void AddPoint(TSchemeConnectionPoint* Point);
  void RemovePoint(const TSchemeConnectionPoint* Point);
  int32_t PointCount() const { return static_cast<int32_t>(FPoints.size()); }
  TSchemeConnectionPoint* Points(int32_t Index) const;
  // Index of a registered point, -1 for one that is not (or no longer) registered.
  int32_t IndexOfPoint(const TSchemeConnectionPoint* Point) const;

  // Links an output point of this scheme to an input point of it; a refused link raises
  // EAbort before anything changes.
  TSchemeLink* AddLink(TSchemeConnectionPoint* Source, TSchemeConnectionPoint* Target);
  // Deletes a link of this scheme (a link it does not list is left alone).
  void DeleteLink(TSchemeLink* Link);
  void ClearLinks();
  int32_t IndexOfLink(const TSchemeLink* Link) const;
  int32_t LinkCount() const { return static_cast<int32_t>(FLinks.size()); }
  TSchemeLink* Links(int32_t Index) const;

  // Takes over an element made for this scheme (another scheme's element raises EAbort and is
  // freed). No event fires.
  TSchemeElement* AddElement(TSchemeElementPtr<TSchemeElement> Element);
  // Deletes an element of this scheme with its points and links (an element it does not list
  // is left alone).
  void DeleteElement(TSchemeElement* Element);
  void ClearElements();
  int32_t IndexOfElement(const TSchemeElement* Element) const;
  int32_t ElementCount() const { return static_cast<int32_t>(FElements.size()); }
  TSchemeElement* Elements(int32_t Index) const;

  TSchemeMode Mode() const { return FMode; }
  void SetMode(TSchemeMode NewMode);
  TSchemeSelection& Selection() { return *FSelection; }
  const TSchemeSelection& Selection() const { return *FSelection; }
  TSchemeMoveInfo& MoveInfo() { return *FMoveInfo; }
  TSchemeMarquee& Marquee() { return *FMarquee; }

  int32_t ScrollX() const { return FScrollX; }
  int32_t ScrollY() const { return FScrollY; }
  void SetScrollX(int32_t Value);
  void SetScrollY(int32_t Value);

  // The grid step, always at least 1 (a smaller value is taken as 1).
  int32_t GridX() const { return FGridX; }
  int32_t GridY() const { return FGridY; }
  void SetGridX(int32_t Value);
  void SetGridY(int32_t Value);

  bool UpdateLocked() const { return FUpdateLocked; }
  // Not counted: one EndUpdate ends any number of BeginUpdate calls.
  void BeginUpdate();
  void EndUpdate();

  // Painting, in control coordinates (a control without a host or canvas paints nothing).
  // Paint draws the view area with its grid, elements, points, links and drag feedback, then
  // the sunken border and the two scroll bars.
  void Paint();
  void Paint(TSchemeCanvas& Canvas);
  void DrawMoveInfo();
  void DrawMarquee();
  int32_t ViewLeft() const { return 2; }
  int32_t ViewTop() const { return 2; }
  int32_t ViewWidth() const;
  int32_t ViewHeight() const;
  int32_t DiagramMinLeft() const;
  int32_t DiagramMaxRight() const;
  int32_t DiagramMinTop() const;
  int32_t DiagramMaxBottom() const;
  // The control's size as the host reports it (0 without a host).
  int32_t ClientWidth() const;
  int32_t ClientHeight() const;

  // Mouse editing; positions in control coordinates.
  virtual void MouseDown(TSchemeMouseButton Button, bool Shift, int32_t X, int32_t Y);
  virtual void MouseMove(bool Shift, int32_t X, int32_t Y);
  virtual void MouseUp(TSchemeMouseButton Button, bool Shift, int32_t X, int32_t Y);
  // The nearest registered point of the kind within 5 pixels (the later one on a tie), or
  // null; diagram coordinates.
  TSchemeConnectionPoint* FindPointNear(int32_t X, int32_t Y, bool Multi) const;
  // No element contains the point and no link is hit.
  bool IsEmptySpot(int32_t X, int32_t Y) const;
  // Centres the view on the point at that fraction of the diagram's extent.
  void ScrollToFractionX(double Fraction);
  void ScrollToFractionY(double Fraction);

  // The steps of the drags, in diagram coordinates.
  void StartNewLink(int32_t X, int32_t Y);
  void FinishNewLink(int32_t X, int32_t Y);
  void StartMoveLink(int32_t X, int32_t Y);
  void FinishMoveLink(int32_t X, int32_t Y);
  void StartMoveElement(int32_t X, int32_t Y);
  void FinishMoveElement(int32_t X, int32_t Y);
  void StartMoveMulti(int32_t X, int32_t Y);
  void FinishMoveMulti(int32_t X, int32_t Y);
  void StartMarquee(int32_t X, int32_t Y);
  void FinishMarquee(int32_t X, int32_t Y);
  void EndBoundedFrame(int32_t& Left, int32_t& Top);

  // Editing state (the mouse handling uses these).
  bool LinkSeeksInput = false;
  TSchemeConnectionPoint* LinkDragStart = nullptr;

  TSchemePopupMenu* ContextMenu = nullptr;
  // Gates all six events and nothing else.
  bool EventsEnabled = true;
  bool EditLocked = false;
  bool ShowGrid = false;

  TSchemeNewElementEvent OnNewElement;
  TSchemeElementEvent OnRemoveElement;
  TSchemeLinkEvent OnAddLink;
  TSchemeLinkEvent OnRemoveLink;
  TSchemeModeEvent OnModeChange;
  TSchemeSelectionEvent OnSelectionChange;

 protected:
  virtual void DoNewElement(int32_t X, int32_t Y);
  virtual void DoRemoveElement(TSchemeElement* Element);
  virtual void DoAddLink(TSchemeLink* Link);
  virtual void DoRemoveLink(TSchemeLink* Link);
  virtual void DoSelectionChange();

 private:
  TSchemeHost* FHost;
  // Double-ended so that clearing from the front, as ClearLinks and ClearElements do, stays
  // linear; the three lists hold each entry once and are searched from both ends at once, so
  // that what was just registered and what is cleared first are both found in a few steps.
  std::deque<TSchemeConnectionPoint*> FPoints;
  std::deque<std::unique_ptr<TSchemeLink>> FLinks;
  std::deque<TSchemeElementPtr<TSchemeElement>> FElements;
  TSchemeMode FMode = smNormal;
  std::unique_ptr<TSchemeSelection> FSelection;
  int32_t FScrollX = -1;
  int32_t FScrollY = -1;
  std::unique_ptr<TSchemeMoveInfo> FMoveInfo;
  std::unique_ptr<TSchemeMarquee> FMarquee;
  int32_t FGridX = 1;
  int32_t FGridY = 1;
  bool FUpdateLocked = false;

  // Which drag the last left press began, and on what, so that the release finishes that
  // drag only while its object is still the selection.
  enum TDragKind : uint8_t { dkNone, dkNewLink, dkMoveLink, dkMoveElement, dkMoveMulti };
  TDragKind FDrag = dkNone;
  const TSchemeLink* FDragLink = nullptr;
  const TSchemeElement* FDragElement = nullptr;
  std::vector<const TSchemeElement*> FDragGroup;
  // The selection is the group of several elements that the group move began with.
  bool SelectionIsDragGroup() const;
  // The last press of each button went to the border or a scroll bar: its release does
  // nothing more.
  bool FPressConsumed[3] = {false, false, false};
  void SetCursor(TSchemeCursor Cursor);
  void DrawGrid(TSchemeCanvas& Canvas);
  void DrawBorder(TSchemeCanvas& Canvas);
  void DrawScrollBars(TSchemeCanvas& Canvas);
  // The view area, to which the diagram and its drag feedback are clipped.
  TSchemeRect ViewArea() const;
};
