#include "report/repexport.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "expr/typecvt.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/report.h"

namespace {

// The report fields, by position.
constexpr std::array<std::string_view, 24> kReportFields = {
    "code",           "name",          "sizeunits",    "sizeheight",  "sizewidth",  "sizelength",
    "weight",         "packagevolume", "available",    "measureunit", "quantity",   "price",
    "pricewithtaxes", "sum",           "sumwithtaxes", "groupcode",   "groupname",  "total",
    "totalwithtaxes", "pnn",           "cnn",          "cpnn",        "actualdate", "prefix",
};
// Fields up to this position need a current item (and group); the prefix needs one too.
constexpr int kLastItemField = 14;
constexpr int kLastGroupField = 16;
constexpr int kPrefixField = 23;
// The "iteminfo" attribute of each of the fields 0 to kLastItemField.
constexpr std::int32_t kItemInfoOfField[kLastItemField + 1] = {0,  1, 14, 12, 11, 13, 15, 10,
                                                               16, 4, 5,  6,  7,  8,  9};

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

int TReportEvalProvider::FieldIndex(const std::string& Name) {
  // Compared in place, without a lower-case copy: every evaluation of a field asks here.
  const auto sameField = [&Name](std::string_view field) {
    return field.size() == Name.size() &&
           std::equal(field.begin(), field.end(), Name.begin(),
                      [](char f, char n) { return f == LowerAscii(n); });
  };
  for (std::size_t i = 0; i < kReportFields.size(); ++i) {
    if (sameField(kReportFields[i])) return static_cast<int>(i);
  }
  return -1;
}

bool TReportEvalProvider::IsFunction(const std::string& Name) {
  return IsTableFunction(Name, kSharedFunctionCount);
}

bool TReportEvalProvider::IsVariable(const std::string& Name) {
  return FieldIndex(Name) >= 0 || Exporter->Report->Template()->IndexOfVariable(Name) >= 0;
}

void TReportEvalProvider::CallFunction(const std::string& Name,
                                       const std::vector<std::string>& Params,
                                       std::string& Result) {
  CallTableFunction(*this, kSharedFunctionCount, Name, Params, Result);
}

void TReportEvalProvider::GetVariable(const std::string& Name, std::string& Result) {
  Result.clear();
  ReadVariable(Name, Result);
}

bool TReportEvalProvider::ReadVariable(const std::string& Name, std::string& Result) {
  // The field table is searched once, and the variable list only when no field matches.
  const int i = FieldIndex(Name);
  if (i >= 0) {
    Result.clear();
    FieldValue(i, Result);
    return true;
  }
  const int j = Exporter->Report->Template()->IndexOfVariable(Name);
  if (j < 0) return false;
  const std::vector<std::string>* values = Exporter->VariableValues;
  if (!values || static_cast<std::size_t>(j) >= values->size()) RaiseListIndexError(j);
  Result = (*values)[static_cast<std::size_t>(j)];
  return true;
}

void TReportEvalProvider::FieldValue(int Field, std::string& Result) {
  const bool needsItem = Field <= kLastItemField || Field == kPrefixField;
  if (needsItem && (!Exporter->ItemNode || !Exporter->GroupNode)) return;
  if (Field <= kLastGroupField && !Exporter->GroupNode) return;

  const auto* product =
      Exporter->ItemNode ? static_cast<const TSpecProduct*>(Exporter->ItemNode->Data()) : nullptr;
  const auto* category = Exporter->GroupNode
                             ? static_cast<const TSpecCategory*>(Exporter->GroupNode->Data())
                             : nullptr;
  if (Field <= kLastItemField) {
    // The product fields are attributes of the "iteminfo" table, of the current item itself.
    ProductItemInfo(*product, product->Quantity, kItemInfoOfField[Field], Result);
    return;
  }
  switch (Field) {
    case 15:
      Result = QuoteString(category->Code);
      break;
    case 16:
      Result = QuoteString(category->GetName());
      break;
    case 17:
      Result = FloatToValueText(Exporter->Total);
      break;
    case 18:
      Result = FloatToValueText(Exporter->TotalWithTaxes);
      break;
    case 19:
      Result = IntToText(Exporter->ItemNumber);
      break;
    case 20:
      Result = IntToText(Exporter->GroupNumber);
      break;
    case 21:
      Result = IntToText(Exporter->GroupItemNumber);
      break;
    case 22:
      Result = QuoteString(UserLocale().ShortDate(TSpecReportExporter::CurrentDate()));
      break;
    case 23:
      Result = QuoteString(product->Prefix);
      break;
  }
}

void TReportEvalProvider::IndexProducts() {
  const TSpecPriceList& priceList = *Exporter->PriceList;
  const int count = priceList.ProductCount();
  ProductsByCode.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const TSpecProduct* product = priceList.Products(i);
    ProductsByCode.try_emplace(product->Code, product);
    if (product->Quantity > 0) ++OfferedCount;
  }
  Indexed = true;
}

const TSpecProduct* TReportEvalProvider::FindProduct(const std::string& Code) {
  if (!Indexed) IndexProducts();
  const auto found = ProductsByCode.find(Code);
  return found == ProductsByCode.end() ? nullptr : found->second;
}

long double TReportEvalProvider::ProductQuantity(const std::string& Code) {
  const TSpecProduct* product = FindProduct(Code);
  return product ? product->Quantity : 0;
}

void TReportEvalProvider::ItemInfo(const std::string& Code, std::int32_t N, std::string& Result) {
  // The attribute of the product of that code with its own quantity, as the wizard's table
  // gives it; nothing for a code of no product.
  Result.clear();
  if (const TSpecProduct* product = FindProduct(Code))
    ProductItemInfo(*product, product->Quantity, N, Result);
}

std::int32_t TReportEvalProvider::ItemCount() {
  if (!Indexed) IndexProducts();
  return OfferedCount;
}
