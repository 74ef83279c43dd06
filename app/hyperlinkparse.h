#pragma once

// The plain side of the hypertext control: the mark-up parser, the link list and the firing
// of a pressed link. No window is involved, so the logic is tested and fuzzed on its own; the
// view (app/HyperLinkView.h) shows the result.
//
// Mark-up: a link is an opening tag holding the link id between "<" and ">", the link text
// and a closing tag, any tag whose first character is "/" ("</>" by convention). Links do not
// nest; a backslash makes the next character literal. Tags add nothing to the text shown.
// Every text parses. Texts are Windows-1251 bytes: positions count bytes.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One link of a text: [StartPos, EndPos) in the plain text, and the id of its opening tag.
class THyperLinkInfo {
 public:
  THyperLinkInfo(std::int32_t StartPos, std::int32_t EndPos, std::string LinkId);
  virtual ~THyperLinkInfo() = default;

  // True exactly when the range is the link's own.
  bool Matches(std::int32_t cpMin, std::int32_t cpMax) const;

  std::int32_t StartPos;
  std::int32_t EndPos;
  std::string LinkId;
};

class THyperText;

// The click event: the control whose link was pressed and the link's id.
using TLinkClicked = std::function<void(THyperText* Sender, const std::string& aLinkId)>;

// The mark-up, the text it shows and its links. The view derives from it and reformats in
// ApplyFormatting whenever the text changes.
class THyperText {
 public:
  THyperText() = default;
  virtual ~THyperText();
  THyperText(const THyperText&) = delete;
  THyperText& operator=(const THyperText&) = delete;

  const std::string& HyperText() const { return FHyperText; }
  // An equal text (exact comparison) changes nothing; another one is stored and parsed into
  // PlainText and Links, then ApplyFormatting runs.
  void SetHyperText(const std::string& Value);
  const std::string& PlainText() const { return FPlainText; }

  void AddLink(std::int32_t StartPos, std::int32_t EndPos, const std::string& LinkId);
  // Removes and frees the link (found by identity from the last entry); an unknown one is
  // ignored.
  void DeleteLink(const THyperLinkInfo* link);
  void ClearLinks();
  // Raises the list's index error outside the list.
  THyperLinkInfo* GetLink(std::int32_t i) const;
  std::int32_t LinkCount() const { return static_cast<std::int32_t>(Links.size()); }

  // Calls OnHyperlinkClicked with the id of the first link whose range is exactly
  // [cpMin, cpMax); any other range, or no handler, fires nothing. The handler may replace
  // this object's text: nothing of it is used once the handler is called.
  void FireLink(std::int32_t cpMin, std::int32_t cpMax);

  TLinkClicked OnHyperlinkClicked;
  // In the order in which the closing tags stand in the mark-up, which is also the order of
  // their positions: links never overlap.
  std::vector<std::unique_ptr<THyperLinkInfo>> Links;

 protected:
  // Shows PlainText with the link runs formatted; nothing to do without a window.
  virtual void ApplyFormatting() {}

 private:
  // Parser state of one SetHyperText.
  struct TParseState {
    std::size_t Pos = 0;
    bool InLink = false;
    bool Closed = false;
    std::string LinkId;
    std::int32_t StartPos = 0;
    std::int32_t EndPos = 0;
  };
  void ParseToken(TParseState& state);

  std::string FHyperText;
  std::string FPlainText;
};
