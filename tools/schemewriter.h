#pragma once

// A byte-vector builder for scheme and saved-state bytes: the primitive encodings that every
// section is made of, little-endian and unpadded. Tests, tools and benchmarks build schemes
// field by field with it; section writers sit on top of it.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class TSpecDataStream;

// One (language key, text) pair of a multilingual record; the key is the decimal text of a
// language id.
struct MuiEntry {
  std::string Key;
  std::string Text;
};

class SchemeWriter {
 public:
  SchemeWriter& Byte(std::uint8_t value);
  SchemeWriter& Bool(bool value) { return Byte(value ? 1 : 0); }
  SchemeWriter& Word(std::uint16_t value);
  SchemeWriter& Int(std::int32_t value);
  // A length (of a list, of a block) as a Word or an Int; a length that does not fit raises.
  SchemeWriter& WordCount(std::size_t count);
  SchemeWriter& IntCount(std::size_t count);
  // A 16-bit length and the bytes; a text longer than 65,535 bytes raises.
  SchemeWriter& Str(std::string_view text);
  // A Byte count, then that many pairs of Str key and Str text.
  SchemeWriter& Mui(const std::vector<MuiEntry>& entries);
  SchemeWriter& Mui(std::initializer_list<MuiEntry> entries) {
    return Mui(std::vector<MuiEntry>(entries));
  }
  // The 10-byte x87 extended layout of the value.
  SchemeWriter& Ext(long double value);
  SchemeWriter& Raw(const void* data, std::size_t size);
  SchemeWriter& Raw(const std::vector<std::uint8_t>& bytes) {
    return Raw(bytes.data(), bytes.size());
  }
  SchemeWriter& Append(const SchemeWriter& other) { return Raw(other.Bytes()); }

  const std::vector<std::uint8_t>& Bytes() const { return Data; }
  std::size_t Size() const { return Data.size(); }
  // Appends the bytes written so far to a stream.
  void WriteTo(TSpecDataStream& stream) const;
  // Writes the bytes to a file; raises on failure.
  void SaveToFile(const std::string& path) const;

 private:
  std::vector<std::uint8_t> Data;
};
