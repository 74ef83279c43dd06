#include "app/hyperlinkparse.h"

#include <utility>

#include "model/core.h"

THyperLinkInfo::THyperLinkInfo(std::int32_t StartPos, std::int32_t EndPos, std::string LinkId)
    : StartPos(StartPos), EndPos(EndPos), LinkId(std::move(LinkId)) {}

bool THyperLinkInfo::Matches(std::int32_t cpMin, std::int32_t cpMax) const {
  return cpMin == StartPos && cpMax == EndPos;
}

THyperText::~THyperText() {
  ClearLinks();
}

void THyperText::SetHyperText(const std::string& Value) {
  if (Value == FHyperText) return;
  FHyperText = Value;
  FPlainText.clear();
  ClearLinks();
  TParseState state;
  while (state.Pos < FHyperText.size()) {
    ParseToken(state);
    if (state.Closed) {
      state.Closed = false;
      AddLink(state.StartPos, state.EndPos, state.LinkId);
    }
  }
  // A link still open at the end is dropped: its text stays as ordinary text.
  ApplyFormatting();
}

void THyperText::ParseToken(TParseState& state) {
  const std::string& text = FHyperText;
  const std::size_t size = text.size();
  // Copies the current character, or the one after an escaping backslash (a final
  // backslash is dropped), and steps past it.
  auto copyCharacter = [&](std::string& to) {
    if (text[state.Pos] == '\\') {
      ++state.Pos;
      if (state.Pos >= size) return;
    }
    to += text[state.Pos];
    ++state.Pos;
  };

  if (text[state.Pos] != '<') {
    while (state.Pos < size && text[state.Pos] != '<') copyCharacter(FPlainText);
    return;
  }

  const auto length = static_cast<std::int32_t>(FPlainText.size());
  ++state.Pos;
  if (state.Pos >= size) return;
  if (text[state.Pos] == '/' && state.InLink) {
    state.InLink = false;
    state.EndPos = length;
    state.Closed = true;
  }
  std::string body;
  while (state.Pos < size && text[state.Pos] != '>') copyCharacter(body);
  if (!state.Closed && !state.InLink) {
    state.LinkId = std::move(body);
    state.InLink = true;
    state.StartPos = length;
  }
  ++state.Pos;
}

void THyperText::AddLink(std::int32_t StartPos, std::int32_t EndPos, const std::string& LinkId) {
  Links.push_back(std::make_unique<THyperLinkInfo>(StartPos, EndPos, LinkId));
}

void THyperText::DeleteLink(const THyperLinkInfo* link) {
  for (auto it = Links.end(); it != Links.begin();) {
    --it;
    if (it->get() == link) {
      Links.erase(it);
      return;
    }
  }
}

void THyperText::ClearLinks() {
  // All at once: deleting entry 0 one by one would take quadratic time on long texts.
  Links.clear();
}

THyperLinkInfo* THyperText::GetLink(std::int32_t i) const {
  if (i < 0 || i >= LinkCount()) RaiseListIndexError(i);
  return Links[static_cast<std::size_t>(i)].get();
}

void THyperText::FireLink(std::int32_t cpMin, std::int32_t cpMax) {
  if (!OnHyperlinkClicked) return;
  for (const auto& link : Links) {
    if (!link->Matches(cpMin, cpMax)) continue;
    // Copies: the handler may give this object another text, or another handler.
    const TLinkClicked handler = OnHyperlinkClicked;
    const std::string linkId = link->LinkId;
    handler(this, linkId);
    return;
  }
}
