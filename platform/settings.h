#pragma once

// The per-user settings store, in the shape of a registry: keys named by paths of names
// separated by "\", each holding named string and 32-bit integer values. An accessor has one
// open key at a time; it starts at the root (the user's own part of the store).
//
// The program installs its store (platform/settings_qt.h: an INI file through QSettings);
// without one, OpenSettingsStore answers nullptr and nothing is read or written.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class ISettingsStore {
 public:
  virtual ~ISettingsStore() = default;

  // Makes the key at Path the open key: a path that begins with "\" is taken from the root,
  // any other from the open key. False, with the open key unchanged, when the key cannot be
  // opened; a key that is missing is created when CanCreate is set.
  virtual bool OpenKey(const std::string& Path, bool CanCreate) = 0;
  // The same for reading only: a missing key cannot be opened.
  virtual bool OpenKeyReadOnly(const std::string& Path) = 0;
  // The path of the open key from the root, without a leading "\"; empty at the root.
  virtual std::string CurrentPath() const = 0;
  // Stores what was written and returns to the root.
  virtual void CloseKey() = 0;

  // The value of the open key; false when it is missing or not of that type. An integer is a
  // signed 32-bit number.
  virtual bool ReadString(const std::string& Name, std::string& Value) = 0;
  virtual bool ReadInteger(const std::string& Name, std::int32_t& Value) = 0;
  // False when the value cannot be written.
  virtual bool WriteString(const std::string& Name, const std::string& Value) = 0;
  virtual bool WriteInteger(const std::string& Name, std::int32_t Value) = 0;
};

using TSettingsStoreFactory = std::function<std::unique_ptr<ISettingsStore>()>;

// A new accessor on the installed store, or nullptr when none is installed.
std::unique_ptr<ISettingsStore> OpenSettingsStore();
// Installs the factory of accessors and returns the previous one; an empty one removes it.
TSettingsStoreFactory SetSettingsStoreFactory(TSettingsStoreFactory Factory);
