#include "platform/messages_qt.h"

#include <QMessageBox>
#include <QShowEvent>

#include "platform/cp1251_qt.h"
#include "platform/windows_qt.h"

namespace {

std::string& Title() {
  static std::string title;
  return title;
}

// Qt lays a message box out only when it is shown; the box is placed in the middle of the
// screen once its final size is known.
class CentredMessageBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    CentreOnScreen(*this);
  }
};

}  // namespace

void SetApplicationTitle(const std::string& title) {
  Title() = title;
}

const std::string& ApplicationTitle() {
  return Title();
}

void TQtMessageWindow::ShowMessage(const std::string& text) {
  CentredMessageBox box(Kind == TKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                        Cp1251ToQString(ApplicationTitle()), Cp1251ToQString(text),
                        QMessageBox::Ok);
  box.exec();
}
