#include "tests/support/graph_support.h"

SchemeEventLog::SchemeEventLog(TScheme& Scheme) : Scheme(Scheme) {
  Scheme.OnNewElement = [this](TScheme*, int32_t X, int32_t Y) {
    Events.push_back("new element " + std::to_string(X) + "," + std::to_string(Y));
  };
  Scheme.OnRemoveElement = [this](TScheme*, TSchemeElement* Element) {
    Events.push_back("remove element " + Label(Element));
  };
  Scheme.OnAddLink = [this](TScheme*, TSchemeLink* Link) {
    Events.push_back("add link " + LinkLabel(Link));
  };
  Scheme.OnRemoveLink = [this](TScheme*, TSchemeLink* Link) {
    Events.push_back("remove link " + LinkLabel(Link));
  };
  Scheme.OnModeChange = [this](TScheme*, TSchemeMode Old, TSchemeMode New) {
    Events.push_back("mode " + std::to_string(Old) + "->" + std::to_string(New));
  };
  Scheme.OnSelectionChange = [this](TScheme*) { Events.push_back("selection"); };
}

SchemeEventLog::~SchemeEventLog() {
  Scheme.OnNewElement = nullptr;
  Scheme.OnRemoveElement = nullptr;
  Scheme.OnAddLink = nullptr;
  Scheme.OnRemoveLink = nullptr;
  Scheme.OnModeChange = nullptr;
  Scheme.OnSelectionChange = nullptr;
}

std::string SchemeEventLog::Label(const void* Object) const {
  const auto Found = Labels.find(Object);
  return Found == Labels.end() ? "?" : Found->second;
}

std::string SchemeEventLog::LinkLabel(const TSchemeLink* Link) const {
  const auto End = [this](const TSchemeConnectionPoint* Point) {
    return Point == nullptr ? std::string("-") : Label(Point->Element());
  };
  return End(Link->Source()) + "->" + End(Link->Target());
}
