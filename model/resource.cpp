#include "model/resource.h"

#include <algorithm>
#include <utility>

#include "platform/errors.h"
#include "model/core.h"
#include "model/saver.h"
#include "platform/tempdir.h"

namespace {

constexpr const char* kPictureText = "[Picture]";

bool IsFileNameBreaker(char c) {
  return c == '/' || c == ':' || c == '\\';
}

}  // namespace

std::string TSpecNameList::Key(std::string_view name) const {
  std::string key(name);
  if (FIgnoreCase) {
    for (char& c : key) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return key;
}

bool TSpecNameList::Contains(std::string_view name) const {
  return FKeys.count(Key(name)) > 0;
}

void TSpecNameList::Add(const std::string& name) {
  FNames.push_back(name);
  FKeys.insert(Key(name));
}

TSpecResource::TSpecResource(TSpecTemplate* templ, const std::string& name) : FTemplate(templ) {
  SetName(name);
}

void TSpecResource::SetName(const std::string& name) {
  if (name == FName) return;
  if (FTemplate) {
    int index = FTemplate->IndexOfResource(name);
    if (index >= 0 && FTemplate->Resources(index) != this) throw Exception(kResourceAlreadyExists);
  }
  if (std::any_of(name.begin(), name.end(), IsFileNameBreaker)) {
    throw Exception(kResourceNameNotFileName);
  }
  if (FTemplate) FTemplate->ReleaseResourceNumber(FName);
  FName = name;
}

void TSpecResource::SetData(std::vector<unsigned char> data) {
  FData = std::move(data);
}

void TSpecResource::FreeData() {
  FData.clear();
  FData.shrink_to_fit();
}

void TSpecResource::AddDependency(TSpecResource* resource) {
  FDependencies.push_back(resource);
}

int TSpecResource::IndexOfDependency(const TSpecResource* resource) const {
  for (int i = DependencyCount() - 1; i >= 0; --i) {
    if (FDependencies[static_cast<std::size_t>(i)] == resource) return i;
  }
  return -1;
}

void TSpecResource::RemoveDependency(const TSpecResource* resource) {
  int index = IndexOfDependency(resource);
  if (index >= 0) FDependencies.erase(FDependencies.begin() + index);
}

TSpecResource* TSpecResource::Dependencies(int index) const {
  if (index < 0 || index >= DependencyCount()) RaiseListIndexError(index);
  return FDependencies[static_cast<std::size_t>(index)];
}

void TSpecResource::CollectLinkedNames(TSpecNameList& names) const {
  // The explicit stack holds, for every resource on the current path, the index of its next
  // dependency to visit: the order of the recursive walk without its depth limit.
  struct Frame {
    const TSpecResource* Resource;
    std::size_t Next;
  };
  std::vector<Frame> stack{{this, 0}};
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.Next >= top.Resource->FDependencies.size()) {
      stack.pop_back();
      continue;
    }
    const TSpecResource* dependency = top.Resource->FDependencies[top.Next++];
    if (!dependency || names.Contains(dependency->Name())) continue;
    names.Add(dependency->Name());
    stack.push_back({dependency, 0});
  }
}

std::string TSpecResource::AsText() const {
  if (FData.empty()) return {};
  if (Kind == rkPicture) return kPictureText;
  return std::string(FData.begin(), FData.end());
}

std::string TSpecResource::FileName() const {
  return FName + "." + Extension;
}

std::string TSpecResource::TempFileName() const {
  return ExtractionFilePath(FName, Extension);
}

void TSpecResource::ExtractToTempFile() const {
  if (Kind == rkWebResource) return;
  std::string path = TempFileName();
  if (path.empty()) return;
  WritePrivateFile(path, FData.data(), FData.size());
}

void TSpecResource::LoadFromStream(TSpecDataReader& stream) {
  SetName(stream.ReadString());
  Extension = stream.ReadString();
  Kind = stream.ReadByte();
  std::int32_t size = stream.ReadInteger();
  if (size < 0 || static_cast<std::uint32_t>(size) > stream.Remaining()) {
    throw Exception(kReadBeyondEnd);
  }
  FreeData();
  std::vector<unsigned char> data(static_cast<std::size_t>(size));
  if (size > 0) stream.Read(data.data(), static_cast<std::uint32_t>(size));
  FData = std::move(data);
}

void TSpecResource::LoadLinks(TSpecDataReader& stream) {
  std::int32_t count = stream.ReadInteger();
  CheckRecordCount(stream, count, 2);
  for (std::int32_t i = 0; i < count; ++i) {
    int index = FTemplate->IndexOfResource(stream.ReadString());
    if (index >= 0) AddDependency(FTemplate->Resources(index));
  }
}
