#pragma once

// Fixtures of the report tests: a small scheme root built in memory with the products and
// variables a case needs; the spreadsheet and its platform come from excel_fakes.h.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/locale.h"
#include "expr/typecvt.h"
#include "model/core.h"
#include "model/report.h"
#include "tests/report/excel_fakes.h"

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

// The cell of a report row, in a band that has the row already.
TSpecReportCell* CellOf(TSpecReport* report, int band, int row, int column);
// Gives a cell its formula, data type and data format.
void SetText(TSpecReportCell* cell, const std::string& formula, std::uint8_t type = cdAuto,
             const std::string& format = "");

// Registers the program "C:\Office\EXCEL.EXE" for ".xls" with the hooks and lets it exist.
void RegisterExcelProgram(ScopedExcelHooks& hooks);

// Installs a user locale of that decimal separator while it lives: the client, the program's
// spreadsheet and the value texts all follow it.
class SeparatorLocale : public TUserLocale {
 public:
  explicit SeparatorLocale(char separator);
  ~SeparatorLocale() override;
  SeparatorLocale(const SeparatorLocale&) = delete;
  SeparatorLocale& operator=(const SeparatorLocale&) = delete;
  char DecimalSeparator() const override { return Separator; }

 private:
  char Separator;
  TUserLocale* Previous;
};
