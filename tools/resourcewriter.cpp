#include "tools/resourcewriter.h"

void WriteResource(SchemeWriter& out, const ResourceRecord& resource) {
  out.Str(resource.Name).Str(resource.Extension).Byte(resource.Kind);
  out.IntCount(resource.Data.size()).Raw(resource.Data.data(), resource.Data.size());
}

void WriteResourceLinks(SchemeWriter& out, const std::vector<std::string>& links) {
  out.IntCount(links.size());
  for (const std::string& name : links) out.Str(name);
}

void WriteResources(SchemeWriter& out, const std::vector<ResourceRecord>& resources) {
  out.IntCount(resources.size());
  for (const ResourceRecord& resource : resources) WriteResource(out, resource);
  for (const ResourceRecord& resource : resources) WriteResourceLinks(out, resource.Links);
}
