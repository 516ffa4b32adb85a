// The host's request cycle, results, history and status, with a manual clock and a scripted echo.

#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "core/engineevents.h"
#include "core/tolvohost.h"
#include "enginetestsupport.h"
#include "icmp/ping.h"
#include "support/messagerecorder.h"

namespace {

const TDateTime Start = encodeDateTime(2026, 6, 10, 12, 0, 0);

class HostTest : public ::testing::Test {
 protected:
  TManualClock clock{Start};
  TScriptedEcho echo;
  std::unique_ptr<TTolvoHost> host = makeHost();

  std::unique_ptr<TTolvoHost> makeHost() {
    auto h = std::make_unique<TTolvoHost>(clock, echo.service());
    h->ipAddress = "127.0.0.9";
    h->timeout = 2000;
    h->interval = 4;
    return h;
  }

  void fillHistory(bool answered, int count) {
    for (int i = 0; i < count; ++i) host->addResult({false, answered, clock.now(), answered ? 3 : -1});
  }
};

TEST_F(HostTest, NewHostHasTheDefaultsAndLastSentAtItsCreation) {
  TTolvoHost fresh(clock);
  EXPECT_EQ(fresh.timeout, 5000);
  EXPECT_EQ(fresh.interval, 1);
  EXPECT_DOUBLE_EQ(fresh.lastSentAt, Start);
  EXPECT_EQ(fresh.worker, nullptr);
  EXPECT_EQ(fresh.getStatus(), hsUnknown);
  EXPECT_FALSE(fresh.historyAt(1).used);
  EXPECT_FALSE(fresh.historyAt(500).used);
}

TEST_F(HostTest, DueOnlyWhenMoreThanTheIntervalHasPassed) {
  host->pingStep();  // creates the worker; nothing is due yet
  ASSERT_NE(host->worker, nullptr);
  EXPECT_FALSE(host->inFlight);

  clock.advanceSeconds(4);
  host->pingStep();
  EXPECT_FALSE(host->inFlight) << "interval 4 is not due after 4 stamp seconds";

  host->lastSuccess.pingTime = 12;
  clock.advanceSeconds(1);
  host->pingStep();
  EXPECT_TRUE(host->inFlight);
  EXPECT_DOUBLE_EQ(host->lastSentAt, clock.now());
  EXPECT_EQ(host->lastSuccess.pingTime, -1) << "a sent request clears the last ping time";
  ASSERT_TRUE(waitUntil([&] { return echo.calls() == 1; }));
  EXPECT_EQ(echo.seen()[0], std::make_pair(std::string("127.0.0.9"), 2000));
}

TEST_F(HostTest, DueAndDeadTestsFollowTheMonotonicClockNotTheWallClock) {
  clock.set(encodeDateTime(2026, 12, 31, 23, 59, 58));
  host = makeHost();
  host->pingStep();
  clock.advanceSeconds(-3600);  // the wall clock steps back an hour: no time passes
  clock.advanceSeconds(4);
  host->pingStep();
  EXPECT_FALSE(host->inFlight) << "4 seconds have passed, not a year";
  echo.hold();
  clock.advanceSeconds(1);
  host->pingStep();
  ASSERT_TRUE(host->inFlight);

  // An echo in flight while the wall clock steps back an hour: no false dead-worker verdict.
  ASSERT_TRUE(waitUntil([&] { return echo.calls() == 1; }));
  clock.advanceSeconds(-3600);
  host->pingStep();
  EXPECT_NE(host->worker, nullptr);
  EXPECT_EQ(host->failedCount, 0);
  echo.letGo();
  ASSERT_TRUE(waitForResult(*host));
  host->pingStep();
  EXPECT_EQ(host->succeededCount, 1) << "the result was collected, not thrown away";
}

TEST_F(HostTest, CountersStopAtTheirMaximum) {
  constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
  host->succeededCount = Max;
  host->failedCount = Max;
  runEcho(*host, clock, echo, true);
  runEcho(*host, clock, echo, false);
  EXPECT_EQ(host->succeededCount, Max);
  EXPECT_EQ(host->failedCount, Max);
  EXPECT_EQ(host->echoesThisRun, 2u);
}

// An echo service that cannot be opened until the test allows it, then answers.
class TFacilityEcho {
 public:
  std::atomic<bool> permitted{false};
  TEchoService service() {
    return [this](const std::string&, std::int32_t) -> TEchoOutcome {
      if (!permitted) throw TICMPException("Unable to get ping handle", "not permitted");
      return {true, 4, 4000};
    };
  }
};

class TEchoCounter : public TEngineObserver {
 public:
  int echoes = 0;
  void echoResult(const TTolvoHost&, const TEchoResult&) override { ++echoes; }
};

TEST_F(HostTest, AnEchoThatCouldNotBeSentIsNoResultAndPingingRecovers) {
  TMessageRecorder messages;
  TFacilityEcho facility;
  TEchoCounter published;
  TTolvoHost h(clock, facility.service());
  h.ipAddress = "127.0.0.9";
  h.interval = 4;
  h.events = &published;
  h.pingStep();
  const TDateTime created = h.lastSentAt;
  for (int i = 0; i < 2; ++i) {
    clock.advanceSeconds(5);
    h.pingStep();
    ASSERT_TRUE(waitForResult(h));
    h.pingStep();
  }
  EXPECT_EQ(h.succeededCount + h.failedCount, 0);
  EXPECT_EQ(h.echoesThisRun, 0u);
  EXPECT_FALSE(h.historyAt(500).used);
  EXPECT_EQ(published.echoes, 0);
  EXPECT_DOUBLE_EQ(h.lastSentAt, created) << "nothing was sent, so nothing to store";
  EXPECT_EQ(h.getStatus(), hsUnknown);
  EXPECT_NE(h.statusText(h.getStatus()).find("Unable to get ping handle"), std::string::npos);
  EXPECT_FALSE(h.cannotPingCause.empty()) << "kept for telling the user how to allow pings";

  facility.permitted = true;  // permission given while the program runs
  clock.advanceSeconds(5);
  h.pingStep();
  ASSERT_TRUE(waitForResult(h));
  h.pingStep();
  EXPECT_EQ(h.succeededCount, 1);
  EXPECT_EQ(published.echoes, 1);
  EXPECT_EQ(h.statusText(hsOk).find("Unable"), std::string::npos);
  EXPECT_TRUE(h.cannotPingCause.empty());
}

TEST_F(HostTest, AnAnswerIsCountedAndWritesTwoEqualHistoryEntries) {
  echo.pingTime = 9;
  runEcho(*host, clock, echo, true);
  EXPECT_EQ(host->succeededCount, 1);
  EXPECT_EQ(host->failedCount, 0);
  EXPECT_EQ(host->status, hsOk);
  EXPECT_TRUE(host->lastSuccess.succeeded);
  EXPECT_DOUBLE_EQ(host->lastSuccess.at, clock.now());
  EXPECT_EQ(host->lastSuccess.pingTime, 9);
  EXPECT_DOUBLE_EQ(host->lastResultAt, clock.now());
  for (int position : {499, 500}) {
    const pingResult& r = host->historyAt(position);
    EXPECT_TRUE(r.used && r.succeeded) << position;
    EXPECT_EQ(r.pingTime, 9);
    EXPECT_DOUBLE_EQ(r.at, clock.now());
  }
  EXPECT_FALSE(host->historyAt(498).used);
  EXPECT_DOUBLE_EQ(host->averagePingTime(), 9.0);
}

TEST_F(HostTest, AFailureIsCountedAndWritesOneHistoryEntry) {
  runEcho(*host, clock, echo, false);
  EXPECT_EQ(host->failedCount, 1);
  EXPECT_EQ(host->succeededCount, 0);
  EXPECT_EQ(host->status, hsDown);
  EXPECT_FALSE(host->lastFailure.succeeded);
  EXPECT_DOUBLE_EQ(host->lastFailure.at, clock.now());
  EXPECT_EQ(host->lastFailure.pingTime, -1);
  EXPECT_TRUE(host->historyAt(500).used);
  EXPECT_FALSE(host->historyAt(500).succeeded);
  EXPECT_FALSE(host->historyAt(499).used);
  EXPECT_DOUBLE_EQ(host->averagePingTime(), 0.0);
}

TEST_F(HostTest, TheStepThatCollectsAResultCanSendTheNextRequest) {
  runEcho(*host, clock, echo, true);
  clock.advanceSeconds(5);
  host->pingStep();  // sends
  ASSERT_TRUE(waitForResult(*host));
  clock.advanceSeconds(5);
  host->pingStep();  // collects the second answer and, being due, sends the third request
  EXPECT_EQ(host->succeededCount, 2);
  EXPECT_TRUE(host->inFlight);
  ASSERT_TRUE(waitForResult(*host)) << "the request handed over with the collection was lost";
  host->pingStep();
  EXPECT_EQ(host->succeededCount, 3);
  EXPECT_EQ(echo.calls(), 3);
}

TEST_F(HostTest, HistoryIsARingOfFiveHundredOldestFirst) {
  for (int i = 1; i <= 503; ++i) host->addResult({false, true, 0, i});
  EXPECT_EQ(host->historyAt(1).pingTime, 4);
  EXPECT_EQ(host->historyAt(500).pingTime, 503);
  EXPECT_TRUE(host->historyAt(1).used) << "addResult marks every entry used";
  EXPECT_FALSE(host->historyAt(0).used);
  EXPECT_FALSE(host->historyAt(501).used);
}

TEST_F(HostTest, RecentlyUpLooksAtTheNewestNPlusOneEntries) {
  // History, oldest to newest: 5 answers, then 6 failures.
  fillHistory(true, 5);
  fillHistory(false, 6);
  struct Case {
    int n;
    bool up;
  } cases[] = {{-1, false}, {0, false}, {5, false}, {10, false}, {499, false}, {600, false}};
  for (const Case& c : cases) EXPECT_EQ(host->recentlyUp(c.n), c.up) << "n=" << c.n;

  fillHistory(true, 3);  // newest 11: 2 answers, 6 failures, 3 answers
  EXPECT_TRUE(host->recentlyUp(2));
  EXPECT_FALSE(host->recentlyUp(10)) << "5 answers against 6 failures";
  EXPECT_TRUE(host->recentlyUp(13)) << "8 answers against 6 failures";
  EXPECT_FALSE(TTolvoHost(clock).recentlyUp(10)) << "an empty history is not up";
}

TEST_F(HostTest, AHostAnsweringEveryOtherEchoStaysUp) {
  for (int i = 0; i < 10; ++i) {
    runEcho(*host, clock, echo, i % 2 == 0);
    host->updateStatus();
  }
  EXPECT_EQ(host->getStatus(), hsOk);
}

TEST_F(HostTest, StatusFromCountersAndHistory) {
  EXPECT_EQ(host->getStatus(), hsUnknown);
  host->failedCount = 12;  // as loaded from the hosts file: counters, no result in this run
  EXPECT_EQ(host->getStatus(), hsUnknown);
  EXPECT_FALSE(host->updateStatus());
  fillHistory(true, 1);
  EXPECT_EQ(host->getStatus(), hsOk);
  host->status = hsThreadDead;
  EXPECT_EQ(host->getStatus(), hsThreadDead);
}

TEST_F(HostTest, EvaluationSequenceOfAHostThatGoesDownAndAnswersAgain) {
  fillHistory(true, 500);
  host->succeededCount = 250;
  host->status = hsOk;

  runEcho(*host, clock, echo, false);
  EXPECT_TRUE(host->updateStatus()) << "the stored result was Down, the computed status is Ok";
  EXPECT_EQ(host->status, hsOk);

  for (int i = 0; i < 6; ++i) runEcho(*host, clock, echo, false);
  EXPECT_FALSE(host->updateStatus());
  EXPECT_EQ(host->status, hsDown);

  runEcho(*host, clock, echo, true);
  EXPECT_TRUE(host->updateStatus());
  EXPECT_EQ(host->status, hsDown);
  EXPECT_FALSE(host->updateStatus()) << "no new result: compared with the last evaluation";
}

TEST_F(HostTest, StatusTextNamesTheStatusAndTheWorkersStage) {
  const struct {
    hostStatus s;
    const char* word;
  } cases[] = {{hsUnknown, "Unknown "}, {hsOk, "Ok "}, {hsDown, "Down "},
               {hsThreadDead, "Thread dead "}};
  for (const auto& c : cases) EXPECT_EQ(host->statusText(c.s), c.word);

  host->pingStep();
  ASSERT_TRUE(waitUntil([&] { return host->worker->stage.load() == 1; }));
  // An idle worker shows stage 1, or 2 for the moment it looks for a request after a pause.
  for (const auto& c : cases) {
    const std::string text = host->statusText(c.s);
    EXPECT_TRUE(text == std::string(c.word) + "(1)" || text == std::string(c.word) + "(2)") << text;
  }
}

TEST_F(HostTest, DestroyingAHostEndsItsWorkerEvenDuringAnEcho) {
  echo.hold();
  echo.holdLimit = std::chrono::milliseconds(200);
  host->pingStep();
  clock.advanceSeconds(5);
  host->pingStep();
  ASSERT_TRUE(waitUntil([&] { return host->worker->stage.load() == 6; }));
  const auto before = std::chrono::steady_clock::now();
  host.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
}

// A dead worker is one that holds a request for more than interval x 10 seconds.
class DeadWorkerTest : public HostTest {};

TEST_F(DeadWorkerTest, ARequestHeldTooLongIsAVerdictAndTheWorkerIsReplaced) {
  echo.hold();
  echo.holdLimit = std::chrono::milliseconds(150);
  host->pingStep();
  clock.advanceSeconds(5);
  host->pingStep();
  ASSERT_TRUE(host->inFlight);
  ASSERT_TRUE(waitUntil([&] { return echo.calls() == 1; }));

  clock.advanceSeconds(40);
  host->pingStep();
  EXPECT_NE(host->worker, nullptr) << "exactly interval x 10 seconds is not yet dead";
  EXPECT_EQ(host->failedCount, 0);

  clock.advanceSeconds(1);
  host->pingStep();
  EXPECT_EQ(host->worker, nullptr);
  EXPECT_EQ(host->failedCount, 1);
  EXPECT_EQ(host->status, hsThreadDead);
  EXPECT_DOUBLE_EQ(host->lastResultAt, clock.now());
  EXPECT_FALSE(host->historyAt(500).used) << "a verdict writes no history entry";
  EXPECT_EQ(host->statusText(host->getStatus()), "Thread dead ");

  echo.letGo();
  host->pingStep();  // a new worker, and the overdue host is sent a request at once
  ASSERT_NE(host->worker, nullptr);
  EXPECT_TRUE(host->inFlight);
  ASSERT_TRUE(waitForResult(*host));
  host->pingStep();
  EXPECT_EQ(host->succeededCount, 1);
  EXPECT_EQ(host->getStatus(), hsOk) << "the next result ends the thread-dead status";
}

TEST_F(DeadWorkerTest, AnIdleWorkerOwesNothing) {
  // Pinging paused for an hour with nothing in flight, and a new host that never had a result.
  runEcho(*host, clock, echo, true);
  clock.advanceSeconds(3600);
  host->pingStep();
  EXPECT_NE(host->worker, nullptr);
  EXPECT_EQ(host->failedCount, 0);
  EXPECT_TRUE(host->inFlight) << "the paused host is simply due";

  auto fresh = makeHost();
  clock.set(encodeDateTime(2026, 12, 31, 22, 0, 0));
  fresh->pingStep();
  EXPECT_NE(fresh->worker, nullptr);
  EXPECT_NE(fresh->status, hsThreadDead);
}

TEST_F(DeadWorkerTest, AResultThatArrivedDuringAPauseIsCollectedNotJudged) {
  host->pingStep();
  clock.advanceSeconds(5);
  host->pingStep();
  ASSERT_TRUE(waitForResult(*host));
  clock.advanceSeconds(600);
  host->pingStep();
  EXPECT_EQ(host->succeededCount, 1);
  EXPECT_EQ(host->failedCount, 0);
  EXPECT_NE(host->worker, nullptr);
}

}  // namespace
