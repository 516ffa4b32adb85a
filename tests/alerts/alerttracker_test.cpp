// Confirmed states and degraded hosts from echo results, with times chosen by the test.

#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "alerts/alerttracker.h"

namespace {

constexpr std::int64_t Start = 1'800'000'000'000;  // some time in 2027
constexpr std::int64_t StepMs = 3000;

class Echoes {
 public:
  explicit Echoes(TAlertTracker& t, std::uint64_t id = 1, std::string address = "10.0.0.1")
      : tracker(t) {
    facts.runId = id;
    facts.hostName = "gw.example";
    facts.callingName = "gateway";
    facts.address = std::move(address);
    facts.sentUnixMs = Start;
  }
  // Sends `pattern` ('+' answered in rttMs, '-' lost), one echo every 3 s; returns the kinds seen.
  std::vector<TAlertKind> send(const std::string& pattern, std::int64_t rttMicros = 20000) {
    std::vector<TAlertKind> kinds;
    for (char c : pattern) {
      facts.answered = c == '+';
      facts.rttMicros = facts.answered ? rttMicros : -1;
      for (const TAlertChange& change : tracker.echo(facts)) {
        if (kindOf(change) == TAlertKind::None) continue;
        kinds.push_back(kindOf(change));
        last = change;
      }
      facts.sentUnixMs += StepMs;
    }
    return kinds;
  }
  void pause(std::int64_t ms) { facts.sentUnixMs += ms; }
  TAlertChange last;

 private:
  TAlertTracker& tracker;
  TEchoFacts facts;
};

using K = TAlertKind;

TEST(AlertTracker, ConfirmsDownAfterKLossesAndUpAfterMAnswersPerHostOrGlobal) {
  TAlertTracker tracker;
  TAlertSettings s;
  s.degradedLossPercent = 0;  // states only
  s.downAfter["10.0.0.9"] = 5;
  s.upAfter["10.0.0.9"] = 1;
  tracker.setSettings(s);

  Echoes host(tracker);
  EXPECT_TRUE(host.send("++").empty());  // Unknown -> Up says nothing
  EXPECT_EQ(tracker.level(1), TAlertLevel::Up);
  EXPECT_TRUE(host.send("--+--+").empty());  // never three in a row
  EXPECT_EQ(host.send("---"), std::vector<K>{K::HostDown});  // the third loss in a row
  EXPECT_EQ(host.last.detail, "3 echoes lost in a row");
  EXPECT_TRUE(host.send("+-+---").empty());  // never two answers in a row
  EXPECT_EQ(host.send("++"), std::vector<K>{K::HostUp});
  EXPECT_EQ(host.last.from, TAlertLevel::Down);

  Echoes slow(tracker, 2, "10.0.0.9");  // down after 5, up after 1
  EXPECT_EQ(slow.send("+----"), std::vector<K>{});
  EXPECT_EQ(slow.send("-+"), (std::vector<K>{K::HostDown, K::HostUp}));
  EXPECT_EQ(tracker.namesAt(TAlertLevel::Up), (std::vector<std::string>{"gateway", "gateway"}));

  Echoes dead(tracker, 3, "10.0.0.3");  // down from the start of the run is worth telling
  EXPECT_EQ(dead.send("---"), std::vector<K>{K::HostDown});
  EXPECT_EQ(tracker.namesAt(TAlertLevel::Down), std::vector<std::string>{"gateway"});
}

TEST(AlertTracker, FlappingEveryEchoIsNoStateChangeButADegradation) {
  TAlertTracker tracker;
  tracker.setSettings({});
  Echoes host(tracker);
  host.send("++");
  std::string flapping;
  for (int i = 0; i < 100; ++i) flapping += "-+";
  EXPECT_EQ(host.send(flapping), std::vector<K>{K::Degraded});
  EXPECT_EQ(tracker.level(1), TAlertLevel::Degraded);
  EXPECT_EQ(host.last.detail.rfind("loss 4", 0), 0u) << host.last.detail;  // about half
  EXPECT_NE(host.last.detail.find(" % over 5 min"), std::string::npos) << host.last.detail;
}

TEST(AlertTracker, LossDegradesAfterEnoughEchoesAndRecoversOutOfTheWindow) {
  TAlertTracker tracker;
  tracker.setSettings({});  // 5 %, at least 10 echoes
  Echoes host(tracker);
  EXPECT_TRUE(host.send("++-+").empty());  // 25 % but only 4 echoes: not judged yet
  EXPECT_TRUE(host.send("++++++").empty());  // 1 of 10 lost: a single lost echo never alarms
  EXPECT_EQ(host.send("-+"), std::vector<K>{K::Degraded});  // 2 of 12 lost, among answers
  host.pause(TAlertTracker::WindowMs);
  EXPECT_TRUE(host.send("+").empty());  // one echo in the window is too few to judge again
  EXPECT_EQ(tracker.level(1), TAlertLevel::Degraded);
  EXPECT_EQ(host.send(std::string(9, '+')), std::vector<K>{K::Recovered});
  // Going down ends a degradation without a change of its own, and coming back starts afresh.
  host.send("--+--+--+");  // 6 of 100 lost, never three in a row
  EXPECT_EQ(tracker.level(1), TAlertLevel::Degraded);
  EXPECT_EQ(host.send("---"), std::vector<K>{K::HostDown});
  EXPECT_EQ(host.send("++++++++++++"), std::vector<K>{K::HostUp});
  EXPECT_EQ(tracker.level(1), TAlertLevel::Up);
}

TEST(AlertTracker, ARunOfLossesIsAnOutageNeverADegradation) {
  TAlertTracker tracker;
  tracker.setSettings({});  // K = 3, 5 %, at least 10 echoes
  Echoes host(tracker);
  host.send(std::string(15, '+'));
  // One lost echo of 16 is 6 %, two of 17 are 12 %: still the start of a run, not a degradation.
  EXPECT_TRUE(host.send("--").empty());
  EXPECT_EQ(tracker.level(1), TAlertLevel::Up);
  EXPECT_EQ(host.send("-"), std::vector<K>{K::HostDown});
  EXPECT_EQ(host.send(std::string(60, '-')), std::vector<K>{});  // a long outage stays "down"
  EXPECT_EQ(host.send("++"), std::vector<K>{K::HostUp});

  // A degraded host that goes down says "down".
  Echoes lossy(tracker, 2, "10.0.0.2");
  EXPECT_EQ(lossy.send("++++++-+-+++"), std::vector<K>{K::Degraded});
  EXPECT_EQ(lossy.send("---"), std::vector<K>{K::HostDown});
  EXPECT_EQ(lossy.last.from, TAlertLevel::Degraded);

  // Pinged every 30 s, 10 echoes make the 5 minutes: one lost echo among them never alarms.
  Echoes rare(tracker, 3, "10.0.0.3");
  for (char c : std::string("++++-+++++++")) {
    EXPECT_TRUE(rare.send(std::string(1, c)).empty());
    rare.pause(27000);
  }
  EXPECT_EQ(tracker.level(3), TAlertLevel::Up);
}

TEST(AlertTracker, RoundTripAgainstAnAbsoluteLimitAndAgainstTheMedian) {
  TAlertTracker tracker;
  TAlertSettings s;
  s.degradedRttMs = 150;
  tracker.setSettings(s);
  Echoes host(tracker);
  EXPECT_TRUE(host.send(std::string(20, '+'), 140000).empty());
  EXPECT_EQ(host.send(std::string(20, '+'), 400000), std::vector<K>{K::Degraded});
  EXPECT_NE(host.last.detail.find("above 150 ms"), std::string::npos) << host.last.detail;

  // The median from the database: 20 ms; 3 x 20 = 60 ms is the limit.
  TAlertTracker relative;
  relative.setSettings({});
  int asked = 0;
  relative.setMedianSource([&](std::uint64_t, std::int64_t) -> std::optional<std::int64_t> {
    ++asked;
    return 20000;
  });
  Echoes other(relative);
  EXPECT_TRUE(other.send(std::string(100, '+'), 55000).empty());
  EXPECT_EQ(other.send(std::string(100, '+'), 70000), std::vector<K>{K::Degraded});
  EXPECT_NE(other.last.detail.find("3 x its median 20.0 ms"), std::string::npos) << other.last.detail;
  EXPECT_LE(asked, 3);  // asked again every 5 minutes, not at every echo

  // A quiet LAN host: 0.2 ms median, 1 ms mean is 5 x but under the 10 ms floor.
  TAlertTracker lan;
  lan.setSettings({});
  lan.setMedianSource([](std::uint64_t, std::int64_t) { return std::optional<std::int64_t>(200); });
  Echoes quiet(lan);
  EXPECT_TRUE(quiet.send(std::string(50, '+'), 1000).empty());
}

TEST(AlertTracker, WithoutDatabaseTheMedianComesFromThisRunOnceFifteenMinutesAreKnown) {
  TAlertTracker tracker;
  tracker.setSettings({});
  Echoes host(tracker);
  // 10 minutes at 20 ms then a jump: too little baseline to judge against.
  host.send(std::string(200, '+'), 20000);
  EXPECT_TRUE(host.send(std::string(20, '+'), 200000).empty());
  // After 20 minutes of 20 ms, 5 minutes at 200 ms are far above 3 x the median.
  TAlertTracker later;
  later.setSettings({});
  Echoes known(later);
  known.send(std::string(400, '+'), 20000);
  EXPECT_EQ(known.send(std::string(100, '+'), 200000), std::vector<K>{K::Degraded});
}

// The tracker keeps its 5-minute figures as running sums. Judged the plain way, by walking the
// window after every echo, a long random run (bursts of losses, round trips around the limit,
// pauses that empty the window) must give the same level at every echo.
TEST(AlertTracker, RunningFiguresJudgeAsAWalkOverTheWindowWould) {
  TAlertTracker tracker;
  TAlertSettings settings;
  settings.lostToDown = 4;
  settings.answersToUp = 2;
  settings.degradedLossPercent = 20;
  settings.degradedRttMs = 30;
  settings.degradedRttFactor = 0;
  settings.degradedMinEchoes = 5;
  tracker.setSettings(settings);
  std::mt19937 random(21);
  std::deque<std::pair<std::int64_t, std::int64_t>> window;  // sent, round trip (-1 lost)
  TAlertLevel level = TAlertLevel::Unknown;
  int lostRun = 0, answerRun = 0;
  TEchoFacts facts;
  facts.runId = 1;
  facts.address = "10.0.0.1";
  facts.sentUnixMs = Start;
  for (int i = 0; i < 20000; ++i) {
    const int phase = (i / 300) % 4;  // quiet, lossy, slow, outages
    const int roll = static_cast<int>(random() % 100);
    facts.answered = phase == 1 ? roll >= 30 : phase == 3 ? roll >= 60 : roll >= 3;
    facts.rttMicros = facts.answered ? (phase == 2 ? 20000 + roll * 250 : 1000 + roll * 10) : -1;
    facts.sentUnixMs += random() % 50 == 0 ? 100000 + random() % 300000 : 500 + random() % 4000;
    tracker.echo(facts);

    lostRun = facts.answered ? 0 : lostRun + 1;
    answerRun = facts.answered ? answerRun + 1 : 0;
    if (lostRun >= 4) level = TAlertLevel::Down;
    if (answerRun >= 2 && (level == TAlertLevel::Down || level == TAlertLevel::Unknown)) {
      level = TAlertLevel::Up;
      window.clear();
    }
    window.emplace_back(facts.sentUnixMs, facts.rttMicros);
    while (window.front().first <= facts.sentUnixMs - TAlertTracker::WindowMs) window.pop_front();
    std::size_t judged = window.size(), lost = 0;
    while (judged > 0 && window[judged - 1].second < 0) --judged;
    if (judged >= 5 && (level == TAlertLevel::Up || level == TAlertLevel::Degraded)) {
      std::int64_t sum = 0;
      for (std::size_t k = 0; k < judged; ++k) {
        if (window[k].second < 0) ++lost;
        else sum += window[k].second;
      }
      const bool lossy =
          lost >= 2 && 100.0 * static_cast<double>(lost) / static_cast<double>(judged) >= 20;
      const bool slow = lost < judged && sum / static_cast<std::int64_t>(judged - lost) > 30000;
      level = lossy || slow ? TAlertLevel::Degraded : TAlertLevel::Up;
    }
    ASSERT_EQ(tracker.level(1), level) << "echo " << i;
  }
}

}  // namespace
