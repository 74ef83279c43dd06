#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

#include "model/core.h"
#include "tests/engine/engine_fixture.h"

namespace {

// Variables of every type with empty values, and a catalogue: P1 (in category C1), 123 (whose
// category code names no category) and P3.
SchemeParts ProviderScheme() {
  SchemeParts parts;
  parts.Template.Variables = {{"I", vtInteger, ""},
                              {"F", vtFloat, ""},
                              {"B", vtBoolean, ""},
                              {"S", vtString, ""},
                              {"N", vtInteger, "12"}};
  ProductRecord rack = Product("P1", "Rack");
  rack.CategoryCode = "C1";
  rack.MeasureUnit = {{"0", "pcs"}};
  rack.Available = 1;
  rack.Width = 600;
  rack.Height = 2000;
  rack.Length = 800;
  rack.RackUnits = 42;
  rack.Weight = 1500;
  rack.PackageVolume = 0.25L;
  rack.Price = 100;
  rack.PriceWithTaxes = 120;
  ProductRecord shelf = Product("123", "Shelf");
  shelf.CategoryCode = "NONE";
  shelf.RackUnits = 2;
  shelf.Weight = 3;
  parts.Products = {rack, shelf, Product("P3")};
  parts.Categories = {{"C1", {{"0", "Cabinets"}}}};
  return parts;
}

class ProviderTest : public ::testing::Test {
 protected:
  ProviderTest() : Scheme(ProviderScheme()), RunTime(Scheme.Template.get(), Scheme.LinkMap.get()) {}

  // The value text of the expression, or "error: " and the message it raised.
  std::string Eval(const std::string& expression) {
    try {
      RunTime.Evaluator->SetText(expression);
      return RunTime.Evaluator->Evaluate();
    } catch (const std::exception& e) {
      return std::string("error: ") + e.what();
    }
  }

  struct Row {
    std::string expression;
    std::string expected;
  };
  void Check(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.expression);
      EXPECT_EQ(Eval(row.expression), row.expected);
    }
  }

  RecordingMessageWindow Messages;
  LoadedScheme Scheme;
  TSpecRunTime RunTime;
};

TEST_F(ProviderTest, EveryFunctionAnswersAndAWrongArgumentCountAnswersTheEmptyText) {
  RunTime.Transition->SetQuantity("P1", 2);
  RunTime.Transition->SetQuantity("123", 5);
  Check({
      {"round(2.5)", "2"},
      {"round(3.5)", "4"},
      {"round(-2.5)", "-2"},
      {"round(2.6)", "3"},
      {"round(-4.5)", "-4"},
      {"round(power(10,18)+0.5)", "1E18"},
      {"round(power(10,19))", "error: Invalid floating point operation"},
      {"round(1,2)", ""},
      {"upper(2.1)", "3"},
      {"upper()", ""},
      {"lower(-2.7)", "-2"},
      {"lower(1,2)", ""},
      {"concat(1,\"a\")", "\"1a\""},
      {"concat(\"a\")", ""},
      {"quantity(\"P1\")", "2"},
      // A code written as a number is looked up by its canonical text.
      {"quantity(0123)", "5"},
      {"quantity(\"ZZ\")", "0"},
      {"quantity()", ""},
      {"if(-1,\"y\",\"n\")", "\"y\""},
      {"if(\"-1\",\"y\",\"n\")", "\"n\""},
      {"if(0.5,1,2)", "2"},
      {"if(1,2)", ""},
      {"iteminfo(\"P1\",0)", "\"P1\""},
      {"iteminfo(\"P1\")", ""},
      {"itemcount()", "2"},
      {"itemcount(1)", ""},
      {"abs(-2)", "2"},
      {"abs()", ""},
      {"remain(7,3)", "1"},
      {"remain(7,0)", "error: Division by zero"},
      {"remain(7)", ""},
      {"div(7,2)", "3"},
      {"div(1,0)", "error: Division by zero"},
      {"div()", ""},
      {"average()", "0"},
      {"average(1,2)", "1.5"},
      {"average(1,2,3,4)", "2.5"},
      {"power(2,10)", "1024"},
      {"power(2)", ""},
      {"sqrt(16)", "4"},
      {"sqrt(-1)", "error: Invalid floating point operation"},
      {"sqrt()", ""},
      {"exp(0)", "1"},
      {"exp(1,2)", ""},
      {"cpercent(100,10,2)", "121"},
      {"cpercent(100,10,0)", "100"},
      {"cpercent(1,2)", ""},
      {"usermsg()", ""},
      {"stat()", ""},
      // The wrong count gives the empty text, not the end mark "".
      {"firstitem(1)", ""},
      {"nextitem(1)", ""},
      {"nope(1)", "error: Invalid function name: \"NOPE\"\r\n1"},
  });
  EXPECT_TRUE(Messages.Shown.empty());
  EXPECT_TRUE(RunTime.EvalProvider->IsFunction("ROUND"));
  EXPECT_TRUE(RunTime.EvalProvider->IsFunction("NextItem"));
  EXPECT_FALSE(RunTime.EvalProvider->IsFunction("ROUNDS"));
}

TEST_F(ProviderTest, UsermsgShowsItsTextAndEveryArgumentIsEvaluatedBeforeTheCall) {
  EXPECT_EQ(Eval("if(1,usermsg(\"first\"),usermsg(2))"), "\"first\"");
  EXPECT_EQ(Messages.Shown, (std::vector<std::string>{"first", "2"}));
  // Its arguments were evaluated, with their effects, even when the count is wrong.
  EXPECT_EQ(Eval("round(usermsg(1),2)"), "");
  EXPECT_EQ(Messages.Shown.back(), "1");
}

TEST_F(ProviderTest, IteminfoAnswersTheSeventeenAttributes) {
  RunTime.Transition->SetQuantity("P1", 2);
  Check({
      {"iteminfo(\"P1\",0)", "\"P1\""},
      {"iteminfo(\"P1\",1)", "\"Rack\""},
      {"iteminfo(\"P1\",2)", "\"C1\""},
      {"iteminfo(\"P1\",3)", "\"Cabinets\""},
      {"iteminfo(\"P1\",4)", "\"pcs\""},
      {"iteminfo(\"P1\",5)", "2"},
      {"iteminfo(\"P1\",6)", "100"},
      {"iteminfo(\"P1\",7)", "120"},
      {"iteminfo(\"P1\",8)", "200"},
      {"iteminfo(\"P1\",9)", "240"},
      {"iteminfo(\"P1\",10)", "0.25"},
      {"iteminfo(\"P1\",11)", "600"},
      {"iteminfo(\"P1\",12)", "2000"},
      {"iteminfo(\"P1\",13)", "800"},
      {"iteminfo(\"P1\",14)", "42"},
      {"iteminfo(\"P1\",15)", "1500"},
      {"iteminfo(\"P1\",16)", "1"},
      {"iteminfo(\"P1\",17)", ""},
      {"iteminfo(\"P1\",-1)", ""},
      {"iteminfo(\"P3\",5)", "0"},
      {"iteminfo(\"P3\",16)", "0"},
      {"iteminfo(\"ZZ\",0)", ""},
      // A category code that names no category has no name: the empty text.
      {"iteminfo(123,3)", ""},
      {"iteminfo(123,2)", "\"NONE\""},
  });
}

TEST_F(ProviderTest, VariablesAreReadInTheirDeclaredTypes) {
  Check({{"I", "0"}, {"F", "0"}, {"B", "0"}, {"S", ""}, {"n", "12"}});
  RunTime.Transition->SetValue("I", "2.7");
  RunTime.Transition->SetValue("S", "12");
  RunTime.Transition->SetValue("B", "-3");
  // An integer text converts to a Boolean by being other than 0.
  Check({{"I", "2"}, {"S", "\"12\""}, {"B", "1"}});
  // A stored text valid for no type cannot be read.
  RunTime.Transition->SetValue("S", "abc");
  Check({{"S", "error: Invalid typecast."}, {"Z", "error: Invalid variable name: \"Z\"\r\n1"}});
  EXPECT_EQ(RunTime.Transition->GetValue("S"), "abc");
}

TEST_F(ProviderTest, StatSumsTheProductsAboveZero) {
  Check({{"stat(0)", "0"}, {"stat(2)", "0"}});
  RunTime.Transition->SetQuantity("P1", 2);
  RunTime.Transition->SetQuantity("123", 5);
  RunTime.Transition->SetQuantity("P3", -4);
  Check({
      {"stat(0)", "0.5"},
      {"stat(1)", "500"},
      {"stat(2)", "94"},
      {"stat(2.9)", "94"},
      {"stat(3)", "3015"},
      {"stat(4)", ""},
      {"stat(-1)", ""},
  });
  // Quantities round half to even before they multiply the rack units; weights multiply
  // first and round after.
  RunTime.Transition->SetQuantity("P1", 0);
  RunTime.Transition->SetQuantity("123", 2.5L);
  Check({{"stat(2)", "4"}, {"stat(3)", "8"}});
}

TEST(ProviderStat, IntegerSumsWrapAroundAtThe32BitLimit) {
  struct Row {
    std::string name;
    std::vector<std::pair<std::int32_t, long double>> products;  // (value, quantity)
    int kind;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"units 2^30 times 2", {{1 << 30, 2}}, 2, "-2147483648"},
      {"units 2^30 times 4", {{1 << 30, 4}}, 2, "0"},
      {"units summing past the limit", {{2147483647, 1}, {1, 1}}, 2, "-2147483648"},
      {"weight 2^31-1 times 2", {{2147483647, 2}}, 3, "-2"},
      {"weight taken unsigned", {{-1, 1}}, 3, "-1"},
      {"weights summing past the limit", {{2147483647, 1}, {1, 1}}, 3, "-2147483648"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SchemeParts parts;
    for (std::size_t i = 0; i < row.products.size(); ++i) {
      ProductRecord product = Product("P" + std::to_string(i));
      (row.kind == 2 ? product.RackUnits : product.Weight) = row.products[i].first;
      parts.Products.push_back(product);
    }
    LoadedScheme scheme(parts);
    TSpecRunTime runTime(scheme.Template.get(), scheme.LinkMap.get());
    for (std::size_t i = 0; i < row.products.size(); ++i) {
      runTime.Transition->SetQuantity("P" + std::to_string(i), row.products[i].second);
    }
    std::string result;
    runTime.Stat(row.kind, result);
    EXPECT_EQ(result, row.expected);
  }
}

TEST_F(ProviderTest, FirstitemSnapshotsTheCodesAndNextitemHandsThemOutOneByOne) {
  Check({{"nextitem()", "\"\""}, {"firstitem()", "\"\""}, {"nextitem()", "\"\""}});
  RunTime.Transition->SetQuantity("P1", 1);
  RunTime.Transition->SetQuantity("123", 5);
  RunTime.Transition->SetQuantity("P3", 0.5L);
  Check({{"firstitem()", "\"P1\""}, {"nextitem()", "\"123\""}});
  // A snapshot: later quantities do not change the list.
  RunTime.Transition->SetQuantity("P3", 0);
  Check({{"nextitem()", "\"P3\""}, {"nextitem()", "\"\""}, {"nextitem()", "\"\""}});
  // A new firstitem starts again with the quantities of now.
  Check({{"firstitem()", "\"P1\""}, {"nextitem()", "\"123\""}, {"nextitem()", "\"\""}});
  EXPECT_TRUE(RunTime.ItemsActive);
}

TEST(ProviderItems, TwoProductsSharingACodeCountWithTheQuantityOfTheFirst) {
  SchemeParts parts;
  ProductRecord first = Product("A");
  first.Weight = 10;
  ProductRecord second = Product("A");
  second.Weight = 100;
  parts.Products = {first, second};
  LoadedScheme scheme(parts);
  TSpecRunTime runTime(scheme.Template.get(), scheme.LinkMap.get());
  runTime.Transition->SetQuantity("A", 2);
  std::string result;
  runTime.Stat(3, result);
  EXPECT_EQ(result, "220");
  runTime.FirstItem(result);
  EXPECT_EQ(runTime.Items, (std::vector<std::string>{"A", "A"}));
}

}  // namespace
