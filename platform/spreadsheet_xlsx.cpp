// The .xlsx files of the spreadsheet service: a workbook written with libxlsxwriter to a
// scratch file, then saved from there as a whole file (TFileSave).

#include "platform/spreadsheet.h"

#include <unistd.h>
#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/cp1251.h"
#include "platform/files.h"

namespace {

// The standard 56-colour palette, indexes 1 to 56.
constexpr std::uint32_t kPalette[56] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

// Cell texts in the file: UTF-8 (the writer itself escapes the control characters that XML
// cannot carry).
std::string FileText(const std::string& text) {
  return Cp1251ToUtf8(text);
}

lxw_format* MakeFormat(lxw_workbook* workbook, const TSheetFormat& look) {
  lxw_format* format = workbook_add_format(workbook);
  if (!look.FontName.empty()) format_set_font_name(format, FileText(look.FontName).c_str());
  if (look.FontSize > 0) format_set_font_size(format, look.FontSize);
  if (look.Bold) format_set_bold(format);
  if (look.Italic) format_set_italic(format);
  if (look.Underline) format_set_underline(format, LXW_UNDERLINE_SINGLE);
  if (look.Strike) format_set_font_strikeout(format);
  if (look.FontColor > 0) format_set_font_color(format, kPalette[look.FontColor - 1]);
  if (!look.NumberFormat.empty())
    format_set_num_format(format, FileText(look.NumberFormat).c_str());
  static constexpr std::uint8_t kHorizontal[] = {
      LXW_ALIGN_NONE, LXW_ALIGN_LEFT,    LXW_ALIGN_CENTER,        LXW_ALIGN_RIGHT,
      LXW_ALIGN_FILL, LXW_ALIGN_JUSTIFY, LXW_ALIGN_CENTER_ACROSS,
  };
  static constexpr std::uint8_t kVertical[] = {LXW_ALIGN_VERTICAL_TOP, LXW_ALIGN_VERTICAL_CENTER,
                                               LXW_ALIGN_VERTICAL_BOTTOM,
                                               LXW_ALIGN_VERTICAL_JUSTIFY};
  if (look.HAlign > 1) format_set_align(format, kHorizontal[look.HAlign - 1]);
  if (look.VAlign != 3) format_set_align(format, kVertical[look.VAlign - 1]);
  if (look.Wrap) format_set_text_wrap(format);
  static constexpr std::int16_t kRotation[] = {0, 270, 90, -90};
  if (look.Orientation > 0) format_set_rotation(format, kRotation[look.Orientation]);
  // The macro language's line styles 0-7 are the file's border styles of the same numbers.
  if (look.Borders[0]) format_set_left(format, look.Borders[0]);
  if (look.Borders[1]) format_set_right(format, look.Borders[1]);
  if (look.Borders[2]) format_set_top(format, look.Borders[2]);
  if (look.Borders[3]) format_set_bottom(format, look.Borders[3]);
  if (look.BorderColors[0]) format_set_left_color(format, kPalette[look.BorderColors[0] - 1]);
  if (look.BorderColors[1]) format_set_right_color(format, kPalette[look.BorderColors[1] - 1]);
  if (look.BorderColors[2]) format_set_top_color(format, kPalette[look.BorderColors[2] - 1]);
  if (look.BorderColors[3]) format_set_bottom_color(format, kPalette[look.BorderColors[3] - 1]);
  // The shading of the macro language is the file's light grey pattern.
  if (look.Shade) format_set_pattern(format, LXW_PATTERN_LIGHT_GRAY);
  return format;
}

// Writes the workbook as an .xlsx file at a path of the program's own; empty when it was
// written, else why not.
std::string WriteXlsx(const TWorkbook& book, const char* fileName) {
  lxw_workbook_options options = {LXW_FALSE, nullptr, LXW_FALSE};
  lxw_workbook* workbook = workbook_new_opt(fileName, &options);
  if (!workbook) return lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED);
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, Spreadsheet::kSheetName);
  // The first failure, which ends the writing.
  lxw_error failure = sheet ? LXW_NO_ERROR : LXW_ERROR_MEMORY_MALLOC_FAILED;
  const auto ok = [&failure] { return failure == LXW_NO_ERROR; };
  // Printed, the sheet fits one page wide (as many pages tall as it needs), so that an offer's
  // price and sum columns stay beside its names.
  if (ok()) worksheet_fit_to_pages(sheet, 1, 0);
  // The summary goes into the file's document properties.
  std::string summary[5];
  bool hasSummary = false;
  for (std::size_t i = 0; i < 5; ++i) {
    summary[i] = FileText(book.Summary[i]);
    hasSummary = hasSummary || !summary[i].empty();
  }
  lxw_doc_properties properties{};
  if (hasSummary) {
    auto text = [](std::string& value) -> char* { return value.empty() ? nullptr : value.data(); };
    properties.title = text(summary[0]);
    properties.subject = text(summary[1]);
    properties.author = text(summary[2]);
    properties.keywords = text(summary[3]);
    properties.comments = text(summary[4]);
    if (ok()) failure = workbook_set_properties(workbook, &properties);
  }
  std::vector<lxw_format*> formats(book.AllFormats().size(), nullptr);
  auto formatOf = [&](std::uint32_t index) -> lxw_format* {
    if (index == 0) return nullptr;
    if (!formats[index]) formats[index] = MakeFormat(workbook, book.AllFormats()[index]);
    return formats[index];
  };
  for (auto it = book.Cells.begin(); ok() && it != book.Cells.end(); ++it) {
    const auto row = static_cast<lxw_row_t>((it->first >> 32) - 1);
    const auto column = static_cast<lxw_col_t>((it->first & 0xFFFFFFFFu) - 1);
    const TSheetCell& cell = it->second;
    lxw_format* format = formatOf(cell.Format);
    lxw_error error = LXW_NO_ERROR;
    switch (cell.Kind) {
      case TSheetCellKind::Empty:
        if (format) error = worksheet_write_blank(sheet, row, column, format);
        break;
      case TSheetCellKind::Number:
        error = worksheet_write_number(sheet, row, column, cell.Number, format);
        break;
      case TSheetCellKind::Text:
        error = worksheet_write_string(sheet, row, column, FileText(cell.Text).c_str(), format);
        break;
      case TSheetCellKind::Boolean:
        error = worksheet_write_boolean(sheet, row, column, cell.Number != 0, format);
        break;
      case TSheetCellKind::Formula:
        // Without a stored result: every program that opens the file calculates the formula
        // (some show a stored result as it stands, whatever the file's calculation flag).
        error = worksheet_write_formula_str(sheet, row, column, FileText(cell.Text).c_str(), format,
                                            "");
        break;
    }
    failure = error;
  }
  for (const auto& [column, width] : book.ColumnWidths)
    if (ok()) failure = worksheet_set_column(sheet, column - 1, column - 1, width, nullptr);
  for (const auto& [row, height] : book.RowHeights)
    if (ok()) failure = worksheet_set_row(sheet, row - 1, height, nullptr);
  for (const TSheetPicture& picture : book.Pictures) {
    // A picture the file format cannot carry is left out rather than losing the sheet.
    if (ok())
      worksheet_insert_image_buffer(sheet, picture.Row - 1, picture.Column - 1,
                                    reinterpret_cast<const unsigned char*>(picture.Bytes.data()),
                                    picture.Bytes.size());
  }
  errno = 0;
  const lxw_error closed = workbook_close(workbook);
  if (closed == LXW_NO_ERROR) return ok() ? std::string() : lxw_strerror(failure);
  // The file errors of the library come with the system's reason.
  const bool fileError = closed == LXW_ERROR_CREATING_XLSX_FILE ||
                         closed == LXW_ERROR_CREATING_TMPFILE ||
                         closed == LXW_ERROR_ZIP_FILE_OPERATION;
  return fileError && errno != 0 ? FileErrorReason(errno) : lxw_strerror(closed);
}

// The workbook's bytes go through the save: libxlsxwriter writes only to a file name, so it
// writes a private scratch file (mkstemp, mode 0600, in the temporary folder), which is then
// copied into the save and removed.
void WriteWorkbook(const TWorkbook& book, TFileSave& save) {
  const char* tmp = std::getenv("TMPDIR");
  std::string scratch = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/quorvane-book-XXXXXX";
  const int fd = ::mkstemp(scratch.data());
  if (fd < 0) throw ESaveError(save.Path(), FileErrorReason(errno));
  struct ScratchOnExit {
    int Fd;
    const std::string& Name;
    ~ScratchOnExit() {
      ::close(Fd);
      ::unlink(Name.c_str());
    }
  } remove{fd, scratch};
  const std::string failure = WriteXlsx(book, scratch.c_str());
  if (!failure.empty()) throw ESaveError(save.Path(), failure);
  // Read through the descriptor mkstemp opened: the same file whatever the name meets.
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ESaveError(save.Path(), FileErrorReason(errno));
    if (n == 0) break;
    save.Write(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace

bool SaveWorkbookAsXlsx(const TWorkbook& book, const std::string& path) {
  if (path.empty()) return false;
  TFileSave save(path, TFileSave::fsReplace);
  WriteWorkbook(book, save);
  save.Replace();
  return true;
}

std::string SaveWorkbookAsNewXlsx(const TWorkbook& book, const std::string& folder,
                                  const std::string& stem) {
  if (folder.empty() || stem.empty() || stem.find('/') != std::string::npos) return {};
  const auto nameOf = [&](int n) {
    return folder + "/" + stem + (n == 1 ? std::string() : " (" + std::to_string(n) + ")") +
           ".xlsx";
  };
  TFileSave save(nameOf(1), TFileSave::fsNew);
  WriteWorkbook(book, save);
  // The complete file takes the first free name.
  constexpr int kMaxTries = 10000;
  for (int n = 1; n <= kMaxTries; ++n)
    if (save.TakeName(nameOf(n))) return nameOf(n);
  throw ESaveError(nameOf(1), FileErrorReason(EEXIST));
}
