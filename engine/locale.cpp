#include "engine/locale.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <ctime>

#include "expr/typecvt.h"

namespace {

TUserLocale DefaultLocale;
TUserLocale* Installed = &DefaultLocale;

TCalendarDate LocalDate(std::time_t time) {
  std::tm parts{};
  localtime_r(&time, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
}

}  // namespace

std::string TUserLocale::ShortDate(const TCalendarDate& Date) const {
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", Date.Day, Date.Month, Date.Year);
  return text;
}

TCalendarDate TUserLocale::Today() const {
  return LocalDate(std::time(nullptr));
}

bool TUserLocale::ProgramFileDate(TCalendarDate& Date) const {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return false;
  path[length] = '\0';
  struct stat info {};
  if (stat(path, &info) != 0) return false;
  Date = LocalDate(info.st_mtime);
  return true;
}

TUserLocale& UserLocale() {
  return *Installed;
}

TUserLocale* SetUserLocale(TUserLocale* Locale) {
  TUserLocale* previous = Installed == &DefaultLocale ? nullptr : Installed;
  Installed = Locale ? Locale : &DefaultLocale;
  SetLocaleDecimalSeparator(Installed->DecimalSeparator());
  return previous;
}

std::string CurrentShortDate() {
  return UserLocale().ShortDate(UserLocale().Today());
}
