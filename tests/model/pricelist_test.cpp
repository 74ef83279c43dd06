#include "model/pricelist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "model/core.h"
#include "model/saver.h"
#include "tests/support/model_support.h"
#include "tools/pricelistwriter.h"

namespace {

ProductRecord Product(const std::string& code, const std::string& categoryCode = "",
                      const std::string& name = "") {
  ProductRecord record;
  record.Code = code;
  record.CategoryCode = categoryCode;
  if (!name.empty()) record.Name = {{"0", name}};
  return record;
}

CategoryRecord Category(const std::string& code, const std::string& name = "") {
  CategoryRecord record;
  record.Code = code;
  if (!name.empty()) record.Name = {{"0", name}};
  return record;
}

class PriceListTest : public ::testing::Test {
 protected:
  TSpecPriceList& List() { return *Template.PriceList(); }

  void Load(const std::vector<ProductRecord>& products,
            const std::vector<CategoryRecord>& categories) {
    SchemeWriter w;
    WritePriceList(w, products, categories);
    List().LoadFromStream(*StreamOf(w));
  }

  TSpecTemplate Template;
};

TEST_F(PriceListTest, ReadsEveryFieldOfAProductAndACategory) {
  ProductRecord p = Product("R-42U", "RACK");
  p.Name = {{"0", "\xD8\xEA\xE0\xF4 42U"}, {"1", "Rack 42U"}};
  p.MeasureUnit = {{"0", "\xF8\xF2."}, {"1", "pcs"}};
  p.Available = 1;
  p.Width = 600;
  p.Height = 2000;
  p.Length = -800;
  p.RackUnits = 42;
  p.Weight = 95500;
  p.PackageVolume = 1.234567890123456789L;
  p.Price = 12345.6789012345678L;
  p.PriceWithTaxes = 14814.8146814814814L;
  p.OrderingIndex = -7;
  p.Prefix = "PR";
  Load({p}, {Category("RACK", "Racks")});
  Template.MuiManager()->CurrentLanguage = 1;

  ASSERT_EQ(List().ProductCount(), 1);
  const TSpecProduct* product = List().Products(0);
  EXPECT_EQ(product->Code, "R-42U");
  EXPECT_EQ(product->GetName(), "Rack 42U");
  EXPECT_EQ(product->CategoryCode, "RACK");
  EXPECT_EQ(product->GetMeasureUnit(), "pcs");
  EXPECT_EQ(product->Available, 1);
  EXPECT_EQ(product->Width(), 600);
  EXPECT_EQ(product->Height(), 2000);
  EXPECT_EQ(product->Length(), -800);
  EXPECT_EQ(product->RackUnits(), 42);
  EXPECT_EQ(product->GetDimension(pdRackUnits), 42);
  EXPECT_EQ(product->Weight, 95500);
  // Full 80-bit precision: nothing rounds through double.
  EXPECT_EQ(product->PackageVolume, 1.234567890123456789L);
  EXPECT_EQ(product->Price, 12345.6789012345678L);
  EXPECT_EQ(product->PriceWithTaxes, 14814.8146814814814L);
  EXPECT_EQ(product->OrderingIndex, -7);
  EXPECT_EQ(product->Prefix, "PR");
  EXPECT_EQ(product->Quantity, 0);
  EXPECT_EQ(product->PriceList(), &List());

  ASSERT_EQ(List().CategoryCount(), 1);
  EXPECT_EQ(List().Categories(0)->Code, "RACK");
  EXPECT_EQ(List().Categories(0)->GetName(), "Racks") << "falls back to the default language";
  EXPECT_EQ(product->Category(), List().Categories(0));
}

TEST_F(PriceListTest, ProductRecordFieldsComeInFileOrder) {
  // Written by hand, so that the file order is pinned independently of the writer.
  SchemeWriter w;
  w.Int(1);
  w.Str("CODE").Mui({{"0", "name"}}).Str("CAT").Mui({{"0", "unit"}}).Byte(1);
  w.Int(1).Int(2).Int(3).Int(4).Int(5);
  w.Ext(6.5L).Ext(7.25L).Ext(8.125L);
  w.Int(9).Str("pre");
  w.Int(1).Str("CAT").Mui({{"0", "category"}});
  List().LoadFromStream(*StreamOf(w));
  const TSpecProduct* p = List().Products(0);
  EXPECT_EQ(p->Code, "CODE");
  EXPECT_EQ(p->GetName(), "name");
  EXPECT_EQ(p->CategoryCode, "CAT");
  EXPECT_EQ(p->GetMeasureUnit(), "unit");
  EXPECT_EQ(p->Available, 1);
  EXPECT_EQ(p->Width(), 1);
  EXPECT_EQ(p->Height(), 2);
  EXPECT_EQ(p->Length(), 3);
  EXPECT_EQ(p->RackUnits(), 4);
  EXPECT_EQ(p->Weight, 5);
  EXPECT_EQ(p->PackageVolume, 6.5L);
  EXPECT_EQ(p->Price, 7.25L);
  EXPECT_EQ(p->PriceWithTaxes, 8.125L);
  EXPECT_EQ(p->OrderingIndex, 9);
  EXPECT_EQ(p->Prefix, "pre");
  EXPECT_EQ(List().Categories(0)->GetName(), "category");

  ProductRecord record = Product("CODE", "CAT", "name");
  record.MeasureUnit = {{"0", "unit"}};
  record.Available = 1;
  record.Width = 1;
  record.Height = 2;
  record.Length = 3;
  record.RackUnits = 4;
  record.Weight = 5;
  record.PackageVolume = 6.5L;
  record.Price = 7.25L;
  record.PriceWithTaxes = 8.125L;
  record.OrderingIndex = 9;
  record.Prefix = "pre";
  SchemeWriter written;
  WritePriceList(written, {record}, {Category("CAT", "category")});
  EXPECT_EQ(written.Bytes(), w.Bytes());
}

TEST_F(PriceListTest, CodesMatchExactlyAndTheFirstMatchWins) {
  Load({Product("AB", "C1", "first"), Product("AB", "C1", "second"), Product("ab", "nope")},
       {Category("C1", "one"), Category("C1", "two")});
  struct Case {
    const char* name;
    std::string code;
    int product;  // index, -1: none
    int category;
  };
  const Case cases[] = {
      {"duplicates: first in file", "AB", 0, -1},  {"case differs", "Ab", -1, -1},
      {"lower case is its own code", "ab", 2, -1}, {"no trimming", "AB ", -1, -1},
      {"category duplicates: first", "C1", -1, 0}, {"empty code", "", -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(List().FindProductByCode(c.code),
              c.product < 0 ? nullptr : List().Products(c.product));
    EXPECT_EQ(List().FindCategoryByCode(c.code),
              c.category < 0 ? nullptr : List().Categories(c.category));
  }
  EXPECT_EQ(List().Products(1)->Category(), List().Categories(0));
  EXPECT_EQ(List().Products(2)->Category(), nullptr) << "a category code that names none";
}

TEST_F(PriceListTest, EmptySectionConsumesEightBytes) {
  SchemeWriter w;
  WritePriceList(w, {}, {});
  w.Byte(0xAA);
  auto stream = StreamOf(w);
  List().LoadFromStream(*stream);
  EXPECT_EQ(stream->Position(), 8u);
  EXPECT_EQ(List().ProductCount(), 0);
  EXPECT_EQ(List().CategoryCount(), 0);
}

TEST_F(PriceListTest, NegativeCountsReadNothing) {
  SchemeWriter w;
  w.Int(-1).Int(-100);
  auto stream = StreamOf(w);
  List().LoadFromStream(*stream);
  EXPECT_EQ(stream->Remaining(), 0u);
  EXPECT_EQ(List().ProductCount(), 0);
}

TEST_F(PriceListTest, LoadingAgainReplacesEverything) {
  Load({Product("A"), Product("B")}, {Category("X")});
  Load({Product("C")}, {});
  ASSERT_EQ(List().ProductCount(), 1);
  EXPECT_EQ(List().Products(0)->Code, "C");
  EXPECT_EQ(List().CategoryCount(), 0);
  EXPECT_EQ(List().FindProductByCode("A"), nullptr);
}

TEST_F(PriceListTest, ObjectIdentityAndIndexErrors) {
  Load({Product("A"), Product("B")}, {Category("X")});
  TSpecTemplate other;
  TSpecProduct* foreign = other.PriceList()->AddProduct();
  TSpecCategory* foreignCategory = other.PriceList()->AddCategory();
  EXPECT_EQ(List().IndexOfProduct(foreign), -1);
  EXPECT_EQ(List().IndexOfCategory(foreignCategory), -1);
  EXPECT_EQ(List().IndexOfProduct(List().Products(1)), 1);
  List().DeleteProduct(foreign);
  List().DeleteCategory(foreignCategory);
  EXPECT_EQ(List().ProductCount(), 2);
  EXPECT_EQ(List().CategoryCount(), 1);
  EXPECT_EQ(other.PriceList()->ProductCount(), 1);

  List().DeleteProduct(List().Products(0));
  EXPECT_EQ(List().Products(0)->Code, "B");
  for (int index : {-1, 1}) {
    SCOPED_TRACE(index);
    EXPECT_THROW(List().Products(index), EListError);
  }
  EXPECT_THROW(List().Categories(1), EListError);
}

TEST_F(PriceListTest, NamesFollowTheTemplateLanguages) {
  Load({Product("A", "", "")}, {});
  TSpecProduct* product = List().Products(0);
  product->Name.SetText(1, "one");
  product->Name.SetText(2, "two");
  TSpecMuiManager* manager = Template.MuiManager();
  EXPECT_GE(manager->IndexOfString(&product->Name), 0);
  manager->DeleteLanguage(manager->GetLanguage(2));
  EXPECT_EQ(product->Name.IndexOfLanguage(2), -1) << "a deleted language leaves the product too";
}

TEST_F(PriceListTest, CountsBeyondTheBytesLeftFailBeforeAnythingIsAdded) {
  struct Case {
    const char* name;
    std::int32_t products;
    std::int32_t categories;
  };
  const Case cases[] = {
      {"huge product count", 0x7FFFFFFF, 0},
      {"two products, bytes for one", 2, 0},
      {"huge category count", 0, 0x40000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SchemeWriter w;
    w.Int(c.products);
    if (c.products > 0) WriteProduct(w, Product("P"));
    w.Int(c.categories);
    if (c.categories > 0) WriteCategory(w, Category("K"));
    TSpecTemplate templ;
    EXPECT_RAISES_WHAT(templ.PriceList()->LoadFromStream(*StreamOf(w)), kReadBeyondEnd);
    EXPECT_EQ(templ.PriceList()->ProductCount(), 0);
    EXPECT_EQ(templ.PriceList()->CategoryCount(), 0);
  }
}

TEST_F(PriceListTest, EveryTruncationIsAReadErrorAndKeepsWhatWasRead) {
  ProductRecord p = Product("P1", "K", "name");
  p.Prefix = "prefix";
  SchemeWriter full;
  WritePriceList(full, {p}, {Category("K", "cat"), Category("L", "other")});
  for (std::size_t cut = 0; cut < full.Size(); ++cut) {
    SCOPED_TRACE(cut);
    TSpecTemplate templ;
    TSpecPriceList& list = *templ.PriceList();
    EXPECT_RAISES_WHAT(list.LoadFromStream(*StreamOfPrefix(full, cut)), kReadBeyondEnd);
    // A failure inside the categories keeps the product that was read before it.
    SchemeWriter products;
    WritePriceList(products, {p}, {});
    if (cut >= products.Size()) {
      ASSERT_EQ(list.ProductCount(), 1);
      EXPECT_EQ(list.Products(0)->Prefix, "prefix");
    }
  }
}

}  // namespace
