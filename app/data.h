#pragma once

// The data module: the non-visual owner of the program's long-lived objects (the user
// settings, the scheme root, the link map and the engine) and of the resource pop-up
// machinery. Creating it loads the settings and creates the three engine objects; destroying
// it writes the settings back and frees them.

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class ISettingsStore;
class TSpecTemplate;
class TSpecLinkMap;
class TSpecRunTime;

// The key of the settings and its two subkeys.
inline constexpr const char* kSettingsKey = "Software\\Talpix\\Quorvane";
inline constexpr const char* kLanguagesKey = "Languages";
inline constexpr const char* kGridKey = "Grid";

// Three language display names and three grid settings, read at start and written at exit;
// nothing in between changes them. Every failure of the store is silent: a value that cannot
// be read keeps the default (or what was read before), a key that cannot be opened is
// skipped.
class TSpecSettings {
 public:
  TSpecSettings() { SetDefaults(); }

  void Load();
  void Save();
  void SetDefaults();
  void SetDefaultLanguages(const std::string& Name1, const std::string& Name2,
                           const std::string& Name3);
  void SetDefaultGrid(std::int32_t X, std::int32_t Y, bool Display);

  std::string Name1;
  std::string Name2;
  std::string Name3;
  std::int32_t GridX = 1;
  std::int32_t GridY = 1;
  bool GridDisplay = false;
  // The key to return to after a subkey, and whether it is reopened read-only.
  std::string SavedKeyPath;
  bool SavedKeyReadOnly = false;

 private:
  void LoadLanguages(ISettingsStore& Store);
  void LoadGrid(ISettingsStore& Store);
  void SaveLanguages(ISettingsStore& Store);
  void SaveGrid(ISettingsStore& Store);
  // Only a non-empty string replaces the field.
  void ReadStringValue(ISettingsStore& Store, const std::string& Name, std::string& Field);
  // Only a 32-bit integer replaces the field; a Boolean is true when the integer is not 0.
  void ReadIntegerValue(ISettingsStore& Store, const std::string& Name, std::int32_t& Field);
  void ReadBoolValue(ISettingsStore& Store, const std::string& Name, bool& Field);
  void RememberKey(ISettingsStore& Store, bool ReadOnly);
  void ReturnToKey(ISettingsStore& Store);
  // Remembers the open key, opens the subkey (writable ones are created when missing), runs
  // Body when it opened and closes it, then returns to the remembered key.
  void InSubkey(ISettingsStore& Store, const char* Key, bool ReadOnly,
                const std::function<void()>& Body);
};

// How often the resource timer serves its queue.
inline constexpr int kResourceTimerMilliseconds = 200;

class TDM : public QObject {
  Q_OBJECT

 public:
  // Runs DataModuleCreate.
  explicit TDM(QObject* parent = nullptr);
  // Runs DataModuleDestroy.
  ~TDM() override;

  // The settings (loaded), the scheme root with its default service strings, the link map on
  // it, the engine on both, an empty request queue, and the resource timer running.
  void DataModuleCreate(QObject* Sender);
  // Writes the settings and frees them, stops the timer, then frees the engine, the link map,
  // the scheme root and the queue, in this order.
  void DataModuleDestroy(QObject* Sender);

  // Shows the resource of that name at the screen point (X, Y) when the scheme has one.
  void ShowResourceAt(int X, int Y, const std::string& Name);
  void ShowResource(int X, int Y, const std::string& Name);
  // A queued request: characters 1 to 5 the X coordinate, 6 to 10 the Y coordinate, 11 on the
  // resource name. A coordinate that is no integer reads as 0.
  static void ParseResourceRequest(const std::string& Request, int& X, int& Y, std::string& Name);
  // One tick of the resource timer: serves the first queued request, if any.
  void ResourceTimerTimer(QObject* Sender);

  std::unique_ptr<TSpecSettings> Settings;
  std::unique_ptr<TSpecTemplate> Template;
  std::unique_ptr<TSpecLinkMap> LinkMap;
  std::unique_ptr<TSpecRunTime> RunTime;
  QTimer* ResourceTimer = nullptr;
  // Pending pop-up requests; nothing in the wizard adds one.
  std::vector<std::string> ResourceQueue;
};

// The data module of the running program; set while it exists.
extern TDM* DM;
