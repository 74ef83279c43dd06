#include "tools/pricelistwriter.h"

void WriteProduct(SchemeWriter& out, const ProductRecord& product) {
  out.Str(product.Code).Mui(product.Name).Str(product.CategoryCode).Mui(product.MeasureUnit);
  out.Byte(product.Available);
  out.Int(product.Width).Int(product.Height).Int(product.Length).Int(product.RackUnits);
  out.Int(product.Weight);
  out.Ext(product.PackageVolume).Ext(product.Price).Ext(product.PriceWithTaxes);
  out.Int(product.OrderingIndex).Str(product.Prefix);
}

void WriteCategory(SchemeWriter& out, const CategoryRecord& category) {
  out.Str(category.Code).Mui(category.Name);
}

void WritePriceList(SchemeWriter& out, const std::vector<ProductRecord>& products,
                    const std::vector<CategoryRecord>& categories) {
  out.IntCount(products.size());
  for (const ProductRecord& product : products) WriteProduct(out, product);
  out.IntCount(categories.size());
  for (const CategoryRecord& category : categories) WriteCategory(out, category);
}
