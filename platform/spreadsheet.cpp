#include "platform/spreadsheet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <span>
#include <string_view>

#include "platform/cp1251.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/numberformat.h"
#include "platform/picturesize.h"
#include "platform/sheetformula.h"
#include "platform/shell.h"

namespace {

using Spreadsheet::kMaxColumn;
using Spreadsheet::kMaxRow;

// Bounds of the sheet's contents, as the spreadsheet program keeps them.
constexpr std::size_t kMaxCellText = 32767;
constexpr std::size_t kMaxFormula = 8192;
constexpr std::size_t kMaxFontName = 31;
constexpr std::size_t kMaxNumberFormat = 255;
constexpr std::size_t kMaxArguments = 32;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// A decimal number: an optional sign, digits with at most one separator (at least one digit),
// an optional exponent. Read with "." in place of the separator; false for anything else and
// for values beyond the double range.
bool ReadNumber(std::string_view text, char separator, double& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t first = i;  // the number without a leading "+"
  std::size_t digits = 0;
  std::size_t point = std::string_view::npos;
  std::uint64_t whole = 0;  // the digits as an integer, exact while there are at most 15
  for (; i < text.size(); ++i) {
    if (IsDigit(text[i])) {
      ++digits;
      whole = whole * 10 + static_cast<std::uint64_t>(text[i] - '0');
    } else if (text[i] == separator && point == std::string_view::npos) {
      point = i;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  // The common whole number, such as every argument of BORDER, needs no conversion: up to 15
  // digits it is exactly the double that the conversion would give.
  if (i == text.size() && point == std::string_view::npos && digits <= 15) {
    value = static_cast<double>(whole);
    if (negative) value = -value;
    return true;
  }
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  if (i != text.size()) return false;
  // The conversion reads the text where it stands unless a separator other than "." has to be
  // replaced in a copy first.
  std::string copy;
  std::string_view plain = text.substr(first);
  if (point != std::string_view::npos && separator != '.') {
    copy.assign(plain);
    copy[point - first] = '.';
    plain = copy;
  }
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (error != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value))
    return false;
  if (negative) value = -value;
  return true;
}

// The commands the service knows; any other name is read as Unknown and refused when run, so
// that the commands before it in the same text still take effect.
enum class TMacroName : std::uint8_t {
  Unknown,
  New,
  Quit,
  Error,
  AppMaximize,
  AppActivate,
  Open,
  Select,
  Formula,
  ColumnWidth,
  RowHeight,
  InsertPicture,
  SaveAs,
  FileClose,
  FormatFont,
  FormatNumber,
  Alignment,
  Border,
  SummaryInfo,
};

struct TMacroNameEntry {
  std::string_view Name;
  TMacroName Kind;
};

// The known names in upper case; read names are matched against them without regard to case.
constexpr TMacroNameEntry kMacroNames[] = {
    {"SELECT", TMacroName::Select},
    {"FORMULA", TMacroName::Formula},
    {"FORMAT.FONT", TMacroName::FormatFont},
    {"ALIGNMENT", TMacroName::Alignment},
    {"BORDER", TMacroName::Border},
    {"ROW.HEIGHT", TMacroName::RowHeight},
    {"FORMAT.NUMBER", TMacroName::FormatNumber},
    {"COLUMN.WIDTH", TMacroName::ColumnWidth},
    {"INSERT.PICTURE", TMacroName::InsertPicture},
    {"NEW", TMacroName::New},
    {"QUIT", TMacroName::Quit},
    {"ERROR", TMacroName::Error},
    {"APP.MAXIMIZE", TMacroName::AppMaximize},
    {"APP.ACTIVATE", TMacroName::AppActivate},
    {"OPEN", TMacroName::Open},
    {"SAVE.AS", TMacroName::SaveAs},
    {"FILE.CLOSE", TMacroName::FileClose},
    {"SUMMARY.INFO", TMacroName::SummaryInfo},
};

// An upper-case Latin word equal to the text without regard to case.
bool IsWordAscii(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (UpperAscii(text[i]) != upper[i]) return false;
  return true;
}

TMacroName MacroName(std::string_view name) {
  // The client writes the names in upper case: matched as they stand before any other case.
  for (const TMacroNameEntry& entry : kMacroNames)
    if (name == entry.Name) return entry.Kind;
  for (const TMacroNameEntry& entry : kMacroNames)
    if (IsWordAscii(name, entry.Name)) return entry.Kind;
  return TMacroName::Unknown;
}

// An argument. Text views either the command text itself or, for a text with doubled quotes,
// the reader's unescaped copy; both outlive the commands' run.
struct TMacroArg {
  enum class TKind : std::uint8_t { Missing, Text, Number, Boolean } Kind = TKind::Missing;
  std::string_view Text;
  double Number = 0;
};

// One read command: its arguments are Count entries of the text's argument list from First.
struct TMacroCommand {
  TMacroName Name = TMacroName::Unknown;
  std::uint32_t First = 0;
  std::uint32_t Count = 0;
};

// Reads macro commands: "[" name ["(" arguments ")"] "]", one after another. Reading copies
// nothing but texts with doubled quotes, so an execute text costs no allocation once the
// lists it fills have grown to their size.
class TMacroReader {
 public:
  // Unescaped receives the texts with doubled quotes; it is reserved to the length of the
  // text before the first one is written, so the views into it stay valid.
  TMacroReader(std::string_view text, std::string& unescaped) : Text(text), Unescaped(unescaped) {}

  bool ReadAll(std::vector<TMacroCommand>& commands, std::vector<TMacroArg>& args) {
    SkipBlanks();
    if (AtEnd()) return false;
    while (!AtEnd()) {
      TMacroCommand command;
      command.First = static_cast<std::uint32_t>(args.size());
      if (!ReadCommand(command, args)) return false;
      command.Count = static_cast<std::uint32_t>(args.size()) - command.First;
      commands.push_back(command);
      SkipBlanks();
    }
    return true;
  }

 private:
  bool AtEnd() const { return Pos >= Text.size(); }
  // The characters that end an unquoted argument.
  static bool EndsWord(char c) { return c == ',' || c == ')' || c == ' ' || c == '\t' || c == ']'; }
  char Peek() const { return AtEnd() ? '\0' : Text[Pos]; }
  void SkipBlanks() {
    while (!AtEnd() && (Text[Pos] == ' ' || Text[Pos] == '\t')) ++Pos;
  }

  bool ReadCommand(TMacroCommand& command, std::vector<TMacroArg>& args) {
    if (Peek() != '[') return false;
    ++Pos;
    if (!IsLetter(Peek())) return false;
    const std::size_t start = Pos;
    while (IsLetter(Peek()) || IsDigit(Peek()) || Peek() == '.' || Peek() == '_') ++Pos;
    command.Name = MacroName(Text.substr(start, Pos - start));
    if (Peek() == '(') {
      ++Pos;
      if (!ReadArguments(command.First, args)) return false;
    }
    if (Peek() != ']') return false;
    ++Pos;
    return true;
  }

  bool ReadArguments(std::size_t first, std::vector<TMacroArg>& args) {
    SkipBlanks();
    if (Peek() == ')') {
      ++Pos;
      return true;
    }
    for (;;) {
      if (args.size() - first == kMaxArguments) return false;
      TMacroArg arg;
      SkipBlanks();
      if (!ReadArgument(arg)) return false;
      args.push_back(arg);
      SkipBlanks();
      if (Peek() == ')') {
        ++Pos;
        return true;
      }
      if (Peek() != ',') return false;
      ++Pos;
    }
  }

  bool ReadArgument(TMacroArg& arg) {
    const char c = Peek();
    if (c == ',' || c == ')') return true;  // left out
    if (c == '"') {
      ++Pos;
      // The common text has no doubled quote: it is viewed where it stands.
      const std::size_t start = Pos;
      const std::size_t close = Text.find('"', start);
      if (close == std::string_view::npos) return false;
      if (close + 1 >= Text.size() || Text[close + 1] != '"') {
        arg.Text = Text.substr(start, close - start);
        Pos = close + 1;
      } else if (!ReadEscapedText(arg)) {
        return false;
      }
      arg.Kind = TMacroArg::TKind::Text;
      return true;
    }
    // The usual unquoted argument is a few digits (the client's sizes, flags and line
    // styles): read at once, as the general reading below would read it.
    std::uint32_t whole = 0;
    std::size_t end = Pos;
    for (; end < Text.size() && end - Pos < 9 && IsDigit(Text[end]); ++end)
      whole = whole * 10 + static_cast<std::uint32_t>(Text[end] - '0');
    if (end > Pos && (end == Text.size() || EndsWord(Text[end]))) {
      arg.Kind = TMacroArg::TKind::Number;
      arg.Number = whole;
      Pos = end;
      return true;
    }
    const std::size_t start = Pos;
    while (!AtEnd() && !EndsWord(Text[Pos])) ++Pos;
    const std::string_view word = Text.substr(start, Pos - start);
    if (word == "TRUE" || word == "FALSE" || IsWordAscii(word, "TRUE") ||
        IsWordAscii(word, "FALSE")) {
      arg.Kind = TMacroArg::TKind::Boolean;
      arg.Number = word.size() == 4 ? 1 : 0;
      return true;
    }
    if (!ReadNumber(word, '.', arg.Number)) return false;
    arg.Kind = TMacroArg::TKind::Number;
    return true;
  }

  // A quoted text with doubled quotes (Pos just after the opening quote), copied without
  // them to the end of Unescaped.
  bool ReadEscapedText(TMacroArg& arg) {
    if (Unescaped.capacity() < Text.size()) Unescaped.reserve(Text.size());
    const std::size_t start = Unescaped.size();
    for (;;) {
      if (AtEnd()) return false;
      if (Text[Pos] == '"') {
        if (Pos + 1 < Text.size() && Text[Pos + 1] == '"') {
          Unescaped += '"';
          Pos += 2;
          continue;
        }
        ++Pos;
        break;
      }
      Unescaped += Text[Pos++];
    }
    arg.Text = std::string_view(Unescaped).substr(start);
    return true;
  }

  std::string_view Text;
  std::string& Unescaped;
  std::size_t Pos = 0;
};

// Arguments read by kind and range; each getter leaves the value unchanged for a left-out
// argument and answers false for one of the wrong kind or outside its range.
class TArgs {
 public:
  explicit TArgs(std::span<const TMacroArg> args) : Args(args) {}

  std::size_t Count() const { return Args.size(); }
  bool Given(std::size_t i) const {
    return i < Args.size() && Args[i].Kind != TMacroArg::TKind::Missing;
  }
  bool AtMost(std::size_t n) const { return Args.size() <= n; }

  // The view is valid while the command runs.
  bool Text(std::size_t i, std::string_view& value) const {
    if (!Given(i)) return true;
    if (Args[i].Kind != TMacroArg::TKind::Text) return false;
    value = Args[i].Text;
    return true;
  }
  bool Number(std::size_t i, double low, double high, double& value) const {
    if (!Given(i)) return true;
    if (Args[i].Kind != TMacroArg::TKind::Number) return false;
    if (!(Args[i].Number >= low && Args[i].Number <= high)) return false;
    value = Args[i].Number;
    return true;
  }
  template <class Int>
  bool Integer(std::size_t i, int low, int high, Int& value) const {
    double number = value;
    if (!Number(i, low, high, number)) return false;
    // In range, so the whole part fits: a cast finds a fraction without a library call.
    if (number != static_cast<double>(static_cast<std::int64_t>(number))) return false;
    value = static_cast<Int>(number);
    return true;
  }
  // TRUE/FALSE or a number (non-zero is true).
  bool Flag(std::size_t i, bool& value) const {
    if (!Given(i)) return true;
    if (Args[i].Kind != TMacroArg::TKind::Boolean && Args[i].Kind != TMacroArg::TKind::Number)
      return false;
    value = Args[i].Number != 0;
    return true;
  }

 private:
  std::span<const TMacroArg> Args;
};

// One part of an R1C1 reference: "" (this row), a number, or a bracketed offset.
bool ReadReferencePart(std::string_view& text, std::uint32_t current, std::uint32_t max,
                       std::uint32_t& result) {
  std::int64_t value = current;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    std::string_view offset = text.substr(1, close - 1);
    if (!offset.empty() && offset.front() == '+') offset.remove_prefix(1);
    std::int64_t delta = 0;
    const auto [end, error] = std::from_chars(offset.data(), offset.data() + offset.size(), delta);
    if (offset.empty() || error != std::errc() || end != offset.data() + offset.size())
      return false;
    if (delta < -static_cast<std::int64_t>(max) || delta > static_cast<std::int64_t>(max))
      return false;
    value = current + delta;
    text.remove_prefix(close + 1);
  } else if (!text.empty() && IsDigit(text.front())) {
    std::size_t n = 0;
    while (n < text.size() && IsDigit(text[n])) ++n;
    if (n > 8) return false;
    std::from_chars(text.data(), text.data() + n, value);
    text.remove_prefix(n);
  }
  if (value < 1 || value > static_cast<std::int64_t>(max)) return false;
  result = static_cast<std::uint32_t>(value);
  return true;
}

// "R<row>C<column>" with absolute or bracketed relative parts, against the active cell.
bool ReadReference(std::string_view text, std::uint32_t row, std::uint32_t column,
                   std::uint32_t& toRow, std::uint32_t& toColumn) {
  if (text.empty() || UpperAscii(text.front()) != 'R') return false;
  text.remove_prefix(1);
  if (!ReadReferencePart(text, row, kMaxRow, toRow)) return false;
  if (text.empty() || UpperAscii(text.front()) != 'C') return false;
  text.remove_prefix(1);
  if (!ReadReferencePart(text, column, kMaxColumn, toColumn)) return false;
  return text.empty();
}

// The bytes of a regular file; a device, a pipe or a file beyond the bound is refused (so a
// named pipe cannot block the spreadsheet).
bool ReadWholeFile(const std::string& path, std::string& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
            static_cast<std::uintmax_t>(st.st_size) <= kMaxPictureFileBytes;
  if (ok) bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return ok;
}

// The name part of a Windows-1251 file name ("C:\Offers\a.xls" gives "a.xls").
std::string BaseName(const std::string& fileName) {
  const std::size_t slash = fileName.find_last_of("\\/");
  return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

std::string WithoutExtension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

std::size_t TSheetFormatHash::operator()(const TSheetFormat& format) const {
  // The small members packed into one word, mixed with the two texts.
  std::uint64_t small = format.FontSize;
  small = small << 1 | format.Bold;
  small = small << 1 | format.Italic;
  small = small << 1 | format.Underline;
  small = small << 1 | format.Strike;
  small = small << 8 | format.FontColor;
  small = small << 4 | format.HAlign;
  small = small << 4 | format.VAlign;
  small = small << 1 | format.Wrap;
  small = small << 4 | format.Orientation;
  for (std::uint8_t border : format.Borders) small = small << 4 | (border & 0x0F);
  small = small << 1 | format.Shade;
  for (std::uint8_t colour : format.BorderColors) small = small * 57 + colour;
  // FNV-1a over the texts, which are a few characters (a font name, a number format): cheaper
  // inline than a general string hash, and every look passes here when it is interned.
  std::uint64_t hash = 0xCBF29CE484222325ull ^ small;
  const auto mix = [&hash](std::string_view text) {
    for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    hash = (hash ^ 0xFF) * 0x100000001B3ull;  // a mark between the two texts
  };
  mix(format.FontName);
  mix(format.NumberFormat);
  return static_cast<std::size_t>(hash);
}

TWorkbook::TWorkbook(std::string name) : Name(std::move(name)), Formats(1) {
  FormatIndex.emplace(Formats[0], 0);
}

const TSheetCell* TWorkbook::Cell(std::uint32_t row, std::uint32_t column) const {
  auto it = Cells.find(Key(row, column));
  return it == Cells.end() ? nullptr : &it->second;
}

TSheetCell& TWorkbook::CellAt(std::uint32_t row, std::uint32_t column) {
  return Cells[Key(row, column)];
}

std::uint32_t TWorkbook::Intern(const TSheetFormat& format) {
  // Looked up before anything is copied: a known look, the usual case, costs no allocation.
  if (const auto it = FormatIndex.find(format); it != FormatIndex.end()) return it->second;
  const auto index = static_cast<std::uint32_t>(Formats.size());
  FormatIndex.emplace(format, index);
  Formats.push_back(format);
  return index;
}

std::chrono::year_month_day LocalToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return std::chrono::year_month_day(std::chrono::year(local.tm_year + 1900),
                                     std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)),
                                     std::chrono::day(static_cast<unsigned>(local.tm_mday)));
}

struct TSpreadsheetService::TCommand {
  TMacroName Name;
  std::span<const TMacroArg> Args;
};

struct TSpreadsheetService::TScratch {
  std::vector<TMacroCommand> Commands;
  std::vector<TMacroArg> Args;
  std::string Unescaped;
};

TSpreadsheetService::TSpreadsheetService() {
  Reset();
}

TSpreadsheetService::~TSpreadsheetService() {
  UnregisterDdeService(this);
}

bool TSpreadsheetService::Register() {
  return RegisterDdeService(Spreadsheet::kServiceName, this);
}

void TSpreadsheetService::Reset() {
  Books.clear();
  BookCounter = 1;
  Books.push_back(std::make_unique<TWorkbook>("Book1"));
  Active = 0;
  FIgnoreErrors = false;
  FMaximized = false;
}

TWorkbook* TSpreadsheetService::ActiveWorkbook() const {
  return Books.empty() ? nullptr : Books[Active].get();
}

namespace {

std::string SheetTopic(const TWorkbook& book) {
  return "[" + book.Name + "]" + Spreadsheet::kSheetName;
}

}  // namespace

bool TSpreadsheetService::AcceptTopic(const std::string& topic) {
  // The client sends every command on "System" spelt so: that case is told at once.
  if (topic == Spreadsheet::kSystemTopic || SameTextAscii(topic, Spreadsheet::kSystemTopic))
    return true;
  for (const auto& book : Books)
    if (SameTextAscii(topic, SheetTopic(*book))) return true;
  return false;
}

std::optional<std::string> TSpreadsheetService::Request(const std::string& topic,
                                                        const std::string& item) {
  if (!SameTextAscii(topic, Spreadsheet::kSystemTopic)) return std::nullopt;
  if (SameTextAscii(item, "Status")) return std::string("Ready");
  if (SameTextAscii(item, "Selection")) {
    const TWorkbook* book = ActiveWorkbook();
    if (!book) return std::nullopt;
    // A sheet reference with blanks or punctuation is quoted, an inner apostrophe doubled.
    std::string sheet = SheetTopic(*book);
    bool plain = true;
    for (char c : book->Name)
      if (!(IsLetter(c) || IsDigit(c) || c == '.' || c == '_' ||
            static_cast<unsigned char>(c) >= 0x80))
        plain = false;
    if (!plain) {
      std::string quoted = "'";
      for (char c : sheet) quoted += c == '\'' ? std::string("''") : std::string(1, c);
      sheet = quoted + "'";
    }
    return sheet + "!R" + std::to_string(book->ActiveRow) + "C" +
           std::to_string(book->ActiveColumn);
  }
  return std::nullopt;
}

TDdeExecuteResult TSpreadsheetService::Execute(const std::string& topic,
                                               const std::string& command) {
  if (!AcceptTopic(topic)) return TDdeExecuteResult::Rejected;
  // The lists of the last text are reused, so that a text costs no allocation once they have
  // grown. A text executed while another runs (from a save or a close notification) finds
  // them taken and reads into lists of its own.
  std::unique_ptr<TScratch> scratch = std::move(Scratch);
  if (!scratch) scratch = std::make_unique<TScratch>();
  scratch->Commands.clear();
  scratch->Args.clear();
  scratch->Unescaped.clear();
  if (!TMacroReader(command, scratch->Unescaped).ReadAll(scratch->Commands, scratch->Args))
    return TDdeExecuteResult::Rejected;
  bool accepted = true;
  for (const TMacroCommand& each : scratch->Commands) {
    const TCommand run{each.Name, std::span(scratch->Args).subspan(each.First, each.Count)};
    if (!Run(run)) {
      accepted = false;
      break;
    }
  }
  Scratch = std::move(scratch);
  return accepted ? TDdeExecuteResult::Accepted : TDdeExecuteResult::Rejected;
}

bool TSpreadsheetService::Run(const TCommand& command) {
  const TArgs args(command.Args);
  TWorkbook* book = ActiveWorkbook();

  // Application commands.
  switch (command.Name) {
    case TMacroName::New: {
      int type = 1;
      if (!args.AtMost(1) || !args.Integer(0, 1, 1, type)) return false;
      Books.push_back(std::make_unique<TWorkbook>("Book" + std::to_string(++BookCounter)));
      Active = Books.size() - 1;
      return true;
    }
    case TMacroName::Quit:
      if (args.Count() != 0) return false;
      Reset();
      DisconnectClients();
      return true;
    case TMacroName::Error: {
      bool enabled = true;
      if (!args.AtMost(2) || !args.Given(0) || !args.Flag(0, enabled)) return false;
      FIgnoreErrors = !enabled;
      return true;
    }
    case TMacroName::AppMaximize:
      if (args.Count() != 0) return false;
      FMaximized = true;
      return true;
    case TMacroName::AppActivate: {
      if (!args.AtMost(2)) return false;
      if (!book) return true;
      // The user goes on in the desktop's application: the workbook is written where the
      // user keeps documents, closed here, and opened there. Nothing here shows a workbook,
      // so one that cannot be written is closed as well, and the refusal says why.
      const std::string path = SaveForUser(*book);
      CloseActive();
      if (path.empty()) return false;
      FShownFile = path;
      if (!Shell().OpenDocument(path)) {
        std::string message = SpreadsheetText::kNoApplication;
        message.replace(message.find("%s"), 2, Utf8ToCp1251(path));
        ShowMessage(message);
      }
      return true;
    }
    case TMacroName::Open: {
      std::string_view fileName;
      int links = 0;
      if (!args.AtMost(2) || !args.Given(0) || !args.Text(0, fileName) ||
          !args.Integer(1, 0, 3, links))
        return false;
      const std::string path = Cp1251ToUtf8(fileName);
      for (std::size_t i = 0; i < Books.size(); ++i) {
        if (!Books[i]->Path.empty() && Books[i]->Path == path) {
          Active = i;
          return true;
        }
      }
      return false;
    }
    case TMacroName::Unknown:
      return false;
    default:
      break;
  }

  // Everything else works on the active workbook.
  if (!book) return false;
  switch (command.Name) {
    case TMacroName::Select: {
      std::string_view reference;
      if (args.Count() != 1 || !args.Given(0) || !args.Text(0, reference)) return false;
      return ReadReference(reference, book->ActiveRow, book->ActiveColumn, book->ActiveRow,
                           book->ActiveColumn);
    }
    case TMacroName::Formula:
      return RunFormula(*book, command);
    case TMacroName::ColumnWidth: {
      double width = 0;
      if (args.Count() != 1 || !args.Given(0) || !args.Number(0, 0, 255, width)) return false;
      book->ColumnWidths[book->ActiveColumn] = width;
      return true;
    }
    case TMacroName::RowHeight: {
      double height = 0;
      if (args.Count() != 1 || !args.Given(0) || !args.Number(0, 0, 409, height)) return false;
      book->RowHeights[book->ActiveRow] = height;
      return true;
    }
    case TMacroName::InsertPicture: {
      std::string_view fileName;
      if (!args.AtMost(2) || !args.Given(0) || !args.Text(0, fileName)) return false;
      TSheetPicture picture{book->ActiveRow, book->ActiveColumn, {}};
      if (!ReadWholeFile(Cp1251ToUtf8(fileName), picture.Bytes)) return false;
      // A picture goes onto the sheet at its own size: one that does not decode has none.
      const std::optional<TPictureSize> size = DecodePictureSize(picture.Bytes);
      if (!size) return false;
      picture.Width = size->Width;
      picture.Height = size->Height;
      book->Pictures.push_back(std::move(picture));
      return true;
    }
    case TMacroName::SaveAs: {
      std::string_view fileName;
      if (!args.AtMost(6) || !args.Given(0) || !args.Text(0, fileName) || fileName.empty())
        return false;
      const std::string path = Cp1251ToUtf8(fileName);
      try {
        if (!SaveFile(*book, path)) return false;
      } catch (const ESaveError& e) {
        SetRejectionMessage(e.what());
        return false;
      }
      book->Path = path;
      book->Name = BaseName(std::string(fileName));
      return true;
    }
    case TMacroName::FileClose: {
      bool save = false;
      if (!args.AtMost(1) || !args.Flag(0, save)) return false;
      // A workbook to be saved stays open when it cannot be written: nothing is lost.
      if (save && SaveForUser(*book).empty()) return false;
      CloseActive();
      return true;
    }
    case TMacroName::SummaryInfo: {
      constexpr std::size_t kMaxSummaryText = 255;
      std::string_view values[5];
      if (!args.AtMost(5)) return false;
      for (std::size_t i = 0; i < 5; ++i)
        if (!args.Text(i, values[i]) || values[i].size() > kMaxSummaryText) return false;
      for (std::size_t i = 0; i < 5; ++i)
        if (args.Given(i)) book->Summary[i].assign(values[i]);
      return true;
    }
    default:
      return RunFormat(*book, command);
  }
}

void TSpreadsheetService::CloseActive() {
  Books.erase(Books.begin() + static_cast<std::ptrdiff_t>(Active));
  Active = Books.empty() ? 0 : Books.size() - 1;
}

std::string TSpreadsheetService::NewFileStem(const TWorkbook& book) const {
  // What no file name on the user's disks may hold becomes "_"; blanks and dots at the ends
  // go (a leading dot would hide the file).
  auto plain = [](std::string name) {
    for (char& c : name)
      if (static_cast<unsigned char>(c) < 0x20 ||
          std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
        c = '_';
    const std::size_t first = name.find_first_not_of(" .");
    if (first == std::string::npos) return std::string();
    return name.substr(first, name.find_last_not_of(" .") - first + 1);
  };
  std::string name = plain(book.Summary[0]);
  if (name.empty()) name = plain(WithoutExtension(book.Name));
  if (name.empty()) name = "Book";
  std::string stem = Cp1251ToUtf8(name);
  // Short enough that the date, a number and the extension still fit a file name.
  constexpr std::size_t kMaxStem = 200;
  if (stem.size() > kMaxStem) {
    std::size_t cut = kMaxStem;
    while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
    stem.resize(cut);
  }
  const std::chrono::year_month_day today = Today();
  char date[40];
  std::snprintf(date, sizeof date, " %04d-%02u-%02u", static_cast<int>(today.year()) % 10000,
                static_cast<unsigned>(today.month()), static_cast<unsigned>(today.day()));
  return stem + date;
}

std::string TSpreadsheetService::SaveForUser(TWorkbook& book) {
  try {
    if (!book.Path.empty()) return SaveFile(book, book.Path) ? book.Path : std::string();
    // A documents folder that cannot take the file leaves it to the home folder; when neither
    // can, what the documents folder met is said, that being where the file belongs.
    std::vector<std::string> folders;
    const std::string documents =
        DocumentsFolder.empty() ? Shell().DocumentsFolder() : DocumentsFolder;
    if (!documents.empty()) folders.push_back(documents);
    const std::string home = HomeFolder.empty() ? Shell().HomeFolder() : HomeFolder;
    if (!home.empty() && home != documents) folders.push_back(home);
    const std::string stem = NewFileStem(book);
    std::optional<ESaveError> failure;
    for (const std::string& folder : folders) {
      try {
        std::string path = SaveNewFile(book, folder, stem);
        if (!path.empty()) return path;
      } catch (const ESaveError& e) {
        if (!failure) failure = e;
      }
    }
    if (failure) throw *failure;
  } catch (const ESaveError& e) {
    SetRejectionMessage(e.what());
  }
  return {};
}

bool TSpreadsheetService::RunFormula(TWorkbook& book, const TCommand& command) {
  const TArgs args(command.Args);
  if (args.Count() < 1 || args.Count() > 2 || !args.Given(0)) return false;
  std::uint32_t row = book.ActiveRow, column = book.ActiveColumn;
  if (args.Given(1)) {
    std::string_view reference;
    if (!args.Text(1, reference) ||
        !ReadReference(reference, book.ActiveRow, book.ActiveColumn, row, column))
      return false;
  }
  // The value is judged first; the text of a text or formula is copied once, into the cell.
  const TMacroArg& arg = command.Args[0];
  TSheetCellKind kind = TSheetCellKind::Text;
  double number = 0;
  std::string_view text;
  std::optional<std::string> a1;
  if (arg.Kind == TMacroArg::TKind::Number) {
    kind = TSheetCellKind::Number;
    number = arg.Number;
  } else if (arg.Kind == TMacroArg::TKind::Boolean) {
    kind = TSheetCellKind::Boolean;
    number = arg.Number;
  } else if (arg.Text.empty()) {
    kind = TSheetCellKind::Empty;
  } else if (arg.Text.front() == '=') {
    // Typed in R1C1 notation, kept in the file's A1 notation; a formula that cannot be read
    // (also a text that only happens to begin with "=") is refused.
    if (arg.Text.size() > kMaxFormula) return false;
    a1 = R1C1FormulaToA1(arg.Text.substr(1), row, column, book.Name);
    if (!a1 || a1->size() > kMaxFormula) return false;
    kind = TSheetCellKind::Formula;
    text = *a1;
  } else if (arg.Text.front() == '\'') {
    // A leading apostrophe makes the rest a text as it is, whatever it looks like.
    if (arg.Text.size() - 1 > kMaxCellText) return false;
    text = std::string_view(arg.Text).substr(1);
    if (text.empty()) kind = TSheetCellKind::Empty;
  } else if (ReadNumber(arg.Text, DecimalSeparator, number)) {
    kind = TSheetCellKind::Number;
  } else {
    if (arg.Text.size() > kMaxCellText) return false;
    text = arg.Text;
  }
  const std::uint64_t key = TWorkbook::Key(row, column);
  auto it = book.Cells.lower_bound(key);
  const bool found = it != book.Cells.end() && it->first == key;
  if (kind == TSheetCellKind::Empty) {
    // A cleared cell that keeps no look of its own is no cell at all.
    if (found) {
      if (it->second.Format == 0)
        book.Cells.erase(it);
      else
        it->second = TSheetCell{TSheetCellKind::Empty, 0, {}, it->second.Format};
    }
    return true;
  }
  if (!found) it = book.Cells.emplace_hint(it, key, TSheetCell{});
  TSheetCell& cell = it->second;
  cell.Kind = kind;
  cell.Number = number;
  cell.Text.assign(text);
  return true;
}

bool TSpreadsheetService::RunFormat(TWorkbook& book, const TCommand& command) {
  const TArgs args(command.Args);
  // Formatting of the active cell: the cell's look is changed in a copy and interned.
  const std::uint64_t key = TWorkbook::Key(book.ActiveRow, book.ActiveColumn);
  auto it = book.Cells.lower_bound(key);
  const bool found = it != book.Cells.end() && it->first == key;
  const std::uint32_t current = found ? it->second.Format : 0;
  TSheetFormat look = book.AllFormats()[current];
  switch (command.Name) {
    case TMacroName::FormatFont: {
      std::string_view fontName;
      bool outline = false, shadow = false;
      if (!args.AtMost(9) || !args.Text(0, fontName) || fontName.size() > kMaxFontName ||
          !args.Integer(1, 0, 409, look.FontSize) || !args.Flag(2, look.Bold) ||
          !args.Flag(3, look.Italic) || !args.Flag(4, look.Underline) ||
          !args.Flag(5, look.Strike) || !args.Integer(6, 0, 56, look.FontColor) ||
          !args.Flag(7, outline) || !args.Flag(8, shadow))
        return false;
      if (args.Given(0)) look.FontName.assign(fontName);
      break;
    }
    case TMacroName::FormatNumber: {
      std::string_view format;
      if (args.Count() != 1 || !args.Given(0) || !args.Text(0, format) ||
          format.size() > kMaxNumberFormat)
        return false;
      // In the locale's convention: the locale separator and "." trade places.
      look.NumberFormat = SwapDecimalSeparator(std::string(format), DecimalSeparator);
      if (SameTextAscii(look.NumberFormat, "General")) look.NumberFormat.clear();
      break;
    }
    case TMacroName::Alignment:
      if (!args.AtMost(4) || !args.Integer(0, 1, 7, look.HAlign) || !args.Flag(1, look.Wrap) ||
          !args.Integer(2, 1, 4, look.VAlign) || !args.Integer(3, 0, 3, look.Orientation))
        return false;
      break;
    case TMacroName::Border: {
      std::uint8_t outline = 0;
      std::uint8_t sides[4] = {0, 0, 0, 0};
      std::uint8_t outlineColour = 0;
      std::uint8_t colours[4] = {0, 0, 0, 0};
      if (!args.AtMost(11) || !args.Integer(0, 0, 7, outline)) return false;
      for (std::size_t i = 0; i < 4; ++i)
        if (!args.Integer(i + 1, 0, 7, sides[i])) return false;
      if (!args.Flag(5, look.Shade) || !args.Integer(6, 0, 56, outlineColour)) return false;
      for (std::size_t i = 0; i < 4; ++i)
        if (!args.Integer(i + 7, 0, 56, colours[i])) return false;
      // The outline draws every side of the one cell in its colour; a side of its own draws
      // over it in the side's colour.
      for (std::size_t i = 0; i < 4; ++i) {
        if (args.Given(0) && outline != 0) {
          look.Borders[i] = outline;
          if (args.Given(6)) look.BorderColors[i] = outlineColour;
        }
        if (args.Given(i + 1) && (sides[i] != 0 || outline == 0)) {
          look.Borders[i] = sides[i];
          if (args.Given(i + 7)) look.BorderColors[i] = colours[i];
        }
        // A side without a line has no colour of its own.
        if (look.Borders[i] == 0) look.BorderColors[i] = 0;
      }
      break;
    }
    default:
      return false;
  }
  // A look left as it was keeps its index without a look-up (every look is interned once).
  const std::uint32_t format = look == book.AllFormats()[current] ? current : book.Intern(look);
  if (!found) {
    // A cell without value or look is never kept.
    if (format != 0) book.Cells.emplace_hint(it, key, TSheetCell{})->second.Format = format;
    return true;
  }
  it->second.Format = format;
  if (format == 0 && it->second.Kind == TSheetCellKind::Empty) book.Cells.erase(it);
  return true;
}

TSpreadsheetService& ProgramSpreadsheet() {
  // Never destroyed: conversations may still reach it while the process ends.
  static auto* service = new TSpreadsheetService();
  // Registered again once the name is free (a test's own server may have held it).
  if (!FindDdeService(Spreadsheet::kServiceName)) service->Register();
  return *service;
}
