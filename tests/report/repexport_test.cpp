#include "report/repexport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/locale.h"
#include "expr/evalimpl.h"
#include "model/pricelist.h"
#include "model/report.h"
#include "model/resource.h"
#include "platform/cp1251.h"
#include "platform/spreadsheet.h"
#include "platform/tempdir.h"
#include "tests/report/report_support.h"
#include "tests/support/expr_support.h"
#include "tests/support/model_support.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/test_paths.h"

namespace {

const char* const kPlainFont = "[FORMAT.FONT(\"Arial\",10,False,False,False,False,0,False,False)]";
const char* const kLeftTop = "[ALIGNMENT(2,False,1,0)]";
const char* const kNoBorder = "[BORDER(0,0,0,0,0,FALSE,0,0,0,0,0)]";

// A scheme of three products (the first two in the offer) and one report template, exported
// against a recording spreadsheet.
class ReportExporterTest : public ::testing::Test {
 protected:
  ReportExporterTest()
      : Template(OfferTemplate(
            {{.Code = "A1",
              .Name = "Cabinet",
              .Price = 10,
              .PriceWithTaxes = 12,
              .OrderingIndex = 2},
             {.Code = "B2", .Name = "Bolt", .Price = 4, .PriceWithTaxes = 5, .OrderingIndex = 1},
             {.Code = "C3", .Name = "Unused", .Price = 1, .PriceWithTaxes = 1}})),
        Report(Template->AddReport()) {
    SetExtractionRoot(Scratch.Path().string());
    SetQuantities({1, 2.5, 0});
  }
  ~ReportExporterTest() override { SetExtractionRoot(""); }

  void SetQuantities(const std::vector<long double>& quantities) {
    for (std::size_t i = 0; i < quantities.size(); ++i) {
      Template->PriceList()->Products(static_cast<int>(i))->Quantity = quantities[i];
    }
  }

  // A report of the given column widths whose bands hold the given numbers of rows.
  void Shape(const std::vector<int>& widths, const std::vector<int>& rows) {
    for (int width : widths) Report->AddColumn()->Width = width;
    for (int band = 0; band < 5; ++band) {
      for (int r = 0; r < rows[static_cast<std::size_t>(band)]; ++r) Report->BandAt(band)->AddRow();
    }
  }

  void Export(const std::string& outputFile = "") {
    TSpecReportExporter exporter(Template->PriceList(), Report);
    exporter.VariableValues = &Values;
    exporter.OutputFileName = outputFile;
    exporter.Export();
    EXPECT_EQ(exporter.Excel, nullptr);
    EXPECT_EQ(exporter.Expression, nullptr);
  }

  // The commands that carry a cell's value or number format.
  std::vector<std::string> CellValues() const;

  ScratchFolder Scratch;
  ScopedExcelHooks Host;
  ScriptedExcelServer Sheet;
  std::unique_ptr<TSpecTemplate> Template;
  TSpecReport* Report;
  std::vector<std::string> Values;
};

TEST_F(ReportExporterTest, SendsTheWholeReportToARunningSpreadsheetAndLeavesItOpen) {
  Shape({100, 32}, {1, 1, 1, 0, 1});
  Report->BandAt(bkReportHeader)->Rows(0)->Height = 30;
  Report->BandAt(bkReportFooter)->Rows(0)->Height = 20;
  SetText(CellOf(Report, 0, 0, 0), "Offer {cnn}", cdText);
  TSpecReportCell* picture = CellOf(Report, 0, 0, 1);
  picture->Content = ccPicture;
  picture->ImageResource = "logo";
  TSpecResource* logo = Template->AddResource("Logo");
  logo->Extension = "gif";
  logo->SetData({'G', 'I', 'F'});
  SetText(CellOf(Report, 1, 0, 0), "{groupname}");
  SetText(CellOf(Report, 2, 0, 0), "{cpnn}");
  TSpecReportCell* name = CellOf(Report, 2, 0, 1);
  SetText(name, "{name}", cdText);
  name->Font.Style = fsBold;
  name->Paragraph = {.HAlign = 3, .VAlign = 2, .WordWrap = 1};
  name->Borders.SetLeft({1, 2});    // also the right side of the cell before it
  name->Borders.SetBottom({1, 1});  // also the top of the cell below: the footer's
  SetText(CellOf(Report, 4, 0, 0), "{total}", cdNumeric, "0.00");
  SetText(CellOf(Report, 4, 0, 1), "Sum: {Total}");
  Host.Processes = {"EXCEL.EXE"};

  Export();

  const std::string picturePath = Utf8ToCp1251(logo->TempFileName());
  EXPECT_EQ(ReadWholeFile(logo->TempFileName()), "GIF");
  const std::vector<std::string> expected = {
      // Connecting: the cell letters are read with errors ignored.
      "[ERROR(0)]", "[ERROR(1)]", "[NEW(1)]",
      // The column widths.
      "[SELECT(\"R1C1\")]", "[COLUMN.WIDTH(12.5)]", "[SELECT(\"R1C2\")]", "[COLUMN.WIDTH(4)]",
      // The report header.
      "[SELECT(\"R1C1\")]", "[FORMULA(\"'Offer 0\", \"R1C1\")]", kPlainFont, kLeftTop, kNoBorder,
      "[SELECT(\"R1C2\")]", "[INSERT.PICTURE(\"" + picturePath + "\")]", "[ROW.HEIGHT(30)]",
      // The group header.
      "[SELECT(\"R2C1\")]", "[FORMULA(\"-\", \"R2C1\")]", kPlainFont, kLeftTop, kNoBorder,
      "[SELECT(\"R2C2\")]", "[FORMULA(\"\", \"R2C2\")]", kPlainFont, kLeftTop, kNoBorder,
      "[ROW.HEIGHT(18)]",
      // The items by ordering index.
      "[SELECT(\"R3C1\")]", "[FORMULA(\"1\", \"R3C1\")]", kPlainFont, kLeftTop,
      "[BORDER(0,0,2,0,0,FALSE,0,0,0,0,0)]", "[SELECT(\"R3C2\")]", "[FORMULA(\"'Bolt\", \"R3C2\")]",
      "[FORMAT.FONT(\"Arial\",10,True,False,False,False,0,False,False)]", "[ALIGNMENT(4,True,2,0)]",
      "[BORDER(0,2,0,0,1,FALSE,0,0,0,0,0)]", "[ROW.HEIGHT(18)]", "[SELECT(\"R4C1\")]",
      "[FORMULA(\"2\", \"R4C1\")]", kPlainFont, kLeftTop, "[BORDER(0,0,2,0,0,FALSE,0,0,0,0,0)]",
      "[SELECT(\"R4C2\")]", "[FORMULA(\"'Cabinet\", \"R4C2\")]",
      "[FORMAT.FONT(\"Arial\",10,True,False,False,False,0,False,False)]", "[ALIGNMENT(4,True,2,0)]",
      "[BORDER(0,2,0,0,1,FALSE,0,0,0,0,0)]", "[ROW.HEIGHT(18)]",
      // The report footer: 2.5 x 4 + 1 x 10.
      "[SELECT(\"R5C1\")]", "[FORMAT.NUMBER(\"0.00\")]", "[FORMULA(\"20\", \"R5C1\")]", kPlainFont,
      kLeftTop, kNoBorder, "[SELECT(\"R5C2\")]", "[FORMULA(\"Sum: 20\", \"R5C2\")]", kPlainFont,
      kLeftTop, "[BORDER(0,0,0,1,0,FALSE,0,0,0,0,0)]", "[ROW.HEIGHT(20)]",
      // Left open, in front.
      "[SELECT(\"R1C1\")]", "[APP.MAXIMIZE]", "[APP.ACTIVATE]"};
  EXPECT_EQ(Sheet.Commands, expected);
  EXPECT_TRUE(Host.Started.empty());
  EXPECT_TRUE(Host.Sleeps.empty());
  EXPECT_TRUE(Host.ErrorBoxes.empty());
}

TEST_F(ReportExporterTest, AWorkbookLeftOpenTakesTheTemplatesNameAsItsTitle) {
  const struct {
    std::string Name;
    std::vector<std::string> Ending;
  } cases[] = {
      {"Offer \"A\"", {"[SUMMARY.INFO(\"Offer \"\"A\"\"\")]", "[SELECT(\"R1C1\")]"}},
      {std::string(300, 'x'),
       {"[SUMMARY.INFO(\"" + std::string(255, 'x') + "\")]", "[SELECT(\"R1C1\")]"}},
      {"", {"[COLUMN.WIDTH(10)]", "[SELECT(\"R1C1\")]"}},
      // A title the spreadsheet refuses (rejected commands are not recorded) leaves the
      // workbook still handed over.
      {"Refused", {"[COLUMN.WIDTH(10)]", "[SELECT(\"R1C1\")]"}},
  };
  Host.Processes = {"EXCEL.EXE"};
  Sheet.Rejected = {"[SUMMARY.INFO(\"Refused\")]"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Sheet.Commands.clear();
    Shape({80}, {0, 0, 0, 0, 0});
    Report->SetName(c.Name);
    Export();
    ASSERT_GE(Sheet.Commands.size(), 4u);
    const std::vector<std::string> ending(Sheet.Commands.end() - 4, Sheet.Commands.end() - 2);
    EXPECT_EQ(ending, c.Ending);
    EXPECT_EQ(Sheet.Commands.back(), "[APP.ACTIVATE]");
  }
}

TEST_F(ReportExporterTest, StartsTheSpreadsheetWhenNeededAndSavesToTheOutputFile) {
  Shape({80}, {0, 0, 1, 0, 0});
  SetText(CellOf(Report, 2, 0, 0), "{code}");
  RegisterExcelProgram(Host);
  // The started program shows up in the process list after the second wait.
  Host.OnSleep = [this](std::uint32_t) {
    if (Host.Sleeps.size() == 2) Host.Processes = {"EXCEL.EXE"};
  };
  const std::string output = "C:\\Offers\\offer 1.xls";
  Host.Files.insert(output);

  Export(output);

  ASSERT_EQ(Host.Started.size(), 1u);
  EXPECT_NE(Host.Started[0].find("EXCEL.EXE"), std::string::npos) << Host.Started[0];
  EXPECT_EQ(Host.Sleeps, (std::vector<std::uint32_t>{200, 200}));
  EXPECT_EQ(Host.Deleted, (std::vector<std::string>{output}));
  const std::vector<std::string> expected = {
      "[ERROR(0)]",
      "[ERROR(1)]",  // no new workbook: the started one has its own
      "[SELECT(\"R1C1\")]",
      "[COLUMN.WIDTH(10)]",
      "[SELECT(\"R1C1\")]",
      "[FORMULA(\"B2\", \"R1C1\")]",
      kPlainFont,
      kLeftTop,
      kNoBorder,
      "[ROW.HEIGHT(18)]",
      "[SELECT(\"R2C1\")]",
      "[FORMULA(\"A1\", \"R2C1\")]",
      kPlainFont,
      kLeftTop,
      kNoBorder,
      "[ROW.HEIGHT(18)]",
      "[SAVE.AS(\"C:\\Offers\\offer 1.xls\")]",
      "[FILE.CLOSE]",
      "[QUIT]"};
  EXPECT_EQ(Sheet.Commands, expected);
  EXPECT_TRUE(Host.ErrorBoxes.empty());
}

TEST_F(ReportExporterTest, SavingWithTheSpreadsheetRunningDoesNotQuitIt) {
  Shape({80}, {1, 0, 0, 0, 0});
  TSpecReportCell* picture = CellOf(Report, 0, 0, 0);
  picture->Content = ccPicture;
  picture->ImageResource = "no such picture";  // only selected
  Host.Processes = {"EXCEL.EXE"};
  Export("out.xls");
  const std::vector<std::string> expected = {
      "[ERROR(0)]",         "[ERROR(1)]",         "[NEW(1)]",         "[SELECT(\"R1C1\")]",
      "[COLUMN.WIDTH(10)]", "[SELECT(\"R1C1\")]", "[ROW.HEIGHT(18)]", "[SAVE.AS(\"out.xls\")]",
      "[FILE.CLOSE]"};
  EXPECT_EQ(Sheet.Commands, expected);
  EXPECT_TRUE(Host.Deleted.empty());  // there was no such file
}

TEST_F(ReportExporterTest, ASpreadsheetThatCannotBeStartedIsReportedInABoxAndNothingRaised) {
  struct Case {
    std::string name;
    bool Registered;
    std::uint32_t StartResult;
    std::size_t Sleeps;
  };
  const Case cases[] = {
      {"no program registered", false, 33, 0},
      {"the start fails", true, 2, 0},
      {"started but never running", true, 33, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedExcelHooks host;
    if (c.Registered) RegisterExcelProgram(host);
    host.StartResult = c.StartResult;
    Shape({80}, {1, 0, 0, 0, 0});
    EXPECT_NO_THROW(Export());
    EXPECT_EQ(host.ErrorBoxes, (std::vector<std::string>{"Error: Unable to connect to Excel..."}));
    EXPECT_EQ(host.Sleeps.size(), c.Sleeps);
    EXPECT_TRUE(Sheet.Commands.empty());
  }
}

TEST_F(ReportExporterTest, AnErrorInACellEndsTheExportThereAndPassesOn) {
  struct Case {
    std::string name;
    std::string Formula;
    std::uint8_t Type;
    std::string Message;
  };
  const Case cases[] = {
      {"a numeric cell with a text", "{name}", cdNumeric, "Invalid typecast."},
      {"a name nobody knows", "{nosuch}", cdText, "Invalid variable name: \"NOSUCH\"\r\n1"},
      {"a function of the wizard only", "{firstitem()}", cdAuto,
       "Invalid function name: \"FIRSTITEM\"\r\n1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sheet.Commands.clear();
    Template->ClearReports();
    Report = Template->AddReport();
    Shape({80}, {0, 0, 1, 0, 1});
    SetText(CellOf(Report, 2, 0, 0), c.Formula, c.Type);
    Host.Processes = {"EXCEL.EXE"};
    EXPECT_RAISES(Export(), c.Message);
    ASSERT_FALSE(Sheet.Commands.empty());
    EXPECT_EQ(Sheet.Commands.back(), "[SELECT(\"R1C1\")]");
  }
}

std::vector<std::string> ReportExporterTest::CellValues() const {
  std::vector<std::string> values;
  for (const std::string& command : Sheet.Commands) {
    if (command.rfind("[FORMULA(", 0) == 0 || command.rfind("[FORMAT.NUMBER(", 0) == 0) {
      values.push_back(command);
    }
  }
  return values;
}

TEST_F(ReportExporterTest, CellValuesFollowTheirDataTypeAndTheLocaleSeparator) {
  struct Case {
    std::string name;
    std::string Formula;
    std::uint8_t Type;
    std::string Format;
    std::vector<std::string> Point;  // under "."
    std::vector<std::string> Comma;  // under ","
  };
  const Case cases[] = {
      {"an automatic number with its format",
       "12.5",
       cdAuto,
       "0.00",
       {"[FORMAT.NUMBER(\"0.00\")]", "[FORMULA(\"12.5\", \"R1C1\")]"},
       {"[FORMAT.NUMBER(\"0,00\")]", "[FORMULA(\"12,5\", \"R1C1\")]"}},
      {"a text number keeps its point",
       "{12.5}",
       cdText,
       "0.00",
       {"[FORMAT.NUMBER(\"0.00\")]", "[FORMULA(\"'12.5\", \"R1C1\")]"},
       {"[FORMAT.NUMBER(\"0,00\")]", "[FORMULA(\"'12.5\", \"R1C1\")]"}},
      // The spreadsheet reads every format in the locale's convention, whatever the value.
      {"a formula's format goes in the locale's convention",
       "=R1C1/4",
       cdAuto,
       "0.00",
       {"[FORMAT.NUMBER(\"0.00\")]", "[FORMULA(\"=R1C1/4\", \"R1C1\")]"},
       {"[FORMAT.NUMBER(\"0,00\")]", "[FORMULA(\"=R1C1/4\", \"R1C1\")]"}},
      {"a formula's grouped format goes in the locale's convention",
       "=R1C1+R2C1",
       cdAuto,
       "#,##0.00",
       {"[FORMAT.NUMBER(\"#,##0.00\")]", "[FORMULA(\"=R1C1+R2C1\", \"R1C1\")]"},
       {"[FORMAT.NUMBER(\"#.##0,00\")]", "[FORMULA(\"=R1C1+R2C1\", \"R1C1\")]"}},
      {"a numeric expression",
       "{1/4}",
       cdNumeric,
       "",
       {"[FORMULA(\"0.25\", \"R1C1\")]"},
       {"[FORMULA(\"0,25\", \"R1C1\")]"}},
      {"date and time converts as numeric",
       "{price}",
       cdDateTime,
       "",
       {"[FORMULA(\"10\", \"R1C1\")]"},
       {"[FORMULA(\"10\", \"R1C1\")]"}},
      {"a string constant loses its quotes",
       "\"quoted\"",
       cdAuto,
       "",
       {"[FORMULA(\"quoted\", \"R1C1\")]"},
       {"[FORMULA(\"quoted\", \"R1C1\")]"}},
      {"inner quotes are kept, doubled in the command",
       "a \"b\"",
       cdAuto,
       "",
       {"[FORMULA(\"a \"\"b\"\"\", \"R1C1\")]"},
       {"[FORMULA(\"a \"\"b\"\"\", \"R1C1\")]"}},
      {"an empty formula",
       "",
       cdAuto,
       "",
       {"[FORMULA(\"\", \"R1C1\")]"},
       {"[FORMULA(\"\", \"R1C1\")]"}},
      {"a thousands separator trades places with the decimal one",
       "1234.5",
       cdNumeric,
       "#,##0.00",
       {"[FORMAT.NUMBER(\"#,##0.00\")]", "[FORMULA(\"1234.5\", \"R1C1\")]"},
       {"[FORMAT.NUMBER(\"#.##0,00\")]", "[FORMULA(\"1234,5\", \"R1C1\")]"}},
      {"quoted and escaped format characters are kept",
       "1234.5",
       cdAuto,
       "#,##0.0 \"p.,\"\\.",
       {"[FORMAT.NUMBER(\"#,##0.0 \"\"p.,\"\"\\.\")]", "[FORMULA(\"1234.5\", \"R1C1\")]"},
       {"[FORMAT.NUMBER(\"#.##0,0 \"\"p.,\"\"\\.\")]", "[FORMULA(\"1234,5\", \"R1C1\")]"}},
      {"quoted points of an ungrouped format are kept",
       "2.5",
       cdNumeric,
       "0.0 \"p.\"",
       {"[FORMAT.NUMBER(\"0.0 \"\"p.\"\"\")]", "[FORMULA(\"2.5\", \"R1C1\")]"},
       {"[FORMAT.NUMBER(\"0,0 \"\"p.\"\"\")]", "[FORMULA(\"2,5\", \"R1C1\")]"}},
      {"a text cell's grouped format goes in the locale's convention",
       "1234.5",
       cdText,
       "#,##0.00",
       {"[FORMAT.NUMBER(\"#,##0.00\")]", "[FORMULA(\"'1234.5\", \"R1C1\")]"},
       {"[FORMAT.NUMBER(\"#.##0,00\")]", "[FORMULA(\"'1234.5\", \"R1C1\")]"}},
  };
  Host.Processes = {"EXCEL.EXE"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char separator : {'.', ','}) {
      SCOPED_TRACE(separator);
      SeparatorGuard guard(separator);
      Sheet.Commands.clear();
      Template->ClearReports();
      Report = Template->AddReport();
      Shape({80}, {1, 0, 0, 0, 0});
      SetText(CellOf(Report, 0, 0, 0), c.Formula, c.Type, c.Format);
      // {price} needs an item: a one-row detail band with the first product only.
      if (c.Formula == "{price}") {
        Report->BandAt(bkReportHeader)->ClearRows();
        Report->BandAt(bkReportDetail)->AddRow();
        SetText(CellOf(Report, 2, 0, 0), c.Formula, c.Type, c.Format);
        SetQuantities({1, 0, 0});
      }
      Export();
      EXPECT_EQ(CellValues(), separator == '.' ? c.Point : c.Comma);
      SetQuantities({1, 2.5, 0});
    }
  }
}

// What reaches the spreadsheet for a cell text of each data type: a Text cell sends the text as
// the template produced it, an automatic cell makes only decimal numbers numbers (hex texts
// stay as written), Numeric and Date and Time cells convert every value text to a number.
TEST_F(ReportExporterTest, CellTextsLookingLikeNumbersReachTheSheetByTheirDataType) {
  // The FORMULA argument under "." and under ","; an error message when the export stops.
  struct Sent {
    std::string Point;
    std::string Comma = Point;
  };
  struct Case {
    std::string Formula;
    Sent Auto;
    Sent Text;
    Sent Numeric;  // Date and Time converts the same way
  };
  const Case cases[] = {
      {"$20", {"$20"}, {"'$20"}, {"32"}},
      {"x10", {"x10"}, {"'x10"}, {"16"}},
      {"0x1F", {"0x1F"}, {"'0x1F"}, {"31"}},
      {"1E5", {"100000"}, {"'1E5"}, {"100000"}},
      {"1.50", {"1.5", "1,5"}, {"'1.50"}, {"1.5", "1,5"}},
      {"007", {"7"}, {"'007"}, {"7"}},
      {"{\"$20\"}", {"$20"}, {"'$20"}, {"32"}},
      {"\"0x1F\"", {"0x1F"}, {"'0x1F"}, {"0"}},
      {"Bolt", {"Bolt"}, {"'Bolt"}, {"Invalid typecast."}},
      {"", {""}, {""}, {"0"}},
      {"-3.25", {"-3.25", "-3,25"}, {"'-3.25"}, {"-3.25", "-3,25"}},
      {".", {"."}, {"'."}, {"0"}},
      {"1E", {"1E"}, {"'1E"}, {"1"}},
      {" 12 ", {" 12 "}, {"' 12 "}, {"12"}},
      {"+.5e-1", {"0.05", "0,05"}, {"'+.5e-1"}, {"0.05", "0,05"}},
      {"=1+1", {"=1+1"}, {"'=1+1"}, {"Invalid typecast."}},
      // Quotes stay, doubled in the command; a formula's string constants with them.
      {"a \"b\"", {"a \"\"b\"\""}, {"'a \"\"b\"\""}, {"Invalid typecast."}},
      {R"("a \\\"b\\\"")", {"a \"\"b\"\""}, {"'a \"\"b\"\""}, {"0"}},
      {"=IF(R[-1]C>0,\"yes\",\"no\")",
       {"=IF(R[-1]C>0,\"\"yes\"\",\"\"no\"\")"},
       {"'=IF(R[-1]C>0,\"\"yes\"\",\"\"no\"\")"},
       {"Invalid typecast."}},
      // An apostrophe of the text itself is kept: the spreadsheet drops only a second one.
      {"'abc", {"''abc"}, {"''abc"}, {"Invalid typecast."}},
      {"'", {"''"}, {"''"}, {"Invalid typecast."}},
      // A number cell holds a number: the largest of 15 digits, or 0, where the general
      // format's rounding would leave the double range.
      {"1.7976931348623157E308",
       {"1.79769313486231E308", "1,79769313486231E308"},
       {"'1.7976931348623157E308"},
       {"1.79769313486231E308", "1,79769313486231E308"}},
      {"-1.7976931348623157E308",
       {"-1.79769313486231E308", "-1,79769313486231E308"},
       {"'-1.7976931348623157E308"},
       {"-1.79769313486231E308", "-1,79769313486231E308"}},
      {"1.7976931348623E308",
       {"1.7976931348623E308", "1,7976931348623E308"},
       {"'1.7976931348623E308"},
       {"1.7976931348623E308", "1,7976931348623E308"}},
      {"1E-400", {"0"}, {"'1E-400"}, {"0"}},
      {"-1E-400", {"0"}, {"'-1E-400"}, {"0"}},
      {"1E-310", {"1E-310", "1E-310"}, {"'1E-310"}, {"1E-310"}},
  };
  Host.Processes = {"EXCEL.EXE"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Formula);
    for (const char separator : {'.', ','}) {
      SCOPED_TRACE(separator);
      SeparatorGuard guard(separator);
      const std::pair<std::uint8_t, const Sent*> types[] = {
          {cdAuto, &c.Auto}, {cdText, &c.Text}, {cdNumeric, &c.Numeric}, {cdDateTime, &c.Numeric}};
      for (const auto& [type, sent] : types) {
        SCOPED_TRACE(static_cast<int>(type));
        const std::string& expected = separator == '.' ? sent->Point : sent->Comma;
        Sheet.Commands.clear();
        Template->ClearReports();
        Report = Template->AddReport();
        Shape({80}, {1, 0, 0, 0, 0});
        SetText(CellOf(Report, 0, 0, 0), c.Formula, type);
        if (expected.rfind("Invalid", 0) == 0) {
          EXPECT_RAISES(Export(), expected);
          continue;
        }
        Export();
        EXPECT_EQ(CellValues(),
                  (std::vector<std::string>{"[FORMULA(\"" + expected + "\", \"R1C1\")]"}));
      }
    }
  }
}

// The exporter against the program's own spreadsheet, whose workbook is caught as it is
// saved: each cell holds what its template wrote, with its format, under either separator.
TEST(ReportExporterSheetTest, CellsReachTheProgramsSpreadsheetAsTheTemplateWroteThem) {
  using Kind = TSheetCellKind;
  struct Row {
    std::uint8_t Type;
    std::string Formula;
    std::string Format;
    Kind Stored;
    std::string Text = {};  // of a text or a formula
    double Number = 0;
  };
  const Row rows[] = {
      {cdNumeric, "{1/4}", "0.00", Kind::Number, "", 0.25},
      {cdAuto, "1234.5", "#,##0.00", Kind::Number, "", 1234.5},
      {cdText, "1234.5", "#,##0.00", Kind::Text, "1234.5"},
      // Formulas keep their formats, whose separators the spreadsheet reads in the locale's
      // convention, and their string constants.
      {cdAuto, "=R1C1/4", "0.00", Kind::Formula, "$A$1/4"},
      {cdAuto, "=R1C1+R2C1", "#,##0.00 \"p.,\"", Kind::Formula, "$A$1+$A$2"},
      {cdAuto, "=IF(R1C1>0,\"yes\",\"no \"\"x\"\"\")", "", Kind::Formula,
       "IF($A$1>0,\"yes\",\"no \"\"x\"\"\")"},
      // Quotes and apostrophes of a text stay; a text that is one string constant shows its
      // content.
      {cdText, "Acme \"Best\"", "", Kind::Text, "Acme \"Best\""},
      {cdAuto, "Acme \"Best\"", "", Kind::Text, "Acme \"Best\""},
      {cdAuto, "\"Acme\"", "", Kind::Text, "Acme"},
      {cdAuto, "'abc", "", Kind::Text, "'abc"},
      {cdAuto, "'", "", Kind::Text, "'"},
      {cdText, "'", "", Kind::Text, "'"},
      // Number cells hold numbers at the ends of the double range.
      {cdNumeric, "1.7976931348623157E308", "", Kind::Number, "", 1.79769313486231E308},
      {cdAuto, "-1.7976931348623157E308", "", Kind::Number, "", -1.79769313486231E308},
      {cdNumeric, "1E-400", "", Kind::Number, "", 0},
      {cdAuto, "1E-400", "", Kind::Number, "", 0},
  };
  ScratchFolder scratch;
  std::optional<TWorkbook> saved;
  struct CatchSaves {
    explicit CatchSaves(std::optional<TWorkbook>& saved)
        : Previous(std::exchange(ProgramSpreadsheet().SaveFile,
                                 [&saved](const TWorkbook& book, const std::string&) {
                                   saved.emplace(book);
                                   return true;
                                 })) {}
    ~CatchSaves() { ProgramSpreadsheet().SaveFile = Previous; }
    std::function<bool(const TWorkbook&, const std::string&)> Previous;
  } catchSaves(saved);
  for (const char separator : {'.', ','}) {
    SCOPED_TRACE(separator);
    SeparatorLocale locale(separator);
    const std::unique_ptr<TSpecTemplate> templ = OfferTemplate({});
    TSpecReport* report = templ->AddReport();
    report->AddColumn();
    TSpecReportBand* header = report->BandAt(bkReportHeader);
    for (const Row& row : rows) {
      header->AddRow();
      SetText(header->Rows(header->RowCount() - 1)->Cells(0), row.Formula, row.Type, row.Format);
    }
    saved.reset();
    const std::vector<std::string> values;
    TSpecReportExporter exporter(templ->PriceList(), report);
    exporter.VariableValues = &values;
    exporter.OutputFileName = scratch.File("offer.xlsx");
    exporter.Export();
    ASSERT_TRUE(saved.has_value());
    for (std::size_t i = 0; i < std::size(rows); ++i) {
      const Row& row = rows[i];
      SCOPED_TRACE(row.Formula);
      const TSheetCell* cell = saved->Cell(static_cast<std::uint32_t>(i + 1), 1);
      ASSERT_NE(cell, nullptr);
      EXPECT_EQ(cell->Kind, row.Stored);
      EXPECT_EQ(cell->Text, row.Text);
      EXPECT_EQ(cell->Number, row.Number);
      EXPECT_EQ(saved->FormatOf(*cell).NumberFormat, row.Format);
    }
  }
}

TEST_F(ReportExporterTest, FieldsSeeTheCountersAndTotalsOfEachBand) {
  struct Case {
    std::string name;
    std::vector<long double> Quantities;
    std::vector<std::string> Rows;
  };
  const Case cases[] = {
      {"two items",
       {1, 2.5, 0},
       {"0|0|0|0||", "0|1|0|0||-", "1|1|1|0|B2|-", "2|1|2|10|A1|-", "2|1|2|20||-", "2|1|2|20||"}},
      {"no item", {0, 0, -1}, {"0|0|0|0||", "0|1|0|0||-", "0|1|0|0||-", "0|1|0|0||"}},
  };
  Host.Processes = {"EXCEL.EXE"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sheet.Commands.clear();
    Template->ClearReports();
    Report = Template->AddReport();
    Shape({80}, {1, 1, 1, 1, 1});
    for (int band = 0; band < 5; ++band) {
      SetText(CellOf(Report, band, 0, 0), "{pnn}|{cnn}|{cpnn}|{total}|{code}|{groupname}", cdText);
    }
    SetQuantities(c.Quantities);
    Export();
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < c.Rows.size(); ++i) {
      const std::string cell = "R" + std::to_string(i + 1) + "C1";
      rows.push_back("[FORMULA(\"'" + c.Rows[i] + "\", \"" + cell + "\")]");
    }
    EXPECT_EQ(CellValues(), rows);
  }
}

TEST_F(ReportExporterTest, BuildTreeHoldsOneGroupOfTheOfferedProductsByOrderingIndex) {
  const auto templ = OfferTemplate({{.Code = "five", .OrderingIndex = 5},
                                    {.Code = "one", .OrderingIndex = 1},
                                    {.Code = "five again", .OrderingIndex = 5},
                                    {.Code = "zero", .OrderingIndex = 0},
                                    {.Code = "negative", .OrderingIndex = 0},
                                    {.Code = "three", .OrderingIndex = 3}});
  const long double quantities[] = {1, 2, 0.5, 0, -1, 4};
  for (int i = 0; i < 6; ++i) templ->PriceList()->Products(i)->Quantity = quantities[i];
  TSpecReportExporter exporter(templ->PriceList(), templ->AddReport());
  exporter.RootCategory.reset(new TSpecCategory(templ->PriceList()));
  const std::unique_ptr<TSpecTreeNode> tree = exporter.BuildTree();
  ASSERT_EQ(tree->Count(), 1);
  const TSpecTreeNode* group = tree->Children(0);
  EXPECT_EQ(group->Data(), exporter.RootCategory.get());
  EXPECT_EQ(group->Parent(), tree.get());
  std::vector<std::string> codes;
  for (int i = 0; i < group->Count(); ++i) {
    codes.push_back(static_cast<const TSpecProduct*>(group->Children(i)->Data())->Code);
  }
  EXPECT_EQ(codes, (std::vector<std::string>{"one", "three", "five", "five again"}));
  EXPECT_EQ(group->Children(4), nullptr);

  // The same order as inserting each offered product with InsertSorted in price-list order.
  TSpecTreeNode sorted(nullptr, nullptr);
  for (int i = 0; i < 6; ++i) {
    if (quantities[i] > 0) sorted.InsertSorted(templ->PriceList()->Products(i));
  }
  ASSERT_EQ(sorted.Count(), group->Count());
  for (int i = 0; i < sorted.Count(); ++i) {
    EXPECT_EQ(sorted.Children(i)->Data(), group->Children(i)->Data());
  }
}

TEST_F(ReportExporterTest, NextTemplatePieceSplitsLiteralsAndExpressions) {
  struct Case {
    std::string Formula;
    std::vector<std::string> Pieces;
    std::string Error = {};
  };
  const Case cases[] = {
      {"plain text", {"plain text"}},
      {"a\\{b\\}c", {"a{b}c"}},
      {"Sum: {Total}", {"Sum: ", "20"}},
      {"{1+1}{\"x\"}!", {"2", "x", "!"}},
      {"{concat(\\\"a\\}\\\", \"b\")}", {"a}b"}},
      {"back\\\\slash\\", {"back\\slash"}},
      {"{2*3", {"6"}},
      {"{}", {""}},
      {"x{nosuch}", {"x"}, "Invalid variable name: \"NOSUCH\"\r\n1"},
      {"{1+}", {}, "Unterminated expression"},
  };
  TSpecReportExporter exporter(Template->PriceList(), Report);
  TReportEvalProvider provider(&exporter);
  exporter.Expression = CreateStandardExpression();
  exporter.Expression->Provider = &provider;
  exporter.Total = 20;
  // The second time round every piece comes from what the first one kept of it.
  for (int round = 0; round < 2; ++round)
    for (const Case& c : cases) {
      SCOPED_TRACE(c.Formula + (round ? " again" : ""));
      std::vector<std::string> pieces;
      std::int32_t position = 1;
      std::string piece;
      try {
        while (position <= static_cast<std::int32_t>(c.Formula.size())) {
          const std::int32_t before = position;
          exporter.NextTemplatePiece(c.Formula, position, piece);
          ASSERT_GT(position, before);
          pieces.push_back(piece);
        }
        EXPECT_TRUE(c.Error.empty()) << "nothing raised";
      } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, c.Error.size()), c.Error);
        EXPECT_FALSE(c.Error.empty()) << e.what();
      }
      EXPECT_EQ(pieces, c.Pieces);
      exporter.NextTemplatePiece(c.Formula, position, piece);
      EXPECT_EQ(piece, "");  // past the end
    }
}

// Through the real client and the program's own spreadsheet: an offer whose workbook cannot
// be written ends the export by its error path with the one message that names the file and
// the reason. Nothing is left in the folder, and the spreadsheet keeps no workbook of it.
TEST(ReportExport, AWorkbookThatCannotBeWrittenEndsTheExportSayingWhereAndWhy) {
  ScratchFolder scratch;
  RecordingShell shell;
  shell.Documents = scratch.File("Documents");  // the user's documents folder has gone
  TSpreadsheetService& spreadsheet = ProgramSpreadsheet();
  const auto today = spreadsheet.Today;
  spreadsheet.Today = [] { return std::chrono::year_month_day(std::chrono::year(2026) / 12 / 10); };
  const std::size_t booksBefore = spreadsheet.Workbooks().size();
  const auto templ = OfferTemplate({{.Code = "A1", .Name = "Bolt", .Price = 4}});
  templ->PriceList()->Products(0)->Quantity = 2;
  TSpecReport* report = templ->AddReport();
  report->SetName("Offer");
  report->AddColumn()->Width = 80;
  SetText(report->BandAt(bkReportDetail)->AddRow()->Cells(0), "{name}");
  std::vector<std::string> values;
  TSpecReportExporter exporter(templ->PriceList(), report);
  exporter.VariableValues = &values;
  EXPECT_RAISES_WHAT(exporter.Export(), "Unable to save \"" +
                                            Utf8ToCp1251(scratch.Path().string()) +
                                            "/Documents/Offer 2026-12-10.xlsx\": No such file or "
                                            "directory");
  spreadsheet.Today = today;
  EXPECT_EQ(exporter.Excel, nullptr);
  EXPECT_EQ(spreadsheet.Workbooks().size(), booksBefore);
  EXPECT_TRUE(std::filesystem::is_empty(scratch.Path()));
  EXPECT_TRUE(shell.Opened.empty());
}

TEST(SpecTreeNodeTest, ChildrenAreFoundByTheirDataAndKeptOnce) {
  int a = 0, b = 0, c = 0;
  TSpecTreeNode root(nullptr, nullptr);
  EXPECT_EQ(root.Add(&a), 0);
  EXPECT_EQ(root.Add(&b), 1);
  EXPECT_EQ(root.Add(&a), 0);
  root.InsertAt(0, &c);
  root.InsertAt(0, &b);  // present: nothing
  ASSERT_EQ(root.Count(), 3);
  EXPECT_EQ(root.Children(0)->Data(), &c);
  EXPECT_EQ(root.IndexOfData(&b), 2);
  EXPECT_EQ(root.IndexOfData(nullptr), -1);
  root.Delete(5);
  root.Delete(0);
  EXPECT_EQ(root.Count(), 2);
  EXPECT_EQ(root.Children(-1), nullptr);
  root.Clear();
  EXPECT_EQ(root.Count(), 0);
}

}  // namespace
