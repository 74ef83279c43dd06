#include "tests/report/report_support.h"

#include "model/pricelist.h"

std::unique_ptr<TSpecTemplate> OfferTemplate(const std::vector<TestProduct>& products,
                                             const std::vector<TestVariable>& variables) {
  auto templ = std::make_unique<TSpecTemplate>();
  for (const TestProduct& row : products) {
    TSpecProduct* product = templ->PriceList()->AddProduct();
    product->Code = row.Code;
    product->Name.SetCurrentText(row.Name);
    product->Price = row.Price;
    product->PriceWithTaxes = row.PriceWithTaxes;
    product->OrderingIndex = row.OrderingIndex;
    product->CategoryCode = row.CategoryCode;
    product->Prefix = row.Prefix;
  }
  for (const TestVariable& row : variables) templ->AddVariable(row.Name, row.Type, row.Value);
  return templ;
}

void RegisterExcelProgram(ScopedExcelHooks& hooks) {
  hooks.ClassValues[".xls"] = "Excel.Sheet.8";
  hooks.ClassValues["Excel.Sheet.8\\shell\\Open\\command"] = "\"C:\\Office\\EXCEL.EXE\" /e";
  hooks.Files.insert("C:\\OFFICE\\EXCEL.EXE");
}

TSpecReportCell* CellOf(TSpecReport* report, int band, int row, int column) {
  return report->BandAt(band)->Rows(row)->Cells(column);
}

void SetText(TSpecReportCell* cell, const std::string& formula, std::uint8_t type,
             const std::string& format) {
  cell->Formula = formula;
  cell->DataType = type;
  cell->DataFormat = format;
}

SeparatorLocale::SeparatorLocale(char separator)
    : Separator(separator), Previous(SetUserLocale(this)) {}

SeparatorLocale::~SeparatorLocale() {
  SetUserLocale(Previous);
}
