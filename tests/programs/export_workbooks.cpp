// Exports workbooks through the report exporter and the program's own spreadsheet, for the
// check that a real spreadsheet program reads them (tests/report/calc_check.py).
//
//   export_workbooks sample SCHEME SEPARATOR OUTPUT
//       the first report template of the scheme file (the sample's offer) for a fixed offer
//   export_workbooks formula SEPARATOR OUTPUT
//       a table of products whose footer sums the detail rows with an R1C1 formula, beside a
//       cell with {total} and a formula with string constants
//   export_workbooks cells SEPARATOR CELLS OUTPUT
//       one report-header row per line of the file CELLS: "<data type>\t<format>\t<formula>",
//       the data type as its number (0 Auto, 1 Text, 2 Numeric, 3 Date and Time)
//
// SEPARATOR is the user locale's decimal separator during the export, "." or ",". OUTPUT is
// the workbook's file, saved by the exporter.
#include <cstdio>
#include <exception>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/locale.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/report.h"
#include "report/repexport.h"
#include "tests/report/report_support.h"
#include "tests/support/loaded_scheme.h"

namespace {

// The separator of the command line, "." or ",".
char Separator(const std::string& text) {
  if (text != "." && text != ",") throw std::runtime_error("the separator is \".\" or \",\"");
  return text[0];
}

void Export(TSpecTemplate& templ, TSpecReport* report, const std::vector<std::string>& values,
            const std::string& output) {
  TSpecReportExporter exporter(templ.PriceList(), report);
  exporter.VariableValues = &values;
  exporter.OutputFileName = output;
  exporter.Export();
}

// The offer of the end-to-end session: a 42U cabinet with its doors, plinth, nuts, cable
// entry, power strip and cords, for the customer "Acme & Co".
void ExportSample(const std::string& scheme, const std::string& output) {
  const std::unique_ptr<LoadedScheme> loaded = LoadedScheme::FromFile(scheme);
  TSpecTemplate& templ = *loaded->Template;
  const struct {
    const char* Code;
    long double Quantity;
  } offer[] = {{"RC-42-800", 1}, {"DR-PF", 1},  {"DR-SIDE", 1}, {"BS-HD", 1},
               {"CN-50", 2},     {"CE-BOT", 1}, {"PDU-3PH", 1}, {"PC-C13", 2}};
  for (const auto& line : offer) {
    TSpecProduct* product = templ.PriceList()->FindProductByCode(line.Code);
    if (!product) throw std::runtime_error(std::string("no product ") + line.Code);
    product->Quantity = line.Quantity;
  }
  std::vector<std::string> values(static_cast<std::size_t>(templ.VariableCount()));
  const struct {
    const char* Name;
    const char* Value;
  } variables[] = {{"Customer", "\"Acme & Co\""}, {"TotalUnits", "42"}, {"TotalWeight", "83.1"}};
  for (const auto& variable : variables) {
    const int index = templ.IndexOfVariable(variable.Name);
    if (index < 0) throw std::runtime_error(std::string("no variable ") + variable.Name);
    values[static_cast<std::size_t>(index)] = variable.Value;
  }
  Export(templ, templ.Reports(0), values, output);
}

// Header "Code", "Sum", "Total", "Size"; a detail row per product; the footer sums the sums of
// the detail rows above it (rows 2 to the one above, whatever their number), shows {total} and
// tells the size of the offer by a formula with string constants.
void ExportFormula(const std::string& output) {
  const std::unique_ptr<TSpecTemplate> templ =
      OfferTemplate({{.Code = "A1", .Price = 10.5, .PriceWithTaxes = 12.6, .OrderingIndex = 1},
                     {.Code = "B2", .Price = 4, .PriceWithTaxes = 4.8, .OrderingIndex = 2},
                     {.Code = "C3", .Price = 1250, .PriceWithTaxes = 1500, .OrderingIndex = 3}});
  const long double quantities[] = {2, 3, 1};
  for (int i = 0; i < 3; ++i) templ->PriceList()->Products(i)->Quantity = quantities[i];
  TSpecReport* report = templ->AddReport();
  for (int i = 0; i < 4; ++i) report->AddColumn();
  for (int band : {bkReportHeader, bkReportDetail, bkReportFooter}) report->BandAt(band)->AddRow();
  SetText(CellOf(report, bkReportHeader, 0, 0), "Code", cdText);
  SetText(CellOf(report, bkReportHeader, 0, 1), "Sum", cdText);
  SetText(CellOf(report, bkReportHeader, 0, 2), "Total", cdText);
  SetText(CellOf(report, bkReportHeader, 0, 3), "Size", cdText);
  SetText(CellOf(report, bkReportDetail, 0, 0), "{code}", cdText);
  SetText(CellOf(report, bkReportDetail, 0, 1), "{sum}", cdNumeric, "0.00");
  SetText(CellOf(report, bkReportFooter, 0, 1), "=SUM(R2C:R[-1]C)", cdAuto, "#,##0.00");
  SetText(CellOf(report, bkReportFooter, 0, 2), "{total}", cdNumeric, "#,##0.00");
  SetText(CellOf(report, bkReportFooter, 0, 3), "=IF(RC[-2]>1000,\"big \"\"offer\"\"\",\"small\")");
  Export(*templ, report, {}, output);
}

void ExportCells(const std::string& cellsFile, const std::string& output) {
  std::ifstream in(cellsFile);
  if (!in) throw std::runtime_error("cannot read " + cellsFile);
  const std::unique_ptr<TSpecTemplate> templ = OfferTemplate({});
  TSpecReport* report = templ->AddReport();
  report->AddColumn();
  TSpecReportBand* header = report->BandAt(bkReportHeader);
  for (std::string line; std::getline(in, line);) {
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos) throw std::runtime_error("not a cell line: " + line);
    header->AddRow();
    SetText(header->Rows(header->RowCount() - 1)->Cells(0), line.substr(second + 1),
            static_cast<std::uint8_t>(std::stoi(line.substr(0, first))),
            line.substr(first + 1, second - first - 1));
  }
  Export(*templ, report, {}, output);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 4 && args[0] == "sample") {
      SeparatorLocale locale(Separator(args[2]));
      ExportSample(args[1], args[3]);
    } else if (args.size() == 3 && args[0] == "formula") {
      SeparatorLocale locale(Separator(args[1]));
      ExportFormula(args[2]);
    } else if (args.size() == 4 && args[0] == "cells") {
      SeparatorLocale locale(Separator(args[1]));
      ExportCells(args[2], args[3]);
    } else {
      std::fprintf(stderr,
                   "usage: export_workbooks sample SCHEME SEPARATOR OUTPUT\n"
                   "       export_workbooks formula SEPARATOR OUTPUT\n"
                   "       export_workbooks cells SEPARATOR CELLS OUTPUT\n");
      return 2;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "export_workbooks: %s\n", e.what());
    return 1;
  }
  return 0;
}
