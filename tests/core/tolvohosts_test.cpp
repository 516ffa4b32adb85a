// The host list: slots, the scheduler pass, the enumeration and the connection evaluation with its
// log entries.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <atomic>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>

#include "config/settings.h"
#include "core/tolvohosts.h"
#include "storage/eventlogsubscriber.h"
#include "enginetestsupport.h"

namespace {

// A manual clock that counts its monotonic readings: every host step reads it once, so the readings
// tell how many steps a pass made.
class TCountingClock : public TManualClock {
 public:
  using TManualClock::TManualClock;
  std::int64_t monotonicMs() const override {
    ++reads;
    return TManualClock::monotonicMs();
  }
  mutable std::atomic<int> reads{0};
};

const TDateTime Start = encodeDateTime(2026, 3, 4, 10, 0, 0);

class HostListTest : public ::testing::Test {
 protected:
  TCountingClock clock{Start};
  TScriptedEcho echo;
  TTolvoHosts list{clock};
  TTolvoLogger logger{clock, "/opt/sorvelo/sorvelo"};
  TEventLogSubscriber logSubscriber{list, logger};

  void SetUp() override { list.echoService = echo.service(); }

  TTolvoHost* add(const std::string& name) {
    auto host = list.newHost();
    host->hostName = name;
    host->ipAddress = name;
    TTolvoHost* raw = host.get();
    return list.appendHost(host) ? raw : nullptr;
  }

  std::vector<std::string> enumerate() {
    std::vector<std::string> names;
    TTolvoHost* host = nullptr;
    if (!list.firstHost()) return names;
    for (int guard = 0; guard < 300 && list.nextHost(host); ++guard) names.push_back(host->hostName);
    return names;
  }
};

TEST_F(HostListTest, HoldsAtMost255HostsAndLeavesTheRefusedOneWithTheCaller) {
  for (int i = 1; i <= 255; ++i) ASSERT_NE(add("h" + std::to_string(i)), nullptr);
  auto extra = list.newHost();
  EXPECT_FALSE(list.appendHost(extra));
  EXPECT_NE(extra, nullptr);
  EXPECT_EQ(list.hostCount(), 255);
  EXPECT_EQ(list.hostAt(255)->hostName, "h255");
  EXPECT_EQ(list.hostAt(0), nullptr);
  EXPECT_EQ(list.hostAt(256), nullptr);
}

TEST_F(HostListTest, AFreedSlotIsReusedInOrderForTheSchedulerAndTheEnumeration) {
  for (const char* name : {"a", "b", "c", "d", "e"}) add(name);
  EXPECT_TRUE(list.deleteHost(list.hostAt(3)));
  EXPECT_FALSE(list.deleteHost(list.hostAt(3))) << "not in the list any more";
  add("new");
  EXPECT_EQ(list.hostAt(3)->hostName, "new");
  EXPECT_EQ(enumerate(), (std::vector<std::string>{"a", "b", "new", "d", "e"}));

  // Each host gets its worker at its first step, so the workers show the order of the steps.
  for (int pass = 1; pass <= 5; ++pass) {
    list.schedulerPass();
    for (int slot = 1; slot <= 5; ++slot)
      EXPECT_EQ(list.hostAt(slot)->worker != nullptr, slot <= pass) << pass << " " << slot;
  }
}

TEST_F(HostListTest, OneTickOfFourPassesStepsASingleHostFourTimes) {
  clock.reads = 0;
  for (int i = 0; i < 4; ++i) list.schedulerPass();
  EXPECT_EQ(clock.reads.load(), 0) << "a pass over an empty list does nothing";

  add("only");
  clock.reads = 0;
  for (int i = 0; i < 4; ++i) list.schedulerPass();
  EXPECT_EQ(clock.reads.load(), 4);

  add("second");
  list.deleteHost(list.hostAt(1));
  add("third");  // slots 1 and 2 are taken again
  clock.reads = 0;
  for (int i = 0; i < 4; ++i) list.schedulerPass();
  EXPECT_EQ(clock.reads.load(), 4);
}

TEST_F(HostListTest, AnIntervalBelowThreeIsRaisedWhenTheHostIsStepped) {
  TTolvoHost* slow = add("slow");
  TTolvoHost* fast = add("fast");
  slow->interval = 7;
  fast->interval = 1;
  list.schedulerPass();
  list.schedulerPass();
  EXPECT_EQ(slow->interval, 7);
  EXPECT_EQ(fast->interval, 3);
}

TEST_F(HostListTest, TheSchedulerSkipsAHostDeletedUnderItsIndex) {
  for (const char* name : {"a", "b", "c"}) add(name);
  list.schedulerPass();  // steps a; next is b
  list.deleteHost(list.hostAt(2));
  list.schedulerPass();  // finds b's slot empty
  EXPECT_EQ(list.hostAt(3)->worker, nullptr);
  list.schedulerPass();
  EXPECT_NE(list.hostAt(3)->worker, nullptr);
}

TEST_F(HostListTest, EnumerationResults) {
  for (const char* name : {"a", "b", "c"}) add(name);
  TTolvoHost* host = nullptr;
  EXPECT_TRUE(list.firstHost());
  EXPECT_TRUE(list.nextHost(host));
  EXPECT_EQ(host->hostName, "a");
  EXPECT_TRUE(list.hasMoreHosts());
  EXPECT_TRUE(list.nextHost(host));
  EXPECT_TRUE(list.nextHost(host)) << "the last host is delivered with true";
  EXPECT_EQ(host->hostName, "c");
  EXPECT_FALSE(list.hasMoreHosts());
  host = nullptr;
  EXPECT_FALSE(list.nextHost(host));
  EXPECT_EQ(host, nullptr) << "nothing is delivered after the last host";

  // A host added behind the cursor after the end is delivered, but with false.
  add("late");
  EXPECT_TRUE(list.hasMoreHosts());
  EXPECT_FALSE(list.nextHost(host));
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->hostName, "late");

  TTolvoHosts empty(clock);
  EXPECT_FALSE(empty.firstHost());
  EXPECT_FALSE(empty.nextHost(host));
}

TEST_F(HostListTest, DeletingEachDeliveredHostDuringTheWalkVisitsAll) {
  for (int i = 1; i <= 6; ++i) add("h" + std::to_string(i));
  list.deleteHost(list.hostAt(4));
  int visited = 0;
  TTolvoHost* host = nullptr;
  list.firstHost();
  for (int guard = 0; guard < 10 && list.hasMoreHosts(); ++guard) {
    list.nextHost(host);
    EXPECT_TRUE(list.deleteHost(host));
    ++visited;
  }
  EXPECT_EQ(visited, 5);
  EXPECT_EQ(list.hostCount(), 0);
}

TEST_F(HostListTest, TotalPingsAndClearing) {
  add("a")->succeededCount = 5;
  add("b")->failedCount = 3;
  EXPECT_EQ(list.totalPings(), 8);
  add("c")->succeededCount = std::numeric_limits<std::int32_t>::max();
  add("d")->failedCount = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(list.totalPings(), 8 + 2 * std::int64_t{std::numeric_limits<std::int32_t>::max()});
  list.schedulerPass();  // a worker runs now
  EXPECT_TRUE(list.clearHosts());
  EXPECT_EQ(list.hostCount(), 0);
  EXPECT_EQ(list.totalPings(), 0);
}

TEST_F(HostListTest, EchoesOfThisRunLeaveOutLoadedCountersAndKeepDeletedHosts) {
  TTolvoHost* a = add("127.0.0.2");
  a->succeededCount = 40;  // as loaded from the hosts file
  EXPECT_EQ(list.echoesThisRun(), 0u);
  runEcho(*a, clock, echo, true);
  runEcho(*add("127.0.0.3"), clock, echo, false);
  EXPECT_EQ(list.echoesThisRun(), 2u);
  list.deleteHost(a);
  EXPECT_EQ(list.echoesThisRun(), 2u) << "the figure never goes back";
  list.clearHosts();
  EXPECT_EQ(list.echoesThisRun(), 2u);
}

// The connection evaluation, with the log written to a file of the test's own.
class EvaluationTest : public HostListTest {
 protected:
  QTemporaryDir dir;
  std::string logFile;
  configRecord saved = settings;

  void SetUp() override {
    HostListTest::SetUp();
    ASSERT_TRUE(dir.isValid());
    logFile = dir.filePath("general_log.txt").toStdString();
    settings.general_log_enabled = true;
    settings.host_log_enabled = true;
    settings.general_log_filename = logFile;
  }
  void TearDown() override { settings = saved; }

  std::vector<std::string> logLines() const {
    std::ifstream in(logFile, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  // Entries of one kind, as "STATE detail".
  std::vector<std::string> entries(const std::string& kind) const {
    std::vector<std::string> found;
    for (const std::string& line : logLines()) {
      std::vector<std::string> fields;
      std::stringstream in(line);
      for (std::string f; std::getline(in, f, ';');) fields.push_back(f);
      if (fields.size() >= 10 && fields[6] == kind) found.push_back(fields[8] + " " + fields[9]);
    }
    return found;
  }

  // A host whose history and counters make it up (answered) or down.
  TTolvoHost* addWithResults(const std::string& name, bool up, std::int32_t count) {
    TTolvoHost* host = add(name);
    for (int i = 0; i < 11; ++i) host->addResult({true, up, clock.now(), up ? 1 : -1});
    (up ? host->succeededCount : host->failedCount) = count;
    return host;
  }
};

TEST_F(EvaluationTest, UpTotalsAgainstDownTotals) {
  const struct {
    std::int32_t up, down;
    bool ok;
  } cases[] = {{10, 10, true}, {9, 10, false}, {1000, 300, true}};
  for (const auto& c : cases) {
    list.clearHosts();
    addWithResults("up", true, c.up);
    addWithResults("down", false, c.down);
    add("unknown");
    TTolvoHost* dead = addWithResults("dead", false, 50);
    dead->status = hsThreadDead;
    EXPECT_EQ(list.evaluateConnection(), c.ok) << c.up << " vs " << c.down;
  }
}

TEST_F(EvaluationTest, NothingIsDecidedUntilAHostHasAResultOfThisRun) {
  add("a");
  TTolvoHost* loaded = add("127.0.0.2");
  loaded->succeededCount = 3;  // counters of earlier runs, from the hosts file
  loaded->failedCount = 900;
  list.evaluateConnection();
  EXPECT_FALSE(list.connectionKnown());
  EXPECT_EQ(list.connectionState, csUnknown);
  EXPECT_TRUE(entries("CONNECTION_STATUS").empty());
  EXPECT_TRUE(entries("HOST_STATUS").empty()) << "unknown hosts write nothing";

  addWithResults("c", false, 4);
  clock.advanceSeconds(30);
  EXPECT_FALSE(list.evaluateConnection());
  EXPECT_TRUE(list.connectionKnown());
  EXPECT_EQ(list.connectionState, csDown);
  addWithResults("d", true, 9);
  EXPECT_TRUE(list.evaluateConnection());
  EXPECT_EQ(entries("CONNECTION_STATUS"), (std::vector<std::string>{"DOWN ", "UP "}));
}

TEST_F(EvaluationTest, AFirstDecisionOfDownSetsNoDownTime) {
  addWithResults("c", false, 4);
  EXPECT_FALSE(list.evaluateConnection());
  EXPECT_EQ(list.connectionState, csDown);
  EXPECT_DOUBLE_EQ(list.lastDownAt, 0);
  EXPECT_EQ(entries("CONNECTION_STATUS"), (std::vector<std::string>{"DOWN "}));
}

TEST_F(EvaluationTest, HostEntriesRecordRealTransitionsOnly) {
  TTolvoHost* host = add("router1");
  host->ipAddress = "127.0.0.5";
  const std::string who = "router1 // 127.0.0.5";

  runEcho(*host, clock, echo, true);
  list.evaluateConnection();
  EXPECT_EQ(entries("HOST_STATUS"), (std::vector<std::string>{"UP " + who}));

  for (int i = 0; i < 4; ++i) runEcho(*host, clock, echo, true);
  runEcho(*host, clock, echo, false);  // one failure of a host that stays up
  list.evaluateConnection();
  EXPECT_EQ(entries("HOST_STATUS").size(), 1u) << "a single failed echo is no transition";

  for (int i = 0; i < 7; ++i) runEcho(*host, clock, echo, false);
  list.evaluateConnection();
  ASSERT_EQ(host->getStatus(), hsDown);
  EXPECT_EQ(entries("HOST_STATUS"), (std::vector<std::string>{"UP " + who, "DOWN " + who}))
      << "the turn to down is logged at the evaluation where it happens";

  runEcho(*host, clock, echo, true);  // an answer of a host that stays down
  list.evaluateConnection();
  EXPECT_EQ(entries("HOST_STATUS").size(), 2u);

  for (int i = 0; i < 4; ++i) runEcho(*host, clock, echo, true);
  list.evaluateConnection();
  list.evaluateConnection();
  EXPECT_EQ(entries("HOST_STATUS"),
            (std::vector<std::string>{"UP " + who, "DOWN " + who, "UP " + who}));
}

TEST_F(EvaluationTest, AHostInANewSlotStartsFromUnknown) {
  addWithResults("a", true, 3);
  list.evaluateConnection();
  list.deleteHost(list.hostAt(1));
  addWithResults("b", true, 3);
  list.evaluateConnection();
  EXPECT_EQ(entries("HOST_STATUS"), (std::vector<std::string>{"UP a // a", "UP b // b"}));
}

}  // namespace

namespace {

// Which hosts sent a request at each of `ticks` ticks of 20 ms, with idle ticks skipped or not.
std::vector<std::string> sendsPerTick(bool skipIdle, int ticks) {
  TManualClock clock(Start);
  TScriptedEcho echo;
  TTolvoHosts list(clock);
  list.echoService = echo.service();
  for (int i = 1; i <= 6; ++i) {
    auto host = list.newHost();
    host->ipAddress = "127.0.0." + std::to_string(i);
    host->interval = 3;
    list.appendHost(host);
  }
  std::vector<std::string> sends;
  int skipped = 0;
  for (int tick = 0; tick < ticks; ++tick) {
    clock.advanceSeconds(0.02);
    std::vector<TDateTime> before;
    for (int slot = 1; slot <= 6; ++slot) before.push_back(list.hostAt(slot)->lastSentAt);
    if (skipped > 0) {
      --skipped;  // the timer sleeps through this tick
    } else {
      for (int pass = 0; pass < 4; ++pass) list.schedulerPass();
      if (skipIdle) {
        skipped = list.idleTicksAhead(4, 20, 50);
        list.skipPasses(skipped * 4);
      }
    }
    std::string sent;
    for (int slot = 1; slot <= 6; ++slot)
      if (list.hostAt(slot)->lastSentAt != before[slot - 1]) sent += std::to_string(slot);
    sends.push_back(sent);
    // Every echo answers before the next tick, so both runs see the same results.
    for (int slot = 1; slot <= 6; ++slot) {
      const TTolvoHost* host = list.hostAt(slot);
      if (host->inFlight) waitForResult(*host);
    }
  }
  return sends;
}

}  // namespace

TEST(IdleTicks, SkippingIdleTicksSendsTheSameEchoesAtTheSameTicks) {
  const auto everyTick = sendsPerTick(false, 1000);
  const auto skipping = sendsPerTick(true, 1000);
  EXPECT_EQ(skipping, everyTick);
  std::size_t sent = 0;
  for (const std::string& s : everyTick) sent += s.size();
  EXPECT_GE(sent, 24u) << "every host sends every 4 seconds";
}
