#include "model/mui.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "model/core.h"
#include "tests/support/model_support.h"
#include "tools/templatewriter.h"

namespace {

// A string on its own manager, filled with (key, text) pairs in order.
struct MuiFixture {
  TSpecMuiManager Manager;
  TSpecMuiString String{&Manager};

  void Fill(const MuiRecord& pairs) {
    SchemeWriter w;
    w.Mui(pairs);
    String.LoadFromStream(*StreamOf(w));
  }
};

TEST(MuiManager, NewManagerHasThreeLanguagesWithLanguageZeroCurrentAndDefault) {
  TSpecMuiManager manager;
  ASSERT_EQ(manager.LanguageCount(), 3);
  EXPECT_EQ(manager.GetLanguage(0)->Id, 0);
  EXPECT_EQ(manager.GetLanguage(0)->Name, "Default");
  EXPECT_EQ(manager.GetLanguage(1)->Id, 1);
  EXPECT_EQ(manager.GetLanguage(1)->Name, "Not specified");
  EXPECT_EQ(manager.GetLanguage(2)->Id, 2);
  EXPECT_EQ(manager.GetLanguage(2)->Name, "Not specified");
  EXPECT_EQ(manager.CurrentLanguage, 0);
  EXPECT_EQ(manager.DefaultLanguage, 0);
  EXPECT_EQ(manager.GetLanguage(3), nullptr);
  EXPECT_EQ(manager.GetLanguage(-1), nullptr);
  EXPECT_EQ(manager.GetString(0), nullptr);
}

TEST(MuiString, TextFallsBackToDefaultThenFirstTextThenEmpty) {
  struct Row {
    const char* name;
    MuiRecord pairs;
    std::int32_t current = 0;
    std::int32_t defaultLanguage = 0;
    std::string expected;
  };
  const Row rows[] = {
      {"current language present", {{"0", "zero"}, {"1", "one"}}, 1, 0, "one"},
      {"current missing, default present", {{"0", "zero"}, {"2", "two"}}, 1, 2, "two"},
      {"current and default missing: first text", {{"0", "zero"}, {"2", "two"}}, 1, 1, "zero"},
      {"no texts at all", {}, 1, 2, ""},
      {"later duplicate key wins", {{"1", "first"}, {"1", "second"}}, 1, 0, "second"},
      {"leading zero never matches", {{"01", "padded"}, {"2", "two"}}, 1, 2, "two"},
      {"unknown key only reachable as first text", {{"7", "seven"}}, 0, 0, "seven"},
      {"keys are not trimmed", {{" 1", "blank"}, {"0", "zero"}}, 1, 0, "zero"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MuiFixture f;
    f.Manager.CurrentLanguage = row.current;
    f.Manager.DefaultLanguage = row.defaultLanguage;
    f.Fill(row.pairs);
    EXPECT_EQ(f.String.GetCurrentText(), row.expected);
  }
}

TEST(MuiString, SetTextReplacesTheLaterDuplicateOrAppends) {
  MuiFixture f;
  f.Fill({{"1", "first"}, {"1", "second"}});
  f.String.SetText(1, "changed");
  EXPECT_EQ(f.String.Texts().Get(0), "first");
  EXPECT_EQ(f.String.Texts().Get(1), "changed");

  f.String.SetText(2, "two");
  ASSERT_EQ(f.String.Keys().Count(), 3);
  EXPECT_EQ(f.String.Keys().Get(2), "2");
  EXPECT_EQ(f.String.GetText(2), "two");

  f.String.SetText(-5, "negative");
  EXPECT_EQ(f.String.Keys().Get(3), "-5");
}

TEST(MuiString, RemoveLanguageRemovesOnlyTheLaterDuplicate) {
  MuiFixture f;
  f.Fill({{"1", "first"}, {"0", "zero"}, {"1", "second"}});
  f.String.RemoveLanguage(1);
  ASSERT_EQ(f.String.Keys().Count(), 2);
  EXPECT_EQ(f.String.GetText(1), "first");
  f.String.RemoveLanguage(5);
  EXPECT_EQ(f.String.Keys().Count(), 2);
}

TEST(MuiString, LoadingReplacesEveryPairAndKeepsZeroBytes) {
  MuiFixture f;
  f.String.SetText(0, "old");
  f.Fill({{"2", std::string("a\0b", 3)}});
  ASSERT_EQ(f.String.Keys().Count(), 1);
  EXPECT_EQ(f.String.GetText(2), std::string("a\0b", 3));
  f.Fill({});
  EXPECT_EQ(f.String.Keys().Count(), 0);
  EXPECT_EQ(f.String.GetText(0), "");
}

TEST(MuiString, TruncatedRecordReadsBeyondTheEnd) {
  SchemeWriter full;
  full.Mui({{"0", "zero"}, {"1", "one"}});
  for (std::size_t cut = 0; cut < full.Size(); ++cut) {
    SCOPED_TRACE(cut);
    MuiFixture f;
    EXPECT_RAISES_WHAT(f.String.LoadFromStream(*StreamOfPrefix(full, cut)), kReadBeyondEnd);
  }
}

TEST(MuiTextList, OutOfRangeIndexesAreIgnored) {
  TSpecMuiTextList list;
  list.Add("a");
  EXPECT_EQ(list.Get(1), "");
  EXPECT_EQ(list.Get(-1), "");
  list.Put(3, "x");
  list.Delete(-1);
  list.Delete(1);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0), "a");
}

TEST(MuiManager, RegistrationFollowsTheLifetimeOfTheStrings) {
  TSpecMuiManager manager;
  std::vector<std::unique_ptr<TSpecMuiString>> strings;
  for (int i = 0; i < 6; ++i) strings.push_back(std::make_unique<TSpecMuiString>(&manager));
  TSpecMuiString unregistered(&manager, false);
  EXPECT_FALSE(unregistered.Registered());
  EXPECT_EQ(manager.IndexOfString(&unregistered), -1);
  ASSERT_EQ(manager.StringCount(), 6);
  EXPECT_EQ(manager.RegisterString(strings[2].get()), 2);

  // Free from the middle, the end and the front; the order of the others stays.
  strings[1].reset();
  strings[5].reset();
  strings[0].reset();
  ASSERT_EQ(manager.StringCount(), 3);
  EXPECT_EQ(manager.GetString(0), strings[2].get());
  EXPECT_EQ(manager.GetString(1), strings[3].get());
  EXPECT_EQ(manager.GetString(2), strings[4].get());
  EXPECT_EQ(manager.GetString(3), nullptr);
  EXPECT_EQ(manager.IndexOfString(strings[4].get()), 2);

  TSpecMuiString late(&manager);
  EXPECT_EQ(manager.IndexOfString(&late), 3);
  manager.UnregisterString(strings[3].get());
  EXPECT_FALSE(strings[3]->Registered());
  EXPECT_EQ(manager.StringCount(), 3);
  EXPECT_EQ(manager.IndexOfString(&late), 2);
}

TEST(MuiManager, RegisteringWithAnotherManagerMovesTheString) {
  TSpecMuiManager first;
  TSpecMuiManager second;
  TSpecMuiString string(&first);
  EXPECT_EQ(second.RegisterString(&string), 0);
  EXPECT_EQ(first.StringCount(), 0);
  EXPECT_EQ(string.Manager(), &second);
}

TEST(MuiManager, StringsOutlivingTheirManagerAreLeftUnregistered) {
  auto manager = std::make_unique<TSpecMuiManager>();
  TSpecMuiString string(manager.get());
  manager.reset();
  EXPECT_FALSE(string.Registered());
  // Destroying the string afterwards must not touch the freed manager (checked under ASan).
}

TEST(MuiManager, DeletingALanguageStripsItsTextsAndMovesCurrentAndDefault) {
  TSpecMuiManager manager;
  manager.CurrentLanguage = 1;
  manager.DefaultLanguage = 2;
  TSpecMuiString a(&manager);
  TSpecMuiString b(&manager);
  a.SetText(1, "a1");
  a.SetText(2, "a2");
  b.SetText(1, "b1");

  manager.DeleteLanguage(manager.GetLanguage(1));
  EXPECT_EQ(a.IndexOfLanguage(1), -1);
  EXPECT_EQ(b.Keys().Count(), 0);
  EXPECT_EQ(manager.CurrentLanguage, 0);
  EXPECT_EQ(manager.DefaultLanguage, 2);

  TSpecMuiLanguage foreign(nullptr);
  manager.DeleteLanguage(&foreign);
  EXPECT_EQ(manager.LanguageCount(), 2);

  manager.DeleteLanguage(manager.GetLanguage(1));
  EXPECT_EQ(manager.DefaultLanguage, 0);
  manager.DeleteLanguage(manager.GetLanguage(0));
  EXPECT_EQ(manager.LanguageCount(), 0);
  EXPECT_EQ(manager.CurrentLanguage, 0);
  EXPECT_EQ(manager.DefaultLanguage, 0);

  // A language added to an empty manager becomes current and default; the next takes the
  // smallest free id.
  EXPECT_EQ(manager.AddLanguage()->Name, "Default");
  manager.GetLanguage(0)->Id = 1;
  TSpecMuiLanguage* next = manager.AddLanguage();
  EXPECT_EQ(next->Id, 0);
  EXPECT_EQ(next->Name, "Not specified");
}

TEST(MuiManager, LanguagesSectionFillsTheExistingSlots) {
  struct Row {
    const char* name;
    std::vector<LanguageRecord> languages;
    std::vector<std::pair<std::int32_t, std::string>> expected;
  };
  const Row rows[] = {
      {"two records", {{5, "Ru"}, {7, "En"}}, {{5, "Ru"}, {7, "En"}, {2, "Not specified"}}},
      {"none", {}, {{0, "Default"}, {1, "Not specified"}, {2, "Not specified"}}},
      {"five records: the surplus is read and discarded",
       {{0, "A"}, {1, "B"}, {2, "C"}, {3, "D"}, {4, "E"}},
       {{0, "A"}, {1, "B"}, {2, "C"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SchemeWriter w;
    WriteLanguages(w, {row.languages, 200, 9});
    w.Byte(0x5A);  // the next section starts right after
    auto stream = StreamOf(w);
    TSpecMuiManager manager;
    manager.LoadFromStream(*stream);
    ASSERT_EQ(manager.LanguageCount(), 3);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(manager.GetLanguage(i)->Id, row.expected[i].first);
      EXPECT_EQ(manager.GetLanguage(i)->Name, row.expected[i].second);
    }
    EXPECT_EQ(manager.CurrentLanguage, 200);
    EXPECT_EQ(manager.DefaultLanguage, 9);
    EXPECT_EQ(stream->ReadByte(), 0x5A);
  }
}

TEST(MuiManager, LanguageCountBeyondTheDataReadsBeyondTheEnd) {
  SchemeWriter w;
  w.Byte(255).Int(0).Str("only one");
  TSpecMuiManager manager;
  EXPECT_RAISES_WHAT(manager.LoadFromStream(*StreamOf(w)), kReadBeyondEnd);
}

TEST(MuiStringList, ServiceStringsSectionReplacesInPlaceOrRebuilds) {
  struct Row {
    const char* name;
    int count;
    int expectedCount;
    bool defaultsRemain;
  };
  const Row rows[] = {
      {"all 34", 34, 34, false},
      {"first ten", 10, 34, true},
      {"forty: rebuilt", 40, 40, false},
      {"none", 0, 34, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<MuiRecord> strings;
    for (int i = 0; i < row.count; ++i) strings.push_back({{"1", "s" + std::to_string(i)}});
    SchemeWriter w;
    WriteServiceStrings(w, strings);
    TSpecTemplate templ;
    templ.MuiManager()->CurrentLanguage = 1;
    TSpecMuiStringList* list = templ.ServiceStrings();
    list->LoadFromStream(*StreamOf(w));
    ASSERT_EQ(list->Count(), row.expectedCount);
    for (int i = 0; i < row.count; ++i) EXPECT_EQ(list->GetText(i), "s" + std::to_string(i));
    if (row.defaultsRemain) {
      // Defaults are stored under key 0 and shown through the fallback in language 1.
      EXPECT_EQ(list->GetText(33), "Verticals:");
    }
    EXPECT_EQ(list->GetText(row.expectedCount), "");
    EXPECT_EQ(list->GetString(-1), nullptr);
    list->SetText(row.expectedCount, "ignored");
  }
}

}  // namespace
