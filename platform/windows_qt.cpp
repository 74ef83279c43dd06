#include "platform/windows_qt.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

void CentreOnScreen(QWidget& window) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  // Before the window is shown its frame is not known yet: the client area stands for it.
  QRect frame = window.isVisible() ? window.frameGeometry() : QRect(QPoint(0, 0), window.size());
  frame.moveCenter(screen->geometry().center());
  window.move(frame.topLeft());
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
