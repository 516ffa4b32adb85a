#pragma once
// A history window: the round trips of one host, or of several overlaid, from the results
// database. Ranges 1 h, 24 h, 7 d, 30 d or a custom one (it opens at the shortest that holds the
// hosts' results); the wheel zooms and dragging pans (also
// + / - and the arrow keys on the chart). Ranges up to three hours show every echo, longer ones the
// summaries; outages are marked for ranges up to two days. The shown range exports as CSV (times
// in ISO 8601 with their UTC offset) and PNG. A host deleted while the window is open keeps what is
// shown; the window says so.

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/historytypes.h"

class QButtonGroup;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QTimer;
class THistoryChart;
class THistoryReader;

// A host of the running list, as the window is asked to show it.
struct THistoryTarget {
  std::uint64_t runId = 0;
  std::string callingName;
  std::string hostName;
  std::string address;
};

class THistoryWindow : public QWidget {
  Q_OBJECT
 public:
  enum Range { Hour, Day, Week, Month, Custom };
  static constexpr std::int64_t RawSpanMs = 3 * 3'600'000LL;
  static constexpr std::int64_t OutageSpanMs = 2 * 86'400'000LL;

  // nowMs: the wall clock in UTC milliseconds (tests pass their own).
  THistoryWindow(const std::string& databasePath, std::vector<THistoryTarget> targets,
                 std::function<std::int64_t()> nowMs = {}, QWidget* parent = nullptr);
  ~THistoryWindow() override;

  void showRange(Range range);
  void showCustom(std::int64_t fromMs, std::int64_t toMs);
  // Reads the shown range again.
  void reload();
  // The engine deleted a host: say so, keep what is shown.
  void hostDeleted(std::uint64_t runId);
  bool shows(std::uint64_t runId) const;
  std::vector<std::uint64_t> runIds() const;
  // Closes the read-only connection to the database; what is shown stays.
  void closeDatabase();

  bool exportCsv(const QString& path) const;
  // The chart with a title line: the hosts and the shown range.
  bool exportPng(const QString& path);

  THistoryChart* chart = nullptr;
  QButtonGroup* rangeButtons = nullptr;
  QDateTimeEdit* edFrom = nullptr;
  QDateTimeEdit* edTo = nullptr;
  QPushButton* btnShowCustom = nullptr;
  QPushButton* btnExportCsv = nullptr;
  QPushButton* btnExportPng = nullptr;
  QLabel* lblNotice = nullptr;
  QLabel* lblValues = nullptr;
  // Milliseconds the last reload took (for the benchmark and the tests).
  std::int64_t lastLoadMs = 0;

 private:
  struct THost {
    THistoryTarget target;
    std::optional<THistoryHost> stored;
    bool deleted = false;
  };
  void buildControls();
  Range firstRange();
  void updateNotice();
  void exportCsvClick();
  void exportPngClick();
  QString pictureTitle() const;
  std::vector<THistorySummary> summariesFor(std::int64_t hostId, std::int64_t from, std::int64_t to,
                                            int points);

  std::unique_ptr<THistoryReader> reader;
  std::vector<THost> hosts;
  std::function<std::int64_t()> clock;
  QTimer* tmrReload = nullptr;
  QString openError;
};
