// CPU time of one status-view refresh with a full host list (255 hosts), the work the view does
// five times a second while it is open. Target: under 2 ms.
//
//   build/ui_bench                      (offscreen unless a display is asked for)
//
// Two cases: a refresh in which no text changed (four of every five refreshes), and one in which a
// second has passed, so every host's three durations change.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTimer>

#include <cstdlib>
#include <memory>

#include "core/tolvohosts.h"
#include "ui/standard/hostrowtexts.h"
#include "ui/standard/tfrmstandardview.h"
#include "ui/views/livestats.h"
#include "ui/views/overviewmodel.h"
#include "ui/views/overviewwindow.h"

#include <QTableView>

namespace {

struct TFullList {
  TManualClock clock{encodeDateTime(2026, 6, 1, 8, 0, 0)};
  TTolvoHosts hosts{clock};
  TfrmStandardView view{clock};

  TFullList() {
    for (int i = 1; i <= TTolvoHosts::MaxHosts; ++i) {
      std::unique_ptr<TTolvoHost> host = hosts.newHost();
      host->callingName = "host-" + std::to_string(i);
      host->hostName = "host-" + std::to_string(i) + ".example.lan";
      host->ipAddress = "127.0.0." + std::to_string(i);
      host->succeededCount = 1000 + i;
      host->failedCount = i % 7;
      host->lastSuccess = {true, true, clock.now(), i % 40};
      host->lastFailure = {true, false, clock.now() - 0.01, -1};
      // A full history, as after a long run: the average walks all of it.
      for (int r = 0; r < TTolvoHost::HistorySize; ++r)
        host->addResult({true, r % 9 != 0, clock.now(), r % 50});
      hosts.appendHost(host);
    }
    view.hostList = &hosts;
    view.tmrUpdate->stop();  // the benchmark refreshes by itself
    view.show();
    view.refreshGrid();
    QApplication::processEvents();
  }
};

void BM_StatusViewRefreshUnchanged(benchmark::State& state) {
  TFullList list;
  for (auto _ : state) list.view.refreshGrid();
  state.counters["rows"] = list.hosts.hostCount();
}
BENCHMARK(BM_StatusViewRefreshUnchanged)->Unit(benchmark::kMicrosecond);

void BM_StatusViewRefreshSecondPassed(benchmark::State& state) {
  TFullList list;
  for (auto _ : state) {
    list.clock.advanceSeconds(1);
    list.view.refreshGrid();
  }
  state.counters["rows"] = list.hosts.hostCount();
}
BENCHMARK(BM_StatusViewRefreshSecondPassed)->Unit(benchmark::kMicrosecond);

// The texts alone, without the grid: what the host records cost.
void BM_RowTextsOnly(benchmark::State& state) {
  TFullList list;
  for (auto _ : state) {
    list.clock.advanceSeconds(1);
    for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot)
      benchmark::DoNotOptimize(hostRowTexts(*list.hosts.hostAt(slot), false, list.clock.now()));
  }
}
BENCHMARK(BM_RowTextsOnly)->Unit(benchmark::kMicrosecond);

// The refresh together with the painting it causes, as the user's screen sees it: a second has
// passed, so every visible row's durations are painted anew.
void BM_StatusViewRefreshAndPaintSecondPassed(benchmark::State& state) {
  TFullList list;
  for (auto _ : state) {
    list.clock.advanceSeconds(1);
    list.view.refreshGrid();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_StatusViewRefreshAndPaintSecondPassed)->Unit(benchmark::kMicrosecond);

// The same within one second: only the rows of hosts with a new result change (here every
// twentieth host).
void BM_StatusViewRefreshAndPaintFewChanged(benchmark::State& state) {
  TFullList list;
  int round = 0;
  for (auto _ : state) {
    ++round;
    for (int slot = 1 + round % 20; slot <= TTolvoHosts::MaxHosts; slot += 20)
      ++list.hosts.hostAt(slot)->succeededCount;
    list.view.refreshGrid();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_StatusViewRefreshAndPaintFewChanged)->Unit(benchmark::kMicrosecond);

// The overview with 255 hosts, each with 15 minutes of echoes at one per second (the window's
// fullest state), sorted by a column: one refresh takes a new echo of every host, the texts of all
// rows, the re-sort. Target: under 3 ms.
struct TOverviewFull {
  static constexpr std::int64_t T0 = 1'780'000'000'000;
  TTolvoHosts hosts;
  TLiveStats stats{hosts};
  TOverviewWindow window{stats, hosts};
  std::int64_t now = T0;

  TOverviewFull() {
    for (int i = 1; i <= TTolvoHosts::MaxHosts; ++i) {
      std::unique_ptr<TTolvoHost> host = hosts.newHost();
      host->callingName = "host-" + std::to_string(i);
      host->ipAddress = "127.0.0." + std::to_string(i);
      hosts.appendHost(host);
    }
    for (int s = 0; s < 900; ++s) echoAll();
    window.setClock([this] { return now; });
    window.tmrRefresh->stop();
    window.show();
    window.table->sortByColumn(TOverviewModel::ColMean, Qt::AscendingOrder);
    window.refresh();
    QApplication::processEvents();
  }
  // One second: every host echoes (every = 1), or every fourth one, as at the shortest host
  // interval the scheduler allows (an echo every 4 seconds).
  void echoAll(int every = 1) {
    now += 1000;
    for (int slot = 1 + static_cast<int>(now / 1000 % every); slot <= TTolvoHosts::MaxHosts; slot += every) {
      const std::int64_t rtt = (now / 1000 * 7919 + slot * 104729) % 30'000;
      hosts.events().echoResult(*hosts.hostAt(slot), {now, rtt % 13 != 0, rtt});
    }
  }
};

void BM_OverviewRefresh(benchmark::State& state) {
  TOverviewFull full;
  for (auto _ : state) {
    state.PauseTiming();
    full.echoAll();
    state.ResumeTiming();
    full.window.refresh();
  }
  state.counters["rows"] = full.window.model->rowCount();
}
BENCHMARK(BM_OverviewRefresh)->Unit(benchmark::kMicrosecond);

void BM_OverviewRefreshAndPaint(benchmark::State& state) {
  TOverviewFull full;
  for (auto _ : state) {
    state.PauseTiming();
    full.echoAll();
    state.ResumeTiming();
    full.window.refresh();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_OverviewRefreshAndPaint)->Unit(benchmark::kMicrosecond);

void BM_OverviewRefreshAndPaintQuarterChanged(benchmark::State& state) {
  TOverviewFull full;
  for (auto _ : state) {
    state.PauseTiming();
    full.echoAll(4);
    state.ResumeTiming();
    full.window.refresh();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_OverviewRefreshAndPaintQuarterChanged)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
