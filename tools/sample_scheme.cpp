// Writes the sample scheme that the build embeds as the default QZSCHEME:
// qv_sample_scheme OUTPUT.
#include <cstdio>
#include <exception>

#include "tools/schemewriter.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qv_sample_scheme OUTPUT\n");
    return 2;
  }
  try {
    SchemeWriter scheme;
    scheme.SaveToFile(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qv_sample_scheme: %s\n", e.what());
    return 1;
  }
  return 0;
}
