#include "model/core.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "model/pricelist.h"
#include "model/resource.h"
#include "tests/support/model_support.h"
#include "tools/reportwriter.h"
#include "tools/resourcewriter.h"
#include "tools/templatewriter.h"

namespace {

// Windows-1251 "Итог" and "итог": the same word in other Cyrillic case.
const std::string kCyrUpper = "\xC8\xF2\xEE\xE3";
const std::string kCyrLower = "\xE8\xF2\xEE\xE3";

TemplateRecord EmptyTemplate() {
  TemplateRecord record;
  record.Languages = {{{0, "Ru"}, {1, "En"}, {2, "Ua"}}, 1, 2};
  return record;
}

// A small scheme with something in every template section this module reads.
TemplateRecord SmallTemplate() {
  TemplateRecord record = EmptyTemplate();
  record.ServiceStrings = {{{"0", "Back ru"}, {"1", "Back en"}}, {{"1", "Next en"}}};
  record.Variables = {
      {"Width", vtInteger, "600"},
      {"Title", vtString, "\"rack\""},
      {"Ratio", vtFloat, "1.5"},
      {"Doors", vtBoolean, ""},
  };
  QuestionRecord width;
  width.Title = {{"1", "Width?"}};
  width.Variable = "width";
  width.Description = {{"1", "see <pic>here</>"}};
  width.Kind = qkIntegerDropDown;
  width.IntMin = "300";
  width.IntMax = "Width*2";
  width.Answers = {{{{"1", "600 mm"}}, {{"1", "narrow"}}, "600", ""},
                   {{{"1", "800 mm"}}, {}, "800", "Doors"}};
  QuestionRecord info;
  info.Title = {{"1", "Info"}};
  info.Variable = "Nobody";
  info.Kind = 200;
  info.FloatMin = "0.5";
  QuestionRecord doors;
  doors.Title = {{"1", "Doors?"}};
  doors.Variable = "Doors";
  doors.Kind = qkCheckBox;
  record.Questions = {width, info, doors};
  record.Screens = {
      {{{"1", "Size"}}, {{"1", "Choose the size"}}, {0, 2, 0}},
      {{{"1", "Empty"}}, {}, {}},
  };
  record.DecisionPoints = {{"Wide?", {"Width>600", "Width>800"}}, {"Always", {}}};
  record.Actions = {
      {akSetValue, "Ratio", "Width/400", "", ""},
      {akAddProduct, "kept", "also kept", "RC-600", "2"},
  };
  return record;
}

SchemeWriter Bytes(const TemplateRecord& record) {
  SchemeWriter w;
  WriteTemplate(w, record);
  return w;
}

void Load(TSpecTemplate& templ, const SchemeWriter& bytes) {
  auto stream = StreamOf(bytes);
  templ.LoadFromStream(*stream);
  EXPECT_EQ(stream->Remaining(), 0u) << "the template sections must be read to their end";
}

TEST(Template, NewTemplateHoldsTheDefaultsAndEmptyLists) {
  TSpecTemplate templ;
  ASSERT_EQ(templ.ServiceStrings()->Count(), kServiceStringCount);
  EXPECT_EQ(templ.ServiceStrings()->GetText(0), "Actualization date:");
  EXPECT_EQ(templ.ServiceStrings()->GetText(6),
            "This screen contains the automatically generated list of products based on the "
            "answers you've given on the previous screens.");
  EXPECT_EQ(templ.ServiceStrings()->GetText(8), "Invalid integer number(%s).");
  EXPECT_EQ(templ.ServiceStrings()->GetText(27), "Error during calculation");
  EXPECT_EQ(templ.ServiceStrings()->GetText(33), "Verticals:");
  for (int i = 0; i < kServiceStringCount; ++i) {
    SCOPED_TRACE(i);
    TSpecMuiString* string = templ.ServiceStrings()->GetString(i);
    ASSERT_EQ(string->Keys().Count(), 1);
    EXPECT_EQ(string->Keys().Get(0), "0");
    EXPECT_EQ(string->GetText(2), kDefaultServiceStrings[i]);
  }
  EXPECT_EQ(templ.VariableCount(), 0);
  EXPECT_EQ(templ.QuestionCount(), 0);
  EXPECT_EQ(templ.ScreenCount(), 0);
  EXPECT_EQ(templ.DecisionPointCount(), 0);
  EXPECT_EQ(templ.ActionCount(), 0);
  EXPECT_EQ(templ.ResourceCount(), 0);
  EXPECT_EQ(templ.ReportCount(), 0);
  EXPECT_EQ(templ.PriceList()->ProductCount(), 0);
  EXPECT_EQ(templ.MuiManager()->LanguageCount(), 3);
  EXPECT_EQ(templ.Start()->GetTemplate(), &templ);
  EXPECT_EQ(templ.Finish()->ObjectKind(), TSpecObjectKind::Finish);
}

TEST(Template, EmptySchemeLoadsLanguagesAndServiceStringsOnly) {
  TSpecTemplate templ;
  templ.AddVariable("Old", vtString, "");
  templ.AddScreen("old", "");
  TemplateRecord record = EmptyTemplate();
  record.ServiceStrings = {{{"1", "Datum:"}}};
  Load(templ, Bytes(record));
  EXPECT_EQ(templ.VariableCount(), 0);
  EXPECT_EQ(templ.ScreenCount(), 0);
  EXPECT_EQ(templ.MuiManager()->CurrentLanguage, 1);
  EXPECT_EQ(templ.MuiManager()->DefaultLanguage, 2);
  EXPECT_EQ(templ.MuiManager()->GetLanguage(1)->Name, "En");
  EXPECT_EQ(templ.ServiceStrings()->GetText(0), "Datum:");
  EXPECT_EQ(templ.ServiceStrings()->GetText(1), "<< Back");
}

TEST(Template, ReportBandsTogetherMakeNoMoreDefaultCellsThanTheSchemeHasBytes) {
  // Each report: 300 columns and one band of 300 empty row records, 90,000 default cells from
  // about 3 KB. Every band alone fits the bytes left (200 KB follow the template sections), but
  // many such reports together would ask for far more cells than the scheme justifies.
  const auto scheme = [](int reports) {
    ReportRecord report;
    report.ColumnWidths.assign(300, 10);
    report.Bands[0].assign(300, ReportRowRecord{});
    TemplateRecord record = EmptyTemplate();
    WriteReports(record.ReportSection, std::vector<ReportRecord>(reports, report));
    SchemeWriter bytes = Bytes(record);
    bytes.Raw(std::vector<std::uint8_t>(200000, 0));  // the sections after the template
    return bytes;
  };
  struct Row {
    const char* Name;
    int Reports;
    bool Loads;
  };
  for (const Row& row : {Row{"two reports", 2, true}, Row{"twenty reports", 20, false}}) {
    SCOPED_TRACE(row.Name);
    TSpecTemplate templ;
    auto stream = StreamOf(scheme(row.Reports));
    if (row.Loads) {
      templ.LoadFromStream(*stream);
      EXPECT_EQ(templ.ReportCount(), row.Reports);
    } else {
      EXPECT_RAISES_WHAT(templ.LoadFromStream(*stream), kReadBeyondEnd);
      EXPECT_LT(templ.ReportCount(), 4);
    }
  }
}

TEST(Template, NegativeSectionCountsMeanNoRecords) {
  SchemeWriter w;
  WriteLanguages(w, {});
  WriteServiceStrings(w, {});
  for (int section = 0; section < 7; ++section) w.Int(-5);
  TSpecTemplate templ;
  Load(templ, w);
  EXPECT_EQ(templ.ActionCount(), 0);
}

TEST(Template, SmallSchemeLoadsFieldByField) {
  TSpecTemplate templ;
  Load(templ, Bytes(SmallTemplate()));

  EXPECT_EQ(templ.ServiceStrings()->GetText(0), "Back en");
  EXPECT_EQ(templ.ServiceStrings()->GetText(1), "Next en");
  EXPECT_EQ(templ.ServiceStrings()->GetText(2), "Next >>");

  ASSERT_EQ(templ.VariableCount(), 4);
  EXPECT_EQ(templ.Variables(0)->Name(), "Width");
  EXPECT_EQ(templ.Variables(0)->Type, vtInteger);
  EXPECT_EQ(templ.Variables(0)->Value(), "600");
  EXPECT_EQ(templ.Variables(1)->Value(), "\"rack\"");
  EXPECT_EQ(templ.Variables(2)->Type, vtFloat);
  EXPECT_EQ(templ.Variables(3)->Value(), "");

  ASSERT_EQ(templ.QuestionCount(), 3);
  TSpecQuestion* width = templ.Questions(0);
  EXPECT_EQ(width->GetText(), "Width?");
  EXPECT_EQ(width->Variable, templ.Variables(0));
  EXPECT_EQ(width->GetHint(), "see <pic>here</>");
  EXPECT_EQ(width->Kind, qkIntegerDropDown);
  EXPECT_EQ(width->FloatMin, "");
  EXPECT_EQ(width->IntMin, "300");
  EXPECT_EQ(width->IntMax, "Width*2");
  ASSERT_EQ(width->AnswerCount(), 2);
  EXPECT_EQ(width->Answers(0)->GetText(), "600 mm");
  EXPECT_EQ(width->Answers(0)->GetHint(), "narrow");
  EXPECT_EQ(width->Answers(0)->Value, "600");
  EXPECT_EQ(width->Answers(1)->Condition.Expression, "Doors");
  EXPECT_EQ(width->Answers(1)->Question(), width);
  EXPECT_EQ(width->Answers(1)->GetTemplate(), &templ);
  TSpecQuestion* info = templ.Questions(1);
  EXPECT_EQ(info->Variable, nullptr) << "an unknown variable name is no error";
  EXPECT_EQ(info->Kind, 200);
  EXPECT_EQ(info->FloatMin, "0.5");
  EXPECT_EQ(info->AnswerCount(), 0);
  EXPECT_EQ(templ.Questions(2)->Variable, templ.Variables(3));

  ASSERT_EQ(templ.ScreenCount(), 2);
  TSpecScreen* size = templ.Screens(0);
  EXPECT_EQ(size->GetTitle(), "Size");
  EXPECT_EQ(size->GetText(), "Choose the size");
  ASSERT_EQ(size->QuestionCount(), 3);
  EXPECT_EQ(size->Questions(0), width);
  EXPECT_EQ(size->Questions(1), templ.Questions(2));
  EXPECT_EQ(size->Questions(2), width);
  EXPECT_EQ(size->IndexOfQuestion(width), 2);
  EXPECT_EQ(templ.Screens(1)->QuestionCount(), 0);

  ASSERT_EQ(templ.DecisionPointCount(), 2);
  TSpecDecisionPoint* wide = templ.DecisionPoints(0);
  EXPECT_EQ(wide->Name, "Wide?");
  ASSERT_EQ(wide->OptionCount(), 3);
  EXPECT_EQ(wide->Options(0)->Condition.Expression, "Width>800");
  EXPECT_EQ(wide->Options(1)->Condition.Expression, "Width>600");
  EXPECT_FALSE(wide->Options(0)->IsDefault);
  EXPECT_TRUE(wide->Options(2)->IsDefault);
  EXPECT_EQ(wide->IndexOfOption(wide->Options(2)), 2);
  EXPECT_EQ(templ.DecisionPoints(1)->OptionCount(), 1);
  EXPECT_TRUE(templ.DecisionPoints(1)->Options(0)->IsDefault);

  ASSERT_EQ(templ.ActionCount(), 2);
  EXPECT_EQ(templ.Actions(0)->Kind, akSetValue);
  EXPECT_EQ(templ.Actions(0)->Variable, "Ratio");
  EXPECT_EQ(templ.Actions(0)->NewValue, "Width/400");
  const TSpecAction* add = templ.Actions(1);
  EXPECT_EQ(add->Kind, akAddProduct);
  EXPECT_EQ(add->Variable, "kept");
  EXPECT_EQ(add->NewValue, "also kept");
  EXPECT_EQ(add->ProductCode, "RC-600");
  EXPECT_EQ(add->Quantity, "2");
}

TEST(Template, LoadingAgainReplacesTheContent) {
  TSpecTemplate templ;
  Load(templ, Bytes(SmallTemplate()));
  Load(templ, Bytes(SmallTemplate()));
  EXPECT_EQ(templ.VariableCount(), 4);
  EXPECT_EQ(templ.QuestionCount(), 3);
  EXPECT_EQ(templ.Questions(0)->Variable, templ.Variables(0));
  EXPECT_EQ(templ.DecisionPoints(0)->OptionCount(), 3);
}

TEST(Template, BrokenSchemesFailWithTheCheckMessage) {
  struct Row {
    const char* name;
    std::function<void(TemplateRecord&)> breakIt;
    std::string message;
  };
  const Row rows[] = {
      {"empty variable name", [](TemplateRecord& r) { r.Variables[0].Name = ""; },
       kInvalidVariableName},
      {"name is no identifier", [](TemplateRecord& r) { r.Variables[1].Name = "2nd"; },
       kInvalidVariableName},
      {"names differ in Latin case only", [](TemplateRecord& r) { r.Variables[1].Name = "WIDTH"; },
       kVariableAlreadyDefined},
      {"invalid integer value", [](TemplateRecord& r) { r.Variables[0].Value = "wide"; },
       kInvalidSourceValue},
      {"unquoted string value", [](TemplateRecord& r) { r.Variables[1].Value = "rack"; },
       kInvalidSourceValue},
      {"type code 7 with a value", [](TemplateRecord& r) { r.Variables[2].Type = 7; },
       kInvalidSourceValue},
      {"screen names question 3 of 3",
       [](TemplateRecord& r) {
         r.Screens[1].Questions = {1, 3};
       },
       "List index out of bounds (3)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TemplateRecord record = SmallTemplate();
    row.breakIt(record);
    TSpecTemplate templ;
    auto stream = StreamOf(Bytes(record));
    EXPECT_RAISES_WHAT(templ.LoadFromStream(*stream), row.message);
  }
}

TEST(Template, ListIndexErrorIsTheProjectListError) {
  TemplateRecord record = SmallTemplate();
  record.Screens[0].Questions = {43};
  TSpecTemplate templ;
  auto stream = StreamOf(Bytes(record));
  EXPECT_THROW(templ.LoadFromStream(*stream), EListError);
}

TEST(Template, TypeCodeOutsideTheKnownTypesAcceptsTheEmptyValue) {
  TemplateRecord record = EmptyTemplate();
  record.Variables = {{"Odd", 9, ""}};
  TSpecTemplate templ;
  Load(templ, Bytes(record));
  EXPECT_EQ(templ.Variables(0)->Type, 9);
}

TEST(Template, FirstVariableMayBeNamedAsItsTemporaryNameInOtherCase) {
  TemplateRecord record = EmptyTemplate();
  record.Variables = {{"VARIABLE1", vtString, ""}, {"Variable2", vtString, ""}};
  TSpecTemplate templ;
  Load(templ, Bytes(record));
  EXPECT_EQ(templ.Variables(0)->Name(), "VARIABLE1");
  EXPECT_EQ(templ.Variables(1)->Name(), "Variable2");
  EXPECT_EQ(templ.IndexOfVariable("variable1"), 0);
}

TEST(Template, CountsBeyondTheBytesLeftReadBeyondTheEndBeforeAllocating) {
  auto withCount = [](int section, std::int32_t count) {
    SchemeWriter w;
    WriteLanguages(w, {});
    WriteServiceStrings(w, {});
    for (int i = 0; i < section; ++i) w.Int(0);
    w.Int(count);
    return w;
  };
  for (int section = 0; section < 7; ++section) {
    SCOPED_TRACE(section);
    TSpecTemplate templ;
    auto stream = StreamOf(withCount(section, 0x7FFFFFFF));
    EXPECT_RAISES_WHAT(templ.LoadFromStream(*stream), kReadBeyondEnd);
  }
  SchemeWriter strings;
  WriteLanguages(strings, {});
  strings.Word(0xFFFF).Byte(0);
  TSpecTemplate templ;
  EXPECT_RAISES_WHAT(templ.LoadFromStream(*StreamOf(strings)), kReadBeyondEnd);
}

TEST(Template, TruncationAtEveryByteReadsBeyondTheEnd) {
  const SchemeWriter full = Bytes(SmallTemplate());
  for (std::size_t cut = 0; cut < full.Size(); ++cut) {
    SCOPED_TRACE(cut);
    TSpecTemplate templ;
    auto stream = StreamOfPrefix(full, cut);
    EXPECT_RAISES_WHAT(templ.LoadFromStream(*stream), kReadBeyondEnd);
  }
}

TEST(Template, NameLookUpsFoldLatinLettersOnly) {
  TSpecTemplate templ;
  templ.AddVariable("Total", vtInteger, "");
  templ.AddVariable(kCyrUpper, vtString, "");
  EXPECT_EQ(templ.IndexOfVariable("total"), 0);
  EXPECT_EQ(templ.IndexOfVariable("TOTAL"), 0);
  EXPECT_EQ(templ.IndexOfVariable(kCyrUpper), 1);
  EXPECT_EQ(templ.IndexOfVariable(kCyrLower), -1);
  EXPECT_EQ(templ.FindVariable("Totals"), nullptr);
  EXPECT_EQ(templ.IndexOfVariable(""), -1);
  // A Cyrillic name in other case is another name.
  EXPECT_NE(templ.AddVariable(kCyrLower, vtString, ""), nullptr);
}

TEST(Template, NewNamesTakeTheFirstFreeNumber) {
  TSpecTemplate templ;
  EXPECT_EQ(templ.NewVariableName(), "Variable1");
  EXPECT_EQ(templ.NewResourceName(), "Resource 1");
  templ.AddVariable("Variable1", vtString, "");
  templ.AddVariable("variable2", vtString, "");
  EXPECT_EQ(templ.NewVariableName(), "Variable3");
  templ.AddResource("resource 1");
  EXPECT_EQ(templ.NewResourceName(), "Resource 2");
  EXPECT_EQ(templ.IndexOfResource("RESOURCE 1"), 0);
  EXPECT_EQ(templ.IndexOfResource("Resource 2"), -1);
}

TEST(Template, NewNamesFindNumbersThatBecameFreeAgain) {
  TSpecTemplate templ;
  std::vector<TSpecVariable*> variables;
  std::vector<TSpecResource*> resources;
  for (int i = 0; i < 4; ++i) {
    variables.push_back(templ.AddVariable(templ.NewVariableName(), vtString, ""));
    resources.push_back(templ.AddResource(templ.NewResourceName()));
  }
  EXPECT_EQ(templ.NewVariableName(), "Variable5");
  EXPECT_EQ(templ.NewResourceName(), "Resource 5");
  // A case-only rename keeps the number taken; a real one frees it.
  variables[1]->SetName("VARIABLE2");
  resources[1]->SetName("RESOURCE 2");
  EXPECT_EQ(templ.NewVariableName(), "Variable5");
  EXPECT_EQ(templ.NewResourceName(), "Resource 5");
  variables[2]->SetName("Width");
  resources[2]->SetName("Picture");
  EXPECT_EQ(templ.NewVariableName(), "Variable3");
  EXPECT_EQ(templ.NewResourceName(), "Resource 3");
  // Deleting frees the number; the lowest free one wins.
  templ.DeleteVariable(variables[0]);
  templ.DeleteResource(resources[0]);
  EXPECT_EQ(templ.NewVariableName(), "Variable1");
  EXPECT_EQ(templ.NewResourceName(), "Resource 1");
  // Names that only look like new names take no number.
  templ.AddVariable("Variable1", vtString, "");
  templ.AddVariable("Variable03", vtString, "");
  templ.AddResource("Resource 1");
  templ.AddResource("Resource 03");
  EXPECT_EQ(templ.NewVariableName(), "Variable3");
  EXPECT_EQ(templ.NewResourceName(), "Resource 3");
  templ.ClearVariables();
  templ.ClearResources();
  EXPECT_EQ(templ.NewVariableName(), "Variable1");
  EXPECT_EQ(templ.NewResourceName(), "Resource 1");
}

TEST(Variable, RenameChecksTheOtherVariablesOnly) {
  TSpecTemplate templ;
  TSpecVariable* width = templ.AddVariable("Width", vtInteger, "1");
  templ.AddVariable("Height", vtInteger, "");

  width->SetName("Width");
  width->SetName("WIDTH");  // a case-only rename of itself succeeds
  EXPECT_EQ(width->Name(), "WIDTH");
  EXPECT_EQ(templ.FindVariable("width"), width);

  EXPECT_RAISES_WHAT(width->SetName("height"), kVariableAlreadyDefined);
  EXPECT_RAISES_WHAT(width->SetName(""), kInvalidVariableName);
  EXPECT_RAISES_WHAT(width->SetName("a b"), kInvalidVariableName);
  EXPECT_EQ(width->Name(), "WIDTH");

  width->SetName("Depth");
  EXPECT_EQ(templ.FindVariable("WIDTH"), nullptr);
  EXPECT_EQ(templ.FindVariable("depth"), width);
  EXPECT_RAISES_WHAT(templ.AddVariable("DEPTH", vtString, ""), kVariableAlreadyDefined);
  EXPECT_RAISES_WHAT(templ.AddVariable("", vtString, ""), kInvalidVariableName);
  EXPECT_EQ(templ.VariableCount(), 2);
}

TEST(Variable, ValueIsCheckedAgainstTheType) {
  TSpecTemplate templ;
  for (std::uint8_t type = 0; type < 5; ++type) {
    SCOPED_TRACE(type);
    TSpecVariable* v =
        templ.AddVariable(templ.NewVariableName(), static_cast<TValueType>(type), "");
    EXPECT_EQ(v->Value(), "");
  }
  TSpecVariable* count = templ.Variables(1);
  count->SetValue("$1F");
  EXPECT_RAISES_WHAT(count->SetValue("1.5"), kInvalidSourceValue);
  EXPECT_EQ(count->Value(), "$1F");
  EXPECT_THROW(count->SetValue("1x"), EConvertError);
  EXPECT_RAISES_WHAT(templ.AddVariable("Bad", vtFloat, "one"), kInvalidSourceValue);
  EXPECT_EQ(templ.FindVariable("Bad"), nullptr) << "a refused variable is not kept";
}

TEST(Template, AccessorsRaiseOutsideTheListsExceptVariables) {
  TSpecTemplate templ;
  templ.AddScreen("s", "");
  EXPECT_EQ(templ.Variables(0), nullptr);
  EXPECT_EQ(templ.Variables(-1), nullptr);
  EXPECT_RAISES_WHAT(templ.Screens(1), "List index out of bounds (1)");
  EXPECT_RAISES_WHAT(templ.Screens(-1), "List index out of bounds (-1)");
  EXPECT_THROW(templ.Questions(0), EListError);
  EXPECT_THROW(templ.Actions(0), EListError);
  EXPECT_THROW(templ.DecisionPoints(0), EListError);
  EXPECT_THROW(templ.Resources(0), EListError);
  EXPECT_THROW(templ.Reports(0), EListError);
  EXPECT_THROW(templ.Screens(0)->Questions(0), EListError);
  TSpecDecisionPoint* point = templ.AddDecisionPoint();
  EXPECT_THROW(point->Options(1), EListError);
  TSpecQuestion* question = templ.AddQuestion("q", 0, nullptr);
  EXPECT_THROW(question->Answers(0), EListError);
}

TEST(Template, ListOperationsFindObjectsByIdentity) {
  TSpecTemplate templ;
  TSpecAction* a = templ.AddAction();
  TSpecAction* b = templ.AddAction();
  EXPECT_EQ(templ.IndexOfAction(b), 1);
  TSpecAction foreign(&templ);
  EXPECT_EQ(templ.IndexOfAction(&foreign), -1);
  templ.DeleteAction(&foreign);
  templ.DeleteAction(a);
  EXPECT_EQ(templ.ActionCount(), 1);
  EXPECT_EQ(templ.Actions(0), b);

  TSpecVariable* x = templ.AddVariable("X", vtString, "");
  TSpecVariable* y = templ.AddVariable("Y", vtString, "");
  templ.DeleteVariable(x);
  EXPECT_EQ(templ.IndexOfVariable("Y"), 0);
  EXPECT_EQ(templ.IndexOfVariableObject(y), 0);
  EXPECT_EQ(templ.FindVariable("X"), nullptr);
  EXPECT_NE(templ.AddVariable("x", vtString, ""), nullptr);
}

TEST(Template, DeletingAQuestionRemovesItFromEveryScreenFirst) {
  TSpecTemplate templ;
  TSpecQuestion* q = templ.AddQuestion("q", 0, nullptr);
  TSpecQuestion* other = templ.AddQuestion("other", 0, nullptr);
  TSpecScreen* s1 = templ.AddScreen("one", "");
  TSpecScreen* s2 = templ.AddScreen("two", "");
  s1->AddQuestion(q);
  s1->AddQuestion(other);
  s1->AddQuestion(q);
  s2->AddQuestion(q);
  templ.DeleteQuestion(q);
  ASSERT_EQ(s1->QuestionCount(), 1);
  EXPECT_EQ(s1->Questions(0), other);
  EXPECT_EQ(s2->QuestionCount(), 0);
}

TEST(Template, DeletingAVariableClearsTheQuestionsThatStoreInIt) {
  TSpecTemplate templ;
  TSpecVariable* v = templ.AddVariable("V", vtString, "");
  TSpecQuestion* q = templ.AddQuestion("q", 0, v);
  templ.DeleteVariable(v);
  EXPECT_EQ(q->Variable, nullptr);
}

TEST(Question, FindAnswerByTextTakesTheLastEqualTitle) {
  TSpecTemplate templ;
  TSpecQuestion* q = templ.AddQuestion("q", qkStringDropDown, nullptr);
  TSpecAnswer* first = q->AddAnswer();
  TSpecAnswer* second = q->AddAnswer();
  first->Title.SetCurrentText("Same");
  second->Title.SetCurrentText("Same");
  EXPECT_EQ(q->FindAnswerByText("Same"), second);
  EXPECT_EQ(q->FindAnswerByText("same"), nullptr);
  q->DeleteAnswer(second);
  EXPECT_EQ(q->FindAnswerByText("Same"), first);
  EXPECT_EQ(q->IndexOfAnswer(second), -1);
}

TEST(Screen, RemoveQuestionRemovesEveryReference) {
  TSpecTemplate templ;
  TemplateRecord record = SmallTemplate();
  Load(templ, Bytes(record));
  TSpecScreen* screen = templ.Screens(0);
  screen->RemoveQuestion(templ.Questions(0));
  ASSERT_EQ(screen->QuestionCount(), 1);
  EXPECT_EQ(screen->Questions(0), templ.Questions(2));
  EXPECT_EQ(screen->ObjectKind(), TSpecObjectKind::Screen);
}

TEST(DecisionPoint, DefaultOptionIsAlwaysLast) {
  TSpecTemplate templ;
  TSpecDecisionPoint* point = templ.AddDecisionPoint();
  ASSERT_EQ(point->OptionCount(), 1);
  EXPECT_TRUE(point->Options(0)->IsDefault);
  EXPECT_EQ(point->Options(0)->DecisionPoint(), point);
  EXPECT_EQ(point->Options(0)->GetTemplate(), &templ);
  EXPECT_EQ(point->Options(0)->ObjectKind(), TSpecObjectKind::Option);

  TSpecOption* inserted = point->InsertOption();
  EXPECT_EQ(point->Options(0), inserted);
  EXPECT_FALSE(inserted->IsDefault);

  SchemeWriter w;
  WriteDecisionPoint(w, {"p", {"a", "b"}});
  WriteDecisionPoint(w, {"p", {"a", "b"}});
  auto stream = StreamOf(w);
  point->LoadFromStream(*stream);
  point->LoadFromStream(*stream);
  ASSERT_EQ(point->OptionCount(), 3) << "loading twice leaves one default option";
  EXPECT_EQ(point->Options(0)->Condition.Expression, "b");
  EXPECT_EQ(point->Options(1)->Condition.Expression, "a");
  EXPECT_TRUE(point->Options(2)->IsDefault);
  EXPECT_EQ(point->IndexOfOption(point->Options(2)), 2);

  point->DeleteOption(point->Options(0));
  EXPECT_EQ(point->OptionCount(), 2);
  point->ClearOptions();
  EXPECT_EQ(point->OptionCount(), 0);
}

TEST(ModelObjects, EveryKindSharesTheBase) {
  TSpecTemplate templ;
  std::vector<std::pair<TSpecObject*, TSpecObjectKind>> objects = {
      {templ.Start(), TSpecObjectKind::Start},
      {templ.Finish(), TSpecObjectKind::Finish},
      {templ.AddScreen("", ""), TSpecObjectKind::Screen},
      {templ.AddAction(), TSpecObjectKind::Action},
      {templ.AddDecisionPoint(), TSpecObjectKind::DecisionPoint},
  };
  objects.push_back({templ.DecisionPoints(0)->Options(0), TSpecObjectKind::Option});
  for (const auto& [object, kind] : objects) {
    EXPECT_EQ(object->ObjectKind(), kind);
    EXPECT_EQ(object->GetTemplate(), &templ);
  }
}

TEST(Template, EveryMultilingualStringUnregistersBeforeTheManagerGoes) {
  auto templ = std::make_unique<TSpecTemplate>();
  Load(*templ, Bytes(SmallTemplate()));
  // 34 service strings (rebuilt: 2 records do not replace them), 3 questions, 2 answers and
  // 2 screens with two strings each.
  EXPECT_EQ(templ->MuiManager()->StringCount(), 34 + 2 * (3 + 2 + 2));
  templ->ClearScreens();
  templ->ClearQuestions();
  EXPECT_EQ(templ->MuiManager()->StringCount(), 34);
  Load(*templ, Bytes(SmallTemplate()));
  templ.reset();  // ASan reports any string touching a freed manager
}

}  // namespace

namespace {

SchemeWriter WithResources(const std::vector<ResourceRecord>& resources) {
  TemplateRecord record = EmptyTemplate();
  WriteResources(record.ResourceSection, resources);
  return Bytes(record);
}

TEST(Template, ResourceNamesAreCheckedWhileTheSectionIsRead) {
  TSpecTemplate templ;
  // The first resource takes the temporary name of the second in other case.
  Load(templ, WithResources({{"resource 2", "txt", 0, "a", {"Resource 3"}},
                             {"Resource 3", "txt", 0, "b", {"RESOURCE 2"}}}));
  ASSERT_EQ(templ.ResourceCount(), 2);
  EXPECT_EQ(templ.IndexOfResource("RESOURCE 3"), 1);
  ASSERT_EQ(templ.Resources(0)->DependencyCount(), 1);
  EXPECT_EQ(templ.Resources(0)->Dependencies(0), templ.Resources(1));
  EXPECT_EQ(templ.Resources(1)->Dependencies(0), templ.Resources(0));
  // After loading, a rename is seen at once.
  templ.Resources(1)->SetName("Renamed");
  EXPECT_EQ(templ.IndexOfResource("renamed"), 1);
  EXPECT_EQ(templ.IndexOfResource("Resource 3"), -1);

  TSpecTemplate clash;
  auto stream = StreamOf(WithResources({{"Pic", "gif", 3, "", {}}, {"PIC", "gif", 3, "", {}}}));
  EXPECT_RAISES_WHAT(clash.LoadFromStream(*stream), kResourceAlreadyExists);
  // A failed load leaves the look-ups scanning the list.
  EXPECT_EQ(clash.IndexOfResource("pic"), 0);
}

}  // namespace

namespace {

TEST(Template, DeletingAResourceRemovesEveryReferenceToItFirst) {
  TSpecTemplate templ;
  Load(templ,
       WithResources(
           {{"A", "", 0, "", {"B", "B", "C"}}, {"B", "", 0, "", {"B"}}, {"C", "", 0, "", {"B"}}}));
  TSpecResource* a = templ.Resources(0);
  TSpecResource* c = templ.Resources(2);
  templ.DeleteResource(templ.Resources(1));
  ASSERT_EQ(templ.ResourceCount(), 2);
  ASSERT_EQ(a->DependencyCount(), 1);
  EXPECT_EQ(a->Dependencies(0), c);
  EXPECT_EQ(c->DependencyCount(), 0);
  templ.ClearResources();
  EXPECT_EQ(templ.ResourceCount(), 0);
}

}  // namespace
