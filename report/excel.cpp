#include "report/excel.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <utility>

#include "engine/locale.h"
#include "expr/typecvt.h"
#include "platform/cp1251.h"
#include "platform/cp1251_qt.h"
#include "platform/programs.h"
#include "platform/sleep.h"
#include "platform/spreadsheet.h"

namespace {

constexpr const char* kService = "Excel";
constexpr const char* kSystemTopic = "System";
constexpr std::int32_t kMaxAddress = 65535;
// The rest between two readiness polls: short enough for the window to stay responsive.
constexpr std::uint32_t kReadyPollMilliseconds = 10;

// The message with each "%s" or "%d" replaced by the next argument.
std::string Substitute(const std::string& message, std::initializer_list<std::string> args) {
  std::string result;
  auto arg = args.begin();
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '%' && i + 1 < message.size() &&
        (message[i + 1] == 's' || message[i + 1] == 'd') && arg != args.end()) {
      result += *arg++;
      ++i;
    } else {
      result += message[i];
    }
  }
  return result;
}

const char* BoolText(bool value) {
  return value ? "True" : "False";
}

// A text argument of a macro command: in double quotes, an inner quote doubled (the macro
// language's own escape), so that no text can end the argument early.
void AppendQuoted(std::string& result, std::string_view text) {
  result += '"';
  for (char c : text) {
    if (c == '"') result += '"';
    result += c;
  }
  result += '"';
}

std::string Quoted(const std::string& text) {
  std::string result;
  result.reserve(text.size() + 2);
  AppendQuoted(result, text);
  return result;
}

// A macro command text built in one buffer: every command costs one allocation, where
// chained "+" made a temporary string for each piece. The pieces are copied straight into
// room reserved by the caller for the usual command; only a piece that does not fit takes
// the slow way, so that each literal piece comes down to a few moves.
class TMacroText {
 public:
  explicit TMacroText(std::size_t size) : Text(size, '\0'), Out(Text.data()) {}
  TMacroText(const TMacroText&) = delete;
  TMacroText& operator=(const TMacroText&) = delete;

  TMacroText& operator<<(std::string_view piece) {
    if (Left() < piece.size()) Grow(piece.size());
    std::memcpy(Out, piece.data(), piece.size());
    Out += piece.size();
    return *this;
  }
  // The number as std::to_string writes it.
  TMacroText& operator<<(std::int32_t number) {
    constexpr std::size_t kDigits = 11;  // "-2147483648"
    if (Left() < kDigits) Grow(kDigits);
    Out = std::to_chars(Out, Out + kDigits, number).ptr;
    return *this;
  }
  // In double quotes, an inner quote doubled (see AppendQuoted).
  TMacroText& Quoted(std::string_view text) {
    if (Left() < 2 * text.size() + 2) Grow(2 * text.size() + 2);
    *Out++ = '"';
    for (char c : text) {
      if (c == '"') *Out++ = '"';
      *Out++ = c;
    }
    *Out++ = '"';
    return *this;
  }
  // The text; the builder is finished.
  const std::string& Done() {
    Text.resize(static_cast<std::size_t>(Out - Text.data()));
    return Text;
  }

 private:
  std::size_t Left() const { return Text.size() - static_cast<std::size_t>(Out - Text.data()); }
  // Makes room for n more characters at Out.
  [[gnu::noinline]] void Grow(std::size_t n) {
    const auto used = static_cast<std::size_t>(Out - Text.data());
    Text.resize(std::max(2 * Text.size(), used + n));
    Out = Text.data() + used;
  }

  std::string Text;
  char* Out;
};

// The file name without its extension: the part from the last "." of the name (after the
// last folder delimiter) on is removed.
std::string WithoutExtension(const std::string& fileName) {
  const std::size_t dot = fileName.rfind('.');
  const std::size_t delimiter = fileName.find_last_of("\\/:");
  if (dot == std::string::npos || (delimiter != std::string::npos && dot < delimiter))
    return fileName;
  return fileName.substr(0, dot);
}

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// The spreadsheet of this process stands for Excel: it serves the conversations and counts
// as a running program, and it reads typed numbers in the user's locale.
TSpreadsheetService& LocalSpreadsheet() {
  TSpreadsheetService& service = ProgramSpreadsheet();
  service.DecimalSeparator = UserLocale().DecimalSeparator();
  return service;
}

void ShowErrorBox(const std::string& text, const std::string& caption) {
  if (!QCoreApplication::instance()) return;
  QMessageBox box(QMessageBox::Critical, Cp1251ToQString(caption), Cp1251ToQString(text),
                  QMessageBox::Ok);
  box.exec();
}

void Fill(TExcelHooks& hooks, const TExcelHooks& defaults) {
  auto fill = [](auto& member, const auto& fallback) {
    if (!member) member = fallback;
  };
  fill(hooks.NewConversation, defaults.NewConversation);
  fill(hooks.RunningProcesses, defaults.RunningProcesses);
  fill(hooks.StartProgram, defaults.StartProgram);
  fill(hooks.QueryClassValue, defaults.QueryClassValue);
  fill(hooks.Sleep, defaults.Sleep);
  fill(hooks.ProcessMessages, defaults.ProcessMessages);
  fill(hooks.ErrorBox, defaults.ErrorBox);
  fill(hooks.FileExists, defaults.FileExists);
  fill(hooks.DeleteFile, defaults.DeleteFile);
  fill(hooks.DecimalSeparator, defaults.DecimalSeparator);
  fill(hooks.Today, defaults.Today);
  fill(hooks.Now, defaults.Now);
}

TExcelHooks& InstalledHooks() {
  static TExcelHooks hooks = DefaultExcelHooks();
  return hooks;
}

}  // namespace

TExcelHooks DefaultExcelHooks() {
  TExcelHooks hooks;
  hooks.NewConversation = [] {
    LocalSpreadsheet();
    return std::make_unique<TDdeClientConv>();
  };
  hooks.RunningProcesses = [] {
    LocalSpreadsheet();
    return ProgramHost().RunningProcesses();
  };
  hooks.StartProgram = [](const std::string& commandLine) {
    return ProgramHost().StartProgram(commandLine, /*minimised=*/true);
  };
  hooks.QueryClassValue = [](const std::string& key) { return ProgramHost().QueryClassValue(key); };
  hooks.Sleep = [](std::uint32_t milliseconds) { ::Sleep(milliseconds); };
  hooks.ProcessMessages = [] {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
  };
  hooks.ErrorBox = ShowErrorBox;
  hooks.FileExists = [](const std::string& fileName) {
    std::error_code error;
    return std::filesystem::is_regular_file(Cp1251ToUtf8(fileName), error);
  };
  hooks.DeleteFile = [](const std::string& fileName) {
    std::error_code error;
    std::filesystem::remove(Cp1251ToUtf8(fileName), error);
    return !std::filesystem::exists(Cp1251ToUtf8(fileName), error);
  };
  hooks.DecimalSeparator = [] { return UserLocale().DecimalSeparator(); };
  hooks.Today = [] {
    const TCalendarDate today = UserLocale().Today();
    return std::chrono::year_month_day(std::chrono::year(today.Year),
                                       std::chrono::month(static_cast<unsigned>(today.Month)),
                                       std::chrono::day(static_cast<unsigned>(today.Day)));
  };
  hooks.Now = [] { return std::chrono::steady_clock::now(); };
  return hooks;
}

TExcelHooks& ExcelHooks() {
  return InstalledHooks();
}

TExcelHooks SetExcelHooks(TExcelHooks hooks) {
  Fill(hooks, DefaultExcelHooks());
  return std::exchange(InstalledHooks(), std::move(hooks));
}

// ---- TCustomExcel ----

TCustomExcel::TCustomExcel() : FHooks(ExcelHooks()) {
  FDdeConv = FHooks.NewConversation();
  FDdeConv->ConnectMode = TDataMode::ddeManual;
  if (!FDdeConv->Launch) FDdeConv->Launch = FHooks.StartProgram;
  AttachHandlers();
  BurstCount = 128;
  SetExeName("Excel");
  DDELaunch = true;
}

TCustomExcel::~TCustomExcel() {
  // A client that is going away sends no more notifications.
  DetachHandlers();
}

void TCustomExcel::AttachHandlers() {
  FDdeConv->OnOpen = [this] { DoDdeOpen(); };
  FDdeConv->OnClose = [this] { DoDdeClose(); };
}

void TCustomExcel::DetachHandlers() {
  FDdeConv->OnOpen = nullptr;
  FDdeConv->OnClose = nullptr;
}

void TCustomExcel::SetExeName(const std::string& Value) {
  Disconnect();
  FExeName = WithoutExtension(Value);
  FDdeConv->ServiceApplication = FExeName;
}

void TCustomExcel::DoDdeOpen() {
  FConnected = true;
  if (OnOpen) OnOpen(this);
}

void TCustomExcel::DoDdeClose() {
  FConnected = false;
  if (OnClose) OnClose(this);
}

bool TCustomExcel::IsExcelRunning() {
  for (const std::string& name : FHooks.RunningProcesses())
    if (LowerAscii(WithoutExtension(name)).find("excel") != std::string::npos) return true;
  return false;
}

void TCustomExcel::LocateExcel() {
  // The registry's value buffer holds 540 characters with the terminating zero.
  constexpr std::size_t kBufferSize = 540;
  const std::optional<std::string> className = FHooks.QueryClassValue(FileExt);
  if (!className || className->size() >= kBufferSize) return;
  const std::optional<std::string> command =
      FHooks.QueryClassValue(*className + "\\shell\\Open\\command");
  if (!command || command->size() >= kBufferSize) return;
  std::string text = UpperAscii(*command);
  const std::size_t exe = text.rfind(ExeFile);
  if (exe != std::string::npos && exe > 0)
    text.resize(exe + ExeFile.size());
  else
    text = text.substr(0, 8);
  if (const std::size_t quote = text.find('"'); quote != std::string::npos)
    text.erase(0, quote + 1);
  SetExeName(text);
  if (!FHooks.FileExists(FExeName + ".EXE")) SetExeName("");
}

void TCustomExcel::LaunchExcel() {
  const std::string fileName = FExeName + ".EXE";
  if (!FHooks.FileExists(fileName)) throw ExcelError(ExcelText::kCouldNotLaunch);
  // The path goes in double quotes, so that a folder with blanks stays one program name.
  if (FHooks.StartProgram(Quoted(fileName)) <= 31) throw ExcelError(ExcelText::kCouldNotLaunch);
}

void TCustomExcel::Connect() {
  if (FConnected) return;
  FDdeConv->SetLink(kService, kSystemTopic);
  if (!FDdeConv->OpenLink()) {
    LocateExcel();
    if (!DDELaunch) LaunchExcel();
    if (!FDdeConv->OpenLink() && !FDdeConv->OpenLink())
      throw ExcelError(ExcelText::kCouldNotLaunch);
  }
  // The letters are optional here, but a spreadsheet that is not answering ends the
  // connection: its deadline has passed once already.
  try {
    DetectCellLetters();
  } catch (const ExcelNotReadyError&) {
    throw;
  } catch (const Exception&) {
  }
}

void TCustomExcel::Disconnect() {
  if (FConnected) FDdeConv->CloseLink();
}

void TCustomExcel::CheckConnection() {
  if (!FConnected) throw ExcelError(ExcelText::kNoConnection);
}

bool TCustomExcel::SetTopic(const std::string& Topic) {
  if (FDdeConv->DdeTopic() == Topic) return true;
  // The change keeps the connected state: the handlers are away while the link is remade.
  DetachHandlers();
  struct Reattach {
    TCustomExcel* Self;
    ~Reattach() { Self->AttachHandlers(); }
  } reattach{this};
  if (FConnected) FDdeConv->CloseLink();
  FDdeConv->SetLink(kService, Topic);
  if (FConnected) FDdeConv->OpenLink();
  return true;
}

bool TCustomExcel::SetSystemTopic() {
  // Every command passes here: the usual case, already on "System", makes no temporary name.
  if (FDdeConv->DdeTopic() == kSystemTopic) return true;
  return SetTopic(kSystemTopic);
}

void TCustomExcel::SelectActiveSheet() {
  std::string sheet = GetSelectionSheet();
  if (!sheet.empty() && sheet.front() == '\'' && sheet.back() == '\'')
    sheet = sheet.size() >= 2 ? sheet.substr(1, sheet.size() - 2) : std::string();
  SetTopic(sheet);
  EnsureCellLetters();
}

std::string TCustomExcel::Request(const std::string& Item) {
  std::optional<std::string> reply = FDdeConv->RequestData(Item);
  return reply ? *reply : std::string(ExcelText::kNoReply);
}

bool TCustomExcel::IsExcelReady() {
  FHooks.ProcessMessages();
  SetSystemTopic();
  return Request("Status") == "Ready";
}

std::string TCustomExcel::RequestSelection() {
  FHooks.ProcessMessages();
  SetSystemTopic();
  return Request("Selection");
}

std::string TCustomExcel::GetSelectionSheet() {
  const std::string reply = RequestSelection();
  if (reply == ExcelText::kNoReply) return {};
  const std::size_t bang = reply.rfind('!');
  return bang == std::string::npos ? reply : reply.substr(0, bang);
}

void TCustomExcel::ExecMacro(const std::string& Command) {
  SetSystemTopic();
  ++FCommandCount;
  if (BurstCount >= 0 && BurstCount == FCommandCount) {
    WaitUntilReady();
    FCommandCount = 0;
  }
  if (FDdeConv->ExecuteMacro(Command, false)) return;
  // A command the spreadsheet rejected was carried out as far as it went (a file written, a
  // workbook closed): only one that did not reach it is sent again, once it is ready.
  if (!FDdeConv->Refused()) {
    WaitUntilReady();
    if (FDdeConv->ExecuteMacro(Command, true)) return;
  }
  // The spreadsheet's own message says why, where it gives one (a file it cannot write).
  if (FDdeConv->Refused() && !FDdeConv->RefusalMessage().empty())
    throw ExcelError(FDdeConv->RefusalMessage());
  throw ExcelError(Substitute(ExcelText::kNotAccepted, {Command}));
}

void TCustomExcel::WaitUntilReady() {
  if (OnBeginWait) OnBeginWait(this);
  const auto start = FHooks.Now();
  while (FDdeConv->WaitStat() || !IsExcelReady()) {
    if (FHooks.Now() - start >= FHooks.ReadyTimeout) {
      if (OnEndWait) OnEndWait(this);
      throw ExcelNotReadyError();
    }
    FHooks.ProcessMessages();
    if (OnWaiting) OnWaiting(this);
    // A spreadsheet that is busy stays so for a while: the thread rests between two polls
    // instead of asking again at once.
    FHooks.Sleep(kReadyPollMilliseconds);
  }
  if (OnEndWait) OnEndWait(this);
}

void TCustomExcel::CheckCell(std::int32_t Row, std::int32_t Column) const {
  if (Row < 0 || Row > kMaxAddress || Column < 0 || Column > kMaxAddress)
    throw ExcelError(
        Substitute(ExcelText::kCellOutOfRange, {std::to_string(Row), std::to_string(Column)}));
}

namespace {

// "\"R<row>C<column>\"".
void AppendAddress(TMacroText& text, std::int32_t Row, std::int32_t Column) {
  text << "\"R" << Row << "C" << Column << "\"";
}

}  // namespace

void TCustomExcel::Select(std::int32_t Row, std::int32_t Column) {
  CheckCell(Row, Column);
  if (Row == 0 || Column == 0) return;
  TMacroText text(32);
  text << "[SELECT(";
  AppendAddress(text, Row, Column);
  text << ")]";
  ExecMacro(text.Done());
}

void TCustomExcel::StepActiveCell() {
  switch (MoveActiveCell) {
    case dirNone:
      break;
    case dirUp:
      ExecMacro("[SELECT(\"R[-1]C\")]");
      break;
    case dirDown:
      ExecMacro("[SELECT(\"R[1]C\")]");
      break;
    case dirLeft:
      ExecMacro("[SELECT(\"RC[-1]\")]");
      break;
    case dirRight:
      ExecMacro("[SELECT(\"RC[1]\")]");
      break;
  }
}

void TCustomExcel::PutFormulaAt(std::int32_t Row, std::int32_t Column, const std::string& Formula) {
  CheckCell(Row, Column);
  if (Row == 0 || Column == 0) {
    PutFormula(Formula);
    return;
  }
  TMacroText text(Formula.size() + 40);
  text << "[FORMULA(" << Formula << ", ";
  AppendAddress(text, Row, Column);
  text << ")]";
  ExecMacro(text.Done());
}

void TCustomExcel::PutFormula(const std::string& Formula) {
  ExecMacro((TMacroText(Formula.size() + 12) << "[FORMULA(" << Formula << ")]").Done());
  StepActiveCell();
}

void TCustomExcel::PutStr(std::int32_t Row, std::int32_t Column, const std::string& Text) {
  // The text's own quotes are doubled like those of every other text argument, so that the
  // cell receives them as they are: a customer's name in quotes, a formula's string constants.
  PutFormulaAt(Row, Column, Quoted(Text));
}

void TCustomExcel::FormatFont(const std::string& Name, std::int32_t Size, bool Bold, bool Italic,
                              bool Underline, bool Strike, std::int32_t Color, bool Outline,
                              bool Shadow) {
  TMacroText text(Name.size() + 72);
  text << "[FORMAT.FONT(";
  text.Quoted(Name) << "," << Size << "," << BoolText(Bold) << "," << BoolText(Italic) << ","
                    << BoolText(Underline) << "," << BoolText(Strike) << "," << Color << ","
                    << BoolText(Outline) << "," << BoolText(Shadow) << ")]";
  ExecMacro(text.Done());
}

void TCustomExcel::InsertPicture(const std::string& FileName) {
  TMacroText text(FileName.size() + 24);
  text << "[INSERT.PICTURE(";
  text.Quoted(FileName) << ")]";
  ExecMacro(text.Done());
}

void TCustomExcel::SetColumnWidth(std::int32_t Width) {
  std::string width;
  try {
    width = FloatToValueText(static_cast<long double>(Width) / 8);
  } catch (const Exception&) {
  }
  ExecMacro((TMacroText(width.size() + 20) << "[COLUMN.WIDTH(" << width << ")]").Done());
}

void TCustomExcel::SetRowHeight(std::int32_t Height) {
  ExecMacro((TMacroText(32) << "[ROW.HEIGHT(" << Height << ")]").Done());
}

void TCustomExcel::SetAlignment(std::int32_t Horizontal, std::int32_t Vertical, bool Wrap) {
  TMacroText text(48);
  text << "[ALIGNMENT(" << Horizontal << "," << BoolText(Wrap) << "," << Vertical << ",0)]";
  ExecMacro(text.Done());
}

void TCustomExcel::SetBorder(std::int32_t Left, std::int32_t Right, std::int32_t Top,
                             std::int32_t Bottom) {
  TMacroText text(96);
  text << "[BORDER(0," << Left << "," << Right << "," << Top << "," << Bottom
       << ",FALSE,0,0,0,0,0)]";
  ExecMacro(text.Done());
}

void TCustomExcel::FormatNumber(const std::string& Format) {
  TMacroText text(Format.size() + 24);
  text << "[FORMAT.NUMBER(";
  text.Quoted(Format) << ")]";
  ExecMacro(text.Done());
}

void TCustomExcel::NewWorkbook() {
  ExecMacro("[NEW(1)]");
}

void TCustomExcel::SaveAs(const std::string& FileName) {
  TMacroText text(FileName.size() + 16);
  text << "[SAVE.AS(";
  text.Quoted(FileName) << ")]";
  ExecMacro(text.Done());
}

void TCustomExcel::SetTitle(const std::string& Title) {
  TMacroText text(Title.size() + 24);
  text << "[SUMMARY.INFO(";
  text.Quoted(Title) << ")]";
  ExecMacro(text.Done());
}

void TCustomExcel::SetErrorState(bool IgnoreErrors) {
  CheckConnection();
  FIgnoreErrors = IgnoreErrors;
  ExecMacro(IgnoreErrors ? "[ERROR(0)]" : "[ERROR(1)]");
}

bool TCustomExcel::HasCellLetters() const {
  return FRowLetter != 0 && FColumnLetter != 0;
}

bool TCustomExcel::DetectCellLetters() {
  const bool saved = FIgnoreErrors;
  SetErrorState(true);
  bool result = false;
  try {
    const std::string reply = RequestSelection();
    if (reply == ExcelText::kNoReply) throw ExcelError(ExcelText::kNoReply);
    const std::size_t bang = reply.rfind('!');
    // A reference needs a row letter and at least one character after it; a reply that ends
    // in "!" or in one character after it names no letters.
    if (bang != std::string::npos && reply.size() - bang > 2) {
      const std::string reference = reply.substr(bang + 1);
      FRowLetter = reference[0];
      std::size_t i = 1;
      while (i < reference.size() - 1 && reference[i] >= '0' && reference[i] <= '9') ++i;
      FColumnLetter = reference[i];
      result = HasCellLetters();
    }
  } catch (const ExcelNotReadyError&) {
    throw;  // restoring the state would only wait for the deadline again
  } catch (...) {
    try {
      SetErrorState(saved);
    } catch (const Exception&) {
    }
    throw;
  }
  SetErrorState(saved);
  return result;
}

void TCustomExcel::EnsureCellLetters() {
  if (!HasCellLetters() && !DetectCellLetters()) throw ExcelError(ExcelText::kNoCellLetters);
}

// ---- TExcel, TAdvExcel ----

TExcel::TExcel() {
  MoveActiveCell = dirDown;
  DecimalSeparator = Hooks().DecimalSeparator();
}

void TExcel::SetFilterReturnedData(bool Value) {
  FFilterReturnedData = Value;
  DdeConv().FormatChars = Value;
}

void TAdvExcel::OpenFile(const std::string& FileName, std::uint8_t UpdateLinks) {
  ExecMacro("[OPEN(" + Quoted(FileName) + "," + std::to_string(UpdateLinks) + ")]");
}
