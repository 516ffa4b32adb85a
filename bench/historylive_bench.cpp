// The history window's cost per live echo while it follows the present: one host with a day of
// results at one echo a second, the 1 h and the 24 h range, 2,000 echoes published on a real host
// list's event stream. Reports the time to take an echo in (chart updated, outages found again
// after a loss, the runs read again every 5 s of the clock) and the time to paint the chart once.
//
//   build/bench/historylive_bench

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "core/tolvohosts.h"
#include "history/historyfill.h"
#include "ui/views/historychart.h"
#include "ui/views/historywindow.h"

namespace {

std::int64_t rttAt(std::int64_t t) { return (t / 1000) % 97 == 0 ? -1 : 300 + (t / 1000) % 50 * 7; }

int measure() {
  QTemporaryDir dir;
  const std::string path = dir.filePath("history.sqlite").toStdString();
  const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
  if (!fillHistory(path, {{"gateway", "127.0.0.1", "127.0.0.1"}},
                   {.fromMs = now - 86'400'000,
                    .toMs = now,
                    .stepMs = 1000,
                    .rttOf = [](std::size_t, std::int64_t t) { return rttAt(t); },
                    .nowMs = std::nullopt})) {
    std::fprintf(stderr, "historylive_bench: filling the database failed\n");
    return 1;
  }
  TTolvoHosts hosts;
  std::unique_ptr<TTolvoHost> owned = hosts.newHost();
  TTolvoHost* host = owned.get();
  hosts.appendHost(owned);
  std::int64_t clockMs = now;
  for (const auto range : {THistoryWindow::Hour, THistoryWindow::Day}) {
    THistoryWindow window(path, {{host->runId, "gateway", "127.0.0.1", "127.0.0.1", 1000}},
                          [&clockMs] { return clockMs; });
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.resize(1200, 600);
    window.followEvents(hosts.events());
    window.show();
    window.showRange(range);
    constexpr int Echoes = 2000;
    QElapsedTimer taking;
    taking.start();
    for (int i = 0; i < Echoes; ++i) {
      clockMs += 1000;
      const std::int64_t rtt = rttAt(clockMs);
      hosts.events().echoResult(*host, {clockMs, rtt >= 0, rtt});
    }
    const double perEcho = static_cast<double>(taking.nsecsElapsed()) / Echoes / 1000.0;
    QElapsedTimer painting;
    painting.start();
    constexpr int Paints = 20;
    QImage image(window.chart->size(), QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < Paints; ++i) window.chart->render(&image);
    const double perPaint = static_cast<double>(painting.nsecsElapsed()) / Paints / 1e6;
    std::printf(
        "%s range, following: %.1f us to take an echo in, %.2f ms to paint (%zu echoes "
        "held, %zu summaries)\n",
        range == THistoryWindow::Hour ? "1 h" : "24 h", perEcho, perPaint,
        window.chart->series()[0].echoes.size(), window.chart->series()[0].summaries.size());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  return measure();
}
