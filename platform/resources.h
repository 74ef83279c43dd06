#pragma once

// The data resources of the program's own module: a name -> bytes table linked into the
// executable. The build embeds the scheme as "QZSCHEME"; tests install their own table.
// Names are matched without regard to the case of Latin letters, as resource names are.

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

struct TModuleResource {
  const char* Name;
  const unsigned char* Data;
  std::size_t Size;
};

// The bytes of the named resource, or nothing when the module has no such resource.
std::optional<std::span<const unsigned char>> FindModuleResource(std::string_view name);

// Installs a table (not owned; it must outlive its use) and returns the previous one.
// The embedded table registers itself this way before main runs.
std::span<const TModuleResource> SetModuleResources(std::span<const TModuleResource> table);
