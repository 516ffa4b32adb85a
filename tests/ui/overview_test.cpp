// The overview driven as a user would: rows from a real host list and its event stream, sorting by
// a click on a title, the filter, copying, the context actions and their keys, export, the
// degraded mark, rows at a 13 pt font, and the window's remembered place.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDateTime>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "activation_boxanswerer.h"
#include "mainwindowtestsupport.h"
#include "alerts/alertsettings.h"
#include "config/settings.h"
#include "core/tolvohosts.h"
#include "history/historyfill.h"
#include "history/historysettings.h"
#include "ui/views/livestats.h"
#include "ui/views/overviewmodel.h"
#include "ui/views/overviewsettings.h"
#include "ui/views/overviewwindow.h"
#include "ui/program/programwindows.h"
#include "ui/standard/edithostdialog.h"
#include "ui/standard/frmmaintainhosts.h"
#include "ui/views/historywindow.h"
#include "ui/views/outageswindow.h"
#include "ui/program/tfrmmain.h"
#include "ui/program/viewwindows.h"

namespace {

constexpr std::int64_t Now = 1'780'000'000'000;

class OverviewTest : public ::testing::Test {
 protected:
  OverviewTest() {
    saved = settings;
    settings.hosts_file_name = dir.filePath("hosts.cfg").toStdString();
    gateway = add("gateway", "127.0.0.1");
    nas = add("nas", "127.0.0.2");
    printer = add("printer", "127.0.0.3");
    window.setClock([] { return Now; });
    for (int i = 0; i < 10; ++i) {
      echo(gateway, Now - 10'000 + i * 1000, 12 + i % 2 * 4);  // about 0.014 ms
      echo(nas, Now - 10'000 + i * 1000, i < 5 ? 23'400 : -1);
    }
    window.refresh();
  }
  ~OverviewTest() override { settings = saved; }

  TTolvoHost* add(const std::string& name, const std::string& address) {
    std::unique_ptr<TTolvoHost> h = hosts.newHost();
    h->callingName = name;
    h->hostName = address;
    h->ipAddress = address;
    TTolvoHost* kept = h.get();
    hosts.appendHost(h);
    return kept;
  }
  void echo(TTolvoHost* host, std::int64_t at, std::int64_t rtt) {
    hosts.events().echoResult(*host, {at, rtt >= 0, rtt});
  }
  // The texts of the shown row `r`, in the columns' order.
  QString shown(int r, int column) const {
    return window.proxy->index(r, column).data().toString();
  }
  QStringList shownNames() const {
    QStringList names;
    for (int r = 0; r < window.proxy->rowCount(); ++r) names << shown(r, TOverviewModel::ColName);
    return names;
  }
  void selectShownRows(std::initializer_list<int> rows) {
    window.table->clearSelection();
    for (int r : rows)
      window.table->selectionModel()->select(
          window.proxy->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }

  configRecord saved;
  QTemporaryDir dir;
  TTolvoHosts hosts;
  TLiveStats stats{hosts};
  TOverviewWindow window{stats, hosts};
  TTolvoHost* gateway = nullptr;
  TTolvoHost* nas = nullptr;
  TTolvoHost* printer = nullptr;
};

TEST_F(OverviewTest, RowsShowStateNamesAndFiguresWithSubMillisecondPrecision) {
  window.show();
  ASSERT_EQ(window.proxy->rowCount(), 3);
  EXPECT_EQ(shown(0, TOverviewModel::ColState), "OK");
  EXPECT_EQ(shown(0, TOverviewModel::ColLast), "0.016 ms");
  EXPECT_EQ(shown(0, TOverviewModel::ColMin), "0.012 ms");
  EXPECT_EQ(shown(0, TOverviewModel::ColMean), "0.014 ms");
  EXPECT_EQ(shown(0, TOverviewModel::ColJitter), "0.004 ms");
  EXPECT_EQ(shown(1, TOverviewModel::ColState), "Down");
  EXPECT_EQ(shown(1, TOverviewModel::ColLast), "lost");
  EXPECT_EQ(shown(1, TOverviewModel::ColMax), "23.4 ms");
  EXPECT_EQ(shown(1, TOverviewModel::ColLoss15), "50.0 %");
  EXPECT_EQ(shown(2, TOverviewModel::ColState), "Unknown");
  EXPECT_EQ(shown(2, TOverviewModel::ColLast), "");
  EXPECT_EQ(window.lblCount->text(), "3 hosts");
  // The states differ in colour, on light and on dark backgrounds alike.
  for (int lightness : {20, 240}) {
    const QColor ok = TOverviewModel::stateColour(TLiveState::Ok, lightness);
    const QColor down = TOverviewModel::stateColour(TLiveState::Down, lightness);
    EXPECT_NE(ok, down);
    EXPECT_GT(std::abs(ok.lightness() - lightness), 60) << lightness;
    EXPECT_GT(std::abs(down.lightness() - lightness), 60) << lightness;
  }
}

TEST_F(OverviewTest, TitleClickSortsFilterNarrowsAndAddedOrDeletedHostsFollow) {
  window.show();
  const QHeaderView* header = window.table->horizontalHeader();
  const auto clickTitle = [&](int column) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
  };
  clickTitle(TOverviewModel::ColState);  // most urgent first
  EXPECT_EQ(shownNames(), QStringList({"nas", "printer", "gateway"}));
  clickTitle(TOverviewModel::ColMax);
  EXPECT_EQ(shownNames().first(), "gateway");  // 0.016 ms before 23.4 ms; no figure last
  EXPECT_EQ(shownNames().last(), "printer");
  add("backup", "127.0.0.10");
  window.refresh();
  clickTitle(TOverviewModel::ColAddress);  // numeric order of the parts
  EXPECT_EQ(shownNames(), QStringList({"gateway", "nas", "printer", "backup"}));
  clickTitle(TOverviewModel::ColName);
  EXPECT_EQ(shownNames(), QStringList({"backup", "gateway", "nas", "printer"}));

  QTest::keyClicks(window.edFilter, "127.0.0.2");
  EXPECT_EQ(shownNames(), QStringList({"nas"}));
  EXPECT_EQ(window.lblCount->text(), "1 of 4 hosts");
  window.edFilter->clear();

  add("camera", "127.0.0.9");
  hosts.deleteHost(nas);
  window.refresh();
  EXPECT_EQ(window.proxy->rowCount(), 4);
  EXPECT_TRUE(shownNames().contains("camera"));
  EXPECT_FALSE(shownNames().contains("nas"));
}

TEST_F(OverviewTest, CtrlCCopiesSelectedRowsAsTabSeparatedLines) {
  window.show();
  QApplication::setActiveWindow(&window);
  selectShownRows({0, 2});
  QTest::keyClick(window.table, Qt::Key_C, Qt::ControlModifier);
  const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].startsWith("OK\tgateway\t127.0.0.1\t0.016 ms\t0 %\t0 %\t"));
  EXPECT_TRUE(lines[1].startsWith("Unknown\tprinter\t127.0.0.3\t"));
  EXPECT_EQ(lines[0].count('\t'), TOverviewModel::ColSpark - 1);

  QTest::keyClick(window.table, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "127.0.0.1\n127.0.0.3");
}

TEST_F(OverviewTest, DeleteAsksFirstAndEditAndHistoryReachTheProgram) {
  window.show();
  QApplication::setActiveWindow(&window);
  TTolvoHost* edited = nullptr;
  std::vector<std::uint64_t> historyOf;
  int saves = 0;
  window.onEdit = [&](const std::vector<TTolvoHost*>& chosen) { edited = chosen.front(); };
  window.onHistory = [&](const std::vector<std::uint64_t>& ids) { historyOf = ids; };
  window.onDeleted = [&] { ++saves; };

  selectShownRows({1});
  {
    // In the filter box, Delete and Ctrl+C edit and copy its text, never the hosts.
    TBoxAnswerer answers;
    QTest::keyClicks(window.edFilter, "nas");
    QTest::keyClick(window.edFilter, Qt::Key_Home);
    QTest::keyClick(window.edFilter, Qt::Key_Delete);
    EXPECT_EQ(window.edFilter->text(), "as");
    EXPECT_TRUE(answers.seen.empty());
    window.edFilter->clear();
  }
  selectShownRows({1});
  QTest::keyClick(window.table, Qt::Key_F2);
  EXPECT_EQ(edited, nas);
  QTest::keyClick(window.table, Qt::Key_H, Qt::ControlModifier);
  EXPECT_EQ(historyOf, std::vector<std::uint64_t>{nas->runId});

  {
    TBoxAnswerer answers({QMessageBox::No});
    QTest::keyClick(window.table, Qt::Key_Delete);
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0].text, "Delete the host nas (127.0.0.2)?");
    EXPECT_EQ(hosts.hostCount(), 3);
  }
  {
    TBoxAnswerer answers({QMessageBox::Yes});
    window.actDelete->trigger();
    EXPECT_EQ(answers.seen.size(), 1u);
  }
  EXPECT_EQ(hosts.hostCount(), 2);
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(shownNames(), QStringList({"gateway", "printer"}));
}

TEST_F(OverviewTest, ExportWritesTheShownRowsWithTitles) {
  gateway->callingName = "gate, main";
  hosts.hostEdited(gateway, {"gateway", "127.0.0.1", "127.0.0.1"});
  window.refresh();
  window.edFilter->setText("a");  // gate, main and nas
  const QString path = dir.filePath("overview.csv");
  ASSERT_TRUE(window.exportCsv(path));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  EXPECT_FALSE(text.contains(QLatin1Char('\r')));  // every CSV file ends its lines with LF alone
  const QStringList lines = text.split("\n", Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], "State,Name,Address,Last (ms),Loss 15 min (%),Loss run (%),Min (ms),Mean (ms),"
                      "Max (ms),Jitter (ms)");
  // Plain numbers: the units are in the titles.
  EXPECT_TRUE(lines[1].startsWith("OK,\"gate, main\",127.0.0.1,0.016,0.00,")) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].startsWith("Down,nas,127.0.0.2,lost,50.00,")) << lines[2].toStdString();
  EXPECT_FALSE(text.contains(" ms") || text.contains(" %"));
  EXPECT_FALSE(window.exportCsv(dir.filePath("missing/folder/overview.csv")));
}

TEST_F(OverviewTest, DegradedFlagShowsInAmberWhileTheHostIsUp) {
  window.setHostFlag(gateway->runId, true);
  const QModelIndex state = window.model->index(window.model->rowOf(gateway->runId), 0);
  EXPECT_EQ(state.data().toString(), "Degraded");
  const int base = QApplication::palette().color(QPalette::Base).lightness();
  EXPECT_EQ(state.data(Qt::ForegroundRole).value<QColor>(),
            TOverviewModel::stateColour(TLiveState::Degraded, base));
  window.setHostFlag(nas->runId, true);  // down stays down
  EXPECT_EQ(window.model->text(window.model->rowOf(nas->runId), 0), "Down");
  window.setHostFlag(gateway->runId, false);
  EXPECT_EQ(state.data().toString(), "OK");
}

TEST_F(OverviewTest, RowsAndColumnsFitTheirTextsAtThirteenPoints) {
  QFont font = window.font();
  font.setPointSize(13);
  window.setFont(font);
  window.show();
  window.refresh();
  const QFontMetrics metrics(window.table->font());
  EXPECT_GE(window.table->rowHeight(0), metrics.height());
  for (int r = 0; r < window.proxy->rowCount(); ++r)
    for (int c = 0; c < TOverviewModel::ColSpark; ++c)
      EXPECT_GE(window.table->columnWidth(c), metrics.horizontalAdvance(shown(r, c)) + 8)
          << r << "," << c;
}

TEST_F(OverviewTest, PlaceAndSizeAreRemembered) {
  window.show();
  window.resize(640, 333);
  window.hide();
  EXPECT_FALSE(overviewGeometry().empty());
  TOverviewWindow again(stats, hosts);
  again.show();
  EXPECT_EQ(again.size(), QSize(640, 333));
}

}  // namespace

namespace {

// The program's own wiring: the overview opens at start when the preference says so, and Edit opens
// Edit host on the chosen host, which takes a new address.
TEST(OverviewInProgram, OpensAtStartAndEditsTheChosenHostsAddress) {
  uitest::TProgramFiles files;
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}, {"second", "127.0.0.2"}});
  {
    QFile settingsFile(uitest::TProgramFiles::settingsPath());
    ASSERT_TRUE(settingsFile.open(QIODevice::Append));
    settingsFile.write("[overview]\nopen_at_start=1\n");
  }
  TManualClock clock{encodeDateTime(2026, 5, 14, 10, 0, 0)};
  uitest::TFakeEcho echo;
  TProgramWindows windows(clock, echo.service());
  windows.main().Timer1->stop();
  TOverviewWindow& overview = windows.main().viewWindows().overview();
  ASSERT_TRUE(uitest::waitUntil([&] { return overview.isVisible(); }));
  ASSERT_EQ(overview.proxy->rowCount(), 2);
  EXPECT_EQ(overview.proxy->index(1, TOverviewModel::ColName).data().toString(), "second");

  overview.selectHosts({overview.model->runIdAt(1)});
  QString shownAddress, refusal;
  bool okWhileRefused = true;
  QTimer::singleShot(50, [&] {
    auto* dialog = qobject_cast<TfrmEditHost*>(QApplication::activeModalWidget());
    if (!dialog) return;
    shownAddress = dialog->edAddress->text();
    dialog->edAddress->setText(QStringLiteral("224.0.0.1"));
    refusal = dialog->lblAddress->text();  // next to the field, no message box
    okWhileRefused = dialog->btnOk->isEnabled();
    dialog->edAddress->setText(QStringLiteral(" 127.0.0.3 "));
    dialog->edDownAfter->setText(QStringLiteral("7"));
    dialog->cbNotify->setChecked(false);
    dialog->btnOk->click();
  });
  overview.actEdit->trigger();  // returns when the dialog has closed
  EXPECT_EQ(shownAddress, "127.0.0.2");
  EXPECT_EQ(refusal, "a multicast address (224.0.0.0 to 239.255.255.255)");
  EXPECT_FALSE(okWhileRefused);
  EXPECT_EQ(windows.main().hostList()->hostAt(2)->ipAddress, "127.0.0.3");
  // Its alert settings moved with it, by address.
  const TAlertSettings alerts = TAlertSettings::load({"127.0.0.2", "127.0.0.3"});
  EXPECT_EQ(alerts.lostToDownFor("127.0.0.3"), 7);
  EXPECT_FALSE(alerts.notifyFor("127.0.0.3"));
  EXPECT_EQ(alerts.downAfter.count("127.0.0.2"), 0u);
  // Saved at once: the hosts file holds the new address.
  TTolvoHosts reread;
  ASSERT_TRUE(reread.loadFromFile(settings.hosts_file_name));
  EXPECT_EQ(reread.hostAt(2)->ipAddress, "127.0.0.3");
  windows.main().close();
}

// A history window still open when the program closes: its read-only connection is closed before
// the recorder's, so the recorder's close folds the write-ahead log into history.sqlite and removes
// it (a read-only connection cannot), and the file alone holds every result.
TEST(OverviewInProgram, AHistoryWindowOpenAtCloseLeavesNoWriteAheadLog) {
  uitest::TProgramFiles files;
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}});
  const QString database =
      QString::fromStdString(historyFilePath(files.hostsPath().toStdString()));
  {
    TManualClock clock{encodeDateTime(2026, 5, 14, 10, 0, 0)};
    uitest::TFakeEcho echo;
    TProgramWindows windows(clock, echo.service());
    windows.main().Timer1->stop();
    ASSERT_TRUE(uitest::waitUntil([&] { return QFile::exists(database + "-wal"); }));
    TViewWindows& views = windows.main().viewWindows();
    QPointer<THistoryWindow> history = views.showHistory({views.overview().model->runIdAt(0)});
    ASSERT_TRUE(history);
    QApplication::processEvents();
    windows.main().close();
    EXPECT_FALSE(QFile::exists(database + "-wal"));
  }
  EXPECT_FALSE(QFile::exists(database + "-wal"));
  EXPECT_FALSE(QFile::exists(database + "-shm"));
}

// A hosts file named in another folder in Config takes effect at the next start; until then the
// outages and history windows read the database the recorder writes, not one in the new folder.
TEST(OverviewInProgram, WindowsReadTheDatabaseOfThisRunAfterConfigNamesAnotherHostsFile) {
  uitest::TProgramFiles files;
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}});
  const QString database =
      QString::fromStdString(historyFilePath(files.hostsPath().toStdString()));
  QTemporaryDir elsewhere;
  TManualClock clock{encodeDateTime(2026, 5, 14, 10, 0, 0)};
  uitest::TFakeEcho echo;
  TProgramWindows windows(clock, echo.service());
  windows.main().Timer1->stop();
  ASSERT_TRUE(uitest::waitUntil([&] { return QFile::exists(database); }));
  settings.hosts_file_name = elsewhere.filePath(QStringLiteral("hosts.cfg")).toStdString();
  TViewWindows& views = windows.main().viewWindows();
  EXPECT_EQ(views.historyDatabase(), database.toStdString());
  views.outages().reload();
  EXPECT_EQ(views.outages().lblStatus->text().indexOf(QStringLiteral("no history database")), -1)
      << views.outages().lblStatus->text().toStdString();
  windows.main().close();
}

// What the user arranged comes back at the next start: the overview's sort and the main window's
// place; the 15-minute figures and sparkline are taken up from the results database, and a host
// with minutes of results opens its history at 1 h.
TEST(OverviewInProgram, WhatTheUserArrangedIsKeptAfterARestart) {
  uitest::TProgramFiles files;
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}});
  const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
  // Ten minutes of results before this start, every fourth echo lost.
  const auto rttOf = [](std::size_t, std::int64_t t) -> std::int64_t {
    return t / 5000 % 4 == 0 ? -1 : 2000 + t / 5000 % 3 * 500;
  };
  ASSERT_TRUE(fillHistory(historyFilePath(files.hostsPath().toStdString()),
                          {{"gateway", "127.0.0.1", "127.0.0.1"}},
                          {.fromMs = now / 5000 * 5000 - 600'000,
                           .toMs = now - 5000,
                           .stepMs = 5000,
                           .rttOf = rttOf,
                           .nowMs = now}));
  std::int64_t sent = 0, lost = 0;
  for (std::int64_t t = now / 5000 * 5000 - 600'000; t < now - 5000; t += 5000, ++sent)
    lost += rttOf(0, t) < 0;

  TManualClock clock{encodeDateTime(2026, 5, 14, 10, 0, 0)};
  uitest::TFakeEcho echo;
  const QPoint place(40, 30);
  {
    TProgramWindows windows(clock, echo.service());
    windows.main().Timer1->stop();
    ASSERT_NE(windows.main().pos(), place);
    windows.main().move(place);
    windows.main().viewWindows().overview().table->sortByColumn(TOverviewModel::ColLoss15,
                                                                Qt::DescendingOrder);
    windows.main().close();
  }
  TProgramWindows windows(clock, echo.service());
  windows.main().Timer1->stop();
  EXPECT_EQ(windows.main().pos(), place);
  TViewWindows& views = windows.main().viewWindows();
  const QHeaderView* header = views.overview().table->horizontalHeader();
  EXPECT_EQ(header->sortIndicatorSection(), TOverviewModel::ColLoss15);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

  const TLiveHost& gateway = views.liveStats().hosts().begin()->second;
  ASSERT_TRUE(uitest::waitUntil([&] { return gateway.seeded && gateway.sparkCount > 0; }));
  const TLiveFigures figures = TLiveStats::figures(gateway);
  EXPECT_EQ(figures.windowSent, sent);
  EXPECT_EQ(figures.windowLost, lost);
  EXPECT_EQ(figures.sparkCount, SparkEchoes);
  EXPECT_EQ(figures.runSent, 0);  // this run has sent nothing yet
  views.overview().refresh();
  EXPECT_EQ(views.overview().model->text(0, TOverviewModel::ColLoss15).toStdString(),
            lossText(figures.windowLossPercent()));
  EXPECT_FALSE(views.overview().model->text(0, TOverviewModel::ColLoss15).isEmpty());

  QPointer<THistoryWindow> history = views.showHistory({gateway.runId});
  ASSERT_TRUE(history);
  EXPECT_EQ(history->rangeButtons->checkedId(), THistoryWindow::Hour);
  windows.main().close();
}

}  // namespace
