#include "platform/windows_qt.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// Watches one window's state: a minimized window is restored from the event loop, once the
// change of state has been delivered.
class TMinimizeGuard : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* window = qobject_cast<QWidget*>(watched);
    if (window && event->type() == QEvent::WindowStateChange && window->isMinimized()) {
      QTimer::singleShot(0, window, [window = QPointer<QWidget>(window)] {
        if (!window || !window->isVisible() || !window->isMinimized()) return;
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->activateWindow();
      });
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void CentreOnScreen(QWidget& window) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  // Before the window is shown its frame is not known yet: the client area stands for it.
  QRect frame = window.isVisible() ? window.frameGeometry() : QRect(QPoint(0, 0), window.size());
  frame.moveCenter(screen->geometry().center());
  window.move(frame.topLeft());
}

void KeepFromMinimizing(QWidget& window) {
  window.installEventFilter(new TMinimizeGuard(&window));
}

void PaintWindowNow(QWidget& window, int timeoutMilliseconds) {
  constexpr QEventLoop::ProcessEventsFlags paintOnly =
      QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers;
  QElapsedTimer clock;
  clock.start();
  while (window.isVisible() && !(window.windowHandle() && window.windowHandle()->isExposed()) &&
         clock.elapsed() < timeoutMilliseconds) {
    QCoreApplication::processEvents(paintOnly, 20);
  }
  window.repaint();
  QCoreApplication::processEvents(paintOnly);
}
