#include "platform/cp1251_qt.h"

#include <QList>

#include "platform/cp1251.h"

QString Cp1251ToQString(std::string_view text) {
  QString out;
  out.reserve(static_cast<qsizetype>(text.size()));
  // Every code point of the table lies in the Basic Multilingual Plane: one UTF-16 unit each.
  for (char ch : text)
    out += QChar(static_cast<char16_t>(Cp1251ToUnicode(static_cast<unsigned char>(ch))));
  return out;
}

std::string QStringToCp1251(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (const uint c : text.toUcs4()) {
    unsigned char byte = '?';
    if (!UnicodeToCp1251(static_cast<char32_t>(c), byte)) byte = '?';
    out += static_cast<char>(byte);
  }
  return out;
}
