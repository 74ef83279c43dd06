#pragma once

// The program's start-up and the main form. The main form is never shown to the user: it owns
// the flow graph of the embedded scheme, and once the event loop runs it loads the scheme and
// runs the wizard (FormShow), then closes, which ends the program.

#include <QWidget>
#include <cstdint>
#include <memory>

#include "engine/runtime.h"

class TScheme;
class TSpecDataReader;

// The name of the data resource that holds the scheme.
inline constexpr const char* kSchemeResourceName = "QZSCHEME";
// Shown once when the embedded scheme cannot be read.
inline constexpr const char* kUnableToLoadTemplate = "Unable to load template.";
// The application title "Мастер" (Windows-1251).
inline constexpr const char* kApplicationTitle = "\xCC\xE0\xF1\xF2\xE5\xF0";
// How long the splash stays up; the thread blocks meanwhile.
inline constexpr std::uint32_t kSplashMilliseconds = 4000;

class TMainForm : public QWidget {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // The load-and-run sequence: reads the embedded scheme into the data module's template,
  // Scheme, SchemeStamp and the price list, runs the wizard when everything was read, and
  // closes the main window, which ends the program. A missing scheme ends it silently; any
  // failure while the scheme is read shows kUnableToLoadTemplate once and nothing runs.
  // Errors raised after the scheme was read are not caught here.
  void FormShow(QObject* Sender);

  // The flow graph of the scheme; never shown.
  std::unique_ptr<TScheme> Scheme;

 private:
  // The sections of the scheme after the languages: raises on the first failure.
  void ReadScheme(TSpecDataReader& stream);
  // Closing the main window ends the program once the current event handler returns.
  void CloseMainWindow();
};

// The main form of the running program; set while it exists.
extern TMainForm* MainForm;

// The two forms of the run, handed to the engine by the load-and-run sequence. Set by the
// start-up once the forms exist; while either is missing, the program ends after the load.
extern IExecScreenForm* ExecScreenForm;
extern IExecReportForm* ExecReportForm;

// The start-up sequence, run by the program entry once the application object exists: the
// title, the forms and the data module in their order, the splash for kSplashMilliseconds,
// then the event loop, in which the main form loads and runs the scheme. Answers the exit
// status: 0, or 1 when an error left the run (it is shown in the error window first).
int RunStartUp();
