#pragma once

// Writer of section A5, resources: in exactly the record layouts the resource reader takes.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/schemewriter.h"

struct ResourceRecord {
  std::string Name;
  std::string Extension;
  std::uint8_t Kind = 0;
  // The content bytes; written as Int size and the bytes.
  std::string Data;
  // Names of the dependencies, in order; the dependency record of the resource.
  std::vector<std::string> Links;
};

// Str name, Str extension, Byte kind, Int size, the bytes.
void WriteResource(SchemeWriter& out, const ResourceRecord& resource);
// Int count, then count Str names.
void WriteResourceLinks(SchemeWriter& out, const std::vector<std::string>& links);
// The section: Int n, the n resource records, then the n dependency records in the same order.
void WriteResources(SchemeWriter& out, const std::vector<ResourceRecord>& resources);
