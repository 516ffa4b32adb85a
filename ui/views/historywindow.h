#pragma once
// A history window: the round trips of one host, or of several overlaid, from the results
// database. Ranges 1 h, 24 h, 7 d, 30 d or a custom one (it opens at the shortest that holds the
// hosts' results); the wheel zooms and dragging pans (also
// + / - and the arrow keys on the chart). Ranges up to three hours show every echo, longer ones the
// summaries; outages are marked for ranges up to two days. The shown range exports as CSV (times
// in ISO 8601 with their UTC offset) and PNG. A host deleted while the window is open keeps what is
// shown; the window says so.
//
// Ranges up to 24 h follow the present once the engine's event stream is handed over
// (followEvents): new echoes of the shown hosts join the chart as they arrive and the range slides
// with the clock. Zooming or panning stops following until "Now" (or the End key) brings it back.
// Spans in which nothing was monitored come from the runs in the database; while following, they
// are read again every few seconds (only the runs, never the echoes).

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/engineevents.h"
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
  std::int64_t intervalMs = 0;  // the host's interval; 0: taken from its echoes
};

class THistoryWindow : public QWidget, private TEngineObserver {
  Q_OBJECT
 public:
  enum Range { Hour, Day, Week, Month, Custom };
  static constexpr std::int64_t RawSpanMs = 3 * 3'600'000LL;
  static constexpr std::int64_t OutageSpanMs = 2 * 86'400'000LL;
  static constexpr std::int64_t FollowSpanMs = 86'400'000LL;  // the longest range that follows

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

  // Takes new echoes from `events` from now on (unsubscribes when the window goes).
  void followEvents(TEngineEventHub& events);
  // Shows the newest stretch of the current span (24 h at most) and follows the present.
  void followNow();
  bool following() const { return isFollowing; }

  // The Path window of a shown host: Ctrl+T (the first host) or the chart's context menu.
  std::function<void(std::uint64_t runId)> onPath;

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
  QPushButton* btnNow = nullptr;
  QLabel* lblNotice = nullptr;
  QLabel* lblValues = nullptr;
  // Milliseconds the last reload took (for the benchmark and the tests).
  std::int64_t lastLoadMs = 0;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct THost {
    THistoryTarget target;
    std::optional<THistoryHost> stored;
    bool deleted = false;
    // The last answered echo read or seen and the lost ones after it: where outages change live.
    std::vector<THistoryEcho> sinceAnswer;
  };
  void buildControls();
  void buildPathActions();
  Range firstRange();
  void updateNotice();
  void exportCsvClick();
  void exportPngClick();
  void echoResult(const TTolvoHost& host, const TEchoResult& result) override;
  void setFollowing(bool on);
  void slide();
  void readRuns();
  QString pictureTitle() const;
  std::vector<THistorySummary> summariesFor(std::int64_t hostId, std::int64_t from, std::int64_t to,
                                            int points);

  std::unique_ptr<THistoryReader> reader;
  std::vector<THost> hosts;
  std::function<std::int64_t()> clock;
  QTimer* tmrReload = nullptr;
  QTimer* tmrSlide = nullptr;
  TEngineEventHub* eventHub = nullptr;
  bool isFollowing = false;
  std::int64_t runsReadMs = 0;  // when the runs were last read
  std::vector<std::int64_t> runBounds;  // of the last reload, for outages found live
  QString openError;
};
