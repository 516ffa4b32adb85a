// The [alerts] settings: defaults, refused values, per-host values keyed by address, and the command.

#include <gtest/gtest.h>

#include "alerts/alertsettings.h"
#include "config/settings.h"

namespace {

TEST(AlertSettings, RefusesZeroNegativeAbsurdAndNonNumbersWithAMessage) {
  struct Case {
    const char* key;
    const char* text;
    bool accepted;
  };
  const Case cases[] = {
      {"lost_to_down", "3", true},          {"lost_to_down", "0", false},
      {"lost_to_down", "-2", false},        {"lost_to_down", "2.5", false},
      {"lost_to_down", "1000000", false},   {"lost_to_down", "off", false},
      {"answers_to_up", "1", true},         {"down_after", "0", false},
      {"degraded_loss_percent", "0.5", true}, {"degraded_loss_percent", "0", false},
      {"degraded_loss_percent", "101", false}, {"degraded_loss_percent", "off", true},
      {"degraded_rtt_ms", "off", true},     {"degraded_rtt_ms", "-1", false},
      {"degraded_rtt_factor", "1", false},  {"degraded_rtt_factor", "1.5", true},
      {"degraded_rtt_factor", "nan", false}, {"degraded_min_echoes", "", false},
      {"no_such_key", "1", false},
  };
  for (const Case& c : cases) {
    const auto refusal = checkAlertSetting(c.key, c.text);
    EXPECT_EQ(!refusal, c.accepted) << c.key << "=" << c.text;
    if (refusal && std::string(c.key) != "no_such_key") {
      EXPECT_NE(refusal->find(std::string("\"") + c.text + "\" is refused"), std::string::npos) << *refusal;
    }
  }
}

TEST(AlertSettings, LoadKeepsDefaultsForRefusedValuesAndReadsPerHostValues) {
  setExtraSetting("alerts", "lost_to_down", "0");
  setExtraSetting("alerts", "answers_to_up", "4");
  setExtraSetting("alerts", "degraded_rtt_ms", "250");
  setExtraSetting("alerts", "degraded_rtt_factor", "off");
  setExtraSetting("alerts", "notify", "maybe");
  setExtraSetting("alerts", "down_after.10.0.0.7", "6");
  setExtraSetting("alerts", "notify.10.0.0.7", "0");
  setExtraSetting("alerts", "command", "/usr/local/bin/page me\t--to\tops team");
  std::vector<std::string> problems;
  const TAlertSettings s = TAlertSettings::load({"10.0.0.7", "10.0.0.8"}, &problems);
  EXPECT_EQ(problems.size(), 2u);
  EXPECT_EQ(s.lostToDown, 3);
  EXPECT_EQ(s.answersToUp, 4);
  EXPECT_EQ(s.degradedRttMs, 250);
  EXPECT_EQ(s.degradedRttFactor, 0);
  EXPECT_TRUE(s.notify);
  EXPECT_EQ(s.lostToDownFor("10.0.0.7"), 6);
  EXPECT_EQ(s.lostToDownFor("10.0.0.8"), 3);
  EXPECT_FALSE(s.notifyFor("10.0.0.7"));
  EXPECT_TRUE(s.notifyFor("10.0.0.8"));
  EXPECT_EQ(s.command, (std::vector<std::string>{"/usr/local/bin/page me", "--to", "ops team"}));

  // Stored and read back the same; an override taken away leaves no key behind.
  TAlertSettings changed = s;
  changed.downAfter.erase("10.0.0.7");
  changed.upAfter["10.0.0.8"] = 7;
  changed.store({"10.0.0.7", "10.0.0.8"});
  const TAlertSettings again = TAlertSettings::load({"10.0.0.7", "10.0.0.8"}, &problems);
  EXPECT_EQ(again.lostToDownFor("10.0.0.7"), 3);
  EXPECT_EQ(again.answersToUpFor("10.0.0.8"), 7);
  EXPECT_EQ(again.degradedRttFactor, 0);
  EXPECT_EQ(again.command, s.command);
  EXPECT_FALSE(again.notifyFor("10.0.0.7"));
}

}  // namespace
