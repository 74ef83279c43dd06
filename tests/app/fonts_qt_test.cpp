#include "platform/fonts_qt.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QPushButton>
#include <QToolTip>
#include <QTreeView>
#include <cstdlib>
#include <functional>
#include <string>

#include "app/runscreen.h"
#include "report/repview.h"
#include "tests/app/app_support.h"

namespace {

class DesignFontTest : public GuiTest {};

// Widths at 11 pixels in the design faces: "Дата актуализации:" and two pangrams.
TEST_F(DesignFontTest, TheStandInTakesAboutTheDesignFacesWidths) {
  struct Row {
    std::string name;
    TDesignFace face;
    const char* text;
    int width;
  };
  const Row rows[] = {
      {"Tahoma, the date's caption", TDesignFace::Tahoma, "Дата актуализации:", 101},
      {"Tahoma, Latin", TDesignFace::Tahoma, "The quick brown fox jumps over the lazy dog", 219},
      {"Tahoma, Cyrillic", TDesignFace::Tahoma,
       "Съешь же ещё этих мягких французских булок, да выпей чаю", 315},
      {"Arial, Latin", TDesignFace::Arial, "The quick brown fox jumps over the lazy dog", 217},
      {"MS Sans Serif, as Tahoma", TDesignFace::MsSansSerif, "Дата актуализации:", 101},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const QFont font = DesignFont(row.face, 11);
    const int width = QFontMetrics(font).horizontalAdvance(QString::fromUtf8(row.text));
    // Within 3 %: DejaVu Sans, about a sixth wider, would cut the captions laid out for them.
    EXPECT_LE(std::abs(width - row.width) * 100, 3 * row.width) << width;
    EXPECT_EQ(QFontInfo(font).family(), StandInFamily(row.face)) << "an installed family";
  }
}

TEST_F(DesignFontTest, SizesAreInPixelsAndLinesAsHighAsTheDesignFacesLines) {
  struct Row {
    std::string name;
    TDesignFace face;
    int pixels;
    bool bold;
    int line;
  };
  const Row rows[] = {
      {"Tahoma 8 pt", TDesignFace::Tahoma, 11, false, 13},
      {"Tahoma 8 pt bold", TDesignFace::Tahoma, 11, true, 13},
      {"Arial of height -13", TDesignFace::Arial, 13, false, 15},
      {"MS Sans Serif 8 pt", TDesignFace::MsSansSerif, 11, false, 13},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const QFont font = DesignFont(row.face, row.pixels, row.bold);
    EXPECT_EQ(font.pixelSize(), row.pixels);
    EXPECT_EQ(font.pointSize(), -1) << "a point size would grow with the dpi";
    EXPECT_EQ(font.bold(), row.bold);
    EXPECT_EQ(DesignLineHeight(row.face, row.pixels), row.line);
    EXPECT_GE(DesignLineHeight(row.face, row.pixels), QFontMetrics(font).height());
  }
}

TEST_F(DesignFontTest, DesignFacesAreKnownByName) {
  struct Row {
    std::string name;
    bool known;
    TDesignFace face;
  };
  const Row rows[] = {
      {"Tahoma", true, TDesignFace::Tahoma},
      {"tahoma", true, TDesignFace::Tahoma},
      {"Arial", true, TDesignFace::Arial},
      {"MS Sans Serif", true, TDesignFace::MsSansSerif},
      {"Courier New", false, TDesignFace::Tahoma},
      {"", false, TDesignFace::Tahoma},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TDesignFace face = TDesignFace::Tahoma;
    EXPECT_EQ(DesignFaceByName(row.name, face), row.known);
    if (row.known) {
      EXPECT_EQ(face, row.face);
    }
  }
}

class ApplicationFontTest : public DesignFontGuiTest {};

TEST_F(ApplicationFontTest, TextsOfWindowsWithoutAFontOfTheirOwnAreInTheProgramsFace) {
  TExecScreenForm screen;
  TExecReportForm report;
  struct Row {
    std::string name;
    std::function<QFont()> font;
  };
  const Row rows[] = {
      {"the export menu", [&] { return report.ExportMenu->font(); }},
      {"a tooltip", [] { return QToolTip::font(); }},
      {"the file dialog's list",
       [&] { return screen.OpenDialog()->findChild<QTreeView*>()->font(); }},
      {"the file dialog's buttons",
       [&] { return screen.SaveDialog()->findChild<QPushButton*>()->font(); }},
      {"the entries of a drop-down list",
       [&] {
         auto* list =
             dynamic_cast<QComboBox*>(screen.AddComboBox(screen.AddQuestionPanel(), 10, 10, 200));
         return list->view()->window()->font();
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const QFontInfo shown(row.font());
    EXPECT_EQ(shown.family(), StandInFamily(TDesignFace::Tahoma));
    EXPECT_EQ(shown.pixelSize(), 11);
  }
}

}  // namespace
