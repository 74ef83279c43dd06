#include "report/processindicator.h"

#include <QLabel>

#include "platform/cp1251_qt.h"
#include "platform/fonts_qt.h"
#include "platform/windows_qt.h"

TProcessForm* ProcessForm = nullptr;

namespace {

constexpr int kClientWidth = 267;
constexpr int kClientHeight = 55;

}  // namespace

TProcessForm::TProcessForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), ProcessTitle(new QLabel(this)) {
  setObjectName("ProcessForm");
  // Never visible: the window has no caption bar.
  setWindowTitle("Process Info");
  setFont(DesignFont(TDesignFace::Tahoma, 11));  // "Tahoma" 8 pt
  setFixedSize(kClientWidth, kClientHeight);

  ProcessTitle->setObjectName("ProcessTitle");
  ProcessTitle->setGeometry(0, 0, kClientWidth, kClientHeight);
  ProcessTitle->setFrameStyle(QFrame::Box | QFrame::Plain);
  ProcessTitle->setLineWidth(1);
  ProcessTitle->setAlignment(Qt::AlignCenter);
  ProcessTitle->setText("Processing...");
  CentreOnScreen(*this);
}

void TProcessForm::ShowProgress(const std::string& Text) {
  ProcessTitle->setText(Cp1251ToQString(Text));
  CentreOnScreen(*this);
  show();
  raise();
}

void TProcessForm::HideProgress() {
  hide();
}
