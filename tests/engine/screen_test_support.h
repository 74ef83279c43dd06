#pragma once

// A small scheme built in place, an engine on it and the scripted forms, for the tests of the
// screen step, the answers and the saved state. The scheme's objects are made through the
// model's own operations and joined by link records, so each test states only the questions,
// answers and links it needs.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/runtime.h"
#include "model/pricelist.h"
#include "tests/support/expr_support.h"
#include "tests/support/scripted_forms.h"

class EngineFixture {
 public:
  // The stamp that SchemeStamp holds while the fixture lives.
  static constexpr std::int32_t kStamp = 5;

  EngineFixture();
  ~EngineFixture();
  EngineFixture(const EngineFixture&) = delete;
  EngineFixture& operator=(const EngineFixture&) = delete;

  TSpecVariable* Variable(const std::string& name, TValueType type = vtString,
                          const std::string& value = "");
  TSpecQuestion* Question(const std::string& title, std::uint8_t kind,
                          TSpecVariable* variable = nullptr, const std::string& hint = "");
  TSpecAnswer* Answer(TSpecQuestion* question, const std::string& title, const std::string& value,
                      const std::string& condition = "", const std::string& hint = "");
  TSpecScreen* Screen(const std::string& title, const std::vector<TSpecQuestion*>& questions,
                      const std::string& description = "");
  TSpecProduct* Product(const std::string& code);
  TSpecAction* AddProduct(const std::string& code, const std::string& quantity);
  // A decision point with one conditional option (index 0) before its default option (1).
  TSpecDecisionPoint* Decision(const std::string& condition);

  // A link record from a start, screen, action or option to a finish, screen, action or
  // decision point.
  void Link(TSpecObject* from, TSpecObject* to);
  // Links the elements in a chain: each to the next.
  void Chain(const std::vector<TSpecObject*>& elements);

  // Starts a run on the scripted forms and steps it until it is finished.
  void Run();

  // The lines of the form's log that make or fit controls on question panel `panel`.
  std::vector<std::string> PanelLog(int panel) const;
  // The control of a kind on a panel of the form as the engine left it.
  TScriptedControl* Control(int panel, TFormControlKind kind, int nth = 0) const;
  // The stored value of a variable.
  std::string Value(const std::string& name) const { return RunTime.Transition->GetValue(name); }

  TSpecTemplate Template;
  TSpecLinkMap LinkMap{&Template};
  TSpecRunTime RunTime{&Template, &LinkMap};
  TScriptedScreenForm Form;
  TScriptedReportForm Report;
  RecordingMessageWindow Messages;

 private:
  std::int32_t PreviousStamp;
};
