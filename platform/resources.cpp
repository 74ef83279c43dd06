#include "platform/resources.h"

namespace {

std::span<const TModuleResource>& InstalledTable() {
  // A function-local static, so that the embedded table may register itself during static
  // initialisation of another translation unit.
  static std::span<const TModuleResource> table;
  return table;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::optional<std::span<const unsigned char>> FindModuleResource(std::string_view name) {
  for (const TModuleResource& resource : InstalledTable()) {
    if (resource.Name && SameName(resource.Name, name)) {
      return std::span<const unsigned char>(resource.Data, resource.Size);
    }
  }
  return std::nullopt;
}

std::span<const TModuleResource> SetModuleResources(std::span<const TModuleResource> table) {
  std::span<const TModuleResource> previous = InstalledTable();
  InstalledTable() = table;
  return previous;
}
