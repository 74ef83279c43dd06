#pragma once

// Fixtures of the report tests: a small scheme root built in memory with the products and
// variables a case needs, a recording spreadsheet and the scripted platform around it.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "expr/typecvt.h"
#include "model/core.h"
#include "platform/dde.h"
#include "report/excel.h"

struct TestProduct {
  std::string Code = {};
  std::string Name = {};
  long double Price = 0;
  long double PriceWithTaxes = 0;
  std::int32_t OrderingIndex = 0;
  std::string CategoryCode = {};
  std::string Prefix = {};
};

struct TestVariable {
  std::string Name = {};
  TValueType Type = vtString;
  std::string Value = {};
};

// A scheme root whose price list holds the products in order and which declares the
// variables in order.
std::unique_ptr<TSpecTemplate> OfferTemplate(const std::vector<TestProduct>& products,
                                             const std::vector<TestVariable>& variables = {});

// The spreadsheet as the client sees it over DDE: a server registered as "Excel" that accepts
// the topics "System" and "[Book1]Sheet1", answers "Status" with "Ready" and "Selection" with
// "[Book1]Sheet1!R1C1", and records every command it executes. Unregisters when destroyed.
class RecordingSpreadsheet : public TDdeServer {
 public:
  RecordingSpreadsheet();
  ~RecordingSpreadsheet() override;

  bool AcceptTopic(const std::string& topic) override;
  TDdeExecuteResult Execute(const std::string& topic, const std::string& command) override;
  std::optional<std::string> Request(const std::string& topic, const std::string& item) override;

  std::vector<std::string> Commands;
  // Runs inside Execute before the command is accepted (a test looks at the program then).
  std::function<void(const std::string&)> OnExecute;
};

// The platform around the spreadsheet client, scripted: the process list, the program start,
// the class registry, the sleeps, the message box and the file tests. Installs its hooks
// while it lives.
class ScriptedExcelHost {
 public:
  ScriptedExcelHost();
  ~ScriptedExcelHost();
  ScriptedExcelHost(const ScriptedExcelHost&) = delete;
  ScriptedExcelHost& operator=(const ScriptedExcelHost&) = delete;

  // Registers the program "C:\Office\EXCEL.EXE" for ".xls" and lets it exist.
  void RegisterExcel();

  // Whether a process of the spreadsheet runs now.
  bool Running = false;
  // After a successful start, the process shows up once this many sleeps have passed; -1:
  // never.
  int AppearAfterSleeps = 0;
  std::vector<std::string> Started;
  std::vector<std::uint32_t> Sleeps;
  // "caption: text" of every box shown.
  std::vector<std::string> Boxes;
  std::set<std::string> Files;
  std::vector<std::string> Deleted;
  std::map<std::string, std::string> ClassValues;
  // Runs inside every box (a test looks at the program then).
  std::function<void()> OnBox;

 private:
  TExcelHooks Previous;
  int FSleepsSinceStart = -1;
};
