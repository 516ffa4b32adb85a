#include "outageswindow.h"

#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "history/historyreader.h"

namespace {

constexpr std::int64_t DayMs = 86'400'000;

QString durationText(std::int64_t ms) {
  const std::int64_t s = ms / 1000;
  if (s < 60) return QStringLiteral("%1 s").arg(s);
  if (s < 3600) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
  return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

QString localTime(std::int64_t ms) {
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// "2026-12-08 18:00:00", "2026-12-08 18:00:00 (host deleted)", "ongoing".
QString endText(const TOutage& o) {
  if (!o.endMs) return QStringLiteral("ongoing");
  if (o.endedBy == TOutageEnd::Answered) return localTime(*o.endMs);
  return QStringLiteral("%1 (%2)").arg(localTime(*o.endMs), QString::fromLatin1(outageEndText(o.endedBy)));
}

}  // namespace

TOutagesWindow::TOutagesWindow(std::function<std::string()> databasePath,
                               std::function<std::int64_t()> nowMs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      pathOf(std::move(databasePath)),
      clock(nowMs ? std::move(nowMs) : std::function<std::int64_t()>([] {
        return QDateTime::currentMSecsSinceEpoch();
      })) {
  setWindowTitle(QStringLiteral("Outages"));
  setObjectName(QStringLiteral("frmOutages"));
  buildControls();
  resize(760, 400);
}

TOutagesWindow::~TOutagesWindow() = default;

void TOutagesWindow::buildControls() {
  edFrom = new QDateTimeEdit(this);
  edTo = new QDateTimeEdit(this);
  for (QDateTimeEdit* edit : {edFrom, edTo}) {
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    edit->setCalendarPopup(true);
  }
  cbHost = new QComboBox(this);
  cbHost->setMinimumContentsLength(16);
  btnShow = new QPushButton(QStringLiteral("&Show"), this);
  btnShow->setDefault(true);
  connect(btnShow, &QPushButton::clicked, this, &TOutagesWindow::reload);
  btnExportCsv = new QPushButton(QStringLiteral("Export CS&V..."), this);
  btnExportJson = new QPushButton(QStringLiteral("Export &JSON..."), this);
  connect(btnExportCsv, &QPushButton::clicked, this, [this] { exportClick(false); });
  connect(btnExportJson, &QPushButton::clicked, this, [this] { exportClick(true); });

  auto* fromLabel = new QLabel(QStringLiteral("&From"), this);
  fromLabel->setBuddy(edFrom);
  auto* hostLabel = new QLabel(QStringLiteral("&Host"), this);
  hostLabel->setBuddy(cbHost);
  auto* top = new QHBoxLayout;
  top->addWidget(fromLabel);
  top->addWidget(edFrom);
  top->addWidget(new QLabel(QStringLiteral("to"), this));
  top->addWidget(edTo);
  top->addSpacing(8);
  top->addWidget(hostLabel);
  top->addWidget(cbHost, 1);
  top->addWidget(btnShow);

  tbOutages = new QTableWidget(0, 6, this);
  tbOutages->setObjectName(QStringLiteral("tbOutages"));
  tbOutages->setHorizontalHeaderLabels({QStringLiteral("Host"), QStringLiteral("Start"),
                                        QStringLiteral("End"), QStringLiteral("Duration"),
                                        QStringLiteral("Lost echoes"),
                                        QStringLiteral("Path stops after")});
  tbOutages->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tbOutages->setSelectionBehavior(QAbstractItemView::SelectRows);
  tbOutages->setWordWrap(false);
  tbOutages->verticalHeader()->hide();
  tbOutages->horizontalHeader()->setStretchLastSection(true);
  tbOutages->setSortingEnabled(false);

  lblStatus = new QLabel(this);
  lblStatus->setTextFormat(Qt::PlainText);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(lblStatus, 1);
  bottom->addWidget(btnExportCsv);
  bottom->addWidget(btnExportJson);

  auto* column = new QVBoxLayout(this);
  column->addLayout(top);
  column->addWidget(tbOutages, 1);
  column->addLayout(bottom);
}

void TOutagesWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  // The first opening shows the last 24 hours; later ones read the chosen range again.
  if (shownOnce) {
    reload();
    return;
  }
  shownOnce = true;
  const std::int64_t now = clock();
  setRange(now - DayMs, now);
}

void TOutagesWindow::setRange(std::int64_t fromMs, std::int64_t toMs) {
  edFrom->setDateTime(QDateTime::fromMSecsSinceEpoch(fromMs));
  edTo->setDateTime(QDateTime::fromMSecsSinceEpoch(toMs));
  reload();
}

void TOutagesWindow::fillHosts(const std::vector<THistoryHost>& hosts) {
  const qlonglong chosen = cbHost->currentData().toLongLong();
  cbHost->clear();
  cbHost->addItem(QStringLiteral("All hosts"), QVariant::fromValue<qlonglong>(0));
  for (const THistoryHost& h : hosts) {
    QString label = QStringLiteral("%1 (%2)").arg(QString::fromStdString(h.callingName),
                                                  QString::fromStdString(h.address));
    if (h.deletedMs != 0) label += QStringLiteral(" - deleted");
    cbHost->addItem(label, QVariant::fromValue<qlonglong>(h.id));
  }
  cbHost->setCurrentIndex(std::max(0, cbHost->findData(QVariant::fromValue(chosen))));
}

void TOutagesWindow::reload() {
  shown.clear();
  // Whole minutes as the fields show them; the end minute is included.
  const std::int64_t from = edFrom->dateTime().toMSecsSinceEpoch();
  const std::int64_t to = edTo->dateTime().toMSecsSinceEpoch() + 60'000;
  THistoryReader reader(pathOf());
  if (!reader.open()) {
    fillHosts({});
    fillTable();
    lblStatus->setText(QString::fromStdString(reader.errorText()));
    return;
  }
  if (to <= from) {
    fillTable();
    lblStatus->setText(QStringLiteral("The end of the range must come after its start."));
    return;
  }
  const std::vector<THistoryHost> hosts = reader.hosts();
  fillHosts(hosts);
  const qlonglong only = cbHost->currentData().toLongLong();
  const std::int32_t minLost = lostToDownSetting();
  const std::vector<std::int64_t> runBounds = reader.runBounds();
  for (const THistoryHost& h : hosts) {
    if (only != 0 && h.id != only) continue;
    for (const TOutage& o : outagesOverlapping(reader, h, from, to, minLost, runBounds))
      shown.push_back({h, o, reader.lastHopDuring(h.address, o.startMs, o.endMs.value_or(to))});
  }
  std::stable_sort(shown.begin(), shown.end(), [](const THostOutage& a, const THostOutage& b) {
    return a.outage.startMs < b.outage.startMs;
  });
  fillTable();
  lblStatus->setText(shown.size() == 1 ? QStringLiteral("1 outage")
                                       : QStringLiteral("%1 outages").arg(shown.size()));
}

void TOutagesWindow::fillTable() {
  tbOutages->setRowCount(static_cast<int>(shown.size()));
  for (int row = 0; row < static_cast<int>(shown.size()); ++row) {
    const auto& [host, o, hop] = shown[static_cast<std::size_t>(row)];
    // Where the host's path stopped, when it was traced during the outage; empty otherwise.
    const QString texts[] = {QString::fromStdString(host.callingName), localTime(o.startMs),
                             endText(o),
                             durationText(o.durationMs), QString::number(o.lostCount),
                             hop ? QString::fromStdString(lastHopText(*hop)) : QString()};
    for (int c = 0; c < 6; ++c) {
      auto* item = new QTableWidgetItem(texts[c]);
      if (c >= 3 && c <= 4) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      tbOutages->setItem(row, c, item);
    }
  }
  tbOutages->resizeColumnsToContents();
  btnExportCsv->setEnabled(!shown.empty());
  btnExportJson->setEnabled(!shown.empty());
}

bool TOutagesWindow::exportFile(const QString& path, bool json) const {
  const std::string text = json ? outagesJson(shown) : outagesCsv(shown);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(text.data(), static_cast<qint64>(text.size()));
  return file.commit();
}

void TOutagesWindow::exportClick(bool json) {
  const QString path = QFileDialog::getSaveFileName(
      this, QStringLiteral("Export outages"),
      json ? QStringLiteral("outages.json") : QStringLiteral("outages.csv"),
      json ? QStringLiteral("JSON files (*.json)") : QStringLiteral("CSV files (*.csv)"));
  if (!path.isEmpty() && !exportFile(path, json))
    QMessageBox::warning(this, windowTitle(), QStringLiteral("Could not write %1.").arg(path));
}
