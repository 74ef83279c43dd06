#include "report/excel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/locale.h"
#include "platform/spreadsheet.h"
#include "tests/report/excel_fakes.h"

namespace {

using Strings = std::vector<std::string>;

// A client connected to the scripted server, with the commands of the connection forgotten.
struct Connected {
  ScopedExcelHooks hooks;
  ScriptedExcelServer server;
  std::unique_ptr<TAdvExcel> excel;

  // The burst count is set before the connection, whose two commands count too.
  explicit Connected(int burst = 128) {
    excel = std::make_unique<TAdvExcel>();
    excel->BurstCount = burst;
    excel->Connect();
    server.Commands.clear();
    server.Events.clear();
    server.Topics.clear();
  }
  long Requests(const std::string& item) const {
    return std::count(server.Events.begin(), server.Events.end(), "request " + item);
  }
};

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ExcelError& e) {
    return e.what();
  }
  return "<no error>";
}

TEST(ExcelClient, EveryPrimitiveSendsItsExactCommand) {
  struct Row {
    const char* name;
    std::function<void(TAdvExcel&)> action;
    Strings commands;
    char separator = '.';
  };
  const Row rows[] = {
      {"select", [](TAdvExcel& x) { x.Select(3, 7); }, {"[SELECT(\"R3C7\")]"}},
      {"select without row", [](TAdvExcel& x) { x.Select(0, 5); }, {}},
      {"select without column", [](TAdvExcel& x) { x.Select(5, 0); }, {}},
      {"select the last addressable cell",
       [](TAdvExcel& x) { x.Select(65535, 65535); },
       {"[SELECT(\"R65535C65535\")]"}},
      {"formula at", [](TAdvExcel& x) { x.PutFormulaAt(2, 3, "12"); }, {"[FORMULA(12, \"R2C3\")]"}},
      {"formula at row 0 steps down",
       [](TAdvExcel& x) { x.PutFormulaAt(0, 3, "\"a\""); },
       {"[FORMULA(\"a\")]", "[SELECT(\"R[1]C\")]"}},
      {"step up",
       [](TAdvExcel& x) {
         x.MoveActiveCell = dirUp;
         x.PutFormula("1");
       },
       {"[FORMULA(1)]", "[SELECT(\"R[-1]C\")]"}},
      {"step left",
       [](TAdvExcel& x) {
         x.MoveActiveCell = dirLeft;
         x.StepActiveCell();
       },
       {"[SELECT(\"RC[-1]\")]"}},
      {"step right",
       [](TAdvExcel& x) {
         x.MoveActiveCell = dirRight;
         x.StepActiveCell();
       },
       {"[SELECT(\"RC[1]\")]"}},
      {"no step",
       [](TAdvExcel& x) {
         x.MoveActiveCell = dirNone;
         x.PutFormula("1");
       },
       {"[FORMULA(1)]"}},
      {"quotes in a text are doubled, not made apostrophes",
       [](TAdvExcel& x) { x.PutStr(2, 3, "say \"hi\""); },
       {"[FORMULA(\"say \"\"hi\"\"\", \"R2C3\")]"}},
      {"a formula's string constants keep their quotes",
       [](TAdvExcel& x) { x.PutStr(2, 3, "=IF(R[-1]C>0,\"yes\",\"\")"); },
       {"[FORMULA(\"=IF(R[-1]C>0,\"\"yes\"\",\"\"\"\")\", \"R2C3\")]"}},
      {"text without address",
       [](TAdvExcel& x) { x.PutStr(0, 0, "x"); },
       {"[FORMULA(\"x\")]", "[SELECT(\"R[1]C\")]"}},
      {"font",
       [](TAdvExcel& x) { x.FormatFont("Arial", 10, true, false, true, false, 3, false, true); },
       {"[FORMAT.FONT(\"Arial\",10,True,False,True,False,3,False,True)]"}},
      {"font name with a quote",
       [](TAdvExcel& x) {
         x.FormatFont("My \"Font\"", 8, false, false, false, false, 0, false, false);
       },
       {"[FORMAT.FONT(\"My \"\"Font\"\"\",8,False,False,False,False,0,False,False)]"}},
      {"picture",
       [](TAdvExcel& x) { x.InsertPicture("/tmp/a.png"); },
       {"[INSERT.PICTURE(\"/tmp/a.png\")]"}},
      {"picture with a quote",
       [](TAdvExcel& x) { x.InsertPicture("/tmp/a\"b.png"); },
       {"[INSERT.PICTURE(\"/tmp/a\"\"b.png\")]"}},
      {"column width 100", [](TAdvExcel& x) { x.SetColumnWidth(100); }, {"[COLUMN.WIDTH(12.5)]"}},
      {"column width under a comma locale",
       [](TAdvExcel& x) { x.SetColumnWidth(100); },
       {"[COLUMN.WIDTH(12.5)]"},
       ','},
      {"column width 32", [](TAdvExcel& x) { x.SetColumnWidth(32); }, {"[COLUMN.WIDTH(4)]"}},
      {"column width 1", [](TAdvExcel& x) { x.SetColumnWidth(1); }, {"[COLUMN.WIDTH(0.125)]"}},
      {"column width 0", [](TAdvExcel& x) { x.SetColumnWidth(0); }, {"[COLUMN.WIDTH(0)]"}},
      {"row height", [](TAdvExcel& x) { x.SetRowHeight(17); }, {"[ROW.HEIGHT(17)]"}},
      {"alignment", [](TAdvExcel& x) { x.SetAlignment(3, 2, true); }, {"[ALIGNMENT(3,True,2,0)]"}},
      {"border",
       [](TAdvExcel& x) { x.SetBorder(1, 2, 3, 4); },
       {"[BORDER(0,1,2,3,4,FALSE,0,0,0,0,0)]"}},
      {"number format",
       [](TAdvExcel& x) { x.FormatNumber("0,00"); },
       {"[FORMAT.NUMBER(\"0,00\")]"}},
      {"number format with quotes",
       [](TAdvExcel& x) { x.FormatNumber("0\" kg\""); },
       {"[FORMAT.NUMBER(\"0\"\" kg\"\"\")]"}},
      {"new workbook", [](TAdvExcel& x) { x.NewWorkbook(); }, {"[NEW(1)]"}},
      {"save as", [](TAdvExcel& x) { x.SaveAs("C:\\a b.xls"); }, {"[SAVE.AS(\"C:\\a b.xls\")]"}},
      {"save as with a quote",
       [](TAdvExcel& x) { x.SaveAs("a\"].xls"); },
       {"[SAVE.AS(\"a\"\"].xls\")]"}},
      {"save as with a long name",
       [](TAdvExcel& x) { x.SaveAs(std::string(300, 'x') + ".xls"); },
       {"[SAVE.AS(\"" + std::string(300, 'x') + ".xls\")]"}},
      {"font named by quotes only",
       [](TAdvExcel& x) {
         x.FormatFont(std::string(100, '"'), 8, false, false, false, false, 0, false, false);
       },
       {"[FORMAT.FONT(\"" + std::string(200, '"') +
        "\",8,False,False,False,False,0,False,False)]"}},
      {"border with the widest numbers",
       [](TAdvExcel& x) { x.SetBorder(INT32_MIN, INT32_MAX, 0, -1); },
       {"[BORDER(0,-2147483648,2147483647,0,-1,FALSE,0,0,0,0,0)]"}},
      {"errors ignored", [](TAdvExcel& x) { x.SetErrorState(true); }, {"[ERROR(0)]"}},
      {"errors reported", [](TAdvExcel& x) { x.SetErrorState(false); }, {"[ERROR(1)]"}},
      {"open", [](TAdvExcel& x) { x.OpenFile("b.xls", 3); }, {"[OPEN(\"b.xls\",3)]"}},
      {"open with a quote",
       [](TAdvExcel& x) { x.OpenFile("\"b\".xls", 0); },
       {"[OPEN(\"\"\"b\"\".xls\",0)]"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Connected c;
    c.hooks.Separator = row.separator;
    row.action(*c.excel);
    EXPECT_EQ(c.server.Commands, row.commands);
    for (const std::string& topic : c.server.Topics) EXPECT_EQ(topic, "System");
  }
}

TEST(ExcelClient, RowsAndColumnsBeyondSixteenBitsRaiseInsteadOfWrapping) {
  Connected c;
  for (auto [row, column] : {std::pair{65536, 1}, {1, 65536}, {-1, 1}, {1, -1}}) {
    EXPECT_EQ(
        ErrorOf([&] { c.excel->Select(row, column); }),
        "Cell R" + std::to_string(row) + "C" + std::to_string(column) + " is outside the sheet");
    EXPECT_THROW(c.excel->PutStr(row, column, "x"), ExcelError);
  }
  EXPECT_TRUE(c.server.Commands.empty());
}

TEST(ExcelClient, CreationSetsTheDefaults) {
  ScopedExcelHooks hooks;
  hooks.Separator = ',';
  TAdvExcel excel;
  EXPECT_EQ(excel.ExeName(), "Excel");
  EXPECT_EQ(excel.DdeConv().ServiceApplication, "Excel");
  EXPECT_EQ(excel.DdeConv().ConnectMode, TDataMode::ddeManual);
  EXPECT_TRUE(excel.DDELaunch);
  EXPECT_EQ(excel.BurstCount, 128);
  EXPECT_EQ(excel.MoveActiveCell, dirDown);
  EXPECT_EQ(excel.DecimalSeparator, ',');
  EXPECT_FALSE(excel.Connected());
  EXPECT_FALSE(excel.HasCellLetters());
  EXPECT_EQ(excel.FileExt, ".xls");
  EXPECT_EQ(excel.ExeFile, "EXCEL.EXE");
  TCustomExcel plain;
  EXPECT_EQ(plain.MoveActiveCell, dirNone);
  excel.SetFilterReturnedData(true);
  EXPECT_TRUE(excel.FilterReturnedData());
  EXPECT_TRUE(excel.DdeConv().FormatChars);
}

TEST(ExcelClient, ConnectOpensSystemDetectsTheLettersAndNotifies) {
  ScopedExcelHooks hooks;
  ScriptedExcelServer server;
  TAdvExcel excel;
  Strings events;
  excel.OnOpen = [&](TCustomExcel* sender) {
    EXPECT_EQ(sender, &excel);
    events.push_back("open");
  };
  excel.OnClose = [&](TCustomExcel*) { events.push_back("close"); };
  excel.Connect();
  EXPECT_TRUE(excel.Connected());
  EXPECT_EQ(excel.RowLetter(), 'R');
  EXPECT_EQ(excel.ColumnLetter(), 'C');
  EXPECT_FALSE(excel.IgnoreErrors());
  EXPECT_EQ(server.Events,
            (Strings{"open System", "exec [ERROR(0)]", "request Selection", "exec [ERROR(1)]"}));
  excel.Connect();  // already connected: nothing
  EXPECT_EQ(server.Events.size(), 4u);

  // Setting the program's name closes the conversation and drops the extension.
  excel.SetExeName("C:\\Office 97\\EXCEL.EXE");
  EXPECT_EQ(excel.ExeName(), "C:\\Office 97\\EXCEL");
  EXPECT_EQ(excel.DdeConv().ServiceApplication, "C:\\Office 97\\EXCEL");
  EXPECT_FALSE(excel.Connected());
  EXPECT_EQ(events, (Strings{"open", "close"}));
  excel.SetExeName("C:\\my.folder\\EXCEL");
  EXPECT_EQ(excel.ExeName(), "C:\\my.folder\\EXCEL");
  excel.Disconnect();  // not connected: nothing
  EXPECT_EQ(events.size(), 2u);
}

TEST(ExcelClient, ConnectWithoutLettersInTheReplyStillConnects) {
  ScopedExcelHooks hooks;
  ScriptedExcelServer server;
  server.SelectionReply.reset();
  TAdvExcel excel;
  excel.Connect();
  EXPECT_TRUE(excel.Connected());
  EXPECT_FALSE(excel.HasCellLetters());
  EXPECT_EQ(server.Commands, (Strings{"[ERROR(0)]", "[ERROR(1)]"}))
      << "the error state is restored after the failed detection";
  EXPECT_EQ(ErrorOf([&] { excel.SelectActiveSheet(); }), "*** Excel - No Reply ***")
      << "the detection is tried again and its error passes on";
}

TEST(ExcelClient, SelectionRepliesGiveTheSheetTopicAndTheCellLetters) {
  struct Row {
    std::optional<std::string> reply;
    std::string sheet;
    bool detected;
    char row = 0;
    char column = 0;
    std::string error = "";  // of EnsureCellLetters when the letters are unknown
  };
  const Row rows[] = {
      {"[Book1]Sheet1!R1C1", "[Book1]Sheet1", true, 'R', 'C'},
      {"'[My Book]Sheet 1'!R10C3", "'[My Book]Sheet 1'", true, 'R', 'C'},
      {"[Mappe1]Tabelle1!Z1S1", "[Mappe1]Tabelle1", true, 'Z', 'S'},
      {"[Book1]Sheet1!R1", "[Book1]Sheet1", true, 'R', '1'},
      {"[Book1]Sheet1!R12345", "[Book1]Sheet1", true, 'R', '5'},
      {"a!b![Book1]Sheet1!RC", "a!b![Book1]Sheet1", true, 'R', 'C'},
      {"[Book1]Sheet1!", "[Book1]Sheet1", false, 0, 0,
       "Could not identify letters for row and/or column"},
      {"[Book1]Sheet1!R", "[Book1]Sheet1", false, 0, 0,
       "Could not identify letters for row and/or column"},
      {"no sheet", "no sheet", false, 0, 0, "Could not identify letters for row and/or column"},
      {std::nullopt, "", false, 0, 0, "*** Excel - No Reply ***"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reply.value_or("<no reply>"));
    ScopedExcelHooks hooks;
    ScriptedExcelServer server;
    server.SelectionReply = row.reply;
    TAdvExcel excel;
    excel.Connect();
    EXPECT_EQ(excel.GetSelectionSheet(), row.sheet);
    EXPECT_EQ(excel.HasCellLetters(), row.detected);
    EXPECT_EQ(excel.RowLetter(), row.row);
    EXPECT_EQ(excel.ColumnLetter(), row.column);
    server.Commands.clear();
    const std::string error = ErrorOf([&] { excel.EnsureCellLetters(); });
    EXPECT_EQ(error, row.error.empty() ? "<no error>" : row.error);
    if (!row.detected) {
      EXPECT_EQ(server.Commands, (Strings{"[ERROR(0)]", "[ERROR(1)]"}));
      EXPECT_FALSE(excel.IgnoreErrors());
    }
  }
}

TEST(ExcelClient, SelectActiveSheetMovesToTheSheetTopicAndKeepsTheConnection) {
  ScopedExcelHooks hooks;
  ScriptedExcelServer server;
  server.SelectionReply = "'[My Book]Sheet 1'!R10C3";
  TAdvExcel excel;
  int notifications = 0;
  excel.OnOpen = excel.OnClose = [&](TCustomExcel*) { ++notifications; };
  excel.Connect();
  ASSERT_EQ(notifications, 1);
  server.Events.clear();
  server.Topics.clear();
  excel.SelectActiveSheet();
  EXPECT_EQ(excel.DdeConv().DdeTopic(), "[My Book]Sheet 1");
  EXPECT_TRUE(excel.Connected());
  EXPECT_EQ(notifications, 1) << "a topic change sends no notification";
  EXPECT_EQ(server.Events, (Strings{"request Selection", "open [My Book]Sheet 1"}));
  // The next command goes back to "System".
  excel.Select(1, 1);
  EXPECT_EQ(excel.DdeConv().DdeTopic(), "System");
  EXPECT_EQ(server.Topics, Strings{"System"});
  EXPECT_EQ(notifications, 1);
}

TEST(ExcelClient, BurstsWaitForReadinessBeforeTheirLastCommand) {
  // The connection has sent two commands already (the error state around the detection).
  struct Row {
    int burst;
    int commands;
    long waits;
    int countAfter;
  };
  const Row rows[] = {
      {128, 125, 0, 127}, {128, 126, 1, 0}, {128, 254, 2, 0},  {128, 298, 2, 44},
      {1, 3, 3, 0},       {0, 300, 0, 302}, {-1, 300, 0, 302},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.burst) + " / " + std::to_string(row.commands));
    Connected c(row.burst);
    int begun = 0, ended = 0;
    c.excel->OnBeginWait = [&](TCustomExcel*) { ++begun; };
    c.excel->OnEndWait = [&](TCustomExcel*) { ++ended; };
    for (int i = 0; i < row.commands; ++i) c.excel->NewWorkbook();
    EXPECT_EQ(c.Requests("Status"), row.waits);
    EXPECT_EQ(begun, row.waits);
    EXPECT_EQ(ended, row.waits);
    EXPECT_EQ(c.excel->CommandCount(), row.countAfter);
    EXPECT_EQ(static_cast<int>(c.server.Commands.size()), row.commands);
  }
  // The wait comes before the command that completes the burst.
  Connected c(2);
  c.excel->NewWorkbook();
  c.excel->SaveAs("a");
  EXPECT_EQ(c.server.Events, (Strings{"exec [NEW(1)]", "request Status", "exec [SAVE.AS(\"a\")]"}));
}

TEST(ExcelClient, ARefusedCommandIsSentAgainOnceTheSpreadsheetIsReady) {
  Connected c;
  c.server.BusyNext = 1;
  c.server.NotReadyReplies = 2;
  Strings waits;
  c.excel->OnBeginWait = [&](TCustomExcel*) { waits.push_back("begin"); };
  c.excel->OnWaiting = [&](TCustomExcel*) { waits.push_back("waiting"); };
  c.excel->OnEndWait = [&](TCustomExcel*) { waits.push_back("end"); };
  c.excel->NewWorkbook();
  EXPECT_EQ(c.server.Events, (Strings{"exec [NEW(1)]", "request Status", "request Status",
                                      "request Status", "exec [NEW(1)]"}));
  EXPECT_EQ(c.server.Commands, Strings{"[NEW(1)]"});
  EXPECT_EQ(waits, (Strings{"begin", "waiting", "waiting", "end"}));

  c.server.Rejected.insert("[FILE.CLOSE]");
  EXPECT_EQ(ErrorOf([&] { c.excel->ExecMacro("[FILE.CLOSE]"); }),
            "\"[FILE.CLOSE]\" not accepted by Excel");
}

// A command the spreadsheet rejected was carried out as far as it went (a workbook written,
// or closed): it is sent once, and the spreadsheet's message, where it gives one, is the error.
TEST(ExcelClient, ARejectedCommandIsSentOnceAndEndsWithTheSpreadsheetsMessage) {
  struct Row {
    const char* Command;
    std::string Message;  // given with the rejection; empty: none
    std::string Error;
  };
  const Row rows[] = {
      {"[FILE.CLOSE]", "", "\"[FILE.CLOSE]\" not accepted by Excel"},
      {"[APP.ACTIVATE]", "Unable to save \"/home/user/Offer.xlsx\": Permission denied",
       "Unable to save \"/home/user/Offer.xlsx\": Permission denied"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Command);
    Connected c;
    if (row.Message.empty()) {
      c.server.Rejected.insert(row.Command);
    } else {
      c.server.RejectedSaying[row.Command] = row.Message;
    }
    c.server.Events.clear();
    EXPECT_EQ(ErrorOf([&] { c.excel->ExecMacro(row.Command); }), row.Error);
    EXPECT_EQ(c.server.Events, Strings{"exec " + std::string(row.Command)});
    // The next command goes as any other.
    c.excel->NewWorkbook();
    EXPECT_EQ(c.server.Commands.back(), "[NEW(1)]");
  }
}

TEST(ExcelClient, ASpreadsheetThatNeverBecomesReadyEndsTheWaitAtTheDeadline) {
  ScopedExcelHooks hooks;
  hooks.SetReadyTimeout(std::chrono::seconds(5));
  ScriptedExcelServer server;
  TAdvExcel excel;
  excel.Connect();
  server.StatusReply = "Busy";
  int waiting = 0, ended = 0;
  excel.OnWaiting = [&](TCustomExcel*) { ++waiting; };
  excel.OnEndWait = [&](TCustomExcel*) { ++ended; };
  EXPECT_EQ(ErrorOf([&] { excel.WaitUntilReady(); }), "Excel did not become ready");
  // Every pass processes messages once (and the fake clock moves 100 ms with it); the status
  // request itself processes messages too.
  EXPECT_GE(waiting, 20);
  EXPECT_LE(waiting, 50);
  EXPECT_EQ(ended, 1);

  // Without any conversation the wait ends the same way instead of hanging.
  excel.Disconnect();
  EXPECT_EQ(ErrorOf([&] { excel.NewWorkbook(); }), "Excel did not become ready");
  EXPECT_EQ(ErrorOf([&] { excel.SetErrorState(true); }), "No open DDE connection to Excel");
  EXPECT_EQ(ErrorOf([&] { excel.CheckConnection(); }), "No open DDE connection to Excel");
}

// A spreadsheet that answers "Busy" to everything: the connection ends with the error after
// one deadline (the detection of the letters does not swallow it and wait again), and every
// poll of the wait is followed by a rest, so the wait does not spin.
TEST(ExcelClient, ABusySpreadsheetEndsTheConnectionAfterOneDeadlineWithoutSpinning) {
  struct Row {
    const char* name;
    std::chrono::milliseconds step;  // how far the clock moves when messages are processed
  };
  const Row rows[] = {{"events take 1 ms", std::chrono::milliseconds(1)},
                      {"events take 100 ms", std::chrono::milliseconds(100)}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedExcelHooks hooks;
    hooks.Step = row.step;
    ScriptedExcelServer server;
    server.BusyNext = 1 << 30;
    server.StatusReply = "Busy";
    TAdvExcel excel;
    int waits = 0, passes = 0;
    excel.OnBeginWait = [&](TCustomExcel*) { ++waits; };
    excel.OnWaiting = [&](TCustomExcel*) { ++passes; };
    const auto start = hooks.Clock;
    EXPECT_EQ(ErrorOf([&] { excel.Connect(); }), "Excel did not become ready");
    const auto waited = hooks.Clock - start;
    EXPECT_GE(waited, std::chrono::seconds(30));
    EXPECT_LT(waited, std::chrono::seconds(31)) << "one deadline, not one per command";
    EXPECT_EQ(waits, 1);
    EXPECT_GT(passes, 0);
    EXPECT_EQ(static_cast<int>(hooks.Sleeps.size()), passes) << "every pass rests";
    for (std::uint32_t sleep : hooks.Sleeps) EXPECT_GT(sleep, 0u);
  }
}

// A conversation whose transactions stay pending for a number of tests of its wait status.
class PendingConversation : public TDdeClientConv {
 public:
  explicit PendingConversation(int* pending) : Pending(pending) {}
  bool WaitStat() const override {
    if (*Pending <= 0) return false;
    --*Pending;
    return true;
  }

 private:
  int* Pending;
};

TEST(ExcelClient, NoReadinessIsAskedWhileATransactionIsPending) {
  ScopedExcelHooks hooks;
  int pending = 0;
  hooks.NewConversation = [&pending] { return std::make_unique<PendingConversation>(&pending); };
  ScriptedExcelServer server;
  TAdvExcel excel;
  excel.Connect();
  server.Events.clear();
  int waiting = 0;
  excel.OnWaiting = [&](TCustomExcel*) { ++waiting; };
  pending = 3;
  excel.WaitUntilReady();
  EXPECT_EQ(waiting, 3);
  EXPECT_EQ(server.Events, Strings{"request Status"});
}

TEST(ExcelClient, RunningExcelIsFoundByTheNamesOfTheProcesses) {
  struct Row {
    Strings processes;
    bool running;
  };
  const Row rows[] = {
      {{}, false},
      {{"bash", "EXCEL.EXE"}, true},
      {{"excel"}, true},
      {{"MyExcelTool.exe"}, true},
      {{"excel.bak.exe"}, true},
      {{"notepad.exe", "book.excel"}, false},
      {{"exce.exe", "l.exe"}, false},
  };
  for (const Row& row : rows) {
    ScopedExcelHooks hooks;
    hooks.Processes = row.processes;
    TAdvExcel excel;
    EXPECT_EQ(excel.IsExcelRunning(), row.running) << ::testing::PrintToString(row.processes);
  }
}

TEST(ExcelClient, LocateExcelReadsTheProgramRegisteredForTheFileType) {
  struct Row {
    const char* name;
    std::map<std::string, std::string> registry;
    std::set<std::string> files;
    std::string exeName;
  };
  const std::string command = "Excel.Sheet.8\\shell\\Open\\command";
  const Row rows[] = {
      {"nothing registered", {}, {}, "Excel"},
      {"no open command", {{".xls", "Excel.Sheet.8"}}, {}, "Excel"},
      {"quoted path with switches",
       {{".xls", "Excel.Sheet.8"}, {command, "\"C:\\Program Files\\Office\\excel.exe\" /e \"%1\""}},
       {"C:\\PROGRAM FILES\\OFFICE\\EXCEL.EXE"},
       "C:\\PROGRAM FILES\\OFFICE\\EXCEL"},
      {"the registered file is missing",
       {{".xls", "Excel.Sheet.8"}, {command, "\"C:\\Office\\EXCEL.EXE\" /e"}},
       {},
       ""},
      {"the last occurrence counts",
       {{".xls", "Excel.Sheet.8"}, {command, "C:\\EXCEL.EXE\\EXCEL.EXE /dde"}},
       {"C:\\EXCEL.EXE\\EXCEL.EXE"},
       "C:\\EXCEL.EXE\\EXCEL"},
      {"no executable name: the first 8 characters",
       {{".xls", "Excel.Sheet.8"}, {command, "C:\\Office\\calc.exe"}},
       {"C:\\OFFIC.EXE"},
       "C:\\OFFIC"},
      {"the name at the very start does not count",
       {{".xls", "Excel.Sheet.8"}, {command, "EXCEL.EXE /e"}},
       {"EXCEL.EXE"},
       "EXCEL"},
      {"a value beyond the buffer cannot be read",
       {{".xls", "Excel.Sheet.8"}, {command, "\"C:\\" + std::string(540, 'x') + "\\EXCEL.EXE\""}},
       {},
       "Excel"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedExcelHooks hooks;
    hooks.ClassValues = row.registry;
    hooks.Files = row.files;
    TAdvExcel excel;
    excel.LocateExcel();
    EXPECT_EQ(excel.ExeName(), row.exeName);
  }
}

TEST(ExcelClient, LaunchExcelStartsTheLocatedProgramMinimised) {
  ScopedExcelHooks hooks;
  TAdvExcel excel;
  excel.SetExeName("C:\\Program Files\\Office\\EXCEL");
  EXPECT_EQ(ErrorOf([&] { excel.LaunchExcel(); }), "Excel could not be launched");
  EXPECT_TRUE(hooks.Started.empty()) << "a missing file is not started";
  hooks.Files.insert("C:\\Program Files\\Office\\EXCEL.EXE");
  hooks.StartResult = 31;
  EXPECT_EQ(ErrorOf([&] { excel.LaunchExcel(); }), "Excel could not be launched");
  hooks.StartResult = 32;
  EXPECT_EQ(ErrorOf([&] { excel.LaunchExcel(); }), "<no error>");
  EXPECT_EQ(hooks.Started, (Strings{"\"C:\\Program Files\\Office\\EXCEL.EXE\"",
                                    "\"C:\\Program Files\\Office\\EXCEL.EXE\""}));
}

TEST(ExcelClient, ConnectLocatesAndLaunchesAfterAFailedAttempt) {
  struct Row {
    const char* name;
    bool ddeLaunch;
    bool launchBringsServer;
    std::string error;
    Strings started;
  };
  // The conversation itself starts its service application when no server answers, once per
  // attempt; the client's own launch comes between the attempts when DDELaunch is off.
  const Row rows[] = {
      {"launched by the client",
       false,
       true,
       "",
       {"C:\\OFFICE\\EXCEL", "\"C:\\OFFICE\\EXCEL.EXE\""}},
      {"nothing answers",
       false,
       false,
       "Excel could not be launched",
       {"C:\\OFFICE\\EXCEL", "\"C:\\OFFICE\\EXCEL.EXE\"", "C:\\OFFICE\\EXCEL",
        "C:\\OFFICE\\EXCEL"}},
      {"left to the conversation",
       true,
       false,
       "Excel could not be launched",
       {"C:\\OFFICE\\EXCEL", "C:\\OFFICE\\EXCEL", "C:\\OFFICE\\EXCEL"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedExcelHooks hooks;
    hooks.ClassValues = {{".xls", "Excel.Sheet.8"},
                         {"Excel.Sheet.8\\shell\\Open\\command", "\"C:\\Office\\EXCEL.EXE\""}};
    hooks.Files = {"C:\\OFFICE\\EXCEL.EXE"};
    hooks.StartResult = 33;
    std::unique_ptr<ScriptedExcelServer> server;
    if (TDdeServer* other = FindDdeService("Excel")) UnregisterDdeService(other);
    hooks.OnStart = [&](const std::string& line) {
      if (row.launchBringsServer && line.front() == '"')
        server = std::make_unique<ScriptedExcelServer>();
    };
    TAdvExcel excel;
    excel.SetExeName("C:\\OFFICE\\EXCEL");
    excel.DDELaunch = row.ddeLaunch;
    EXPECT_EQ(ErrorOf([&] { excel.Connect(); }), row.error.empty() ? "<no error>" : row.error);
    EXPECT_EQ(excel.Connected(), row.error.empty());
    EXPECT_EQ(hooks.Started, row.started);
  }
}

// The client against the program's own spreadsheet, through the default hooks.
TEST(ExcelClient, TheProgramsSpreadsheetCountsAsRunningAndTakesTheCommands) {
  TAdvExcel excel;
  ASSERT_TRUE(excel.IsExcelRunning());
  excel.Connect();
  ASSERT_TRUE(excel.Connected());
  EXPECT_EQ(excel.RowLetter(), 'R');
  excel.NewWorkbook();
  excel.SelectActiveSheet();
  const std::string topic = excel.DdeConv().DdeTopic();
  EXPECT_EQ(topic.substr(0, 5), "[Book");
  EXPECT_TRUE(excel.Connected());
  excel.Select(1, 2);
  excel.SetColumnWidth(100);
  excel.PutStr(2, 2, "He said \"yes\"");
  excel.FormatFont("Arial", 9, true, false, false, false, 0, false, false);
  excel.PutStr(0, 0, "12.5");
  const TWorkbook& book = *ProgramSpreadsheet().ActiveWorkbook();
  EXPECT_EQ("[" + book.Name + "]Sheet1", topic);
  ASSERT_NE(book.Cell(2, 2), nullptr);
  EXPECT_EQ(book.Cell(2, 2)->Text, "He said \"yes\"");
  ASSERT_NE(book.Cell(1, 2), nullptr);
  EXPECT_EQ(book.Cell(1, 2)->Kind, TSheetCellKind::Number);
  EXPECT_TRUE(book.FormatOf(*book.Cell(1, 2)).Bold);
  EXPECT_EQ(book.ColumnWidths.at(2), 12.5);
  EXPECT_EQ(book.ActiveRow, 2u) << "the value entered without address stepped down";
  EXPECT_EQ(ErrorOf([&] { excel.ExecMacro("[NO.SUCH.COMMAND]"); }),
            "\"[NO.SUCH.COMMAND]\" not accepted by Excel");
  excel.ExecMacro("[FILE.CLOSE]");
  excel.Disconnect();
  EXPECT_FALSE(excel.Connected());
}

// A cell text that begins with "=" is a formula to the spreadsheet: one in R1C1 lands in A1,
// one it cannot read is refused, which reaches the client's caller as the command's error.
TEST(ExcelClient, FormulasTheProgramsSpreadsheetCannotReadEndInAnError) {
  struct Row {
    const char* text;
    const char* stored;  // nullptr: refused
  };
  const Row rows[] = {
      {"=R[-1]C*2", "B1*2"},
      {"=SUM(R1C1:R1C[-1])", "SUM($A$1:A$1)"},
      // String constants reach the formula with their quotes, doubled ones included.
      {"=IF(R[-1]C>0,\"yes\",\"no\")", "IF(B1>0,\"yes\",\"no\")"},
      {"=R1C1&\" \"\"x\"\"\"", "$A$1&\" \"\"x\"\"\""},
      {"=Sheet1!R1C1", "Sheet1!$A$1"},
      {"== Offer ==", nullptr},
      {"=Total", nullptr},
      // The workbook has no other sheet.
      {"=Other!R1C1", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    TAdvExcel excel;
    excel.Connect();
    excel.NewWorkbook();
    const std::string error = ErrorOf([&] { excel.PutStr(2, 2, row.text); });
    const TWorkbook& book = *ProgramSpreadsheet().ActiveWorkbook();
    const TSheetCell* cell = book.Cell(2, 2);
    if (row.stored) {
      EXPECT_EQ(error, "<no error>");
      ASSERT_NE(cell, nullptr);
      EXPECT_EQ(cell->Kind, TSheetCellKind::Formula);
      EXPECT_EQ(cell->Text, row.stored);
    } else {
      EXPECT_EQ(error,
                "\"[FORMULA(\"" + std::string(row.text) + "\", \"R2C2\")]\" not accepted by Excel");
      EXPECT_EQ(cell, nullptr);
    }
    excel.ExecMacro("[FILE.CLOSE]");
  }
}

// The defaults read the user's locale: its separator reaches the client and the program's
// spreadsheet, which then reads typed numbers with it; its today is the hooks' today.
TEST(ExcelClient, TheDefaultHooksFollowTheUserLocale) {
  struct CommaLocale : TUserLocale {
    char DecimalSeparator() const override { return ','; }
    TCalendarDate Today() const override { return {2027, 3, 9}; }
  } comma;
  TUserLocale* previous = SetUserLocale(&comma);
  const TExcelHooks hooks = DefaultExcelHooks();
  EXPECT_EQ(hooks.DecimalSeparator(), ',');
  EXPECT_EQ(hooks.Today(), std::chrono::year_month_day(std::chrono::year(2027),
                                                       std::chrono::month(3), std::chrono::day(9)));
  {
    TAdvExcel excel;
    EXPECT_EQ(excel.DecimalSeparator, ',');
    excel.Connect();
    excel.NewWorkbook();
    excel.PutStr(1, 1, "12,5");
    const TSheetCell* cell = ProgramSpreadsheet().ActiveWorkbook()->Cell(1, 1);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->Kind, TSheetCellKind::Number);
    EXPECT_EQ(cell->Number, 12.5);
    // A number format in the comma convention: both separators read back into the file's.
    excel.Select(1, 1);
    excel.FormatNumber("#.##0,00");
    EXPECT_EQ(ProgramSpreadsheet().ActiveWorkbook()->FormatOf(*cell).NumberFormat, "#,##0.00");
    excel.ExecMacro("[FILE.CLOSE]");
  }
  SetUserLocale(previous);
}

}  // namespace
