#pragma once

// The user locale of the desktop behind the engine's locale source: the decimal separator
// and the short date format of QLocale::system(). Today and the program file's date come
// from the engine's default.

#include "engine/locale.h"

class TQtUserLocale : public TUserLocale {
 public:
  // A separator that is not one byte of Windows-1251 answers ".".
  char DecimalSeparator() const override;
  std::string ShortDate(const TCalendarDate& Date) const override;
};
