// The headless monitor's own timing, driven by a manual clock.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fstream>

#include "config/settings.h"
#include "headless/headlessrunner.h"

namespace {

int timestamps(const std::string& logPath) {
  std::ifstream in(logPath);
  int found = 0;
  for (std::string line; std::getline(in, line);) found += line.find(";TIMESTAMP;") != std::string::npos;
  return found;
}

// The wall clock stepping back an hour (summer time ending, an NTP correction) does not stop the
// time stamps: a minute later on the monotonic clock the next one is written, as in the desktop
// program.
TEST(HeadlessRunner, TimeStampsFollowTheMonotonicClockWhenTheWallClockStepsBack) {
  QTemporaryDir dir;
  const std::string log = dir.filePath("general_log.txt").toStdString();
  const std::string hosts = dir.filePath("hosts.cfg").toStdString();
  std::ofstream(dir.filePath("sorvelo.conf").toStdString())
      << "[logging]\ngeneral_log_enabled=1\ngeneral_log_filename=" << log
      << "\n[general]\nfirsttime=0\nlogtimestampinterval=1\n";
  std::ofstream(hosts, std::ios::binary)
      << "NEW_HOST_START $$@@$$ \r\nHOSTNAME %STRING% 127.0.0.1\r\nHOSTIPADDRESS %STRING% "
         "127.0.0.1\r\nNEW_HOST_END $$@@$$ \r\n";
  overrideSettingsFilePath(dir.filePath("sorvelo.conf").toStdString());

  const TDateTime start = encodeDateTime(2026, 10, 25, 3, 0, 0);
  TManualClock clock(start);
  THeadlessRunner runner(hosts, clock, [](const std::string&, std::int32_t) {
    return TEchoOutcome{true, 1, 1000};
  });
  ASSERT_TRUE(runner.startUp());
  clock.set(start - 1.0 / 24);  // an hour back; the monotonic clock stays
  clock.advanceSeconds(61);
  QElapsedTimer waited;
  waited.start();
  while (timestamps(log) == 0 && waited.elapsed() < 3000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(timestamps(log), 1);
  runner.shutDown();
}

}  // namespace
