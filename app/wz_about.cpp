#include "app/wz_about.h"

#include <QFile>
#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>

#include "app/pictures.h"
#include "platform/cp1251_qt.h"
#include "platform/fonts_qt.h"
#include "platform/messages_qt.h"
#include "platform/windows_qt.h"

TwzAboutForm* wzAboutForm = nullptr;

const std::array<std::string, 6> kAboutLabelTexts = {
    "\xC2\xE5\xF0\xF1\xE8\xFF 1.2",  // "Версия 1.2"
    "Release Candidate 2",
    "\xC2\xF1\xE5 \xEF\xF0\xE0\xE2\xE0 \xE7\xE0\xF9\xE8\xF9\xE5\xED\xFB.",
    "\xA9 Talpix, \xF0\xE0\xE7\xF0\xE0\xE1\xEE\xF2\xF7\xE8\xEA\xE8 Quorvane",
    "\xE8 \xF3\xF7\xE0\xF1\xF2\xED\xE8\xEA\xE8 \xEF\xF0\xEE\xE5\xEA\xF2\xE0",
    "2024\x96"
    "2026",
};

namespace {

constexpr int kClientWidth = 400;
constexpr int kClientHeight = 330;
// The labels' column over the picture's lower right, and their line height.
constexpr int kLabelLeft = 150;
constexpr int kLabelRight = 388;
constexpr int kLabelHeight = 14;
constexpr int kLabelTops[6] = {226, 240, 260, 274, 288, 302};

constexpr int kKeyEnter = 13;
constexpr int kKeyEscape = 27;

// The platform key code of a Qt key, as FormKeyDown expects it.
int KeyCode(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return kKeyEnter;
    case Qt::Key_Escape:
      return kKeyEscape;
    default:
      return qtKey;
  }
}

}  // namespace

QByteArray SplashPictureBytes() {
  // The picture lives in a static library: registering its resources here links them in.
  Q_INIT_RESOURCE(resources);
  QFile file(":/quorvane/splash.jpg");
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

TwzAboutForm::TwzAboutForm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName("wzAboutForm");
  setWindowTitle(Cp1251ToQString(ApplicationTitle()));
  // Fixed in pixels: the splash does not follow the screen's font size.
  setFixedSize(kClientWidth, kClientHeight);
  setFocusPolicy(Qt::StrongFocus);

  Panel1 = new QFrame(this);
  Panel1->setGeometry(0, 0, kClientWidth, kClientHeight);
  Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);
  Panel1->setLineWidth(1);
  // The single flat border, in the picture's darkest tone.
  QPalette border = Panel1->palette();
  border.setColor(QPalette::WindowText, QColor(0x1f, 0x2a, 0x36));
  Panel1->setPalette(border);

  Image1 = new QLabel(Panel1);
  Image1->setGeometry(Panel1->contentsRect());
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  const QByteArray jpeg = SplashPictureBytes();
  const QImage picture = DecodeJpeg(reinterpret_cast<const unsigned char*>(jpeg.constData()),
                                    static_cast<std::size_t>(jpeg.size()));
  if (!picture.isNull()) Image1->setPixmap(QPixmap::fromImage(picture));
  Image1->installEventFilter(this);

  for (std::size_t i = 0; i < Labels.size(); ++i) {
    QLabel* label = new QLabel(Cp1251ToQString(kAboutLabelTexts[i]), Panel1);
    label->setObjectName(QString("Label%1").arg(i + 1));
    // "Arial" 8 pt in pixels: the splash keeps its size whatever the screen's dpi.
    label->setFont(DesignFont(TDesignFace::Arial, 11, i == 0));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Transparent: the picture shows through around the letters.
    label->setAutoFillBackground(false);
    label->setGeometry(kLabelLeft, kLabelTops[i], kLabelRight - kLabelLeft, kLabelHeight);
    label->installEventFilter(this);
    Labels[i] = label;
  }

  CentreOnScreen(*this);
}

TwzAboutForm::~TwzAboutForm() = default;

void TwzAboutForm::Image1Click(QObject*) {
  ModalResult = 1;
}

void TwzAboutForm::FormKeyDown(QObject*, int& Key, Qt::KeyboardModifiers) {
  if (Key == kKeyEnter || Key == kKeyEscape) ModalResult = 1;
}

bool TwzAboutForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Image1Click(watched);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TwzAboutForm::keyPressEvent(QKeyEvent* event) {
  int key = KeyCode(event->key());
  FormKeyDown(this, key, event->modifiers());
  event->accept();
}
