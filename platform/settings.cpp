#include "platform/settings.h"

#include <utility>

namespace {

TSettingsStoreFactory& Installed() {
  static TSettingsStoreFactory factory;
  return factory;
}

}  // namespace

std::unique_ptr<ISettingsStore> OpenSettingsStore() {
  return Installed() ? Installed()() : nullptr;
}

TSettingsStoreFactory SetSettingsStoreFactory(TSettingsStoreFactory Factory) {
  return std::exchange(Installed(), std::move(Factory));
}
