#pragma once
// The monitor without a display, in the desktop program's order: the host list with the event log
// subscribed first, the settings, the metrics endpoint, the hosts file, "STARTUP", then pinging at
// once. A scheduler tick at the running speed (four scheduler passes, time stamps in the log) and a
// connection evaluation once a second (with the path schedule) drive it, as the main window's two
// timers do, sharing their wake-ups as those do. No question is
// ever asked: the first-run questions are skipped (no start-up entry, no version check) and the
// run counts as set up.
//
// shutDown() is the main window's close: two time stamps, "PINGING STOP", "SHUTDOWN", the hosts
// file saved, and the settings saved when this run changed them or there was no settings file.

#include <QObject>

#include <array>
#include <memory>
#include <string>

#include "base/regionalformat.h"
#include "base/tolvotime.h"
#include "config/settings.h"
#include "core/threadping.h"

class QTimer;
class TEventLogSubscriber;
class THeadlessAlerts;
class THostsFileFollower;
class THistoryRecorder;
class TMetricsService;
class TPathTracer;
class TTolvoHosts;
class TTolvoLogger;

// Running speed (ping_speed) -> interval of the scheduler tick, as in the desktop program.
inline constexpr std::array<int, 4> HeadlessSpeedIntervalsMs = {20, 100, 500, 1000};

class THeadlessRunner : public QObject {
  Q_OBJECT
 public:
  // hostsFile overrides the settings' hosts file for this run (it is not stored in the settings).
  explicit THeadlessRunner(std::string hostsFile = {}, const TClock& clock = systemClock(),
                           TEchoService echoService = {});
  ~THeadlessRunner() override;

  // False when start-up failed (the message has been printed); nothing runs then.
  bool startUp();
  void shutDown();
  // Reads the hosts file again (SIGHUP). A file that cannot be opened leaves the list as it is.
  void reloadHosts();

  TTolvoHosts* hostList() const { return hosts.get(); }
  TMetricsService* metrics() const { return metricsService.get(); }
  TPathTracer* paths() const { return pathTracer.get(); }
  const std::string& hostsFileName() const;
  bool isRunning() const { return running; }
  bool isClosed() const { return closed; }

 signals:
  // The orderly shutdown is done.
  void finished();

 private:
  void setRunning(bool on);
  void schedulerTick();
  void skipIdleTicks(int tickMs);
  void evaluationTick();
  void shareWakeUp();
  void evaluationTickFired();
  void applySpeed();
  void startPathTracer();
  void readPathSettings();

  const TClock& clock;
  std::string hostsOverride;
  TRegionalFormat regional = TRegionalFormat::fromLocale();
  std::unique_ptr<TTolvoHosts> hosts;
  std::unique_ptr<TTolvoLogger> logger;
  std::unique_ptr<TEventLogSubscriber> logSubscriber;
  std::unique_ptr<THistoryRecorder> historyRecorder;
  std::unique_ptr<THeadlessAlerts> alerts;
  std::unique_ptr<TMetricsService> metricsService;
  std::unique_ptr<TPathTracer> pathTracer;  // rounds of the hosts traced ([paths])
  std::unique_ptr<THostsFileFollower> hostsFollower;  // takes changes sorvelo --add makes
  QTimer* schedulerTimer = nullptr;
  QTimer* evaluationTimer = nullptr;
  QTimer* resumeTimer = nullptr;  // ends a run of skipped idle ticks
  TDateTime lastTimestampAt = 0;
  std::int64_t lastTimestampMs = 0;  // the same moment on the monotonic clock, which times the stamps
  std::string startTimeText;
  bool running = false;
  bool started = false;
  // The settings as read at start, and whether the file was there: the stop writes the settings
  // only when this run changed them or there was no file, so it never puts the values read at
  // start back over what the desktop program or the user saved meanwhile.
  configRecord settingsAtStart;
  bool settingsFileExisted = false;
  bool closed = false;
};
