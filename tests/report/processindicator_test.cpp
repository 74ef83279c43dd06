#include "report/processindicator.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "platform/cp1251_qt.h"
#include "tests/app/app_support.h"

namespace {

class ProcessFormTest : public GuiTest {};

TEST_F(ProcessFormTest, IsAFramelessCentredWindowThatShowsAndHidesItsText) {
  TProcessForm form;
  EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(form.size(), QSize(267, 55));
  EXPECT_EQ(form.ProcessTitle->text(), "Processing...");
  EXPECT_EQ(form.ProcessTitle->geometry(), QRect(0, 0, 267, 55));
  EXPECT_FALSE(form.isVisible());

  form.ShowProgress("\xDD\xEA\xF1\xEF\xEE\xF0\xF2...");  // "Экспорт..."
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.ProcessTitle->text(), "\u042d\u043a\u0441\u043f\u043e\u0440\u0442...");
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(form.frameGeometry().center(), screen.center());

  form.HideProgress();
  EXPECT_FALSE(form.isVisible());
}

}  // namespace
