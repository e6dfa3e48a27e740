#include "IntegerText.h"

#include <gtest/gtest.h>

TEST(IntegerText, AcceptsDecimalAndDollarHexWithSignAndLeadingBlanks) {
  const struct { const char* text; std::int32_t value; } cases[] = {
      {"0", 0}, {"2048", 2048}, {"  2048", 2048}, {"+7", 7}, {"-1", -1},
      {"$400", 1024}, {"-$10", -16}, {"$7FFFFFFF", 2147483647},
      {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
  };
  for (const auto& c : cases) {
    const auto value = StrToInt32(c.text);
    ASSERT_TRUE(value.has_value()) << c.text;
    EXPECT_EQ(*value, c.value) << c.text;
  }
}

TEST(IntegerText, RejectsAnythingElse) {
  for (const char* text : {"", " ", "-", "$", "1k", "abc", "12 ", "0x400", "2147483648",
                           "-2147483649", "$80000000", "99999999999999999999", "1.5", "--1"}) {
    EXPECT_FALSE(StrToInt32(text).has_value()) << '"' << text << '"';
  }
}
