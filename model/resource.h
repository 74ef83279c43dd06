#pragma once

// Resources: named blocks of data carried inside the scheme (an informational text, an HTML
// page, a web address or a picture file). Hypertext links in descriptions and picture cells
// of report templates name them. Before a resource is shown or opened, its dependencies, and
// for pages and pictures the resource itself, are written as files into the private
// extraction folder (platform/tempdir.h).

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class TSpecDataReader;
class TSpecTemplate;

// Messages of the resource name checks (byte-exact).
inline constexpr const char* kResourceAlreadyExists = "Resource with such name already exists.";
inline constexpr const char* kResourceNameNotFileName = "Resource name should be valid filename.";

// Resource kinds as stored (one byte; other codes are kept as read).
enum TSpecResourceKind : std::uint8_t {
  rkInformationalText = 0,  // "informational text"
  rkHtmlPage = 1,           // "HTML page"
  rkWebResource = 2,        // "web resource": the data is the address
  rkPicture = 3,            // "picture": the data is a whole GIF or JPEG file
};

// The names that TSpecResource::CollectLinkedNames fills, in the order they were added. The
// caller decides how names compare: exactly, or with Latin letters folded (a-z only, as every
// name look-up of the scheme).
class TSpecNameList {
 public:
  explicit TSpecNameList(bool ignoreCase = true) : FIgnoreCase(ignoreCase) {}

  bool Contains(std::string_view name) const;
  // Appends the name, even when the list holds it already.
  void Add(const std::string& name);
  int Count() const { return static_cast<int>(FNames.size()); }
  const std::string& operator[](int index) const { return FNames[static_cast<std::size_t>(index)]; }
  const std::vector<std::string>& Names() const { return FNames; }

 private:
  std::string Key(std::string_view name) const;

  bool FIgnoreCase;
  std::vector<std::string> FNames;
  std::unordered_set<std::string> FKeys;
};

class TSpecResource {
 public:
  // Minimum bytes of one resource of section A5: its record (Str name, Str extension, Byte
  // kind, Int size) and its dependency record (Int count). The template checks its resource
  // count against this before creating any resource.
  static constexpr std::uint32_t MinRecordSize = 2 + 2 + 1 + 4 + 4;

  // Sets the name through SetName (with its checks); then extension empty, kind 0, no data.
  // The template's AddResource is the only caller.
  TSpecResource(TSpecTemplate* templ, const std::string& name);
  TSpecResource(const TSpecResource&) = delete;
  TSpecResource& operator=(const TSpecResource&) = delete;
  virtual ~TSpecResource() = default;

  TSpecTemplate* Template() const { return FTemplate; }
  const std::string& Name() const { return FName; }
  // Exactly the current name: nothing. Raises "Resource with such name already exists." when
  // another resource of the template has the name (Latin letters folded), "Resource name
  // should be valid filename." when it holds "/", ":" or "\"; the name is then unchanged.
  void SetName(const std::string& name);

  // The content: the text, the page, the web address as text, or the picture file.
  const std::vector<unsigned char>& Data() const { return FData; }
  std::int32_t Size() const { return static_cast<std::int32_t>(FData.size()); }
  void SetData(std::vector<unsigned char> data);
  // Afterwards there is no data and the size is 0.
  void FreeData();

  // Appends a reference, without looking for duplicates (the resource itself may be one).
  void AddDependency(TSpecResource* resource);
  // Index of the last reference to the resource; -1 when none.
  int IndexOfDependency(const TSpecResource* resource) const;
  // Removes the last reference to the resource, when there is one.
  void RemoveDependency(const TSpecResource* resource);
  void ClearDependencies() { FDependencies.clear(); }
  int DependencyCount() const { return static_cast<int>(FDependencies.size()); }
  // Raises EListError outside 0..DependencyCount()-1.
  TSpecResource* Dependencies(int index) const;

  // Adds to the list the names of all resources this one depends on, directly or through
  // others, in depth-first pre-order; a name the list already holds is skipped together with
  // its own dependencies, so cycles end and every name comes once. The resource's own name
  // comes only when a cycle leads back to it. Iterative: a long chain needs no call stack.
  void CollectLinkedNames(TSpecNameList& names) const;

  // The content as a text: empty without data, "[Picture]" for a picture, otherwise the bytes
  // one character each (zero bytes included).
  std::string AsText() const;
  // Name + "." + Extension (ends with the dot when the extension is empty).
  std::string FileName() const;
  // The full path of the resource's file in the private extraction folder, built by the one
  // file-name builder of platform/tempdir.h; the folder is created when missing. Empty when
  // no private folder can be made.
  std::string TempFileName() const;
  // Writes the content to TempFileName(), replacing the file; a web resource is never
  // written. Failures are swallowed: the file may then be missing or incomplete.
  void ExtractToTempFile() const;

  // Resource record of A5: Str name (SetName), Str extension, Byte kind (as read), Int size
  // (negative or beyond the bytes left raises "Read beyond the end." before anything is
  // allocated), then size bytes of content.
  void LoadFromStream(TSpecDataReader& stream);
  // Dependency record of A5: Int m, then m Str names; each name the template's resources have
  // is appended as a dependency, the others are skipped.
  void LoadLinks(TSpecDataReader& stream);

  // File extension without the dot (txt, htm, gif, jpg); may be empty.
  std::string Extension;
  // TSpecResourceKind as read.
  std::uint8_t Kind = rkInformationalText;

 private:
  TSpecTemplate* FTemplate;
  std::string FName;
  std::vector<unsigned char> FData;
  // Not owned; scheme order, duplicates allowed.
  std::vector<TSpecResource*> FDependencies;
};
