#include "platform/shell.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WebAddressUrl, AnAddressWithoutASchemeIsAWebAddress) {
  struct Row {
    std::string address;
    std::string url;
  };
  const Row rows[] = {
      {"www.example.com/racks", "http://www.example.com/racks"},
      {"WWW.Example.com", "http://WWW.Example.com"},
      {"example.com/racks?size=42#top", "http://example.com/racks?size=42#top"},
      {"ftp.example.com/pub", "ftp://ftp.example.com/pub"},
      {"//example.com/racks", "http://example.com/racks"},
      {"localhost:8080/racks", "http://localhost:8080/racks"},
      {"  www.example.com \r\n", "http://www.example.com"},
      // A scheme of any letter case is kept, and so is the address.
      {"https://www.example.com/racks", "https://www.example.com/racks"},
      {"HTTP://example.com", "HTTP://example.com"},
      {"mailto:sales@example.com", "mailto:sales@example.com"},
      {"file:///tmp/offer.html", "file:///tmp/offer.html"},
      {"", ""},
      {"   ", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.address);
    EXPECT_EQ(WebAddressUrl(row.address), row.url);
  }
}

}  // namespace
