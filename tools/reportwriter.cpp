#include "tools/reportwriter.h"

namespace {

void WriteSide(SchemeWriter& out, const BorderSideRecord& side) {
  out.Byte(side.Width).Byte(side.Visible);
}

}  // namespace

void WriteReportCell(SchemeWriter& out, const ReportCellRecord& cell) {
  out.Int(cell.BackgroundColor);
  WriteSide(out, cell.Left);
  WriteSide(out, cell.Top);
  WriteSide(out, cell.Right);
  WriteSide(out, cell.Bottom);
  out.Str(cell.FontName).Word(cell.FontSize).Int(cell.FontColor).Byte(cell.FontStyle);
  out.Byte(cell.HAlign).Byte(cell.VAlign).Byte(cell.WordWrap);
  out.Byte(cell.Content).Str(cell.ImageResource).Str(cell.Formula);
  out.Byte(cell.DataType).Str(cell.DataFormat);
}

void WriteReportRow(SchemeWriter& out, const ReportRowRecord& row) {
  out.Int(row.Height).WordCount(row.Cells.size());
  for (auto cell = row.Cells.rbegin(); cell != row.Cells.rend(); ++cell)
    WriteReportCell(out, *cell);
}

void WriteReportBand(SchemeWriter& out, const std::vector<ReportRowRecord>& rows) {
  out.WordCount(rows.size());
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) WriteReportRow(out, *row);
}

void WriteReport(SchemeWriter& out, const ReportRecord& report) {
  out.Str(report.Name).WordCount(report.ColumnWidths.size());
  for (std::int32_t width : report.ColumnWidths) out.Int(width);
  for (auto band = report.Bands.rbegin(); band != report.Bands.rend(); ++band) {
    WriteReportBand(out, *band);
  }
}

void WriteReports(SchemeWriter& out, const std::vector<ReportRecord>& reports) {
  out.IntCount(reports.size());
  for (const ReportRecord& report : reports) WriteReport(out, report);
}
