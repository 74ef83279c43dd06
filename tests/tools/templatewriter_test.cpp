// The template section writers emit exactly the record layouts, byte for byte: the readers'
// tests build on them, so a layout fault shared by writer and reader would go unseen there.

#include "tools/templatewriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

// The bytes of a literal, zero bytes included.
template <std::size_t N>
std::string Lit(const char (&text)[N]) {
  return std::string(text, N - 1);
}

TEST(TemplateWriter, RecordsHaveTheirExactLayouts) {
  struct Row {
    const char* name;
    SchemeWriter written;
    std::string expected;
  };
  std::vector<Row> rows;
  {
    SchemeWriter w;
    WriteLanguages(w, {{{7, "Ru"}}, 1, 2});
    rows.push_back({"languages", w, Lit("\x01\x07\0\0\0\x02\0Ru\x01\x02")});
  }
  {
    SchemeWriter w;
    WriteVariables(w, {{"V", 1, "5"}});
    rows.push_back({"variables", w,
                    Lit("\x01\0\0\0\x01\0V\x01\x01\0"
                        "5")});
  }
  {
    QuestionRecord q;
    q.Title = {{"0", "T"}};
    q.Variable = "V";
    q.Kind = 5;
    q.IntMax = "9";
    q.Answers = {{{}, {{"1", "H"}}, "2", "C"}};
    SchemeWriter w;
    WriteQuestion(w, q);
    rows.push_back({"question with one answer", w,
                    Lit("\x01\x01\0"
                        "0\x01\0T"  // title
                        "\x01\0V"   // variable
                        "\0"        // description
                        "\x05"      // kind
                        "\0\0\0\0\0\0\x01\0"
                        "9"       // bounds
                        "\x01\0"  // answer count
                        "\0\x01\x01\0"
                        "1\x01\0H\x01\0"
                        "2\x01\0C")});
  }
  {
    SchemeWriter w;
    WriteScreen(w, {{}, {}, {3, 3}});
    rows.push_back({"screen", w, Lit("\0\0\x02\0\x03\0\x03\0")});
  }
  {
    SchemeWriter w;
    WriteDecisionPoint(w, {"D", {"a", "b"}});
    rows.push_back({"decision point", w, Lit("\x01\0D\x02\0\x01\0a\x01\0b")});
  }
  {
    SchemeWriter w;
    WriteAction(w, {1, "v", "", "P", "2"});
    rows.push_back({"action", w,
                    Lit("\x01\x01\0v\0\0\x01\0P\x01\0"
                        "2")});
  }
  {
    SchemeWriter w;
    WriteTemplate(w, TemplateRecord{});
    rows.push_back({"empty template", w,
                    Lit("\0\0\0\0\0"
                        "\0\0\0\0"
                        "\0\0\0\0"
                        "\0\0\0\0"
                        "\0\0\0\0"
                        "\0\0\0\0"
                        "\0\0\0\0"
                        "\0\0\0\0")});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.written.Bytes(), Bytes(row.expected));
  }
}

}  // namespace
