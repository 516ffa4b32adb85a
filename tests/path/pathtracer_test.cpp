// The path tracer with 255 hosts traced at once (127.0.0.1 to 127.0.0.255 in the test's own
// network namespace, each answering at hop 1): the probes of all rounds keep to the cap together.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>

#include "pathwatch/pathtracer.h"

TEST(PathTracer, TwoHundredFiftyFiveTracedHostsKeepToTheProbeCap) {
  TPathTracer tracer;
  std::vector<std::string> hosts;
  for (int i = 1; i <= 255; ++i) hosts.push_back("127.0.0." + std::to_string(i));
  tracer.addresses = [&] { return hosts; };
  int reached = 0;
  tracer.onRound = [&](const TTracedRound& traced) { reached += traced.round.reached ? 1 : 0; };
  TPathSettings settings;
  settings.traceAll = true;
  tracer.setSettings(settings);
  QElapsedTimer clock;
  clock.start();
  tracer.start({});
  QTest::qWait(5000);
  const double seconds = static_cast<double>(clock.elapsed()) / 1000;
  const auto sent = static_cast<double>(tracer.probesSent());
  tracer.stop();
  std::printf("[ figures  ] 255 hosts traced: %.0f probes in %.1f s, %.1f per second (cap %.0f)\n",
              sent, seconds, sent / seconds, settings.probesPerSecond);
  // The cap and the bucket's burst, and nothing but a slow machine below most of it.
  EXPECT_LE(sent, settings.probesPerSecond * seconds + TTokenBucket::DefaultBurst);
  EXPECT_GE(sent, settings.probesPerSecond * seconds * 0.7);
  EXPECT_GT(reached, 0);
}
