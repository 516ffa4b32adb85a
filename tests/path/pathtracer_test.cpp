// The path tracer with 255 hosts traced at once (127.0.0.1 to 127.0.0.255 in the test's own
// network namespace, each answering at hop 1): the probes of all rounds keep to the cap together.
// And the [paths] settings that choose the hosts.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>

#include "config/settings.h"
#include "pathwatch/pathtracer.h"

TEST(PathTracer, TwoHundredFiftyFiveTracedHostsKeepToTheProbeCap) {
  TPathTracer tracer;
  std::vector<std::string> hosts;
  for (int i = 1; i <= 255; ++i) hosts.push_back("127.0.0." + std::to_string(i));
  tracer.addresses = [&] { return hosts; };
  int reached = 0;
  tracer.onRound = [&](const TTracedRound& traced) { reached += traced.round.reached ? 1 : 0; };
  TPathSettings everyHost;
  everyHost.traceAll = true;
  tracer.setSettings(everyHost);
  QElapsedTimer clock;
  clock.start();
  tracer.start({});
  QTest::qWait(5000);
  const double seconds = static_cast<double>(clock.elapsed()) / 1000;
  const auto sent = static_cast<double>(tracer.probesSent());
  tracer.stop();
  std::printf("[ figures  ] 255 hosts traced: %.0f probes in %.1f s, %.1f per second (cap %.0f)\n",
              sent, seconds, sent / seconds, everyHost.probesPerSecond);
  // The cap and the bucket's burst, and nothing but a slow machine below most of it.
  EXPECT_LE(sent, everyHost.probesPerSecond * seconds + TTokenBucket::DefaultBurst);
  EXPECT_GE(sent, everyHost.probesPerSecond * seconds * 0.7);
  EXPECT_GT(reached, 0);
}

// With a version of the host list, the list (and the settings for it) is read again only once the
// version has moved: a host added is scheduled from then on.
TEST(PathTracer, TheHostListIsReadAgainOnlyWhenItsVersionMoves) {
  TPathTracerOptions options;
  options.checkInterval = std::chrono::milliseconds(0);  // checked by hand below
  TPathTracer tracer(options);
  std::vector<std::string> hosts{"127.0.0.1"};
  std::uint64_t version = 1;
  int asked = 0, loaded = 0;
  tracer.addresses = [&] { return ++asked, hosts; };
  tracer.addressesVersion = [&] { return version; };
  TPathSettings all;
  all.traceAll = true;
  tracer.loadSettings = [&](const std::vector<std::string>&) { return ++loaded, all; };
  tracer.checkSchedule();
  hosts.push_back("127.0.0.2");
  tracer.checkSchedule();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(tracer.backlog(), 1u);
  ++version;
  tracer.checkSchedule();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(loaded, 2);
  EXPECT_EQ(tracer.backlog(), 2u);  // the first host's round still waits; the new one joins it
}

TEST(PathSettings, PerHostSwitchesOverTraceAllAndRefusedValuesKeepTheirDefaults) {
  setExtraSetting("paths", "trace_all", "1");
  setExtraSetting("paths", "trace.192.0.2.1", "0");
  setExtraSetting("paths", "trace.192.0.2.2", "maybe");
  setExtraSetting("paths", "probes_per_second", "0");
  std::vector<std::string> problems;
  TPathSettings loaded = TPathSettings::load({"192.0.2.1", "192.0.2.2", "192.0.2.3"}, &problems);
  EXPECT_FALSE(loaded.tracedFor("192.0.2.1"));
  EXPECT_TRUE(loaded.tracedFor("192.0.2.2"));  // refused: trace_all decides
  EXPECT_TRUE(loaded.tracedFor("192.0.2.3"));
  EXPECT_EQ(loaded.probesPerSecond, TPathSettings::DefaultProbesPerSecond);  // never uncapped
  EXPECT_EQ(problems.size(), 2u);

  loaded.traceAll = false;
  loaded.traceHost = {{"192.0.2.3", true}};
  loaded.probesPerSecond = 7.5;
  loaded.store({"192.0.2.1", "192.0.2.3"});
  const TPathSettings again = TPathSettings::load({"192.0.2.1", "192.0.2.3"});
  EXPECT_FALSE(again.tracedFor("192.0.2.1"));
  EXPECT_TRUE(again.tracedFor("192.0.2.3"));
  EXPECT_EQ(again.probesPerSecond, 7.5);
}
