// Program entry of the wizard.
#include <QApplication>
#include <cstdio>
#include <exception>
#include <memory>

#include "app/main.h"
#include "app/userlocale.h"
#include "platform/errorwindow.h"
#include "platform/messages.h"
#include "platform/messages_qt.h"
#include "platform/settings_qt.h"
#include "platform/shell.h"
#include "platform/shell_qt.h"

int main(int, char** argv) {
  // The program reads no command line: Qt sees the program name only.
  int argc = 1;
  char* args[] = {argv[0], nullptr};
  QApplication application(argc, args);
  TQtMessageWindow messages(TQtMessageWindow::TKind::Message);
  TQtMessageWindow errors(TQtMessageWindow::TKind::Error);
  SetMessageWindow(&messages);
  SetErrorWindow(&errors);
  TQtUserLocale locale;
  SetUserLocale(&locale);
  SetSettingsStoreFactory([] { return std::make_unique<TQtSettingsStore>(); });
  TQtShell shell;
  SetShell(&shell);
  int status = 1;
  try {
    status = RunStartUp();
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError("Unknown error");
  }
  SetShell(nullptr);
  SetSettingsStoreFactory(nullptr);
  SetUserLocale(nullptr);
  SetErrorWindow(nullptr);
  SetMessageWindow(nullptr);
  return status;
}
