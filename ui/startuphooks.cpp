#include "startuphooks.h"

#include <QDir>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

#include "tfrmmain.h"
#include "tfrmstandardview.h"

namespace {

constexpr int StatusViewSettleMs = 1000;  // five grid refreshes

void saveShot(QWidget* window, const QString& path) {
  if (!window || !window->grab().save(path))
    std::fprintf(stderr, "Sorvelo: could not save %s\n", qPrintable(path));
}

}  // namespace

bool messagesToStderr() { return qEnvironmentVariableIntValue("SORVELO_MESSAGES_TO_STDERR") == 1; }

void installStartupHooks(TfrmMain& mainWindow) {
  TfrmMain* w = &mainWindow;
  if (qEnvironmentVariableIntValue("SORVELO_OPEN_STATUS_VIEW") == 1)
    QTimer::singleShot(0, w, [w] { w->Standard1Click(); });

  const QString dir = qEnvironmentVariable("SORVELO_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  bool ok = false;
  int delayMs = qEnvironmentVariableIntValue("SORVELO_SCREENSHOT_DELAY_MS", &ok);
  if (!ok || delayMs < 0) delayMs = 5000;
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
