#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/engineevents.h"
#include "core/tolvohosts.h"
#include "enginetestsupport.h"

namespace {

// Records every event as a short text.
class TRecorder : public TEngineObserver {
 public:
  explicit TRecorder(std::string tag, std::vector<std::string>& sink) : name(std::move(tag)), out(sink) {}
  void echoResult(const TTolvoHost& host, const TEchoResult& r) override {
    out.push_back(name + " echo " + host.hostName + (r.answered ? " answered " : " lost ") +
                  std::to_string(r.rttMicros) + (r.sentUnixMs > 0 ? " stamped" : " unstamped"));
  }
  void hostAdded(const TTolvoHost& host) override { out.push_back(name + " added " + host.hostName); }
  void hostDeleting(const TTolvoHost& host) override { out.push_back(name + " deleting " + host.hostName); }
  void hostEdited(const TTolvoHost& host, const THostNames& before) override {
    out.push_back(name + " edited " + before.hostName + ">" + host.hostName);
  }
  void connectionChanged(connState state) override {
    out.push_back(name + " connection " + std::to_string(state));
  }

 private:
  std::string name;
  std::vector<std::string>& out;
};

TEST(EngineEvents, SubscribersAreServedInOrderAndMayLeaveDuringACall) {
  TEngineEventHub hub;
  std::vector<std::string> seen;
  TRecorder first("1", seen), second("2", seen);
  hub.subscribe(&first);
  hub.subscribe(&second);
  hub.subscribe(&first);  // twice is once
  hub.connectionChanged(csDown);
  EXPECT_EQ(seen, (std::vector<std::string>{"1 connection 2", "2 connection 2"}));

  // A subscriber that unsubscribes the next one: that one is no longer served.
  struct TLeaver : TEngineObserver {
    TEngineEventHub* hub = nullptr;
    TEngineObserver* victim = nullptr;
    void connectionChanged(connState) override { hub->unsubscribe(victim); }
  } leaver;
  TEngineEventHub other;
  leaver.hub = &other;
  leaver.victim = &second;
  other.subscribe(&leaver);
  other.subscribe(&second);
  seen.clear();
  other.connectionChanged(csUp);
  EXPECT_TRUE(seen.empty());
  other.unsubscribe(&leaver);
  EXPECT_TRUE(other.empty());  // the one that left during the event is gone too

  // One that joins during an event hears from the next one on.
  struct TJoiner : TEngineObserver {
    TEngineEventHub* hub = nullptr;
    TEngineObserver* newcomer = nullptr;
    void connectionChanged(connState) override { hub->subscribe(newcomer); }
  } joiner;
  TEngineEventHub third;
  joiner.hub = &third;
  joiner.newcomer = &first;
  third.subscribe(&joiner);
  third.connectionChanged(csUp);
  EXPECT_TRUE(seen.empty());
  third.connectionChanged(csDown);
  EXPECT_EQ(seen, (std::vector<std::string>{"1 connection 2"}));
}

TEST(EngineEvents, TheHostListPublishesAddsEditsDeletesAndCollectedEchoes) {
  TManualClock clock(encodeDateTime(2026, 3, 1, 12));
  TScriptedEcho echo;
  TTolvoHosts list(clock);
  list.echoService = echo.service();
  std::vector<std::string> seen;
  TRecorder recorder("r", seen);
  list.events().subscribe(&recorder);

  auto made = list.newHost();
  made->hostName = "a";
  made->ipAddress = "127.0.0.1";
  TTolvoHost* host = made.get();
  ASSERT_TRUE(list.appendHost(made));
  host->pingStep();                // starts the worker
  clock.advanceSeconds(5);
  host->pingStep();                // sends
  ASSERT_TRUE(waitUntil([&] { return host->worker->resultReady.load(); }));
  host->pingStep();                // collects
  const THostNames before{host->callingName, host->hostName, host->ipAddress};
  host->hostName = "b";
  list.hostEdited(host, before);
  list.deleteHost(host);
  list.events().unsubscribe(&recorder);

  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], "r added a");
  EXPECT_EQ(seen[1], "r echo a answered " + std::to_string(echo.pingTime * 1000) + " stamped");
  EXPECT_EQ(seen[2], "r edited a>b");
  EXPECT_EQ(seen[3], "r deleting b");
}

}  // namespace
