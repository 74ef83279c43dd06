// The run's value store.
#include "engine/runtime.h"
#include "model/pricelist.h"

namespace {

// Entry Index of a positional list; EListError beyond its end (a loaded saved state may hold
// fewer entries than the template).
template <class List>
auto& EntryAt(List& list, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= list.size()) RaiseListIndexError(index);
  return list[static_cast<std::size_t>(index)];
}

}  // namespace

TSpecTransition::TSpecTransition(TSpecTemplate* Template, TSpecTransition* Parent)
    : Template(Template), Parent(Parent) {
  const int variables = Template->VariableCount();
  Values.reserve(static_cast<std::size_t>(variables));
  for (int i = 0; i < variables; ++i) Values.push_back(Template->Variables(i)->Value());
  Quantities.assign(static_cast<std::size_t>(Template->PriceList()->ProductCount()), "0");
  IndexProducts();
}

TSpecTransition::TSpecTransition(TSpecTemplate* Template, TSpecTransition* Parent,
                                 const TSpecTransition& Source)
    : Template(Template), Values(Source.Values), Quantities(Source.Quantities), Parent(Parent) {
  IndexProducts();
}

void TSpecTransition::IndexProducts() const {
  const TSpecPriceList* priceList = Template->PriceList();
  const int products = priceList->ProductCount();
  ProductIndexes.clear();
  ProductIndexes.reserve(static_cast<std::size_t>(products));
  // The first product of a code keeps its entry: look-ups by code find the first match.
  for (int i = 0; i < products; ++i) ProductIndexes.try_emplace(priceList->Products(i)->Code, i);
  ProductsIndexed = products;
}

std::string TSpecTransition::GetValue(std::string_view Name) const {
  const int index = Template->IndexOfVariable(Name);
  if (index < 0) return {};
  return EntryAt(Values, index);
}

void TSpecTransition::SetValue(std::string_view Name, const std::string& Text) {
  const int index = Template->IndexOfVariable(Name);
  if (index >= 0) EntryAt(Values, index) = Text;
}

int TSpecTransition::ProductIndex(const std::string& Code) const {
  if (Template->PriceList()->ProductCount() != ProductsIndexed) IndexProducts();
  const auto found = ProductIndexes.find(Code);
  return found == ProductIndexes.end() ? -1 : found->second;
}

long double TSpecTransition::GetQuantity(const std::string& Code) const {
  const int index = ProductIndex(Code);
  if (index < 0) return 0;
  return TextToFloat(EntryAt(Quantities, index));
}

void TSpecTransition::SetQuantity(const std::string& Code, long double Quantity) {
  const int index = ProductIndex(Code);
  if (index >= 0) FloatToValueText(Quantity, EntryAt(Quantities, index));
}

std::int32_t TSpecTransition::ItemCount() const {
  std::int32_t count = 0;
  const int products = Template->PriceList()->ProductCount();
  for (int i = 0; i < products; ++i) {
    if (TextToFloat(EntryAt(Quantities, i)) > 0) ++count;
  }
  return count;
}
