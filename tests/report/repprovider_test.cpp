#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/locale.h"
#include "expr/evalimpl.h"
#include "model/pricelist.h"
#include "report/repexport.h"
#include "tests/report/report_support.h"
#include "tests/support/expr_support.h"

namespace {

// A locale whose today is fixed.
class FixedDayLocale : public TUserLocale {
 public:
  std::string ShortDate(const TCalendarDate& Date) const override {
    return std::to_string(Date.Day) + "/" + std::to_string(Date.Month) + "/" +
           std::to_string(Date.Year);
  }
  TCalendarDate Today() const override { return {2026, 12, 10}; }
};

// An exporter standing at a chosen band, with its provider on an expression.
class ReportProviderTest : public ::testing::Test {
 protected:
  ReportProviderTest()
      : Template(OfferTemplate({{.Code = "A1",
                                 .Name = "Cabinet",
                                 .Price = 100,
                                 .PriceWithTaxes = 120,
                                 .OrderingIndex = 3,
                                 .CategoryCode = "RACKS",
                                 .Prefix = "p-"},
                                {.Code = "B2", .Name = "Shelf", .Price = 10, .PriceWithTaxes = 12},
                                {.Code = "C3", .Name = "Unused", .Price = 1, .PriceWithTaxes = 1}},
                               {{"Units", vtFloat, ""},
                                {"Label", vtString, "\"x\""},
                                {"total", vtInteger, "7"},
                                {"PREFIX", vtString, "\"v\""}})),
        Exporter(Template->PriceList(), Template->AddReport()),
        Provider(&Exporter),
        Expression(CreateStandardExpression()),
        Group(nullptr, &Category),
        Item(&Group, Template->PriceList()->Products(0)),
        Category(Template->PriceList()) {
    Expression->Provider = &Provider;
    Category.Code = "RACKS";
    Category.SetName("Cabinets");
    TSpecProduct* cabinet = Template->PriceList()->Products(0);
    cabinet->SetDimension(pdWidth, 600);
    cabinet->SetDimension(pdHeight, 2000);
    cabinet->SetDimension(pdLength, 800);
    cabinet->SetDimension(pdRackUnits, 42);
    cabinet->Weight = 95000;
    cabinet->PackageVolume = 1.25;
    cabinet->Available = 1;
    cabinet->MeasureUnit.SetCurrentText("pcs");
    cabinet->Quantity = 2.5;
    Template->PriceList()->Products(1)->Quantity = 1;
    Values = {"", "\"x\"", "7", "\"v\""};
    Exporter.VariableValues = &Values;
    Exporter.Total = 30;
    Exporter.TotalWithTaxes = 36;
    Exporter.ItemNumber = 4;
    Exporter.GroupNumber = 1;
    Exporter.GroupItemNumber = 2;
    PreviousLocale = SetUserLocale(&Locale);
  }
  ~ReportProviderTest() override { SetUserLocale(PreviousLocale); }

  std::string Eval(const std::string& text) {
    Expression->SetText(text);
    return Expression->Evaluate();
  }

  enum Band { ReportBand, GroupBand, DetailBand };
  void StandAt(Band band) {
    Exporter.GroupNode = band == ReportBand ? nullptr : &Group;
    Exporter.ItemNode = band == DetailBand ? &Item : nullptr;
  }

  FixedDayLocale Locale;
  TUserLocale* PreviousLocale = nullptr;
  std::unique_ptr<TSpecTemplate> Template;
  std::vector<std::string> Values;
  TSpecReportExporter Exporter;
  TReportEvalProvider Provider;
  std::unique_ptr<TEvalExpression> Expression;
  TSpecTreeNode Group;
  TSpecTreeNode Item;
  TSpecCategory Category;
};

TEST_F(ReportProviderTest, FieldsHaveValuesOnlyWhereTheirItemOrGroupIsCurrent) {
  struct Case {
    std::string Text;
    std::string Report;  // in the report header and footer
    std::string Group;   // in a group header and footer
    std::string Detail;  // in a detail band
  };
  const Case cases[] = {
      {"code", "", "", "\"A1\""},
      {"Name", "", "", "\"Cabinet\""},
      {"sizeunits", "", "", "42"},
      {"sizeheight", "", "", "2000"},
      {"sizewidth", "", "", "600"},
      {"sizelength", "", "", "800"},
      {"weight", "", "", "95000"},
      {"packagevolume", "", "", "1.25"},
      {"available", "", "", "1"},
      {"measureunit", "", "", "\"pcs\""},
      {"quantity", "", "", "2.5"},
      {"price", "", "", "100"},
      {"pricewithtaxes", "", "", "120"},
      {"sum", "", "", "250"},
      {"sumwithtaxes", "", "", "300"},
      {"groupcode", "", "\"RACKS\"", "\"RACKS\""},
      {"groupname", "", "\"Cabinets\"", "\"Cabinets\""},
      {"total", "30", "30", "30"},
      {"TotalWithTaxes", "36", "36", "36"},
      {"TOTALWITHTAXES-total", "6", "6", "6"},
      {"pnn", "4", "4", "4"},
      {"cnn", "1", "1", "1"},
      {"cpnn", "2", "2", "2"},
      {"actualdate", "\"10/12/2026\"", "\"10/12/2026\"", "\"10/12/2026\""},
      {"prefix", "", "", "\"p-\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    StandAt(ReportBand);
    EXPECT_EQ(Eval(c.Text), c.Report);
    StandAt(GroupBand);
    EXPECT_EQ(Eval(c.Text), c.Group);
    StandAt(DetailBand);
    EXPECT_EQ(Eval(c.Text), c.Detail);
  }
}

TEST_F(ReportProviderTest, TheFieldsOfAnItemAreItsOwnWhenAnotherProductHasItsCode) {
  TSpecProduct* twin = Template->PriceList()->AddProduct();
  twin->Code = "A1";
  twin->Name.SetCurrentText("Twin");
  twin->Price = 7;
  twin->Quantity = 3;
  TSpecTreeNode twinItem(&Group, twin);
  Exporter.GroupNode = &Group;
  Exporter.ItemNode = &twinItem;
  EXPECT_EQ(Eval("name"), "\"Twin\"");
  EXPECT_EQ(Eval("sum"), "21");
  // The functions find the first product of the code.
  EXPECT_EQ(Eval("quantity(\"A1\")"), "2.5");
  EXPECT_EQ(Eval("iteminfo(\"A1\", 1)"), "\"Cabinet\"");
}

TEST_F(ReportProviderTest, VariablesAreReadAsStoredAndFieldsShadowThem) {
  StandAt(ReportBand);
  EXPECT_EQ(Eval("Units"), "");       // a float variable with an empty value stays empty
  EXPECT_EQ(Eval("label"), "\"x\"");  // a string variable keeps its quotes
  EXPECT_EQ(Eval("Total"), "30");     // the field, not the variable "total"
  EXPECT_EQ(Eval("Prefix"), "");      // the field, empty without an item
  EXPECT_TRUE(Provider.IsVariable("UNITS"));
  EXPECT_FALSE(Provider.IsVariable("NOSUCHNAME"));
  EXPECT_RAISES(Eval("NoSuchName"), "Invalid variable name: \"NOSUCHNAME\"\r\n1");
}

// The evaluator reads a name with one call; it must answer what the two questions answer.
TEST_F(ReportProviderTest, ReadingANameAnswersWhatTheTwoQuestionsAnswer) {
  for (const Band band : {ReportBand, GroupBand, DetailBand}) {
    StandAt(band);
    for (const char* name :
         {"CODE", "SUM", "GROUPNAME", "TOTAL", "ACTUALDATE", "PREFIX", "UNITS", "LABEL", "NOPE"}) {
      SCOPED_TRACE(std::string(name) + " in band " + std::to_string(band));
      std::string read;
      const bool known = Provider.ReadVariable(name, read);
      EXPECT_EQ(known, Provider.IsVariable(name));
      std::string got = "stale";
      Provider.GetVariable(name, got);
      EXPECT_EQ(read, got);
    }
  }
}

TEST_F(ReportProviderTest, FunctionsReadTheProductsQuantityFieldsAndRefuseTheRunsOwn) {
  StandAt(ReportBand);
  struct Case {
    std::string Text;
    std::string Result;
  };
  const Case cases[] = {
      {"quantity(\"A1\")", "2.5"},
      {"quantity(\"nope\")", "0"},
      {"itemcount()", "2"},
      {"iteminfo(\"A1\", 5)", "2.5"},
      {"iteminfo(\"A1\", 9)", "300"},
      {"iteminfo(\"A1\", 17)", ""},
      {"iteminfo(\"nope\", 0)", ""},
      {"round(2.5)", "2"},
      {"concat(1, \"a\")", "\"1a\""},
      {"round(1, 2)", ""},
      {"average()", "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(Eval(c.Text), c.Result);
  }
  for (const char* name : {"stat(0)", "firstitem()", "nextitem()"}) {
    SCOPED_TRACE(name);
    std::string upper = name;
    upper = upper.substr(0, upper.find('('));
    for (char& ch : upper) ch = static_cast<char>(ch - 'a' + 'A');
    EXPECT_FALSE(Provider.IsFunction(upper));
    EXPECT_RAISES(Eval(name), "Invalid function name: \"" + upper + "\"\r\n1");
  }
  EXPECT_EQ(TReportEvalProvider::FieldIndex("CPNN"), 21);
  EXPECT_EQ(TReportEvalProvider::FieldIndex("stat"), -1);
}

TEST_F(ReportProviderTest, AVariableWithoutItsValueRaisesTheIndexError) {
  Values.resize(1);
  StandAt(ReportBand);
  EXPECT_RAISES(Eval("label"), "List index out of bounds (1)");
}

}  // namespace
