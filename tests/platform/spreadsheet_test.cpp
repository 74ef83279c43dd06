#include "platform/spreadsheet.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/cp1251.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "platform/tempdir.h"
#include "tests/support/test_paths.h"

namespace {

const std::string kPng(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00"
    "\x00\x01\x08\x06\x00\x00\x00\x1f\x15\xc4\x89\x00\x00\x00\x0d\x49\x44\x41\x54\x78\xda\x63"
    "\x64\x60\xf8\x5f\x0f\x00\x02\x87\x01\x80\xeb\x47\xba\x92\x00\x00\x00\x00\x49\x45\x4e\x44"
    "\xae\x42\x60\x82",
    70);

bool Exec(TSpreadsheetService& service, const std::string& command) {
  return service.Execute("System", command) == TDdeExecuteResult::Accepted;
}

std::string Selection(TSpreadsheetService& service) {
  return service.Request("System", "Selection").value_or("<none>");
}

// A cell's value as one text: "n:12.5", "t:abc", "b:1", "f:SUM(A1)", "-" when empty.
std::string ValueOf(const TWorkbook& book, std::uint32_t row, std::uint32_t column) {
  const TSheetCell* cell = book.Cell(row, column);
  if (!cell) return "-";
  char number[64];
  std::snprintf(number, sizeof number, "%.15g", cell->Number);
  switch (cell->Kind) {
    case TSheetCellKind::Empty:
      return "-";
    case TSheetCellKind::Number:
      return std::string("n:") + number;
    case TSheetCellKind::Text:
      return "t:" + cell->Text;
    case TSheetCellKind::Boolean:
      return std::string("b:") + number;
    case TSheetCellKind::Formula:
      return "f:" + cell->Text;
  }
  return "?";
}

TEST(SpreadsheetService, ACommandTableBuildsTheWorkbook) {
  TSpreadsheetService service;
  const char* commands[] = {
      "[SELECT(\"R2C3\")]",
      "[FORMULA(\"Total\")]",
      "[SELECT(\"R[1]C\")]",
      "[FORMULA(\"12.5\")]",
      "[SELECT(\"RC[-1]\")]",
      "[FORMULA(\"=SUM(R[2]C[2])\", \"R1C1\")]",
      "[SELECT(\"R3C3\")]",
      "[FORMAT.NUMBER(\"0.00\")]",
      "[FORMAT.FONT(\"Arial\",10,True,False,True,False,3,False,False)]",
      "[ALIGNMENT(4,True,2,0)]",
      "[BORDER(0,1,2,0,6,FALSE,0,0,0,0,0)]",
      "[COLUMN.WIDTH(12.5)]",
      "[ROW.HEIGHT(20)]",
      "  [select(\"r[-1]c[-2]\")] [formula(7)][Formula(TRUE, \"R4C4\")]  ",
  };
  for (const char* command : commands) EXPECT_TRUE(Exec(service, command)) << command;

  const TWorkbook& book = *service.ActiveWorkbook();
  EXPECT_EQ(ValueOf(book, 2, 3), "t:Total");
  EXPECT_EQ(ValueOf(book, 3, 3), "n:12.5");
  EXPECT_EQ(ValueOf(book, 1, 1), "f:SUM(C3)");
  EXPECT_EQ(ValueOf(book, 2, 1), "n:7");
  EXPECT_EQ(ValueOf(book, 4, 4), "b:1");
  EXPECT_EQ(book.ActiveRow, 2u);
  EXPECT_EQ(book.ActiveColumn, 1u) << "an address in FORMULA does not move the active cell";

  const TSheetFormat& look = book.FormatOf(*book.Cell(3, 3));
  EXPECT_EQ(look.NumberFormat, "0.00");
  EXPECT_EQ(look.FontName, "Arial");
  EXPECT_EQ(look.FontSize, 10);
  EXPECT_TRUE(look.Bold);
  EXPECT_FALSE(look.Italic);
  EXPECT_TRUE(look.Underline);
  EXPECT_EQ(look.FontColor, 3);
  EXPECT_EQ(look.HAlign, 4);
  EXPECT_EQ(look.VAlign, 2);
  EXPECT_TRUE(look.Wrap);
  EXPECT_EQ(std::to_array(look.Borders), (std::array<std::uint8_t, 4>{1, 2, 0, 6}));
  EXPECT_EQ(book.FormatOf(*book.Cell(2, 3)), TSheetFormat()) << "other cells keep the default";
  EXPECT_EQ(book.ColumnWidths, (std::map<std::uint32_t, double>{{3, 12.5}}));
  EXPECT_EQ(book.RowHeights, (std::map<std::uint32_t, double>{{3, 20}}));

  // Formatting several cells alike keeps one look; clearing a cell keeps its look.
  EXPECT_TRUE(Exec(service, "[SELECT(\"R5C5\")][FORMAT.NUMBER(\"0.00\")]"));
  EXPECT_TRUE(Exec(service, "[FORMAT.FONT(\"Arial\",10,True,False,True,False,3,False,False)]"));
  EXPECT_TRUE(Exec(service, "[ALIGNMENT(4,True,2,0)][BORDER(0,1,2,0,6,FALSE,0,0,0,0,0)]"));
  EXPECT_EQ(book.Cell(5, 5)->Format, book.Cell(3, 3)->Format);
  EXPECT_TRUE(Exec(service, "[SELECT(\"R3C3\")][FORMULA(\"\")]"));
  EXPECT_EQ(ValueOf(book, 3, 3), "-");
  EXPECT_EQ(book.FormatOf(*book.Cell(3, 3)).NumberFormat, "0.00");
  EXPECT_TRUE(Exec(service, "[FORMULA(\"\", \"R2C3\")]"));
  EXPECT_EQ(book.Cell(2, 3), nullptr) << "a cleared cell without a look is gone";
}

TEST(SpreadsheetService, TypedValuesAreReadInTheClientsLocale) {
  struct Row {
    const char* typed;
    char separator;
    std::string value;
  };
  const Row rows[] = {
      {"12.5", '.', "n:12.5"},
      {"12,5", ',', "n:12.5"},
      {"12,5", '.', "t:12,5"},
      {"12.5", ',', "t:12.5"},
      {"-3", '.', "n:-3"},
      {"+4", '.', "n:4"},
      {"1E15", '.', "n:1e+15"},
      {"1,5E-5", ',', "n:1.5e-05"},
      {".5", '.', "n:0.5"},
      {"5.", '.', "n:5"},
      {"1E", '.', "t:1E"},
      {"1e999", '.', "t:1e999"},
      {"1 000", '.', "t:1 000"},
      {"12.5.1", '.', "t:12.5.1"},
      {"-", '.', "t:-"},
      {"=R1C2*2", ',', "f:$B$1*2"},
      {"abc", '.', "t:abc"},
      {"\xcf\xf0\xe8", '.', "t:\xcf\xf0\xe8"},
      {"say \"\"hi\"\"", '.', "t:say \"hi\""},
      // A leading apostrophe keeps the rest a text as typed.
      {"'007", '.', "t:007"},
      {"'12,5", ',', "t:12,5"},
      {"'=R1C2*2", '.', "t:=R1C2*2"},
      {"''quoted", '.', "t:'quoted"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.typed);
    TSpreadsheetService service;
    service.DecimalSeparator = row.separator;
    ASSERT_TRUE(Exec(service, std::string("[FORMULA(\"") + row.typed + "\")]"));
    EXPECT_EQ(ValueOf(*service.ActiveWorkbook(), 1, 1), row.value);
  }
}

TEST(SpreadsheetService, UnquotedArgumentsReadAsNumbersAndLogicalValues) {
  struct Row {
    const char* argument;
    std::string value;  // "rejected" when the text is refused
  };
  const Row rows[] = {
      {"7", "n:7"},
      {"007", "n:7"},
      {"123456789", "n:123456789"},
      {"1234567890123", "n:1234567890123"},
      {"12345678901234567890", "n:1.23456789012346e+19"},
      {"-4", "n:-4"},
      {"+4", "n:4"},
      {"2.5", "n:2.5"},
      {"1E3", "n:1000"},
      {"12x", "rejected"},
      {"1,5", "rejected"},
      {"true", "b:1"},
      {"False", "b:0"},
      {"TRUEX", "rejected"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.argument);
    TSpreadsheetService service;
    service.DecimalSeparator = ',';  // unquoted numbers always take "."
    const bool accepted = Exec(service, std::string("[FORMULA(") + row.argument + ")]");
    EXPECT_EQ(accepted ? ValueOf(*service.ActiveWorkbook(), 1, 1) : "rejected", row.value);
  }
}

TEST(SpreadsheetService, TextsWithDoubledQuotesKeepTheirValuesAcrossOneExecuteText) {
  TSpreadsheetService service;
  ASSERT_TRUE(Exec(service,
                   "[FORMAT.FONT(\"A\"\"B\",10)][FORMULA(\"say \"\"hi\"\"\", \"R1C2\")]"
                   "[FORMULA(\"plain\", \"R1C3\")][FORMULA(\"\"\"\", \"R1C4\")]"));
  const TWorkbook& book = *service.ActiveWorkbook();
  EXPECT_EQ(book.FormatOf(*book.Cell(1, 1)).FontName, "A\"B");
  EXPECT_EQ(ValueOf(book, 1, 2), "t:say \"hi\"");
  EXPECT_EQ(ValueOf(book, 1, 3), "t:plain");
  EXPECT_EQ(ValueOf(book, 1, 4), "t:\"");
}

TEST(SpreadsheetService, NumberFormatsComeInTheLocalesConvention) {
  struct Row {
    const char* sent;
    char separator;
    const char* stored;
  };
  const Row rows[] = {
      {"0.00", '.', "0.00"},         {"0,00", ',', "0.00"},
      {"#.##0,00", ',', "#,##0.00"}, {"0,00\" p.\"", ',', "0.00\" p.\""},
      {"0\\.0", ',', "0\\.0"},       {"General", '.', ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sent);
    TSpreadsheetService service;
    service.DecimalSeparator = row.separator;
    std::string sent;
    for (const char* c = row.sent; *c; ++c)
      sent += *c == '"' ? std::string("\"\"") : std::string(1, *c);
    ASSERT_TRUE(Exec(service, "[FORMAT.NUMBER(\"" + sent + "\")]"));
    const TWorkbook& book = *service.ActiveWorkbook();
    const TSheetCell* cell = book.Cell(1, 1);
    EXPECT_EQ(cell ? book.FormatOf(*cell).NumberFormat : std::string(), row.stored);
  }
}

TEST(SpreadsheetService, FormulasAreTypedInR1C1AndKeptInA1) {
  struct Row {
    const char* command;
    const char* value;  // at R3C2; "-" when the command is refused
  };
  const Row rows[] = {
      {"[SELECT(\"R3C2\")][FORMULA(\"=R[-1]C*2\")]", "f:B2*2"},
      {"[FORMULA(\"=SUM(R[-2]C:R[-1]C)\", \"R3C2\")]", "f:SUM(B1:B2)"},
      {"[SELECT(\"R9C9\")][FORMULA(\"=R4C5\", \"R3C2\")]", "f:$E$4"},
      {"[FORMULA(\"='[Book1]Sheet1'!R1C1\", \"R3C2\")]", "f:'Sheet1'!$A$1"},
      {"[FORMULA(\"=IF(R1C1=\"\"R1C1\"\",1,0)\", \"R3C2\")]", "f:IF($A$1=\"R1C1\",1,0)"},
      // Refused: the command fails and the cell is left as it was.
      {"[FORMULA(\"=R[-3]C\", \"R3C2\")]", "-"},
      {"[FORMULA(\"=A1*2\", \"R3C2\")]", "-"},
      {"[FORMULA(\"== Offer ==\", \"R3C2\")]", "-"},
      {"[FORMULA(\"=\", \"R3C2\")]", "-"},
      {"[FORMULA(\"=[Book7]Sheet1!R1C1\", \"R3C2\")]", "-"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.command);
    TSpreadsheetService service;
    EXPECT_EQ(Exec(service, row.command), std::string(row.value) != "-");
    EXPECT_EQ(ValueOf(*service.ActiveWorkbook(), 3, 2), row.value);
  }
  // A refused formula leaves the cell's value as it was.
  TSpreadsheetService service;
  ASSERT_TRUE(Exec(service, "[FORMULA(\"kept\")]"));
  EXPECT_FALSE(Exec(service, "[FORMULA(\"=Total\")]"));
  EXPECT_EQ(ValueOf(*service.ActiveWorkbook(), 1, 1), "t:kept");
}

TEST(SpreadsheetService, BordersCarryTheirColoursAndTheShade) {
  using Sides = std::array<std::uint8_t, 4>;
  struct Row {
    const char* border;
    Sides styles;
    Sides colours;
    bool shade = false;
  };
  const Row rows[] = {
      {"0,1,2,3,4,FALSE,0,3,4,5,6", {1, 2, 3, 4}, {3, 4, 5, 6}},
      {"2,0,0,0,0,TRUE,10", {2, 2, 2, 2}, {10, 10, 10, 10}, true},
      {"2,0,0,0,6,FALSE,10,0,0,0,7", {2, 2, 2, 6}, {10, 10, 10, 7}},
      {"0,1,0,0,0,FALSE,0,0,9,9,9", {1, 0, 0, 0}, {0, 0, 0, 0}},
      {"0,1,1,1,1,TRUE", {1, 1, 1, 1}, {0, 0, 0, 0}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.border);
    TSpreadsheetService service;
    ASSERT_TRUE(Exec(service, std::string("[BORDER(") + row.border + ")]"));
    const TWorkbook& book = *service.ActiveWorkbook();
    const TSheetFormat& look = book.FormatOf(*book.Cell(1, 1));
    EXPECT_EQ(std::to_array(look.Borders), row.styles);
    EXPECT_EQ(std::to_array(look.BorderColors), row.colours);
    EXPECT_EQ(look.Shade, row.shade);
  }
  // Colours tell looks apart.
  TSpreadsheetService service;
  ASSERT_TRUE(Exec(service, "[BORDER(1,0,0,0,0,FALSE,3)][SELECT(\"R2C1\")][BORDER(1,0,0,0,0)]"));
  const TWorkbook& book = *service.ActiveWorkbook();
  EXPECT_NE(book.Cell(1, 1)->Format, book.Cell(2, 1)->Format);
  EXPECT_FALSE(Exec(service, "[BORDER(1,0,0,0,0,FALSE,57)]"));
}

TEST(SpreadsheetService, MalformedAndImpossibleCommandsAreRejectedAndChangeNothing) {
  ScratchFolder scratch;
  const std::string notAPicture = scratch.WriteFile("note.png", "not a picture");
  const char* rows[] = {
      "",
      "   ",
      "SELECT(\"R1C1\")",
      "[SELECT(\"R1C1\")",
      "[SELECT(\"R1C1\")]x",
      "[]",
      "[1SELECT]",
      "[NOSUCH.COMMAND]",
      "[SELECT]",
      "[SELECT(\"R1C1\"]",
      "[SELECT(\"R1C1)]",
      "[SELECT(R1C1)]",
      "[SELECT(\"R0C1\")]",
      "[SELECT(\"R1C0\")]",
      "[SELECT(\"R1048577C1\")]",
      "[SELECT(\"R1C16385\")]",
      "[SELECT(\"R[-1]C\")]",
      "[SELECT(\"RC[-1]\")]",
      "[SELECT(\"R[x]C\")]",
      "[SELECT(\"R1C1:R2C2\")]",
      "[SELECT(\"A1\")]",
      "[SELECT(\"R1C1\",\"R1C1\")]",
      "[FORMULA()]",
      "[FORMULA(,\"R1C1\")]",
      "[FORMULA(\"x\", \"R0C0\")]",
      "[FORMULA(\"x\", 5)]",
      "[FORMULA(\"x\"\"]",
      "[FORMULA(12..5)]",
      "[FORMAT.FONT(\"Arial\",-1)]",
      "[FORMAT.FONT(\"Arial\",410)]",
      "[FORMAT.FONT(\"Arial\",10.5)]",
      "[FORMAT.FONT(\"Arial\",10,\"yes\")]",
      "[FORMAT.FONT(\"Arial\",10,True,False,False,False,57,False,False)]",
      "[FORMAT.FONT(\"A font name far longer than any font\",10)]",
      "[FORMAT.FONT(\"Arial\",10,True,False,False,False,0,False,False,1)]",
      "[FORMAT.NUMBER()]",
      "[FORMAT.NUMBER(0)]",
      "[ALIGNMENT(0,True,1,0)]",
      "[ALIGNMENT(8,True,1,0)]",
      "[ALIGNMENT(2,True,5,0)]",
      "[BORDER(0,8,0,0,0,FALSE,0,0,0,0,0)]",
      "[BORDER(0,-1,0,0,0)]",
      "[COLUMN.WIDTH()]",
      "[COLUMN.WIDTH(256)]",
      "[COLUMN.WIDTH(\"12\")]",
      "[ROW.HEIGHT(-1)]",
      "[ROW.HEIGHT(410)]",
      "[NEW(2)]",
      "[QUIT(1)]",
      "[ERROR()]",
      "[APP.MAXIMIZE(1)]",
      "[INSERT.PICTURE(\"/nonexistent/picture.png\")]",
      "[OPEN(\"/nonexistent/book.xlsx\",0)]",
      "[SAVE.AS(\"\")]",
      "[SAVE.AS(\"/nonexistent/folder/book.xlsx\")]",
      "[SELECT(\"R2C2\")][NOSUCH]",
  };
  for (const char* row : rows) {
    SCOPED_TRACE(row);
    TSpreadsheetService service;
    EXPECT_FALSE(Exec(service, row));
    ASSERT_EQ(service.Workbooks().size(), 1u);
    const TWorkbook& book = *service.ActiveWorkbook();
    EXPECT_TRUE(book.Cells.empty());
    EXPECT_TRUE(book.ColumnWidths.empty() && book.RowHeights.empty() && book.Pictures.empty());
    EXPECT_EQ(book.Name, "Book1");
  }
  TSpreadsheetService service;
  EXPECT_FALSE(Exec(service, "[INSERT.PICTURE(\"" + notAPicture + "\")]"));
  EXPECT_FALSE(Exec(service, std::string("[FORMULA(\"") + std::string(32768, 'x') + "\")]"));
  EXPECT_TRUE(Exec(service, std::string("[FORMULA(\"") + std::string(32767, 'x') + "\")]"));
  // Commands of one text run in order: those before a refused one have happened.
  EXPECT_FALSE(Exec(service, "[SELECT(\"R2C2\")][NOSUCH]"));
  EXPECT_EQ(Selection(service), "[Book1]Sheet1!R2C2");
  // Without a workbook only the application's commands work.
  EXPECT_TRUE(Exec(service, "[FILE.CLOSE]"));
  EXPECT_EQ(service.ActiveWorkbook(), nullptr);
  for (const char* command : {"[SELECT(\"R1C1\")]", "[FORMULA(\"x\")]", "[FILE.CLOSE]",
                              "[COLUMN.WIDTH(1)]", "[FORMAT.NUMBER(\"0\")]"})
    EXPECT_FALSE(Exec(service, command)) << command;
  EXPECT_TRUE(Exec(service, "[ERROR(0)][APP.MAXIMIZE][APP.ACTIVATE][NEW(1)]"));
  EXPECT_TRUE(service.IgnoreErrors());
  EXPECT_TRUE(service.Maximized());
}

TEST(SpreadsheetService, RequestsAnswerStatusAndTheSelectionOfTheActiveBook) {
  ScratchFolder scratch;
  TSpreadsheetService service;
  EXPECT_EQ(service.Request("System", "Status"), "Ready");
  EXPECT_EQ(service.Request("system", "STATUS"), "Ready");
  EXPECT_EQ(service.Request("System", "Topics"), std::nullopt);
  EXPECT_EQ(service.Request("[Book1]Sheet1", "Status"), std::nullopt);
  EXPECT_EQ(Selection(service), "[Book1]Sheet1!R1C1");
  EXPECT_TRUE(service.AcceptTopic("[book1]sheet1"));
  EXPECT_FALSE(service.AcceptTopic("[Book2]Sheet1"));

  ASSERT_TRUE(Exec(service, "[NEW(1)][SELECT(\"R10C3\")]"));
  EXPECT_EQ(Selection(service), "[Book2]Sheet1!R10C3");
  EXPECT_TRUE(service.AcceptTopic("[Book2]Sheet1"));
  EXPECT_EQ(service.Execute("[Book2]Sheet1", "[SELECT(\"R1C1\")]"), TDdeExecuteResult::Accepted);
  EXPECT_EQ(service.Execute("[Book9]Sheet1", "[SELECT(\"R1C1\")]"), TDdeExecuteResult::Rejected);

  // A book saved under a name with blanks is quoted in the reply; OPEN finds it again.
  const std::string path = scratch.File("My Offer's.xlsx");
  ASSERT_TRUE(Exec(service, "[SAVE.AS(\"" + path + "\")]"));
  EXPECT_EQ(Selection(service), "'[My Offer''s.xlsx]Sheet1'!R1C1");
  EXPECT_TRUE(service.AcceptTopic("[My Offer's.xlsx]Sheet1"));
  ASSERT_TRUE(Exec(service, "[NEW(1)]"));
  EXPECT_EQ(Selection(service), "[Book3]Sheet1!R1C1");
  ASSERT_TRUE(Exec(service, "[OPEN(\"" + path + "\",0)]"));
  EXPECT_EQ(service.ActiveWorkbook()->Name, "My Offer's.xlsx");

  ASSERT_TRUE(Exec(service, "[FILE.CLOSE][FILE.CLOSE(FALSE)]"));
  EXPECT_EQ(Selection(service), "[Book1]Sheet1!R1C1");
  ASSERT_TRUE(Exec(service, "[FILE.CLOSE]"));
  EXPECT_EQ(service.Request("System", "Selection"), std::nullopt);
  EXPECT_EQ(service.Request("System", "Status"), "Ready");
}

TEST(SpreadsheetService, QuitClosesEveryBookAndEndsTheConversations) {
  TSpreadsheetService service;
  ASSERT_TRUE(service.Register());
  TDdeClientConv conv;
  int closed = 0;
  conv.OnClose = [&closed] { ++closed; };
  conv.SetLink("Excel", "System");
  ASSERT_TRUE(conv.OpenLink());
  ASSERT_TRUE(conv.ExecuteMacro("[NEW(1)][FORMULA(\"x\")]", false));
  EXPECT_TRUE(conv.ExecuteMacro("[QUIT]", false));
  EXPECT_FALSE(conv.IsOpen());
  EXPECT_EQ(closed, 1);
  ASSERT_EQ(service.Workbooks().size(), 1u);
  EXPECT_EQ(service.ActiveWorkbook()->Name, "Book1");
  EXPECT_TRUE(service.ActiveWorkbook()->Cells.empty());
}

// The desktop as the spreadsheet meets it: a recording shell that opens documents or not,
// and a recording message window.
struct RecordingDesktop : IShell, IMessageWindow {
  RecordingDesktop() : PreviousShell(SetShell(this)), PreviousWindow(SetMessageWindow(this)) {}
  ~RecordingDesktop() override {
    SetShell(PreviousShell);
    SetMessageWindow(PreviousWindow);
  }
  bool OpenFile(const std::string&) override { return false; }
  bool OpenUrl(const std::string&) override { return false; }
  bool OpenDocument(const std::string& path) override {
    Opened.push_back(path);
    return Opens;
  }
  std::string DocumentsFolder() override { return Documents; }
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }

  bool Opens = true;
  std::string Documents;
  std::vector<std::string> Opened;
  std::vector<std::string> Messages;
  IShell* PreviousShell;
  IMessageWindow* PreviousWindow;
};

std::vector<std::string> FileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(SpreadsheetService, AppActivateWritesANewFileInTheDocumentsFolderAndClosesTheBook) {
  struct Row {
    const char* name;
    std::string commands;  // before APP.ACTIVATE, on a new book
    std::string file;      // the file name written
  };
  const Row rows[] = {
      {"titled", "[SUMMARY.INFO(\"Offer\")]", "Offer 2026-12-01.xlsx"},
      {"untitled", "", "Book2 2026-12-01.xlsx"},
      {"Cyrillic title", "[SUMMARY.INFO(\"\xcf\xf0\xe5\xe4\xeb\xee\xe6\xe5\xed\xe8\xe5\")]",
       "\xd0\x9f\xd1\x80\xd0\xb5\xd0\xb4\xd0\xbb\xd0\xbe\xd0\xb6\xd0\xb5\xd0\xbd\xd0\xb8\xd0\xb5 "
       "2026-12-01.xlsx"},
      {"title that is no plain file name", "[SUMMARY.INFO(\" ..a/b:c*\x01. \")]",
       "a_b_c__ 2026-12-01.xlsx"},
      {"title of blanks", "[SUMMARY.INFO(\" . \")]", "Book2 2026-12-01.xlsx"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchFolder scratch;
    RecordingDesktop desktop;
    desktop.Documents = scratch.Path().string();
    TSpreadsheetService service;
    service.Today = [] { return std::chrono::year_month_day(std::chrono::year(2026) / 12 / 1); };
    ASSERT_TRUE(Exec(service, "[NEW(1)][FORMULA(\"x\")]" + row.commands + "[APP.ACTIVATE]"));
    const std::string path = scratch.File(row.file);
    EXPECT_EQ(FileNames(scratch.Path()), std::vector<std::string>{row.file});
    EXPECT_EQ(service.ShownFile(), path);
    EXPECT_EQ(desktop.Opened, std::vector<std::string>{path});
    EXPECT_TRUE(desktop.Messages.empty());
    // Handed over and closed: only the program's first book is left.
    ASSERT_EQ(service.Workbooks().size(), 1u);
    EXPECT_EQ(service.ActiveWorkbook()->Name, "Book1");
  }
}

TEST(SpreadsheetService, AnExportNeverReplacesAFileOfTheUser) {
  ScratchFolder scratch;
  RecordingDesktop desktop;
  desktop.Documents = scratch.Path().string();
  scratch.WriteFile("Offer 2026-12-10 (2).xlsx", "the user's own");
  TSpreadsheetService service;
  service.Today = [] { return std::chrono::year_month_day(std::chrono::year(2026) / 12 / 10); };
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(Exec(service, "[NEW(1)][SUMMARY.INFO(\"Offer\")][APP.ACTIVATE]"));
  EXPECT_EQ(FileNames(scratch.Path()),
            (std::vector<std::string>{"Offer 2026-12-10 (2).xlsx", "Offer 2026-12-10 (3).xlsx",
                                      "Offer 2026-12-10 (4).xlsx", "Offer 2026-12-10.xlsx"}));
  EXPECT_EQ(ReadWholeFile(scratch.File("Offer 2026-12-10 (2).xlsx")), "the user's own");
}

TEST(SpreadsheetService, WithoutAnApplicationForTheFileAMessageNamesIt) {
  ScratchFolder scratch;
  // The folder has a Cyrillic name: UTF-8 on disk, Windows-1251 in the message.
  const std::filesystem::path documents = scratch.Path() / "\xd0\x94\xd0\xbe\xd0\xba";
  std::filesystem::create_directory(documents);
  RecordingDesktop desktop;
  desktop.Documents = documents.string();
  desktop.Opens = false;
  TSpreadsheetService service;
  service.Today = [] { return std::chrono::year_month_day(std::chrono::year(2026) / 1 / 2); };
  ASSERT_TRUE(Exec(service, "[NEW(1)][APP.ACTIVATE]"));
  const std::string file = "/\xc4\xee\xea/Book2 2026-01-02.xlsx";
  ASSERT_EQ(desktop.Messages.size(), 1u);
  EXPECT_EQ(desktop.Messages[0], "The workbook has been saved as\n" +
                                     Utf8ToCp1251(scratch.Path().string()) + file +
                                     "\nbut no application for .xlsx files could open it.");
  EXPECT_TRUE(std::filesystem::is_regular_file(documents / "Book2 2026-01-02.xlsx"));
  EXPECT_EQ(service.Workbooks().size(), 1u);
}

TEST(SpreadsheetService, AWorkbookSavedByNameIsShownFromItsOwnFile) {
  ScratchFolder scratch;
  std::filesystem::create_directory(scratch.Path() / "documents");
  RecordingDesktop desktop;
  desktop.Documents = scratch.File("documents");
  TSpreadsheetService service;
  const std::string path = scratch.File("my offer.xlsx");
  ASSERT_TRUE(Exec(service, "[NEW(1)][SUMMARY.INFO(\"Offer\")][SAVE.AS(\"" + path + "\")]"));
  ASSERT_TRUE(Exec(service, "[FORMULA(\"later\")][APP.ACTIVATE]"));
  EXPECT_EQ(desktop.Opened, std::vector<std::string>{path});
  EXPECT_TRUE(FileNames(scratch.File("documents")).empty());
}

TEST(SpreadsheetService, FileCloseSavesFirstWhenAsked) {
  ScratchFolder scratch;
  RecordingDesktop desktop;
  desktop.Documents = scratch.Path().string();
  TSpreadsheetService service;
  service.Today = [] { return std::chrono::year_month_day(std::chrono::year(2026) / 12 / 10); };
  // A book saved before is written to its file again; a new one goes to the documents
  // folder; without the flag nothing is written.
  const std::string named = scratch.File("named.xlsx");
  ASSERT_TRUE(Exec(service, "[NEW(1)][SAVE.AS(\"" + named + "\")]"));
  const auto written = std::filesystem::last_write_time(named);
  std::filesystem::last_write_time(named, written - std::chrono::hours(1));
  ASSERT_TRUE(Exec(service, "[FORMULA(\"more\")][FILE.CLOSE(TRUE)]"));
  EXPECT_GT(std::filesystem::last_write_time(named), written - std::chrono::hours(1));
  ASSERT_TRUE(Exec(service, "[NEW(1)][SUMMARY.INFO(\"Draft\")][FILE.CLOSE(TRUE)]"));
  ASSERT_TRUE(Exec(service, "[NEW(1)][FILE.CLOSE(FALSE)][NEW(1)][FILE.CLOSE]"));
  EXPECT_EQ(FileNames(scratch.Path()),
            (std::vector<std::string>{"Draft 2026-12-10.xlsx", "named.xlsx"}));
  EXPECT_TRUE(desktop.Opened.empty()) << "closing shows nothing";
  EXPECT_EQ(service.Workbooks().size(), 1u);
}

// A day of exports in one run: every exported workbook is closed once handed over, so the
// spreadsheet holds no more than it did before the first.
TEST(SpreadsheetService, AHundredExportsLeaveNoWorkbookBehind) {
  RecordingDesktop desktop;
  desktop.Documents = "/documents";
  TSpreadsheetService service;
  int saved = 0;
  service.SaveNewFile = [&saved](const TWorkbook&, const std::string& folder,
                                 const std::string& stem) {
    ++saved;
    return folder + "/" + stem + ".xlsx";
  };
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(Exec(service,
                     "[NEW(1)][SELECT(\"R1C1\")][FORMULA(\"offer\")]"
                     "[FORMAT.FONT(\"Arial\",10)][APP.MAXIMIZE][APP.ACTIVATE]"));
    ASSERT_EQ(service.Workbooks().size(), 1u) << "after export " << i + 1;
  }
  EXPECT_EQ(saved, 100);
  EXPECT_EQ(desktop.Opened.size(), 100u);
}

// The saved file is a real workbook: another program reads back what the commands made.
TEST(SpreadsheetService, ASavedWorkbookReadsBackWithItsValuesAndLooks) {
  ScratchFolder scratch;
  // The picture's file has a Cyrillic name: UTF-8 on disk, Windows-1251 in the command.
  scratch.WriteFile("\xd0\xa0\xd0\xb8\xd1\x81.png", kPng);
  TSpreadsheetService service;
  service.DecimalSeparator = ',';
  const std::string commands[] = {
      "[NEW(1)]",
      "[SELECT(\"R1C1\")][COLUMN.WIDTH(12.5)][SELECT(\"R1C2\")][COLUMN.WIDTH(4)]",
      "[SELECT(\"R1C1\")][FORMULA(\"\xd1\xf3\xec\xec\xe0\", \"R1C1\")]",
      "[FORMAT.FONT(\"Arial\",12,True,False,False,False,0,False,False)]",
      "[ALIGNMENT(3,True,1,0)][BORDER(0,1,1,2,2,FALSE,0,0,0,0,0)][ROW.HEIGHT(30)]",
      "[SELECT(\"R1C2\")][BORDER(1,0,0,0,6,TRUE,3,0,0,0,5)]",
      "[SELECT(\"R2C1\")][FORMAT.NUMBER(\"0,00\")][FORMULA(\"1234,5\", \"R2C1\")]",
      // A control character goes into the file escaped (the reader shows the escape).
      "[SELECT(\"R2C2\")][FORMULA(\"text\x01with control\", \"R2C2\")]",
      // A formula typed in R1C1 goes into the file in A1, to be calculated when opened.
      "[FORMULA(\"=RC[-2]*2\", \"R2C3\")]",
      "[SELECT(\"R3C1\")][INSERT.PICTURE(\"" + scratch.File("\xd0\xe8\xf1.png") + "\")]",
  };
  for (const std::string& command : commands) ASSERT_TRUE(Exec(service, command)) << command;
  const std::string path = scratch.File("offer.xls");
  ASSERT_TRUE(Exec(service, "[SAVE.AS(\"" + path + "\")]"));
  EXPECT_EQ(service.ActiveWorkbook()->Name, "offer.xls");
  ASSERT_TRUE(Exec(service, "[FILE.CLOSE]"));
  EXPECT_EQ(service.ActiveWorkbook()->Name, "Book1");
  // Nothing of the temporary file is left beside the saved one.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(scratch.Path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"offer.xls", "\xd0\xa0\xd0\xb8\xd1\x81.png"}));

  const std::string dump = scratch.File("dump.txt");
  const std::string command = "/usr/bin/python3 " QUORVANE_SOURCE_DIR
                              "/tests/platform/xlsx_dump.py '" +
                              path + "' > '" + dump + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadWholeFile(dump);
  EXPECT_EQ(ReadWholeFile(dump),
            "sheet Sheet1\n"
            "cell A1 s '\xd0\xa1\xd1\x83\xd0\xbc\xd0\xbc\xd0\xb0' | General | bold=True "
            "italic=False underline=None font=Arial size=12.0 h=center v=top wrap=True "
            "left=thin right=thin top=medium bottom=medium\n"
            "cell B1 n None | General | bold=False italic=False underline=None font=Calibri "
            "size=11.0 h=None v=None wrap=None left=thin right=thin top=thin bottom=double "
            "colours=FFFF0000,FFFF0000,FFFF0000,FF0000FF fill=lightGray\n"
            "cell A2 n 1234.5 | 0.00 | bold=False italic=False underline=None font=Calibri "
            "size=11.0 h=None v=None wrap=None left=None right=None top=None bottom=None\n"
            "cell B2 s 'text_x0001_with control' | General | bold=False italic=False "
            "underline=None font=Calibri size=11.0 h=None v=None wrap=None left=None "
            "right=None top=None bottom=None\n"
            "cell C2 f '=A2*2' | General | bold=False italic=False underline=None "
            "font=Calibri size=11.0 h=None v=None wrap=None left=None right=None top=None "
            "bottom=None\n"
            "width A 13.29\n"
            "width B 4.71\n"
            "height 1 30.0\n"
            "media 1\n"
            "calc calcId=\"124519\" fullCalcOnLoad=\"1\"\n");
}

// The file holds formulas without results: a spreadsheet program that opens it shows their
// values, not a stored 0 (LibreOffice Calc, converting headless in a profile of its own).
TEST(SpreadsheetService, FormulasAreCalculatedByTheProgramThatOpensTheFile) {
  if (std::system("command -v soffice > /dev/null 2>&1") != 0) GTEST_SKIP() << "no soffice";
  ScratchFolder scratch;
  TSpreadsheetService service;
  const std::string book = scratch.File("formulas.xlsx");
  const std::string commands[] = {
      "[FORMULA(\"3\", \"R1C1\")][FORMULA(\"4\", \"R2C1\")]",
      "[FORMULA(\"=SUM(R[-2]C:R[-1]C)*2\", \"R3C1\")]",
      "[FORMULA(\"=R1C1+Sheet1!R[1]C[-2]+SUM(C1)\", \"R1C3\")]",
      "[FORMULA(\"=SUM(R1)\", \"R4C2\")]",
      "[SAVE.AS(\"" + book + "\")]",
  };
  for (const std::string& command : commands) ASSERT_TRUE(Exec(service, command)) << command;
  const std::string command = "cd '" + scratch.Path().string() +
                              "' && HOME=. timeout 120 soffice -env:UserInstallation=file://" +
                              scratch.File("profile") +
                              " --headless --convert-to csv formulas.xlsx > log.txt 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadWholeFile(scratch.File("log.txt"));
  EXPECT_EQ(ReadWholeFile(scratch.File("formulas.csv")), "3,,28\n4,,\n14,,\n,31,\n");
}

// --- Files the spreadsheet writes: where, with which mode, and what a failure says ---------

namespace {

// The service reached through a conversation, as the client reaches it, so that a rejected
// text's message shows.
class Conversation {
 public:
  explicit Conversation(TSpreadsheetService& service) : Service(service) {
    RegisterDdeService(kName, &service);
    Conv.SetLink(kName, "System");
    Conv.OpenLink();
  }
  ~Conversation() { UnregisterDdeService(&Service); }

  // "accepted", or "rejected" and the message that came with the rejection.
  std::string Execute(const std::string& command) {
    if (Conv.ExecuteMacro(command, false)) return "accepted";
    return Conv.Refused() ? "rejected: " + Conv.RefusalMessage() : "not sent";
  }

 private:
  static constexpr const char* kName = "SpreadsheetFiles";
  TSpreadsheetService& Service;
  TDdeClientConv Conv;
};

// Opens fail with EACCES in the folder named here, as in a documents folder that may not be
// written (which does not bind the superuser).
std::string refusedFolder;

void RefuseOpensIn(const std::string& folder) {
  refusedFolder = folder + "/";
  PosixFileCalls().Open = [](const char* path, int flags, mode_t mode) {
    if (std::string_view(path).substr(0, refusedFolder.size()) == refusedFolder) {
      errno = EACCES;
      return -1;
    }
    return ::open(path, flags, mode);
  };
}

struct RestoredFileCalls {
  ~RestoredFileCalls() { RestorePosixFileCalls(); }
};

std::chrono::year_month_day TenthOfDecember() {
  return std::chrono::year_month_day(std::chrono::year(2026) / 12 / 10);
}

// A spreadsheet whose documents folder is a scratch folder, on the 10th of December 2026.
struct ScratchDocuments {
  ScratchDocuments() {
    Desktop.Documents = Folder.Path().string();
    Service.Today = TenthOfDecember;
  }
  ScratchFolder Folder;
  RecordingDesktop Desktop;
  TSpreadsheetService Service;
};

}  // namespace

// A workbook that cannot be written: the user reads its full path and the reason in the one
// message the command is rejected with, nothing is left behind, and a documents folder that
// cannot take the file leaves it to the home folder. APP.ACTIVATE closes the workbook either
// way (nothing here shows it); a FILE.CLOSE that cannot save keeps it.
TEST(SpreadsheetFiles, AWorkbookThatCannotBeWrittenSaysWhereAndWhy) {
  enum TFault { None, DocumentsRefused, EveryFolderRefused, DiskFull };
  struct Row {
    const char* Name;
    std::string Command;
    bool DocumentsExist = true;
    bool HomeExists = true;
    TFault Fault = None;
    std::string Answer;   // "%d" stands for the documents folder, "%s" for the scratch folder
    std::string Written;  // the file written, "" none
    std::size_t BooksAfter = 1;
  };
  const Row rows[] = {
      {"documents folder missing, home there", "[APP.ACTIVATE]", false, true, None, "accepted",
       "home/Book2 2026-12-10.xlsx"},
      {"documents folder refused, home there", "[APP.ACTIVATE]", true, true, DocumentsRefused,
       "accepted", "home/Book2 2026-12-10.xlsx"},
      {"documents and home folders missing", "[APP.ACTIVATE]", false, false, None,
       "rejected: Unable to save \"%d/Book2 2026-12-10.xlsx\": No such file or directory", ""},
      {"every folder refused", "[APP.ACTIVATE]", true, true, EveryFolderRefused,
       "rejected: Unable to save \"%d/Book2 2026-12-10.xlsx\": Permission denied", ""},
      {"a full disk", "[APP.ACTIVATE]", true, true, DiskFull,
       "rejected: Unable to save \"%d/Book2 2026-12-10.xlsx\": No space left on device", ""},
      {"close with saving, no folder", "[FILE.CLOSE(TRUE)]", false, false, None,
       "rejected: Unable to save \"%d/Book2 2026-12-10.xlsx\": No such file or directory", "", 2},
      {"save as into a missing folder", "[SAVE.AS(\"%s/gone/offer.xlsx\")]", true, true, None,
       "rejected: Unable to save \"%s/gone/offer.xlsx\": No such file or directory", "", 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    RestoredFileCalls restore;
    ScratchFolder scratch;
    const std::string documents = scratch.File("documents");
    const std::string home = scratch.File("home");
    if (row.DocumentsExist) std::filesystem::create_directory(documents);
    if (row.HomeExists) std::filesystem::create_directory(home);
    RecordingDesktop desktop;
    TSpreadsheetService service;
    service.DocumentsFolder = documents;
    service.HomeFolder = home;
    service.Today = TenthOfDecember;
    Conversation conv(service);
    ASSERT_EQ(conv.Execute("[NEW(1)][FORMULA(\"kept\")]"), "accepted");
    if (row.Fault == DocumentsRefused) RefuseOpensIn(documents);
    if (row.Fault == EveryFolderRefused) RefuseOpensIn(scratch.Path().string());
    if (row.Fault == DiskFull) {
      PosixFileCalls().Write = [](int, const void*, std::size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
      };
    }
    const auto fill = [&](std::string text) {
      for (const auto& [mark, folder] :
           {std::pair{"%d", documents}, {"%s", scratch.Path().string()}})
        for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
          text.replace(at, 2, folder);
      return text;
    };
    EXPECT_EQ(conv.Execute(fill(row.Command)), fill(row.Answer));
    RestorePosixFileCalls();
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch.Path())) {
      if (!entry.is_directory())
        files.push_back(std::filesystem::relative(entry.path(), scratch.Path()).string());
    }
    EXPECT_EQ(files, row.Written.empty() ? std::vector<std::string>{}
                                         : std::vector<std::string>{row.Written});
    EXPECT_EQ(desktop.Opened.size(), row.Written.empty() ? 0u : 1u);
    EXPECT_EQ(service.Workbooks().size(), row.BooksAfter);
    if (row.BooksAfter == 2) {
      EXPECT_EQ(ValueOf(*service.ActiveWorkbook(), 1, 1), "t:kept");
    }
  }
}

// A workbook left for the user gets the mode of any new document (0666 less the umask); one
// saved over an existing file keeps that file's mode.
TEST(SpreadsheetFiles, WorkbooksHaveTheModesOfTheUsersDocuments) {
  struct Row {
    const char* Name;
    mode_t Umask;
    mode_t Existing;  // SAVE.AS over a file of this mode; 0: APP.ACTIVATE of a new file
    mode_t Mode;
  };
  const Row rows[] = {
      {"a new workbook under umask 022", 022, 0, 0644},
      {"a new workbook under umask 002", 002, 0, 0664},
      {"saved over a private file", 022, 0600, 0600},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ScratchDocuments documents;
    const mode_t previous = ::umask(row.Umask);
    std::string path = documents.Folder.File("Offer 2026-12-10.xlsx");
    if (row.Existing != 0) {
      documents.Folder.WriteFile("Offer 2026-12-10.xlsx", "old");
      ::chmod(path.c_str(), row.Existing);
      EXPECT_TRUE(Exec(documents.Service, "[NEW(1)][SAVE.AS(\"" + path + "\")]"));
    } else {
      EXPECT_TRUE(Exec(documents.Service, "[NEW(1)][SUMMARY.INFO(\"Offer\")][APP.ACTIVATE]"));
    }
    ::umask(previous);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, row.Mode);
    EXPECT_EQ(FileNames(documents.Folder.Path()),
              std::vector<std::string>{"Offer 2026-12-10.xlsx"});
  }
}

// An export killed while it wrote leaves its temporary file; the next export into that folder
// removes it, but not the temporary of a save that is still running.
TEST(SpreadsheetFiles, TheNextExportRemovesTheTemporaryOfAKilledOne) {
  ScratchDocuments documents;
  const std::string dead = ".~qv" + std::to_string(DeadProcessId()) + "-0.tmp";
  const std::string alive = ".~qv" + std::to_string(::getppid()) + "-0.tmp";
  documents.Folder.WriteFile(dead, "half a workbook");
  documents.Folder.WriteFile(alive, "a workbook being written");
  ASSERT_TRUE(Exec(documents.Service, "[NEW(1)][SUMMARY.INFO(\"Offer\")][APP.ACTIVATE]"));
  EXPECT_EQ(FileNames(documents.Folder.Path()),
            (std::vector<std::string>{alive, "Offer 2026-12-10.xlsx"}));
}

// SAVE.AS takes every name the folder can hold, and a name that is a link (also a dangling
// one) writes the file the link names and keeps the link.
TEST(SpreadsheetFiles, SaveAsTakesTheLongestNameAndWritesThroughALink) {
  ScratchFolder scratch;
  TSpreadsheetService service;
  const std::string longest = scratch.File(std::string(250, 'o') + ".xlsx");
  EXPECT_TRUE(Exec(service, "[NEW(1)][SAVE.AS(\"" + Utf8ToCp1251(longest) + "\")]"));
  EXPECT_TRUE(std::filesystem::is_regular_file(longest));
  const std::string link = scratch.File("link.xlsx");
  std::filesystem::create_symlink("named.xlsx", link);
  EXPECT_TRUE(Exec(service, "[NEW(1)][SAVE.AS(\"" + link + "\")]"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(std::filesystem::is_regular_file(scratch.File("named.xlsx")));
  EXPECT_EQ(FileNames(scratch.Path()).size(), 3u) << "no temporary is left";
}

TEST(ProgramSpreadsheet, TakesTheServiceNameBackOnceAnotherServerLeavesIt) {
  TSpreadsheetService& program = ProgramSpreadsheet();
  EXPECT_EQ(FindDdeService("Excel"), &program);
  EXPECT_EQ(&ProgramSpreadsheet(), &program) << "one spreadsheet for the whole process";
  UnregisterDdeService(&program);
  {
    TSpreadsheetService other;
    ASSERT_TRUE(other.Register());
    EXPECT_EQ(&ProgramSpreadsheet(), &program);
    EXPECT_EQ(FindDdeService("excel"), &other) << "a registered server is not displaced";
  }
  ProgramSpreadsheet();
  EXPECT_EQ(FindDdeService("Excel"), &program);
}

}  // namespace
