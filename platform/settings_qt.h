#pragma once

// The settings store of the program: one INI file through QSettings,
// $XDG_CONFIG_HOME/Talpix/Quorvane.conf (by default ~/.config/Talpix/Quorvane.conf). The file
// stands for the key "Software\Talpix\Quorvane" of the store; its subkeys are the file's
// groups ("Languages", "Grid"). No other key can be opened.
//
// INI keeps no types: a string value is any text of the file, an integer value a text that
// reads wholly as a signed 32-bit decimal number. Texts are Windows-1251 bytes on the store's
// side and UTF-8 in the file.

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "platform/settings.h"

class QSettings;

// The key the INI file stands for.
inline constexpr const char* kSettingsFileKey = "Software\\Talpix\\Quorvane";

// The settings file: $XDG_CONFIG_HOME (when set and absolute) or $HOME/.config, then
// "/Talpix/Quorvane.conf".
QString SettingsFilePath();

class TQtSettingsStore : public ISettingsStore {
 public:
  // On the file at FileName (SettingsFilePath() when empty).
  explicit TQtSettingsStore(const QString& FileName = QString());
  ~TQtSettingsStore() override;

  bool OpenKey(const std::string& Path, bool CanCreate) override;
  bool OpenKeyReadOnly(const std::string& Path) override;
  std::string CurrentPath() const override;
  void CloseKey() override;

  bool ReadString(const std::string& Name, std::string& Value) override;
  bool ReadInteger(const std::string& Name, std::int32_t& Value) override;
  bool WriteString(const std::string& Name, const std::string& Value) override;
  bool WriteInteger(const std::string& Name, std::int32_t Value) override;

 private:
  // The key at Path resolved against the open key, as its names; false for a key outside the
  // file's key.
  bool Resolve(const std::string& Path, std::vector<std::string>& names) const;
  bool KeyExists(const std::vector<std::string>& names) const;
  QString ValueKey(const std::string& Name) const;

  QString FileName;
  std::unique_ptr<QSettings> Settings;
  // The names of the open key from the root; empty at the root.
  std::vector<std::string> Open;
  bool Writable = false;
};
