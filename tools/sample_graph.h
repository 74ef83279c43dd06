#pragma once

// The flow graph of the sample scheme: written after the template sections and before the
// scheme stamp.

#include "tools/schemewriter.h"

struct TemplateRecord;

// Writes the graph section for the sample template: the main path start, screens and
// decision points in turn, the remaining actions, finish; each conditional option of a
// decision point (conditions in file order) runs through the next unused action and rejoins
// the main path after the decision point (see ChainedFlowGraph in tools/graphwriter.h).
void WriteSampleGraph(SchemeWriter& out, const TemplateRecord& templ);
