#include "model/report.h"

#include "platform/errors.h"
#include "model/core.h"
#include "model/ownedlist.h"
#include "model/saver.h"

namespace {

// Reads one side as the file holds it: the width first, then the visible flag.
TSpecBorderSide ReadSide(TSpecDataReader& stream) {
  TSpecBorderSide side;
  side.Width = stream.ReadByte();
  side.Visible = stream.ReadByte();
  return side;
}

// The index of a live element of the list: the hint when it still points at the element, else
// the search (elements are unique, so both give the same index).
template <typename T>
int PositionWithHint(const std::vector<std::unique_ptr<T>>& list, const T* element,
                     std::size_t& hint) {
  if (hint < list.size() && list[hint].get() == element) return static_cast<int>(hint);
  int index = IndexOfObject(list, element);
  if (index >= 0) hint = static_cast<std::size_t>(index);
  return index;
}

}  // namespace

// --- Cell properties ---------------------------------------------------------------------------

void TSpecFontProps::LoadFromStream(TSpecDataReader& stream) {
  Name = stream.ReadString();
  Size = stream.ReadWord();
  Color = static_cast<std::uint32_t>(stream.ReadInteger());
  Style = stream.ReadByte();
}

void TSpecParagraphProps::LoadFromStream(TSpecDataReader& stream) {
  HAlign = stream.ReadByte();
  VAlign = stream.ReadByte();
  WordWrap = stream.ReadByte();
}

TSpecReportCell* TSpecBorderProps::Neighbour(int dc, int dr) const {
  if (!FCell) return nullptr;
  TSpecReportRow* row = FCell->Row();
  TSpecReportBand* band = row ? row->Band() : nullptr;
  TSpecReport* report = band ? band->Report() : nullptr;
  if (!report) return nullptr;
  int column = row->CellPosition(FCell);
  int rowInBand = band->RowPosition(row);
  int firstRow = band->FirstGlobalRow();
  if (column < 0 || rowInBand < 0 || firstRow < 0) return nullptr;
  return report->CellAt(column + dc, firstRow + rowInBand + dr);
}

void TSpecBorderProps::SetTop(TSpecBorderSide side) {
  TSpecReportCell* neighbour = Neighbour(0, -1);
  FTop = side;
  if (neighbour) neighbour->Borders.FBottom = side;
}

void TSpecBorderProps::SetLeft(TSpecBorderSide side) {
  TSpecReportCell* neighbour = Neighbour(-1, 0);
  FLeft = side;
  if (neighbour) neighbour->Borders.FRight = side;
}

void TSpecBorderProps::SetRight(TSpecBorderSide side) {
  TSpecReportCell* neighbour = Neighbour(1, 0);
  FRight = side;
  if (neighbour) neighbour->Borders.FLeft = side;
}

void TSpecBorderProps::SetBottom(TSpecBorderSide side) {
  TSpecReportCell* neighbour = Neighbour(0, 1);
  FBottom = side;
  if (neighbour) neighbour->Borders.FTop = side;
}

void TSpecBorderProps::LoadFromStream(TSpecDataReader& stream) {
  SetLeft(ReadSide(stream));
  SetTop(ReadSide(stream));
  SetRight(ReadSide(stream));
  SetBottom(ReadSide(stream));
}

// --- Cells and rows ----------------------------------------------------------------------------

void TSpecReportCell::LoadFromStream(TSpecDataReader& stream) {
  BackgroundColor = static_cast<std::uint32_t>(stream.ReadInteger());
  Borders.LoadFromStream(stream);
  Font.LoadFromStream(stream);
  Paragraph.LoadFromStream(stream);
  Content = stream.ReadByte();
  ImageResource = stream.ReadString();
  Formula = stream.ReadString();
  DataType = stream.ReadByte();
  DataFormat = stream.ReadString();
}

int TSpecReportRow::AddCell() {
  FCells.push_back(std::make_unique<TSpecReportCell>(this));
  FCells.back()->FIndexHint = FCells.size() - 1;
  return CellCount() - 1;
}

void TSpecReportRow::DeleteCell(int index) {
  if (index >= 0 && index < CellCount()) FCells.erase(FCells.begin() + index);
}

// Freed from the last cell to the first: the result of deleting cell 0 repeatedly, without
// moving the rest of the row each time.
void TSpecReportRow::ClearCells() {
  while (!FCells.empty()) FCells.pop_back();
}

int TSpecReportRow::IndexOfCell(const TSpecReportCell* cell) const {
  return IndexOfObject(FCells, cell);
}

int TSpecReportRow::CellPosition(const TSpecReportCell* cell) const {
  return PositionWithHint(FCells, cell, cell->FIndexHint);
}

TSpecReportCell* TSpecReportRow::Cells(int index) const {
  return ElementOrNull(FCells, index);
}

void TSpecReportRow::LoadFromStream(TSpecDataReader& stream) {
  Height = stream.ReadInteger();
  int count = stream.ReadWord();
  if (count > CellCount()) throw Exception(kReportRowTooManyCells);
  CheckRecordCount(stream, count, TSpecReportCell::MinRecordSize);
  for (int i = count - 1; i >= 0; --i) FCells[static_cast<std::size_t>(i)]->LoadFromStream(stream);
}

// --- Bands and columns -------------------------------------------------------------------------

TSpecReportRow* TSpecReportBand::AddRow() {
  FRows.push_back(std::make_unique<TSpecReportRow>(this));
  TSpecReportRow* row = FRows.back().get();
  row->FIndexHint = FRows.size() - 1;
  int columns = FReport ? FReport->ColumnCount() : 0;
  row->FCells.reserve(static_cast<std::size_t>(columns));
  for (int i = 0; i < columns; ++i) row->AddCell();
  return row;
}

void TSpecReportBand::DeleteRow(int index) {
  if (index >= 0 && index < RowCount()) FRows.erase(FRows.begin() + index);
}

void TSpecReportBand::ClearRows() {
  while (!FRows.empty()) FRows.pop_back();
}

int TSpecReportBand::IndexOfRow(const TSpecReportRow* row) const {
  return IndexOfObject(FRows, row);
}

int TSpecReportBand::RowPosition(const TSpecReportRow* row) const {
  return PositionWithHint(FRows, row, row->FIndexHint);
}

TSpecReportRow* TSpecReportBand::Rows(int index) const {
  return ElementOrNull(FRows, index);
}

int TSpecReportBand::FirstGlobalRow() const {
  int index = FReport ? FReport->IndexOfBand(this) : -1;
  if (index < 0) return -1;
  int first = 0;
  for (int i = 0; i < index; ++i) first += FReport->BandAt(i)->RowCount();
  return first;
}

void TSpecReportBand::LoadFromStream(TSpecDataReader& stream) {
  int count = stream.ReadWord();
  CheckRecordCount(stream, count, TSpecReportRow::MinRecordSize);
  // Every row gets its default cells before any row record is read: at least one byte left
  // per cell to be made.
  const std::int64_t cells =
      static_cast<std::int64_t>(count) * (FReport ? FReport->ColumnCount() : 0);
  CheckRecordCount(stream, cells, 1);
  if (FReport && FReport->Template()) FReport->Template()->ChargeReportCells(cells);
  ClearRows();
  FRows.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) AddRow();
  for (int i = count - 1; i >= 0; --i) FRows[static_cast<std::size_t>(i)]->LoadFromStream(stream);
}

void TSpecReportColumn::LoadFromStream(TSpecDataReader& stream) {
  Width = stream.ReadInteger();
}

// --- The report --------------------------------------------------------------------------------

TSpecReport::TSpecReport(TSpecTemplate* templ)
    : FTemplate(templ), Name(templ ? templ->MuiManager() : nullptr) {
  for (std::size_t i = 0; i < FBands.size(); ++i) {
    FBands[i] = std::make_unique<TSpecReportBand>(this, static_cast<std::uint8_t>(i));
  }
}

TSpecReport::~TSpecReport() {
  ClearColumns();
  for (auto& band : FBands) band.reset();
}

TSpecReportColumn* TSpecReport::AddColumn() {
  FColumns.push_back(std::make_unique<TSpecReportColumn>(this));
  for (const auto& band : FBands) {
    for (int r = 0; r < band->RowCount(); ++r) band->Rows(r)->AddCell();
  }
  return FColumns.back().get();
}

void TSpecReport::DeleteColumn(int index) {
  if (index < 0 || index >= ColumnCount()) return;
  for (const auto& band : FBands) {
    for (int r = 0; r < band->RowCount(); ++r) band->Rows(r)->DeleteCell(index);
  }
  FColumns.erase(FColumns.begin() + index);
}

// Deletes from the last column: the result of deleting column 0 repeatedly, without moving
// every cell of every row each time.
void TSpecReport::ClearColumns() {
  while (!FColumns.empty()) DeleteColumn(ColumnCount() - 1);
}

TSpecReportColumn* TSpecReport::Columns(int index) const {
  return ElementOrNull(FColumns, index);
}

TSpecReportBand* TSpecReport::BandAt(int index) const {
  if (index < 0 || index >= BandCount()) return nullptr;
  return FBands[static_cast<std::size_t>(index)].get();
}

int TSpecReport::IndexOfBand(const TSpecReportBand* band) const {
  for (int i = BandCount() - 1; i >= 0; --i) {
    if (FBands[static_cast<std::size_t>(i)].get() == band) return i;
  }
  return -1;
}

int TSpecReport::RowCount() const {
  int count = 0;
  for (const auto& band : FBands) count += band->RowCount();
  return count;
}

TSpecReportRow* TSpecReport::RowAt(int globalRow) const {
  if (globalRow < 0) return nullptr;
  for (const auto& band : FBands) {
    if (globalRow < band->RowCount()) return band->Rows(globalRow);
    globalRow -= band->RowCount();
  }
  return nullptr;
}

TSpecReportCell* TSpecReport::CellAt(int column, int globalRow) const {
  TSpecReportRow* row = RowAt(globalRow);
  return row ? row->Cells(column) : nullptr;
}

void TSpecReport::LoadFromStream(TSpecDataReader& stream) {
  SetName(stream.ReadString());
  ClearColumns();
  int count = stream.ReadWord();
  CheckRecordCount(stream, count, 4);
  FColumns.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) AddColumn();
  for (const auto& column : FColumns) column->LoadFromStream(stream);
  for (int i = BandCount() - 1; i >= 0; --i)
    FBands[static_cast<std::size_t>(i)]->LoadFromStream(stream);
}
