#pragma once
// The overview's rows: one per host of the list, from the live figures (livestats.h). The texts of
// every row are made once per refresh, so painting, sorting and copying only read them.

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "livestats.h"
#include "sparkcolumns.h"

Q_DECLARE_METATYPE(TSparkTrail)

class TOverviewModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column {
    ColState,
    ColName,
    ColAddress,
    ColLast,
    ColLoss15,
    ColLossRun,
    ColMin,
    ColMean,
    ColMax,
    ColJitter,
    ColSpark,
    ColumnCount
  };
  // Numbers to sort by (a double; hosts without a figure sort last).
  static constexpr int SortRole = Qt::UserRole;
  // The last echoes for the sparkline: a QList<qint64> of round trips, -1 for a lost echo.
  static constexpr int SparkRole = Qt::UserRole + 1;
  // The sparkline on a time scale: a TSparkTrail (sparkcolumns.h) of the last 10 minutes.
  static constexpr int SparkTrailRole = Qt::UserRole + 40;
  // The spans of [from, to) in which nothing was monitored, for the sparklines (none when unset).
  std::function<std::vector<TTimeSpan>(std::int64_t from, std::int64_t to)> unmonitored;
  static constexpr int RunIdRole = Qt::UserRole + 2;

  // nowMs gives the wall clock in UTC milliseconds (the engine's time of sending).
  TOverviewModel(TLiveStats& stats, std::function<std::int64_t()> nowMs, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Takes up added, deleted and edited hosts and new figures.
  void refresh();
  // Marks a host degraded (shown in amber while it is otherwise OK) or clears the mark.
  void setHostFlag(std::uint64_t runId, bool degraded);

  std::uint64_t runIdAt(int row) const;
  int rowOf(std::uint64_t runId) const;
  QString text(int row, int column) const;
  TLiveState stateAt(int row) const;
  // The figures behind a row's texts (the export writes them as plain numbers).
  TLiveFigures figuresAt(int row) const;
  // The colour of a state's text on a background of this lightness (0-255).
  static QColor stateColour(TLiveState state, int backgroundLightness);

 signals:
  // The set of rows or a host's names changed.
  void rowsChanged();

 private:
  struct TRow {
    std::uint64_t runId = 0;
    TLiveFigures figures;
    std::array<QString, ColumnCount> texts;
  };
  void syncRows();
  // True when anything shown changed.
  bool fillRow(TRow& row, const TLiveHost& host) const;
  double sortKey(const TRow& row, int column) const;

  TLiveStats& stats;
  std::function<std::int64_t()> nowMs;
  std::vector<TRow> rows;
  std::uint64_t seenVersion = ~std::uint64_t{0};
};
