#include "tools/schemewriter.h"

#include <cstring>
#include <fstream>
#include <limits>

#include "platform/errors.h"
#include "model/saver.h"

static_assert(std::numeric_limits<long double>::digits == 64, "x87 extended long double expected");

SchemeWriter& SchemeWriter::Byte(std::uint8_t value) {
  Data.push_back(value);
  return *this;
}

SchemeWriter& SchemeWriter::Word(std::uint16_t value) {
  Data.push_back(static_cast<std::uint8_t>(value));
  Data.push_back(static_cast<std::uint8_t>(value >> 8));
  return *this;
}

SchemeWriter& SchemeWriter::Int(std::int32_t value) {
  auto u = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) Data.push_back(static_cast<std::uint8_t>(u >> shift));
  return *this;
}

SchemeWriter& SchemeWriter::WordCount(std::size_t count) {
  if (count > std::numeric_limits<std::uint16_t>::max()) {
    throw Exception("Too many records for a Word count.");
  }
  return Word(static_cast<std::uint16_t>(count));
}

SchemeWriter& SchemeWriter::IntCount(std::size_t count) {
  if (count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw Exception("Too many records for an Int count.");
  }
  return Int(static_cast<std::int32_t>(count));
}

SchemeWriter& SchemeWriter::Str(std::string_view text) {
  if (text.size() > 0xFFFF) throw Exception("Text is too long to be stored.");
  Word(static_cast<std::uint16_t>(text.size()));
  return Raw(text.data(), text.size());
}

SchemeWriter& SchemeWriter::Mui(const std::vector<MuiEntry>& entries) {
  if (entries.size() > 0xFF) throw Exception("Too many texts for one multilingual record.");
  Byte(static_cast<std::uint8_t>(entries.size()));
  for (const MuiEntry& entry : entries) Str(entry.Key).Str(entry.Text);
  return *this;
}

SchemeWriter& SchemeWriter::Ext(long double value) {
  unsigned char bytes[sizeof(long double)] = {};
  std::memcpy(bytes, &value, sizeof value);
  return Raw(bytes, 10);
}

SchemeWriter& SchemeWriter::Raw(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  Data.insert(Data.end(), bytes, bytes + size);
  return *this;
}

void SchemeWriter::WriteTo(TSpecDataStream& stream) const {
  std::size_t offset = 0;
  while (offset < Data.size()) {
    auto n = static_cast<std::uint32_t>(std::min<std::size_t>(Data.size() - offset, 1u << 30));
    stream.Write(Data.data() + offset, n);
    offset += n;
  }
}

void SchemeWriter::SaveToFile(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  out.close();
  if (!out) throw Exception("Cannot write " + path);
}
