// The status view: the cells of hosts with known counters and dates, the HOST NAME switch, the
// grid before any host and after the last one is deleted, and its column widths.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>

#include "core/tolvohosts.h"
#include "ui/standard/hostrowtexts.h"
#include "ui/standard/tfrmstandardview.h"

namespace {

class StandardViewTest : public ::testing::Test {
 protected:
  StandardViewTest() { view.hostList = &hosts; }

  TTolvoHost& add(const std::string& callingName, const std::string& hostName) {
    std::unique_ptr<TTolvoHost> host = hosts.newHost();
    host->callingName = callingName;
    host->hostName = hostName;
    host->ipAddress = "127.0.0.1";
    TTolvoHost& kept = *host;
    EXPECT_TRUE(hosts.appendHost(host));
    return kept;
  }

  QString cell(int row, int column) const {
    QTableWidgetItem* item = view.sgResults->item(row, column);
    return item ? item->text() : QString();
  }
  QStringList row(int r) const {
    QStringList texts;
    for (int c = 0; c < view.sgResults->columnCount(); ++c) texts << cell(r, c);
    return texts;
  }

  TManualClock clock{encodeDateTime(2026, 3, 20, 12, 0, 0)};
  TTolvoHosts hosts{clock};
  TfrmStandardView view{clock};
};

TEST_F(StandardViewTest, BeforeAnyHostTheGridHasOneRowOfThreeEmptyColumns) {
  view.show();
  EXPECT_EQ(view.sgResults->rowCount(), 1);
  EXPECT_EQ(view.sgResults->columnCount(), 3);
  EXPECT_EQ(row(0), QStringList({"", "", ""}));
  EXPECT_EQ(view.windowTitle(), "Ping status");
  EXPECT_FALSE(view.sgResults->wordWrap());
}

TEST_F(StandardViewTest, AHostWithKnownCountersAndDates) {
  TTolvoHost& host = add("router", "router.lan");
  host.succeededCount = 9;
  host.failedCount = 1;
  host.lastSentAt = clock.now() - 93784 / 86400.0;  // 1 day 2 h 3 min 4 s ago
  host.lastSuccess.at = clock.now() - 59 / 86400.0;
  host.lastSuccess.pingTime = 12;
  host.lastFailure.at = 0;  // never failed
  host.addResult({true, true, clock.now(), 10});
  host.addResult({true, true, clock.now(), 20});
  host.addResult({true, false, clock.now(), -1});
  view.refreshGrid();

  ASSERT_EQ(view.sgResults->rowCount(), 2);
  ASSERT_EQ(view.sgResults->columnCount(), 10);
  EXPECT_EQ(row(0), QStringList({"Host address", "Status", "Ping time ms", "Avg ms",
                                 "Last pinged ago", "Last succ.ago", "Last fail.ago", "Succ count",
                                 "Fail count", "Succ %"}));
  EXPECT_EQ(row(1), QStringList({"router", "Ok ", "12", "15,00", "01d 02h 03m 04s", "00h 00m 59s",
                                 "unknown", "9", "1", "90,00%"}));

  // A request goes out: the ping time is unknown until it is answered; time moves on.
  host.lastSuccess.pingTime = -1;
  clock.advanceSeconds(61);
  view.refreshGrid();
  EXPECT_EQ(cell(1, 2), "unknown");
  EXPECT_EQ(cell(1, 5), "00h 02m 00s");
}

TEST_F(StandardViewTest, AHostNeverAnsweredAndAHostNeverPinged) {
  TTolvoHost& silent = add("silent", "silent.lan");
  silent.failedCount = 5;
  silent.lastSuccess.pingTime = -1;
  silent.lastFailure.at = clock.now();
  silent.addResult({true, false, clock.now(), -1});
  TTolvoHost& fresh = add("fresh", "fresh.lan");
  fresh.lastSentAt = 0;
  view.refreshGrid();

  ASSERT_EQ(view.sgResults->rowCount(), 3);
  EXPECT_EQ(row(1), QStringList({"silent", "Down ", "unknown", "0,00",
                                 QString::fromStdString(elapsedText(clock.now(), silent.lastSentAt)),
                                 "unknown", "00h 00m 00s", "0", "5", "0%"}));
  EXPECT_EQ(row(2), QStringList({"fresh", "Unknown ", "0", "0,00", "unknown", "unknown", "unknown",
                                 "0", "0", "0%"}));
}

TEST_F(StandardViewTest, SuccessShareIsAnsweredOverAllEchoes) {
  struct TCase {
    int succeeded, failed;
    const char* shown;
  };
  const TCase cases[] = {{9, 1, "90,00%"}, {2, 1, "66,67%"}, {1, 3, "25,00%"}, {0, 5, "0%"},
                         {0, 0, "0%"},     {4, 4, "50,00%"}, {7, 0, "100,00%"},
                         {5, -3, "100,00%"}};  // a negative count from an edited file counts as 0
  for (const TCase& c : cases) {
    EXPECT_EQ(successPercentText(c.succeeded, c.failed), c.shown) << c.succeeded << "/" << c.failed;
  }
  // And in the grid.
  TTolvoHost& host = add("a", "a.lan");
  host.succeededCount = 1;
  host.failedCount = 3;
  view.refreshGrid();
  EXPECT_EQ(cell(1, 9), "25,00%");
}

TEST_F(StandardViewTest, HostNameButtonSwitchesTheFirstColumnBothWays) {
  add("router", "router.lan");
  add("printer", "printer.lan");
  view.show();
  EXPECT_EQ(view.tbHostName->toolTip(), "Shows the hostname instead of calling name");
  EXPECT_FALSE(view.tbHostName->isChecked());
  EXPECT_EQ(cell(1, 0), "router");

  view.tbHostName->trigger();
  EXPECT_TRUE(view.tbHostName->isChecked());
  EXPECT_EQ(cell(1, 0), "router.lan");
  EXPECT_EQ(cell(2, 0), "printer.lan");

  // Closing and reopening keeps the choice.
  view.close();
  view.show();
  EXPECT_EQ(cell(2, 0), "printer.lan");
  view.tbHostName->trigger();
  EXPECT_EQ(cell(2, 0), "printer");
}

TEST_F(StandardViewTest, DeletingEveryHostShrinksTheGridToItsTitleRow) {
  add("a", "a.lan");
  add("b", "b.lan");
  view.refreshGrid();
  ASSERT_EQ(view.sgResults->rowCount(), 3);
  hosts.clearHosts();
  view.refreshGrid();
  EXPECT_EQ(view.sgResults->rowCount(), 1);
  EXPECT_EQ(view.sgResults->columnCount(), 10);
  EXPECT_EQ(cell(0, 0), "Host address");

  // A host added again fills row 1 afresh.
  add("c", "c.lan");
  view.refreshGrid();
  ASSERT_EQ(view.sgResults->rowCount(), 2);
  EXPECT_EQ(cell(1, 0), "c");
  EXPECT_EQ(cell(1, 7), "0");
}

TEST_F(StandardViewTest, ColumnsWidenToTheirWidestTextAndNeverNarrow) {
  TTolvoHost& host = add("a-rather-long-calling-name-for-a-host", "x");
  view.refreshGrid();
  const QFontMetrics metrics(view.sgResults->font());
  const int wide = view.sgResults->columnWidth(0);
  EXPECT_GE(wide, metrics.horizontalAdvance(QString::fromStdString(host.callingName)) + 5);

  host.callingName = "short";
  view.refreshGrid();
  EXPECT_EQ(view.sgResults->columnWidth(0), wide);

  // The user may change the height; a changed width is undone by the next refresh.
  const int width = view.width();
  view.resize(width + 200, 300);
  view.refreshGrid();
  EXPECT_EQ(view.size(), QSize(width, 300));
  EXPECT_EQ(view.sgResults->rowHeight(1), 16);
}

TEST_F(StandardViewTest, TheWindowIsAsWideAsTheColumnsWithNoBandBesideThem) {
  add("router", "router.lan");
  view.show();
  for (int count = 1; count <= 40; count += 39) {  // without and with rows to scroll
    while (hosts.hostCount() < count) add("h", "h.lan");
    view.refreshGrid();
    QApplication::processEvents();  // the grid lays out its viewport
    int columns = 0;
    for (int c = 0; c < view.sgResults->columnCount(); ++c) columns += view.sgResults->columnWidth(c);
    // On a screen narrower than the columns the window takes the screen's width and the columns
    // scroll sideways, just as far as they reach.
    const int viewport = view.sgResults->viewport()->width();
    if (view.frameGeometry().width() < view.screen()->availableGeometry().width()) {
      EXPECT_EQ(viewport, columns) << count << " hosts";
    }
    EXPECT_EQ(view.sgResults->horizontalScrollBar()->maximum(), columns - viewport) << count << " hosts";
  }
}

TEST_F(StandardViewTest, TheTitlesStayInSightWhileTheRowsScroll) {
  for (int i = 0; i < 60; ++i) add("host" + std::to_string(i), "h.lan");
  view.show();
  view.resize(view.width(), 200);
  QApplication::processEvents();
  view.sgResults->scrollToBottom();
  QApplication::processEvents();
  ASSERT_GT(view.sgResults->verticalScrollBar()->value(), 0);

  QHeaderView* header = view.sgResults->horizontalHeader();
  EXPECT_TRUE(header->isVisible());
  EXPECT_GE(header->height(), 16);
  QStringList shown;
  for (int c = 0; c < header->count(); ++c)
    shown << view.sgResults->model()->headerData(c, Qt::Horizontal).toString();
  EXPECT_EQ(shown, row(0));  // row 0 keeps the titles, shown in the header
  EXPECT_TRUE(view.sgResults->isRowHidden(0));
  // Every title fits its column in the header.
  for (int c = 0; c < header->count(); ++c)
    EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c)) << c;
  // The last host is in sight below the titles.
  EXPECT_TRUE(view.sgResults->viewport()->rect().contains(
      view.sgResults->visualRect(view.sgResults->model()->index(60, 0)).center()));

  // Before any host there is no title to show: no header, one plain row.
  TfrmStandardView empty{clock};
  TTolvoHosts none{clock};
  empty.hostList = &none;
  empty.show();
  EXPECT_FALSE(empty.sgResults->horizontalHeader()->isVisible());
  EXPECT_FALSE(empty.sgResults->isRowHidden(0));
}

TEST_F(StandardViewTest, TheUpdateTimerRunsOnlyWhileTheViewIsOpen) {
  EXPECT_FALSE(view.tmrUpdate->isActive()) << "not shown yet";
  view.show();
  EXPECT_TRUE(view.tmrUpdate->isActive());
  EXPECT_EQ(view.tmrUpdate->interval(), 200);
  view.hide();
  EXPECT_FALSE(view.tmrUpdate->isActive());
  view.show();
  EXPECT_TRUE(view.tmrUpdate->isActive());
  view.close();
  EXPECT_FALSE(view.tmrUpdate->isActive());
  EXPECT_FALSE(view.isVisible());
}

TEST_F(StandardViewTest, WithoutAHostListARefreshChangesNothing) {
  add("a", "a.lan");
  view.hostList = nullptr;
  view.refreshGrid();
  EXPECT_EQ(view.sgResults->rowCount(), 1);
  EXPECT_EQ(view.sgResults->columnCount(), 3);
}

}  // namespace
