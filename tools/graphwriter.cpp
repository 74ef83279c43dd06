#include "tools/graphwriter.h"

#include <algorithm>

#include "tools/templatewriter.h"

namespace {

bool MakesElement(std::uint8_t kind) {
  return kind <= gkDecision;
}

bool HasIndex(std::uint8_t kind) {
  return kind == gkScreen || kind == gkAction || kind == gkDecision;
}

// Layout of the generated graph: the main path downwards, side actions to its right.
constexpr std::int32_t kPathLeft = 200;
constexpr std::int32_t kSideLeft = 400;
constexpr std::int32_t kSideStep = 160;
constexpr std::int32_t kTop = 20;
constexpr std::int32_t kRowStep = 140;

}  // namespace

std::int32_t GraphSection::Add(const GraphElementRecord& element) {
  Elements.push_back(element);
  if (!MakesElement(element.Kind)) return -1;
  return static_cast<std::int32_t>(
             std::count_if(Elements.begin(), Elements.end(),
                           [](const GraphElementRecord& e) { return MakesElement(e.Kind); })) -
         1;
}

void GraphSection::Link(std::int32_t from, std::uint16_t fromPoint, std::int32_t to,
                        std::uint16_t toPoint) {
  Links.push_back({from, fromPoint, to, toPoint});
}

void WriteGraphElement(SchemeWriter& out, const GraphElementRecord& element) {
  out.Byte(element.Kind);
  if (!MakesElement(element.Kind)) return;
  if (HasIndex(element.Kind)) out.Word(element.Index);
  out.Int(element.Left).Int(element.Top);
}

void WriteGraphLink(SchemeWriter& out, const GraphLinkRecord& link) {
  out.Int(link.FromElement).Word(link.FromPoint).Int(link.ToElement).Word(link.ToPoint);
}

void WriteGraph(SchemeWriter& out, const GraphSection& section) {
  out.IntCount(section.Elements.size());
  for (const GraphElementRecord& element : section.Elements) WriteGraphElement(out, element);
  out.IntCount(section.Links.size());
  for (const GraphLinkRecord& link : section.Links) WriteGraphLink(out, link);
  out.Int(section.ScrollX).Int(section.ScrollY);
}

void WriteSchemeStamp(SchemeWriter& out, std::int32_t stamp) {
  out.Int(stamp);
}

GraphSection ChainedFlowGraph(const TemplateRecord& templ) {
  GraphSection graph;
  const auto screens =
      static_cast<std::uint16_t>(std::min<std::size_t>(templ.Screens.size(), 0xFFFF));
  const auto decisions =
      static_cast<std::uint16_t>(std::min<std::size_t>(templ.DecisionPoints.size(), 0xFFFF));
  const auto actions =
      static_cast<std::uint16_t>(std::min<std::size_t>(templ.Actions.size(), 0xFFFF));

  const std::int32_t start = graph.Add({.Kind = gkStart, .Left = kPathLeft, .Top = kTop});
  const std::int32_t finish = graph.Add({.Kind = gkFinish, .Left = 0, .Top = kTop});

  // The main path, in order, with the decision points' side actions recorded as they are
  // handed out.
  struct Step {
    std::int32_t Element;
    bool Decision;
    std::uint16_t Index;
  };
  std::vector<Step> path;
  std::int32_t row = 1;
  auto addToPath = [&](std::uint8_t kind, std::uint16_t index) {
    const std::int32_t element = graph.Add(
        {.Kind = kind, .Index = index, .Left = kPathLeft, .Top = kTop + kRowStep * row++});
    path.push_back({element, kind == gkDecision, index});
  };
  for (std::uint16_t i = 0; i < std::max(screens, decisions); ++i) {
    if (i < screens) addToPath(gkScreen, i);
    if (i < decisions) addToPath(gkDecision, i);
  }

  // Side actions: decision point d's conditions in file order take the next unused actions.
  struct Side {
    std::int32_t Element;
    std::size_t PathStep;
    std::uint16_t Option;
  };
  std::vector<Side> sides;
  std::uint16_t nextAction = 0;
  for (std::size_t step = 0; step < path.size(); ++step) {
    if (!path[step].Decision) continue;
    const std::size_t conditions = templ.DecisionPoints[path[step].Index].Conditions.size();
    for (std::size_t file = 0; file < conditions && nextAction < actions; ++file) {
      const std::int32_t left = kSideLeft + kSideStep * static_cast<std::int32_t>(file);
      const std::int32_t element =
          graph.Add({.Kind = gkAction,
                     .Index = nextAction++,
                     .Left = left,
                     .Top = graph.Elements[static_cast<std::size_t>(path[step].Element)].Top});
      sides.push_back({element, step, static_cast<std::uint16_t>(conditions - 1 - file)});
    }
  }
  while (nextAction < actions) addToPath(gkAction, nextAction++);
  graph.Elements[static_cast<std::size_t>(finish)].Left = kPathLeft;
  graph.Elements[static_cast<std::size_t>(finish)].Top = kTop + kRowStep * row;

  auto after = [&](std::size_t step) {
    return step + 1 < path.size() ? path[step + 1].Element : finish;
  };
  graph.Link(start, 0, path.empty() ? finish : path[0].Element);
  for (std::size_t step = 0; step < path.size(); ++step) {
    if (!path[step].Decision) {
      graph.Link(path[step].Element, 0, after(step));
      continue;
    }
    const std::size_t options = templ.DecisionPoints[path[step].Index].Conditions.size() + 1;
    for (std::size_t option = 0; option < options; ++option) {
      const auto side = std::find_if(sides.begin(), sides.end(), [&](const Side& s) {
        return s.PathStep == step && s.Option == option;
      });
      graph.Link(path[step].Element, static_cast<std::uint16_t>(option),
                 side != sides.end() ? side->Element : after(step));
    }
  }
  for (const Side& side : sides) graph.Link(side.Element, 0, after(side.PathStep));
  return graph;
}
