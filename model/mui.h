#pragma once

// Multilingual strings and the languages of a scheme.
//
// A scheme is written in up to three languages. Every text a user reads is a TSpecMuiString: a
// small table of texts keyed by the decimal text of a language id. One TSpecMuiManager per
// scheme root holds the three languages, the current language (the one shown), the default
// language (the first fallback) and the registered strings, so that deleting a language can
// strip its texts from all of them.
//
// Keys are compared as texts, exactly ("01" never matches language 1). Look-ups search from the
// last entry to the first, so that a later duplicate wins. Out-of-range indexes given to the
// accessors here answer an empty text, nullptr or nothing; they never raise.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TSpecDataReader;
class TSpecMuiManager;
class TSpecTemplate;

// One text of a multilingual string.
class TSpecMuiText {
 public:
  std::string Text;
};

// An indexed list of texts; every operation accepts any index.
class TSpecMuiTextList {
 public:
  // The text at the index; the empty text outside 0..Count()-1.
  const std::string& Get(int index) const;
  // Replaces the text at the index; nothing outside.
  void Put(int index, const std::string& text);
  void Add(std::string text);
  // Room for count texts in all.
  void Reserve(int count) { Items.reserve(static_cast<std::size_t>(count)); }
  // Removes the text at the index; nothing outside.
  void Delete(int index);
  void Clear();
  int Count() const { return static_cast<int>(Items.size()); }

 private:
  std::vector<TSpecMuiText> Items;
};

// One multilingual text: parallel lists of language keys and texts.
class TSpecMuiString {
 public:
  // Stores the manager and, when registerString is set, registers with it. Every string of the
  // scheme model is created registered, on the manager of its scheme root.
  explicit TSpecMuiString(TSpecMuiManager* manager, bool registerString = true);
  // Unregisters from its manager when still registered.
  ~TSpecMuiString();
  TSpecMuiString(const TSpecMuiString&) = delete;
  TSpecMuiString& operator=(const TSpecMuiString&) = delete;

  TSpecMuiManager* Manager() const { return FManager; }
  bool Registered() const { return FRegistered; }
  // The keys (decimal texts of language ids) and the texts, index for index.
  const TSpecMuiTextList& Keys() const { return FKeys; }
  const TSpecMuiTextList& Texts() const { return FTexts; }

  // Index of the last key equal to the decimal text of the id; -1 when there is none.
  int IndexOfLanguage(std::int32_t languageId) const;
  // The text of the language; else the text of the manager's default language; else the first
  // stored text; else the empty text.
  const std::string& GetText(std::int32_t languageId) const;
  // Replaces the text of the language's (last) key, or appends key and text.
  void SetText(std::int32_t languageId, const std::string& text);
  // GetText / SetText of the manager's current language (language 0 without a manager).
  const std::string& GetCurrentText() const;
  void SetCurrentText(const std::string& text);
  // Removes the last key of the language and its text, when there is one.
  void RemoveLanguage(std::int32_t languageId);
  // Removes this string from its manager's registered strings; nothing without a manager or
  // when not registered.
  void Unregister();

  // One multilingual record: Byte n, then n pairs of Str key and Str text. Replaces all keys
  // and texts; keys are taken as they stand.
  void LoadFromStream(TSpecDataReader& stream);

 private:
  friend class TSpecMuiManager;

  TSpecMuiTextList FTexts;
  TSpecMuiTextList FKeys;
  TSpecMuiManager* FManager;
  bool FRegistered = false;
  // Position in the manager's registration table while registered.
  std::size_t FSlot = 0;
};

// One language of a scheme.
class TSpecMuiLanguage {
 public:
  // Id 0 and the name "Default" for the manager's first language; otherwise "Not specified"
  // and the smallest id from 0 up that no language of the manager has.
  explicit TSpecMuiLanguage(TSpecMuiManager* manager);

  TSpecMuiManager* Manager() const { return FManager; }
  // Int id, Str name.
  void LoadFromStream(TSpecDataReader& stream);

  std::int32_t Id = 0;
  std::string Name;

 private:
  TSpecMuiManager* FManager;
};

// The languages of one scheme and the register of its multilingual strings.
class TSpecMuiManager {
 public:
  // Exactly three languages: (0, "Default"), (1, "Not specified"), (2, "Not specified");
  // current and default language 0.
  TSpecMuiManager();
  // Deletes the languages, then unregisters every string still registered (the strings
  // themselves belong to the model objects that created them).
  ~TSpecMuiManager();
  TSpecMuiManager(const TSpecMuiManager&) = delete;
  TSpecMuiManager& operator=(const TSpecMuiManager&) = delete;

  // Creates and appends a language; the only language becomes current and default.
  TSpecMuiLanguage* AddLanguage();
  // Strips the language's texts from every registered string, removes and frees it; when it
  // was current or default and languages remain, the first remaining one takes its place.
  // Nothing when the language is not one of this manager's.
  void DeleteLanguage(TSpecMuiLanguage* language);
  void ClearLanguages();

  // Appends the string unless already registered; returns its index.
  int RegisterString(TSpecMuiString* string);
  void UnregisterString(TSpecMuiString* string);
  void UnregisterAll();

  // Searches from the last entry; -1 when absent.
  int IndexOfLanguage(const TSpecMuiLanguage* language) const;
  int IndexOfLanguageId(std::int32_t id) const;
  int IndexOfString(const TSpecMuiString* string) const;

  // nullptr outside the list.
  TSpecMuiLanguage* GetLanguage(int index) const;
  TSpecMuiString* GetString(int index) const;
  int LanguageCount() const { return static_cast<int>(Languages.size()); }
  int StringCount() const;

  // Section A1: Byte n, n records (Int id, Str name) loaded into the existing languages 0..n-1
  // (records beyond the third are read and discarded), then Byte current and Byte default
  // language, stored without checks.
  void LoadFromStream(TSpecDataReader& stream);

  std::int32_t DefaultLanguage = 0;
  std::int32_t CurrentLanguage = 0;

 private:
  // Closes the holes that unregistering left in the registration table.
  void Compact() const;

  std::vector<std::unique_ptr<TSpecMuiLanguage>> Languages;
  // Registered strings in order of registration; unregistering leaves a nullptr hole that the
  // next index-based access closes, so that freeing a large scheme stays linear.
  mutable std::vector<TSpecMuiString*> Strings;
  mutable std::size_t Holes = 0;
};

// An owned, indexed list of multilingual strings on the template's manager: the service
// strings of the scheme root.
class TSpecMuiStringList {
 public:
  explicit TSpecMuiStringList(TSpecTemplate* templ);
  ~TSpecMuiStringList();
  TSpecMuiStringList(const TSpecMuiStringList&) = delete;
  TSpecMuiStringList& operator=(const TSpecMuiStringList&) = delete;

  TSpecTemplate* Template() const { return FTemplate; }
  // Creates a registered string on the template's manager and appends it.
  TSpecMuiString* Add();
  // Removes and frees string i; nothing outside.
  void Delete(int index);
  void Clear();
  // nullptr outside the list.
  TSpecMuiString* GetString(int index) const;
  int Count() const { return static_cast<int>(Strings.size()); }
  // Current-language text of string i; the empty text outside.
  const std::string& GetText(int index) const;
  // Sets the current-language text of string i; nothing outside.
  void SetText(int index, const std::string& text);

  // Section A2: Word n, then n multilingual records. With more records than strings the list
  // is rebuilt with n strings; otherwise strings 0..n-1 are reloaded in place and the rest keep
  // their texts.
  void LoadFromStream(TSpecDataReader& stream);

 private:
  std::vector<std::unique_ptr<TSpecMuiString>> Strings;
  TSpecTemplate* FTemplate;
};
