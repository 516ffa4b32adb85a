// Adding 255 hosts through the maintenance dialog's Add: a pasted text of 255 lines,
// 127.0.0.1 .. 127.0.0.255, addresses only, with reverse resolve off and on (the real lookups of
// the program through the system resolver). A 100 ms timer runs meanwhile; its ticks, against the
// number the elapsed time calls for, show whether the window kept serving its events; a 10 ms timer
// beside it gives the same figure at a finer grain for Adds that end within a few ticks.
//
// The lookups must not leave the machine: at start the program moves itself into a network
// namespace of its own with only loopback up (root needed), so a resolver that would ask a name
// server finds no route at once. Without that namespace the reverse case is skipped.

#include <benchmark/benchmark.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QCheckBox>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/settings.h"
#include "core/tolvohosts.h"
#include "ui/standard/frmmaintainhosts.h"

namespace {

bool privateNetwork = false;

bool bringLoopbackUp() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  ok = ok && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  close(fd);
  return ok;
}

// Before any thread exists, so that every lookup thread starts inside the namespace.
bool enterPrivateNetwork() { return unshare(CLONE_NEWNET) == 0 && bringLoopbackUp(); }

QString pastedAddresses() {
  QString text;
  for (int x = 1; x <= TTolvoHosts::MaxHosts; ++x) text += QStringLiteral("127.0.0.%1\n").arg(x);
  return text;
}

void BM_AddThroughDialog(benchmark::State& state) {
  const bool reverse = state.range(0) != 0;
  if (reverse && !privateNetwork) {
    state.SkipWithError("reverse lookups need a private network namespace (run as root)");
    return;
  }
  QTemporaryDir dir;
  settings.hosts_file_name = dir.filePath("hosts.cfg").toStdString();
  const QString text = pastedAddresses();
  double ticks = 0, expectedTicks = 0, fineTicks = 0, expectedFine = 0, hosts = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TTolvoHosts list;
    list.echoService = [](const std::string&, std::int32_t) { return TEchoOutcome{}; };
    TfrmMaintainHosts dlg;
    dlg.hostList = &list;
    dlg.mNewHosts->setPlainText(text);
    dlg.cbReverseResolve->setChecked(reverse);
    int tickCount = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&tickCount] { ++tickCount; });
    ticker.start(100);
    int fineCount = 0;
    QTimer fine;
    QObject::connect(&fine, &QTimer::timeout, [&fineCount] { ++fineCount; });
    fine.start(10);
    QElapsedTimer wall;
    wall.start();
    state.ResumeTiming();

    dlg.btnAdd->click();

    state.PauseTiming();
    ticks += tickCount;
    expectedTicks += static_cast<double>(wall.elapsed() / 100);
    fineTicks += fineCount;
    expectedFine += static_cast<double>(wall.elapsed() / 10);
    fine.stop();
    hosts += list.hostCount();
    ticker.stop();
    state.ResumeTiming();
  }
  const auto runs = static_cast<double>(state.iterations());
  state.counters["hosts"] = hosts / runs;
  state.counters["timer_ticks"] = ticks / runs;
  state.counters["expected_ticks"] = expectedTicks / runs;
  state.counters["ticks_10ms"] = fineTicks / runs;
  state.counters["expected_10ms"] = expectedFine / runs;
}
BENCHMARK(BM_AddThroughDialog)
    ->ArgName("reverse")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A paste far larger than any listing: 100,000 lines (about 7 MB). forms=0: traceroute-like lines
// holding names, addresses, IPv6 literals, long-label names and address blocks; forms=1: lines of a
// spreadsheet, config file and browser (commas, quotes, key=value, host:port, URLs, user@host), which
// the Add looks at a second time. Lookups are answered at once by a stand-in, so the figure is the
// Add's own cost: the scan, the list and the report.
void BM_HugePasteThroughDialog(benchmark::State& state) {
  QTemporaryDir dir;
  settings.hosts_file_name = dir.filePath("hosts.cfg").toStdString();
  QString text;
  for (int i = 0; i < 100000; ++i) {
    const QString line =
        state.range(0) == 0
            ? QStringLiteral("%1  hop%1.example.net (10.%2.%3.%4)  0.5 ms  hop%1.example.internal  "
                             "fe80::%5%lo  10.%2.%3.0/30\n")
            : QStringLiteral("\"10.%2.%3.%4\",host=10.%2.%3.%4;10.%2.%3.%4:80\thttps://u:pw@hop%1."
                             "example.net:8443/x admin@hop%1.example.org [fe80::%5%lo]:22\n");
    text += line.arg(i).arg(i / 65536).arg(i / 256 % 256).arg(i % 256).arg(i % 65536, 0, 16);
  }
  double hosts = 0, reportLines = 0, ticks = 0, expectedTicks = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TTolvoHosts list;
    list.echoService = [](const std::string&, std::int32_t) { return TEchoOutcome{}; };
    list.nameLookup = [](const std::string& asked, bool) { return asked; };
    TfrmMaintainHosts dlg;
    dlg.hostList = &list;
    dlg.mNewHosts->setPlainText(text);
    int tickCount = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&tickCount] { ++tickCount; });
    ticker.start(100);
    QElapsedTimer wall;
    wall.start();
    state.ResumeTiming();

    dlg.btnAdd->click();

    state.PauseTiming();
    ticks += tickCount;
    expectedTicks += static_cast<double>(wall.elapsed() / 100);
    hosts += list.hostCount();
    reportLines += static_cast<double>(dlg.tbAddReport->toPlainText().size());
    state.ResumeTiming();
  }
  const auto runs = static_cast<double>(state.iterations());
  state.counters["hosts"] = hosts / runs;
  state.counters["report_chars"] = reportLines / runs;
  state.counters["timer_ticks"] = ticks / runs;
  state.counters["expected_ticks"] = expectedTicks / runs;
  state.counters["pasted_MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_HugePasteThroughDialog)
    ->ArgName("forms")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  privateNetwork = enterPrivateNetwork();
  if (!privateNetwork) std::fprintf(stderr, "no private network namespace: reverse case skipped\n");
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
