#include "model/mui.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "model/core.h"
#include "model/saver.h"

namespace {

const std::string kEmptyText;

// The key of a language: the decimal text of its id, built without allocating.
class LanguageKey {
 public:
  explicit LanguageKey(std::int32_t id) {
    auto result = std::to_chars(Buffer, Buffer + sizeof Buffer, id);
    Length = static_cast<std::size_t>(result.ptr - Buffer);
  }
  std::string_view View() const { return {Buffer, Length}; }

 private:
  char Buffer[16];
  std::size_t Length;
};

// Smallest Mui record: the pair count alone; a pair holds at least two length words.
constexpr std::uint32_t kMuiPairMinSize = 4;
constexpr std::uint32_t kMuiRecordMinSize = 1;
// Smallest language record: Int id and an empty Str name.
constexpr std::uint32_t kLanguageRecordMinSize = 6;

}  // namespace

// --- TSpecMuiTextList -------------------------------------------------------------------------

const std::string& TSpecMuiTextList::Get(int index) const {
  if (index < 0 || index >= Count()) return kEmptyText;
  return Items[static_cast<std::size_t>(index)].Text;
}

void TSpecMuiTextList::Put(int index, const std::string& text) {
  if (index < 0 || index >= Count()) return;
  Items[static_cast<std::size_t>(index)].Text = text;
}

void TSpecMuiTextList::Add(std::string text) {
  Items.push_back(TSpecMuiText{std::move(text)});
}

void TSpecMuiTextList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  Items.erase(Items.begin() + index);
}

void TSpecMuiTextList::Clear() {
  Items.clear();
}

// --- TSpecMuiString ---------------------------------------------------------------------------

TSpecMuiString::TSpecMuiString(TSpecMuiManager* manager, bool registerString) : FManager(manager) {
  if (registerString && FManager) FManager->RegisterString(this);
}

TSpecMuiString::~TSpecMuiString() {
  Unregister();
}

void TSpecMuiString::Unregister() {
  if (FManager && FRegistered) FManager->UnregisterString(this);
}

int TSpecMuiString::IndexOfLanguage(std::int32_t languageId) const {
  LanguageKey key(languageId);
  for (int i = FKeys.Count() - 1; i >= 0; --i) {
    if (FKeys.Get(i) == key.View()) return i;
  }
  return -1;
}

const std::string& TSpecMuiString::GetText(std::int32_t languageId) const {
  int index = IndexOfLanguage(languageId);
  if (index >= 0) return FTexts.Get(index);
  std::int32_t fallback = FManager ? FManager->DefaultLanguage : 0;
  if (languageId != fallback) {
    index = IndexOfLanguage(fallback);
    if (index >= 0) return FTexts.Get(index);
  }
  // The default language has no text either: the first stored text, whatever its key.
  return FTexts.Get(0);
}

void TSpecMuiString::SetText(std::int32_t languageId, const std::string& text) {
  int index = IndexOfLanguage(languageId);
  if (index >= 0) {
    FTexts.Put(index, text);
    return;
  }
  FKeys.Add(std::string(LanguageKey(languageId).View()));
  FTexts.Add(text);
}

const std::string& TSpecMuiString::GetCurrentText() const {
  return GetText(FManager ? FManager->CurrentLanguage : 0);
}

void TSpecMuiString::SetCurrentText(const std::string& text) {
  SetText(FManager ? FManager->CurrentLanguage : 0, text);
}

void TSpecMuiString::RemoveLanguage(std::int32_t languageId) {
  int index = IndexOfLanguage(languageId);
  if (index < 0) return;
  FKeys.Delete(index);
  FTexts.Delete(index);
}

void TSpecMuiString::LoadFromStream(TSpecDataReader& stream) {
  FKeys.Clear();
  FTexts.Clear();
  std::uint8_t count = stream.ReadByte();
  CheckRecordCount(stream, count, kMuiPairMinSize);
  FKeys.Reserve(count);
  FTexts.Reserve(count);
  for (std::uint8_t i = 0; i < count; ++i) {
    FKeys.Add(stream.ReadString());
    FTexts.Add(stream.ReadString());
  }
}

// --- TSpecMuiLanguage -------------------------------------------------------------------------

TSpecMuiLanguage::TSpecMuiLanguage(TSpecMuiManager* manager) : FManager(manager) {
  if (!FManager || FManager->LanguageCount() == 0) {
    Id = 0;
    Name = "Default";
    return;
  }
  Name = "Not specified";
  std::int32_t id = 0;
  while (FManager->IndexOfLanguageId(id) >= 0) ++id;
  Id = id;
}

void TSpecMuiLanguage::LoadFromStream(TSpecDataReader& stream) {
  Id = stream.ReadInteger();
  Name = stream.ReadString();
}

// --- TSpecMuiManager --------------------------------------------------------------------------

TSpecMuiManager::TSpecMuiManager() {
  for (int i = 0; i < 3; ++i) AddLanguage();
}

TSpecMuiManager::~TSpecMuiManager() {
  ClearLanguages();
  UnregisterAll();
}

TSpecMuiLanguage* TSpecMuiManager::AddLanguage() {
  auto language = std::make_unique<TSpecMuiLanguage>(this);
  TSpecMuiLanguage* added = language.get();
  Languages.push_back(std::move(language));
  if (Languages.size() == 1) {
    CurrentLanguage = added->Id;
    DefaultLanguage = added->Id;
  }
  return added;
}

void TSpecMuiManager::DeleteLanguage(TSpecMuiLanguage* language) {
  int index = IndexOfLanguage(language);
  if (index < 0) return;
  std::int32_t id = language->Id;
  bool wasCurrent = CurrentLanguage == id;
  bool wasDefault = DefaultLanguage == id;
  for (TSpecMuiString* string : Strings) {
    if (string) string->RemoveLanguage(id);
  }
  Languages.erase(Languages.begin() + index);
  if (!Languages.empty()) {
    if (wasCurrent) CurrentLanguage = Languages.front()->Id;
    if (wasDefault) DefaultLanguage = Languages.front()->Id;
  }
}

void TSpecMuiManager::ClearLanguages() {
  while (!Languages.empty()) DeleteLanguage(Languages.front().get());
}

void TSpecMuiManager::Compact() const {
  if (Holes == 0) return;
  std::size_t out = 0;
  for (TSpecMuiString* string : Strings) {
    if (!string) continue;
    string->FSlot = out;
    Strings[out++] = string;
  }
  Strings.resize(out);
  Holes = 0;
}

int TSpecMuiManager::RegisterString(TSpecMuiString* string) {
  if (!string) return -1;
  Compact();
  if (string->FRegistered && string->FManager == this) return static_cast<int>(string->FSlot);
  // A string is registered with one manager at a time.
  string->Unregister();
  string->FManager = this;
  string->FRegistered = true;
  string->FSlot = Strings.size();
  Strings.push_back(string);
  return static_cast<int>(string->FSlot);
}

void TSpecMuiManager::UnregisterString(TSpecMuiString* string) {
  if (!string || !string->FRegistered || string->FManager != this) return;
  if (string->FSlot >= Strings.size() || Strings[string->FSlot] != string) return;
  string->FRegistered = false;
  if (string->FSlot + 1 == Strings.size()) {
    Strings.pop_back();
    // Holes left before the removed tail entry stay until the next compaction.
    while (!Strings.empty() && !Strings.back()) {
      Strings.pop_back();
      --Holes;
    }
  } else {
    Strings[string->FSlot] = nullptr;
    ++Holes;
  }
}

void TSpecMuiManager::UnregisterAll() {
  for (TSpecMuiString* string : Strings) {
    if (string) string->FRegistered = false;
  }
  Strings.clear();
  Holes = 0;
}

int TSpecMuiManager::IndexOfLanguage(const TSpecMuiLanguage* language) const {
  for (int i = LanguageCount() - 1; i >= 0; --i) {
    if (Languages[static_cast<std::size_t>(i)].get() == language) return i;
  }
  return -1;
}

int TSpecMuiManager::IndexOfLanguageId(std::int32_t id) const {
  for (int i = LanguageCount() - 1; i >= 0; --i) {
    if (Languages[static_cast<std::size_t>(i)]->Id == id) return i;
  }
  return -1;
}

int TSpecMuiManager::IndexOfString(const TSpecMuiString* string) const {
  if (!string || !string->FRegistered || string->FManager != this) return -1;
  Compact();
  return static_cast<int>(string->FSlot);
}

TSpecMuiLanguage* TSpecMuiManager::GetLanguage(int index) const {
  if (index < 0 || index >= LanguageCount()) return nullptr;
  return Languages[static_cast<std::size_t>(index)].get();
}

TSpecMuiString* TSpecMuiManager::GetString(int index) const {
  Compact();
  if (index < 0 || index >= static_cast<int>(Strings.size())) return nullptr;
  return Strings[static_cast<std::size_t>(index)];
}

int TSpecMuiManager::StringCount() const {
  return static_cast<int>(Strings.size() - Holes);
}

void TSpecMuiManager::LoadFromStream(TSpecDataReader& stream) {
  std::uint8_t count = stream.ReadByte();
  CheckRecordCount(stream, count, kLanguageRecordMinSize);
  for (int i = 0; i < count; ++i) {
    if (i < LanguageCount()) {
      Languages[static_cast<std::size_t>(i)]->LoadFromStream(stream);
    } else {
      // A manager has three slots: surplus records are read and discarded.
      TSpecMuiLanguage surplus(nullptr);
      surplus.LoadFromStream(stream);
    }
  }
  CurrentLanguage = stream.ReadByte();
  DefaultLanguage = stream.ReadByte();
}

// --- TSpecMuiStringList -----------------------------------------------------------------------

TSpecMuiStringList::TSpecMuiStringList(TSpecTemplate* templ) : FTemplate(templ) {}

TSpecMuiStringList::~TSpecMuiStringList() {
  Clear();
}

TSpecMuiString* TSpecMuiStringList::Add() {
  Strings.push_back(
      std::make_unique<TSpecMuiString>(FTemplate ? FTemplate->MuiManager() : nullptr));
  return Strings.back().get();
}

void TSpecMuiStringList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  Strings.erase(Strings.begin() + index);
}

void TSpecMuiStringList::Clear() {
  // Freed from the last so that each string leaves the manager's table from its end.
  while (!Strings.empty()) Strings.pop_back();
}

TSpecMuiString* TSpecMuiStringList::GetString(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return Strings[static_cast<std::size_t>(index)].get();
}

const std::string& TSpecMuiStringList::GetText(int index) const {
  TSpecMuiString* string = GetString(index);
  return string ? string->GetCurrentText() : kEmptyText;
}

void TSpecMuiStringList::SetText(int index, const std::string& text) {
  if (TSpecMuiString* string = GetString(index)) string->SetCurrentText(text);
}

void TSpecMuiStringList::LoadFromStream(TSpecDataReader& stream) {
  std::uint16_t count = stream.ReadWord();
  CheckRecordCount(stream, count, kMuiRecordMinSize);
  if (count > Count()) {
    Clear();
    Strings.reserve(count);
    for (int i = 0; i < count; ++i) Add()->LoadFromStream(stream);
    return;
  }
  for (int i = 0; i < count; ++i) Strings[static_cast<std::size_t>(i)]->LoadFromStream(stream);
}
