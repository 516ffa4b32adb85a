// The Path window on rounds stored in a real results database: hops in order with their figures,
// a router that limits its answers told apart from loss, and the range chosen.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QSqlDatabase>
#include <QTableWidget>
#include <QTemporaryDir>

#include "history/historyschema.h"
#include "history/pathrecords.h"
#include "ui/views/pathwindow.h"

TEST(PathWindow, ListsHopsAndTellsALimitingRouterFromLoss) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("history.sqlite").toStdString();
  constexpr std::int64_t Now = 1'780'000'000'000;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "path-window-fill");
    db.setDatabaseName(QString::fromStdString(path));
    ASSERT_TRUE(db.open());
    int version = 0;
    QSqlError error;
    ASSERT_EQ(prepareSchema(db, version, error), TSchemaResult::Ready);
    // Four rounds in the last hour; router 2 answers every other one, the host every time. One
    // older round (two hours ago) lost everything after hop 1.
    for (int i = 0; i < 4; ++i) {
      THistoryPathRound round{"192.0.2.14", Now - (4 - i) * 60'000, "schedule", true, {}};
      round.hops.push_back({1, "192.0.2.2", "r1.example", 1000 + i * 100});
      if (i % 2 == 0) {
        round.hops.push_back({2, "192.0.2.6", "", 2000});
      } else {
        round.hops.push_back({2, "", "", std::nullopt});
      }
      round.hops.push_back({3, "192.0.2.14", "host.example", 3000});
      ASSERT_TRUE(storePathRound(db, round, error)) << error.text().toStdString();
    }
    THistoryPathRound old{"192.0.2.14", Now - 2 * 3'600'000, "down", false, {}};
    old.hops = {{1, "192.0.2.2", "r1.example", 900}, {2, "", "", std::nullopt}};
    ASSERT_TRUE(storePathRound(db, old, error));
    EXPECT_EQ(lastHopText(*lastHopDuring(db, "192.0.2.14", Now - 3 * 3'600'000, Now)),
              "hop 1, 192.0.2.2 (r1.example)");
  }
  QSqlDatabase::removeDatabase("path-window-fill");

  TPathWindow window([&] { return path; }, [] { return Now; });
  window.showHost("192.0.2.14", "far");
  ASSERT_EQ(window.tbHops->rowCount(), 3);
  const auto cell = [&](int row, int column) { return window.tbHops->item(row, column)->text(); };
  EXPECT_EQ(cell(0, 1), "192.0.2.2");
  EXPECT_EQ(cell(0, 2), "r1.example");
  EXPECT_EQ(cell(0, 3), "0.0");
  EXPECT_EQ(cell(0, 4), "1.3");  // the last round's
  EXPECT_EQ(cell(0, 6), "1.0");
  EXPECT_EQ(cell(0, 7), "1.3");
  EXPECT_EQ(cell(1, 3), "router limits its answers");
  EXPECT_EQ(cell(2, 2), "host.example");
  EXPECT_EQ(cell(2, 3), "0.0");
  EXPECT_FALSE(window.lblNote->text().isEmpty());

  // Over 24 hours the older round counts too: hop 2 loses 3 of 5, still passing probes on.
  window.cbRange->setCurrentIndex(1);
  ASSERT_EQ(window.tbHops->rowCount(), 3);
  EXPECT_EQ(cell(0, 3), "0.0");
  EXPECT_EQ(cell(1, 3), "router limits its answers");
}
