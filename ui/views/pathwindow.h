#pragma once
// The Path window: the hops of one host's path over a chosen range (the last hour, 24 hours, 7
// days, 30 days or a year), from the results database, as rows: hop, address, name, loss %, last,
// mean, best, worst, jitter and a sparkline of the hop's round trip; under them a chart of every
// hop's round trip over the range (the hops selected in the table, or all). A hop whose router
// limits its answers (loss that does not go on to later hops) says so instead of showing loss, with
// one line below the table explaining why. Route changes are marked on the chart, and the address
// of a hop whose route changed in the range says so.
//
// The three short ranges read the stored rounds. The two long ones read the per-hop summaries of
// the rounds and the rounds after them: rounds are kept for some days only, and a month of them
// would be over a million hop answers to read for a chart two thousand pixels wide at most. Route
// changes are kept as long as rounds; a long range says from when on it marks them.
//
// While shown, the window follows the present: every few seconds it reads the rounds stored since
// the last one it has (only those) and the range slides with the clock.

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "history/pathrecords.h"
#include "history/pathsummaries.h"
#include "pathwatch/pathbuckets.h"

class QComboBox;
class QLabel;
class QTableWidget;
class QTimer;
class TPathChart;
class TPathSparkline;
struct TPathHopRow;

class TPathWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TPathWindow(std::function<std::string()> databasePath,
                       std::function<std::int64_t()> nowMs = {}, QWidget* parent = nullptr);

  // Shows the path of the host at `address` ("name" in the title).
  void showHost(const std::string& address, const std::string& name);
  // Reads the whole range again.
  void reload();
  // Takes the rounds stored since the last one shown and moves the range to the present.
  void follow();
  const std::string& hostAddress() const { return address; }

  // How often a shown window looks for new rounds.
  static constexpr int FollowIntervalMs = 10'000;
  static constexpr int TableColumns = 10;
  static constexpr int SparkColumn = 9;
  // Ranges longer than this are read from the summaries.
  static constexpr std::int64_t LongestRoundsRangeMs = 7 * 86'400'000LL;

  QTableWidget* tbHops = nullptr;
  QLabel* lblNote = nullptr;
  QComboBox* cbRange = nullptr;
  TPathChart* chart = nullptr;
  // Milliseconds the last reload took (for the benchmark).
  std::int64_t lastLoadMs = 0;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void rebuild();
  void fillTable(const std::vector<TPathHopRow>& rows);
  void chooseHops();
  void fitSparkColumn();
  bool fromSummaries() const;

  std::function<std::string()> pathOf;
  std::function<std::int64_t()> clock;
  std::string address;
  std::int64_t fromMs = 0;
  std::int64_t toMs = 0;
  std::vector<THistoryPathRound> rounds;     // of the range (of a long one: after the summaries)
  TPathSummaryRange summaries;               // of a long range
  std::optional<std::int64_t> firstRoundMs;  // the oldest round kept, for a long range
  std::vector<TRouteChange> changes;         // of the range
  std::vector<TPathHopBuckets> buckets;
  std::int64_t gapMs = 0;  // answered steps further apart are not joined
  TPathSparkline* sparkline = nullptr;
  QTimer* tmrFollow = nullptr;
};
