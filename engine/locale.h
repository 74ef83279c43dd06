#pragma once

// The user's locale and calendar as the engine and the report need them: the decimal
// separator of numbers shown to the user ("%f" of the messages), the short date format, today's
// date and the date of the program's own file. One source serves them all; the default here
// is Qt-free ("." and day.month.year), the application installs the user locale's at start-up,
// and tests install their own to run under "." and ",".

#include <string>

struct TCalendarDate {
  int Year = 1970;
  int Month = 1;  // 1..12
  int Day = 1;    // 1..31
};

class TUserLocale {
 public:
  virtual ~TUserLocale() = default;

  // The locale's decimal separator.
  virtual char DecimalSeparator() const { return '.'; }
  // The date in the locale's short date format (Windows-1251 bytes); by default "dd.MM.yyyy".
  virtual std::string ShortDate(const TCalendarDate& Date) const;
  // Today in local time.
  virtual TCalendarDate Today() const;
  // The local date of the last modification of the program's own file; false when the file
  // cannot be found.
  virtual bool ProgramFileDate(TCalendarDate& Date) const;
};

// The installed locale (the default one unless another was installed).
TUserLocale& UserLocale();
// Installs a locale (not owned) and returns the previous one; nullptr restores the default.
// The locale's decimal separator becomes the value texts' LocaleDecimalSeparator (expr/), so
// that every number shown to the user follows the one source.
TUserLocale* SetUserLocale(TUserLocale* Locale);

// Today in the installed locale's short date format.
std::string CurrentShortDate();
