#include "tools/sample_graph.h"

#include "tools/graphwriter.h"
#include "tools/templatewriter.h"

void WriteSampleGraph(SchemeWriter& out, const TemplateRecord& templ) {
  GraphSection graph = ChainedFlowGraph(templ);
  // The diagram opens scrolled to its top-left corner, as a freshly made scheme is.
  graph.ScrollX = -1;
  graph.ScrollY = -1;
  WriteGraph(out, graph);
}
