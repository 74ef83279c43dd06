// The link map: every graph link as a record of model references by kind and index.
#include "engine/runtime.h"

#include <cstdint>
#include <typeinfo>
#include <vector>

#include "graph/elements.h"
#include "graph/visual.h"

namespace {

// The element that owns one end of a link; nullptr for a missing point.
const TSchemeElement* EndElement(const TSchemeConnectionPoint* Point) {
  return Point ? Point->Element() : nullptr;
}

// The template's own look-ups by object, each a scan from the last element.
class TemplateLookUp {
 public:
  explicit TemplateLookUp(const TSpecTemplate& Template) : Template(Template) {}
  int Screen(const TSpecScreen* Screen) const { return Template.IndexOfScreen(Screen); }
  int Action(const TSpecAction* Action) const { return Template.IndexOfAction(Action); }
  int DecisionPoint(const TSpecDecisionPoint* DecisionPoint) const {
    return Template.IndexOfDecisionPoint(DecisionPoint);
  }

 private:
  const TSpecTemplate& Template;
};

// The same answers from tables made once for a whole map, so that resolving every link of a
// large graph does not scan the template's lists for each of its ends. Each object is listed
// once; were it listed twice, the later index would stand, as in the scan from the last.
class IndexedLookUp {
 public:
  explicit IndexedLookUp(const TSpecTemplate& Template)
      : Table(TableSize(static_cast<std::size_t>(Template.ScreenCount()) +
                        static_cast<std::size_t>(Template.ActionCount()) +
                        static_cast<std::size_t>(Template.DecisionPointCount()))) {
    for (int i = 0; i < Template.ScreenCount(); ++i) Insert(Template.Screens(i), lkScreen, i);
    for (int i = 0; i < Template.ActionCount(); ++i) Insert(Template.Actions(i), lkAction, i);
    for (int i = 0; i < Template.DecisionPointCount(); ++i)
      Insert(Template.DecisionPoints(i), lkDecisionPoint, i);
  }
  // One table serves the three lists; an entry answers only for its own list.
  int Screen(const TSpecScreen* Screen) const { return Find(Screen, lkScreen); }
  int Action(const TSpecAction* Action) const { return Find(Action, lkAction); }
  int DecisionPoint(const TSpecDecisionPoint* DecisionPoint) const {
    return Find(DecisionPoint, lkDecisionPoint);
  }

 private:
  struct Entry {
    const void* Object = nullptr;
    std::uint8_t List = 0;
    int Index = -1;
  };

  // A power of two at least twice the entries, so that every probe ends at an empty slot.
  static std::size_t TableSize(std::size_t entries) {
    std::size_t size = 16;
    while (size < 2 * entries) size *= 2;
    return size;
  }
  std::size_t Slot(const void* object) const {
    // The address bits above the allocation alignment, spread by a multiplication.
    const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(object));
    return static_cast<std::size_t>(((bits >> 4) * 0x9E3779B97F4A7C15ull) >> 32) &
           (Table.size() - 1);
  }
  void Insert(const void* object, std::uint8_t list, int index) {
    if (!object) return;
    for (std::size_t slot = Slot(object);; slot = (slot + 1) & (Table.size() - 1)) {
      Entry& entry = Table[slot];
      if (entry.Object == nullptr || (entry.Object == object && entry.List == list)) {
        entry = {object, list, index};
        return;
      }
    }
  }
  int Find(const void* object, std::uint8_t list) const {
    if (!object) return -1;
    for (std::size_t slot = Slot(object);; slot = (slot + 1) & (Table.size() - 1)) {
      const Entry& entry = Table[slot];
      if (entry.Object == object && entry.List == list) return entry.Index;
      if (entry.Object == nullptr) return -1;
    }
  }

  std::vector<Entry> Table;
};

// The class of a graph element among the five typed ones. The exact classes are told apart by
// their type alone; anything else (a class derived from one of them, or none of them) by the
// casts, which answer the same for the exact classes.
enum class ElementClass { Start, Finish, Screen, Action, Decision, Other };

ElementClass ClassOf(const TSchemeElement* Element) {
  if (!Element) return ElementClass::Other;
  const std::type_info& type = typeid(*Element);
  if (type == typeid(TSpecActionElement)) return ElementClass::Action;
  if (type == typeid(TSpecDecisionElement)) return ElementClass::Decision;
  if (type == typeid(TSpecScreenElement)) return ElementClass::Screen;
  if (type == typeid(TSpecStartElement)) return ElementClass::Start;
  if (type == typeid(TSpecFinishElement)) return ElementClass::Finish;
  // The five classes are unrelated siblings: at most one cast succeeds.
  if (dynamic_cast<const TSpecStartElement*>(Element)) return ElementClass::Start;
  if (dynamic_cast<const TSpecFinishElement*>(Element)) return ElementClass::Finish;
  if (dynamic_cast<const TSpecScreenElement*>(Element)) return ElementClass::Screen;
  if (dynamic_cast<const TSpecActionElement*>(Element)) return ElementClass::Action;
  if (dynamic_cast<const TSpecDecisionElement*>(Element)) return ElementClass::Decision;
  return ElementClass::Other;
}

// Fills the record from the link's source and target elements, the model objects' indexes
// taken from Indexes. An element of another class leaves its side as it was.
template <typename LookUp>
void FillFromSchemeLink(TSpecLink& Record, const TSchemeLink* Link, const LookUp& Indexes) {
  const TSchemeElement* source = EndElement(Link->Source());
  switch (ClassOf(source)) {
    case ElementClass::Start:
      Record.SourceKind = lkStartOrFinish;
      Record.SourceOption = 0;
      break;
    case ElementClass::Screen:
      Record.SourceKind = lkScreen;
      Record.SourceIndex = Indexes.Screen(static_cast<const TSpecScreenElement*>(source)->Model());
      Record.SourceOption = 0;
      break;
    case ElementClass::Action:
      Record.SourceKind = lkAction;
      Record.SourceIndex = Indexes.Action(static_cast<const TSpecActionElement*>(source)->Model());
      Record.SourceOption = 0;
      break;
    case ElementClass::Decision: {
      auto* decision = static_cast<const TSpecDecisionElement*>(source);
      Record.SourceKind = lkDecisionPoint;
      Record.SourceIndex = Indexes.DecisionPoint(decision->Model());
      // Output point k of a decision element belongs to option k of its decision point.
      Record.SourceOption = decision->IndexOfOutputPoint(Link->Source());
      break;
    }
    default:
      break;
  }

  const TSchemeElement* target = EndElement(Link->Target());
  switch (ClassOf(target)) {
    case ElementClass::Finish:
      Record.TargetKind = lkStartOrFinish;
      break;
    case ElementClass::Screen:
      Record.TargetKind = lkScreen;
      Record.TargetIndex = Indexes.Screen(static_cast<const TSpecScreenElement*>(target)->Model());
      break;
    case ElementClass::Action:
      Record.TargetKind = lkAction;
      Record.TargetIndex = Indexes.Action(static_cast<const TSpecActionElement*>(target)->Model());
      break;
    case ElementClass::Decision:
      Record.TargetKind = lkDecisionPoint;
      Record.TargetIndex =
          Indexes.DecisionPoint(static_cast<const TSpecDecisionElement*>(target)->Model());
      break;
    default:
      break;
  }
}

}  // namespace

void TSpecLink::LoadFromSchemeLink(const TSchemeLink* Link) {
  FillFromSchemeLink(*this, Link, TemplateLookUp(*Template));
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
  Links.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
  const IndexedLookUp indexes(*Template);
  for (std::int32_t i = 0; i < count; ++i) FillFromSchemeLink(*Add(), Scheme->Links(i), indexes);
  Built = true;
}

TSpecLink* TSpecLinkMap::FindLinkFrom(const TSpecObject* Element) const {
  if (!Built) return ScanLinkFrom(Element);
  if (!Indexed || IndexedCount != Links.size()) IndexLinks();
  const auto found = LastLinkFrom.find(Element);
  const int position = found == LastLinkFrom.end() ? -1 : found->second;
  if (LastUnresolved > position) {
    // The scan reaches this link first and stops with the error its source raises.
    Links[static_cast<std::size_t>(LastUnresolved)]->GetSource();
    // It resolves now: the template changed since the index was made.
    Indexed = false;
    return ScanLinkFrom(Element);
  }
  return position < 0 ? nullptr : Links[static_cast<std::size_t>(position)].get();
}

TSpecLink* TSpecLinkMap::ScanLinkFrom(const TSpecObject* Element) const {
  for (std::size_t i = Links.size(); i-- > 0;) {
    if (SameElement(Links[i]->GetSource(), Element)) return Links[i].get();
  }
  return nullptr;
}

void TSpecLinkMap::IndexLinks() const {
  LastLinkFrom.clear();
  LastLinkFrom.reserve(Links.size());
  LastUnresolved = -1;
  for (std::size_t i = 0; i < Links.size(); ++i) {
    const TSpecObject* source = nullptr;
    try {
      source = Links[i]->GetSource();
    } catch (...) {
      // Raised again by the searches that reach this link.
      LastUnresolved = static_cast<int>(i);
      continue;
    }
    // A later link of the same source takes its place, as the scan from the end finds it first.
    LastLinkFrom.insert_or_assign(source, static_cast<int>(i));
  }
  IndexedCount = Links.size();
  Indexed = true;
}

TSpecLink* TSpecLinkMap::Items(int Index) const {
  if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
  return Links[static_cast<std::size_t>(Index)].get();
}

TSpecLink* TSpecLinkMap::Add() {
  // The record is filled by the caller: until the next Build, searches scan.
  Built = false;
  Links.push_back(std::make_unique<TSpecLink>(Template));
  return Links.back().get();
}

void TSpecLinkMap::Delete(int Index) {
  if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
  Links.erase(Links.begin() + Index);
  Indexed = false;
}

void TSpecLinkMap::Clear() {
  // Deleting from the front, one at a time, as every owned list of the model clears.
  for (auto& link : Links) link.reset();
  Links.clear();
  Indexed = false;
}
