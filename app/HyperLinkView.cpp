#include "app/HyperLinkView.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFormat>
#include <QTextLayout>
#include <algorithm>
#include <exception>

#include "platform/cp1251_qt.h"
#include "platform/errorwindow.h"

namespace {

// The character property that marks link text, as the link effect of a rich edit does.
constexpr int kLinkProperty = QTextFormat::UserProperty + 1;
// The border metric of the platform: one pixel.
constexpr int kBorderMetric = 1;

}  // namespace

THyperLinkView::THyperLinkView(QWidget* AOwner) : QTextEdit(AOwner) {
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse);
  setFocusPolicy(Qt::NoFocus);
  setContextMenuPolicy(Qt::NoContextMenu);
  setUndoRedoEnabled(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  document()->setDocumentMargin(0);
  viewport()->setCursor(Qt::ArrowCursor);
  viewport()->setMouseTracking(true);
  SetBorderStyle(bsSingle);
  PlainToDocument.assign(1, 0);
}

THyperLinkView::~THyperLinkView() {
  ClearLinks();
}

void THyperLinkView::SetLinkColor(const QColor& Value) {
  if (Value == FLinkColor) return;
  FLinkColor = Value;
  ApplyFormatting();
}

void THyperLinkView::SetLinkUnderline(bool Value) {
  if (Value == FLinkUnderline) return;
  FLinkUnderline = Value;
  ApplyFormatting();
}

void THyperLinkView::SetBorderStyle(TBorderStyle Value) {
  FBorderStyle = Value;
  if (Value == bsSingle) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  } else {
    setFrameStyle(QFrame::NoFrame);
  }
}

void THyperLinkView::SetLineHeight(int Value) {
  if (Value == FLineHeight) return;
  FLineHeight = Value;
  ApplyFormatting();
}

void THyperLinkView::AdjustHeight() {
  resize(width(), PreferredHeight());
}

std::int32_t THyperLinkView::PreferredHeight() {
  const int border = FBorderStyle == bsSingle ? 6 : 2;
  const int line = std::max(FLineHeight, QFontMetrics(font()).height());
  return LineCount() * line + border * kBorderMetric;
}

int THyperLinkView::TextWidth() const {
  return std::max(0, width() - 2 * frameWidth());
}

void THyperLinkView::LayOut() {
  // The view lays its document out at the viewport's width once it is resized; a hidden view
  // has not been yet, so the width is set here the same way.
  if (lineWrapMode() == QTextEdit::WidgetWidth) document()->setTextWidth(TextWidth());
  document()->documentLayout()->documentSize();
}

std::int32_t THyperLinkView::LineCount() {
  if (PlainText().empty()) return 1;
  LayOut();
  std::int32_t count = 0;
  const QTextDocument* doc = document();
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    count += block.layout() ? block.layout()->lineCount() : 1;
  }
  // A final line break belongs to the line it ends: the empty block after it is no line.
  if (doc->blockCount() > 1 && doc->lastBlock().length() == 1) --count;
  return std::max(count, 1);
}

void THyperLinkView::SetCharFormat(bool Link, QTextCursor& Scope) {
  QTextCharFormat format;
  format.setProperty(kLinkProperty, Link);
  format.setFontUnderline(Link && FLinkUnderline);
  format.setForeground(Link ? FLinkColor : palette().color(QPalette::Text));
  Scope.mergeCharFormat(format);
}

void THyperLinkView::SetSelectionFormat(bool Link) {
  QTextCursor selection = textCursor();
  SetCharFormat(Link, selection);
}

void THyperLinkView::ApplyFormatting() {
  const std::string& text = PlainText();
  const QString shown = Cp1251ToQString(text);

  // The document position of each byte: "\r\n" is one position there.
  PlainToDocument.resize(text.size() + 1);
  int position = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    PlainToDocument[i] = position;
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      PlainToDocument[++i] = position;
    }
    ++position;
  }
  PlainToDocument[text.size()] = position;

  setPlainText(shown);
  QTextCursor cursor(document());
  cursor.select(QTextCursor::Document);
  SetCharFormat(false, cursor);
  // Lines as far apart as PreferredHeight counts them.
  if (FLineHeight > QFontMetrics(font()).height()) {
    QTextBlockFormat lines;
    lines.setLineHeight(FLineHeight, QTextBlockFormat::FixedHeight);
    cursor.mergeBlockFormat(lines);
  }
  for (const auto& link : Links) {
    if (link->StartPos >= link->EndPos) continue;
    cursor.setPosition(DocumentPosition(link->StartPos));
    cursor.setPosition(DocumentPosition(link->EndPos), QTextCursor::KeepAnchor);
    SetCharFormat(true, cursor);
  }
  cursor.setPosition(0);
  setTextCursor(cursor);
}

int THyperLinkView::DocumentPosition(std::int32_t plainPos) const {
  const auto last = static_cast<std::int32_t>(PlainToDocument.size()) - 1;
  return PlainToDocument[static_cast<std::size_t>(std::clamp(plainPos, 0, last))];
}

QTextCharFormat THyperLinkView::CharFormatAt(int documentPos) const {
  const QTextBlock block = document()->findBlock(documentPos);
  if (!block.isValid()) return {};
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    if (fragment.position() <= documentPos &&
        documentPos < fragment.position() + fragment.length()) {
      return fragment.charFormat();
    }
  }
  return {};
}

bool THyperLinkView::IsLinkFormatted(int documentPos) const {
  return CharFormatAt(documentPos).property(kLinkProperty).toBool();
}

std::int32_t THyperLinkView::CharacterAt(const QPoint& point) {
  LayOut();
  const QPointF at(point.x() + horizontalScrollBar()->value(),
                   point.y() + verticalScrollBar()->value());
  const QTextDocument* doc = document();
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    const QTextLayout* layout = block.layout();
    if (!layout) continue;
    const QPointF origin = layout->position();
    for (int i = 0; i < layout->lineCount(); ++i) {
      const QTextLine line = layout->lineAt(i);
      if (line.textLength() == 0) continue;
      if (!line.naturalTextRect().translated(origin).contains(at)) continue;
      int inBlock = line.xToCursor(at.x() - origin.x(), QTextLine::CursorOnCharacter);
      inBlock = std::clamp(inBlock, line.textStart(), line.textStart() + line.textLength() - 1);
      const int documentPos = block.position() + inBlock;
      // The first byte shown at that position ("\r" of "\r\n").
      const auto found =
          std::lower_bound(PlainToDocument.begin(), PlainToDocument.end() - 1, documentPos);
      if (found == PlainToDocument.end() - 1 || *found != documentPos) return -1;
      return static_cast<std::int32_t>(found - PlainToDocument.begin());
    }
  }
  return -1;
}

bool THyperLinkView::LinkRunAt(const QPoint& point, std::int32_t& cpMin, std::int32_t& cpMax) {
  const std::int32_t first = CharacterAt(point);
  if (first < 0) return false;
  // Both bytes of "\r\n" stand at one position of the document.
  std::int32_t last = first;
  const auto size = static_cast<std::int32_t>(PlainText().size());
  while (last + 1 < size && PlainToDocument[static_cast<std::size_t>(last + 1)] ==
                                PlainToDocument[static_cast<std::size_t>(first)]) {
    ++last;
  }
  const auto count = static_cast<std::int32_t>(Links.size());
  std::int32_t hit = -1;
  for (std::int32_t k = 0; k < count && hit < 0; ++k) {
    const THyperLinkInfo& link = *Links[static_cast<std::size_t>(k)];
    if (link.StartPos <= last && first < link.EndPos) hit = k;
  }
  if (hit < 0) return false;
  cpMin = Links[static_cast<std::size_t>(hit)]->StartPos;
  cpMax = Links[static_cast<std::size_t>(hit)]->EndPos;
  // Links stand in the order of their positions: the run grows over the neighbours that
  // touch it, passing over empty links, which format nothing.
  for (std::int32_t k = hit - 1; k >= 0; --k) {
    const THyperLinkInfo& link = *Links[static_cast<std::size_t>(k)];
    if (link.StartPos == link.EndPos && link.EndPos == cpMin) continue;
    if (link.EndPos != cpMin) break;
    cpMin = link.StartPos;
  }
  for (std::int32_t k = hit + 1; k < count; ++k) {
    const THyperLinkInfo& link = *Links[static_cast<std::size_t>(k)];
    if (link.StartPos == link.EndPos && link.StartPos == cpMax) continue;
    if (link.StartPos != cpMax) break;
    cpMax = link.EndPos;
  }
  return true;
}

void THyperLinkView::changeEvent(QEvent* event) {
  QTextEdit::changeEvent(event);
  // The normal text follows the font's colour; link runs keep their format.
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
    ApplyFormatting();
  }
}

void THyperLinkView::mousePressEvent(QMouseEvent* event) {
  QTextEdit::mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  try {
    std::int32_t cpMin = 0;
    std::int32_t cpMax = 0;
    // The handler may give the view another text: nothing of it is touched afterwards.
    if (LinkRunAt(event->position().toPoint(), cpMin, cpMax)) FireLink(cpMin, cpMax);
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError("Unknown error");
  }
}

void THyperLinkView::mouseMoveEvent(QMouseEvent* event) {
  QTextEdit::mouseMoveEvent(event);
  std::int32_t cpMin = 0;
  std::int32_t cpMax = 0;
  const bool overLink = LinkRunAt(event->position().toPoint(), cpMin, cpMax);
  viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::ArrowCursor);
}
