#include "app/data.h"

#include <QTimer>
#include <exception>

#include "engine/runtime.h"
#include "expr/typecvt.h"
#include "model/core.h"
#include "platform/errorwindow.h"
#include "platform/settings.h"

TDM* DM = nullptr;

// ---------------------------------------------------------------------------------------------
// Settings.

void TSpecSettings::SetDefaults() {
  SetDefaultLanguages("English", "Russian", "Ukrainian");
  SetDefaultGrid(1, 1, false);
}

void TSpecSettings::SetDefaultLanguages(const std::string& Name1, const std::string& Name2,
                                        const std::string& Name3) {
  this->Name1 = Name1;
  this->Name2 = Name2;
  this->Name3 = Name3;
}

void TSpecSettings::SetDefaultGrid(std::int32_t X, std::int32_t Y, bool Display) {
  GridX = X;
  GridY = Y;
  GridDisplay = Display;
}

void TSpecSettings::Load() {
  try {
    std::unique_ptr<ISettingsStore> store = OpenSettingsStore();
    if (!store) return;
    SetDefaults();
    if (!store->OpenKeyReadOnly(std::string("\\") + kSettingsKey)) return;
    LoadLanguages(*store);
    LoadGrid(*store);
    store->CloseKey();
  } catch (...) {
    // Silent: the fields keep what they had.
  }
}

void TSpecSettings::Save() {
  try {
    std::unique_ptr<ISettingsStore> store = OpenSettingsStore();
    if (!store) return;
    if (!store->OpenKey(std::string("\\") + kSettingsKey, true)) return;
    SaveLanguages(*store);
    SaveGrid(*store);
    store->CloseKey();
  } catch (...) {
    // Silent.
  }
}

void TSpecSettings::InSubkey(ISettingsStore& Store, const char* Key, bool ReadOnly,
                             const std::function<void()>& Body) {
  RememberKey(Store, ReadOnly);
  if (ReadOnly ? Store.OpenKeyReadOnly(Key) : Store.OpenKey(Key, true)) {
    Body();
    Store.CloseKey();
  }
  ReturnToKey(Store);
}

void TSpecSettings::LoadLanguages(ISettingsStore& Store) {
  InSubkey(Store, kLanguagesKey, true, [&] {
    ReadStringValue(Store, "Name1", Name1);
    ReadStringValue(Store, "Name2", Name2);
    ReadStringValue(Store, "Name3", Name3);
  });
}

void TSpecSettings::LoadGrid(ISettingsStore& Store) {
  InSubkey(Store, kGridKey, true, [&] {
    ReadIntegerValue(Store, "X", GridX);
    ReadIntegerValue(Store, "Y", GridY);
    ReadBoolValue(Store, "Display", GridDisplay);
  });
}

// A value that cannot be written is skipped.
void TSpecSettings::SaveLanguages(ISettingsStore& Store) {
  InSubkey(Store, kLanguagesKey, false, [&] {
    Store.WriteString("Name1", Name1);
    Store.WriteString("Name2", Name2);
    Store.WriteString("Name3", Name3);
  });
}

void TSpecSettings::SaveGrid(ISettingsStore& Store) {
  InSubkey(Store, kGridKey, false, [&] {
    Store.WriteInteger("X", GridX);
    Store.WriteInteger("Y", GridY);
    Store.WriteInteger("Display", GridDisplay ? 1 : 0);
  });
}

void TSpecSettings::ReadStringValue(ISettingsStore& Store, const std::string& Name,
                                    std::string& Field) {
  std::string value;
  try {
    if (!Store.ReadString(Name, value)) value.clear();
  } catch (...) {
    value.clear();
  }
  if (!value.empty()) Field = value;
}

void TSpecSettings::ReadIntegerValue(ISettingsStore& Store, const std::string& Name,
                                     std::int32_t& Field) {
  try {
    std::int32_t value = 0;
    if (Store.ReadInteger(Name, value)) Field = value;
  } catch (...) {
    // The field keeps its value.
  }
}

void TSpecSettings::ReadBoolValue(ISettingsStore& Store, const std::string& Name, bool& Field) {
  try {
    std::int32_t value = 0;
    if (Store.ReadInteger(Name, value)) Field = value != 0;
  } catch (...) {
    // The field keeps its value.
  }
}

void TSpecSettings::RememberKey(ISettingsStore& Store, bool ReadOnly) {
  SavedKeyPath = Store.CurrentPath();
  SavedKeyReadOnly = ReadOnly;
}

void TSpecSettings::ReturnToKey(ISettingsStore& Store) {
  const std::string path = "\\" + SavedKeyPath;
  if (SavedKeyReadOnly) {
    Store.OpenKeyReadOnly(path);
  } else {
    Store.OpenKey(path, true);
  }
}

// ---------------------------------------------------------------------------------------------
// Data module.

TDM::TDM(QObject* parent) : QObject(parent) {
  setObjectName("DM");
  DataModuleCreate(this);
}

TDM::~TDM() {
  DataModuleDestroy(this);
}

void TDM::DataModuleCreate(QObject*) {
  Settings = std::make_unique<TSpecSettings>();
  Settings->Load();
  Template = std::make_unique<TSpecTemplate>();
  LinkMap = std::make_unique<TSpecLinkMap>(Template.get());
  RunTime = std::make_unique<TSpecRunTime>(Template.get(), LinkMap.get());
  ResourceQueue.clear();
  ResourceTimer = new QTimer(this);
  ResourceTimer->setObjectName("ResourceTimer");
  ResourceTimer->setInterval(kResourceTimerMilliseconds);
  connect(ResourceTimer, &QTimer::timeout, this, [this] {
    // No exception crosses the event loop.
    try {
      ResourceTimerTimer(ResourceTimer);
    } catch (const std::exception& e) {
      ShowError(e.what());
    } catch (...) {
      ShowError("Unknown error");
    }
  });
  ResourceTimer->start();
}

void TDM::DataModuleDestroy(QObject*) {
  if (Settings) Settings->Save();
  Settings.reset();
  if (ResourceTimer) ResourceTimer->stop();
  RunTime.reset();
  LinkMap.reset();
  Template.reset();
  ResourceQueue.clear();
}

void TDM::ShowResourceAt(int X, int Y, const std::string& Name) {
  if (Template && Template->IndexOfResource(Name) >= 0) ShowResource(X, Y, Name);
}

void TDM::ShowResource(int, int, const std::string&) {
  // The pop-up that shows a resource is not in this build.
}

void TDM::ParseResourceRequest(const std::string& Request, int& X, int& Y, std::string& Name) {
  auto field = [&Request](std::size_t from, std::size_t count) {
    std::int32_t value = 0;
    if (from >= Request.size() || !TryTextToInt(Request.substr(from, count), value)) value = 0;
    return static_cast<int>(value);
  };
  Name = Request.size() > 10 ? Request.substr(10) : std::string();
  X = field(0, 5);
  Y = field(5, 5);
}

void TDM::ResourceTimerTimer(QObject*) {
  ResourceTimer->stop();
  if (!ResourceQueue.empty()) {
    const std::string request = ResourceQueue.front();
    ResourceQueue.erase(ResourceQueue.begin());
    int x = 0;
    int y = 0;
    std::string name;
    ParseResourceRequest(request, x, y, name);
    ShowResource(x, y, name);
  }
  ResourceTimer->start();
}
