// Writes a whole scheme whose start element links to nothing: a program that embeds it loads
// everything, shows no screen and ends by itself after the splash. idle_scheme OUTPUT
#include <cstdio>
#include <exception>

#include "tools/graphwriter.h"
#include "tools/pricelistwriter.h"
#include "tools/schemewriter.h"
#include "tools/templatewriter.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: idle_scheme OUTPUT\n");
    return 2;
  }
  try {
    SchemeWriter out;
    TemplateRecord templ;
    templ.Languages.Languages = {{0, "English"}};
    templ.Variables = {{"Units", 1, "0"}};
    WriteTemplate(out, templ);
    GraphSection graph;
    graph.Add({.Kind = gkStart, .Left = 10, .Top = 10});
    WriteGraph(out, graph);
    WriteSchemeStamp(out, 0x1D1E);
    WritePriceList(out, {}, {});
    out.SaveToFile(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "idle_scheme: %s\n", e.what());
    return 1;
  }
  return 0;
}
