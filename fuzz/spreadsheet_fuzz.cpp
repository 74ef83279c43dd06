// The spreadsheet service on arbitrary macro texts and request items: nothing may crash, an
// execute is answered accepted or rejected, and after every step the workbooks are whole (an
// active book while any is open, the active cell and every cell inside the sheet, every look
// known) and every save writes a file. Formulas come in R1C1 notation (the seeds hold
// references of every form) and must be translated or refused.
//
// A value entered as the client enters one (in double quotes, every inner quote doubled)
// reaches its cell character for character: a text as it is, a text after an apostrophe
// without the apostrophe, a formula, once translated, with its string constants unchanged.
//
// Input: the first byte picks the decimal separator; the rest is lines. A line "?item"
// requests the item, "@topic" moves to that topic, ">value" enters the value into the active
// cell of the active workbook as the client does, any other line is executed.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "platform/spreadsheet.h"

namespace {

void CheckBook(const TWorkbook& book) {
  Require(book.ActiveRow >= 1 && book.ActiveRow <= Spreadsheet::kMaxRow);
  Require(book.ActiveColumn >= 1 && book.ActiveColumn <= Spreadsheet::kMaxColumn);
  for (const auto& [key, cell] : book.Cells) {
    const std::uint64_t row = key >> 32, column = key & 0xFFFFFFFFu;
    Require(row >= 1 && row <= Spreadsheet::kMaxRow);
    Require(column >= 1 && column <= Spreadsheet::kMaxColumn);
    Require(cell.Format < book.AllFormats().size());
    // A cell without value or look is never kept.
    Require(cell.Kind != TSheetCellKind::Empty || cell.Format != 0);
  }
  for (const auto& [column, width] : book.ColumnWidths)
    Require(column >= 1 && column <= Spreadsheet::kMaxColumn && width >= 0 && width <= 255);
  for (const auto& [row, height] : book.RowHeights)
    Require(row >= 1 && row <= Spreadsheet::kMaxRow && height >= 0 && height <= 409);
  for (const TSheetPicture& picture : book.Pictures)
    Require(picture.Row >= 1 && picture.Column >= 1 && !picture.Bytes.empty() &&
            picture.Width > 0 && picture.Height > 0);
}

void CheckService(TSpreadsheetService& service) {
  TWorkbook* active = service.ActiveWorkbook();
  Require((active == nullptr) == service.Workbooks().empty());
  bool found = active == nullptr;
  for (const auto& book : service.Workbooks()) {
    CheckBook(*book);
    if (book.get() == active) found = true;
  }
  Require(found);
  Require(service.Request("System", "Status") == std::optional<std::string>("Ready"));
  Require(service.Request("System", "Selection").has_value() == (active != nullptr));
}

// Every save goes to one private scratch file, whatever file the command named, and must
// succeed: what the commands let into a workbook can always be written.
bool ScratchSave(const TWorkbook& book, const std::string&) {
  char path[] = "/tmp/quorvane-spreadsheet-fuzz-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) return false;
  ::close(fd);
  const bool saved = SaveWorkbookAsXlsx(book, path);
  std::remove(path);
  Require(saved);
  return saved;
}

// The new files of APP.ACTIVATE and FILE.CLOSE alike.
std::string ScratchSaveNew(const TWorkbook& book, const std::string& folder,
                           const std::string& stem) {
  Require(!stem.empty() && stem.find('/') == std::string::npos);
  return ScratchSave(book, folder) ? folder + "/" + stem + ".xlsx" : std::string();
}

// The string constants of a formula in order, as written (doubled quotes kept). Quoted sheet
// names and bracketed parts (offsets, book names) are passed over: they may hold quotes that
// begin no string.
std::vector<std::string_view> StringConstants(std::string_view formula) {
  std::vector<std::string_view> constants;
  std::size_t i = 0;
  const auto skipTo = [&formula, &i](char close) {
    for (++i; i < formula.size(); ++i) {
      if (formula[i] != close) continue;
      if (close != '\'' || i + 1 >= formula.size() || formula[i + 1] != '\'') break;
      ++i;  // a doubled apostrophe
    }
  };
  for (; i < formula.size(); ++i) {
    const char c = formula[i];
    if (c == '\'') {
      skipTo('\'');
    } else if (c == '[') {
      skipTo(']');
    } else if (c == '"') {
      const std::size_t start = i;
      for (++i; i < formula.size(); ++i) {
        if (formula[i] != '"') continue;
        if (i + 1 >= formula.size() || formula[i + 1] != '"') break;
        ++i;
      }
      constants.push_back(formula.substr(start, i + 1 - start));
    }
  }
  return constants;
}

// Enters Value into the active cell as the client's FORMULA does and checks what the cell holds.
void EnterAsTheClient(TSpreadsheetService& service, const std::string& value) {
  std::string command = "[FORMULA(\"";
  for (char c : value) {
    if (c == '"') command += '"';
    command += c;
  }
  command += "\")]";
  TWorkbook* book = service.ActiveWorkbook();
  const bool accepted = service.Execute("System", command) == TDdeExecuteResult::Accepted;
  if (!book) {
    Require(!accepted);
    return;
  }
  const TSheetCell* cell = book->Cell(book->ActiveRow, book->ActiveColumn);
  const TSheetCellKind kind = cell ? cell->Kind : TSheetCellKind::Empty;
  // The spreadsheet keeps at most 32767 characters of a text.
  constexpr std::size_t kMaxCellText = 32767;
  if (!value.empty() && value.front() == '=') {
    // A formula is translated or refused; translated, its strings are those it was given.
    if (!accepted) return;
    Require(kind == TSheetCellKind::Formula);
    Require(StringConstants(std::string_view(value).substr(1)) == StringConstants(cell->Text));
  } else if (!value.empty() && value.front() == '\'') {
    Require(accepted == (value.size() - 1 <= kMaxCellText));
    if (!accepted) return;
    if (value.size() == 1)
      Require(kind == TSheetCellKind::Empty);
    else
      Require(kind == TSheetCellKind::Text && cell->Text == value.substr(1));
  } else if (value.empty()) {
    Require(accepted && kind == TSheetCellKind::Empty);
  } else {
    // A number, or else the text itself.
    Require(accepted || value.size() > kMaxCellText);
    if (accepted)
      Require(kind == TSheetCellKind::Number ||
              (kind == TSheetCellKind::Text && cell->Text == value));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  TSpreadsheetService service;
  service.DecimalSeparator = data[0] & 1 ? ',' : '.';
  service.SaveFile = ScratchSave;
  service.SaveNewFile = ScratchSaveNew;
  service.DocumentsFolder = "/nonexistent/documents";
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string topic = "System";
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line[0] == '?') {
      service.Request(topic, line.substr(1));
    } else if (!line.empty() && line[0] == '@') {
      topic = line.substr(1);
    } else if (!line.empty() && line[0] == '>') {
      EnterAsTheClient(service, line.substr(1));
    } else {
      const TDdeExecuteResult result = service.Execute(topic, line);
      Require(result == TDdeExecuteResult::Accepted || result == TDdeExecuteResult::Rejected);
    }
    CheckService(service);
  }
  return 0;
}
