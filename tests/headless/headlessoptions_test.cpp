// The command line of the modes without a display.

#include <gtest/gtest.h>

#include "headless/headlessoptions.h"

namespace {

TEST(HeadlessOptions, ParsesOrNamesTheFault) {
  struct Case {
    std::vector<std::string> arguments;
    std::string config, hosts, error;
  };
  const Case cases[] = {
      {{"--headless", "--config", "a.conf", "--hosts=b.cfg"}, "a.conf", "b.cfg", ""},
      {{"--headless", "--hosts"}, "", "", "option '--hosts' needs a file name"},
      {{"--headless", "--config="}, "", "", "option '--config' needs a file name"},
      {{"--headless", "--bogus"}, "", "", "unknown option '--bogus'"},
      {{"--headless", "extra"}, "", "", "unexpected argument 'extra'"},
      {{"--headless=1"}, "", "", "option '--headless' takes no value"},
      {{"--config", "a.conf"}, "a.conf", "", "--config and --hosts apply to --headless"},
  };
  for (const Case& c : cases) {
    const THeadlessOptions options = parseHeadlessOptions(c.arguments);
    EXPECT_EQ(options.error, c.error) << c.arguments.back();
    if (!c.error.empty()) continue;
    EXPECT_TRUE(options.headless);
    EXPECT_EQ(options.configFile, c.config);
    EXPECT_EQ(options.hostsFile, c.hosts);
  }
  EXPECT_TRUE(parseHeadlessOptions({"--help"}).help);
  EXPECT_TRUE(parseHeadlessOptions({"--version"}).version);
}

TEST(HeadlessOptions, OnlyDoubleDashCommandLinesLeaveTheDesktop) {
  auto routed = [](std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "sorvelo");
    return isHeadlessCommandLine(static_cast<int>(arguments.size()),
                                 const_cast<char**>(arguments.data()));
  };
  EXPECT_FALSE(routed({}));
  EXPECT_FALSE(routed({"-platform", "offscreen"}));
  EXPECT_TRUE(routed({"--headless"}));
  EXPECT_TRUE(routed({"-h"}));
  EXPECT_TRUE(routed({"--headles"}));  // a typo is reported, not a window opened
}

}  // namespace
