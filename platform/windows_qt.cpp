#include "platform/windows_qt.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void CentreOnScreen(QWidget& window) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  // Before the window is shown its frame is not known yet: the client area stands for it.
  QRect frame = window.isVisible() ? window.frameGeometry() : QRect(QPoint(0, 0), window.size());
  frame.moveCenter(screen->geometry().center());
  window.move(frame.topLeft());
}
