// The timeline's paint time: 255 hosts, 10 minutes at one echo per 4 s (150 echoes a host, a few
// lost), every row painted into a picture 1200 px wide (target: under 8 ms), and one screenful of
// the window as it scrolls.
//
//   build/bench/timeline_bench

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "core/tolvohosts.h"
#include "ui/views/livestats.h"
#include "ui/views/livetrail.h"
#include "ui/views/timelineview.h"
#include "ui/views/timelinewindow.h"

namespace {

constexpr std::int64_t Now = 1'780'000'000'000;

// This thread's processor time in milliseconds: on a busy machine the wall clock also counts the
// time other programs had the processor.
double cpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

int measure() {
  TTolvoHosts hosts;
  TLiveStats stats(hosts);
  TLiveTrail trail(&hosts.events());
  std::vector<TTolvoHost*> list;
  for (int i = 0; i < TTolvoHosts::MaxHosts; ++i) {
    std::unique_ptr<TTolvoHost> h = hosts.newHost();
    h->callingName = "host-" + std::to_string(i);
    list.push_back(h.get());
    hosts.appendHost(h);
  }
  for (std::int64_t t = Now - 600'000; t < Now; t += 4000)
    for (std::size_t i = 0; i < list.size(); ++i) {
      const auto noise = static_cast<std::uint64_t>(t / 4000) * 2654435761u + i * 97u;
      const bool lost = noise % 53 == 0;
      hosts.events().echoResult(
          *list[i], {t, !lost, lost ? -1 : static_cast<std::int64_t>(200 + noise % 5000)});
    }
  TTimelineWindow window(stats, trail, [] { return Now; });
  window.resize(1200 + 40, 700);
  window.show();
  TTimelineView& view = *window.view;
  view.refresh();
  const int width = 1200;
  QImage image(width, view.axisHeight() + 255 * view.rowHeight(),
               QImage::Format_ARGB32_Premultiplied);
  constexpr int Paints = 50;
  double best = 1e9, total = 0, cpuTotal = 0;
  for (int i = 0; i < Paints; ++i) {
    image.fill(Qt::white);
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuMs();
    QPainter p(&image);
    view.paintRows(p, width, 0, 254, 0);
    p.end();
    cpuTotal += cpuMs() - cpuStart;
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    best = std::min(best, ms);
    total += ms;
  }
  std::printf(
      "255 rows x 10 min (150 echoes each), %d px wide: %.2f ms a paint (mean of %d), "
      "best %.2f ms; processor time %.2f ms a paint\n",
      width, total / Paints, Paints, best, cpuTotal / Paints);
  QImage screen(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
  QElapsedTimer scrolling;
  scrolling.start();
  const int steps = 100;
  for (int i = 0; i < steps; ++i) {
    view.verticalScrollBar()->setValue(i * view.verticalScrollBar()->maximum() / steps);
    view.viewport()->render(&screen);
  }
  std::printf("scrolling: %.2f ms a screenful (%d rows visible)\n",
              static_cast<double>(scrolling.nsecsElapsed()) / 1e6 / steps,
              view.viewport()->height() / view.rowHeight());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  return measure();
}
