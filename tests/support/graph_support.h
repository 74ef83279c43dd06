#pragma once

// Test fixtures of the flow graph: a host that counts repaint requests, a canvas that records
// what is drawn on it, and a log of the scheme's six events in the order they fire.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "graph/visual.h"

// Records every call as one line: "move 0,0", "line 100,0", "rect 0,0,60,40",
// "ellipse ...", "fill ...", "text 25,5,55,25 @25,5 Caption", "pixel 2,2 C0C0C0",
// "pen 0000FF", "pen style dot", "pen mode xor", "brush F0F0F0", "brush style clear",
// "font Tahoma 8 bold 808080", "clip 2,2,186,86", "unclip", "lock", "unlock" (colours as
// $BBGGRR in hex). Pen, brush and clip state is kept, so the getters answer what was set.
class RecordingCanvas : public TSchemeCanvas {
 public:
  void Lock() override { Ops.push_back("lock"); }
  void Unlock() override { Ops.push_back("unlock"); }
  TSchemeColor PenColor() const override { return FPenColor; }
  void SetPenColor(TSchemeColor Color) override;
  TSchemePenStyle PenStyle() const override { return FPenStyle; }
  void SetPenStyle(TSchemePenStyle Style) override;
  TSchemePenMode PenMode() const override { return FPenMode; }
  void SetPenMode(TSchemePenMode Mode) override;
  TSchemeColor BrushColor() const override { return FBrushColor; }
  void SetBrushColor(TSchemeColor Color) override;
  TSchemeBrushStyle BrushStyle() const override { return FBrushStyle; }
  void SetBrushStyle(TSchemeBrushStyle Style) override;
  void SetFont(const std::string& Name, int32_t Size, bool Bold, TSchemeColor Color) override;
  void MoveTo(int32_t X, int32_t Y) override;
  void LineTo(int32_t X, int32_t Y) override;
  void Rectangle(const TSchemeRect& Bounds) override;
  void Ellipse(const TSchemeRect& Bounds) override;
  void FillRect(const TSchemeRect& Bounds) override;
  void TextRect(const TSchemeRect& Clip, int32_t X, int32_t Y, const std::string& Text) override;
  void SetPixel(int32_t X, int32_t Y, TSchemeColor Color) override;
  TSchemeRect ClipRect() const override { return FClip; }
  void SetClipRegion(const TSchemeRect& Region) override;
  void RemoveClipRegion() override;

  // The recorded lines that start with one of the prefixes, in order.
  std::vector<std::string> Only(std::initializer_list<std::string> Prefixes) const;

  std::vector<std::string> Ops;
  // What ClipRect answers without a clip region.
  TSchemeRect Whole{0, 0, 200, 100};

 private:
  TSchemeColor FPenColor = 0;
  TSchemePenStyle FPenStyle = TSchemePenStyle::Solid;
  TSchemePenMode FPenMode = TSchemePenMode::Copy;
  TSchemeColor FBrushColor = 0xFFFFFF;
  TSchemeBrushStyle FBrushStyle = TSchemeBrushStyle::Solid;
  TSchemeRect FClip = Whole;
};

std::string ColorText(TSchemeColor Color);

class FakeSchemeHost : public TSchemeHost {
 public:
  void Repaint() override { ++Repaints; }
  int32_t Width() const override { return ClientWidth; }
  int32_t Height() const override { return ClientHeight; }
  TSchemeCanvas* Canvas() override { return DrawingCanvas; }
  void SetCursor(TSchemeCursor Value) override { Cursor = Value; }
  TSchemePoint ClientToScreen(TSchemePoint Client) const override {
    return {Client.X + 1000, Client.Y + 1000};
  }

  int Repaints = 0;
  int32_t ClientWidth = 200;
  int32_t ClientHeight = 100;
  TSchemeCursor Cursor = TSchemeCursor::Default;
  TSchemeCanvas* DrawingCanvas = nullptr;
};

// Binds all six events of a scheme and records each as a line such as "remove link a->b".
// Objects are shown by the labels given with Name; unnamed ones show as "?".
class SchemeEventLog {
 public:
  explicit SchemeEventLog(TScheme& Scheme);
  // Unbinds the events, so that a scheme that outlives the log fires into nothing.
  ~SchemeEventLog();
  SchemeEventLog(const SchemeEventLog&) = delete;
  SchemeEventLog& operator=(const SchemeEventLog&) = delete;

  void Name(const void* Object, const std::string& Label) { Labels[Object] = Label; }
  std::string Label(const void* Object) const;
  // The label of a link: "<source element>-><target element>".
  std::string LinkLabel(const TSchemeLink* Link) const;

  std::vector<std::string> Events;

 private:
  TScheme& Scheme;
  std::map<const void*, std::string> Labels;
};
