#include "tests/report/report_support.h"

#include "model/pricelist.h"

std::unique_ptr<TSpecTemplate> OfferTemplate(const std::vector<TestProduct>& products,
                                             const std::vector<TestVariable>& variables) {
  auto templ = std::make_unique<TSpecTemplate>();
  for (const TestProduct& spec : products) {
    TSpecProduct* product = templ->PriceList()->AddProduct();
    product->Code = spec.Code;
    product->Name.SetCurrentText(spec.Name);
    product->Price = spec.Price;
    product->PriceWithTaxes = spec.PriceWithTaxes;
    product->OrderingIndex = spec.OrderingIndex;
    product->CategoryCode = spec.CategoryCode;
    product->Prefix = spec.Prefix;
  }
  for (const TestVariable& spec : variables) templ->AddVariable(spec.Name, spec.Type, spec.Value);
  return templ;
}

void RegisterExcelProgram(ScopedExcelHooks& hooks) {
  hooks.ClassValues[".xls"] = "Excel.Sheet.8";
  hooks.ClassValues["Excel.Sheet.8\\shell\\Open\\command"] = "\"C:\\Office\\EXCEL.EXE\" /e";
  hooks.Files.insert("C:\\OFFICE\\EXCEL.EXE");
}
