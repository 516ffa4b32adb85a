#include "runcontrol.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "config/settings.h"
#include "core/tolvohosts.h"
#include "storage/tolvologger.h"
#include "base/usermessages.h"
#include "base/textutils.h"
#include "trayicon.h"

namespace {

constexpr std::int32_t RateTicks = 10;  // one rate figure per ten seconds
constexpr int PassesPerTick = 4;
// At most this long without a tick, so the time stamp and a change of speed wait no longer.
constexpr int MostSkippedMs = 1000;
constexpr int StatusTickMs = 1000;  // tmrPingSpeed

QString text(const std::string& s) { return QString::fromLocal8Bit(s); }

// A label lays its window out and repaints at every setText, even with the same text; the status
// tick writes the texts every second and most seconds they stay as they are.
void show(QLabel* label, const QString& s) {
  if (label->text() != s) label->setText(s);
}
void show(QPushButton* button, const QString& s) {
  if (button->text() != s) button->setText(s);
}

}  // namespace

void TRunControl::startUp() {
  lastTimestampAt = clock.now();
  lastTimestampMs = clock.monotonicMs();
  startTimeText = regional.formatDateTime(lastTimestampAt);
}

void TRunControl::setRunning(bool on) {
  if (on != isRunning && logger) logger->logPinging(on);
  isRunning = on;
  // Timer1 rests while pinging is stopped (its ticks would do nothing) and runs again from here:
  // the first tick comes one interval after the start, as it could have with a timer that ran on.
  if (on && restedWhileStopped) {
    restedWhileStopped = false;
    view.Timer1->start();
    alignStatusTick();
  }
}

void TRunControl::refreshStatus() {
  if (isRunning) {
    const double thousands = static_cast<double>(hostList ? hostList->totalPings() : 0) / 1000.0;
    show(view.lblStatus, text("Running, pings sent: " + realToText(2, thousands) + "k"));
    show(view.btnStartStop, QStringLiteral("Stop"));
  } else {
    show(view.lblStatus, QStringLiteral("Ping threads are stopped"));
    show(view.btnStartStop, QStringLiteral("Start"));
  }
  show(view.statusPanel0, text(pingRateText));
  if (!isRunning || !hostList) {
    show(view.statusPanel1, QString::fromLatin1(UnknownText));
    view.trayIcon->setStateLine({});
    view.trayIcon->setIconIndex(2);
    showCannotPing();
    return;
  }
  showConnection();
  showCannotPing();
}

// The note stays while some host cannot ping, also while pinging is stopped: what it says still
// holds then.
void TRunControl::showCannotPing() {
  if (view.cannotPingNote) view.cannotPingNote(hostList ? hostList->cannotPingCause() : "");
}

void TRunControl::showConnection() {
  // Evaluating also logs the changes of the hosts and of the connection.
  const bool ok = hostList->evaluateConnection();
  // No result of this run yet (none sent so far, or none can be sent): nothing to say OK or DOWN
  // about. The tray shows the unknown picture and, where it is so, that pinging is not possible.
  if (!hostList->connectionKnown()) {
    const std::string& cause = hostList->cannotPingCause();
    show(view.statusPanel1, QString::fromLatin1(UnknownText));
    view.trayIcon->setStateLine(cause.empty() ? QString::fromLatin1(UnknownText)
                                              : text("Pinging is not possible: " + cause));
    view.trayIcon->setIconIndex(2);
    return;
  }
  view.trayIcon->setStateLine({});
  if (ok) {
    if (hostList->lastDownAt != 0)
      show(view.statusPanel1,
           text("Conn: OK (l.down @ " + regional.formatDateTime(hostList->lastDownAt) + ")"));
    else
      show(view.statusPanel1, QStringLiteral("Connection: OK "));
    view.trayIcon->setIconIndex(0);
  } else {
    show(view.statusPanel1, QStringLiteral("Connection: DOWN!"));
    view.trayIcon->setIconIndex(1);
  }
}

void TRunControl::Timer1Timer() {
  if (!isRunning || !hostList) {
    // Stopped, a tick does nothing: the timer rests until setRunning starts it again. A timer
    // stopped by someone else (a test ticking by hand) is left as it is.
    if (!isRunning && view.Timer1 && view.Timer1->isActive()) {
      view.Timer1->stop();
      restedWhileStopped = true;
    }
    return;
  }
  const int index = view.speedIndex ? view.speedIndex() : -1;
  // Another index (none selected) leaves the interval as it is; a change applies from the next tick.
  // Setting the interval restarts a running timer, so only a change is passed on.
  if (index >= 0 && index < static_cast<int>(SpeedIntervalsMs.size()) &&
      view.Timer1->interval() != SpeedIntervalsMs[index]) {
    view.Timer1->setInterval(SpeedIntervalsMs[index]);
    alignStatusTick();
  }
  for (int pass = 0; pass < PassesPerTick; ++pass) hostList->schedulerPass();
  // Timed on the monotonic clock: a wall clock stepping back (summer time, NTP) logs no extra stamp.
  if (settings.logtimestampinterval >= 1 &&
      monotonicSecondsSince(clock.monotonicMs(), lastTimestampMs) >
          static_cast<std::int64_t>(settings.logtimestampinterval) * 60) {
    lastTimestampAt = clock.now();
    lastTimestampMs = clock.monotonicMs();
    if (logger) logger->logTimestamp(startTimeText);
  }
  shareWakeUp();
  if (view.Timer1->isActive()) skipIdleTicks(view.Timer1->interval());
}

// Timer1 and tmrPingSpeed each wake the program: at "Slow" that is two wake-ups a second where one
// would do. Every interval of Timer1 divides a second, so when both start at the same moment the
// status tick falls due on a scheduler tick; the scheduler tick then runs it (at most half a tick
// early) and starts tmrPingSpeed afresh, which then fires by itself only while Timer1 rests
// (idle ticks skipped, pinging stopped). Only running timers take part: ticks driven by hand
// (tests) never run the status tick.
void TRunControl::shareWakeUp() {
  QTimer* status = view.tmrPingSpeed;
  if (!status || !status->isActive() || !view.Timer1->isActive() || !view.pingSpeedTick) return;
  if (status->remainingTime() > view.Timer1->interval() / 2) return;
  status->start(StatusTickMs);
  view.pingSpeedTick();
}

// Called where Timer1 starts afresh: the status timer starts with it, so that the two keep step.
void TRunControl::alignStatusTick() {
  if (view.tmrPingSpeed && view.tmrPingSpeed->isActive() && view.Timer1->isActive())
    view.tmrPingSpeed->start(StatusTickMs);
}

// tmrPingSpeed fired by itself: Timer1 rested (idle ticks skipped), or the two drifted apart (a
// rest ends a tick's handling time later than it began). Its next tick is put on the scheduler
// tick nearest a second on, where shareWakeUp takes it; stopped, it keeps its second.
void TRunControl::statusTickFired() {
  QTimer* status = view.tmrPingSpeed;
  if (!status || !status->isActive()) return;
  QTimer* next = !isRunning                 ? nullptr
                 : view.Timer1->isActive()  ? view.Timer1
                 : resumeTimer && resumeTimer->isActive() ? resumeTimer
                                                          : nullptr;
  const int tickMs = view.Timer1->interval();
  if (!next || tickMs <= 0) {
    if (status->interval() != StatusTickMs) status->start(StatusTickMs);
    return;
  }
  const int first = std::max(0, next->remainingTime());
  const int ticks = std::max(0, (StatusTickMs - first + tickMs / 2) / tickMs);
  status->start(first + ticks * tickMs);
}

// Ticks whose passes would step only idle hosts are not woken for: the scheduler is moved on by
// their passes at once and the timer sleeps until the first tick with work (at most a second). The
// hosts are stepped in the same order and send at the same ticks; the interface thread just does
// not wake up in between. (At "Awesome!" with 255 hosts about half the ticks are idle.) Only a
// running timer is rested: a tick driven by hand (tests) is never followed by a pause.
void TRunControl::skipIdleTicks(int tickMs) {
  if (tickMs <= 0) return;
  const int most = MostSkippedMs / tickMs;
  // Without hosts (all deleted while running) every tick is idle.
  const int idle = hostList->hostCount() == 0
                       ? most
                       : hostList->idleTicksAhead(PassesPerTick, tickMs, most);
  if (idle < 1) return;
  hostList->skipPasses(idle * PassesPerTick);
  if (!resumeTimer) {
    resumeTimer = new QTimer(view.Timer1);
    resumeTimer->setSingleShot(true);
    resumeTimer->setTimerType(Qt::PreciseTimer);
    QTimer* tick = view.Timer1;
    QObject::connect(resumeTimer, &QTimer::timeout, tick, [this, tick] {
      if (tick->isActive()) return;  // someone restarted it meanwhile
      tick->start();
      Timer1Timer();
    });
  }
  view.Timer1->stop();
  resumeTimer->start((idle + 1) * tickMs);
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
