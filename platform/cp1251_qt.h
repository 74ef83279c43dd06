#pragma once

// The Qt side of the Windows-1251 table: texts of the system become QStrings only here.

#include <QString>
#include <string>
#include <string_view>

QString Cp1251ToQString(std::string_view text);
// A character without a Windows-1251 byte becomes "?".
std::string QStringToCp1251(const QString& text);
