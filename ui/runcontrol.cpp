#include "runcontrol.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "config/settings.h"
#include "core/tolvohosts.h"
#include "storage/tolvologger.h"
#include "base/usermessages.h"
#include "base/textutils.h"
#include "trayicon.h"

namespace {

constexpr std::int32_t RateTicks = 10;  // one rate figure per ten seconds

QString text(const std::string& s) { return QString::fromLocal8Bit(s); }

}  // namespace

void TRunControl::startUp() {
  lastTimestampAt = clock.now();
  lastTimestampMs = clock.monotonicMs();
  startTimeText = regional.formatDateTime(lastTimestampAt);
}

void TRunControl::setRunning(bool on) {
  if (on != isRunning && logger) logger->logPinging(on);
  isRunning = on;
}

void TRunControl::refreshStatus() {
  if (isRunning) {
    const double thousands = static_cast<double>(hostList ? hostList->totalPings() : 0) / 1000.0;
    view.lblStatus->setText(text("Running, pings sent: " + realToText(2, thousands) + "k"));
    view.btnStartStop->setText(QStringLiteral("Stop"));
  } else {
    view.lblStatus->setText(QStringLiteral("Ping threads are stopped"));
    view.btnStartStop->setText(QStringLiteral("Start"));
  }
  view.statusPanel0->setText(text(pingRateText));
  if (!isRunning || !hostList) {
    view.statusPanel1->setText(QStringLiteral("Connection status unknown."));
    view.trayIcon->setIconIndex(2);
    return;
  }
  showConnection();
}

void TRunControl::showConnection() {
  // Evaluating also logs the changes of the hosts and of the connection.
  if (hostList->evaluateConnection()) {
    if (hostList->lastDownAt != 0)
      view.statusPanel1->setText(
          text("Conn: OK (l.down @ " + regional.formatDateTime(hostList->lastDownAt) + ")"));
    else
      view.statusPanel1->setText(QStringLiteral("Connection: OK "));
    view.trayIcon->setIconIndex(0);
  } else {
    view.statusPanel1->setText(QStringLiteral("Connection: DOWN!"));
    view.trayIcon->setIconIndex(1);
  }
}

void TRunControl::Timer1Timer() {
  if (!isRunning || !hostList) return;
  const int index = view.speedIndex ? view.speedIndex() : -1;
  // Another index (none selected) leaves the interval as it is; a change applies from the next tick.
  // Setting the interval restarts a running timer, so only a change is passed on.
  if (index >= 0 && index < static_cast<int>(SpeedIntervalsMs.size()) &&
      view.Timer1->interval() != SpeedIntervalsMs[index])
    view.Timer1->setInterval(SpeedIntervalsMs[index]);
  for (int pass = 0; pass < 4; ++pass) hostList->schedulerPass();
  // Timed on the monotonic clock: a wall clock stepping back (summer time, NTP) logs no extra stamp.
  if (settings.logtimestampinterval >= 1 &&
      monotonicSecondsSince(clock.monotonicMs(), lastTimestampMs) >
          static_cast<std::int64_t>(settings.logtimestampinterval) * 60) {
    lastTimestampAt = clock.now();
    lastTimestampMs = clock.monotonicMs();
    if (logger) logger->logTimestamp(startTimeText);
  }
}

void TRunControl::tmrPingSpeedTimer() {
  if (++tickCount >= RateTicks) {
    // Echoes of this run only: counters loaded from the hosts file are no pings of the last ten
    // seconds, and a deleted host takes none of the run's echoes away.
    const std::uint64_t echoes = hostList ? hostList->echoesThisRun() : 0;
    const double perSecond = static_cast<double>(echoes - lastEchoes) / RateTicks;
    pingRateText = realToText(2, perSecond) + " pings/s";
    lastEchoes = echoes;
    tickCount = 0;
  }
  refreshStatus();
}

void TRunControl::btnStartStopClick() {
  if ((hostList && hostList->hostCount() > 0) || isRunning) {
    setRunning(!isRunning);
    refreshStatus();
  } else {
    showUserMessage(NoHostsMessage);
  }
}

void TRunControl::rgSpeedClick(int index) {
  if (index == 0) showUserMessage(AwesomeWarning);
  settings.ping_speed = index;
}
