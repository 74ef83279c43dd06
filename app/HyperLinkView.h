#pragma once

// The hypertext control: shows the plain text of a mark-up (app/hyperlinkparse.h) read-only,
// with the link runs in LinkColor and underlined when LinkUnderline is set, measures the
// height its text needs, and reports a left-button press on a link through
// OnHyperlinkClicked. It has no focus, no caret and no scroll bars.
//
// The document folds "\r\n" into one position, while link positions count the bytes of
// PlainText; the view keeps the map between the two for formatting and hit tests.

#include <QColor>
#include <QTextCharFormat>
#include <QTextEdit>
#include <cstdint>
#include <vector>

#include "app/hyperlinkparse.h"

class QTextCursor;

class THyperLinkView : public QTextEdit, public THyperText {
  Q_OBJECT

 public:
  enum TBorderStyle { bsNone, bsSingle };

  // Read-only, links blue and underlined, a single border, the default mouse cursor.
  explicit THyperLinkView(QWidget* AOwner = nullptr);
  ~THyperLinkView() override;

  const QColor& LinkColor() const { return FLinkColor; }
  // A different colour is stored and the text reformatted; an equal one does nothing.
  void SetLinkColor(const QColor& Value);
  bool LinkUnderline() const { return FLinkUnderline; }
  void SetLinkUnderline(bool Value);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);

  // The distance of the lines, in pixels: the design font's line where the font that stands
  // in for it has a lower one; 0 (at creation) for the font's own.
  int LineHeight() const { return FLineHeight; }
  void SetLineHeight(int Value);

  // Height := PreferredHeight.
  void AdjustHeight();
  // LineCount lines of the font's height (LineHeight when that is greater), plus 6 border pixels
  // with a border and 2 without.
  std::int32_t PreferredHeight();
  // The lines shown at the current width, word wrapping included: 1 for an empty text,
  // otherwise up to the line that holds the last character (a final line break ends its
  // line and starts none).
  std::int32_t LineCount();

  // The normal or the link character format on the given range of the document; only the
  // colour, the link mark and the underline change.
  void SetCharFormat(bool Link, QTextCursor& Scope);
  // SetCharFormat on the current selection.
  void SetSelectionFormat(bool Link);

  // The range a press at a point of the viewport reports: the whole run of link-formatted
  // text under it (touching links make one run), in PlainText positions; false when the point
  // is on no link character.
  bool LinkRunAt(const QPoint& point, std::int32_t& cpMin, std::int32_t& cpMax);
  // The PlainText position of the character under a point of the viewport, -1 when none.
  std::int32_t CharacterAt(const QPoint& point);
  // The document position of a PlainText position (0 to the length of PlainText).
  int DocumentPosition(std::int32_t plainPos) const;
  // The format of the character at a document position; the empty format for a line break,
  // which shows nothing.
  QTextCharFormat CharFormatAt(int documentPos) const;
  // Whether the character at a document position carries the link format.
  bool IsLinkFormatted(int documentPos) const;

  bool CanFocus() const { return false; }

 protected:
  void ApplyFormatting() override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  // The width the document is laid out at: the viewport's, known before the view is shown.
  int TextWidth() const;
  void LayOut();

  QColor FLinkColor = Qt::blue;
  bool FLinkUnderline = true;
  TBorderStyle FBorderStyle = bsSingle;
  int FLineHeight = 0;
  // The document position of every PlainText position and of its end.
  std::vector<int> PlainToDocument;
};
