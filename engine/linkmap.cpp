// The link map: every graph link as a record of model references by kind and index.
#include "engine/runtime.h"
#include "graph/elements.h"
#include "graph/visual.h"

namespace {

// The element that owns one end of a link; nullptr for a missing point.
const TSchemeElement* EndElement(const TSchemeConnectionPoint* Point) {
  return Point ? Point->Element() : nullptr;
}

}  // namespace

void TSpecLink::LoadFromSchemeLink(const TSchemeLink* Link) {
  const TSchemeElement* source = EndElement(Link->Source());
  // The four classes are unrelated siblings: at most one test applies on each side.
  if (dynamic_cast<const TSpecStartElement*>(source)) {
    SourceKind = lkStartOrFinish;
    SourceOption = 0;
  }
  if (auto* screen = dynamic_cast<const TSpecScreenElement*>(source)) {
    SourceKind = lkScreen;
    SourceIndex = Template->IndexOfScreen(screen->Model());
    SourceOption = 0;
  }
  if (auto* action = dynamic_cast<const TSpecActionElement*>(source)) {
    SourceKind = lkAction;
    SourceIndex = Template->IndexOfAction(action->Model());
    SourceOption = 0;
  }
  if (auto* decision = dynamic_cast<const TSpecDecisionElement*>(source)) {
    SourceKind = lkDecisionPoint;
    SourceIndex = Template->IndexOfDecisionPoint(decision->Model());
    // Output point k of a decision element belongs to option k of its decision point.
    SourceOption = decision->IndexOfOutputPoint(Link->Source());
  }

  const TSchemeElement* target = EndElement(Link->Target());
  if (dynamic_cast<const TSpecFinishElement*>(target)) TargetKind = lkStartOrFinish;
  if (auto* screen = dynamic_cast<const TSpecScreenElement*>(target)) {
    TargetKind = lkScreen;
    TargetIndex = Template->IndexOfScreen(screen->Model());
  }
  if (auto* action = dynamic_cast<const TSpecActionElement*>(target)) {
    TargetKind = lkAction;
    TargetIndex = Template->IndexOfAction(action->Model());
  }
  if (auto* decision = dynamic_cast<const TSpecDecisionElement*>(target)) {
    TargetKind = lkDecisionPoint;
    TargetIndex = Template->IndexOfDecisionPoint(decision->Model());
  }
}

TSpecObject* TSpecLink::GetSource() const {
  switch (SourceKind) {
    case lkStartOrFinish:
      return Template->Start();
    case lkScreen:
      return Template->Screens(SourceIndex);
    case lkAction:
      return Template->Actions(SourceIndex);
    case lkDecisionPoint:
      return Template->DecisionPoints(SourceIndex)->Options(SourceOption);
    default:
      return nullptr;
  }
}

TSpecObject* TSpecLink::GetTarget() const {
  switch (TargetKind) {
    case lkStartOrFinish:
      return Template->Finish();
    case lkScreen:
      return Template->Screens(TargetIndex);
    case lkAction:
      return Template->Actions(TargetIndex);
    case lkDecisionPoint:
      return Template->DecisionPoints(TargetIndex);
    default:
      return nullptr;
  }
}

void TSpecLinkMap::Build(const TScheme* Scheme) {
  const std::int32_t count = Scheme->LinkCount();
  Clear();
  Links.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) Add()->LoadFromSchemeLink(Scheme->Links(i));
}

TSpecLink* TSpecLinkMap::FindLinkFrom(const TSpecObject* Element) const {
  for (std::size_t i = Links.size(); i-- > 0;) {
    if (SameElement(Links[i]->GetSource(), Element)) return Links[i].get();
  }
  return nullptr;
}

TSpecLink* TSpecLinkMap::Items(int Index) const {
  if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
  return Links[static_cast<std::size_t>(Index)].get();
}

TSpecLink* TSpecLinkMap::Add() {
  Links.push_back(std::make_unique<TSpecLink>(Template));
  return Links.back().get();
}

void TSpecLinkMap::Delete(int Index) {
  if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
  Links.erase(Links.begin() + Index);
}

void TSpecLinkMap::Clear() {
  // Deleting from the front, one at a time, as every owned list of the model clears.
  for (auto& link : Links) link.reset();
  Links.clear();
}
