#include <gtest/gtest.h>

#include <string>

#include "formats/shop_page.h"

namespace kestrova {
namespace {

// RFC 3986: only ALPHA, DIGIT, "-", ".", "_", "~" (and the path's "/") stand
// as they are; every other byte of the UTF-8 name is %HH in capitals.
TEST(ShopPage, TheQuickLookModelsNameIsPercentEncodedAsARelativeAddress) {
  const struct {
    const char* name;
    const char* address;
  } kCases[] = {{"box.usdz", "box.usdz"},
                {"a#b.usdz", "a%23b.usdz"},
                {"my box?.usdz", "my%20box%3F.usdz"},
                {"50%.usdz", "50%25.usdz"},
                {"c:d.usdz", "c%3Ad.usdz"},
                {"models/k~1_x-y.usdz", "models/k~1_x-y.usdz"},
                {"caf\xC3\xA9.usdz", "caf%C3%A9.usdz"},
                {"a\"b&c.usdz", "a%22b%26c.usdz"}};
  for (const auto& c : kCases) EXPECT_EQ(RelativeUrl(c.name), c.address) << c.name;

  ShopPageParts parts;
  parts.usdzName = "a#b.usdz";
  const std::string page = WriteShopPage(parts);
  EXPECT_NE(page.find("ios-src=\"a%23b.usdz\""), std::string::npos);
}

}  // namespace
}  // namespace kestrova
