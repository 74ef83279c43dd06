#pragma once

// The five kinds of flow-graph element, each standing for one object of the scheme model
// (not owned: the template owns it), and the reader of the scheme's graph section.
//
// Telling the kinds apart: dynamic_cast an element to TSpecStartElement, TSpecFinishElement,
// TSpecScreenElement, TSpecActionElement or TSpecDecisionElement and read its typed Model(),
// or take ElementModel() and its ObjectKind(). On a decision element, output point k belongs
// to option k of its decision point: for a link leaving it,
// Element->IndexOfOutputPoint(Link->Source()) is the chosen option's index in the decision
// point's Options.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graph/visual.h"

class TSpecDataReader;
class TSpecTemplate;
class TSpecObject;
class TSpecStart;
class TSpecFinish;
class TSpecScreen;
class TSpecAction;
class TSpecDecisionPoint;
class TSpecOption;

// The start marker: 40 x 40 with one output point at its centre.
class TSpecStartElement : public TSchemeElement {
 public:
  static TSchemeElementPtr<TSpecStartElement> Create(TScheme* Scheme);

  TSpecStart* Model() const { return FModel; }
  void SetModel(TSpecStart* Model) { FModel = Model; }
  void Draw(TSchemeCanvas& Canvas) override;

 protected:
  explicit TSpecStartElement(TScheme* Scheme) : TSchemeElement(Scheme) {}
  void Initialize() override;
  void CreateConnectionPoints() override;

 private:
  TSpecStart* FModel = nullptr;
};

// The finish marker: 40 x 40 with one input point at its centre.
class TSpecFinishElement : public TSchemeElement {
 public:
  static TSchemeElementPtr<TSpecFinishElement> Create(TScheme* Scheme);

  TSpecFinish* Model() const { return FModel; }
  void SetModel(TSpecFinish* Model) { FModel = Model; }
  void Draw(TSchemeCanvas& Canvas) override;

 protected:
  explicit TSpecFinishElement(TScheme* Scheme) : TSchemeElement(Scheme) {}
  void Initialize() override;
  void CreateConnectionPoints() override;

 private:
  TSpecFinish* FModel = nullptr;
};

// A screen: 120 wide, one row of 20 per question below a 40-high frame; input point at the
// top centre, output point at the bottom centre.
class TSpecScreenElement : public TSchemeElement {
 public:
  static TSchemeElementPtr<TSpecScreenElement> Create(TScheme* Scheme);

  TSpecScreen* Model() const { return FModel; }
  void SetModel(TSpecScreen* Model) { FModel = Model; }
  void Draw(TSchemeCanvas& Canvas) override;
  // Sizes the element to its screen's questions (40 high without a model).
  void Refresh();

  bool SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) override;

 protected:
  explicit TSpecScreenElement(TScheme* Scheme) : TSchemeElement(Scheme) {}
  void Initialize() override;

 private:
  TSpecScreen* FModel = nullptr;
};

// An action: 120 x 40, input point at the top centre, output point at the bottom centre.
class TSpecActionElement : public TSchemeElement {
 public:
  static TSchemeElementPtr<TSpecActionElement> Create(TScheme* Scheme);

  TSpecAction* Model() const { return FModel; }
  void SetModel(TSpecAction* Model) { FModel = Model; }
  void Draw(TSchemeCanvas& Canvas) override;
  void Refresh();

  bool SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) override;

 protected:
  explicit TSpecActionElement(TScheme* Scheme) : TSchemeElement(Scheme) {}
  void Initialize() override;

 private:
  TSpecAction* FModel = nullptr;
};

// The graph section's decision elements would make more option points than the scheme holds.
inline constexpr const char* kTooManyOptionPoints =
    "Flow graph names its decision points too often.";

class TSpecDecisionElement;

// Ties one option of a decision point to its output point on the decision element.
class TSpecOptionInfo final {
 public:
  // Deletes its output point, and with it the point's link.
  ~TSpecOptionInfo();
  TSpecOptionInfo(const TSpecOptionInfo&) = delete;
  TSpecOptionInfo& operator=(const TSpecOptionInfo&) = delete;

  TSpecOption* Option() const { return FOption; }
  TSchemeConnectionPoint* Point() const { return FPoint; }
  TSpecDecisionElement* Element() const { return FElement; }

  // Puts the point on the element's right edge, level with the info's row.
  void UpdatePosition();
  // "Default" for the default option, else the condition's expression text.
  std::string GetCaption() const;

 private:
  friend class TSpecDecisionElement;
  TSpecOptionInfo(TSpecDecisionElement* Element, TSpecOption* Option);
  // UpdatePosition for an info known to stand at that index of the element's options.
  void PlaceAtRow(int32_t Row);

  TSpecOption* FOption;
  TSchemeConnectionPoint* FPoint;
  TSpecDecisionElement* FElement;
};

// A decision point: 120 wide, one row of 20 per option below a 40-high frame; input point at
// the top centre and one output point per option on the right edge, in option order.
class TSpecDecisionElement : public TSchemeElement {
 public:
  static TSchemeElementPtr<TSpecDecisionElement> Create(TScheme* Scheme);
  ~TSpecDecisionElement() override;

  // Removes the option infos (their points and links) before the rest of the element.
  void Detach() override;

  TSpecDecisionPoint* Model() const { return FModel; }
  void SetModel(TSpecDecisionPoint* Model) { FModel = Model; }
  void Draw(TSchemeCanvas& Canvas) override;
  // Brings the option infos in line with the model's options, then sizes the element.
  void Refresh();

  bool SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) override;

  int32_t OptionCount() const { return static_cast<int32_t>(FOptions.size()); }
  TSpecOptionInfo* Options(int32_t Index) const;
  int32_t IndexOfOption(const TSpecOption* Option) const;
  TSpecOptionInfo* AddOption(TSpecOption* Option);
  void RemoveOption(TSpecOptionInfo* Info);
  void SyncOptionOrder(TSpecOption* Option);
  void SyncOptions();
  void ClearOptions();

 protected:
  explicit TSpecDecisionElement(TScheme* Scheme) : TSchemeElement(Scheme) {}
  void Initialize() override;
  // The input point only: output points come with the options.
  void CreateConnectionPoints() override;

 private:
  friend class TSpecOptionInfo;
  int32_t IndexOfInfo(const TSpecOptionInfo* Info) const;

  TSpecDecisionPoint* FModel = nullptr;
  TSchemeList<std::unique_ptr<TSpecOptionInfo>> FOptions;
};

// The model object of a typed element, or null (a base element, or no model set).
TSpecObject* ElementModel(const TSchemeElement* Element);

// Reads the graph section of a scheme into a scheme: element records (kind, index into the
// template's lists, position), link records and the scroll position.
class TSpecSchemeManager {
 public:
  TSpecSchemeManager(TScheme* Scheme, TSpecTemplate* Template)
      : FScheme(Scheme), FTemplate(Template) {}

  TScheme* Scheme() const { return FScheme; }
  TSpecTemplate* Template() const { return FTemplate; }

  // Clears the scheme's links and elements, then reads the section from the stream's current
  // position. Any failure raises ("Read beyond the end.", "List index out of bounds (%d)",
  // EAbort for a second link from one output point); what was read before it stays in the
  // scheme.
  void LoadFromStream(TSpecDataReader& Stream);

 private:
  TScheme* FScheme;
  TSpecTemplate* FTemplate;
};
