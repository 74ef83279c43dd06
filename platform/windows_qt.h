#pragma once

// Placement of top-level windows.

class QWidget;

// Moves a top-level window, frame included, to the middle of the primary screen.
void CentreOnScreen(QWidget& window);
