// Several hosts edited at once from the overview, in the real program: changed fields reach every
// chosen host, fields left as shown keep each host's own value, faults show next to their fields.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "alerts/alertsettings.h"
#include "config/settings.h"
#include "core/tolvohosts.h"
#include "mainwindowtestsupport.h"
#include "ui/standard/edithostsdialog.h"
#include "ui/views/overviewmodel.h"
#include "ui/views/overviewwindow.h"
#include "ui/program/programwindows.h"
#include "ui/program/tfrmmain.h"
#include "ui/program/viewwindows.h"

namespace {

TEST(EditHostsInProgram, ChangedFieldsReachEveryChosenHostAndTheOthersKeepTheirOwn) {
  uitest::TProgramFiles files;
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}, {"nas", "127.0.0.2"}, {"printer", "127.0.0.3"}});
  TManualClock clock{encodeDateTime(2026, 5, 14, 10, 0, 0)};
  uitest::TFakeEcho echo;
  TProgramWindows windows(clock, echo.service());
  windows.main().Timer1->stop();
  TTolvoHosts& hosts = *windows.main().hostList();
  hosts.hostAt(1)->interval = 5;
  hosts.hostAt(2)->interval = 10;
  const int printerTimeout = hosts.hostAt(3)->timeout;
  TOverviewWindow& overview = windows.main().viewWindows().overview();
  overview.refresh();
  overview.selectHosts({hosts.hostAt(1)->runId, hosts.hostAt(2)->runId});

  QString intervalShown, note, refusal;
  bool okWhileRefused = true, closedByEnter = false;
  QTimer::singleShot(50, [&] {
    auto* dialog = qobject_cast<TfrmEditHosts*>(QApplication::activeModalWidget());
    if (!dialog) return;
    intervalShown = dialog->edInterval->text();
    dialog->edInterval->setText(QStringLiteral("2"));
    note = dialog->lblInterval->text();
    dialog->edInterval->setText(intervalShown);  // back as shown: each keeps its own
    dialog->edTimeout->setText(QStringLiteral("50"));
    refusal = dialog->lblTimeout->text();
    okWhileRefused = dialog->btnOk->isEnabled();
    dialog->edTimeout->setText(QStringLiteral("1500"));
    dialog->edDownAfter->setText(QStringLiteral("6"));
    dialog->cbNotify->setCheckState(Qt::Unchecked);
    QTest::keyClick(dialog->edDownAfter, Qt::Key_Return);  // Enter is OK
    closedByEnter = !dialog->isVisible();
    if (!closedByEnter) dialog->reject();
  });
  ASSERT_TRUE(overview.actEdit->isEnabled());
  overview.actEdit->trigger();  // returns when the dialog has closed

  ASSERT_TRUE(closedByEnter);
  EXPECT_EQ(intervalShown, "");  // the two differ
  EXPECT_EQ(note, "pinged every 3 seconds: no host is pinged more often");
  EXPECT_EQ(refusal, "a whole number of milliseconds from 100 to 60000");
  EXPECT_FALSE(okWhileRefused);
  EXPECT_EQ(hosts.hostAt(1)->interval, 5);
  EXPECT_EQ(hosts.hostAt(2)->interval, 10);
  EXPECT_EQ(hosts.hostAt(1)->timeout, 1500);
  EXPECT_EQ(hosts.hostAt(2)->timeout, 1500);
  EXPECT_EQ(hosts.hostAt(3)->timeout, printerTimeout);
  const TAlertSettings alerts = TAlertSettings::load({"127.0.0.1", "127.0.0.2", "127.0.0.3"});
  EXPECT_EQ(alerts.lostToDownFor("127.0.0.1"), 6);
  EXPECT_EQ(alerts.lostToDownFor("127.0.0.2"), 6);
  EXPECT_EQ(alerts.lostToDownFor("127.0.0.3"), alerts.lostToDown);
  EXPECT_FALSE(alerts.notifyFor("127.0.0.2"));
  EXPECT_TRUE(alerts.notifyFor("127.0.0.3"));
  // Saved at once.
  TTolvoHosts reread;
  ASSERT_TRUE(reread.loadFromFile(settings.hosts_file_name));
  EXPECT_EQ(reread.hostAt(2)->timeout, 1500);
  EXPECT_EQ(reread.hostAt(2)->interval, 10);
  windows.main().close();
}

}  // namespace
