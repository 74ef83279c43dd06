#pragma once

// Writer of section D, the price list: in exactly the record layouts the price-list reader
// takes.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/schemewriter.h"

struct ProductRecord {
  std::string Code;
  std::vector<MuiEntry> Name;
  std::string CategoryCode;
  std::vector<MuiEntry> MeasureUnit;
  std::uint8_t Available = 0;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::int32_t Length = 0;
  std::int32_t RackUnits = 0;
  // Grams.
  std::int32_t Weight = 0;
  // Cubic metres.
  long double PackageVolume = 0;
  long double Price = 0;
  long double PriceWithTaxes = 0;
  std::int32_t OrderingIndex = 0;
  std::string Prefix;
};

struct CategoryRecord {
  std::string Code;
  std::vector<MuiEntry> Name;
};

// The 15 fields in file order.
void WriteProduct(SchemeWriter& out, const ProductRecord& product);
// Str code, Mui name.
void WriteCategory(SchemeWriter& out, const CategoryRecord& category);
// The section: Int n and the product records, then Int m and the category records.
void WritePriceList(SchemeWriter& out, const std::vector<ProductRecord>& products,
                    const std::vector<CategoryRecord>& categories);
