#include "historywindow.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

#include "history/historyreader.h"
#include "history/outages.h"
#include "historychart.h"

namespace {

constexpr std::int64_t HourMs = 3'600'000;

const QColor SeriesColours[] = {QColor(31, 119, 180),  QColor(255, 127, 14), QColor(44, 160, 44),
                                QColor(148, 103, 189), QColor(140, 86, 75),  QColor(227, 119, 194),
                                QColor(127, 127, 127), QColor(188, 189, 34)};

// Local time with its UTC offset, as the outage report writes it: 2026-12-08T18:00:00.250+01:00.
QString isoTime(std::int64_t ms) {
  const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms);
  const int offsetMinutes = at.offsetFromUtc() / 60;
  const int magnitude = std::abs(offsetMinutes);
  return at.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) +
         (offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
         QStringLiteral("%1:%2")
             .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
             .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

QString millis(std::int64_t micros) {
  return micros < 0 ? QString() : QString::number(static_cast<double>(micros) / 1000.0, 'f', 3);
}

QString csvField(QString text) {
  if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
      !text.contains(QLatin1Char('\n')))
    return text;
  text.replace(QLatin1String("\""), QLatin1String("\"\""));
  return QLatin1Char('"') + text + QLatin1Char('"');
}

std::int64_t systemNowMs() { return QDateTime::currentMSecsSinceEpoch(); }

}  // namespace

THistoryWindow::THistoryWindow(const std::string& databasePath, std::vector<THistoryTarget> targets,
                               std::function<std::int64_t()> nowMs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      reader(std::make_unique<THistoryReader>(databasePath)),
      clock(nowMs ? std::move(nowMs) : std::function<std::int64_t()>(systemNowMs)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(QStringLiteral("frmHistory"));
  QStringList names;
  for (THistoryTarget& t : targets) {
    names << QString::fromStdString(t.callingName);
    hosts.push_back({std::move(t), std::nullopt, false});
  }
  setWindowTitle(QStringLiteral("History - ") + names.join(QStringLiteral(", ")));
  if (reader->open()) {
    for (THost& h : hosts) h.stored = reader->findHost(h.target.address, h.target.hostName);
  } else {
    openError = QString::fromStdString(reader->errorText());
  }
  buildControls();
  tmrReload = new QTimer(this);
  tmrReload->setSingleShot(true);
  tmrReload->setInterval(120);
  connect(tmrReload, &QTimer::timeout, this, &THistoryWindow::reload);
  resize(820, 460);
  showRange(firstRange());
}

THistoryWindow::Range THistoryWindow::firstRange() {
  std::optional<std::int64_t> first;
  for (const THost& h : hosts) {
    if (!h.stored) continue;
    if (const std::optional<std::int64_t> ms = reader->firstRecordMs(h.stored->id))
      first = std::min(first.value_or(*ms), *ms);
  }
  // A range holds the results when it reaches back to their first minute, give or take a
  // twenty-fourth of it (a day of results opens at 24 h, not at 7 d for its first minute).
  const std::int64_t age = first ? clock() - *first : 0;
  for (const auto [range, spanMs] : {std::pair{Hour, HourMs}, std::pair{Day, 24 * HourMs},
                                     std::pair{Week, 7 * 24 * HourMs}})
    if (age <= spanMs + spanMs / 24) return range;
  return Month;
}

THistoryWindow::~THistoryWindow() = default;

void THistoryWindow::buildControls() {
  rangeButtons = new QButtonGroup(this);
  auto* top = new QHBoxLayout;
  int id = 0;
  for (const char* label : {"1 &h", "2&4 h", "&7 d", "&30 d", "&Custom"}) {
    auto* button = new QPushButton(QString::fromLatin1(label), this);
    button->setCheckable(true);
    rangeButtons->addButton(button, id++);
    top->addWidget(button);
  }
  rangeButtons->setExclusive(true);
  connect(rangeButtons, &QButtonGroup::idClicked, this, [this](int range) {
    if (range != Custom) showRange(static_cast<Range>(range));
    edFrom->setEnabled(range == Custom);
    edTo->setEnabled(range == Custom);
    btnShowCustom->setEnabled(range == Custom);
  });
  edFrom = new QDateTimeEdit(this);
  edTo = new QDateTimeEdit(this);
  for (QDateTimeEdit* edit : {edFrom, edTo}) {
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    edit->setCalendarPopup(true);
    edit->setEnabled(false);
  }
  btnShowCustom = new QPushButton(QStringLiteral("&Show"), this);
  btnShowCustom->setEnabled(false);
  connect(btnShowCustom, &QPushButton::clicked, this, [this] {
    showCustom(edFrom->dateTime().toMSecsSinceEpoch(), edTo->dateTime().toMSecsSinceEpoch());
  });
  top->addSpacing(12);
  top->addWidget(edFrom);
  top->addWidget(new QLabel(QStringLiteral("to"), this));
  top->addWidget(edTo);
  top->addWidget(btnShowCustom);
  top->addStretch(1);
  btnExportCsv = new QPushButton(QStringLiteral("Export CS&V..."), this);
  btnExportPng = new QPushButton(QStringLiteral("Export &PNG..."), this);
  connect(btnExportCsv, &QPushButton::clicked, this, &THistoryWindow::exportCsvClick);
  connect(btnExportPng, &QPushButton::clicked, this, &THistoryWindow::exportPngClick);
  top->addWidget(btnExportCsv);
  top->addWidget(btnExportPng);

  chart = new THistoryChart(this);
  chart->onRangeChanged = [this] {
    rangeButtons->setExclusive(false);
    if (QAbstractButton* checked = rangeButtons->checkedButton()) checked->setChecked(false);
    rangeButtons->setExclusive(true);
    tmrReload->start();
  };
  lblNotice = new QLabel(this);
  lblNotice->setWordWrap(true);
  lblNotice->setTextFormat(Qt::PlainText);
  lblValues = new QLabel(this);
  lblValues->setTextFormat(Qt::PlainText);
  lblValues->setMinimumWidth(100);
  chart->onHover = [this](const QString& text) { lblValues->setText(text); };

  auto* column = new QVBoxLayout(this);
  column->addLayout(top);
  column->addWidget(lblNotice);
  column->addWidget(chart, 1);
  column->addWidget(lblValues);
  updateNotice();
}

void THistoryWindow::showRange(Range range) {
  static const std::int64_t spans[] = {HourMs, 24 * HourMs, 7 * 24 * HourMs, 30 * 24 * HourMs};
  if (range == Custom) return;
  if (QAbstractButton* b = rangeButtons->button(range)) b->setChecked(true);
  const std::int64_t now = clock();
  const std::int64_t from = now - spans[range];
  edFrom->setDateTime(QDateTime::fromMSecsSinceEpoch(from));
  edTo->setDateTime(QDateTime::fromMSecsSinceEpoch(now));
  chart->setRange(from, now);
  reload();
}

void THistoryWindow::showCustom(std::int64_t fromMs, std::int64_t toMs) {
  if (toMs <= fromMs) {
    lblNotice->setText(QStringLiteral("The end of the range must come after its start."));
    return;
  }
  if (QAbstractButton* b = rangeButtons->button(Custom)) b->setChecked(true);
  chart->setRange(fromMs, toMs);
  reload();
}

// The summaries of [from, to) at the finest step that gives at most `points` of them; where that
// step does not reach back far enough (pruned, or recorded before), coarser steps fill in.
std::vector<THistorySummary> THistoryWindow::summariesFor(std::int64_t hostId, std::int64_t from,
                                                          std::int64_t to, int points) {
  std::vector<THistorySummary> all;
  std::int64_t coveredFrom = to;
  for (std::int32_t step : {300, 3600, 86400}) {
    if ((to - from) / (step * 1000LL) > points && step != 86400) continue;
    std::vector<THistorySummary> part = reader->summariesAtStep(hostId, from, coveredFrom, step);
    std::erase_if(part, [&](const THistorySummary& m) {
      return m.startMs + m.stepSeconds * 1000LL > coveredFrom && !all.empty();
    });
    if (part.empty()) continue;
    coveredFrom = part.front().startMs;
    all.insert(all.begin(), part.begin(), part.end());
    if (coveredFrom <= from) break;
  }
  return all;
}

void THistoryWindow::reload() {
  QElapsedTimer timer;
  timer.start();
  const std::int64_t from = chart->fromMs();
  const std::int64_t to = chart->toMs();
  const std::int64_t span = to - from;
  // Enough for 7 days of 5-minute steps; 30 days take the hourly ones.
  constexpr int points = 2500;
  std::vector<THistorySeries> series;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    const THost& h = hosts[i];
    THistorySeries s;
    s.name = QString::fromStdString(h.target.callingName);
    s.colour = SeriesColours[i % std::size(SeriesColours)];
    if (h.stored && openError.isEmpty()) {
      s.raw = span <= RawSpanMs;
      std::vector<THistoryEcho> echoes;
      if (span <= OutageSpanMs) {
        echoes = reader->echoes(h.stored->id, from, to);
        s.outages = findOutages(echoes, lostToDownSetting());
      }
      if (!s.raw) {
        s.summaries = summariesFor(h.stored->id, from, to, points);
        // The newest echoes are not summarised yet: they are shown as they are.
        const std::int64_t summarisedTo =
            s.summaries.empty()
                ? from
                : s.summaries.back().startMs + s.summaries.back().stepSeconds * 1000LL;
        if (span > OutageSpanMs)
          echoes = reader->echoes(h.stored->id, std::max(from, summarisedTo), to);
        std::erase_if(echoes, [&](const THistoryEcho& e) { return e.sentMs < summarisedTo; });
      }
      s.echoes = std::move(echoes);
      s.addressChanges = reader->addressChanges(h.stored->id, from, to);
    }
    series.push_back(std::move(s));
  }
  chart->setSeries(std::move(series));
  lastLoadMs = timer.elapsed();
}

void THistoryWindow::hostDeleted(std::uint64_t runId) {
  for (THost& h : hosts)
    if (h.target.runId == runId) h.deleted = true;
  updateNotice();
}

bool THistoryWindow::shows(std::uint64_t runId) const {
  return std::any_of(hosts.begin(), hosts.end(),
                     [runId](const THost& h) { return h.target.runId == runId; });
}

void THistoryWindow::updateNotice() {
  QStringList notes;
  if (!openError.isEmpty()) notes << openError;
  for (const THost& h : hosts) {
    const QString name = QString::fromStdString(h.target.callingName);
    if (h.deleted)
      notes << QStringLiteral("%1 has been deleted from the host list; what is shown is kept.")
                   .arg(name);
    else if (openError.isEmpty() && !h.stored)
      notes << QStringLiteral("No history has been recorded for %1 yet.").arg(name);
  }
  lblNotice->setText(notes.join(QLatin1Char('\n')));
  lblNotice->setVisible(!notes.isEmpty());
}

bool THistoryWindow::exportCsv(const QString& path) const {
  QStringList lines;
  const bool raw = !chart->series().empty() && chart->series().front().raw;
  lines << (raw ? QStringLiteral("host,sent,rtt_ms,lost")
                : QStringLiteral("host,start,step_s,sent,lost,min_ms,mean_ms,max_ms,p95_ms"));
  const std::int64_t from = chart->fromMs();
  const std::int64_t to = chart->toMs();
  for (const THistorySeries& s : chart->series()) {
    const QString host = csvField(s.name);
    for (const THistoryEcho& e : raw ? s.echoes : std::vector<THistoryEcho>{})
      if (e.sentMs >= from && e.sentMs < to)
        lines << QStringLiteral("%1,%2,%3,%4")
                     .arg(host, isoTime(e.sentMs), millis(e.rttMicros),
                          e.answered() ? QStringLiteral("0") : QStringLiteral("1"));
    for (const THistorySummary& m : s.summaries)
      if (m.startMs + m.stepSeconds * 1000LL > from && m.startMs < to)
        lines << QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8,%9")
                     .arg(host, isoTime(m.startMs), QString::number(m.stepSeconds),
                          QString::number(m.sent), QString::number(m.lost), millis(m.minMicros),
                          millis(m.meanMicros), millis(m.maxMicros), millis(m.p95Micros));
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
  return file.commit();
}

void THistoryWindow::closeDatabase() { reader->close(); }

bool THistoryWindow::exportPng(const QString& path) { return chart->grab().save(path, "PNG"); }

void THistoryWindow::exportCsvClick() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export history"),
                                                    QStringLiteral("history.csv"),
                                                    QStringLiteral("CSV files (*.csv)"));
  if (!path.isEmpty() && !exportCsv(path))
    QMessageBox::warning(this, windowTitle(), QStringLiteral("Could not write %1.").arg(path));
}

void THistoryWindow::exportPngClick() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export history"),
                                                    QStringLiteral("history.png"),
                                                    QStringLiteral("PNG images (*.png)"));
  if (!path.isEmpty() && !exportPng(path))
    QMessageBox::warning(this, windowTitle(), QStringLiteral("Could not write %1.").arg(path));
}
