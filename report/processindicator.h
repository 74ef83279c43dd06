#pragma once

// The progress window: a small frameless window centred on the screen that tells the user an
// export is running. The report form shows it and paints it before the export blocks the
// thread, and hides it when the export has ended.

#include <QWidget>
#include <string>

class QLabel;

class TProcessForm : public QWidget {
 public:
  explicit TProcessForm(QWidget* parent = nullptr);

  // ProcessTitle's caption := Text (Windows-1251); the window is made visible and brought to
  // the front. It neither waits nor paints.
  void ShowProgress(const std::string& Text);
  // Hides the window.
  void HideProgress();

  // The text shown: "Processing..." until ShowProgress sets another. It fills the client area
  // with a flat single-line border.
  QLabel* ProcessTitle;
};

// The one progress window of the program, created at start-up; nullptr while there is none.
extern TProcessForm* ProcessForm;
