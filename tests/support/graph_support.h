#pragma once

// Test fixtures of the flow graph: a host that counts repaint requests and a log of the
// scheme's six events in the order they fire.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "graph/visual.h"

class FakeSchemeHost : public TSchemeHost {
 public:
  void Repaint() override { ++Repaints; }
  int32_t Width() const override { return ClientWidth; }
  int32_t Height() const override { return ClientHeight; }
  TSchemeCanvas* Canvas() override { return nullptr; }
  void SetCursor(TSchemeCursor Value) override { Cursor = Value; }
  TSchemePoint ClientToScreen(TSchemePoint Client) const override {
    return {Client.X + 1000, Client.Y + 1000};
  }

  int Repaints = 0;
  int32_t ClientWidth = 200;
  int32_t ClientHeight = 100;
  TSchemeCursor Cursor = TSchemeCursor::Default;
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
