#pragma once

// The Excel client: finds or starts the spreadsheet program and drives it over DDE with
// Excel 4 macro commands (select cells, enter values, format, insert pictures, create, save
// and close workbooks). Every command goes as an execute transaction on the topic "System" of
// the service "Excel"; after every burst of BurstCount commands the client waits until the
// spreadsheet reports itself ready.
//
// Three layers: TCustomExcel (the conversation, locating and launching, the primitives),
// TExcel (the published settings and the stepping direction) and TAdvExcel (opening a file).
//
// Texts: every text handed to the client (values, font names, number formats, file names) is
// Windows-1251, as every text inside the system; a file-system path (UTF-8, such as the file
// of an extracted resource) is converted with Utf8ToCp1251 before it is given here.
//
// Everything the client needs from the platform goes through one set of hooks
// (TExcelHooks), so that tests replace the spreadsheet, the process list, the program start,
// the class registry, the clock and the message box in one place.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dde.h"
#include "platform/errors.h"

// Messages of the client (byte-exact).
namespace ExcelText {
inline constexpr const char* kNoReply = "*** Excel - No Reply ***";
inline constexpr const char* kCouldNotLaunch = "Excel could not be launched";
inline constexpr const char* kNoConnection = "No open DDE connection to Excel";
inline constexpr const char* kNotAccepted = "\"%s\" not accepted by Excel";
inline constexpr const char* kNoCellLetters = "Could not identify letters for row and/or column";
// Raised when the spreadsheet has not reported "Ready" within the readiness deadline.
inline constexpr const char* kNotReady = "Excel did not become ready";
// Raised for a row or column beyond the 16-bit numbers of the macro commands.
inline constexpr const char* kCellOutOfRange = "Cell R%dC%d is outside the sheet";
}  // namespace ExcelText

// Every failure of the spreadsheet or of the conversation.
class ExcelError : public Exception {
 public:
  using Exception::Exception;
};

// The readiness deadline has passed: the spreadsheet is not answering, so whatever waited
// ends with this error rather than waiting again.
class ExcelNotReadyError : public ExcelError {
 public:
  ExcelNotReadyError() : ExcelError(ExcelText::kNotReady) {}
};

// Where the active cell moves after a value entered without an address.
enum TCellDir : std::uint8_t { dirNone, dirUp, dirDown, dirLeft, dirRight };

// The platform services of the client. Texts are Windows-1251 unless said otherwise. The
// defaults (DefaultExcelHooks) reach the real platform: the in-process DDE broker, the
// program host of platform/programs.h, the blocking sleep, a parentless Qt message box, the
// file system, the engine's user locale (separator and today) and the steady clock.
struct TExcelHooks {
  // A new conversation, in manual connect mode (the client owns it).
  std::function<std::unique_ptr<TDdeClientConv>()> NewConversation;
  // The executable file names of the running processes ("EXCEL.EXE", "bash", ...).
  std::function<std::vector<std::string>()> RunningProcesses;
  // Starts a command line minimised; the program start's result (above 31 is success).
  std::function<std::uint32_t(const std::string& commandLine)> StartProgram;
  // The default value of a key under the class root (".xls", "Excel.Sheet.8\shell\Open\command");
  // nothing when the key or its value is missing.
  std::function<std::optional<std::string>(const std::string& key)> QueryClassValue;
  // Blocks the thread without processing events.
  std::function<void(std::uint32_t milliseconds)> Sleep;
  // Processes the pending events of the user-interface thread.
  std::function<void()> ProcessMessages;
  // A modal message box without owner window, with the error icon and one OK button.
  std::function<void(const std::string& text, const std::string& caption)> ErrorBox;
  std::function<bool(const std::string& fileName)> FileExists;
  // True when the file is gone afterwards.
  std::function<bool(const std::string& fileName)> DeleteFile;
  // The user locale's decimal separator.
  std::function<char()> DecimalSeparator;
  // Today's date of the system clock.
  std::function<std::chrono::year_month_day()> Today;
  // The clock that the readiness deadline is measured on.
  std::function<std::chrono::steady_clock::time_point()> Now;
  // How long WaitUntilReady waits for "Ready" before it raises ExcelError.
  std::chrono::milliseconds ReadyTimeout{30000};
};

// The hooks that reach the real platform.
TExcelHooks DefaultExcelHooks();
// The installed hooks (the defaults until a test installs others).
TExcelHooks& ExcelHooks();
// Installs hooks and returns the previous set. An empty member of the new set is filled from
// the defaults, so a test sets only what it replaces.
TExcelHooks SetExcelHooks(TExcelHooks hooks);

class TCustomExcel;
using TExcelNotifyEvent = std::function<void(TCustomExcel* Sender)>;

class TCustomExcel {
 public:
  TCustomExcel();
  virtual ~TCustomExcel();
  TCustomExcel(const TCustomExcel&) = delete;
  TCustomExcel& operator=(const TCustomExcel&) = delete;

  // Connection.
  // True when the executable name of a running process, without its extension and in lower
  // case, contains "excel". Changes nothing.
  bool IsExcelRunning();
  // Sets ExeName from the program registered for FileExt; unchanged when nothing is
  // registered, empty when the registered file does not exist.
  virtual void LocateExcel();
  // Starts ExeName + ".EXE" minimised; ExcelError "Excel could not be launched" when the file
  // does not exist or the start fails.
  virtual void LaunchExcel();
  // Opens the conversation with "Excel" on "System" (locating and, without DDELaunch,
  // launching the program after a failed attempt), then detects the cell letters.
  void Connect();
  void Disconnect();
  // ExcelError "No open DDE connection to Excel" unless connected.
  virtual void CheckConnection();
  // Moves the conversation to Topic keeping the connected state; always true.
  bool SetTopic(const std::string& Topic);
  bool SetSystemTopic();
  // Links the conversation to the sheet of the spreadsheet's selection and makes sure the cell
  // letters are known.
  void SelectActiveSheet();

  // Requests.
  // The item's text, or "*** Excel - No Reply ***" when nothing comes back.
  std::string Request(const std::string& Item);
  bool IsExcelReady();
  std::string RequestSelection();
  // The selection's sheet: the reply up to its last "!"; empty without a reply.
  std::string GetSelectionSheet();

  // Sends one macro command on "System", waiting for readiness after every burst. A command
  // that did not reach the spreadsheet (busy, or a transaction pending) is sent once more when
  // it is ready; one it rejected is not sent again. ExcelError with the spreadsheet's message
  // when it gave one with its rejection, else "\"<command>\" not accepted by Excel".
  void ExecMacro(const std::string& Command);
  // Waits until nothing is pending and the spreadsheet answers "Ready", processing events and
  // then sleeping briefly between two polls; ExcelNotReadyError once the hooks' ReadyTimeout
  // has passed since the wait began.
  void WaitUntilReady();

  // Commands. Rows and columns are 1-based, 0 meaning no address; a number beyond 65535
  // raises ExcelError before anything is sent.
  void Select(std::int32_t Row, std::int32_t Column);
  void StepActiveCell();
  void PutFormulaAt(std::int32_t Row, std::int32_t Column, const std::string& Formula);
  void PutFormula(const std::string& Formula);
  // The text as a FORMULA argument in double quotes, every inner quote doubled.
  void PutStr(std::int32_t Row, std::int32_t Column, const std::string& Text);
  void FormatFont(const std::string& Name, std::int32_t Size, bool Bold, bool Italic,
                  bool Underline, bool Strike, std::int32_t Color, bool Outline, bool Shadow);
  void InsertPicture(const std::string& FileName);
  // Width in pixels, sent as Width / 8 characters with "." whatever the locale.
  void SetColumnWidth(std::int32_t Width);
  void SetRowHeight(std::int32_t Height);
  void SetAlignment(std::int32_t Horizontal, std::int32_t Vertical, bool Wrap);
  void SetBorder(std::int32_t Left, std::int32_t Right, std::int32_t Top, std::int32_t Bottom);
  void FormatNumber(const std::string& Format);
  void NewWorkbook();
  void SaveAs(const std::string& FileName);
  // The workbook's title in its summary ("[SUMMARY.INFO(...)]"); a workbook left open is
  // named from it when it is handed to the user.
  void SetTitle(const std::string& Title);
  void SetErrorState(bool IgnoreErrors);

  // Cell letters of R1C1 references.
  bool HasCellLetters() const;
  bool DetectCellLetters();
  void EnsureCellLetters();

  // Conversation notifications.
  void DoDdeOpen();
  void DoDdeClose();

  // Properties.
  const std::string& ExeName() const { return FExeName; }
  void SetExeName(const std::string& Value);
  bool DDELaunch = true;
  bool Connected() const { return FConnected; }
  bool IgnoreErrors() const { return FIgnoreErrors; }
  char RowLetter() const { return FRowLetter; }
  char ColumnLetter() const { return FColumnLetter; }
  std::int32_t CommandCount() const { return FCommandCount; }
  std::int32_t BurstCount = 128;
  TCellDir MoveActiveCell = dirNone;
  TExcelNotifyEvent OnClose;
  TExcelNotifyEvent OnOpen;
  TExcelNotifyEvent OnBeginWait;
  TExcelNotifyEvent OnEndWait;
  TExcelNotifyEvent OnWaiting;

  // The conversation (owned) and the registration the program is located by.
  TDdeClientConv& DdeConv() { return *FDdeConv; }
  const std::string FileExt = ".xls";
  const std::string ExeFile = "EXCEL.EXE";

 protected:
  // The hooks this client was created with (a copy: a test's later change does not reach a
  // live client).
  const TExcelHooks& Hooks() const { return FHooks; }

 private:
  void AttachHandlers();
  void DetachHandlers();
  void CheckCell(std::int32_t Row, std::int32_t Column) const;

  TExcelHooks FHooks;
  std::unique_ptr<TDdeClientConv> FDdeConv;
  std::string FExeName;
  bool FConnected = false;
  bool FIgnoreErrors = false;
  char FRowLetter = 0;
  char FColumnLetter = 0;
  std::int32_t FCommandCount = 0;
};

class TExcel : public TCustomExcel {
 public:
  TExcel();

  bool FilterReturnedData() const { return FFilterReturnedData; }
  // Also sets the conversation's format-characters flag.
  void SetFilterReturnedData(bool Value);
  // Stored and published; no operation uses them.
  std::int16_t Decimals = 0;
  char DecimalSeparator = '.';
  bool StripCRLF = false;

 private:
  bool FFilterReturnedData = false;
};

class TAdvExcel : public TExcel {
 public:
  // "[OPEN("<file>",<flag>)]".
  virtual void OpenFile(const std::string& FileName, std::uint8_t UpdateLinks);
};
