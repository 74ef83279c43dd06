#pragma once

// Fixtures of the engine tests: a scheme written with the section writers and loaded the way
// the start-up loads it (template, flow graph, stamp, price list, then the link map), a
// screen form that lets a test look at the run each time a screen is shown, a locale of fixed
// dates, and the engine on a loaded scheme with both scripted forms.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/locale.h"
#include "engine/runtime.h"
#include "graph/visual.h"
#include "tests/support/expr_support.h"
#include "tests/support/loaded_scheme.h"
#include "tests/support/scripted_forms.h"
#include "tools/graphwriter.h"
#include "tools/pricelistwriter.h"
#include "tools/templatewriter.h"

// A product record with a code and a name in language 0.
ProductRecord Product(const std::string& code, const std::string& name = "");

// Runs OnShow each time a screen is shown, before the script plays.
class ObservedScreenForm : public TScriptedScreenForm {
 public:
  int ShowModal() override {
    if (OnShow) OnShow();
    return TScriptedScreenForm::ShowModal();
  }
  std::function<void()> OnShow;
};

// Today and the program file's date fixed; installed while it lives.
class FixedDateLocale : public TUserLocale {
 public:
  explicit FixedDateLocale(char separator = '.');
  ~FixedDateLocale() override;
  FixedDateLocale(const FixedDateLocale&) = delete;
  FixedDateLocale& operator=(const FixedDateLocale&) = delete;

  char DecimalSeparator() const override { return Separator; }
  TCalendarDate Today() const override { return TodayDate; }
  bool ProgramFileDate(TCalendarDate& Date) const override {
    if (HasFileDate) Date = FileDate;
    return HasFileDate;
  }

  char Separator;
  TCalendarDate TodayDate{2026, 3, 5};
  TCalendarDate FileDate{2025, 11, 30};
  bool HasFileDate = true;

 private:
  TUserLocale* Previous;
};

// The engine on a loaded scheme with both scripted forms; messages are recorded.
class EngineRun {
 public:
  explicit EngineRun(const SchemeParts& parts);
  ~EngineRun();

  // Start, then Run.
  void StartAndRun();
  // The names of the history's elements: "start", "finish", "screen 0", "action 1",
  // "decision 0".
  std::vector<std::string> HistoryNames() const;
  // At each showing of a screen, in order: the screen's name, the history's names, the
  // quantities and whether Back was enabled.
  std::vector<std::string> Shown;
  std::vector<std::vector<std::string>> HistoriesShown;
  std::vector<std::vector<std::string>> QuantitiesShown;
  std::vector<bool> BackEnabledShown;

  RecordingMessageWindow Messages;
  FixedDateLocale Locale;
  LoadedScheme Scheme;
  ObservedScreenForm ScreenForm;
  TScriptedReportForm ReportForm;
  TSpecRunTime RunTime;
};

// The name HistoryNames gives an element.
std::string ElementName(const TSpecTemplate& templ, const TSpecObject* element);
