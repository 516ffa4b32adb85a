#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "base/textutils.h"

namespace {

using Parts = std::vector<std::string>;

TEST(Splitter, CutsAtEverySeparatorAndDropsOnlyAnEmptyLastPart) {
  const struct {
    std::string text;
    Parts expected;
  } cases[] = {
      {"a  b", {"a", "", "b"}},
      {"a b ", {"a", "b"}},
      {" ", {""}},
      {"", {}},
      {" a", {"", "a"}},
      {"a(b)[c]", {"a", "b", "", "c"}},
      {"one\ttwo", {"one\ttwo"}},
  };
  splitter s;
  s.separators = {" ", "(", ")", "[", "]"};
  for (const auto& c : cases) {
    s.split(c.text);
    EXPECT_EQ(s.parts, c.expected) << '"' << c.text << '"';
  }
}

TEST(Splitter, MatchesLetterSeparatorsIgnoringCaseAndClearsEarlierParts) {
  splitter s;
  s.separators = {"x"};
  s.split("aXbxc");
  EXPECT_EQ(s.parts, (Parts{"a", "b", "c"}));
  s.split("d");
  EXPECT_EQ(s.parts, (Parts{"d"}));
}

TEST(TextTests, DottedAddresses) {
  const struct {
    const char* text;
    bool address;
  } cases[] = {
      {"10.0.0.1", true},   {"999.999.999.999", true}, {"1.2.3", false},  {"1.2.3.4.5", false},
      {"1..2.3", false},    {"1.2.3.", false},         {"1.2.3.x", false}, {"", false},
      {".1.2.3", false},    {"1.2.3.4 ", false},       {"a.b.c.d", false}, {"0001.2.3.4", true},
  };
  for (const auto& c : cases) EXPECT_EQ(isIpAddress(c.text), c.address) << '"' << c.text << '"';
}

TEST(TextTests, HostNames) {
  const struct {
    const char* text;
    bool name;
  } cases[] = {
      {"example.de", true},         {"www.example.com", true},   {"host-1.Example.info", true},
      {"example.c", false},         {"example.abcde", false},    {"example.c0m", false},
      {"localhost", false},         {"example.com.", false},     {"ex_ample.com", false},
      {"example.com:80", false},    {"http://example.com", false}, {"index.html", false},
      {"INDEX.HTM", false},         {"page.Php", false},         {"setup.exe", false},
      {"default.asp", false},       {"run.cgi", false},          {"notes.txt", true},
      {"", false},                  {"a..com", true},            {"12.5", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isHostName(c.text), c.name) << '"' << c.text << '"';
}

TEST(HostCandidates, PicksNamesAndAddressesFromPastedLines) {
  const struct {
    std::string line;
    Parts expected;
  } cases[] = {
      {"  3    12 ms    11 ms    13 ms  gw.example.net [192.0.2.1]", {"gw.example.net", "192.0.2.1"}},
      {" 1  router.example.org (127.0.0.2)  0.512 ms  0.431 ms", {"router.example.org", "127.0.0.2"}},
      {"ping (host.example.com)", {"host.example.com"}},
      {"127.0.0.1", {"127.0.0.1"}},
      {"  4     *        *        *     Request timed out.", {}},
      {"host.example.com\t127.0.0.1", {}},
      {"see http://example.com/index.html, or <a.example.com>", {}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(hostCandidates(c.line), c.expected) << '"' << c.line << '"';
}

TEST(StripChar, ModesRemoveTheirRunsInEitherLetterCase) {
  const struct {
    char mode;
    std::string text;
    std::string expected;
  } cases[] = {
      {'A', " a b ", "ab"}, {'a', " a b ", "ab"}, {'B', "  a b  ", "a b"}, {'b', "   ", ""},
      {'L', "  a  ", "a  "}, {'l', "a", "a"},     {'R', "  a  ", "  a"}, {'r', "   ", ""},
      {'Q', " a ", " a "},  {'A', "", ""},        {'B', "", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(stripChar(c.mode, ' ', c.text), c.expected) << c.mode << " \"" << c.text << '"';
}

TEST(StripChar, RemovesEveryOccurrenceFromLongTexts) {
  std::string text;
  for (int i = 0; i < 400; ++i) text += (i % 3 == 0) ? ';' : 'x';
  const std::string stripped = stripChar('A', ';', text);
  EXPECT_EQ(stripped.find(';'), std::string::npos);
  EXPECT_EQ(stripped.size(), 266u);
}

TEST(CharTests, PositionsAreOneBasedAndBounded) {
  EXPECT_TRUE(charAtIs("abc", 1, 'a'));
  EXPECT_TRUE(charAtIs("abc", 3, 'c'));
  EXPECT_FALSE(charAtIs("abc", 0, 'a'));
  EXPECT_FALSE(charAtIs("abc", 4, 'c'));
  EXPECT_FALSE(charAtIs("abc", -1, 'a'));
  EXPECT_FALSE(charAtIs("", 1, '\0'));
  EXPECT_EQ(firstChar(""), 255);
  EXPECT_EQ(firstChar("\xE9t\xE9"), 0xE9);
  EXPECT_EQ(firstChar("x"), 'x');
}

TEST(IntegerText, WritesPlainDecimal) {
  for (std::int32_t n : {0, 7, -7, 2147483647, -2147483647 - 1, 1000000}) {
    const std::string text = integerToText(n);
    EXPECT_EQ(text, std::to_string(n));
    EXPECT_EQ(textToInteger(text), n) << text;
  }
}

TEST(IntegerText, ReadsDecimalAndHexadecimalWithinInt32) {
  const struct {
    const char* text;
    std::int32_t expected;
  } cases[] = {
      {"", 0},          {"   ", 0},       {"12a", 0},           {"2147483648", 0},
      {"-2147483649", 0}, {" 4 2 ", 42},  {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
      {"+5", 5},        {"-", 0},         {"+", 0},             {"$1F", 31},
      {"0x1f", 31},     {"0X1F", 31},     {"x10", 16},          {"X10", 16},
      {"-$10", -16},    {"+0x10", 16},    {"$", 0},             {"0x", 0},
      {"$-10", 0},      {"$7FFFFFFF", 2147483647}, {"$80000000", 0}, {"-0x80000000", -2147483647 - 1},
      {"$FFFFFFFF", 0}, {"1.5", 0},       {"0x1G", 0},          {"007", 7},
      {"99999999999999999999", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(textToInteger(c.text), c.expected) << '"' << c.text << '"';
}

TEST(RealText, ReadsCommaOrPointAndWholeTextsOnly) {
  const struct {
    const char* text;
    double expected;
  } cases[] = {
      {"1,5", 1.5},   {"1.5", 1.5},    {" 1 , 5 ", 1.5}, {",5", 0.5},    {"-,5", -0.5},
      {"-.5", -0.5},  {"3.", 3.0},     {".", 0.0},       {"-", 0.0},     {"abc", 0.0},
      {"", 0.0},      {"1e3", 1000.0}, {"2,5E-1", 0.25}, {"+2", 2.0},    {"1.2.3", 0.0},
      {"inf", 0.0},   {"nan", 0.0},    {"0x10", 0.0},    {"1e", 0.0},    {"1e999", 0.0},
      {"12345,678", 12345.678},
  };
  for (const auto& c : cases) EXPECT_EQ(textToReal(c.text), c.expected) << '"' << c.text << '"';
}

TEST(RealText, RoundsTheStoredDoubleHalvesAwayFromZero) {
  const struct {
    int decimals;
    double value;
    const char* expected;
  } cases[] = {
      {2, 1.5, "1,50"},
      {2, 0.0, "0,00"},
      {2, 0.125, "0,13"},
      {2, -0.125, "-0,13"},
      {2, -0.001, "-0,00"},
      {2, 12345.678, "12345,68"},
      // Their doubles lie below, below and above the written halves.
      {2, 2.675, "2,67"},
      {2, 1.005, "1,00"},
      {2, 99.995, "100,00"},
      {0, 0.5, "1"},
      {0, 2.5, "3"},
      {0, -2.5, "-3"},
      {0, 0.49999999999999994, "0"},
      {1, 9.96, "10,0"},
      {3, 0.0005, "0,001"},
      {2, -0.0, "0,00"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(realToText(c.decimals, c.value), c.expected) << c.decimals << " " << c.value;
}

// The digits come from the 18 significant digits of the value, so more decimals than that show zeros
// and a rounding at the 18th digit can decide a later half.
TEST(RealText, UsesEighteenSignificantDigits) {
  EXPECT_EQ(realToText(20, 0.1), "0,10000000000000000600");
  // 0.74007259272575165454... becomes ...575165 at 18 digits, then rounds up at 17 decimals.
  EXPECT_EQ(realToText(17, 0.7400725927257517), "0,74007259272575166");
  EXPECT_EQ(realToText(0, 123456789012345678901.0), "123456789012345684000");
  EXPECT_EQ(realToText(2, 1e36), "1000000000000000040000000000000000000,00");
  // 9.99999999999999982e-201 at 18 digits; the 16 digits that fit in 216 decimals round up.
  EXPECT_EQ(realToText(216, 1e-200), "0," + std::string(199, '0') + "1" + std::string(16, '0'));
  EXPECT_EQ(realToText(216, -1e-200).substr(0, 3), "-0,");
}

TEST(RealText, DecimalsAreClampedAndSpecialValuesNamed) {
  const std::string many = realToText(216, 1.0 / 3.0);
  EXPECT_EQ(many.size(), 2u + 216u);
  EXPECT_EQ(many.substr(0, 20), "0,333333333333333315");
  EXPECT_EQ(many.substr(20).find_first_not_of('0'), std::string::npos);
  EXPECT_EQ(realToText(300, 1.0), realToText(216, 1.0));
  EXPECT_EQ(realToText(-3, 2.5), "3");
  EXPECT_EQ(realToText(2, std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(realToText(2, -std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(realToText(2, std::nan("")), "NAN");
  const std::string largest = realToText(2, std::numeric_limits<double>::max());
  EXPECT_EQ(largest.size(), 309u + 3u);
  EXPECT_EQ(largest.substr(0, 18), "179769313486231571");
  EXPECT_EQ(realToText(2, std::numeric_limits<double>::denorm_min()), "0,00");
}

TEST(RealText, TwoDecimalTextsReadBackToTheSameCents) {
  for (int cents = -100000; cents <= 100000; cents += 37) {
    const double value = cents / 100.0;
    const std::string text = realToText(2, value);
    EXPECT_EQ(std::llround(textToReal(text) * 100), cents) << text;
  }
}

}  // namespace
