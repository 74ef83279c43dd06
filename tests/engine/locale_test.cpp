#include <gtest/gtest.h>

#include <string>

#include "engine/locale.h"
#include "engine/runtime.h"
#include "expr/format.h"
#include "expr/typecvt.h"
#include "tests/engine/engine_fixture.h"

namespace {

TEST(UserLocale, OneSourceGivesTheSeparatorOfMessagesAndTheDates) {
  {
    FixedDateLocale locale(',');
    EXPECT_EQ(LocaleDecimalSeparator(), ",");
    EXPECT_EQ(FormatText(kInitialUIText[uiFloatLess], {"Width", 5}),
              "Value of 'Width' should not be less than 5,00.");
    EXPECT_EQ(CurrentShortDate(), "05.03.2026");
    EXPECT_EQ(GetActualizationDate(), "30.11.2025");
    // Without the program's file, today is shown.
    locale.HasFileDate = false;
    EXPECT_EQ(GetActualizationDate(), "05.03.2026");
  }
  // Back to the default source: ".", and the program file's own date.
  EXPECT_EQ(LocaleDecimalSeparator(), ".");
  TCalendarDate date;
  ASSERT_TRUE(UserLocale().ProgramFileDate(date));
  EXPECT_EQ(GetActualizationDate(), UserLocale().ShortDate(date));
  EXPECT_EQ(UserLocale().ShortDate({2024, 2, 9}), "09.02.2024");
}

}  // namespace
