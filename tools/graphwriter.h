#pragma once

// Writer of the flow-graph section of a scheme (element records, 12-byte link records, the
// scroll position) and of the 32-bit scheme stamp that follows it, in exactly the layouts the
// graph reader takes; and a generator of a complete, well-formed flow graph for a template.

#include <cstdint>
#include <vector>

#include "tools/schemewriter.h"

struct TemplateRecord;

// Element record kinds; any other kind is written as the kind byte alone.
enum GraphElementKind : std::uint8_t {
  gkStart = 0,
  gkFinish = 1,
  gkScreen = 2,
  gkAction = 3,
  gkDecision = 4,
};

struct GraphElementRecord {
  std::uint8_t Kind = gkStart;
  // Into the template's screens, actions or decision points (kinds 2 to 4 only).
  std::uint16_t Index = 0;
  std::int32_t Left = 0;
  std::int32_t Top = 0;
};

struct GraphLinkRecord {
  std::int32_t FromElement = 0;
  // The output point; on a decision element the option's index in model order (the
  // conditional options in the reverse of their file order, the default option last).
  std::uint16_t FromPoint = 0;
  std::int32_t ToElement = 0;
  std::uint16_t ToPoint = 0;
};

struct GraphSection {
  std::vector<GraphElementRecord> Elements;
  std::vector<GraphLinkRecord> Links;
  std::int32_t ScrollX = 0;
  std::int32_t ScrollY = 0;

  // Appends an element record and answers the graph index of the element it makes (-1 for
  // a kind that makes none).
  std::int32_t Add(const GraphElementRecord& element);
  void Link(std::int32_t from, std::uint16_t fromPoint, std::int32_t to, std::uint16_t toPoint = 0);
};

void WriteGraphElement(SchemeWriter& out, const GraphElementRecord& element);
void WriteGraphLink(SchemeWriter& out, const GraphLinkRecord& link);
// Int element count, the element records, Int link count, the link records, Int scroll x,
// Int scroll y.
void WriteGraph(SchemeWriter& out, const GraphSection& section);
// Section C: one Int.
void WriteSchemeStamp(SchemeWriter& out, std::int32_t stamp);

// A flow graph over every screen, decision point and action of the template, in which every
// output point carries exactly one link and no path loops:
// - element 0 is the start, element 1 the finish;
// - the main path runs start, screen 0, decision point 0, screen 1, decision point 1, ...,
//   then the screens or decision points left over, then the actions not used below, then the
//   finish;
// - each conditional option of a decision point (taken in the file order of its conditions)
//   leads through the next unused action to the element after the decision point, so two
//   paths part there and meet again; once the actions are used up, an option leads straight
//   to that element; the default option always leads straight to it.
GraphSection ChainedFlowGraph(const TemplateRecord& templ);
