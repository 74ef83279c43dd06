#include "model/report.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "model/core.h"
#include "model/saver.h"
#include "tests/support/model_support.h"
#include "tools/reportwriter.h"

namespace {

ReportCellRecord Cell(const std::string& formula) {
  ReportCellRecord cell;
  cell.Formula = formula;
  return cell;
}

ReportRowRecord Row(std::vector<ReportCellRecord> cells, std::int32_t height = 18) {
  ReportRowRecord row;
  row.Height = height;
  row.Cells = std::move(cells);
  return row;
}

std::vector<std::string> Formulas(const TSpecReportRow* row) {
  std::vector<std::string> formulas;
  for (int i = 0; i < row->CellCount(); ++i) formulas.push_back(row->Cells(i)->Formula);
  return formulas;
}

class ReportTest : public ::testing::Test {
 protected:
  TSpecReport* Load(const ReportRecord& record) {
    SchemeWriter w;
    WriteReport(w, record);
    auto stream = StreamOf(w);
    TSpecReport* report = Template.AddReport();
    report->LoadFromStream(*stream);
    EXPECT_EQ(stream->Remaining(), 0u);
    return report;
  }

  TSpecTemplate Template;
};

TEST_F(ReportTest, NewReportAndDefaultCell) {
  TSpecReport* report = Template.AddReport();
  EXPECT_EQ(report->GetName(), "");
  EXPECT_GE(Template.MuiManager()->IndexOfString(&report->Name), 0);
  EXPECT_EQ(report->ColumnCount(), 0);
  ASSERT_EQ(report->BandCount(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(report->BandAt(i)->Kind, i);
    EXPECT_EQ(report->BandAt(i)->RowCount(), 0);
    EXPECT_EQ(report->IndexOfBand(report->BandAt(i)), i);
  }
  EXPECT_EQ(report->BandAt(5), nullptr);
  EXPECT_EQ(report->BandAt(-1), nullptr);

  report->AddColumn();
  EXPECT_EQ(report->Columns(0)->Width, 100);
  TSpecReportRow* row = report->BandAt(bkReportDetail)->AddRow();
  EXPECT_EQ(row->Height, 18);
  const TSpecReportCell* cell = row->Cells(0);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->Font.Name, "Arial");
  EXPECT_EQ(cell->Font.Size, 10);
  EXPECT_EQ(cell->Font.Color, 0u);
  EXPECT_EQ(cell->Font.GetStyle(), 0);
  EXPECT_EQ(cell->Paragraph.HAlign, 1);
  EXPECT_EQ(cell->Paragraph.VAlign, 1);
  EXPECT_EQ(cell->Paragraph.WordWrap, 0);
  EXPECT_EQ(cell->BackgroundColor, 0xFFFFFFu);
  EXPECT_EQ(cell->Content, ccText);
  EXPECT_EQ(cell->DataType, cdAuto);
  const TSpecBorderSide side{0, 1};
  EXPECT_EQ(cell->Borders.Top(), side);
  EXPECT_EQ(cell->Borders.Left(), side);
  EXPECT_EQ(cell->Borders.Bottom(), side);
  EXPECT_EQ(cell->Borders.Right(), side);
}

TEST_F(ReportTest, GridKeepsOneCellPerColumnAndNumbersRowsAcrossBands) {
  TSpecReport* report = Template.AddReport();
  report->AddColumn();
  report->AddColumn();
  TSpecReportRow* head = report->BandAt(bkReportHeader)->AddRow();
  report->BandAt(bkReportHeader)->AddRow();
  TSpecReportRow* detail = report->BandAt(bkReportDetail)->AddRow();
  report->AddColumn();

  EXPECT_EQ(report->RowCount(), 3);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(report->RowAt(r)->CellCount(), 3) << r;
  EXPECT_EQ(report->RowAt(0), head);
  EXPECT_EQ(report->RowAt(2), detail);
  EXPECT_EQ(report->RowAt(3), nullptr);
  EXPECT_EQ(report->RowAt(-1), nullptr);
  EXPECT_EQ(report->BandAt(bkGroupHeader)->FirstGlobalRow(), 2);
  EXPECT_EQ(report->BandAt(bkReportDetail)->FirstGlobalRow(), 2);
  EXPECT_EQ(report->BandAt(bkReportFooter)->FirstGlobalRow(), 3);
  EXPECT_EQ(report->CellAt(2, 2), detail->Cells(2));
  EXPECT_EQ(report->CellAt(3, 0), nullptr) << "column equal to the column count";
  EXPECT_EQ(report->CellAt(0, 3), nullptr) << "row equal to the row count";
  EXPECT_EQ(report->CellAt(-1, 0), nullptr);

  TSpecReportCell* first = head->Cells(0);
  TSpecReportCell* last = head->Cells(2);
  report->DeleteColumn(1);
  EXPECT_EQ(report->ColumnCount(), 2);
  EXPECT_EQ(head->Cells(0), first);
  EXPECT_EQ(head->Cells(1), last);
  EXPECT_EQ(head->IndexOfCell(last), 1);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(report->RowAt(r)->CellCount(), 2) << r;
  report->DeleteColumn(2);
  EXPECT_EQ(report->ColumnCount(), 2) << "no column 2: nothing happens";

  TSpecReportBand* header = report->BandAt(bkReportHeader);
  EXPECT_EQ(header->IndexOfRow(detail), -1);
  EXPECT_EQ(detail->IndexOfCell(first), -1) << "a cell of another row";
  header->DeleteRow(0);
  EXPECT_EQ(header->RowCount(), 1);
  EXPECT_EQ(header->IndexOfRow(header->Rows(0)), 0);

  TSpecReportBand stray(nullptr, 0);
  EXPECT_EQ(report->IndexOfBand(&stray), -1);
  EXPECT_EQ(stray.FirstGlobalRow(), -1);
  report->ClearColumns();
  EXPECT_EQ(report->RowAt(0)->CellCount(), 0);
}

TEST_F(ReportTest, BorderSettersShareTheEdgeAcrossBands) {
  TSpecReport* report = Template.AddReport();
  report->AddColumn();
  report->AddColumn();
  report->BandAt(bkReportHeader)->AddRow();
  report->BandAt(bkReportDetail)->AddRow();  // the group header stays empty
  TSpecReportCell* top = report->CellAt(0, 0);
  TSpecReportCell* below = report->CellAt(0, 1);
  TSpecReportCell* right = report->CellAt(1, 1);
  const TSpecBorderSide thick{1, 2};
  const TSpecBorderSide thin{1, 1};

  top->Borders.SetBottom(thick);
  EXPECT_EQ(below->Borders.Top(), thick);
  below->Borders.SetTop(thin);
  EXPECT_EQ(top->Borders.Bottom(), thin);
  below->Borders.SetRight(thick);
  EXPECT_EQ(right->Borders.Left(), thick);
  right->Borders.SetLeft(thin);
  EXPECT_EQ(below->Borders.Right(), thin);

  // At the edges of the grid only the own side changes.
  top->Borders.SetTop(thick);
  top->Borders.SetLeft(thick);
  right->Borders.SetRight(thick);
  right->Borders.SetBottom(thick);
  EXPECT_EQ(top->Borders.Top(), thick);
  EXPECT_EQ(right->Borders.Bottom(), thick);
  EXPECT_EQ(report->CellAt(1, 0)->Borders.Bottom(), (TSpecBorderSide{0, 1}));
}

TEST_F(ReportTest, RecordsAreStoredBandsLastRowsBottomUpCellsRightToLeft) {
  // Written by hand, so that the file order is pinned independently of the writer.
  SchemeWriter w;
  w.Str("Offer").Word(2).Int(50).Int(70);
  w.Word(2);  // band 4: the first record fills row 1, its first cell record cell 1
  w.Int(30).Word(2);
  WriteReportCell(w, Cell("a1"));
  WriteReportCell(w, Cell("a0"));
  w.Int(40).Word(2);
  WriteReportCell(w, Cell("b1"));
  WriteReportCell(w, Cell("b0"));
  w.Word(0).Word(0).Word(0);  // bands 3, 2, 1
  w.Word(1).Int(5).Word(1);   // band 0: one row, one cell record
  WriteReportCell(w, Cell("h0"));

  auto stream = StreamOf(w);
  TSpecReport* report = Template.AddReport();
  report->LoadFromStream(*stream);
  EXPECT_EQ(stream->Remaining(), 0u);
  EXPECT_EQ(report->GetName(), "Offer");
  ASSERT_EQ(report->ColumnCount(), 2);
  EXPECT_EQ(report->Columns(0)->Width, 50);
  EXPECT_EQ(report->Columns(1)->Width, 70);
  TSpecReportBand* footer = report->BandAt(bkReportFooter);
  ASSERT_EQ(footer->RowCount(), 2);
  EXPECT_EQ(footer->Rows(0)->Height, 40);
  EXPECT_EQ(Formulas(footer->Rows(0)), (std::vector<std::string>{"b0", "b1"}));
  EXPECT_EQ(footer->Rows(1)->Height, 30);
  EXPECT_EQ(Formulas(footer->Rows(1)), (std::vector<std::string>{"a0", "a1"}));
  TSpecReportBand* header = report->BandAt(bkReportHeader);
  ASSERT_EQ(header->RowCount(), 1);
  EXPECT_EQ(Formulas(header->Rows(0)), (std::vector<std::string>{"h0", ""}));

  // The writer produces the same bytes from the records in natural order.
  ReportRecord record;
  record.Name = "Offer";
  record.ColumnWidths = {50, 70};
  record.Bands[bkReportFooter] = {Row({Cell("b0"), Cell("b1")}, 40),
                                  Row({Cell("a0"), Cell("a1")}, 30)};
  record.Bands[bkReportHeader] = {Row({Cell("h0")}, 5)};
  SchemeWriter written;
  WriteReport(written, record);
  EXPECT_EQ(written.Bytes(), w.Bytes());
}

TEST_F(ReportTest, ReadsEveryFieldOfACell) {
  ReportCellRecord c;
  c.BackgroundColor = static_cast<std::int32_t>(0xFFC0C0C0u);
  c.Left = {1, 2};
  c.Top = {0, 3};
  c.Right = {1, 4};
  c.Bottom = {1, 5};
  c.FontName = "Times New Roman";
  c.FontSize = 14;
  c.FontColor = 0x0000FF;
  c.FontStyle = fsBold | fsUnderline;
  c.HAlign = 3;
  c.VAlign = 2;
  c.WordWrap = 1;
  c.Content = ccPicture;
  c.ImageResource = "Logo";
  c.Formula = "{Total}";
  c.DataType = cdNumeric;
  c.DataFormat = "0.00";
  ReportRecord record;
  record.ColumnWidths = {120};
  record.Bands[bkReportDetail] = {Row({c}, 25)};
  const TSpecReportCell* cell = Load(record)->CellAt(0, 0);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->BackgroundColor, 0xFFC0C0C0u);
  EXPECT_EQ(cell->Borders.Left(), (TSpecBorderSide{1, 2}));
  EXPECT_EQ(cell->Borders.Top(), (TSpecBorderSide{0, 3}));
  EXPECT_EQ(cell->Borders.Right(), (TSpecBorderSide{1, 4}));
  EXPECT_EQ(cell->Borders.Bottom(), (TSpecBorderSide{1, 5}));
  EXPECT_EQ(cell->Font.Name, "Times New Roman");
  EXPECT_EQ(cell->Font.Size, 14);
  EXPECT_EQ(cell->Font.Color, 0x0000FFu);
  EXPECT_EQ(cell->Font.GetStyle(), fsBold | fsUnderline);
  EXPECT_EQ(cell->Paragraph.HAlign, 3);
  EXPECT_EQ(cell->Paragraph.VAlign, 2);
  EXPECT_EQ(cell->Paragraph.WordWrap, 1);
  EXPECT_EQ(cell->Content, ccPicture);
  EXPECT_EQ(cell->ImageResource, "Logo");
  EXPECT_EQ(cell->Formula, "{Total}");
  EXPECT_EQ(cell->DataType, cdNumeric);
  EXPECT_EQ(cell->DataFormat, "0.00");
}

TEST_F(ReportTest, FontStyleKeepsOnlyItsThreeBits) {
  for (auto [stored, style] :
       std::vector<std::pair<int, int>>{{8, 0}, {7, 7}, {0x0D, 5}, {0xFF, 7}}) {
    SCOPED_TRACE(stored);
    TSpecFontProps font;
    font.Style = static_cast<std::uint8_t>(stored);
    EXPECT_EQ(font.GetStyle(), style);
  }
}

TEST_F(ReportTest, NameIsStoredUnderTheCurrentLanguage) {
  TSpecReport* report = Template.AddReport();
  report->Name.SetText(0, "zero");
  Template.MuiManager()->CurrentLanguage = 2;
  SchemeWriter w;
  ReportRecord record;
  record.Name = "Angebot";
  WriteReport(w, record);
  report->LoadFromStream(*StreamOf(w));
  EXPECT_EQ(report->Name.GetText(2), "Angebot");
  EXPECT_EQ(report->Name.Keys().Get(report->Name.IndexOfLanguage(2)), "2");
  EXPECT_EQ(report->Name.GetText(0), "zero") << "the other languages stay";
}

// The side values a cell record of the oracle carries: unique widths per cell and side.
struct StoredSides {
  TSpecBorderSide Left, Top, Right, Bottom;
};

TEST_F(ReportTest, LoadedBordersFollowTheSharingRules) {
  // Three columns; header 2 rows, group header empty, detail 3 rows (the middle one short: one
  // cell record), group footer empty, footer 1 row with two cell records.
  const int columns = 3;
  const std::vector<int> cellsPerRow = {3, 3, 3, 1, 3, 2};  // by global row
  const std::vector<std::pair<int, int>> rowBand = {{bkReportHeader, 0}, {bkReportHeader, 1},
                                                    {bkReportDetail, 0}, {bkReportDetail, 1},
                                                    {bkReportDetail, 2}, {bkReportFooter, 0}};
  std::map<std::pair<int, int>, StoredSides> stored;  // (column, global row)
  ReportRecord record;
  record.ColumnWidths.assign(columns, 100);
  int id = 1;
  for (std::size_t r = 0; r < rowBand.size(); ++r) {
    ReportRowRecord row;
    for (int c = 0; c < cellsPerRow[r]; ++c) {
      StoredSides s;
      s.Left = {1, static_cast<std::uint8_t>(id++)};
      s.Top = {1, static_cast<std::uint8_t>(id++)};
      s.Right = {0, static_cast<std::uint8_t>(id++)};
      s.Bottom = {1, static_cast<std::uint8_t>(id++)};
      stored[{c, static_cast<int>(r)}] = s;
      ReportCellRecord cell;
      cell.Left = {s.Left.Visible, s.Left.Width};
      cell.Top = {s.Top.Visible, s.Top.Width};
      cell.Right = {s.Right.Visible, s.Right.Width};
      cell.Bottom = {s.Bottom.Visible, s.Bottom.Width};
      row.Cells.push_back(cell);
    }
    record.Bands[static_cast<std::size_t>(rowBand[r].first)].push_back(row);
  }
  // The header's last row ends with a thick bottom that the detail's first row must show.
  stored[{0, 1}].Bottom = {1, 2};
  record.Bands[bkReportHeader][1].Cells[0].Bottom = {1, 2};

  TSpecReport* report = Load(record);
  const int rows = static_cast<int>(rowBand.size());
  ASSERT_EQ(report->RowCount(), rows);
  auto loaded = [&](int c, int r) -> std::optional<StoredSides> {
    auto it = stored.find({c, r});
    if (it == stored.end()) return std::nullopt;
    return it->second;
  };
  const TSpecBorderSide none{0, 1};
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      SCOPED_TRACE(testing::Message() << "column " << c << ", row " << r);
      auto own = loaded(c, r);
      auto left = loaded(c - 1, r);
      auto above = loaded(c, r - 1);
      auto rightOf = loaded(c + 1, r);
      // A lower band is loaded before the rows of this one exist, so a loaded cell below
      // writes the Bottom of an unloaded cell only inside the same band.
      auto below = r + 1 < rows && rowBand[static_cast<std::size_t>(r + 1)].first ==
                                       rowBand[static_cast<std::size_t>(r)].first
                       ? loaded(c, r + 1)
                       : std::nullopt;
      // Neighbours to the left and above are loaded after the cell and win; the cell's own
      // Right and Bottom are loaded after its right and lower neighbours and win.
      TSpecBorderSide expectLeft = left ? left->Right : own ? own->Left : none;
      TSpecBorderSide expectTop = above ? above->Bottom : own ? own->Top : none;
      TSpecBorderSide expectRight = own ? own->Right : rightOf ? rightOf->Left : none;
      TSpecBorderSide expectBottom = own ? own->Bottom : below ? below->Top : none;
      const TSpecBorderProps& b = report->CellAt(c, r)->Borders;
      EXPECT_EQ(b.Left(), expectLeft);
      EXPECT_EQ(b.Top(), expectTop);
      EXPECT_EQ(b.Right(), expectRight);
      EXPECT_EQ(b.Bottom(), expectBottom);
    }
  }
  EXPECT_EQ(report->CellAt(0, 2)->Borders.Top(), (TSpecBorderSide{1, 2}));
  // The short row: cell 1 takes its Left from the stored Right of cell 0, the rest stays.
  EXPECT_EQ(report->CellAt(1, 3)->Borders.Left(), (stored[{0, 3}].Right));
  EXPECT_EQ(report->CellAt(2, 3)->Borders.Right(), none);
  EXPECT_EQ(report->CellAt(1, 3)->Borders.Bottom(), (stored[{1, 4}].Top));
  EXPECT_EQ(report->CellAt(2, 5)->Borders.Top(), (stored[{2, 4}].Bottom))
      << "a footer cell without a record takes its Top from the cell above";
}

TEST_F(ReportTest, ReportWithoutColumnsHasRowsWithoutCells) {
  ReportRecord record;
  record.Bands[bkReportDetail] = {Row({}, 20), Row({}, 21)};
  TSpecReport* report = Load(record);
  EXPECT_EQ(report->RowCount(), 2);
  EXPECT_EQ(report->RowAt(0)->CellCount(), 0);
  EXPECT_EQ(report->RowAt(1)->Height, 21);
  EXPECT_EQ(report->CellAt(0, 0), nullptr);
}

TEST_F(ReportTest, BrokenRecordsFailTheLoad) {
  struct Case {
    const char* name;
    SchemeWriter bytes;
    std::string error = kReadBeyondEnd;
  };
  std::vector<Case> cases;
  {
    Case c{"row with more cell records than columns", {}, kReportRowTooManyCells};
    ReportRecord r;
    r.ColumnWidths = {100};
    r.Bands[bkReportFooter] = {Row({Cell("a"), Cell("b")})};
    WriteReport(c.bytes, r);
    cases.push_back(std::move(c));
  }
  {
    Case c{"column count beyond the bytes left", {}};
    c.bytes.Str("").Word(0xFFFF).Int(1);
    cases.push_back(std::move(c));
  }
  {
    Case c{"rows times columns beyond the bytes left", {}};
    c.bytes.Str("").Word(1000);
    for (int i = 0; i < 1000; ++i) c.bytes.Int(10);
    c.bytes.Word(60000);
    for (int i = 0; i < 60000; ++i) c.bytes.Int(18).Word(0);
    cases.push_back(std::move(c));
  }
  {
    Case c{"cell count beyond the bytes left", {}};
    c.bytes.Str("").Word(0xFFFF);
    for (int i = 0; i < 0xFFFF; ++i) c.bytes.Int(10);
    c.bytes.Word(1).Int(18).Word(0xFFFF);
    cases.push_back(std::move(c));
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSpecReport* report = Template.AddReport();
    EXPECT_RAISES_WHAT(report->LoadFromStream(*StreamOf(c.bytes)), c.error);
  }
  // The rows x columns check comes before any row is made.
  EXPECT_EQ(Template.Reports(2)->BandAt(bkReportFooter)->RowCount(), 0);
}

TEST_F(ReportTest, EveryTruncationIsAReadError) {
  ReportRecord record;
  record.Name = "R";
  record.ColumnWidths = {80, 90};
  record.Bands[bkReportHeader] = {Row({Cell("{Date}"), Cell("x")})};
  record.Bands[bkReportDetail] = {Row({Cell("{Code}")})};
  SchemeWriter full;
  WriteReport(full, record);
  for (std::size_t cut = 0; cut < full.Size(); ++cut) {
    SCOPED_TRACE(cut);
    TSpecTemplate templ;
    EXPECT_RAISES_WHAT(templ.AddReport()->LoadFromStream(*StreamOfPrefix(full, cut)),
                       kReadBeyondEnd);
  }
}

}  // namespace
