#pragma once

// Report templates: the layouts into which the exporter renders an offer. A template has
// columns and five bands (report header, group header, report detail, group footer, report
// footer); each band has rows and every row holds exactly one cell per column, in column
// order. Rows are numbered from 0 across the bands in band order (global row numbers), so the
// row below the last row of a band is the first row of the next band that has rows.
//
// Borders are shared: setting one side of a cell's border also sets the facing side of the
// neighbouring cell (found by column and global row). The loader relies on this, so the
// stored borders of a template are the result of it.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/mui.h"

class TSpecDataReader;
class TSpecTemplate;
class TSpecReport;
class TSpecReportBand;
class TSpecReportRow;
class TSpecReportCell;

// The load error of a row record with more cells than the row has (byte-exact).
inline constexpr const char* kReportRowTooManyCells =
    "Report row has more cells than the report has columns.";

// Font style bits; other bits of the stored byte are ignored.
enum TSpecFontStyle : std::uint8_t {
  fsBold = 1,
  fsItalic = 2,
  fsUnderline = 4,
};

class TSpecFontProps {
 public:
  // Str name, Word size, Int colour, Byte style: fields 10 to 13 of the cell record.
  void LoadFromStream(TSpecDataReader& stream);
  // The style as the set of the three TSpecFontStyle flags.
  std::uint8_t GetStyle() const { return Style & (fsBold | fsItalic | fsUnderline); }

  std::string Name = "Arial";
  // Points; 16 bits in the file.
  std::int32_t Size = 10;
  // Stored, never exported.
  std::uint32_t Color = 0;
  std::uint8_t Style = 0;
};

class TSpecParagraphProps {
 public:
  // Byte horizontal, Byte vertical alignment, Byte word wrap: fields 14 to 16.
  void LoadFromStream(TSpecDataReader& stream);

  // 1 left, 2 centre, 3 right.
  std::uint8_t HAlign = 1;
  // 1 top, 2 middle, 3 bottom.
  std::uint8_t VAlign = 1;
  std::uint8_t WordWrap = 0;
};

// One side of a cell border; the exporter draws Visible x Width.
struct TSpecBorderSide {
  std::uint8_t Visible = 0;
  std::uint8_t Width = 1;

  bool operator==(const TSpecBorderSide&) const = default;
};

class TSpecBorderProps {
 public:
  explicit TSpecBorderProps(TSpecReportCell* cell) : FCell(cell) {}
  TSpecBorderProps(const TSpecBorderProps&) = delete;
  TSpecBorderProps& operator=(const TSpecBorderProps&) = delete;

  TSpecReportCell* Cell() const { return FCell; }
  const TSpecBorderSide& Top() const { return FTop; }
  const TSpecBorderSide& Left() const { return FLeft; }
  const TSpecBorderSide& Bottom() const { return FBottom; }
  const TSpecBorderSide& Right() const { return FRight; }

  // Each writes its own side, then the facing side of the neighbouring cell when there is one
  // (the cell above, to the left, to the right, below, by column and global row), directly,
  // so that nothing propagates further.
  void SetTop(TSpecBorderSide side);
  void SetLeft(TSpecBorderSide side);
  void SetRight(TSpecBorderSide side);
  void SetBottom(TSpecBorderSide side);

  // Fields 2 to 9 of the cell record: for Left, Top, Right and Bottom in this order, Byte
  // width then Byte visible, each side applied through its setter as soon as it is read.
  void LoadFromStream(TSpecDataReader& stream);

 private:
  // The cell at this cell's column + dc and global row + dr; nullptr outside the grid.
  TSpecReportCell* Neighbour(int dc, int dr) const;

  TSpecBorderSide FTop;
  TSpecBorderSide FLeft;
  TSpecBorderSide FBottom;
  TSpecBorderSide FRight;
  TSpecReportCell* FCell;
};

// Content kinds of a cell.
enum TSpecCellContent : std::uint8_t {
  ccText = 0,
  ccPicture = 1,
};

// Data types of a cell: the designer's "Auto", "Text", "Numeric", "Date and Time".
enum TSpecCellDataType : std::uint8_t {
  cdAuto = 0,
  cdText = 1,
  cdNumeric = 2,
  cdDateTime = 3,
};

class TSpecReportCell {
 public:
  // Minimum bytes of a cell record (all four texts empty).
  static constexpr std::uint32_t MinRecordSize = 4 + 8 + 2 + 2 + 4 + 1 + 3 + 1 + 2 + 2 + 1 + 2;

  explicit TSpecReportCell(TSpecReportRow* row) : Borders(this), FRow(row) {}
  TSpecReportCell(const TSpecReportCell&) = delete;
  TSpecReportCell& operator=(const TSpecReportCell&) = delete;

  TSpecReportRow* Row() const { return FRow; }

  // Cell record: Int background, the borders, the font, the paragraph, Byte content, Str
  // image resource, Str formula, Byte data type, Str data format.
  void LoadFromStream(TSpecDataReader& stream);

  TSpecFontProps Font;
  TSpecParagraphProps Paragraph;
  TSpecBorderProps Borders;
  // Stored, never exported.
  std::uint32_t BackgroundColor = 0xFFFFFF;
  // TSpecCellContent as read.
  std::uint8_t Content = ccText;
  // Name of the picture resource of a picture cell.
  std::string ImageResource;
  // Text of a text cell: literal runs and {expression} pieces.
  std::string Formula;
  // TSpecCellDataType as read.
  std::uint8_t DataType = cdAuto;
  // Number format for the sheet; empty: none.
  std::string DataFormat;

 private:
  friend class TSpecReportRow;

  TSpecReportRow* FRow;
  // Where the cell stood in its row when last found: the border setters find a cell's column
  // in constant time while a report loads.
  mutable std::size_t FIndexHint = 0;
};

class TSpecReportRow {
 public:
  // Minimum bytes of a row record: Int height, Word cell count.
  static constexpr std::uint32_t MinRecordSize = 4 + 2;

  // No cells yet (TSpecReportBand::AddRow gives it one per column).
  explicit TSpecReportRow(TSpecReportBand* band) : FBand(band) {}
  TSpecReportRow(const TSpecReportRow&) = delete;
  TSpecReportRow& operator=(const TSpecReportRow&) = delete;

  TSpecReportBand* Band() const { return FBand; }

  // Appends a default cell; returns its index.
  int AddCell();
  // Removes and frees cell i; nothing outside.
  void DeleteCell(int index);
  void ClearCells();
  // Index of that cell object, searched from the last; -1 when absent.
  int IndexOfCell(const TSpecReportCell* cell) const;
  // nullptr outside 0..CellCount()-1.
  TSpecReportCell* Cells(int index) const;
  int CellCount() const { return static_cast<int>(FCells.size()); }

  // Row record: Int height, Word k, then k cell records filling cells k-1 down to 0 (stored
  // right to left); cells from k on keep their defaults. A k beyond the row's cells raises
  // kReportRowTooManyCells.
  void LoadFromStream(TSpecDataReader& stream);

  std::int32_t Height = 18;

 private:
  friend class TSpecReportBand;
  friend class TSpecBorderProps;

  // IndexOfCell of a live cell of this row, through the cell's hint.
  int CellPosition(const TSpecReportCell* cell) const;

  TSpecReportBand* FBand;
  std::vector<std::unique_ptr<TSpecReportCell>> FCells;
  // Where the row stood in its band when last found.
  mutable std::size_t FIndexHint = 0;
};

// Band kinds, also the band's index in its report.
enum TSpecBandKind : std::uint8_t {
  bkReportHeader = 0,
  bkGroupHeader = 1,
  bkReportDetail = 2,
  bkGroupFooter = 3,
  bkReportFooter = 4,
};

class TSpecReportBand {
 public:
  TSpecReportBand(TSpecReport* report, std::uint8_t kind) : Kind(kind), FReport(report) {}
  TSpecReportBand(const TSpecReportBand&) = delete;
  TSpecReportBand& operator=(const TSpecReportBand&) = delete;

  TSpecReport* Report() const { return FReport; }

  // Appends a row (height 18) with one default cell per column of the report.
  TSpecReportRow* AddRow();
  // Removes and frees row i; nothing outside.
  void DeleteRow(int index);
  void ClearRows();
  // Index of that row object, searched from the last; -1 when absent.
  int IndexOfRow(const TSpecReportRow* row) const;
  // nullptr outside 0..RowCount()-1.
  TSpecReportRow* Rows(int index) const;
  int RowCount() const { return static_cast<int>(FRows.size()); }
  // Global row number of the band's first row; -1 for a band that is not one of its report's.
  int FirstGlobalRow() const;

  // Band record: Word m; the band gets m rows of default cells, then m row records fill rows
  // m-1 down to 0 (stored bottom to top). m rows, and m x columns default cells, are checked
  // against the bytes left before anything is created.
  void LoadFromStream(TSpecDataReader& stream);

  // TSpecBandKind.
  std::uint8_t Kind;

 private:
  friend class TSpecBorderProps;

  // IndexOfRow of a live row of this band, through the row's hint.
  int RowPosition(const TSpecReportRow* row) const;

  TSpecReport* FReport;
  std::vector<std::unique_ptr<TSpecReportRow>> FRows;
};

class TSpecReportColumn {
 public:
  explicit TSpecReportColumn(TSpecReport* report) : FReport(report) {}

  TSpecReport* Report() const { return FReport; }
  // One Int: the width.
  void LoadFromStream(TSpecDataReader& stream);

  // Pixels; the exporter divides by 8 for the sheet.
  std::int32_t Width = 100;

 private:
  TSpecReport* FReport;
};

class TSpecReport {
 public:
  // Empty registered name on the template's language manager, no columns, five empty bands of
  // kinds 0 to 4.
  explicit TSpecReport(TSpecTemplate* templ);
  ~TSpecReport();
  TSpecReport(const TSpecReport&) = delete;
  TSpecReport& operator=(const TSpecReport&) = delete;

  TSpecTemplate* Template() const { return FTemplate; }
  // The name in the current language.
  const std::string& GetName() const { return Name.GetCurrentText(); }
  void SetName(const std::string& text) { Name.SetCurrentText(text); }

  // Appends a column (width 100) and a default cell at the end of every row.
  TSpecReportColumn* AddColumn();
  // Deletes cell i of every row, then column i; nothing when there is no column i.
  void DeleteColumn(int index);
  void ClearColumns();
  // nullptr outside 0..ColumnCount()-1.
  TSpecReportColumn* Columns(int index) const;
  int ColumnCount() const { return static_cast<int>(FColumns.size()); }

  // Band i of kind i; nullptr outside 0..4.
  TSpecReportBand* BandAt(int index) const;
  int BandCount() const { return static_cast<int>(FBands.size()); }
  // 4 down to 0; -1 when the band is not one of the five.
  int IndexOfBand(const TSpecReportBand* band) const;

  // All rows of the five bands.
  int RowCount() const;
  // nullptr when the number is negative or not below RowCount().
  TSpecReportRow* RowAt(int globalRow) const;
  // nullptr when either is out of range.
  TSpecReportCell* CellAt(int column, int globalRow) const;

  // Report record of A6: Str name (the current-language text), Word n columns and their n Int
  // widths, then the band records of bands 4, 3, 2, 1, 0.
  void LoadFromStream(TSpecDataReader& stream);

 private:
  TSpecTemplate* FTemplate;

 public:
  TSpecMuiString Name;

 private:
  std::vector<std::unique_ptr<TSpecReportColumn>> FColumns;
  std::array<std::unique_ptr<TSpecReportBand>, 5> FBands;
};
