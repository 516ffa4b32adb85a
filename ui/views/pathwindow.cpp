#include "pathwindow.h"

#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>

#include "pathchart.h"
#include "pathsparkline.h"
#include "pathwatch/pathhoprows.h"
#include "pathwatch/pathsummaryrows.h"
#include "ui/common/windowfit.h"

namespace {

constexpr std::int64_t HourMs = 3'600'000;
// Steps across the chart: about one per two pixels of a wide window.
constexpr int ChartSteps = 600;
std::atomic<int> windowCount{0};

// One decimal from a millisecond up; below it three, so that a round trip inside a LAN does not
// read as "0.0" (nothing) next to the chart's scale.
QString milliseconds(double micros) {
  const double ms = micros / 1000.0;
  return QString::number(ms, 'f', ms < 1 ? 3 : 1);
}

// Runs `read` on the results database over a read-only connection of its own (not at all when the
// file cannot be opened).
template <typename Read>
void readDatabase(const std::string& path, Read read) {
  const QString name = QStringLiteral("sorvelo-path-window-%1").arg(++windowCount);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(QString::fromStdString(path));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=1000"));
    if (db.open()) read(db);
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
}

// The rounds of `address` after `afterMs` up to `toMs`, and the route changes then.
void readRounds(const std::string& path, const std::string& address, std::int64_t afterMs,
                std::int64_t toMs, std::vector<THistoryPathRound>& rounds,
                std::vector<TRouteChange>& changes) {
  readDatabase(path, [&](QSqlDatabase& db) {
    rounds = pathRounds(db, address, afterMs + 1, toMs);
    changes = routeChanges(db, address, afterMs + 1, toMs);
  });
}

// The start of the oldest round of `address` the file keeps.
std::optional<std::int64_t> firstRound(QSqlDatabase& db, const std::string& address) {
  QSqlQuery q(db);
  q.prepare(QStringLiteral("SELECT min(round_ms) FROM path_rounds WHERE address = ?"));
  q.addBindValue(QString::fromStdString(address));
  if (!q.exec() || !q.next() || q.value(0).isNull()) return std::nullopt;
  return q.value(0).toLongLong();
}

// Three of the rounds' usual spacings (the median): rounds further apart left a gap.
std::int64_t joinDistance(const std::vector<THistoryPathRound>& rounds) {
  std::vector<std::int64_t> spacings;
  for (std::size_t i = 1; i < rounds.size(); ++i)
    spacings.push_back(rounds[i].roundMs - rounds[i - 1].roundMs);
  if (spacings.empty()) return 0;
  std::nth_element(spacings.begin(),
                   spacings.begin() + static_cast<std::ptrdiff_t>(spacings.size() / 2),
                   spacings.end());
  return 3 * spacings[spacings.size() / 2];
}

bool answeredIn(const THistoryPathRound& round, int hop) {
  return std::any_of(round.hops.begin(), round.hops.end(), [hop](const THistoryHop& h) {
    return h.hop == hop && !h.address.empty();
  });
}

QString timeText(std::int64_t ms) {
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

}  // namespace

TPathWindow::TPathWindow(std::function<std::string()> databasePath,
                         std::function<std::int64_t()> nowMs, QWidget* parent)
    : QWidget(parent, Qt::Window), pathOf(std::move(databasePath)), clock(std::move(nowMs)) {
  if (!clock) clock = [] { return QDateTime::currentMSecsSinceEpoch(); };
  setObjectName(QStringLiteral("frmPath"));
  setWindowTitle(QStringLiteral("Path"));
  cbRange = new QComboBox(this);
  cbRange->addItem(QStringLiteral("Last hour"), QVariant::fromValue<qlonglong>(HourMs));
  cbRange->addItem(QStringLiteral("Last 24 hours"), QVariant::fromValue<qlonglong>(24 * HourMs));
  cbRange->addItem(QStringLiteral("Last 7 days"), QVariant::fromValue<qlonglong>(7 * 24 * HourMs));
  cbRange->addItem(QStringLiteral("Last 30 days"),
                   QVariant::fromValue<qlonglong>(30 * 24 * HourMs));
  cbRange->addItem(QStringLiteral("Last year"), QVariant::fromValue<qlonglong>(365 * 24 * HourMs));
  connect(cbRange, &QComboBox::currentIndexChanged, this, [this] { reload(); });
  tbHops = new QTableWidget(0, TableColumns, this);
  tbHops->setHorizontalHeaderLabels({QStringLiteral("Hop"), QStringLiteral("Address"),
                                     QStringLiteral("Name"), QStringLiteral("Loss %"),
                                     QStringLiteral("Last ms"), QStringLiteral("Mean ms"),
                                     QStringLiteral("Best ms"), QStringLiteral("Worst ms"),
                                     QStringLiteral("Jitter ms"), QStringLiteral("Round trip")});
  tbHops->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tbHops->setSelectionBehavior(QAbstractItemView::SelectRows);
  tbHops->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tbHops->verticalHeader()->hide();
  // The sparkline takes the width the other columns leave, but never less than its caption
  // needs: on a narrow screen the table scrolls sideways instead (a stretched last column
  // would be squeezed below its caption).
  tbHops->viewport()->installEventFilter(this);
  sparkline = new TPathSparkline(tbHops);
  sparkline->bucketsOf = [this](int row) -> const std::vector<TPathBucket>* {
    return row >= 0 && row < static_cast<int>(buckets.size())
               ? &buckets[static_cast<std::size_t>(row)].buckets
               : nullptr;
  };
  tbHops->setItemDelegateForColumn(SparkColumn, sparkline);
  connect(tbHops, &QTableWidget::itemSelectionChanged, this, &TPathWindow::chooseHops);
  chart = new TPathChart(this);
  lblNote = new QLabel(this);
  lblNote->setWordWrap(true);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("Range"), this));
  top->addWidget(cbRange);
  top->addStretch(1);
  auto* tableAndNote = new QWidget(this);
  auto* upper = new QVBoxLayout(tableAndNote);
  upper->setContentsMargins(0, 0, 0, 0);
  upper->addWidget(tbHops, 1);
  upper->addWidget(lblNote);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(tableAndNote);
  split->addWidget(chart);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 1);
  split->setChildrenCollapsible(false);
  auto* column = new QVBoxLayout(this);
  column->addLayout(top);
  column->addWidget(split, 1);
  tmrFollow = new QTimer(this);
  tmrFollow->setInterval(FollowIntervalMs);
  connect(tmrFollow, &QTimer::timeout, this, &TPathWindow::follow);
  // Room for the table's ten columns and the chart; less on a small screen or at a large scale.
  resize(QSize(1000, 680).boundedTo(availableScreenSize(*this)));
}

void TPathWindow::showHost(const std::string& hostAddress, const std::string& name) {
  address = hostAddress;
  setWindowTitle(QStringLiteral("Path to %1 (%2)")
                     .arg(QString::fromStdString(name), QString::fromStdString(address)));
  reload();
}

void TPathWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  follow();
  tmrFollow->start();
}

void TPathWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  tmrFollow->stop();
}

void TPathWindow::reload() {
  QElapsedTimer timer;
  timer.start();
  toMs = clock() + 1;
  fromMs = toMs - cbRange->currentData().toLongLong();
  rounds.clear();
  changes.clear();
  summaries = {};
  firstRoundMs.reset();
  if (!address.empty() && fromSummaries()) {
    readDatabase(pathOf(), [this](QSqlDatabase& db) {
      summaries = pathSummaries(db, address, fromMs, toMs);
      firstRoundMs = firstRound(db, address);
      const std::int64_t roundsFrom = std::max(fromMs, pathSummariesEndMs(summaries));
      rounds = pathRounds(db, address, roundsFrom, toMs);
      changes = routeChanges(db, address, fromMs, toMs);
    });
  } else if (!address.empty()) {
    readRounds(pathOf(), address, fromMs - 1, toMs, rounds, changes);
  }
  rebuild();
  lastLoadMs = timer.elapsed();
}

void TPathWindow::follow() {
  if (address.empty()) return;
  const std::int64_t newTo = clock() + 1;
  if (newTo < toMs) {  // the clock stepped back: read it all again
    reload();
    return;
  }
  const std::int64_t after =
      rounds.empty() ? std::max(fromMs, pathSummariesEndMs(summaries)) - 1 : rounds.back().roundMs;
  std::vector<THistoryPathRound> added;
  std::vector<TRouteChange> addedChanges;
  readRounds(pathOf(), address, after, newTo, added, addedChanges);
  toMs = newTo;
  fromMs = toMs - cbRange->currentData().toLongLong();
  std::move(added.begin(), added.end(), std::back_inserter(rounds));
  std::move(addedChanges.begin(), addedChanges.end(), std::back_inserter(changes));
  std::erase_if(rounds, [this](const THistoryPathRound& r) { return r.roundMs < fromMs; });
  std::erase_if(changes, [this](const TRouteChange& c) { return c.atMs < fromMs; });
  const std::int64_t summaryMs = summaries.stepSeconds * 1000LL;
  for (TPathHopSeries& hop : summaries.hops)
    std::erase_if(hop.buckets,
                  [&](const TPathHopBucket& b) { return b.startMs + summaryMs <= fromMs; });
  rebuild();
}

void TPathWindow::rebuild() {
  const std::int64_t step = pathBucketStepMs(toMs - fromMs, ChartSteps);
  const bool summarised = fromSummaries();
  const std::vector<TPathHopRow> rows =
      summarised ? pathHopRowsFromSummaries(summaries, rounds, address) : pathHopRows(rounds);
  buckets = summarised ? pathHopBucketsFromSummaries(summaries, rounds, fromMs, toMs, step)
                       : pathHopBuckets(rounds, fromMs, toMs, step);
  // Rows are hops 1..n in order, as the buckets are; hops that never answered after the last
  // that did are left out of both.
  buckets.resize(std::min(buckets.size(), rows.size()));
  // Summarised steps follow each other; three of them missing is a gap.
  gapMs = summarised && summaries.stepSeconds > 0 ? 3 * summaries.stepSeconds * 1000LL
                                                  : joinDistance(rounds);
  sparkline->gapMs = gapMs;
  std::vector<TPathChartHop> hops;
  for (const TPathHopBuckets& h : buckets) hops.push_back({h.hop, pathHopColour(h.hop), h.buckets});
  chart->setRange(fromMs, toMs, step, gapMs);
  chart->setHops(std::move(hops));
  chart->setRouteChanges(changes);
  fillTable(rows);
}

void TPathWindow::fillTable(const std::vector<TPathHopRow>& rows) {
  tbHops->setRowCount(static_cast<int>(rows.size()));
  bool limited = false;
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const TPathHopRow& row = rows[static_cast<std::size_t>(r)];
    const THopStats& hop = row.stats;
    const bool answered = hop.received > 0;
    limited = limited || row.limitsAnswers;
    const QString loss = row.limitsAnswers ? QStringLiteral("router limits its answers")
                                           : QString::number(hop.lossPercent(), 'f', 1);
    QStringList changed;
    for (const TRouteChange& c : changes)
      if (c.hop == hop.hop)
        changed << QStringLiteral("%1  %2 \u2192 %3")
                       .arg(timeText(c.atMs), QString::fromStdString(c.before),
                            QString::fromStdString(c.after));
    // "Last" is the newest round's: a hop that stopped answering (a cut behind the router before
    // it) must not go on showing the round trip of a round before.
    const bool lastLost = answered && !rounds.empty() && !answeredIn(rounds.back(), hop.hop);
    QString where = answered ? QString::fromStdString(hop.lastAddress) : QStringLiteral("*");
    if (!changed.isEmpty()) where += QStringLiteral(" (route changed)");
    const QString texts[] = {
        QString::number(hop.hop),
        where,
        QString::fromStdString(row.name),
        loss,
        lastLost ? QStringLiteral("lost")
        : answered ? milliseconds(static_cast<double>(hop.lastMicros))
                   : QString(),
        answered ? milliseconds(hop.meanMicros) : QString(),
        answered ? milliseconds(static_cast<double>(hop.bestMicros)) : QString(),
        answered ? milliseconds(static_cast<double>(hop.worstMicros)) : QString(),
        answered ? milliseconds(hop.stdevMicros()) : QString(),
        QString()};
    for (int c = 0; c < TableColumns; ++c) {
      auto* item = new QTableWidgetItem(texts[c]);
      if (c >= 3 && c <= 8) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      tbHops->setItem(r, c, item);
    }
    tbHops->item(r, 0)->setData(Qt::DecorationRole, pathHopColour(hop.hop));
    if (!changed.isEmpty())
      tbHops->item(r, 1)->setToolTip(QStringLiteral("Route changed in this range:\n") +
                                     changed.join(QLatin1Char('\n')));
  }
  // Column by column: resizing the sparkline's to its contents would end its stretch.
  for (int c = 0; c < TableColumns; ++c)
    if (c != SparkColumn) tbHops->resizeColumnToContents(c);
  fitSparkColumn();
  if (rows.empty()) {
    lblNote->setText(
        QStringLiteral("No path rounds of this host in this range; path tracing is "
                       "switched on per host in [paths] of the settings file."));
  } else {
    QStringList notes;
    if (limited)
      notes << QStringLiteral(
          "Routers marked \"router limits its answers\" answer only some "
          "probes themselves but pass the others on: later hops answer, "
          "so this is no loss on the path.");
    if (fromSummaries() && !firstRoundMs)
      notes << QStringLiteral("Route changes are kept as long as path rounds: none are kept now.");
    else if (fromSummaries() && *firstRoundMs > fromMs)
      notes << QStringLiteral("Route changes are kept as long as path rounds: marked from %1 on.")
                   .arg(timeText(*firstRoundMs));
    lblNote->setText(notes.join(QLatin1Char(' ')));
  }
  lblNote->setVisible(!lblNote->text().isEmpty());
  chooseHops();
}

void TPathWindow::chooseHops() {
  std::vector<int> hops;
  for (const QModelIndex& index : tbHops->selectionModel()->selectedRows())
    hops.push_back(index.row() + 1);
  chart->setShownHops(std::move(hops));
}

bool TPathWindow::fromSummaries() const {
  return cbRange->currentData().toLongLong() > LongestRoundsRangeMs;
}

void TPathWindow::fitSparkColumn() {
  int used = 0;
  for (int c = 0; c < TableColumns; ++c)
    if (c != SparkColumn) used += tbHops->columnWidth(c);
  const QFontMetrics metrics(tbHops->horizontalHeader()->font());
  const int least = metrics.horizontalAdvance(QStringLiteral("Round trip")) +
                    4 * metrics.averageCharWidth();
  tbHops->setColumnWidth(SparkColumn, std::max(least, tbHops->viewport()->width() - used));
}

bool TPathWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tbHops->viewport() && event->type() == QEvent::Resize) fitSparkColumn();
  return QWidget::eventFilter(watched, event);
}
