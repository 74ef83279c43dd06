#pragma once

// The splash window shown during start-up: a borderless 400 x 330 window in the middle of the
// screen with the product picture and the version and rights labels over its lower right.

#include <QWidget>
#include <array>
#include <string>

class QFrame;
class QLabel;

class TwzAboutForm : public QWidget {
  Q_OBJECT

 public:
  explicit TwzAboutForm(QWidget* parent = nullptr);
  ~TwzAboutForm() override;

  // A click on the picture or on any label: sets the modal result to 1 (OK).
  void Image1Click(QObject* Sender);
  // A key press: Enter (13) and Escape (27) set the modal result to 1; other keys do nothing.
  void FormKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);

  // The window is never shown modally, so the modal result closes and shortens nothing.
  int ModalResult = 0;

  QFrame* Panel1 = nullptr;
  QLabel* Image1 = nullptr;
  // Label1 to Label6: the version (bold), the release and four lines of the rights notice.
  std::array<QLabel*, 6> Labels{};

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

// The splash's texts (Windows-1251), Label1 to Label6.
extern const std::array<std::string, 6> kAboutLabelTexts;

// The splash of the running program; set while it exists.
extern TwzAboutForm* wzAboutForm;

// The splash picture compiled into the program (a JPEG).
QByteArray SplashPictureBytes();
