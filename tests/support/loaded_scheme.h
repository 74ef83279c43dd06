#pragma once

// A whole scheme loaded the way the start-up loads it: the template, the flow graph, the stamp
// and the price list from one stream, then the link map built on the graph.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/runtime.h"
#include "graph/visual.h"
#include "model/core.h"
#include "tools/graphwriter.h"
#include "tools/pricelistwriter.h"
#include "tools/templatewriter.h"

class TSpecDataStream;

// The sections of a scheme as the section writers take them.
struct SchemeParts {
  TemplateRecord Template;
  GraphSection Graph;
  std::vector<ProductRecord> Products;
  std::vector<CategoryRecord> Categories;
  std::int32_t Stamp = 0;
};

// The parts written in section order.
std::vector<std::uint8_t> SchemeBytes(const SchemeParts& parts);

class LoadedScheme {
 public:
  explicit LoadedScheme(const SchemeParts& parts) : LoadedScheme(SchemeBytes(parts)) {}
  // Raises what the readers raise for bytes that are not a whole scheme.
  explicit LoadedScheme(const std::vector<std::uint8_t>& bytes);
  // The scheme file at path; raises when it cannot be read.
  static std::unique_ptr<LoadedScheme> FromFile(const std::string& path);
  // The graph goes first: its elements point into the template.
  ~LoadedScheme();
  LoadedScheme(const LoadedScheme&) = delete;
  LoadedScheme& operator=(const LoadedScheme&) = delete;

  std::unique_ptr<TSpecTemplate> Template;
  std::unique_ptr<TScheme> Graph;
  std::unique_ptr<TSpecLinkMap> LinkMap;
  std::int32_t Stamp = 0;

 private:
  LoadedScheme();
  void Load(TSpecDataStream& stream);
};
