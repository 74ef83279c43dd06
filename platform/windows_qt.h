#pragma once

// Placement of top-level windows.

class QWidget;

// Moves a top-level window, frame included, to the middle of the primary screen.
void CentreOnScreen(QWidget& window);

// Paints a shown top-level window at once: waits (processing only the window system's
// events, input stays queued) until the window is exposed, at most timeoutMilliseconds, then
// repaints it. For a window that must show its content before the thread blocks.
void PaintWindowNow(QWidget& window, int timeoutMilliseconds = 3000);
