// The outages window on a real results database: outages of two hosts in order, the host filter,
// the date range, exports in the report's forms, and a missing database.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>

#include "history/historyfill.h"
#include "ui/views/outageswindow.h"

namespace {

constexpr std::int64_t Now = 1'780'000'000'000 / 60'000 * 60'000;
constexpr std::int64_t Hour = 3'600'000;

class OutagesWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new QTemporaryDir;
    // Every 10 s for 6 hours; gateway silent for 2 minutes 5 hours ago, nas for 40 s an hour ago
    // and again from 50 s before now, when the filling monitor stopped.
    ASSERT_TRUE(fillHistory(
        path(), {{"gateway", "gw.lan", "127.0.0.1"}, {"nas, main", "nas.lan", "127.0.0.2"}},
        {.fromMs = Now - 6 * Hour,
         .toMs = Now,
         .stepMs = 10'000,
         .rttOf = [](std::size_t host, std::int64_t t) -> std::int64_t {
           const bool lost =
               host == 0 ? (t >= Now - 5 * Hour && t < Now - 5 * Hour + 120'000)
                         : ((t >= Now - Hour && t < Now - Hour + 40'000) || t >= Now - 50'000);
           return lost ? -1 : 900;
         },
         .nowMs = Now}));
  }
  static void TearDownTestSuite() { delete dir; }
  static std::string path() { return dir->filePath("history.sqlite").toStdString(); }

  QString cell(int row, int column) const { return window.tbOutages->item(row, column)->text(); }

  static QTemporaryDir* dir;
  TOutagesWindow window{[] { return path(); }, [] { return Now; }};
};
QTemporaryDir* OutagesWindowTest::dir = nullptr;

TEST_F(OutagesWindowTest, ListsEveryOutageOfTheLastDayInOrderAndFiltersByHost) {
  window.show();
  ASSERT_EQ(window.tbOutages->rowCount(), 3);
  EXPECT_EQ(cell(0, 0), "gateway");
  EXPECT_EQ(cell(0, 3), "2 min 0 s");
  EXPECT_EQ(cell(0, 4), "12");
  EXPECT_EQ(cell(1, 0), "nas, main");
  EXPECT_EQ(cell(1, 3), "40 s");
  EXPECT_TRUE(cell(2, 2).endsWith(":50 (monitoring stopped)")) << cell(2, 2).toStdString();
  EXPECT_EQ(cell(2, 4), "5");
  EXPECT_EQ(window.lblStatus->text(), "3 outages");
  EXPECT_EQ(window.outages()[0].outage.startMs, Now - 5 * Hour);

  window.cbHost->setCurrentIndex(window.cbHost->findText("gateway (127.0.0.1)"));
  window.btnShow->click();
  ASSERT_EQ(window.tbOutages->rowCount(), 1);
  EXPECT_EQ(cell(0, 0), "gateway");

  window.cbHost->setCurrentIndex(0);  // all hosts, the last two hours only
  window.setRange(Now - 2 * Hour, Now);
  EXPECT_EQ(window.tbOutages->rowCount(), 2);
}

TEST_F(OutagesWindowTest, ExportsCsvAndJsonWithOffsetTimes) {
  window.show();
  const QString csvPath = dir->filePath("outages.csv");
  const QString jsonPath = dir->filePath("outages.json");
  ASSERT_TRUE(window.exportFile(csvPath, false));
  ASSERT_TRUE(window.exportFile(jsonPath, true));
  QFile csv(csvPath), json(jsonPath);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly) && json.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 4);
  EXPECT_EQ(lines[0], "host,host_name,address,start,end,duration_s,lost,end_reason,last_hop");
  const QRegularExpression iso("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d");
  EXPECT_TRUE(QRegularExpression("^gateway,gw.lan,127.0.0.1," + iso.pattern() + "," +
                                 iso.pattern() + ",120.000,12,answered,$")
                  .match(lines[1])
                  .hasMatch())
      << lines[1].toStdString();
  EXPECT_TRUE(lines[2].startsWith("\"nas, main\",nas.lan,"));
  EXPECT_TRUE(lines[3].endsWith(",40.000,5,monitoring stopped,")) << lines[3].toStdString();

  const QString text = QString::fromUtf8(json.readAll());
  EXPECT_TRUE(text.startsWith("[\n {\"host\": \"gateway\", \"host_name\": \"gw.lan\""));
  EXPECT_TRUE(text.contains("\"end_reason\": \"monitoring stopped\", \"last_hop\": null}\n]"));
  EXPECT_EQ(text.count("\"duration_s\": "), 3);
}

TEST_F(OutagesWindowTest, AMissingDatabaseIsNamedAndNothingExports) {
  TOutagesWindow missing([] { return dir->filePath("none/history.sqlite").toStdString(); },
                         [] { return Now; });
  missing.show();
  EXPECT_EQ(missing.tbOutages->rowCount(), 0);
  EXPECT_TRUE(missing.lblStatus->text().contains("There is no history database"));
  EXPECT_FALSE(missing.btnExportCsv->isEnabled());
}

}  // namespace
