#include "tests/support/expr_support.h"

#include "expr/typecvt.h"

SeparatorGuard::SeparatorGuard(char separator) : Previous(LocaleDecimalSeparator()[0]) {
  SetLocaleDecimalSeparator(separator);
}

SeparatorGuard::~SeparatorGuard() {
  SetLocaleDecimalSeparator(Previous);
}

RecordingMessageWindow::RecordingMessageWindow() : Previous(SetMessageWindow(this)) {}

RecordingMessageWindow::~RecordingMessageWindow() {
  SetMessageWindow(Previous);
}

void RecordingMessageWindow::ShowMessage(const std::string& text) {
  Shown.push_back(text);
  if (OnShow) OnShow(text);
}
