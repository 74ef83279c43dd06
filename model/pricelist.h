#pragma once

// The price list: the product categories and the products that actions add to an offer, that
// the offer preview lists and that report templates render. It belongs to the scheme root and
// is read from section D, the last section of the embedded scheme. The wizard never edits it;
// the one field written at run time is TSpecProduct::Quantity, which the report form fills in
// before an export.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/mui.h"

class TSpecDataReader;
class TSpecTemplate;
class TSpecPriceList;

// One product category.
class TSpecCategory {
 public:
  // Minimum bytes of a category record: Str code, Mui name.
  static constexpr std::uint32_t MinRecordSize = 2 + 1;

  // Empty code; a registered name on the language manager of the price list's template.
  explicit TSpecCategory(TSpecPriceList* priceList);
  TSpecCategory(const TSpecCategory&) = delete;
  TSpecCategory& operator=(const TSpecCategory&) = delete;
  virtual ~TSpecCategory() = default;

  TSpecPriceList* PriceList() const { return FPriceList; }
  // The name in the current language.
  const std::string& GetName() const { return Name.GetCurrentText(); }
  void SetName(const std::string& text) { Name.SetCurrentText(text); }

  // Category record: Str code, Mui name.
  void LoadFromStream(TSpecDataReader& stream);

 private:
  TSpecPriceList* FPriceList;

 public:
  std::string Code;
  TSpecMuiString Name;
};

// Indexes of TSpecProduct's dimensions.
enum TSpecDimension : int {
  pdWidth = 0,      // mm
  pdHeight = 1,     // mm
  pdLength = 2,     // mm
  pdRackUnits = 3,  // rack-mount units
};

// One article of the catalogue.
class TSpecProduct {
 public:
  // Minimum bytes of a product record: Str code, Mui name, Str category code, Mui measure unit,
  // Byte available, five Ints, three Exts, Int ordering index, Str prefix.
  static constexpr std::uint32_t MinRecordSize = 2 + 1 + 2 + 1 + 1 + 5 * 4 + 3 * 10 + 4 + 2;

  // Everything empty or 0; the name and the measure unit are registered multilingual strings.
  explicit TSpecProduct(TSpecPriceList* priceList);
  TSpecProduct(const TSpecProduct&) = delete;
  TSpecProduct& operator=(const TSpecProduct&) = delete;
  virtual ~TSpecProduct() = default;

  TSpecPriceList* PriceList() const { return FPriceList; }
  // Current-language texts.
  const std::string& GetName() const { return Name.GetCurrentText(); }
  const std::string& GetMeasureUnit() const { return MeasureUnit.GetCurrentText(); }
  // The category of CategoryCode on the owning price list; nullptr when none has that code.
  TSpecCategory* Category() const;

  // Dimension 0..3 (TSpecDimension); an index outside answers 0 and sets nothing.
  std::int32_t GetDimension(int index) const;
  void SetDimension(int index, std::int32_t value);
  std::int32_t Width() const { return Dimensions[pdWidth]; }
  std::int32_t Height() const { return Dimensions[pdHeight]; }
  std::int32_t Length() const { return Dimensions[pdLength]; }
  std::int32_t RackUnits() const { return Dimensions[pdRackUnits]; }

  // Product record of section D (fields in file order): Str code, Mui name, Str category
  // code, Mui measure unit, Byte available, Int width, height, length, rack units, Int
  // weight, Ext package volume, price, price with taxes, Int ordering index, Str prefix.
  void LoadFromStream(TSpecDataReader& stream);

 private:
  TSpecPriceList* FPriceList;

 public:
  // Article code: the key of every look-up by code (exact, case-sensitive).
  std::string Code;
  // Not checked against the categories.
  std::string CategoryCode;
  TSpecMuiString Name;
  std::int32_t Dimensions[4] = {0, 0, 0, 0};
  // Grams.
  std::int32_t Weight = 0;
  // Cubic metres.
  long double PackageVolume = 0;
  // "Available at stock".
  std::uint8_t Available = 0;
  TSpecMuiString MeasureUnit;
  // Run-time quantity of the offer; never stored in the scheme.
  long double Quantity = 0;
  // Without taxes.
  long double Price = 0;
  long double PriceWithTaxes = 0;
  // Sort key of every product listing, ascending.
  std::int32_t OrderingIndex = 0;
  // Free text of the product (report field "prefix").
  std::string Prefix;
};

class TSpecPriceList {
 public:
  explicit TSpecPriceList(TSpecTemplate* templ);
  // Frees the products, then the categories.
  ~TSpecPriceList();
  TSpecPriceList(const TSpecPriceList&) = delete;
  TSpecPriceList& operator=(const TSpecPriceList&) = delete;

  TSpecTemplate* Template() const { return FTemplate; }
  // The language manager of every multilingual text of the catalogue.
  TSpecMuiManager* MuiManager() const;

  // Create an empty element owned by this list, append and return it.
  TSpecCategory* AddCategory();
  TSpecProduct* AddProduct();
  // Index of that very object, searched from the last; -1 when absent.
  int IndexOfCategory(const TSpecCategory* category) const;
  int IndexOfProduct(const TSpecProduct* product) const;
  // Remove and free the object; nothing when it is not in the list.
  void DeleteCategory(TSpecCategory* category);
  void DeleteProduct(TSpecProduct* product);
  void ClearCategories();
  void ClearProducts();
  int CategoryCount() const { return static_cast<int>(FCategories.size()); }
  int ProductCount() const { return static_cast<int>(FProducts.size()); }
  // Raise EListError outside 0..count-1.
  TSpecCategory* Categories(int index) const;
  TSpecProduct* Products(int index) const;
  // The first element whose code equals the code exactly (case-sensitive, no trimming);
  // nullptr when none matches.
  TSpecCategory* FindCategoryByCode(const std::string& code) const;
  TSpecProduct* FindProductByCode(const std::string& code) const;

  // Section D: empties both lists, then Int n and n product records, then Int m and m
  // category records (a count of 0 or less reads none; a count the bytes left cannot hold
  // raises "Read beyond the end." before anything is added). A failing record raises and
  // leaves what was read so far in the lists.
  void LoadFromStream(TSpecDataReader& stream);

 private:
  TSpecTemplate* FTemplate;
  std::vector<std::unique_ptr<TSpecCategory>> FCategories;
  std::vector<std::unique_ptr<TSpecProduct>> FProducts;
};
