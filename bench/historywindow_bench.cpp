// The history window's opening time for 30 days of one host at one echo a second (2.6 million
// results; with the default lengths the last 10 days raw, the rest as summaries). Target: under
// 300 ms from the window's creation until the 30-day range is painted.
//
//   build/bench/historywindow_bench                 fills a temporary database, then measures
//   build/bench/historywindow_bench --fill DB DAYS STEP_S NAME=ADDRESS...
//                                                   fills DB with DAYS of synthetic echoes every
//                                                   STEP_S seconds for each host, ending now
//                                                   (used by scripts/history-screenshots.sh)

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "history/historyfill.h"
#include "ui/views/historychart.h"
#include "ui/views/historywindow.h"

namespace {

// A round trip with a daily rhythm, some noise and a short outage every few hours per host.
std::int64_t syntheticRtt(std::int64_t t, std::size_t host) {
  const double hour = static_cast<double>(t % 86'400'000) / 3'600'000.0;
  const double base =
      300.0 * static_cast<double>(host + 1) * (1.0 + 0.5 * std::sin(hour / 24 * 6.283));
  const std::uint64_t noise = static_cast<std::uint64_t>(t / 1000) * 2654435761u + host * 97u;
  if ((t / 1000 + static_cast<std::int64_t>(host) * 3131) % 14'400 < 40) return -1;  // outage
  if (noise % 211 == 0) return -1;                                                   // a lost echo
  return static_cast<std::int64_t>(base + static_cast<double>(noise % 1000) * base / 2500.0);
}

// Fills `path` with `days` of echoes every `stepMs` for each host, ending now, with the recorder's
// clock following the data as in a real run.
bool fill(const std::string& path, double days, std::int64_t stepMs,
          const std::vector<THistoryFillHost>& wanted) {
  THistoryFill echoes;
  echoes.toMs = QDateTime::currentMSecsSinceEpoch();
  echoes.fromMs = echoes.toMs - static_cast<std::int64_t>(days * 86'400'000);
  echoes.stepMs = stepMs;
  echoes.rttOf = [](std::size_t host, std::int64_t t) { return syntheticRtt(t, host); };
  THistoryLengths lengths;
  lengths.rawDays = 3650;  // keep what is filled; the program prunes by its own settings
  return fillHistory(path, wanted, echoes, lengths);
}

int measure() {
  QTemporaryDir dir;
  const std::string path = dir.filePath("history.sqlite").toStdString();
  QElapsedTimer fillTime;
  fillTime.start();
  if (!fill(path, 30, 1000, {{"gateway", "127.0.0.1", "127.0.0.1"}})) {
    std::fprintf(stderr, "historywindow_bench: filling the database failed\n");
    return 1;
  }
  std::printf("filled 30 days at 1 echo/s (2,592,000 results) in %.1f s\n",
              static_cast<double>(fillTime.elapsed()) / 1000.0);
  for (int run = 0; run < 5; ++run) {
    QElapsedTimer open;
    open.start();
    auto* window = new THistoryWindow(path, {{1, "gateway", "127.0.0.1", "127.0.0.1"}});
    window->show();
    window->showRange(THistoryWindow::Month);
    window->chart->repaint();
    const std::int64_t total = open.elapsed();
    std::printf(
        "open + 30 days shown and painted: %lld ms (reading: %lld ms, summaries: %zu, echoes: "
        "%zu)\n",
        static_cast<long long>(total), static_cast<long long>(window->lastLoadMs),
        window->chart->series()[0].summaries.size(), window->chart->series()[0].echoes.size());
    QElapsedTimer day;
    day.start();
    window->showRange(THistoryWindow::Day);
    window->chart->repaint();
    std::printf("  24 hours: %lld ms (%zu summaries, %zu echoes after them, %zu outages)\n",
                static_cast<long long>(day.elapsed()), window->chart->series()[0].summaries.size(),
                window->chart->series()[0].echoes.size(),
                window->chart->series()[0].outages.size());
    delete window;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  if (argc >= 5 && std::string(argv[1]) == "--fill") {
    std::vector<THistoryFillHost> wanted;
    for (int i = 5; i < argc; ++i) {
      const std::string arg = argv[i];
      const std::size_t eq = arg.find('=');
      if (eq == std::string::npos) return 2;
      wanted.push_back({arg.substr(0, eq), arg.substr(eq + 1), arg.substr(eq + 1)});
    }
    return fill(argv[2], std::atof(argv[3]), std::atoll(argv[4]) * 1000, wanted) ? 0 : 1;
  }
  return measure();
}
