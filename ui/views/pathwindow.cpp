#include "pathwindow.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSqlDatabase>
#include <QTableWidget>
#include <QVBoxLayout>

#include <atomic>

#include "pathwatch/pathhoprows.h"

namespace {

constexpr std::int64_t HourMs = 3'600'000;
std::atomic<int> windowCount{0};

QString milliseconds(double micros) { return QString::number(micros / 1000.0, 'f', 1); }

// The rounds of `address` in [fromMs, toMs) over a read-only connection of their own.
std::vector<THistoryPathRound> readRounds(const std::string& path, const std::string& address,
                                          std::int64_t fromMs, std::int64_t toMs) {
  const QString name = QStringLiteral("sorvelo-path-window-%1").arg(++windowCount);
  std::vector<THistoryPathRound> rounds;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(QString::fromStdString(path));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=1000"));
    if (db.open()) rounds = pathRounds(db, address, fromMs, toMs);
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
  return rounds;
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
  connect(cbRange, &QComboBox::currentIndexChanged, this, [this] { reload(); });
  tbHops = new QTableWidget(0, 9, this);
  tbHops->setHorizontalHeaderLabels(
      {QStringLiteral("Hop"), QStringLiteral("Address"), QStringLiteral("Name"),
       QStringLiteral("Loss %"), QStringLiteral("Last ms"), QStringLiteral("Mean ms"),
       QStringLiteral("Best ms"), QStringLiteral("Worst ms"), QStringLiteral("Jitter ms")});
  tbHops->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tbHops->verticalHeader()->hide();
  lblNote = new QLabel(this);
  lblNote->setWordWrap(true);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("Range"), this));
  top->addWidget(cbRange);
  top->addStretch(1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(top);
  column->addWidget(tbHops, 1);
  column->addWidget(lblNote);
  resize(760, 360);
}

void TPathWindow::showHost(const std::string& hostAddress, const std::string& name) {
  address = hostAddress;
  setWindowTitle(QStringLiteral("Path to %1 (%2)")
                     .arg(QString::fromStdString(name), QString::fromStdString(address)));
  reload();
}

void TPathWindow::reload() {
  const std::int64_t now = clock();
  const std::int64_t from = now - cbRange->currentData().toLongLong();
  const std::vector<TPathHopRow> rows = pathHopRows(readRounds(pathOf(), address, from, now + 1));
  tbHops->setRowCount(static_cast<int>(rows.size()));
  bool limited = false;
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const TPathHopRow& row = rows[static_cast<std::size_t>(r)];
    const THopStats& hop = row.stats;
    const bool answered = hop.received > 0;
    limited = limited || row.limitsAnswers;
    const QString loss = row.limitsAnswers
                             ? QStringLiteral("router limits its answers")
                             : QString::number(hop.lossPercent(), 'f', 1);
    const QString texts[] = {
        QString::number(hop.hop),
        answered ? QString::fromStdString(hop.lastAddress) : QStringLiteral("*"),
        QString::fromStdString(row.name),
        loss,
        answered ? milliseconds(static_cast<double>(hop.lastMicros)) : QString(),
        answered ? milliseconds(hop.meanMicros) : QString(),
        answered ? milliseconds(static_cast<double>(hop.bestMicros)) : QString(),
        answered ? milliseconds(static_cast<double>(hop.worstMicros)) : QString(),
        answered ? milliseconds(hop.stdevMicros()) : QString()};
    for (int c = 0; c < 9; ++c) tbHops->setItem(r, c, new QTableWidgetItem(texts[c]));
  }
  tbHops->resizeColumnsToContents();
  if (rows.empty()) {
    lblNote->setText(QStringLiteral("No path rounds of this host in this range; path tracing is "
                                     "switched on per host in [paths] of the settings file."));
  } else if (limited) {
    lblNote->setText(QStringLiteral("Routers marked \"router limits its answers\" answer only some "
                                    "probes themselves but pass the others on: later hops answer, "
                                    "so this is no loss on the path."));
  } else {
    lblNote->clear();
  }
}
