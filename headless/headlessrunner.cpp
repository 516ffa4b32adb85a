#include "headlessrunner.h"

#include <QTimer>

#include <sys/stat.h>

#include <algorithm>
#include <exception>

#include "config/settings.h"
#include "core/tolvohosts.h"
#include "core/pingingsettings.h"
#include "headlessalerts.h"
#include "history/historyrecorder.h"
#include "history/historysettings.h"
#include "metrics/metricsregistry.h"
#include "metrics/pathmetrics.h"
#include "metrics/metricsservice.h"
#include "pathwatch/pathtracer.h"
#include "alerts/alertcenter.h"
#include "stderrmessages.h"
#include "storage/eventlogsubscriber.h"
#include "storage/hostsfilefollower.h"
#include "storage/tolvologger.h"

namespace {

constexpr int EvaluationMs = 1000;
constexpr int PassesPerTick = 4;
// At most this long without a tick, as in the desktop program.
constexpr int MostSkippedMs = 1000;
constexpr const char* AwesomeWarning =
    "WARNING! By selecting Awesome! - speed your CPU might come under 100% stress. So if your "
    "computer is sticky, change it to Fast or lower speed.";

bool fileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

}  // namespace

THeadlessRunner::THeadlessRunner(std::string hostsFile, const TClock& clockToUse,
                                 TEchoService echoService)
    : clock(clockToUse), hostsOverride(std::move(hostsFile)) {
  hosts = std::make_unique<TTolvoHosts>(clock);
  hosts->echoService = std::move(echoService);
  // The event log subscribes first, so its entries keep the order in which the engine reports.
  logger = std::make_unique<TTolvoLogger>(clock);
  logSubscriber = std::make_unique<TEventLogSubscriber>(*hosts, *logger);
  historyRecorder = std::make_unique<THistoryRecorder>(hosts->events());
  alerts = std::make_unique<THeadlessAlerts>(
      *hosts, [this] { return historyFilePath(hostsFileName()); });
  schedulerTimer = new QTimer(this);
  schedulerTimer->setTimerType(Qt::PreciseTimer);
  schedulerTimer->setInterval(HeadlessSpeedIntervalsMs[1]);
  connect(schedulerTimer, &QTimer::timeout, this, &THeadlessRunner::schedulerTick);
  evaluationTimer = new QTimer(this);
  evaluationTimer->setInterval(EvaluationMs);
  connect(evaluationTimer, &QTimer::timeout, this, [this] {
    evaluationTick();
    evaluationTickFired();
  });
}

THeadlessRunner::~THeadlessRunner() {
  schedulerTimer->stop();
  evaluationTimer->stop();
  if (alerts) alerts->center().pathStop = nullptr;
  pathTracer.reset();
  metricsService.reset();
  alerts.reset();
  historyRecorder.reset();
  logSubscriber.reset();
  hosts.reset();
  logger.reset();
}

const std::string& THeadlessRunner::hostsFileName() const {
  return hostsOverride.empty() ? settings.hosts_file_name : hostsOverride;
}

bool THeadlessRunner::startUp() {
  lastTimestampAt = clock.now();
  lastTimestampMs = clock.monotonicMs();
  startTimeText = regional.formatDateTime(lastTimestampAt);
  try {
    loadSettings();
    settingsAtStart = settings;
    settingsFileExisted = fileExists(settingsFilePath());
    hosts->setPreferIpv6(pingingFlag(
        PreferIpv6Setting, extraSetting(PreferIpv6Setting.section, PreferIpv6Setting.name)));
    historyRecorder->setLengths(historyLengths());
    historyRecorder->start(historyFilePath(hostsFileName()));
    metricsService = startMetrics(*hosts, true);
    if (metricsService && !metricsService->listening())
      printMessage(TSeverity::Warning, metricsService->problem());
    applySpeed();
    if (!fileExists(hostsFileName()))
      printMessage(TSeverity::Warning, "there is no hosts file at " + hostsFileName() +
                                           "; starting with no hosts");
    hosts->loadFromFile(hostsFileName());
    alerts->readSettings();  // per-host values are keyed by the addresses just read
    startPathTracer();
    hostsFollower = std::make_unique<THostsFileFollower>(
        *hosts, hostsFileName(), [this](const THostsMergeResult& change) {
          printMessage(TSeverity::Info, "hosts file " + hostsFileName() + " changed: " +
                                            std::to_string(change.added) + " added, " +
                                            std::to_string(change.removed) + " removed; now pinging " +
                                            std::to_string(hosts->hostCount()) + " hosts");
          if (change.notTaken > 0)
            printMessage(TSeverity::Warning, std::to_string(change.notTaken) +
                                                 " hosts of the hosts file found no free slot");
        });
    logger->logProgram(true);
  } catch (const std::exception& e) {
    printMessage(TSeverity::Error, e.what());
    return false;
  }
  started = true;
  // The first-run questions are not asked; the run counts as set up.
  settings.firsttime = 0;
  printMessage(TSeverity::Info, "pinging " + std::to_string(hosts->hostCount()) + " hosts from " +
                                    hostsFileName());
  setRunning(true);
  schedulerTimer->start();
  evaluationTimer->start();
  return true;
}

// The stored running speed, as the desktop program applies it at start: "Awesome!" warns, a value
// above 3 is "Slow" (and stored so), a negative one leaves the tick at its first interval.
void THeadlessRunner::applySpeed() {
  int index = settings.ping_speed;
  if (index < 0) return;
  if (index >= static_cast<int>(HeadlessSpeedIntervalsMs.size())) {
    index = static_cast<int>(HeadlessSpeedIntervalsMs.size()) - 1;
    settings.ping_speed = index;
  }
  if (index == 0) printMessage(TSeverity::Warning, AwesomeWarning);
  schedulerTimer->setInterval(HeadlessSpeedIntervalsMs[static_cast<std::size_t>(index)]);
}

void THeadlessRunner::readPathSettings() {
  std::vector<std::string> problems;
  pathTracer->setSettings(TPathSettings::load(hosts->addresses(), &problems));
  for (const std::string& problem : problems) printMessage(TSeverity::Warning, problem);
}

// Path rounds beside the echoes: scheduled for the traced hosts, at once when one goes down or
// comes back; a round made when a host went down that stops short is one line on standard error.
void THeadlessRunner::startPathTracer() {
  TPathTracerOptions options;
  options.keepDays = historyLengths().rawDays;
  options.checkInterval = std::chrono::milliseconds(0);  // checkSchedule, from the evaluation tick
  pathTracer = std::make_unique<TPathTracer>(options);
  pathTracer->addresses = [this] {
    return running ? hosts->addresses() : std::vector<std::string>{};
  };
  // The list above differs only after a change of the hosts or of running.
  pathTracer->addressesVersion = [this] { return hosts->listChanges() * 2 + (running ? 1 : 0); };
  pathTracer->loadSettings = [](const std::vector<std::string>& addresses) {
    return TPathSettings::load(addresses);  // refusals were printed when the file was read
  };
  pathTracer->onRound = [this](const TTracedRound& traced) {
    if (metricsService)
      feedPathMetrics(*metricsService->registry(), traced,
                      pathTracer->changesTotal(traced.round.address));
    for (const TRouteChange& change : traced.changes)
      printMessage(TSeverity::Info, "path to " + traced.round.address + " changed at hop " +
                                        std::to_string(change.hop) + ": " + change.before +
                                        " -> " + change.after);
    if (traced.round.reason != "down" || traced.round.reached) return;
    TLastHop last;
    for (const THistoryHop& hop : traced.round.hops)
      if (!hop.address.empty()) last = {hop.hop, hop.address, hop.name};
    printMessage(TSeverity::Warning, traced.round.address + " is down: the path stops after " +
                                         lastHopText(last));
  };
  alerts->center().pathStop = [this](const std::string& address) {
    return pathTracer->lastStop(address);
  };
  alerts->center().addChangeListener([this](const TAlertChange& change) {
    if (!pathTracer) return;
    const TAlertKind kind = kindOf(change);
    if (kind == TAlertKind::HostDown) pathTracer->hostWentDown(change.address);
    if (kind == TAlertKind::HostUp) pathTracer->hostCameBack(change.address);
  });
  readPathSettings();
  pathTracer->start(historyFilePath(hostsFileName()));
}

void THeadlessRunner::setRunning(bool on) {
  if (on != running) logger->logPinging(on);
  running = on;
}

void THeadlessRunner::schedulerTick() {
  if (!running) return;
  for (int pass = 0; pass < PassesPerTick; ++pass) hosts->schedulerPass();
  // Timed on the monotonic clock, as in the desktop program: a wall clock stepping back (summer
  // time, NTP) neither stops the stamps nor adds any.
  if (settings.logtimestampinterval >= 1 &&
      monotonicSecondsSince(clock.monotonicMs(), lastTimestampMs) >
          static_cast<std::int64_t>(settings.logtimestampinterval) * 60) {
    lastTimestampAt = clock.now();
    lastTimestampMs = clock.monotonicMs();
    logger->logTimestamp(startTimeText);
  }
  shareWakeUp();
  if (schedulerTimer->isActive()) skipIdleTicks(schedulerTimer->interval());
}

// Once a second: the connection evaluated (it logs the hosts' changes) and the path schedule.
void THeadlessRunner::evaluationTick() {
  if (running) hosts->evaluateConnection();
  if (pathTracer) pathTracer->checkSchedule();
}

// The scheduler tick and the evaluation would each wake the program; as in the desktop program,
// both timers start together and every tick interval divides a second, so the evaluation falls due
// on a scheduler tick, which runs it (at most half a tick early) and starts its timer afresh. That
// timer then fires by itself only while the scheduler timer rests (idle ticks skipped).
void THeadlessRunner::shareWakeUp() {
  if (!evaluationTimer->isActive() || !schedulerTimer->isActive()) return;
  if (evaluationTimer->remainingTime() > schedulerTimer->interval() / 2) return;
  evaluationTimer->start(EvaluationMs);
  evaluationTick();
}

// The evaluation timer fired by itself: its next tick is put on the scheduler tick nearest a
// second on, where shareWakeUp takes it.
void THeadlessRunner::evaluationTickFired() {
  QTimer* next = !running                          ? nullptr
                 : schedulerTimer->isActive()      ? schedulerTimer
                 : resumeTimer && resumeTimer->isActive() ? resumeTimer
                                                          : nullptr;
  const int tickMs = schedulerTimer->interval();
  if (closed || !next || tickMs <= 0) {
    if (evaluationTimer->interval() != EvaluationMs) evaluationTimer->setInterval(EvaluationMs);
    return;
  }
  const int first = std::max(0, next->remainingTime());
  const int ticks = std::max(0, (EvaluationMs - first + tickMs / 2) / tickMs);
  evaluationTimer->start(first + ticks * tickMs);
}

// As the desktop program does: ticks whose passes would step only idle hosts are not woken for. The
// scheduler is moved on by their passes at once and the timer sleeps until the first tick with work
// (at most a second), so the hosts are stepped in the same order and send at the same ticks.
void THeadlessRunner::skipIdleTicks(int tickMs) {
  if (tickMs <= 0) return;
  const int idle = hosts->idleTicksAhead(PassesPerTick, tickMs, MostSkippedMs / tickMs);
  if (idle < 1) return;
  hosts->skipPasses(idle * PassesPerTick);
  if (!resumeTimer) {
    resumeTimer = new QTimer(this);
    resumeTimer->setSingleShot(true);
    resumeTimer->setTimerType(Qt::PreciseTimer);
    connect(resumeTimer, &QTimer::timeout, this, [this] {
      if (closed || schedulerTimer->isActive()) return;  // stopped, or restarted meanwhile
      schedulerTimer->start();
      schedulerTick();
    });
  }
  schedulerTimer->stop();
  resumeTimer->start((idle + 1) * tickMs);
}

void THeadlessRunner::reloadHosts() {
  if (closed || !started) return;
  const bool whole = hosts->loadFromFile(hostsFileName());
  alerts->readSettings();
  readPathSettings();
  const std::string count = std::to_string(hosts->hostCount()) + " hosts";
  if (whole) {
    printMessage(TSeverity::Info, "hosts file " + hostsFileName() + " read again: " + count);
  } else {
    printMessage(TSeverity::Warning, "the hosts file " + hostsFileName() +
                                         " could not be read whole; now pinging " + count);
  }
}

void THeadlessRunner::shutDown() {
  if (closed) return;
  closed = true;
  schedulerTimer->stop();
  if (resumeTimer) resumeTimer->stop();
  evaluationTimer->stop();
  if (started) {
    logger->logTimestamp(startTimeText);
    logger->logTimestamp(startTimeText);
    setRunning(false);
    logger->logProgram(false);
    if (!hosts->saveToFile(hostsFileName()))
      printMessage(TSeverity::Error, "the hosts file " + hostsFileName() + " was not saved");
    if (pathTracer) pathTracer->stop();
    alerts->closeMedians();
    historyRecorder->stop();
    try {
      if (settings.firsttime != 1 && (!settingsFileExisted || settings != settingsAtStart))
        saveSettings();
    } catch (const std::exception& e) {
      printMessage(TSeverity::Error, e.what());
    }
  }
  emit finished();
}
