// CSV fields: quoted only when they must be, with quotes doubled inside.

#include <gtest/gtest.h>

#include "base/csvtext.h"

TEST(CsvText, QuotesOnlyFieldsWithSeparatorsQuotesOrLineBreaks) {
  const std::pair<const char*, const char*> cases[] = {
      {"gateway", "gateway"},           {"", ""},
      {"gate, main", "\"gate, main\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""}, {"cr\r", "\"cr\r\""}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(csvField(text), expected) << text;
}
