// The Path window's opening time for 7 days of one host's rounds (one a minute, 10,080 rounds of
// 20 hops), from the window's creation until its table and chart are filled, and what a shown
// window's look for new rounds costs; the same at a year of hourly summaries of those hops; and
// the picture of the window for the README.
//
//   build/bench/pathwindow_bench               fills a temporary database, then measures
//   build/bench/pathwindow_bench --shot FILE   fills 26 hours of rounds of a seven-hop path (a
//                                              router that limits its answers, a route change, a
//                                              short outage behind hop 4) and saves the window at
//                                              24 hours as FILE (scripts/path-screenshot.sh;
//                                              SORVELO_DARK=1 paints it with a dark palette)
//   build/bench/pathwindow_bench --shot-month FILE
//                                              the same path over 31 days, a round every five
//                                              minutes, the route change nine days and the outage
//                                              four days ago; summarised, rounds older than ten
//                                              days removed as the tracer does, and the window
//                                              saved at 30 days (prints its open time)
//
// No probe is sent: the rounds are made up, with addresses from the documentation ranges.

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPalette>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStyle>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>

#include "history/echopacking.h"
#include "history/historyschema.h"
#include "history/pathrecords.h"
#include "history/pathsummaries.h"
#include "ui/views/pathchart.h"
#include "ui/views/pathwindow.h"

namespace {

constexpr std::int64_t MinuteMs = 60'000;
constexpr std::int64_t HourMs = 60 * MinuteMs;
const std::string Host = "203.0.113.80";

// Stores one round every stepMs for [fromMs, toMs), each made by `make`.
bool fill(const std::string& path, std::int64_t fromMs, std::int64_t toMs,
          const std::function<THistoryPathRound(std::int64_t)>& make,
          std::int64_t stepMs = MinuteMs) {
  bool ok = true;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
    db.setDatabaseName(QString::fromStdString(path));
    int version = 0;
    QSqlError error;
    ok = db.open() && prepareSchema(db, version, error) == TSchemaResult::Ready;
    QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous = OFF"));
    for (std::int64_t t = fromMs; ok && t < toMs; t += stepMs) {
      ok = storePathRound(db, make(t), error).has_value();
      if (!ok) std::fprintf(stderr, "pathwindow_bench: %s\n", qPrintable(error.text()));
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("fill"));
  return ok;
}

// This thread's processor time in milliseconds: on a busy machine the wall clock also counts the
// time other programs had the processor.
double cpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

std::uint64_t noise(std::int64_t t, int hop) {
  return static_cast<std::uint64_t>(t / MinuteMs) * 2654435761u +
         static_cast<std::uint64_t>(hop) * 40503u;
}

// Twenty hops, each a little further; every seventh probe of hop 6 unanswered (a router that
// limits its answers), now and then a lost probe anywhere.
THistoryPathRound longPath(std::int64_t t) {
  THistoryPathRound round{Host, t, "schedule", true, {}};
  for (int hop = 1; hop <= 20; ++hop) {
    const std::uint64_t n = noise(t, hop);
    const bool lost = (hop == 6 && n % 7 == 0) || n % 397 == 0;
    const std::string address = hop == 20 ? Host : "198.51.100." + std::to_string(hop * 10 + 1);
    round.hops.push_back(
        {hop, lost ? "" : address, hop == 20 ? "far.example" : "",
         lost ? std::nullopt
              : std::optional<std::int64_t>(hop * 900 + static_cast<std::int64_t>(n % 700))});
  }
  return round;
}

// What the README shows: a home router, the provider, a router that limits its answers, a route
// change at hop 4 nine hours ago, and twenty minutes four hours ago in which nothing behind hop 4
// answered. `scale` stretches those times (24: nine days, four days and eight hours).
THistoryPathRound shownPath(std::int64_t t, std::int64_t nowMs, std::int64_t scale = 1) {
  const double hour = static_cast<double>(t % (24 * HourMs)) / HourMs;
  const double evening = 1.0 + 0.6 * std::max(0.0, std::sin((hour - 12) / 12 * 3.14159));
  const bool rerouted = t >= nowMs - 9 * HourMs * scale;
  const bool broken =
      t >= nowMs - 4 * HourMs * scale && t < nowMs - 4 * HourMs * scale + 20 * MinuteMs * scale;
  struct THopPlan {
    const char* address;
    const char* name;
    double ms;
  };
  const THopPlan plan[] = {
      {"192.168.1.1", "router.home.example", 0.6},
      {"100.64.0.1", "", 4.0},
      {"198.51.100.1", "isp-core.example", 7.5},
      {rerouted ? "198.51.100.77" : "198.51.100.9",
       rerouted ? "isp-edge-2.example" : "isp-edge.example", rerouted ? 13.0 : 9.5},
      {"203.0.113.1", "transit.example", 15.0},
      {"203.0.113.33", "", 17.0},
      {Host.c_str(), "far.example", 18.5},
  };
  THistoryPathRound round{Host, t, "schedule", !broken, {}};
  for (int i = 0; i < 7; ++i) {
    const int hop = i + 1;
    const std::uint64_t n = noise(t, hop);
    const bool lost = (broken && hop > 4) || (hop == 3 && n % 3 == 0) || (hop == 7 && n % 331 == 0);
    const double ms = plan[i].ms * (hop > 1 ? evening : 1.0) + static_cast<double>(n % 100) / 60.0;
    round.hops.push_back(
        {hop, lost ? "" : plan[i].address, lost ? "" : plan[i].name,
         lost ? std::nullopt : std::optional<std::int64_t>(static_cast<std::int64_t>(ms * 1000))});
  }
  return round;
}

void useDarkPalette() {
  QApplication::setStyle(QStringLiteral("Fusion"));
  QPalette dark;
  const QColor window(45, 45, 48), base(30, 30, 32), text(225, 225, 225);
  for (auto [role, colour] : {std::pair{QPalette::Window, window},
                              {QPalette::WindowText, text},
                              {QPalette::Base, base},
                              {QPalette::AlternateBase, window},
                              {QPalette::ToolTipBase, base},
                              {QPalette::ToolTipText, text},
                              {QPalette::Text, text},
                              {QPalette::Button, window},
                              {QPalette::ButtonText, text},
                              {QPalette::Highlight, QColor(50, 110, 200)},
                              {QPalette::PlaceholderText, QColor(150, 150, 150)}})
    dark.setColor(role, colour);
  dark.setColor(QPalette::HighlightedText, Qt::white);
  QApplication::setPalette(dark);
}

// Summarises every stored round as the database thread does, then removes the rounds older than
// `keptFromMs` as the tracer does.
bool summariseAndPrune(const std::string& path, std::int64_t keptFromMs) {
  bool ok = false;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("sum"));
    db.setDatabaseName(QString::fromStdString(path));
    QSqlError error;
    ok =
        db.open() && summariseStoredPathRounds(db, error) && prunePathRounds(db, keptFromMs, error);
    if (!ok) std::fprintf(stderr, "pathwindow_bench: %s\n", qPrintable(error.text()));
    db.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("sum"));
  return ok;
}

int shoot(const QString& file, bool month) {
  if (qEnvironmentVariableIntValue("SORVELO_DARK") == 1) useDarkPalette();
  QTemporaryDir dir;
  const std::string path = dir.filePath("history.sqlite").toStdString();
  const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
  if (month) {
    const auto make = [now](std::int64_t t) { return shownPath(t, now, 24); };
    if (!fill(path, now - 31 * 24 * HourMs, now, make, 5 * MinuteMs) ||
        !summariseAndPrune(path, now - 10 * 24 * HourMs))
      return 1;
  } else if (!fill(path, now - 26 * HourMs, now,
                   [now](std::int64_t t) { return shownPath(t, now); })) {
    return 1;
  }
  TPathWindow window([&] { return path; });
  window.cbRange->setCurrentIndex(window.cbRange->findText(
      month ? QStringLiteral("Last 30 days") : QStringLiteral("Last 24 hours")));
  window.showHost(Host, "far");
  if (month)
    std::printf("opened at 30 days in %lld ms\n", static_cast<long long>(window.lastLoadMs));
  window.show();
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  if (!window.grab().save(file)) {
    std::fprintf(stderr, "pathwindow_bench: could not save %s\n", qPrintable(file));
    return 1;
  }
  return 0;
}

// The 7 days of rounds summarised, and before them 358 days of hourly summaries of the same twenty
// hops written straight into the table; then the window opened at "Last year".
int measureYear(const std::string& path, std::int64_t now) {
  const std::int64_t summarisedFrom = floorTo(now - 7 * 24 * HourMs, HourMs);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("year"));
    db.setDatabaseName(QString::fromStdString(path));
    QSqlError error;
    bool ok = db.open() && summariseStoredPathRounds(db, error) && db.transaction();
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "INSERT INTO path_summaries (address, step_s, start_ms, hop, hop_address, hop_name, sent, "
        "answered, min_us, mean_us, max_us, squares_us2) VALUES (?, 3600, ?, ?, ?, '', 60, 59, ?, "
        "?, ?, ?)"));
    for (std::int64_t t = summarisedFrom - 358 * 24 * HourMs; ok && t < summarisedFrom;
         t += HourMs) {
      for (int hop = 1; ok && hop <= 20; ++hop) {
        const auto rtt = static_cast<qlonglong>(hop * 900 + static_cast<int>(noise(t, hop) % 700));
        const QVariantList values{QString::fromStdString(Host),
                                  static_cast<qlonglong>(t),
                                  hop,
                                  QStringLiteral("198.51.100.%1").arg(hop * 10 + 1),
                                  rtt - 300,
                                  rtt,
                                  rtt + 300,
                                  58.0 * 150 * 150};
        for (int i = 0; i < values.size(); ++i) q.bindValue(i, values[i]);
        ok = q.exec();
      }
    }
    ok = ok && db.commit();
    if (!ok) std::fprintf(stderr, "pathwindow_bench: %s\n", qPrintable(q.lastError().text()));
    db.close();
    if (!ok) return 1;
  }
  QSqlDatabase::removeDatabase(QStringLiteral("year"));
  double best = 1e9, followCpu = 0;
  for (int i = 0; i < 3; ++i) {
    QElapsedTimer timer;
    timer.start();
    TPathWindow window([&] { return path; });
    window.cbRange->setCurrentIndex(window.cbRange->findText(QStringLiteral("Last year")));
    window.showHost(Host, "far");
    window.show();
    window.chart->repaint();
    window.tbHops->viewport()->repaint();
    best = std::min(best, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    if (window.tbHops->rowCount() != 20) {
      std::fprintf(stderr, "pathwindow_bench: %d rows at a year\n", window.tbHops->rowCount());
      return 1;
    }
    const double followStart = cpuMs();
    window.follow();
    followCpu = cpuMs() - followStart;
  }
  std::printf(
      "Path window, a year of one host's hourly summaries (20 hops): best of 3 opens %.0f ms; "
      "a look for new rounds: processor %.1f ms\n",
      best, followCpu);
  return 0;
}

int measure() {
  QTemporaryDir dir;
  const std::string path = dir.filePath("history.sqlite").toStdString();
  const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
  QElapsedTimer fillTime;
  fillTime.start();
  if (!fill(path, now - 7 * 24 * HourMs, now, longPath)) return 1;
  std::printf("filled 7 days of rounds (10,080 x 20 hops) in %.1f s\n",
              static_cast<double>(fillTime.elapsed()) / 1000);
  constexpr int Opens = 5;
  double best = 1e9, total = 0, cpuTotal = 0;
  for (int i = 0; i < Opens; ++i) {
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuMs();
    TPathWindow window([&] { return path; });
    window.cbRange->setCurrentIndex(2);
    window.showHost(Host, "far");
    window.show();
    window.chart->repaint();
    window.tbHops->viewport()->repaint();
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const double cpu = cpuMs() - cpuStart;
    if (window.tbHops->rowCount() != 20 || window.chart->hops().size() != 20) {
      std::fprintf(stderr, "pathwindow_bench: %d rows, %zu hops charted; 20 expected\n",
                   window.tbHops->rowCount(), window.chart->hops().size());
      return 1;
    }
    // What a shown window costs every FollowIntervalMs when no round came.
    const double followStart = cpuMs();
    window.follow();
    const double followCpu = cpuMs() - followStart;
    std::printf(
        "open %d: %.0f ms, processor %.0f ms (reading and bucketing %lld ms); "
        "a look for new rounds: processor %.1f ms\n",
        i + 1, ms, cpu, static_cast<long long>(window.lastLoadMs), followCpu);
    best = std::min(best, ms);
    total += ms;
    cpuTotal += cpu;
  }
  std::printf(
      "Path window, 7 days of one host: %.0f ms mean of %d opens, best %.0f ms; "
      "processor time %.0f ms an open\n",
      total / Opens, Opens, best, cpuTotal / Opens);
  return measureYear(path, now);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "--shot") == 0)
    return shoot(QString::fromLocal8Bit(argv[2]), false);
  if (argc == 3 && std::strcmp(argv[1], "--shot-month") == 0)
    return shoot(QString::fromLocal8Bit(argv[2]), true);
  if (argc != 1) {
    std::fprintf(stderr, "usage: pathwindow_bench [--shot FILE | --shot-month FILE]\n");
    return 2;
  }
  return measure();
}
