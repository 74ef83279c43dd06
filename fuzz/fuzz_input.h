#pragma once

// What the fuzz targets share: the check that stops a run where two paths disagree, and a
// reader of the input bytes from the front.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

// Ends the run, so that the fuzzer keeps the input, when the condition does not hold.
inline void Require(bool condition) {
  if (!condition) std::abort();
}

// Reads the input from the front; past its end every read answers 0.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : Data(data), Size(size) {}
  bool More() const { return At < Size; }
  std::uint8_t Next() { return At < Size ? Data[At++] : 0; }
  // Tokens of the table joined, one input byte each, up to a 0xFF byte or the end.
  template <std::size_t N>
  std::string Tokens(const char* const (&table)[N]) {
    std::string text;
    while (More()) {
      const std::uint8_t b = Next();
      if (b == 0xFF) break;
      text += table[b % N];
    }
    return text;
  }
  std::string Rest() {
    std::string rest(reinterpret_cast<const char*>(Data + At), Size - At);
    At = Size;
    return rest;
  }

 private:
  const std::uint8_t* Data;
  std::size_t Size;
  std::size_t At = 0;
};
