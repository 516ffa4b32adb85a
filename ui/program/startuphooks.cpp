#include "startuphooks.h"

#include <QDateTime>
#include <QDir>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

#include <cstdio>

#include "tfrmmain.h"
#include "ui/standard/tfrmstandardview.h"
#include "ui/views/historywindow.h"
#include "ui/views/overviewmodel.h"
#include "ui/views/outageswindow.h"
#include "ui/views/overviewwindow.h"
#include "ui/views/timelinewindow.h"
#include "viewwindows.h"

namespace {

constexpr int StatusViewSettleMs = 1000;  // five grid refreshes

void saveShot(QWidget* window, const QString& path) {
  if (!window || !window->grab().save(path))
    std::fprintf(stderr, "Sorvelo: could not save %s\n", qPrintable(path));
}

}  // namespace

bool messagesToStderr() { return qEnvironmentVariableIntValue("SORVELO_MESSAGES_TO_STDERR") == 1; }

namespace {

void installViewsScreenshots(TfrmMain* w, const QString& dir, int delayMs) {
  QTimer::singleShot(delayMs, w, [w, dir] {
    TViewWindows& views = w->viewWindows();
    views.showOverview();
    TOverviewWindow& overview = views.overview();
    std::vector<std::uint64_t> first;
    for (int row = 0; row < overview.model->rowCount() && first.size() < 2; ++row)
      first.push_back(overview.model->runIdAt(row));
    QPointer<THistoryWindow> history = views.showHistory(first);
    views.showOutages();
    views.showTimeline();
    const std::int64_t nowMs = QDateTime::currentMSecsSinceEpoch();
    views.outages().setRange(nowMs - 24 * 3'600'000LL, nowMs);
    views.outages().reload();
    QTimer::singleShot(StatusViewSettleMs, w, [w, dir, history] {
      QDir().mkpath(dir);
      w->viewWindows().overview().refresh();
      saveShot(&w->viewWindows().overview(), dir + QStringLiteral("/overview.png"));
      saveShot(history.data(), dir + QStringLiteral("/history.png"));
      saveShot(&w->viewWindows().outages(), dir + QStringLiteral("/outages.png"));
      saveShot(&w->viewWindows().timeline(), dir + QStringLiteral("/timeline.png"));
      w->close();
    });
  });
}

}  // namespace

void installStartupHooks(TfrmMain& mainWindow) {
  TfrmMain* w = &mainWindow;
  if (qEnvironmentVariableIntValue("SORVELO_OPEN_STATUS_VIEW") == 1)
    QTimer::singleShot(0, w, [w] { w->Standard1Click(); });

  bool ok = false;
  int delayMs = qEnvironmentVariableIntValue("SORVELO_SCREENSHOT_DELAY_MS", &ok);
  if (!ok || delayMs < 0) delayMs = 5000;
  const QString viewsDir = qEnvironmentVariable("SORVELO_VIEWS_SCREENSHOT_DIR");
  if (!viewsDir.isEmpty()) installViewsScreenshots(w, viewsDir, delayMs);
  const QString dir = qEnvironmentVariable("SORVELO_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  QTimer::singleShot(delayMs, w, [w, dir] {
    w->Standard1Click();
    QTimer::singleShot(StatusViewSettleMs, w, [w, dir] {
      QDir().mkpath(dir);
      saveShot(w, dir + QStringLiteral("/main-window.png"));
      saveShot(w->standardView(), dir + QStringLiteral("/status-view.png"));
      w->close();
    });
  });
}
