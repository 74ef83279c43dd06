#include "tests/support/graph_support.h"

#include <cstdio>

SchemeEventLog::SchemeEventLog(TScheme& Scheme) : Scheme(Scheme) {
  Scheme.OnNewElement = [this](TScheme*, int32_t X, int32_t Y) {
    Events.push_back("new element " + std::to_string(X) + "," + std::to_string(Y));
  };
  Scheme.OnRemoveElement = [this](TScheme*, TSchemeElement* Element) {
    Events.push_back("remove element " + Label(Element));
  };
  Scheme.OnAddLink = [this](TScheme*, TSchemeLink* Link) {
    Events.push_back("add link " + LinkLabel(Link));
  };
  Scheme.OnRemoveLink = [this](TScheme*, TSchemeLink* Link) {
    Events.push_back("remove link " + LinkLabel(Link));
  };
  Scheme.OnModeChange = [this](TScheme*, TSchemeMode Old, TSchemeMode New) {
    Events.push_back("mode " + std::to_string(Old) + "->" + std::to_string(New));
  };
  Scheme.OnSelectionChange = [this](TScheme*) { Events.push_back("selection"); };
}

SchemeEventLog::~SchemeEventLog() {
  Scheme.OnNewElement = nullptr;
  Scheme.OnRemoveElement = nullptr;
  Scheme.OnAddLink = nullptr;
  Scheme.OnRemoveLink = nullptr;
  Scheme.OnModeChange = nullptr;
  Scheme.OnSelectionChange = nullptr;
}

std::string SchemeEventLog::Label(const void* Object) const {
  const auto Found = Labels.find(Object);
  return Found == Labels.end() ? "?" : Found->second;
}

std::string SchemeEventLog::LinkLabel(const TSchemeLink* Link) const {
  const auto End = [this](const TSchemeConnectionPoint* Point) {
    return Point == nullptr ? std::string("-") : Label(Point->Element());
  };
  return End(Link->Source()) + "->" + End(Link->Target());
}

namespace {

std::string RectText(const TSchemeRect& R) {
  return std::to_string(R.Left) + "," + std::to_string(R.Top) + "," + std::to_string(R.Right) +
         "," + std::to_string(R.Bottom);
}

std::string PointText(int32_t X, int32_t Y) {
  return std::to_string(X) + "," + std::to_string(Y);
}

}  // namespace

std::string ColorText(TSchemeColor Color) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "%06X", static_cast<unsigned>(Color));
  return Text;
}

void RecordingCanvas::SetPenColor(TSchemeColor Color) {
  FPenColor = Color;
  Ops.push_back("pen " + ColorText(Color));
}

void RecordingCanvas::SetPenStyle(TSchemePenStyle Style) {
  FPenStyle = Style;
  Ops.push_back(Style == TSchemePenStyle::Solid ? "pen style solid" : "pen style dot");
}

void RecordingCanvas::SetPenMode(TSchemePenMode Mode) {
  FPenMode = Mode;
  Ops.push_back(Mode == TSchemePenMode::Copy ? "pen mode copy" : "pen mode xor");
}

void RecordingCanvas::SetBrushColor(TSchemeColor Color) {
  FBrushColor = Color;
  Ops.push_back("brush " + ColorText(Color));
}

void RecordingCanvas::SetBrushStyle(TSchemeBrushStyle Style) {
  FBrushStyle = Style;
  Ops.push_back(Style == TSchemeBrushStyle::Solid ? "brush style solid" : "brush style clear");
}

void RecordingCanvas::SetFont(const std::string& Name, int32_t Size, bool Bold,
                              TSchemeColor Color) {
  Ops.push_back("font " + Name + " " + std::to_string(Size) + (Bold ? " bold " : " regular ") +
                ColorText(Color));
}

void RecordingCanvas::MoveTo(int32_t X, int32_t Y) {
  Ops.push_back("move " + PointText(X, Y));
}

void RecordingCanvas::LineTo(int32_t X, int32_t Y) {
  Ops.push_back("line " + PointText(X, Y));
}

void RecordingCanvas::Rectangle(const TSchemeRect& Bounds) {
  Ops.push_back("rect " + RectText(Bounds));
}

void RecordingCanvas::Ellipse(const TSchemeRect& Bounds) {
  Ops.push_back("ellipse " + RectText(Bounds));
}

void RecordingCanvas::FillRect(const TSchemeRect& Bounds) {
  Ops.push_back("fill " + RectText(Bounds));
}

void RecordingCanvas::TextRect(const TSchemeRect& Clip, int32_t X, int32_t Y,
                               const std::string& Text) {
  Ops.push_back("text " + RectText(Clip) + " @" + PointText(X, Y) + " " + Text);
}

void RecordingCanvas::SetPixel(int32_t X, int32_t Y, TSchemeColor Color) {
  Ops.push_back("pixel " + PointText(X, Y) + " " + ColorText(Color));
}

void RecordingCanvas::SetClipRegion(const TSchemeRect& Region) {
  FClip = Region;
  Ops.push_back("clip " + RectText(Region));
}

void RecordingCanvas::RemoveClipRegion() {
  FClip = Whole;
  Ops.push_back("unclip");
}

std::vector<std::string> RecordingCanvas::Only(std::initializer_list<std::string> Prefixes) const {
  std::vector<std::string> Result;
  for (const std::string& Op : Ops)
    for (const std::string& Prefix : Prefixes)
      if (Op.rfind(Prefix, 0) == 0) {
        Result.push_back(Op);
        break;
      }
  return Result;
}
