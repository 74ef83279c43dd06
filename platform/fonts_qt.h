#pragma once

// The faces the windows were designed with and the installed faces that stand in for them.
// The forms give their fonts by a Windows face and a height in pixels ("Tahoma" of height -11
// is 11 pixels, 8 points at 96 dpi) and lay their texts out in pixels for that face, so the
// stand-in must take about as much room: it is the installed candidate whose measured widths
// of reference texts come nearest to the design face's, chosen once per process. Every window
// takes its design fonts from here.

#include <QFont>
#include <QRect>
#include <QString>
#include <string>

class QLabel;

enum class TDesignFace { Tahoma, Arial, MsSansSerif };

// The family that stands in for the face: the design face itself when it is installed, else
// the candidate nearest to its widths (for Tahoma and MS Sans Serif: Liberation Sans rather
// than DejaVu Sans, which is about a sixth wider; for Arial its metric twin Liberation Sans).
QString StandInFamily(TDesignFace face);
// The stand-in at a size in pixels: fixed, whatever the screen's dpi.
QFont DesignFont(TDesignFace face, int pixels, bool bold = false);
// The height of a line of the design face at that size as the windows were laid out with
// (Tahoma of 11 pixels: 13), never less than the stand-in's own line.
int DesignLineHeight(TDesignFace face, int pixels);
// Makes the stand-in of "Tahoma" 8 pt the application's font, as the system's dialog font is
// where the windows were designed: the font of every window and text that sets none of its
// own (message boxes, menus, tooltips, the file dialogs and their lists). Called at start-up,
// before any window is made.
void SetApplicationDesignFont();

// The least room, in pixels, between a caption and the value after it on the same line: what
// a ten-character numeric date ("11.12.2026") leaves after "Дата актуализации:" as the title
// panels are laid out.
constexpr int kCaptionValueGap = 8;

// Places a caption and the value after it on one line, each right-aligned in its box (the
// actualisation date after its caption): in the boxes given, except that the value's box grows
// to the left to hold its whole text and the caption's box moves left to keep
// kCaptionValueGap pixels between the two texts. Dates of some locales ("11 Dec 2026") are
// wider than the numeric ones the boxes were made for.
void PlaceCaptionAndValue(QLabel& caption, const QRect& captionBox, QLabel& value,
                          const QRect& valueBox);

// The design face of a face name ("Tahoma", "Arial", "MS Sans Serif", letter case ignored);
// false for any other name.
bool DesignFaceByName(const std::string& name, TDesignFace& face);
