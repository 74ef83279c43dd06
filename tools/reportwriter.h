#pragma once

// Writer of section A6, report templates: in exactly the record layouts the report reader
// takes. The records hold bands, rows and cells in their natural order (bands by kind 0 to 4,
// rows top to bottom, cells left to right); the writer stores them as the file has them:
// bands 4 down to 0, rows bottom to top, cells right to left.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/schemewriter.h"

// One border side as stored: the width, then the visible flag.
struct BorderSideRecord {
  std::uint8_t Visible = 0;
  std::uint8_t Width = 1;
};

struct ReportCellRecord {
  std::int32_t BackgroundColor = 0xFFFFFF;
  BorderSideRecord Left;
  BorderSideRecord Top;
  BorderSideRecord Right;
  BorderSideRecord Bottom;
  std::string FontName = "Arial";
  std::uint16_t FontSize = 10;
  std::int32_t FontColor = 0;
  std::uint8_t FontStyle = 0;
  std::uint8_t HAlign = 1;
  std::uint8_t VAlign = 1;
  std::uint8_t WordWrap = 0;
  std::uint8_t Content = 0;
  std::string ImageResource;
  std::string Formula;
  std::uint8_t DataType = 0;
  std::string DataFormat;
};

struct ReportRowRecord {
  std::int32_t Height = 18;
  // Left to right; may be fewer than the columns.
  std::vector<ReportCellRecord> Cells;
};

struct ReportRecord {
  std::string Name;
  std::vector<std::int32_t> ColumnWidths;
  // By band kind: report header, group header, report detail, group footer, report footer;
  // each band's rows top to bottom.
  std::array<std::vector<ReportRowRecord>, 5> Bands;
};

// The 21 fields of a cell record.
void WriteReportCell(SchemeWriter& out, const ReportCellRecord& cell);
// Int height, Word cell count, the cells right to left.
void WriteReportRow(SchemeWriter& out, const ReportRowRecord& row);
// Word row count, the rows bottom to top.
void WriteReportBand(SchemeWriter& out, const std::vector<ReportRowRecord>& rows);
// Str name, Word column count, the Int widths, then bands 4 down to 0.
void WriteReport(SchemeWriter& out, const ReportRecord& report);
// The section: Int n, then the n report records.
void WriteReports(SchemeWriter& out, const std::vector<ReportRecord>& reports);
