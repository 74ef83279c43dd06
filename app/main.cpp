#include "app/main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QTimer>
#include <QWindow>
#include <exception>

#include "app/data.h"
#include "app/runscreen.h"
#include "app/textres.h"
#include "app/wz_about.h"
#include "graph/elements.h"
#include "graph/visual.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "platform/errorwindow.h"
#include "platform/fonts_qt.h"
#include "platform/messages.h"
#include "platform/messages_qt.h"
#include "platform/sleep.h"
#include "platform/windows_qt.h"
#include "report/processindicator.h"
#include "report/repview.h"

TMainForm* MainForm = nullptr;
IExecScreenForm* ExecScreenForm = nullptr;
IExecReportForm* ExecReportForm = nullptr;

namespace {

// The longest wait for the window system to expose the splash before it is painted anyway.
constexpr int kExposeWaitMilliseconds = 3000;
// Events that may run while the splash is being painted: input stays queued.
constexpr QEventLoop::ProcessEventsFlags kPaintOnly =
    QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers;

// Shows a window without a modal loop and paints it at once.
void ShowAndPaint(QWidget* window) {
  window->show();
  QElapsedTimer clock;
  clock.start();
  while (!(window->windowHandle() && window->windowHandle()->isExposed()) &&
         clock.elapsed() < kExposeWaitMilliseconds) {
    QCoreApplication::processEvents(kPaintOnly, 20);
  }
  window->repaint();
  QCoreApplication::processEvents(kPaintOnly);
}

// Reports an error that left the run and ends the program with a failure status.
void ReportFatalError(const char* message) {
  // Shown first: once the loop is told to exit, no modal window can run.
  try {
    ShowError(message);
  } catch (...) {
    // The error window itself failed: the failure status still reports the error.
  }
  QCoreApplication::exit(1);
}

// The main form's show event as the event loop delivers it: no exception crosses the loop.
void DeliverFormShow() {
  try {
    if (MainForm) MainForm->FormShow(MainForm);
  } catch (const std::exception& e) {
    ReportFatalError(e.what());
  } catch (...) {
    ReportFatalError("Unknown error");
  }
}

// The objects the start-up creates, destroyed in the reverse order of their creation however
// the start-up ends.
struct StartUpObjects {
  StartUpObjects() = default;
  StartUpObjects(const StartUpObjects&) = delete;
  StartUpObjects& operator=(const StartUpObjects&) = delete;
  ~StartUpObjects() {
    // The graph's elements point into the template that the data module frees.
    if (MainForm) MainForm->Scheme.reset();
    delete DM;
    DM = nullptr;
    delete TextResourceForm;
    TextResourceForm = nullptr;
    // The run's forms, when the start-up made them (a test may hand in its own).
    if (CreatedScreenForm) {
      if (ExecScreenForm == CreatedScreenForm) ExecScreenForm = nullptr;
      delete CreatedScreenForm;
    }
    if (CreatedReportForm) {
      if (ExecReportForm == CreatedReportForm) ExecReportForm = nullptr;
      delete CreatedReportForm;
    }
    if (CreatedProcessForm) {
      if (ProcessForm == CreatedProcessForm) ProcessForm = nullptr;
      delete CreatedProcessForm;
    }
    delete wzAboutForm;
    wzAboutForm = nullptr;
    delete MainForm;
    MainForm = nullptr;
  }

  TExecScreenForm* CreatedScreenForm = nullptr;
  TExecReportForm* CreatedReportForm = nullptr;
  TProcessForm* CreatedProcessForm = nullptr;
};

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent), Scheme(std::make_unique<TScheme>()) {
  setObjectName("MainForm");
  setWindowTitle("MainForm");
  resize(258, 123);
  setFont(DesignFont(TDesignFace::MsSansSerif, 11));  // 8 pt
  CentreOnScreen(*this);
}

TMainForm::~TMainForm() = default;

void TMainForm::FormShow(QObject*) {
  // The scheme is read where the resource lies, without a copy.
  auto stream = std::make_unique<TSpecDataView>();
  if (!stream->LoadFromResource(kSchemeResourceName)) {
    stream.reset();
    CloseMainWindow();
    return;
  }
  Scheme->EventsEnabled = false;
  bool loaded = false;
  try {
    ReadScheme(*stream);
    loaded = true;
  } catch (...) {
    // What was read before the failure stays in the template and the graph, unused.
    ShowMessage(kUnableToLoadTemplate);
  }
  Scheme->EventsEnabled = true;
  stream.reset();
  if (loaded) {
    DM->LinkMap->Build(Scheme.get());
    if (ExecScreenForm && ExecReportForm) {
      TSpecRunTime* runTime = DM->RunTime.get();
      runTime->ScreenForm = ExecScreenForm;
      runTime->ReportForm = ExecReportForm;
      runTime->Start();
      runTime->Run();
    }
  }
  CloseMainWindow();
}

void TMainForm::ReadScheme(TSpecDataReader& stream) {
  TSpecTemplate* schemeTemplate = DM->Template.get();
  schemeTemplate->LoadFromStream(stream);
  // The graph is emptied only once the template sections were read.
  Scheme->ClearLinks();
  Scheme->ClearElements();
  {
    TSpecSchemeManager manager(Scheme.get(), schemeTemplate);
    manager.LoadFromStream(stream);
  }
  SchemeStamp = stream.ReadInteger();
  schemeTemplate->PriceList()->LoadFromStream(stream);
}

void TMainForm::CloseMainWindow() {
  close();
  QCoreApplication::quit();
}

int RunStartUp() {
  SetApplicationTitle(kApplicationTitle);
  SetApplicationDesignFont();
  // Every dialog of the run is a top-level window: closing the last one must not end the
  // program; the main form ends it explicitly.
  QApplication::setQuitOnLastWindowClosed(false);

  StartUpObjects objects;
  MainForm = new TMainForm();
  wzAboutForm = new TwzAboutForm();
  if (!ProcessForm) ProcessForm = objects.CreatedProcessForm = new TProcessForm();
  ShowAndPaint(wzAboutForm);
  if (!ExecReportForm) ExecReportForm = objects.CreatedReportForm = new TExecReportForm();
  // A press on a description's link reaches the data module's ShowResourceAt by default.
  if (!ExecScreenForm) ExecScreenForm = objects.CreatedScreenForm = new TExecScreenForm();
  TextResourceForm = new TTextResourceForm();
  DM = new TDM();

  Sleep(kSplashMilliseconds);

  wzAboutForm->hide();
  delete wzAboutForm;
  wzAboutForm = nullptr;

  // The event loop "shows" the main form: its show event runs as the loop's first event.
  QTimer::singleShot(0, MainForm, &DeliverFormShow);
  return QApplication::exec();
}
