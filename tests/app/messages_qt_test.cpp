#include <QAbstractButton>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <string>

#include "platform/cp1251_qt.h"
#include "platform/fonts_qt.h"
#include "platform/messages_qt.h"
#include "tests/app/app_support.h"

namespace {

// What the open message box looked like when the test closed it.
struct SeenBox {
  bool Found = false;
  QString Title;
  QString Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  int Buttons = 0;
  QString ButtonText;
  bool Parentless = false;
  bool Centred = false;
  QString Face;
};

// Shows text in the window and inspects the modal box from inside its own loop, then
// presses its only button.
SeenBox ShowAndInspect(TQtMessageWindow& window, const std::string& text) {
  SeenBox seen;
  QTimer::singleShot(0, [&seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    seen.Found = true;
    seen.Title = box->windowTitle();
    seen.Text = box->text();
    seen.Icon = box->icon();
    seen.Buttons = static_cast<int>(box->buttons().size());
    if (!box->buttons().isEmpty()) seen.ButtonText = box->buttons().front()->text();
    seen.Parentless = box->parentWidget() == nullptr;
    if (auto* label = box->findChild<QLabel*>("qt_msgbox_label")) {
      seen.Face = QFontInfo(label->font()).family();
    }
    const QPoint middle = QGuiApplication::primaryScreen()->geometry().center();
    seen.Centred = (box->frameGeometry().center() - middle).manhattanLength() <= 1;
    box->buttons().front()->click();
  });
  window.ShowMessage(text);
  return seen;
}

// With the application's title and font as the start-up sets them.
class QtMessageWindowTest : public DesignFontGuiTest {
 protected:
  void SetUp() override {
    DesignFontGuiTest::SetUp();
    Previous = ApplicationTitle();
    SetApplicationTitle("\xCC\xE0\xF1\xF2\xE5\xF0");  // "Мастер"
  }
  void TearDown() override {
    SetApplicationTitle(Previous);
    DesignFontGuiTest::TearDown();
  }
  std::string Previous;
};

TEST_F(QtMessageWindowTest, ParentlessCentredBoxWithOneOkCaptionedWithTheTitle) {
  TQtMessageWindow window;
  // "Ошибка" in Windows-1251.
  const SeenBox seen = ShowAndInspect(window, "\xCE\xF8\xE8\xE1\xEA\xE0: 1");
  ASSERT_TRUE(seen.Found) << "no modal message box was open";
  EXPECT_EQ(seen.Title, QString::fromUtf8("\u041C\u0430\u0441\u0442\u0435\u0440"));
  EXPECT_EQ(seen.Text, QString::fromUtf8("\u041E\u0448\u0438\u0431\u043A\u0430: 1"));
  EXPECT_EQ(seen.Icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen.Buttons, 1);
  EXPECT_TRUE(seen.Parentless);
  EXPECT_TRUE(seen.Centred);
  EXPECT_EQ(seen.Face, StandInFamily(TDesignFace::Tahoma)) << "the program's face";
}

TEST_F(QtMessageWindowTest, ErrorWindowCarriesTheCriticalIcon) {
  TQtMessageWindow window(TQtMessageWindow::TKind::Error);
  const SeenBox seen = ShowAndInspect(window, "Read beyond the end.");
  ASSERT_TRUE(seen.Found);
  EXPECT_EQ(seen.Text, "Read beyond the end.");
  EXPECT_EQ(seen.Icon, QMessageBox::Critical);
  EXPECT_EQ(seen.Buttons, 1);
}

TEST(Cp1251QtBridge, EveryByteSurvivesTheRoundTripThroughQString) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const QString text = Cp1251ToQString(all);
  EXPECT_EQ(text.size(), 256);
  EXPECT_EQ(text.at(0x98).unicode(), 0x0098);
  EXPECT_EQ(text.at(0xC0), QChar(0x0410));
  EXPECT_EQ(QStringToCp1251(text), all);
  // Characters outside the code page, including one beyond the BMP, become "?".
  EXPECT_EQ(QStringToCp1251(QString::fromUtf8("a\u4E2D\U0001F600b")), "a??b");
}

}  // namespace
