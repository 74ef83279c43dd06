#include "app/userlocale.h"

#include <QDate>
#include <QLocale>

#include "platform/cp1251_qt.h"

char TQtUserLocale::DecimalSeparator() const {
  const std::string separator = QStringToCp1251(QLocale::system().decimalPoint());
  return separator.size() == 1 && separator[0] != '?' ? separator[0] : '.';
}

std::string TQtUserLocale::ShortDate(const TCalendarDate& Date) const {
  return QStringToCp1251(
      QLocale::system().toString(QDate(Date.Year, Date.Month, Date.Day), QLocale::ShortFormat));
}
