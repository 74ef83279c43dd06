#pragma once

// The spreadsheet on the far side of the Excel client: a DDE server, registered as "Excel",
// that executes Excel 4 macro commands into in-memory workbooks and writes them as .xlsx
// files (libxlsxwriter).
//
// Topics: "System" and "[<book>]Sheet1" of every open workbook. Items of "System": "Status"
// ("Ready") and "Selection" (the active cell, "[Book1]Sheet1!R1C1"). An execute text is one or
// more bracketed commands, "[SELECT(\"R1C1\")][FORMULA(\"x\")]"; names are matched without
// regard to case; arguments are texts in double quotes (a doubled quote stands for one),
// numbers with "." as decimal point, TRUE and FALSE, or left out. A text that is not such a
// sequence, an unknown command, wrong arguments and a command that cannot be carried out are
// rejected; the commands of a text run in order and stop at the first that fails.
//
// Commands:
//   SELECT("R1C1") and the relative forms "R[-1]C", "RC[1]", ...  moves the active cell
//   FORMULA(value[, "R1C1"])  enters the value as if typed into the cell (the active cell by
//       default): an empty text clears the value, a text beginning with "=" is a formula in
//       R1C1 notation (kept in the file's A1 notation, see platform/sheetformula.h; one that
//       cannot be read is refused), a number written with DecimalSeparator is a number,
//       anything else a text; a number or TRUE/FALSE argument enters that number or logical
//       value. The file's workbook is recalculated when it is opened.
//   FORMAT.FONT(name, size, bold, italic, underline, strike, colour, outline, shadow)
//   FORMAT.NUMBER("format")  in DecimalSeparator's convention (so "0,00" under a comma locale)
//   ALIGNMENT(horizontal 1-7, wrap, vertical 1-4, orientation 0-3)
//   BORDER(outline, left, right, top, bottom 0-7, shade, outline colour, left colour, right
//       colour, top colour, bottom colour 0-56)
//   COLUMN.WIDTH(characters 0-255), ROW.HEIGHT(points 0-409)  of the active cell
//   INSERT.PICTURE("file")  a PNG, JPEG, GIF or BMP file, placed at the active cell; one that
//       does not decode whole or lies beyond the picture bounds (platform/picturesize.h) is
//       refused
//   NEW(1)  a new workbook "Book<n>"
//   FILE.CLOSE[(save)]  closes the active workbook; with save TRUE it is written first (to
//       the file of its last save, else as a new file in the documents folder, see
//       APP.ACTIVATE), and stays open when that fails
//   SAVE.AS("file")  writes the active workbook, replacing the file (a link is followed to
//       the file it names), which then takes the file's name
//   SUMMARY.INFO(title, subject, author, keywords, comments)  the workbook's properties; the
//       title also names the file that APP.ACTIVATE writes
//   OPEN("file"[, links])  activates the open workbook saved under that file (the service
//       reads no spreadsheet files)
//   ERROR(flag), APP.MAXIMIZE  stored; QUIT  closes every workbook and ends the conversations
//   APP.ACTIVATE  hands the active workbook to the user: a workbook saved before is written
//       to its file again; any other is written as a new file "<title> <yyyy-mm-dd>.xlsx" in
//       the user's documents folder (the book's name when it has no title), or in the home
//       folder when the documents folder cannot take it, never replacing a file there
//       (" (2)", " (3)", ... are added). The workbook is closed, written or not: the user
//       goes on in the desktop's application for .xlsx, which opens the file; when there is
//       none, a message names the file.
//
// A command that cannot write its file (SAVE.AS, FILE.CLOSE(TRUE), APP.ACTIVATE) is rejected
// with the message "Unable to save "<file>": <reason>" (platform/files.h), which the
// conversation hands to the client. New files get the mode 0666 less the umask; a replaced
// file keeps its mode.
//
// Texts, font names, formats and file names arrive in Windows-1251; file names are converted
// to file-system paths (UTF-8) and cell texts to UTF-8 only when a file is written.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/dde.h"

namespace Spreadsheet {
inline constexpr const char* kServiceName = "Excel";
inline constexpr const char* kSystemTopic = "System";
inline constexpr const char* kSheetName = "Sheet1";
inline constexpr std::uint32_t kMaxRow = 1048576;
inline constexpr std::uint32_t kMaxColumn = 16384;
}  // namespace Spreadsheet

// The look of a cell. Zero and empty members mean the sheet's default.
struct TSheetFormat {
  std::string FontName;
  std::uint16_t FontSize = 0;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool Strike = false;
  std::uint8_t FontColor = 0;  // 0 automatic, 1-56 the standard palette
  std::string NumberFormat;    // xlsx convention ("." decimal point); empty: General
  std::uint8_t HAlign = 1;     // 1 general, 2 left, 3 centre, 4 right, 5 fill, 6 justify, 7 across
  std::uint8_t VAlign = 3;     // 1 top, 2 centre, 3 bottom, 4 justify
  bool Wrap = false;
  std::uint8_t Orientation = 0;
  std::uint8_t Borders[4] = {0, 0, 0, 0};       // left, right, top, bottom: line styles 0-7
  std::uint8_t BorderColors[4] = {0, 0, 0, 0};  // the same sides: 0 automatic, 1-56 the palette
  bool Shade = false;                           // the light grey shading of BORDER

  auto operator<=>(const TSheetFormat&) const = default;
};

// A hash of every member of a look, for the workbook's index of looks.
struct TSheetFormatHash {
  std::size_t operator()(const TSheetFormat& format) const;
};

enum class TSheetCellKind : std::uint8_t { Empty, Number, Text, Boolean, Formula };

struct TSheetCell {
  TSheetCellKind Kind = TSheetCellKind::Empty;
  double Number = 0;         // Number; Boolean as 0 or 1
  std::string Text;          // Text; Formula without its "="
  std::uint32_t Format = 0;  // index into the workbook's formats; 0 the default look
};

struct TSheetPicture {
  std::uint32_t Row;
  std::uint32_t Column;
  std::string Bytes;
  // Its size in pixels, found by decoding it.
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
};

class TWorkbook {
 public:
  explicit TWorkbook(std::string name);

  // The book's name ("Book1", or the file name it was saved under) and the file-system path
  // of its last save (empty before).
  std::string Name;
  std::string Path;
  std::uint32_t ActiveRow = 1;
  std::uint32_t ActiveColumn = 1;
  // Cells by row and column, in row-major order.
  std::map<std::uint64_t, TSheetCell> Cells;
  std::map<std::uint32_t, double> ColumnWidths;
  std::map<std::uint32_t, double> RowHeights;
  std::vector<TSheetPicture> Pictures;
  // SUMMARY.INFO: title, subject, author, keywords, comments.
  std::string Summary[5];

  static std::uint64_t Key(std::uint32_t row, std::uint32_t column) {
    return (static_cast<std::uint64_t>(row) << 32) | column;
  }
  // The cell, or nullptr when it was never written or formatted.
  const TSheetCell* Cell(std::uint32_t row, std::uint32_t column) const;
  TSheetCell& CellAt(std::uint32_t row, std::uint32_t column);
  const TSheetFormat& FormatOf(const TSheetCell& cell) const { return Formats[cell.Format]; }
  // The index of a look, added when new.
  std::uint32_t Intern(const TSheetFormat& format);
  const std::vector<TSheetFormat>& AllFormats() const { return Formats; }

 private:
  std::vector<TSheetFormat> Formats;  // [0] is the default look
  std::unordered_map<TSheetFormat, std::uint32_t, TSheetFormatHash> FormatIndex;
};

// Writes the workbook as an .xlsx file at a file-system path, replacing the file there only
// once complete (TFileSave). ESaveError with the path and the reason when it cannot; false
// only for an empty path.
bool SaveWorkbookAsXlsx(const TWorkbook& book, const std::string& path);

// Writes the workbook as a new .xlsx file "<stem>.xlsx" in a folder, or "<stem> (2).xlsx",
// "<stem> (3).xlsx", ... when that name is taken: written completely under a temporary name
// first, then given the first free name without ever replacing a file (TFileSave). The path
// written; ESaveError naming "<stem>.xlsx" and the reason when it cannot be written; empty
// for an empty folder or stem. Folder and stem are file-system texts (UTF-8).
std::string SaveWorkbookAsNewXlsx(const TWorkbook& book, const std::string& folder,
                                  const std::string& stem);

// The message that names an exported workbook's file when no application opens it; "%s" is
// the file's full path.
namespace SpreadsheetText {
inline constexpr const char* kNoApplication =
    "The workbook has been saved as\n%s\nbut no application for .xlsx files could open it.";
}

// Today in the local time zone.
std::chrono::year_month_day LocalToday();

class TSpreadsheetService : public TDdeServer {
 public:
  // Starts as the program does: with one empty workbook, "Book1".
  TSpreadsheetService();
  ~TSpreadsheetService() override;

  // Registers under "Excel"; false when the name is taken.
  bool Register();

  // The decimal separator of typed numbers and of number formats (the client's locale).
  char DecimalSeparator = '.';
  // Writes a workbook to a file-system path for SAVE.AS and APP.ACTIVATE (SaveWorkbookAsXlsx
  // unless replaced); false, or ESaveError saying why, when the file could not be written.
  std::function<bool(const TWorkbook& book, const std::string& path)> SaveFile = SaveWorkbookAsXlsx;
  // Writes a workbook as a new file for APP.ACTIVATE and FILE.CLOSE (SaveWorkbookAsNewXlsx
  // unless replaced); the path written, or empty or ESaveError.
  std::function<std::string(const TWorkbook& book, const std::string& folder,
                            const std::string& stem)>
      SaveNewFile = SaveWorkbookAsNewXlsx;
  // The folder that new files go to; empty: the shell's documents folder.
  std::string DocumentsFolder;
  // The folder that new files go to when the documents folder cannot take them; empty: the
  // shell's home folder.
  std::string HomeFolder;
  // Today's date in the local time zone, for the names of new files.
  std::function<std::chrono::year_month_day()> Today = LocalToday;

  bool AcceptTopic(const std::string& topic) override;
  TDdeExecuteResult Execute(const std::string& topic, const std::string& command) override;
  std::optional<std::string> Request(const std::string& topic, const std::string& item) override;

  // The open workbooks in the order of opening, and the active one (nullptr when none).
  const std::vector<std::unique_ptr<TWorkbook>>& Workbooks() const { return Books; }
  TWorkbook* ActiveWorkbook() const;
  bool IgnoreErrors() const { return FIgnoreErrors; }
  bool Maximized() const { return FMaximized; }
  // The file written by the last APP.ACTIVATE.
  const std::string& ShownFile() const { return FShownFile; }
  // The name of the new file for a workbook (UTF-8, without ".xlsx"): its title or its name,
  // made a plain file name, and today's date.
  std::string NewFileStem(const TWorkbook& book) const;

 private:
  struct TCommand;
  struct TScratch;
  bool Run(const TCommand& command);
  bool RunFormula(TWorkbook& book, const TCommand& command);
  bool RunFormat(TWorkbook& book, const TCommand& command);
  // Writes the workbook to the file of its last save, else as a new file in the documents
  // folder or the home folder; the path written, or empty, with the message of a failure that
  // says why given to the refusal.
  std::string SaveForUser(TWorkbook& book);
  void CloseActive();
  void Reset();

  std::vector<std::unique_ptr<TWorkbook>> Books;
  std::size_t Active = 0;
  std::uint32_t BookCounter = 0;
  bool FIgnoreErrors = false;
  bool FMaximized = false;
  std::string FShownFile;
  // The lists an execute text is read into, kept between texts.
  std::unique_ptr<TScratch> Scratch;
};

// The program's spreadsheet: created on first use and living until the process ends;
// registered as "Excel" whenever that name is free.
TSpreadsheetService& ProgramSpreadsheet();
