// The results database's costs.
//
//   history_bench --synthetic-seconds=40   2,000 results a second from 255 hosts through the recorder,
//                                          its clock running 4 times as fast as the real one so that
//                                          minutes are packed and steps summarised during the run:
//                                          CPU seconds per 1,000 results (the whole process: the
//                                          engine side and the database thread), and the time the
//                                          interface thread spends per result and per 10 ms tick
//   history_bench --live-seconds=20        255 loopback hosts pinged through the real scheduler at the
//                                          fastest speed (a tick every 20 ms) with the recorder: its
//                                          database thread's CPU seconds per 1,000 results and the
//                                          longest time a tick spent handing results to it (needs
//                                          ICMP sockets)
//   history_bench --days=1                 255 hosts at one echo every 5 s for that many simulated
//                                          days: CPU per 1,000 results at that pace, bytes per result
//                                          (raw) and per summary at each step, and the projected
//                                          steady-state size with the default lengths
//   history_bench --path-days=1            16 hosts traced at one round of 10 hops a minute for that
//                                          many simulated days, consolidated every minute: bytes
//                                          per traced host per day of the rounds and of their
//                                          5-minute and hourly summaries
// A value of 0 leaves that part out. Files go to a temporary folder that is removed at the end.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/engineevents.h"
#include "core/tolvohost.h"
#include "core/tolvohosts.h"
#include "history/historyrecorder.h"
#include "history/historysettings.h"
#include "history/historystore.h"
#include "history/pathrecords.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int HostCount = 255;
constexpr std::int64_t DayMs = 86'400'000;

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::vector<std::unique_ptr<TTolvoHost>> makeHosts(TEngineEventHub& hub) {
  std::vector<std::unique_ptr<TTolvoHost>> hosts;
  for (int i = 0; i < HostCount; ++i) {
    auto host = std::make_unique<TTolvoHost>();
    host->callingName = "host" + std::to_string(i + 1);
    host->hostName = host->callingName + ".lan";
    host->ipAddress = "127.0.0." + std::to_string(i + 1);
    hub.hostAdded(*host);
    hosts.push_back(std::move(host));
  }
  return hosts;
}

// A round trip that looks like a LAN with a few slow and lost echoes.
std::int64_t syntheticRtt(std::uint64_t n) {
  if (n % 97 == 13) return -1;
  return 300 + static_cast<std::int64_t>((n * 2654435761u) % 4000);
}

void synthetic(const std::string& dbPath, int seconds) {
  TEngineEventHub hub;
  std::atomic<std::int64_t> simulatedMs{1'767'225'600'000};
  THistoryRecorderOptions options;
  options.nowMs = [&] { return simulatedMs.load(); };
  THistoryRecorder recorder(hub, options);
  auto hosts = makeHosts(hub);
  recorder.start(dbPath);
  recorder.waitWritten(std::chrono::seconds(10));

  constexpr int TickMs = 10, PerTick = 20;  // 2,000 results a second
  constexpr int Speed = 4;
  const double cpuBefore = cpuSeconds();
  const double threadBefore = recorder.stats().threadCpuSeconds;
  const auto start = SteadyClock::now();
  std::uint64_t n = 0;
  double callTotalUs = 0, worstCallUs = 0, worstTickUs = 0;
  const int ticks = seconds * 1000 / TickMs;
  for (int tick = 0; tick < ticks; ++tick) {
    std::this_thread::sleep_until(start + std::chrono::milliseconds(tick * TickMs));
    simulatedMs += TickMs * Speed;
    const auto tickStart = SteadyClock::now();
    for (int i = 0; i < PerTick; ++i, ++n) {
      const TTolvoHost& host = *hosts[n % HostCount];
      const std::int64_t rtt = syntheticRtt(n);
      const auto before = SteadyClock::now();
      hub.echoResult(host, {simulatedMs.load() - 5, rtt >= 0, rtt});
      const double us = std::chrono::duration<double, std::micro>(SteadyClock::now() - before).count();
      callTotalUs += us;
      worstCallUs = std::max(worstCallUs, us);
    }
    worstTickUs = std::max(
        worstTickUs,
        std::chrono::duration<double, std::micro>(SteadyClock::now() - tickStart).count());
  }
  recorder.waitWritten(std::chrono::seconds(10));
  const double threadCpu = recorder.stats().threadCpuSeconds - threadBefore;
  recorder.stop();
  const double cpu = cpuSeconds() - cpuBefore;
  const THistoryRecorderStats stats = recorder.stats();
  std::printf("synthetic: %llu results in %d s (%d results/s, clock x%d), written %llu, dropped %llu\n",
              static_cast<unsigned long long>(n), seconds, PerTick * 1000 / TickMs, Speed,
              static_cast<unsigned long long>(stats.written),
              static_cast<unsigned long long>(stats.dropped));
  std::printf("  CPU seconds per 1,000 results recorded: %.5f (target <= 0.005)\n",
              cpu / (static_cast<double>(n) / 1000.0));
  std::printf("  of which the database thread: %.5f\n", threadCpu / (static_cast<double>(n) / 1000.0));
  std::printf("  interface thread per result: mean %.2f us, worst %.1f us; worst 10 ms tick "
              "(%d results): %.1f us (limit 1000 us)\n",
              callTotalUs / static_cast<double>(n), worstCallUs, PerTick, worstTickUs);
}

// Forwards the engine's results to the recorder and times each hand-over on the interface thread.
struct TTimedForward : TEngineObserver {
  TEngineEventHub inner;
  double tickUs = 0, worstTickUs = 0;
  void echoResult(const TTolvoHost& host, const TEchoResult& result) override {
    const auto before = SteadyClock::now();
    inner.echoResult(host, result);
    tickUs += std::chrono::duration<double, std::micro>(SteadyClock::now() - before).count();
  }
  void hostAdded(const TTolvoHost& host) override { inner.hostAdded(host); }
  void endTick() {
    worstTickUs = std::max(worstTickUs, tickUs);
    tickUs = 0;
  }
};

struct TLiveRun {
  double cpu = 0;
  double databaseThread = 0;
  std::int32_t echoes = 0;
  double worstTickUs = 0;
};

TLiveRun liveRun(const std::string& dbPath, int seconds, bool record = true) {
  TTolvoHosts list;
  TTimedForward forward;
  list.events().subscribe(&forward);
  std::unique_ptr<THistoryRecorder> recorder;
  if (record) {
    recorder = std::make_unique<THistoryRecorder>(forward.inner);
    recorder->start(dbPath);
  }
  for (int x = 1; x <= TTolvoHosts::MaxHosts; ++x) {
    auto host = list.newHost();
    host->hostName = host->ipAddress = host->callingName = "127.0.0." + std::to_string(x);
    host->timeout = 2000;
    host->interval = 0;
    list.appendHost(host);
  }
  auto ticks = [&](double runSeconds) {
    constexpr auto TickPeriod = std::chrono::milliseconds(20);
    const auto end = SteadyClock::now() + std::chrono::duration<double>(runSeconds);
    auto next = SteadyClock::now();
    while (SteadyClock::now() < end) {
      for (int i = 0; i < 4; ++i) list.schedulerPass();
      forward.endTick();
      next += TickPeriod;
      std::this_thread::sleep_until(next);
    }
  };
  ticks(2.0);  // every worker started
  forward.worstTickUs = 0;
  const std::int64_t before = list.totalPings();
  const double cpuBefore = cpuSeconds();
  const double threadBefore = recorder ? recorder->stats().threadCpuSeconds : 0;
  ticks(seconds);
  if (recorder) recorder->waitWritten(std::chrono::seconds(10));
  TLiveRun run{cpuSeconds() - cpuBefore,
               recorder ? recorder->stats().threadCpuSeconds - threadBefore : 0,
               static_cast<std::int32_t>(list.totalPings() - before), forward.worstTickUs};
  if (recorder) recorder->stop();
  list.events().unsubscribe(&forward);
  return run;
}

void live(const std::string& dbPath, int seconds) {
  const TLiveRun recorded = liveRun(dbPath, seconds, true);
  const double per1000 = 1000.0 / std::max(1, recorded.echoes);
  std::printf("live: 255 loopback hosts at the fastest speed for %d s: %d results (%.0f a second)\n",
              seconds, recorded.echoes, recorded.echoes / static_cast<double>(seconds));
  std::printf("  the database thread: %.5f CPU seconds per 1,000 results (%.2f ms of CPU a second)\n",
              recorded.databaseThread * per1000, recorded.databaseThread * 1000.0 / seconds);
  std::printf("  longest time a tick spent handing results to the recorder: %.1f us (limit 1000 us)\n",
              recorded.worstTickUs);
}

struct TTableSize {
  double bytes = 0;
  double rows = 0;
};

// Bytes of a table and its indexes as SQLite lays them out (dbstat), and its rows.
TTableSize tableSize(const std::string& dbPath, const QString& table, const QString& where = {}) {
  TTableSize size;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "size");
    db.setDatabaseName(QString::fromStdString(dbPath));
    if (db.open()) {
      QSqlQuery q(db);
      if (q.exec("SELECT sum(pgsize) FROM dbstat WHERE name = '" + table +
                 "' OR name IN (SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = '" +
                 table + "')") &&
          q.next())
        size.bytes = q.value(0).toDouble();
      if (q.exec("SELECT count(*) FROM " + table + (where.isEmpty() ? "" : " WHERE " + where)) &&
          q.next())
        size.rows = q.value(0).toDouble();
    }
  }
  QSqlDatabase::removeDatabase("size");
  return size;
}

void days(const std::string& dbPath, int dayCount) {
  TEngineEventHub hub;
  const std::int64_t startMs = 1'767'225'600'000;
  std::atomic<std::int64_t> simulatedMs{startMs};
  THistoryRecorderOptions options;
  options.nowMs = [&] { return simulatedMs.load(); };
  options.flushInterval = std::chrono::milliseconds(5);
  THistoryRecorder recorder(hub, options);
  auto hosts = makeHosts(hub);
  recorder.start(dbPath);
  const double cpuBefore = cpuSeconds();
  const double threadBefore = recorder.stats().threadCpuSeconds;
  std::uint64_t n = 0;
  // One echo per host every 5 s; the clock a little ahead, as results come in after their send.
  const std::int64_t rounds = dayCount * DayMs / 5000 + 3 * 60 / 5 * 60;  // and 3 h more
  for (std::int64_t round = 0; round < rounds; ++round) {
    const std::int64_t sentMs = startMs + round * 5000;
    for (const auto& host : hosts) {
      const std::int64_t rtt = syntheticRtt(n++);
      hub.echoResult(*host, {sentMs + static_cast<std::int64_t>(n % 5000), rtt >= 0, rtt});
    }
    simulatedMs = sentMs + 5000;
    if (round % 12 == 11) recorder.waitWritten(std::chrono::seconds(30));
  }
  recorder.waitWritten(std::chrono::seconds(30));
  const double threadCpu = recorder.stats().threadCpuSeconds - threadBefore;
  recorder.stop();
  const double cpu = cpuSeconds() - cpuBefore;
  std::printf("simulated: %d day(s) and 3 h of %d hosts at one echo per 5 s: %llu results, "
              "dropped %llu\n", dayCount, HostCount, static_cast<unsigned long long>(n),
              static_cast<unsigned long long>(recorder.stats().dropped));
  std::printf("  CPU seconds per 1,000 results recorded (packing, summaries, pruning included): "
              "%.5f, of which the database thread %.5f\n", cpu / (static_cast<double>(n) / 1000.0),
              threadCpu / (static_cast<double>(n) / 1000.0));

  const TTableSize raw = tableSize(dbPath, "raw");
  const TTableSize recent = tableSize(dbPath, "recent");
  const double rawResults = static_cast<double>(n) - 0;  // all kept: raw_days covers the run
  const double perResult = (raw.bytes + recent.bytes) / rawResults;
  const TTableSize summaries = tableSize(dbPath, "summaries");
  const THistoryLengths lengths;
  double projected = 0;
  const double resultsPerDay = HostCount * (DayMs / 5000.0);
  projected += perResult * resultsPerDay * lengths.rawDays;
  std::printf("  raw: %.1f bytes per result (%.0f rows of one host-minute, %.0f bytes)\n", perResult,
              raw.rows, raw.bytes);
  const double perSummary = summaries.rows > 0 ? summaries.bytes / summaries.rows : 0;
  for (const auto& [step, keep] : {std::pair{300, lengths.fiveMinuteDays},
                                   std::pair{3600, lengths.hourlyDays},
                                   std::pair{86400, lengths.dailyDays}}) {
    const double rows = tableSize(dbPath, "summaries", QString("step_s = %1").arg(step)).rows;
    const double rowsPerDay = HostCount * 86400.0 / step;
    std::printf("  summaries every %5d s: %.0f rows; %.1f bytes per summary, %.3f bytes per "
                "result covered\n",
                step, rows, perSummary, perSummary / (step / 5.0));
    projected += perSummary * rowsPerDay * keep;
  }
  std::printf("  file: %.1f MB after the run\n",
              static_cast<double>(QFileInfo(QString::fromStdString(dbPath)).size()) / 1e6);
  std::printf("  projected steady state, default lengths (raw %d d, 5 min %d d, hourly %d d, daily "
              "%d d): %.2f GB (target < 2 GB)\n",
              lengths.rawDays, lengths.fiveMinuteDays, lengths.hourlyDays, lengths.dailyDays,
              projected / 1e9);
}

// A traced host's round at `roundMs`: ten hops with names; hop 4 limits its answers (every other
// probe), the round trips grow with the hop and wander a little.
THistoryPathRound benchRound(int host, std::int64_t roundMs, std::uint64_t& n) {
  THistoryPathRound round{"198.51.100." + std::to_string(host + 1), roundMs, "schedule", true, {}};
  for (int hop = 1; hop <= 10; ++hop) {
    const bool lost = (hop == 4 && n % 2 == 0) || n % 211 == 7;
    const std::string address =
        hop == 10 ? round.address : "10." + std::to_string(hop) + ".0." + std::to_string(host % 4);
    const std::string name = hop == 10 ? "" : "ae" + std::to_string(hop) + ".edge.isp.example";
    const std::int64_t rtt = hop * 900 + static_cast<std::int64_t>((n * 2654435761u) % 700);
    round.hops.push_back({hop, lost ? "" : address, lost ? "" : name,
                          lost ? std::nullopt : std::optional<std::int64_t>(rtt)});
    ++n;
  }
  return round;
}

// Traced hosts at one round a minute, stored as the path tracer stores them and consolidated as the
// database thread does every minute: bytes per host and day of the rounds and of their summaries.
void pathDays(const std::string& dbPath, int dayCount) {
  constexpr int Traced = 16;
  const std::int64_t startMs = 1'767'225'600'000;
  THistoryStore store("bench-store");
  if (store.open(dbPath) != THistoryStore::TOpen::Ready) {
    std::fprintf(stderr, "path days: cannot open %s\n", dbPath.c_str());
    return;
  }
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bench-tracer");
    db.setDatabaseName(QString::fromStdString(dbPath));
    db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=5000");
    if (!db.open()) return;
    QSqlQuery(db).exec("PRAGMA synchronous=NORMAL");  // the size is the same; the bench is faster
    QSqlError error;
    std::uint64_t n = 0, failed = 0;
    double consolidateCpu = 0;
    const std::int64_t minutes = dayCount * DayMs / 60'000;
    for (std::int64_t minute = 0; minute < minutes; ++minute) {
      const std::int64_t minuteMs = startMs + minute * 60'000;
      for (int host = 0; host < Traced; ++host)
        failed += !storePathRound(db, benchRound(host, minuteMs + host * 3'000, n), error);
      const double before = cpuSeconds();
      failed += !store.packAndConsolidate(minuteMs + 60'000);
      consolidateCpu += cpuSeconds() - before;
    }
    std::printf("paths: %d hosts traced for %d day(s), one round of 10 hops a minute: %lld rounds, "
                "%llu failed writes\n", Traced, dayCount, static_cast<long long>(minutes * Traced),
                static_cast<unsigned long long>(failed));
    std::printf("  consolidation: %.3f ms of CPU per minute's pass\n",
                consolidateCpu * 1000.0 / static_cast<double>(minutes));
  }
  QSqlDatabase::removeDatabase("bench-tracer");
  store.close();
  const double hostDays = static_cast<double>(Traced) * dayCount;
  double rounds = 0;
  for (const char* table : {"path_rounds", "path_hops", "path_changes"})
    rounds += tableSize(dbPath, table).bytes;
  const THistoryLengths lengths;
  double steady = rounds / hostDays * lengths.rawDays;
  std::printf("  rounds (path_rounds, path_hops, path_changes): %.0f bytes per host per day\n",
              rounds / hostDays);
  const TTableSize summaries = tableSize(dbPath, "path_summaries");
  const double perRow = summaries.rows > 0 ? summaries.bytes / summaries.rows : 0;
  for (const auto& [step, keep] : {std::pair{300, lengths.fiveMinuteDays},
                                   std::pair{3600, lengths.hourlyDays}}) {
    const TTableSize size = tableSize(dbPath, "path_summaries", QString("step_s = %1").arg(step));
    const double perDay = perRow * size.rows / hostDays;
    std::printf("  summaries every %4d s: %.0f rows, %.0f bytes per host per day\n", step,
                size.rows, perDay);
    steady += perDay * keep;
  }
  std::printf("  steady state per traced host, default lengths (rounds %d d, 5 min %d d, hourly "
              "%d d): %.1f MB\n", lengths.rawDays, lengths.fiveMinuteDays, lengths.hourlyDays,
              steady / 1e6);

  // The same file taken back to version 4 and upgraded: the one-off cost of summarising the
  // rounds a file already holds.
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bench-downgrade");
    db.setDatabaseName(QString::fromStdString(dbPath));
    QSqlQuery q(db);
    if (db.open())
      for (const char* sql : {"DROP TABLE path_summaries", "DROP TABLE path_summaries_due",
                              "DELETE FROM meta WHERE key LIKE 'path_%'", "PRAGMA user_version = 4"})
        q.exec(sql);
  }
  QSqlDatabase::removeDatabase("bench-downgrade");
  const auto before = SteadyClock::now();
  const bool upgraded = store.open(dbPath) == THistoryStore::TOpen::Ready;
  const double seconds = std::chrono::duration<double>(SteadyClock::now() - before).count();
  std::printf("  upgrade from version 4 %s: %.2f s, %.1f ms per host-day of rounds\n",
              upgraded ? "done" : "FAILED", seconds, seconds * 1000.0 / hostDays);
}

int argValue(int argc, char** argv, const char* name, int fallback) {
  const std::size_t length = std::strlen(name);
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], name, length) == 0 && argv[i][length] == '=')
      return std::atoi(argv[i] + length + 1);
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  const int seconds = argValue(argc, argv, "--synthetic-seconds", 40);
  const int dayCount = argValue(argc, argv, "--days", 1);
  const int liveSeconds = argValue(argc, argv, "--live-seconds", 20);
  if (liveSeconds > 0) live(QDir(dir.path()).filePath("live.sqlite").toStdString(), liveSeconds);
  if (seconds > 0) synthetic(QDir(dir.path()).filePath("synthetic.sqlite").toStdString(), seconds);
  if (dayCount > 0) days(QDir(dir.path()).filePath("days.sqlite").toStdString(), dayCount);
  const int pathDayCount = argValue(argc, argv, "--path-days", 1);
  if (pathDayCount > 0)
    pathDays(QDir(dir.path()).filePath("paths.sqlite").toStdString(), pathDayCount);
  return 0;
}
