// Every window whole on a 1366 x 768 screen at 96 DPI with the starting font and a 13-point
// application font, and at 144 DPI (CTest runs this program on such offscreen screens; see
// tests/CMakeLists.txt): no label, field or button is narrower than it asks to be, lower than its
// text or reaching outside its parent, and no window asks for more than the screen offers.
// Geometry against size hints, so any installed font does.

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QHeaderView>
#include <QLabel>
#include <QSpinBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>

#include "mainwindowtestsupport.h"
#include "ui/standard/frmconfigedit.h"
#include "ui/standard/frmmaintainhosts.h"
#include "ui/views/historywindow.h"
#include "ui/views/livestats.h"
#include "ui/views/outageswindow.h"
#include "ui/views/overviewwindow.h"
#include "ui/views/pathwindow.h"
#include "ui/preferences/preferenceswindow.h"
#include "ui/program/programwindows.h"
#include "ui/standard/tfrmabout.h"
#include "ui/standard/tfrmstandardview.h"
#include "ui/program/viewwindows.h"

namespace {

QString sizeText(QSize s) { return QStringLiteral("%1x%2").arg(s.width()).arg(s.height()); }

QString describe(const QWidget* w) {
  return QStringLiteral("%1 %2 \"%3\"")
      .arg(w->metaObject()->className(), w->objectName(), w->property("text").toString());
}

// What scrolls inside a scroll area is not cut, only moved.
bool insideViewport(const QWidget* w, const QWidget& window) {
  for (const QWidget* p = w->parentWidget(); p && p != &window; p = p->parentWidget())
    if (const auto* area = qobject_cast<const QAbstractScrollArea*>(p->parentWidget());
        area && area->viewport() == p)
      return true;
  return false;
}

void collectCut(QWidget& window, QStringList& cut) {
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (w->isWindow() || !w->isVisibleTo(&window) || insideViewport(w, window)) continue;
    // A header's size hint is its sections' length; a spin box's field is the spin box's own.
    if (qobject_cast<QHeaderView*>(w) || qobject_cast<QAbstractSpinBox*>(w->parentWidget()))
      continue;
    if (auto* arrow = qobject_cast<QToolButton*>(w); arrow && arrow->arrowType() != Qt::NoArrow)
      continue;
    // The designed sizes leave some widgets a little lower than their hint (less padding around
    // the text), never lower than the text itself.
    const QSize need(w->minimumSizeHint().width(),
                     std::min(w->minimumSizeHint().height(), w->fontMetrics().height()));
    if ((need.width() > 0 && w->width() < need.width()) ||
        (need.height() > 0 && w->height() < need.height()))
      cut << describe(w) + " is " + sizeText(w->size()) + ", needs " + sizeText(need);
    if (!QRect(QPoint(), w->parentWidget()->size()).contains(w->geometry()))
      cut << describe(w) + " reaches outside its parent";
    auto* memo = qobject_cast<QPlainTextEdit*>(w);
    if (memo && memo->verticalScrollBar()->maximum() > 0) cut << describe(w) + " scrolls its text";
  }
}

// Everything cut in `window`, every page of its tab widgets included.
QStringList cutIn(QWidget& window) {
  window.show();
  QApplication::processEvents();
  QStringList cut;
  collectCut(window, cut);
  for (QTabWidget* tab : window.findChildren<QTabWidget*>())
    for (int page = 0; page < tab->count(); ++page) {
      tab->setCurrentIndex(page);
      QApplication::processEvents();
      collectCut(window, cut);
    }
  const QSize screen = window.screen()->availableGeometry().size();
  const QSize least =
      window.minimumSize().expandedTo(window.minimumSizeHint()).expandedTo(window.size());
  if (least.boundedTo(screen) != least)
    cut << "the window needs " + sizeText(least) + " of " + sizeText(screen);
  for (QString& line : cut) line.prepend(window.windowTitle() + ": ");
  window.hide();
  return cut;
}

TEST(WindowsFit, EveryWindowIsWholeOnASmallScreenAtALargerFontOrDpi) {
  QScreen* screen = QGuiApplication::primaryScreen();
  const QSize pixels = screen->geometry().size() * screen->devicePixelRatio();
  if (std::abs(pixels.width() - 1366) > 1 || std::abs(pixels.height() - 768) > 1)
    GTEST_SKIP() << "runs on the 1366 x 768 screens that CTest sets up";
  uitest::TProgramFiles files;
  files.writeSettings();
  files.writeHosts({{"a-host-with-a-rather-long-calling-name", "127.0.0.1", 9, 1},
                    {"second", "127.0.0.2"}});
  const QFont starting = QApplication::font();
  std::vector<QFont> fonts{starting, starting};
  fonts[1].setPointSizeF(13);
  if (screen->devicePixelRatio() != 1) fonts.pop_back();  // 13 points at 144 DPI is not asked for
  for (const QFont& font : fonts) {
    QApplication::setFont(font);
    SCOPED_TRACE(font.toString().toStdString());
    TManualClock clock{encodeDateTime(2026, 5, 14, 10, 0, 0)};
    uitest::TFakeEcho echo;
    TProgramWindows windows(clock, echo.service());
    TfrmMain& main = windows.main();
    main.Timer1->stop();
    TViewWindows& views = main.viewWindows();
    windows.maintainHosts().hostList = main.hostList();

    QStringList cut = cutIn(main);
    main.Standard1Click();
    TfrmStandardView& status = windows.standardView();
    status.refreshGrid();
    // The status view's columns may scroll sideways; its rows and tool buttons may not cut.
    EXPECT_GE(status.sgResults->rowHeight(1), status.sgResults->fontMetrics().height());
    EXPECT_GE(status.ToolBar1->iconSize().height(),
              status.style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &status));
    cut << cutIn(status);
    for (QWidget* w : std::initializer_list<QWidget*>{
             &windows.maintainHosts(), &windows.configEdit(), &windows.about(),
             &views.overview(), &views.preferences(), &views.outages()})
      cut << cutIn(*w);
    std::vector<std::uint64_t> runIds;
    for (const auto& entry : views.liveStats().hosts()) runIds.push_back(entry.first);
    THistoryWindow* history = views.showHistory(runIds);
    ASSERT_NE(history, nullptr);
    cut << cutIn(*history);
    views.showPath(runIds.front());
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* path = qobject_cast<TPathWindow*>(w)) cut << cutIn(*path);
    EXPECT_TRUE(cut.isEmpty()) << cut.join(QLatin1Char('\n')).toStdString();
    history->close();
    main.close();
  }
  QApplication::setFont(starting);
}

}  // namespace
