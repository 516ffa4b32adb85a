#include "startuphooks.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QPalette>
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
    if (history && qEnvironmentVariableIntValue("SORVELO_SCREENSHOT_HISTORY_HOUR") == 1)
      history->showRange(THistoryWindow::Hour);
    views.showOutages();
    views.showTimeline();
    if (qEnvironmentVariableIntValue("SORVELO_SCREENSHOT_TIMELINE_5MIN") == 1)
      views.timeline().cbSpan->setCurrentIndex(0);
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

// A dark Fusion palette, so the pictures can show how the windows read on a dark desktop.
void useDarkPalette() {
  QApplication::setStyle(QStringLiteral("Fusion"));
  QPalette dark;
  const QColor window(45, 45, 48), base(30, 30, 32), text(225, 225, 225);
  dark.setColor(QPalette::Window, window);
  dark.setColor(QPalette::WindowText, text);
  dark.setColor(QPalette::Base, base);
  dark.setColor(QPalette::AlternateBase, window);
  dark.setColor(QPalette::ToolTipBase, base);
  dark.setColor(QPalette::ToolTipText, text);
  dark.setColor(QPalette::Text, text);
  dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
  dark.setColor(QPalette::Button, window);
  dark.setColor(QPalette::ButtonText, text);
  dark.setColor(QPalette::BrightText, Qt::red);
  dark.setColor(QPalette::Link, QColor(90, 160, 240));
  dark.setColor(QPalette::Highlight, QColor(50, 110, 200));
  dark.setColor(QPalette::HighlightedText, Qt::white);
  dark.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
  dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
  dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
  QApplication::setPalette(dark);
}

// Stops pinging `atMs` after start and starts it again `lengthMs` later, as Stop and Start do.
void installScreenshotPause(TfrmMain* w, const QString& spec) {
  const QStringList parts = spec.split(QLatin1Char(','));
  bool okAt = false, okLength = false;
  const int atMs = parts.value(0).toInt(&okAt);
  const int lengthMs = parts.value(1).toInt(&okLength);
  if (parts.size() != 2 || !okAt || !okLength || atMs < 0 || lengthMs <= 0) {
    std::fprintf(stderr, "Sorvelo: SORVELO_SCREENSHOT_PAUSE_MS wants AT,LENGTH in ms\n");
    return;
  }
  QTimer::singleShot(atMs, w, [w] { w->btnStartStopClick(); });
  QTimer::singleShot(atMs + lengthMs, w, [w] { w->btnStartStopClick(); });
}

}  // namespace

void installStartupHooks(TfrmMain& mainWindow) {
  TfrmMain* w = &mainWindow;
  if (qEnvironmentVariableIntValue("SORVELO_OPEN_STATUS_VIEW") == 1)
    QTimer::singleShot(0, w, [w] { w->Standard1Click(); });

  if (qEnvironmentVariableIntValue("SORVELO_DARK") == 1) useDarkPalette();
  const QString pause = qEnvironmentVariable("SORVELO_SCREENSHOT_PAUSE_MS");
  if (!pause.isEmpty()) installScreenshotPause(w, pause);

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
