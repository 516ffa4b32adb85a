#include "overviewmodel.h"

#include <QApplication>
#include <QPalette>

#include <limits>

namespace {

const char* const Titles[TOverviewModel::ColumnCount] = {
    "State", "Name", "Address", "Last",   "Loss 15 min",   "Loss run",
    "Min",   "Mean", "Max",     "Jitter", "Last 10 minutes"};

QString stateText(TLiveState state) {
  switch (state) {
    case TLiveState::Ok:
      return QStringLiteral("OK");
    case TLiveState::Down:
      return QStringLiteral("Down");
    case TLiveState::Degraded:
      return QStringLiteral("Degraded");
    default:
      return QStringLiteral("Unknown");
  }
}

QString q(const std::string& text) { return QString::fromStdString(text); }

// Dotted addresses in numeric order ("127.0.0.2" before "127.0.0.10"): each part padded to three
// digits. Other texts (names, IPv6) sort after them as they are.
QString addressSortKey(const QString& address) {
  const QStringList parts = address.split(QLatin1Char('.'));
  bool numeric = parts.size() == 4;
  QString key;
  for (const QString& part : parts) {
    bool ok = false;
    const uint value = part.toUInt(&ok);
    numeric = numeric && ok && value <= 255;
    key += QStringLiteral("%1.").arg(value, 3, 10, QLatin1Char('0'));
  }
  return numeric ? QStringLiteral("0 ") + key : QStringLiteral("1 ") + address.toCaseFolded();
}

}  // namespace

TOverviewModel::TOverviewModel(TLiveStats& liveStats, std::function<std::int64_t()> clock,
                               QObject* parent)
    : QAbstractTableModel(parent), stats(liveStats), nowMs(std::move(clock)) {
  refresh();
}

int TOverviewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int TOverviewModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant TOverviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(Titles[section]);
  if (role == Qt::ToolTipRole && section == ColJitter)
    return QStringLiteral("Mean difference of consecutive round trips over the last 15 minutes");
  if (role == Qt::ToolTipRole && section == ColState) {
    const QString rule = q(stats.stateRule(std::string()));
    if (!rule.isEmpty()) return rule;
  }
  return {};
}

QVariant TOverviewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TRow& row = rows[static_cast<std::size_t>(index.row())];
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
      return row.texts[static_cast<std::size_t>(column)];
    case SortRole:
      if (column == ColName) return row.texts[ColName].toCaseFolded();
      if (column == ColAddress) return addressSortKey(row.texts[ColAddress]);
      return sortKey(row, column);
    case RunIdRole:
      return QVariant::fromValue(static_cast<qulonglong>(row.runId));
    case Qt::ToolTipRole:
      if (column != ColState) return {};
      {
        // The rule with this host's own numbers (a host may have its own K and M).
        const QString rule = q(stats.stateRule(row.texts[ColAddress].toStdString()));
        return rule.isEmpty() ? QVariant() : QVariant(rule);
      }
    case Qt::ForegroundRole:
      if (column != ColState) return {};
      return stateColour(row.figures.state,
                         QApplication::palette().color(QPalette::Base).lightness());
    case Qt::TextAlignmentRole:
      if (column >= ColLast && column <= ColJitter)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case SparkRole:
      if (column != ColSpark) return {};
      {
        QList<qint64> echoes;
        echoes.reserve(row.figures.sparkCount);
        for (int i = 0; i < row.figures.sparkCount; ++i)
          echoes.append(row.figures.spark[static_cast<std::size_t>(i)]);
        return QVariant::fromValue(echoes);
      }
    case SparkTrailRole:
      if (column != ColSpark) return {};
      {
        TSparkTrail trail{nowMs(), {}, {}};
        if (auto it = stats.hosts().find(row.runId); it != stats.hosts().end())
          trail.echoes = it->second.window.since(trail.nowMs - SparkSpanMs);
        if (unmonitored) trail.unmonitored = unmonitored(trail.nowMs - SparkSpanMs, trail.nowMs);
        return QVariant::fromValue(trail);
      }
    default:
      return {};
  }
}

QColor TOverviewModel::stateColour(TLiveState state, int backgroundLightness) {
  // Dark backgrounds get light tints, light ones dark tints; both keep a contrast of about 4.5:1.
  const bool dark = backgroundLightness < 128;
  switch (state) {
    case TLiveState::Ok:
      return dark ? QColor(120, 220, 120) : QColor(0, 118, 0);
    case TLiveState::Down:
      return dark ? QColor(255, 120, 120) : QColor(192, 0, 0);
    case TLiveState::Degraded:
      return dark ? QColor(255, 191, 64) : QColor(160, 95, 0);
    default:
      return dark ? QColor(170, 170, 170) : QColor(105, 105, 105);
  }
}

double TOverviewModel::sortKey(const TRow& row, int column) const {
  const TLiveFigures& f = row.figures;
  // Hosts without a figure sort after every host with one.
  const auto orLast = [](double value) {
    return value < 0 ? std::numeric_limits<double>::max() : value;
  };
  switch (column) {
    case ColState: {
      // Most urgent first: Down, Degraded, Unknown, OK.
      switch (f.state) {
        case TLiveState::Down:
          return 0;
        case TLiveState::Degraded:
          return 1;
        case TLiveState::Unknown:
          return 2;
        default:
          return 3;
      }
    }
    case ColLast:
      return orLast(static_cast<double>(f.lastRttMicros));
    case ColLoss15:
      return orLast(f.windowLossPercent());
    case ColLossRun:
      return orLast(f.runLossPercent());
    case ColMin:
      return orLast(static_cast<double>(f.minMicros));
    case ColMean:
      return orLast(f.meanMicros);
    case ColMax:
      return orLast(static_cast<double>(f.maxMicros));
    case ColJitter:
    case ColSpark:
      return orLast(f.jitterMicros);
    default:
      return static_cast<double>(row.runId);
  }
}

void TOverviewModel::refresh() {
  stats.evict(nowMs());
  syncRows();
  const auto& hosts = stats.hosts();
  // Only rows whose figures changed are announced, in runs of neighbours, so the view repaints
  // and re-sorts no more than it must (at 255 hosts most rows are unchanged from one second to
  // the next).
  int runStart = -1;
  const auto announce = [this, &runStart](int end) {
    if (runStart < 0) return;
    emit dataChanged(index(runStart, 0), index(end - 1, ColumnCount - 1),
                     {Qt::DisplayRole, Qt::ForegroundRole, SortRole, SparkRole});
    runStart = -1;
  };
  for (int r = 0; r < rowCount(); ++r) {
    TRow& row = rows[static_cast<std::size_t>(r)];
    auto it = hosts.find(row.runId);
    const bool changed = it != hosts.end() && fillRow(row, it->second);
    if (changed && runStart < 0) runStart = r;
    if (!changed) announce(r);
  }
  announce(rowCount());
  // The sparklines move with the clock even when no figure changed.
  if (rowCount() > 0)
    emit dataChanged(index(0, ColSpark), index(rowCount() - 1, ColSpark), {SparkTrailRole});
}

void TOverviewModel::syncRows() {
  if (seenVersion == stats.listVersion()) return;
  seenVersion = stats.listVersion();
  const auto& hosts = stats.hosts();
  for (int r = rowCount() - 1; r >= 0; --r) {
    if (hosts.count(rows[static_cast<std::size_t>(r)].runId)) continue;
    beginRemoveRows({}, r, r);
    rows.erase(rows.begin() + r);
    endRemoveRows();
  }
  // Run ids only grow, so hosts not yet shown come after every row.
  const std::uint64_t lastShown = rows.empty() ? 0 : rows.back().runId;
  std::vector<std::uint64_t> added;
  for (const auto& [id, host] : hosts)
    if (id > lastShown) added.push_back(id);
  if (!added.empty()) {
    beginInsertRows({}, rowCount(), rowCount() + static_cast<int>(added.size()) - 1);
    for (std::uint64_t id : added) rows.push_back({id, {}, {}});
    endInsertRows();
  }
  emit rowsChanged();
}

bool TOverviewModel::fillRow(TRow& row, const TLiveHost& host) const {
  const TLiveFigures before = row.figures;
  const std::array<QString, ColumnCount> textsBefore = row.texts;
  row.figures = TLiveStats::figures(host);
  const TLiveFigures& f = row.figures;
  auto& t = row.texts;
  t[ColState] = stateText(f.state);
  t[ColName] = q(host.callingName);
  t[ColAddress] = q(host.address);
  t[ColLast] =
      f.lastLost ? QStringLiteral("lost") : q(rttText(static_cast<double>(f.lastRttMicros)));
  t[ColLoss15] = q(lossText(f.windowLossPercent()));
  t[ColLossRun] = q(lossText(f.runLossPercent()));
  t[ColMin] = q(rttText(static_cast<double>(f.minMicros)));
  t[ColMean] = q(rttText(f.meanMicros));
  t[ColMax] = q(rttText(static_cast<double>(f.maxMicros)));
  t[ColJitter] = q(rttText(f.jitterMicros));
  return t != textsBefore || f.state != before.state || f.sparkCount != before.sparkCount ||
         f.spark != before.spark;
}

void TOverviewModel::setHostFlag(std::uint64_t runId, bool degraded) {
  stats.setHostFlag(runId, degraded);
  const int r = rowOf(runId);
  if (r < 0) return;
  auto it = stats.hosts().find(runId);
  if (it != stats.hosts().end()) fillRow(rows[static_cast<std::size_t>(r)], it->second);
  emit dataChanged(index(r, ColState), index(r, ColState));
}

std::uint64_t TOverviewModel::runIdAt(int row) const {
  return row >= 0 && row < rowCount() ? rows[static_cast<std::size_t>(row)].runId : 0;
}

int TOverviewModel::rowOf(std::uint64_t runId) const {
  for (std::size_t r = 0; r < rows.size(); ++r)
    if (rows[r].runId == runId) return static_cast<int>(r);
  return -1;
}

QString TOverviewModel::text(int row, int column) const {
  if (row < 0 || row >= rowCount() || column < 0 || column >= ColumnCount) return {};
  return rows[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)];
}

TLiveFigures TOverviewModel::figuresAt(int row) const {
  if (row < 0 || row >= rowCount()) return {};
  return rows[static_cast<std::size_t>(row)].figures;
}

TLiveState TOverviewModel::stateAt(int row) const {
  return row >= 0 && row < rowCount() ? rows[static_cast<std::size_t>(row)].figures.state
                                      : TLiveState::Unknown;
}
