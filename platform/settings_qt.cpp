#include "platform/settings_qt.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <cstdlib>

#include "platform/cp1251_qt.h"

namespace {

// The names of a path, "\" separating them; empty names (doubled or trailing separators) are
// dropped, as the registry drops them.
std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> names;
  std::string name;
  for (char c : path) {
    if (c == '\\') {
      if (!name.empty()) names.push_back(name);
      name.clear();
    } else {
      name += c;
    }
  }
  if (!name.empty()) names.push_back(name);
  return names;
}

// Key names compare as registry names do: Latin letters without case.
bool SameKeyName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

const std::vector<std::string>& FileKeyNames() {
  static const std::vector<std::string> names = SplitPath(kSettingsFileKey);
  return names;
}

// A text that reads wholly as a signed 32-bit decimal number: an optional sign and digits.
bool ParseInteger32(const QString& text, std::int32_t& value) {
  const QByteArray bytes = text.toLatin1();
  std::size_t i = 0;
  bool negative = false;
  if (i < static_cast<std::size_t>(bytes.size()) && (bytes[0] == '-' || bytes[0] == '+')) {
    negative = bytes[0] == '-';
    ++i;
  }
  if (i >= static_cast<std::size_t>(bytes.size())) return false;
  std::int64_t magnitude = 0;
  for (; i < static_cast<std::size_t>(bytes.size()); ++i) {
    const char c = bytes[static_cast<qsizetype>(i)];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > 2147483648LL) return false;
  }
  const std::int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue > 2147483647LL) return false;
  value = static_cast<std::int32_t>(signedValue);
  return true;
}

}  // namespace

QString SettingsFilePath() {
  QString base = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
    base = QDir::homePath() + QStringLiteral("/.config");
  }
  return base + QStringLiteral("/Talpix/Quorvane.conf");
}

TQtSettingsStore::TQtSettingsStore(const QString& FileName)
    : FileName(FileName.isEmpty() ? SettingsFilePath() : FileName),
      Settings(std::make_unique<QSettings>(this->FileName, QSettings::IniFormat)) {}

TQtSettingsStore::~TQtSettingsStore() = default;

bool TQtSettingsStore::Resolve(const std::string& Path, std::vector<std::string>& names) const {
  names = (!Path.empty() && Path[0] == '\\') ? std::vector<std::string>() : Open;
  for (std::string& name : SplitPath(Path)) names.push_back(std::move(name));
  const std::vector<std::string>& fileKey = FileKeyNames();
  if (names.size() < fileKey.size()) return false;
  for (std::size_t i = 0; i < fileKey.size(); ++i) {
    if (!SameKeyName(names[i], fileKey[i])) return false;
  }
  return true;
}

bool TQtSettingsStore::KeyExists(const std::vector<std::string>& names) const {
  if (!QFileInfo::exists(FileName)) return false;
  const std::size_t depth = FileKeyNames().size();
  if (names.size() == depth) return true;
  // A group exists while it holds a value.
  QString group;
  for (std::size_t i = depth; i < names.size(); ++i) {
    group += Cp1251ToQString(names[i]) + QLatin1Char('/');
  }
  const QStringList keys = Settings->allKeys();
  for (const QString& key : keys) {
    if (key.startsWith(group, Qt::CaseInsensitive)) return true;
  }
  return false;
}

bool TQtSettingsStore::OpenKey(const std::string& Path, bool CanCreate) {
  std::vector<std::string> names;
  if (!Resolve(Path, names)) return false;
  if (!CanCreate && !KeyExists(names)) return false;
  Open = std::move(names);
  Writable = true;
  return true;
}

bool TQtSettingsStore::OpenKeyReadOnly(const std::string& Path) {
  std::vector<std::string> names;
  if (!Resolve(Path, names) || !KeyExists(names)) return false;
  Open = std::move(names);
  Writable = false;
  return true;
}

std::string TQtSettingsStore::CurrentPath() const {
  std::string path;
  for (const std::string& name : Open) {
    if (!path.empty()) path += '\\';
    path += name;
  }
  return path;
}

void TQtSettingsStore::CloseKey() {
  Settings->sync();
  Open.clear();
  Writable = false;
}

QString TQtSettingsStore::ValueKey(const std::string& Name) const {
  QString key;
  for (std::size_t i = FileKeyNames().size(); i < Open.size(); ++i) {
    key += Cp1251ToQString(Open[i]) + QLatin1Char('/');
  }
  return key + Cp1251ToQString(Name);
}

bool TQtSettingsStore::ReadString(const std::string& Name, std::string& Value) {
  if (Open.empty()) return false;
  const QVariant value = Settings->value(ValueKey(Name));
  // A text with an unquoted comma reads back as a list: not a string value.
  if (!value.isValid() || value.typeId() != QMetaType::QString) return false;
  Value = QStringToCp1251(value.toString());
  return true;
}

bool TQtSettingsStore::ReadInteger(const std::string& Name, std::int32_t& Value) {
  if (Open.empty()) return false;
  const QVariant value = Settings->value(ValueKey(Name));
  if (!value.isValid() || value.typeId() != QMetaType::QString) return false;
  return ParseInteger32(value.toString(), Value);
}

bool TQtSettingsStore::WriteString(const std::string& Name, const std::string& Value) {
  if (Open.empty() || !Writable) return false;
  Settings->setValue(ValueKey(Name), Cp1251ToQString(Value));
  return Settings->status() == QSettings::NoError;
}

bool TQtSettingsStore::WriteInteger(const std::string& Name, std::int32_t Value) {
  if (Open.empty() || !Writable) return false;
  Settings->setValue(ValueKey(Name), QString::number(Value));
  return Settings->status() == QSettings::NoError;
}
