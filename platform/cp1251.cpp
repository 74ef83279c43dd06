#include "platform/cp1251.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace {

// Code points of the bytes 0x80 to 0xFF; the bytes below 0x80 are ASCII.
constexpr std::array<char16_t, 128> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 0xC0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // 0xC8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 0xD0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // 0xD8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // 0xE0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // 0xE8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // 0xF0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // 0xF8
};

// (code point, byte) pairs of the high half, sorted by code point for the reverse look-up.
using ReverseTable = std::array<std::pair<char16_t, unsigned char>, 128>;

const ReverseTable& Reverse() {
  static const ReverseTable table = [] {
    ReverseTable result{};
    for (std::size_t i = 0; i < kHighHalf.size(); ++i) {
      result[i] = {kHighHalf[i], static_cast<unsigned char>(0x80 + i)};
    }
    std::sort(result.begin(), result.end());
    return result;
  }();
  return table;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    // Every code point of the table lies in the Basic Multilingual Plane.
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[pos] and advances pos past it. A malformed sequence
// (bad lead byte, missing continuation, overlong form, surrogate, beyond U+10FFFF) answers
// false; pos is then past the lead byte and the continuation bytes taken so far.
bool DecodeUtf8(std::string_view text, std::size_t& pos, char32_t& out) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) {
    out = lead;
    return true;
  }
  int extra = 0;
  char32_t c = 0;
  char32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, c = lead & 0x07, least = 0x10000;
  } else {
    return false;
  }
  for (int i = 0; i < extra; ++i) {
    if (pos >= text.size()) return false;
    const auto next = static_cast<unsigned char>(text[pos]);
    if ((next & 0xC0) != 0x80) return false;
    c = (c << 6) | (next & 0x3F);
    ++pos;
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  out = c;
  return true;
}

}  // namespace

char32_t Cp1251ToUnicode(unsigned char byte) {
  return byte < 0x80 ? char32_t(byte) : char32_t(kHighHalf[byte - 0x80]);
}

bool UnicodeToCp1251(char32_t codePoint, unsigned char& byte) {
  if (codePoint < 0x80) {
    byte = static_cast<unsigned char>(codePoint);
    return true;
  }
  if (codePoint > 0xFFFF) return false;
  const ReverseTable& table = Reverse();
  const auto key = static_cast<char16_t>(codePoint);
  auto it = std::lower_bound(table.begin(), table.end(), key,
                             [](const auto& entry, char16_t value) { return entry.first < value; });
  if (it == table.end() || it->first != key) return false;
  byte = it->second;
  return true;
}

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char ch : text) AppendUtf8(out, Cp1251ToUnicode(static_cast<unsigned char>(ch)));
  return out;
}

std::string Utf8ToCp1251(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t c = 0;
    unsigned char byte = '?';
    if (!DecodeUtf8(text, pos, c) || !UnicodeToCp1251(c, byte)) byte = '?';
    out += static_cast<char>(byte);
  }
  return out;
}
