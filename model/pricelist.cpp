#include "model/pricelist.h"

#include "model/core.h"
#include "model/ownedlist.h"
#include "model/saver.h"

namespace {

template <typename T>
T* FindByCode(const std::vector<std::unique_ptr<T>>& list, const std::string& code) {
  for (const auto& element : list) {
    if (element->Code == code) return element.get();
  }
  return nullptr;
}

}  // namespace

// --- Categories --------------------------------------------------------------------------------

TSpecCategory::TSpecCategory(TSpecPriceList* priceList)
    : FPriceList(priceList), Name(priceList->MuiManager()) {}

void TSpecCategory::LoadFromStream(TSpecDataReader& stream) {
  Code = stream.ReadString();
  Name.LoadFromStream(stream);
}

// --- Products ----------------------------------------------------------------------------------

TSpecProduct::TSpecProduct(TSpecPriceList* priceList)
    : FPriceList(priceList), Name(priceList->MuiManager()), MeasureUnit(priceList->MuiManager()) {}

TSpecCategory* TSpecProduct::Category() const {
  return FPriceList->FindCategoryByCode(CategoryCode);
}

std::int32_t TSpecProduct::GetDimension(int index) const {
  return index >= 0 && index < 4 ? Dimensions[index] : 0;
}

void TSpecProduct::SetDimension(int index, std::int32_t value) {
  if (index >= 0 && index < 4) Dimensions[index] = value;
}

void TSpecProduct::LoadFromStream(TSpecDataReader& stream) {
  Code = stream.ReadString();
  Name.LoadFromStream(stream);
  CategoryCode = stream.ReadString();
  MeasureUnit.LoadFromStream(stream);
  Available = stream.ReadByte();
  for (std::int32_t& dimension : Dimensions) dimension = stream.ReadInteger();
  Weight = stream.ReadInteger();
  PackageVolume = stream.ReadExtended();
  Price = stream.ReadExtended();
  PriceWithTaxes = stream.ReadExtended();
  OrderingIndex = stream.ReadInteger();
  Prefix = stream.ReadString();
}

// --- The price list ----------------------------------------------------------------------------

TSpecPriceList::TSpecPriceList(TSpecTemplate* templ) : FTemplate(templ) {}

TSpecPriceList::~TSpecPriceList() {
  ClearProducts();
  ClearCategories();
}

TSpecMuiManager* TSpecPriceList::MuiManager() const {
  return FTemplate ? FTemplate->MuiManager() : nullptr;
}

TSpecCategory* TSpecPriceList::AddCategory() {
  FCategories.push_back(std::make_unique<TSpecCategory>(this));
  return FCategories.back().get();
}

TSpecProduct* TSpecPriceList::AddProduct() {
  FProducts.push_back(std::make_unique<TSpecProduct>(this));
  return FProducts.back().get();
}

int TSpecPriceList::IndexOfCategory(const TSpecCategory* category) const {
  return IndexOfObject(FCategories, category);
}

int TSpecPriceList::IndexOfProduct(const TSpecProduct* product) const {
  return IndexOfObject(FProducts, product);
}

void TSpecPriceList::DeleteCategory(TSpecCategory* category) {
  DeleteObject(FCategories, category);
}

void TSpecPriceList::DeleteProduct(TSpecProduct* product) {
  DeleteObject(FProducts, product);
}

// Freed from the last element to the first: the effect of deleting element 0 repeatedly,
// without moving the rest of the list each time.
void TSpecPriceList::ClearCategories() {
  while (!FCategories.empty()) FCategories.pop_back();
}

void TSpecPriceList::ClearProducts() {
  while (!FProducts.empty()) FProducts.pop_back();
}

TSpecCategory* TSpecPriceList::Categories(int index) const {
  return ElementAt(FCategories, index);
}

TSpecProduct* TSpecPriceList::Products(int index) const {
  return ElementAt(FProducts, index);
}

TSpecCategory* TSpecPriceList::FindCategoryByCode(const std::string& code) const {
  return FindByCode(FCategories, code);
}

TSpecProduct* TSpecPriceList::FindProductByCode(const std::string& code) const {
  return FindByCode(FProducts, code);
}

void TSpecPriceList::LoadFromStream(TSpecDataReader& stream) {
  ClearProducts();
  ClearCategories();
  std::int32_t count = stream.ReadInteger();
  CheckRecordCount(stream, count, TSpecProduct::MinRecordSize);
  for (std::int32_t i = 0; i < count; ++i) AddProduct()->LoadFromStream(stream);
  count = stream.ReadInteger();
  CheckRecordCount(stream, count, TSpecCategory::MinRecordSize);
  for (std::int32_t i = 0; i < count; ++i) AddCategory()->LoadFromStream(stream);
}
