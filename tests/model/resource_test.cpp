#include "model/resource.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "model/core.h"
#include "model/saver.h"
#include "platform/tempdir.h"
#include "tests/support/model_support.h"
#include "tests/support/test_paths.h"
#include "tools/resourcewriter.h"
#include "tools/templatewriter.h"

namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

ResourceRecord Record(const std::string& name, const std::string& extension = "",
                      std::uint8_t kind = rkInformationalText, const std::string& data = "") {
  ResourceRecord record;
  record.Name = name;
  record.Extension = extension;
  record.Kind = kind;
  record.Data = data;
  return record;
}

std::vector<std::string> Collect(const TSpecResource& resource, bool ignoreCase = true) {
  TSpecNameList names(ignoreCase);
  resource.CollectLinkedNames(names);
  return names.Names();
}

class ResourceTest : public ::testing::Test {
 protected:
  TSpecResource* Add(const std::string& name) { return Template.AddResource(name); }

  TSpecTemplate Template;
};

TEST_F(ResourceTest, NameChecks) {
  TSpecResource* logo = Add("Logo");
  Add("Manual");
  struct Case {
    const char* name;
    std::string newName;
    std::string error;  // empty: accepted
  };
  const Case cases[] = {
      {"own name in other Latin case", "LOGO", ""},
      {"another resource's name in other case", "manual", kResourceAlreadyExists},
      {"colon", "a:b", kResourceNameNotFileName},
      {"slash", "a/b", kResourceNameNotFileName},
      {"backslash", "a\\b", kResourceNameNotFileName},
      {"asterisk and question mark pass", "what*?", ""},
      {"empty name passes", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    logo->SetName("Logo");
    if (c.error.empty()) {
      logo->SetName(c.newName);
      EXPECT_EQ(logo->Name(), c.newName);
    } else {
      EXPECT_RAISES_WHAT(logo->SetName(c.newName), c.error);
      EXPECT_EQ(logo->Name(), "Logo") << "a refused name leaves the old one";
    }
  }
  logo->SetName("Logo");
  EXPECT_RAISES_WHAT(Add("LOGO"), kResourceAlreadyExists);
}

TEST_F(ResourceTest, DependencyListKeepsDuplicatesAndRemovesTheLastReference) {
  TSpecResource* a = Add("A");
  TSpecResource* b = Add("B");
  TSpecResource* c = Add("C");
  a->AddDependency(b);
  a->AddDependency(c);
  a->AddDependency(b);
  EXPECT_EQ(a->IndexOfDependency(b), 2);
  a->RemoveDependency(b);
  ASSERT_EQ(a->DependencyCount(), 2);
  EXPECT_EQ(a->Dependencies(0), b);
  EXPECT_EQ(a->Dependencies(1), c);
  EXPECT_EQ(a->IndexOfDependency(a), -1);
  EXPECT_THROW(a->Dependencies(2), EListError);
  EXPECT_THROW(a->Dependencies(-1), EListError);
}

TEST_F(ResourceTest, CollectsLinkedNamesInPreOrderOnce) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // from, to
    std::vector<std::string> expected;                       // collected from A
  };
  const Case cases[] = {
      {"chain and branch", {{"A", "B"}, {"A", "C"}, {"B", "D"}}, {"B", "D", "C"}},
      {"cycle stops", {{"A", "B"}, {"B", "A"}}, {"B", "A"}},
      {"self link", {{"A", "A"}}, {"A"}},
      {"same dependency twice", {{"A", "B"}, {"A", "B"}, {"B", "C"}}, {"B", "C"}},
      {"shared dependency is skipped with its own links",
       {{"A", "B"}, {"A", "C"}, {"B", "D"}, {"C", "D"}, {"D", "E"}},
       {"B", "D", "E", "C"}},
      {"longer cycle back to the start",
       {{"A", "B"}, {"B", "C"}, {"C", "A"}, {"C", "D"}},
       {"B", "C", "A", "D"}},
      {"no dependencies", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSpecTemplate templ;
    for (const char* name : {"A", "B", "C", "D", "E"}) templ.AddResource(name);
    auto find = [&](const std::string& name) {
      return templ.Resources(templ.IndexOfResource(name));
    };
    for (const auto& [from, to] : c.links) find(from)->AddDependency(find(to));
    EXPECT_EQ(Collect(*find("A")), c.expected);
  }
}

TEST_F(ResourceTest, CollectingSkipsNamesTheCallerAlreadyHasByItsOwnComparison) {
  TSpecResource* a = Add("A");
  TSpecResource* page = Add("Page");
  a->AddDependency(page);
  {
    TSpecNameList names(true);
    names.Add("PAGE");
    a->CollectLinkedNames(names);
    EXPECT_EQ(names.Names(), std::vector<std::string>{"PAGE"});
  }
  {
    TSpecNameList names(false);
    names.Add("PAGE");
    a->CollectLinkedNames(names);
    EXPECT_EQ(names.Names(), (std::vector<std::string>{"PAGE", "Page"}));
  }
}

TEST(ResourceChainTest, AVeryLongChainNeedsNoCallStack) {
  // Deep enough that one call frame per link would exhaust an 8 MiB stack.
  constexpr int kLength = 300000;
  std::vector<std::unique_ptr<TSpecResource>> chain;
  chain.reserve(kLength);
  for (int i = 0; i < kLength; ++i) {
    chain.push_back(std::make_unique<TSpecResource>(nullptr, "R" + std::to_string(i)));
    if (i > 0) chain[static_cast<std::size_t>(i - 1)]->AddDependency(chain.back().get());
  }
  chain.back()->AddDependency(chain.front().get());
  std::vector<std::string> names = Collect(*chain.front());
  ASSERT_EQ(names.size(), static_cast<std::size_t>(kLength));
  EXPECT_EQ(names.front(), "R1");
  EXPECT_EQ(names.back(), "R0");
}

TEST_F(ResourceTest, TextForm) {
  struct Case {
    const char* name;
    std::uint8_t kind;
    std::string data;
    std::string expected;
  };
  const Case cases[] = {
      {"picture with data", rkPicture, "GIF89a", "[Picture]"},
      {"picture without data", rkPicture, "", ""},
      {"text with a zero byte", rkInformationalText, std::string("A\0B", 3),
       std::string("A\0B", 3)},
      {"web address", rkWebResource, "http://example.org/", "http://example.org/"},
      {"unknown kind is text", 9, "x", "x"},
  };
  TSpecResource* r = Add("R");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    r->Kind = c.kind;
    r->SetData(Bytes(c.data));
    EXPECT_EQ(r->AsText(), c.expected);
  }
  r->FreeData();
  EXPECT_EQ(r->Size(), 0);
  EXPECT_EQ(r->AsText(), "");
}

TEST_F(ResourceTest, FileNameEndsWithTheDotWithoutExtension) {
  TSpecResource* r = Add("readme");
  EXPECT_EQ(r->FileName(), "readme.");
  r->Extension = "txt";
  EXPECT_EQ(r->FileName(), "readme.txt");
}

// --- Extraction ------------------------------------------------------------------------------

class ExtractionTest : public ResourceTest {
 protected:
  void SetUp() override { SetExtractionRoot(Scratch.Path().string()); }
  void TearDown() override { SetExtractionRoot(""); }

  fs::path Folder() const { return Scratch.Path() / "quorvane"; }

  ScratchFolder Scratch;
};

TEST_F(ExtractionTest, WritesPagesPicturesAndTextsButNoWebAddress) {
  TSpecResource* page = Add("Page");
  page->Extension = "htm";
  page->Kind = rkHtmlPage;
  page->SetData(Bytes("<html>"));
  TSpecResource* web = Add("Site");
  web->Extension = "url";
  web->Kind = rkWebResource;
  web->SetData(Bytes("http://example.org/"));

  EXPECT_EQ(page->TempFileName(), (Folder() / "Page.htm").string());
  EXPECT_EQ(page->TempFileName(), page->TempFileName());
  page->ExtractToTempFile();
  web->ExtractToTempFile();
  EXPECT_EQ(ReadWholeFile(page->TempFileName()), "<html>");
  EXPECT_FALSE(fs::exists(web->TempFileName()));
}

TEST_F(ExtractionTest, RewritesTheFileOnEveryExtraction) {
  TSpecResource* r = Add("Big");
  r->Extension = "bin";
  std::string big(10000, 'x');
  big[4095] = 'a';
  big[8191] = 'b';
  big[9999] = 'c';
  r->SetData(Bytes(big));
  r->ExtractToTempFile();
  EXPECT_EQ(ReadWholeFile(r->TempFileName()), big);
  r->SetData(Bytes("short"));
  r->ExtractToTempFile();
  EXPECT_EQ(ReadWholeFile(r->TempFileName()), "short");
  r->FreeData();
  r->ExtractToTempFile();
  EXPECT_TRUE(fs::exists(r->TempFileName()));
  EXPECT_EQ(fs::file_size(r->TempFileName()), 0u);
}

TEST_F(ExtractionTest, HostileNamesStayInsideTheFolder) {
  struct Case {
    const char* name;
    std::string resource;
    std::string extension;
  };
  const Case cases[] = {
      {"climbing extension", "", "/../../x"},
      {"climbing extension after a name", "a", "./../../../y"},
      {"absolute extension", "b", "/etc/passwd"},
      {"dot dot name", "..", ""},
      {"dot name", ".", ""},
      {"empty name and extension", "", ""},
      {"dot extension", "", "."},
      {"zero byte", std::string("c\0", 2), std::string("\0/../z", 6)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSpecTemplate templ;
    TSpecResource* r = templ.AddResource(c.resource);
    r->Extension = c.extension;
    r->SetData(Bytes("payload"));
    r->ExtractToTempFile();
    std::string path = r->TempFileName();
    EXPECT_EQ(fs::path(path).parent_path(), Folder()) << path;
  }
  // Only the folder itself sits in the root, and nothing climbed out of the root.
  std::vector<fs::path> top;
  for (const auto& entry : fs::directory_iterator(Scratch.Path())) top.push_back(entry.path());
  EXPECT_EQ(top, std::vector<fs::path>{Folder()});
  for (const auto& entry : fs::directory_iterator(Folder())) {
    EXPECT_TRUE(entry.is_regular_file()) << entry.path();
  }
  EXPECT_FALSE(fs::exists(Scratch.Path().parent_path() / "x"));
}

TEST_F(ExtractionTest, DoesNotFollowALinkPlantedUnderTheFileName) {
  TSpecResource* r = Add("Pic");
  r->Extension = "gif";
  r->Kind = rkPicture;
  r->SetData(Bytes("GIF89a"));
  std::string target = Scratch.WriteFile("target", "keep");
  fs::create_directories(Folder());
  fs::create_symlink(target, r->TempFileName());
  r->ExtractToTempFile();
  EXPECT_EQ(ReadWholeFile(target), "keep");
}

TEST_F(ExtractionTest, ConvertsTheNameToUtf8) {
  TSpecResource* r = Add("\xD1\xF5\xE5\xEC\xE0");  // "Схема" in Windows-1251
  r->Extension = "gif";
  r->SetData(Bytes("x"));
  r->ExtractToTempFile();
  EXPECT_EQ(ReadWholeFile((Folder() / "\xD0\xA1\xD1\x85\xD0\xB5\xD0\xBC\xD0\xB0.gif").string()),
            "x");
}

// --- Records of section A5 -------------------------------------------------------------------

TEST_F(ResourceTest, ReadsItsRecordFieldByField) {
  SchemeWriter w;
  WriteResource(w, Record("Logo", "gif", rkPicture, std::string("GIF\0\xFF", 5)));
  w.Byte(0x55);
  auto stream = StreamOf(w);
  TSpecResource* r = Add(Template.NewResourceName());
  r->LoadFromStream(*stream);
  EXPECT_EQ(r->Name(), "Logo");
  EXPECT_EQ(r->Extension, "gif");
  EXPECT_EQ(r->Kind, rkPicture);
  EXPECT_EQ(r->Data(), Bytes(std::string("GIF\0\xFF", 5)));
  EXPECT_EQ(r->Size(), 5);
  EXPECT_EQ(stream->Remaining(), 1u);
}

TEST_F(ResourceTest, KeepsAnUnknownKindAsRead) {
  SchemeWriter w;
  WriteResource(w, Record("X", "", 200));
  TSpecResource* r = Add("Resource 1");
  r->LoadFromStream(*StreamOf(w));
  EXPECT_EQ(r->Kind, 200);
}

TEST_F(ResourceTest, BrokenRecordsFailTheLoad) {
  Add("Taken");
  struct Case {
    const char* name;
    SchemeWriter bytes;
    std::string error = kReadBeyondEnd;
  };
  std::vector<Case> cases;
  {
    Case c{"negative size", {}};
    c.bytes.Str("N").Str("txt").Byte(0).Int(-1);
    cases.push_back(std::move(c));
  }
  {
    Case c{"size beyond the bytes left", {}};
    c.bytes.Str("N").Str("txt").Byte(0).Int(0x7FFFFFFF).Raw("abc", 3);
    cases.push_back(std::move(c));
  }
  {
    Case c{"size one beyond", {}};
    c.bytes.Str("N").Str("txt").Byte(0).Int(4).Raw("abc", 3);
    cases.push_back(std::move(c));
  }
  {
    Case c{"duplicate name", {}, kResourceAlreadyExists};
    WriteResource(c.bytes, Record("TAKEN"));
    cases.push_back(std::move(c));
  }
  {
    Case c{"name with a colon", {}, kResourceNameNotFileName};
    WriteResource(c.bytes, Record("c:x"));
    cases.push_back(std::move(c));
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSpecResource* r = Add(Template.NewResourceName());
    auto stream = StreamOf(c.bytes);
    EXPECT_RAISES_WHAT(r->LoadFromStream(*stream), c.error);
    Template.DeleteResource(r);
  }
}

TEST_F(ResourceTest, EveryTruncationOfARecordIsAReadError) {
  SchemeWriter full;
  WriteResource(full, Record("Page", "htm", rkHtmlPage, "<p>"));
  WriteResourceLinks(full, {"Page", "Other"});
  for (std::size_t cut = 0; cut < full.Size(); ++cut) {
    SCOPED_TRACE(cut);
    TSpecTemplate templ;
    TSpecResource* r = templ.AddResource("Resource 1");
    auto stream = StreamOfPrefix(full, cut);
    EXPECT_RAISES_WHAT(
        {
          r->LoadFromStream(*stream);
          r->LoadLinks(*stream);
        },
        kReadBeyondEnd);
  }
}

TEST_F(ResourceTest, LinksResolveNamesAndSkipUnknownOnes) {
  TSpecResource* page = Add("Page");
  TSpecResource* pic = Add("Pic");
  SchemeWriter w;
  WriteResourceLinks(w, {"pic", "Missing", "PIC", "Page"});
  page->LoadLinks(*StreamOf(w));
  ASSERT_EQ(page->DependencyCount(), 3);
  EXPECT_EQ(page->Dependencies(0), pic);
  EXPECT_EQ(page->Dependencies(1), pic);
  EXPECT_EQ(page->Dependencies(2), page);
  EXPECT_EQ(Collect(*page), (std::vector<std::string>{"Pic", "Page"}));

  SchemeWriter none;
  none.Int(-5);
  auto stream = StreamOf(none);
  pic->LoadLinks(*stream);
  EXPECT_EQ(pic->DependencyCount(), 0);

  SchemeWriter huge;
  huge.Int(1000).Str("Pic");
  EXPECT_RAISES_WHAT(pic->LoadLinks(*StreamOf(huge)), kReadBeyondEnd);
  EXPECT_EQ(pic->DependencyCount(), 0) << "the count is checked before any name is read";
}

TEST(ResourceSectionTest, DependenciesMayNameResourcesOfLaterRecords) {
  TemplateRecord record;
  ResourceRecord page = Record("Page", "htm", rkHtmlPage, "<img src=\"Pic.gif\">");
  page.Links = {"Pic", "Nowhere", "Page"};
  ResourceRecord pic = Record("Pic", "gif", rkPicture, "GIF89a");
  pic.Links = {"page"};
  WriteResources(record.ResourceSection, {page, pic});
  SchemeWriter w;
  WriteTemplate(w, record);
  auto stream = StreamOf(w);
  TSpecTemplate templ;
  templ.LoadFromStream(*stream);
  EXPECT_EQ(stream->Remaining(), 0u);
  ASSERT_EQ(templ.ResourceCount(), 2);
  TSpecResource* loadedPage = templ.Resources(0);
  TSpecResource* loadedPic = templ.Resources(1);
  EXPECT_EQ(loadedPage->Name(), "Page");
  ASSERT_EQ(loadedPage->DependencyCount(), 2);
  EXPECT_EQ(loadedPage->Dependencies(0), loadedPic);
  EXPECT_EQ(loadedPage->Dependencies(1), loadedPage);
  EXPECT_EQ(Collect(*loadedPic), (std::vector<std::string>{"Page", "Pic"}));
}

TEST(ResourceSectionTest, ARecordNamedLikeItsOwnTemporaryNameInOtherCaseLoads) {
  // The first resource is created as "Resource 1": the only match of its record's name is
  // the resource itself.
  TemplateRecord record;
  WriteResources(record.ResourceSection, {Record("RESOURCE 1"), Record("Resource 2")});
  SchemeWriter w;
  WriteTemplate(w, record);
  TSpecTemplate templ;
  templ.LoadFromStream(*StreamOf(w));
  ASSERT_EQ(templ.ResourceCount(), 2);
  EXPECT_EQ(templ.Resources(0)->Name(), "RESOURCE 1");
  EXPECT_EQ(templ.Resources(1)->Name(), "Resource 2");
}

}  // namespace
