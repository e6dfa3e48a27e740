#include <gtest/gtest.h>

#include <string>

#include "NameOrder.h"

using Platform::CompareNames;
using Platform::NameBefore;

TEST(NameOrder, CaseIgnoredInEveryScriptTiesByBytes) {
  struct TCase {
    std::string Before, After;
  };
  const TCase cases[] = {
      {"apple", "Banana"},              // letter case does not come first
      {"B", "b"},                       // names alike but for case: by bytes
      {"a", "ab"},                      // a prefix first
      {"a.txt", "a_b"},                 // punctuation by code point
      {"\xC3\xA4pfel", "\xC3\x84rger"},  // äpfel < Ärger: Ä folds to ä
      {"\xCE\xA3" "a", "\xCF\x83" "b"},  // Σa < σb: Greek folds too
      {"z", "\xC3\xA9"},                // é after every ASCII letter
      {"\xFF" "a", "\xEF\xBF\xBD" "b"},  // a stray byte sorts as U+FFFD
      {"\xEF\xBF\xBD", "\xFF"},         // and ties with it by bytes
  };
  for (const TCase& c : cases) {
    EXPECT_TRUE(NameBefore(c.Before, c.After)) << c.Before << " < " << c.After;
    EXPECT_FALSE(NameBefore(c.After, c.Before)) << c.After << " < " << c.Before;
  }
  EXPECT_EQ(CompareNames("same", "same"), 0);
}
