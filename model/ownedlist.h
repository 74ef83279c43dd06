#pragma once

// Operations shared by the owned lists of the scheme model (a std::vector of std::unique_ptr):
// look-up by identity from the last element, the index accessors (raising the list error or
// answering nil), delete by identity and clear.

#include <cstddef>
#include <memory>
#include <vector>

#include "model/core.h"

// Index of that very object, searched from the last element; -1 when absent.
template <typename T>
int IndexOfObject(const std::vector<std::unique_ptr<T>>& list, const T* object) {
  for (std::size_t i = list.size(); i-- > 0;) {
    if (list[i].get() == object) return static_cast<int>(i);
  }
  return -1;
}

// Element i; EListError outside the list.
template <typename T>
T* ElementAt(const std::vector<std::unique_ptr<T>>& list, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= list.size()) RaiseListIndexError(index);
  return list[static_cast<std::size_t>(index)].get();
}

// Element i; nil outside the list.
template <typename T>
T* ElementOrNull(const std::vector<std::unique_ptr<T>>& list, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return nullptr;
  return list[static_cast<std::size_t>(index)].get();
}

// Removes and frees the object when it is in the list.
template <typename T>
void DeleteObject(std::vector<std::unique_ptr<T>>& list, const T* object) {
  int index = IndexOfObject(list, object);
  if (index >= 0) list.erase(list.begin() + index);
}

// Frees every element, first to last, then empties the list.
template <typename T>
void ClearList(std::vector<std::unique_ptr<T>>& list) {
  for (auto& element : list) element.reset();
  list.clear();
}

// ASCII-only upper-casing of one byte, the folding of every name look-up.
inline unsigned char FoldLatin(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}
