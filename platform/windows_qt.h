#pragma once

// Placement of top-level windows.

class QWidget;

// Moves a top-level window, frame included, to the middle of the primary screen.
void CentreOnScreen(QWidget& window);

// Keeps a top-level window from being minimized: the program's windows are its only ones and
// offer no Minimize, but a window manager may minimize them anyway (openbox offers it on every
// window), which would leave nothing on the screen to go on with. Such a window is shown
// again at once, with the keyboard focus.
void KeepFromMinimizing(QWidget& window);

// Paints a shown top-level window at once: waits (processing only the window system's
// events, input stays queued) until the window is exposed, at most timeoutMilliseconds, then
// repaints it. For a window that must show its content before the thread blocks.
void PaintWindowNow(QWidget& window, int timeoutMilliseconds = 3000);
