#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "model/core.h"
#include "model/pricelist.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/model_support.h"

namespace {

// Variables of the four types (one with a Cyrillic name, "Ж"), and three products, two of
// which share a code.
SchemeParts StoreScheme() {
  SchemeParts parts;
  parts.Template.Variables = {
      {"Count", vtInteger, "7"}, {"Ratio", vtFloat, "0.5"}, {"\xC6", vtString, "\"x\""}};
  parts.Products = {Product("A"), Product("B"), Product("A")};
  return parts;
}

TEST(ValueStore, FreshStoreHoldsTheInitialValuesAndZeroQuantities) {
  LoadedScheme scheme(StoreScheme());
  TSpecTransition store(scheme.Template.get(), nullptr);
  EXPECT_EQ(store.Values, (std::vector<std::string>{"7", "0.5", "\"x\""}));
  EXPECT_EQ(store.Quantities, (std::vector<std::string>{"0", "0", "0"}));
  EXPECT_EQ(store.ItemCount(), 0);
  EXPECT_EQ(store.Parent, nullptr);

  store.SetValue("Count", "8");
  TSpecTransition copy(scheme.Template.get(), &store, store);
  EXPECT_EQ(copy.Values[0], "8");
  EXPECT_EQ(copy.Parent, &store);
}

TEST(ValueStore, ValuesAreStoredUnconvertedByNameWithLatinLettersFolded) {
  LoadedScheme scheme(StoreScheme());
  TSpecTransition store(scheme.Template.get(), nullptr);
  store.SetValue("Count", "abc");
  EXPECT_EQ(store.GetValue("Count"), "abc");
  store.SetValue("rATIO", "2,5");
  EXPECT_EQ(store.GetValue("RATIO"), "2,5");
  // Cyrillic letters keep their case: "ж" is not "Ж".
  store.SetValue("\xE6", "\"y\"");
  EXPECT_EQ(store.GetValue("\xC6"), "\"x\"");
  // Names the template lacks: reads give the empty text, writes are dropped.
  store.SetValue("Missing", "1");
  EXPECT_EQ(store.GetValue("Missing"), "");
  EXPECT_EQ(store.Values, (std::vector<std::string>{"abc", "2,5", "\"x\""}));
}

TEST(ValueStore, QuantitiesAreNumberTextsWithAPointWhateverTheLocale) {
  for (char separator : {'.', ','}) {
    SCOPED_TRACE(std::string(1, separator));
    SeparatorGuard guard(separator);
    LoadedScheme scheme(StoreScheme());
    TSpecTransition store(scheme.Template.get(), nullptr);

    store.SetQuantity("B", 2.5L);
    EXPECT_EQ(store.Quantities[1], "2.5");
    EXPECT_EQ(store.GetQuantity("B"), 2.5L);
    // A code held by two products reads and writes the first of them.
    store.SetQuantity("A", -1);
    EXPECT_EQ(store.Quantities, (std::vector<std::string>{"-1", "2.5", "0"}));
    EXPECT_EQ(store.GetQuantity("A"), -1.0L);
    // Negative quantities are not counted.
    EXPECT_EQ(store.ItemCount(), 1);
    // A code no product has: 0, and nothing is written.
    store.SetQuantity("Z", 5);
    EXPECT_EQ(store.GetQuantity("Z"), 0.0L);
    // An invalid stored text reads as 0.
    store.Quantities[1] = "2..5";
    EXPECT_EQ(store.GetQuantity("B"), 0.0L);
    EXPECT_RAISES_WHAT(store.SetQuantity("B", std::numeric_limits<long double>::infinity()),
                       "Invalid number.");
    EXPECT_EQ(store.Quantities[1], "2..5");
  }
}

TEST(ValueStore, ListsShorterThanTheTemplateRaiseTheListErrorBeyondTheirEnd) {
  // As a loaded saved state of fewer entries leaves them.
  LoadedScheme scheme(StoreScheme());
  TSpecTransition store(scheme.Template.get(), nullptr);
  store.Values.resize(1);
  store.Quantities = {"1"};
  EXPECT_EQ(store.GetValue("Count"), "7");
  EXPECT_RAISES_WHAT(store.GetValue("Ratio"), "List index out of bounds (1)");
  EXPECT_RAISES_WHAT(store.SetValue("Ratio", "1"), "List index out of bounds (1)");
  EXPECT_RAISES_WHAT(store.GetQuantity("B"), "List index out of bounds (1)");
  EXPECT_RAISES_WHAT(store.ItemCount(), "List index out of bounds (1)");
}

TEST(ValueStore, ProductsAddedAfterTheStoreWasMadeAreFoundByTheirCode) {
  LoadedScheme scheme(StoreScheme());
  TSpecTransition store(scheme.Template.get(), nullptr);
  scheme.Template->PriceList()->AddProduct()->Code = "C";
  EXPECT_RAISES_WHAT(store.GetQuantity("C"), "List index out of bounds (3)");
  store.Quantities.push_back("4");
  EXPECT_EQ(store.GetQuantity("C"), 4.0L);
  EXPECT_EQ(store.ProductIndex("A"), 0);
  EXPECT_EQ(store.ProductIndex("Z"), -1);
}

}  // namespace
