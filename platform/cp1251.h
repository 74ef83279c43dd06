#pragma once

// Windows-1251 <-> Unicode. Every text inside the system is Windows-1251 bytes; it is
// converted only where it leaves for the window system or the file system. The table is
// total and lossless: each of the 256 bytes has its own code point (the byte 0x98, which
// the code page leaves undefined, maps to U+0098), so a text survives the round trip.

#include <string>
#include <string_view>

// The code point of a Windows-1251 byte.
char32_t Cp1251ToUnicode(unsigned char byte);
// The Windows-1251 byte of a code point; false when the code page has none.
bool UnicodeToCp1251(char32_t codePoint, unsigned char& byte);

// Windows-1251 bytes to UTF-8.
std::string Cp1251ToUtf8(std::string_view text);
// UTF-8 to Windows-1251 bytes; a code point without a byte, and every malformed UTF-8
// sequence, becomes "?".
std::string Utf8ToCp1251(std::string_view text);
