#include "platform/fonts_qt.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

// A design face: its candidates in order of preference (itself first), the widths of the
// reference texts in the design face at kReferencePixels, and its vertical metrics as the
// windows measured a line (the ascent and descent of the face in units of its em square,
// each rounded to pixels).
struct FaceData {
  const char* Candidates[5];
  int LatinWidth;
  int CyrillicWidth;
  int Ascent;
  int Descent;
  int UnitsPerEm;
};

constexpr int kReferencePixels = 11;
const char* const kLatinReference = "The quick brown fox jumps over the lazy dog";
const char* const kCyrillicReference = "Съешь же ещё этих мягких французских булок, да выпей чаю";

// MS Sans Serif lays out as Tahoma, its successor in the same dialogs.
const FaceData kFaces[] = {
    {{"Tahoma", "Liberation Sans", "Arimo", "DejaVu Sans", nullptr}, 219, 315, 2049, 423, 2048},
    {{"Arial", "Liberation Sans", "Arimo", "DejaVu Sans", nullptr}, 217, 316, 1854, 434, 2048},
    {{"MS Sans Serif", "Tahoma", "Liberation Sans", "Arimo", "DejaVu Sans"},
     219,
     315,
     2049,
     423,
     2048},
};

const FaceData& DataOf(TDesignFace face) {
  return kFaces[static_cast<int>(face)];
}

// How far a family's widths of the reference texts are from the design face's, relative.
double WidthDistance(const QFont& font, const FaceData& data) {
  const QFontMetrics metrics(font);
  const double latin = metrics.horizontalAdvance(QString::fromUtf8(kLatinReference));
  const double cyrillic = metrics.horizontalAdvance(QString::fromUtf8(kCyrillicReference));
  return std::abs(latin / data.LatinWidth - 1) + std::abs(cyrillic / data.CyrillicWidth - 1);
}

QString ChooseStandIn(const FaceData& data) {
  QString chosen;
  double best = 0;
  for (const char* candidate : data.Candidates) {
    if (!candidate) break;
    QFont font(candidate);
    font.setPixelSize(kReferencePixels);
    // Only a family that is installed: Qt answers a substitute for any other name.
    if (QFontInfo(font).family().compare(candidate, Qt::CaseInsensitive) != 0) continue;
    const double distance = WidthDistance(font, data);
    if (chosen.isEmpty() || distance < best) {
      chosen = candidate;
      best = distance;
    }
  }
  // Nothing installed: the design name, for Qt's own substitution.
  return chosen.isEmpty() ? QString(data.Candidates[0]) : chosen;
}

}  // namespace

QString StandInFamily(TDesignFace face) {
  static std::once_flag chosen;
  static QString families[std::size(kFaces)];
  std::call_once(chosen, [] {
    for (std::size_t i = 0; i < std::size(kFaces); ++i) families[i] = ChooseStandIn(kFaces[i]);
  });
  return families[static_cast<int>(face)];
}

QFont DesignFont(TDesignFace face, int pixels, bool bold) {
  QFont font(StandInFamily(face));
  font.setPixelSize(std::max(1, pixels));
  font.setBold(bold);
  return font;
}

int DesignLineHeight(TDesignFace face, int pixels) {
  const FaceData& data = DataOf(face);
  const int design = static_cast<int>(std::lround(double(data.Ascent) * pixels / data.UnitsPerEm) +
                                      std::lround(double(data.Descent) * pixels / data.UnitsPerEm));
  return std::max(design, QFontMetrics(DesignFont(face, pixels)).height());
}

void SetApplicationDesignFont() {
  // Without a class name this also drops the fonts the platform gave single classes (menus,
  // tooltips, message boxes), so that all of them take this one.
  QApplication::setFont(DesignFont(TDesignFace::Tahoma, 11));
}

void PlaceCaptionAndValue(QLabel& caption, const QRect& captionBox, QLabel& value,
                          const QRect& valueBox) {
  const int valueWidth = value.fontMetrics().horizontalAdvance(value.text());
  QRect valueAt = valueBox;
  if (valueAt.width() < valueWidth) valueAt.setLeft(valueAt.right() + 1 - valueWidth);
  value.setGeometry(valueAt);
  // Both texts end at the right edges of their boxes.
  const int valueStart = valueAt.right() + 1 - valueWidth;
  QRect captionAt = captionBox;
  const int overlap = captionAt.right() + 1 + kCaptionValueGap - valueStart;
  if (overlap > 0) captionAt.translate(-overlap, 0);
  caption.setGeometry(captionAt);
}

bool DesignFaceByName(const std::string& name, TDesignFace& face) {
  const QString given = QString::fromStdString(name);
  for (std::size_t i = 0; i < std::size(kFaces); ++i) {
    if (given.compare(kFaces[i].Candidates[0], Qt::CaseInsensitive) == 0) {
      face = static_cast<TDesignFace>(i);
      return true;
    }
  }
  return false;
}
