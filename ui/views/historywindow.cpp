#include "historywindow.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QKeyEvent>
#include <QAction>
#include <QMenu>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

#include "base/csvtext.h"
#include "core/tolvohost.h"
#include "history/historyreader.h"
#include "history/outages.h"
#include "historychart.h"
#include "historygaps.h"

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

QString csvField(const QString& text) {
  return QString::fromStdString(::csvField(text.toStdString()));
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
    hosts.push_back({std::move(t), std::nullopt, false, {}});
  }
  setWindowTitle(QStringLiteral("History - ") + names.join(QStringLiteral(", ")));
  if (reader->open()) {
    for (THost& h : hosts) h.stored = reader->findHost(h.target.address, h.target.hostName);
  } else {
    openError = QString::fromStdString(reader->errorText());
  }
  buildControls();
  buildPathActions();
  tmrReload = new QTimer(this);
  tmrReload->setSingleShot(true);
  tmrReload->setInterval(120);
  connect(tmrReload, &QTimer::timeout, this, &THistoryWindow::reload);
  tmrSlide = new QTimer(this);
  tmrSlide->setInterval(1000);
  connect(tmrSlide, &QTimer::timeout, this, &THistoryWindow::slide);
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
  for (const auto& [range, spanMs] : {std::pair{Hour, HourMs}, std::pair{Day, 24 * HourMs},
                                     std::pair{Week, 7 * 24 * HourMs}})
    if (age <= spanMs + spanMs / 24) return range;
  return Month;
}

THistoryWindow::~THistoryWindow() {
  if (eventHub) eventHub->unsubscribe(this);
}

void THistoryWindow::followEvents(TEngineEventHub& events) {
  if (eventHub) eventHub->unsubscribe(this);
  eventHub = &events;
  eventHub->subscribe(this);
}

void THistoryWindow::setFollowing(bool on) {
  isFollowing = on;
  btnNow->setEnabled(!on);
  on ? tmrSlide->start() : tmrSlide->stop();
}

void THistoryWindow::followNow() {
  const std::int64_t span = std::min(chart->toMs() - chart->fromMs(), FollowSpanMs);
  if (span == HourMs || span == 24 * HourMs) {
    showRange(span == HourMs ? Hour : Day);
    return;
  }
  const std::int64_t now = clock();
  chart->setRange(now - span, now);
  reload();
  setFollowing(true);
}

void THistoryWindow::keyPressEvent(QKeyEvent* event) {
  // Reaches here from the chart and the buttons; the date fields keep End for themselves.
  if (event->key() == Qt::Key_End && event->modifiers() == Qt::NoModifier) {
    followNow();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void THistoryWindow::slide() {
  if (!isFollowing) return;
  const std::int64_t now = clock();
  chart->setRange(now - (chart->toMs() - chart->fromMs()), now);
  // A stop or a pause shows up as a span not monitored within a few seconds.
  if (now - runsReadMs >= 5000 || now < runsReadMs) readRuns();
}

void THistoryWindow::readRuns() {
  runsReadMs = clock();
  if (!openError.isEmpty()) return;
  const std::int64_t from = chart->fromMs();
  const std::int64_t to = chart->toMs();
  std::vector<std::int64_t> seen;
  for (const THistorySeries& s : chart->series())
    for (const THistoryEcho& e : s.echoes) seen.push_back(e.sentMs);
  std::sort(seen.begin(), seen.end());
  chart->setUnmonitored(unmonitoredSpans(reader->runs(from, to), from, to, seen));
}

void THistoryWindow::echoResult(const TTolvoHost& host, const TEchoResult& result) {
  if (!isFollowing) return;
  std::size_t index = 0;
  while (index < hosts.size() && hosts[index].target.runId != host.runId) ++index;
  if (index == hosts.size()) return;
  const THistoryEcho echo{result.sentUnixMs,
                          result.answered ? std::max<std::int64_t>(result.rttMicros, 0) : -1};
  const THistorySeries& s = chart->series()[index];
  if (!s.echoes.empty() && echo.sentMs < s.echoes.back().sentMs) return;  // clock stepped back
  const bool inOutage = !s.outages.empty() && s.outages.back().ongoing();
  chart->appendEcho(index, echo);
  std::vector<THistoryEcho>& tail = hosts[index].sinceAnswer;
  tail.push_back(echo);
  if ((!echo.answered() || inOutage) && chart->toMs() - chart->fromMs() <= OutageSpanMs) {
    // The outages from the last answer on, found again.
    std::vector<TOutage> outages = s.outages;
    std::erase_if(outages, [&](const TOutage& o) { return o.startMs >= tail.front().sentMs; });
    for (const TOutage& o : findOutages(tail, lostToDownSetting(), {runBounds, 0}))
      outages.push_back(o);
    chart->setOutages(index, std::move(outages));
  }
  if (echo.answered()) tail = {echo};
  slide();
}

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
  // The custom range has a row of its own, so the window stays narrow enough for a small screen
  // at a large font.
  auto* custom = new QHBoxLayout;
  custom->addWidget(edFrom);
  custom->addWidget(new QLabel(QStringLiteral("to"), this));
  custom->addWidget(edTo);
  custom->addWidget(btnShowCustom);
  custom->addStretch(1);
  top->addStretch(1);
  btnExportCsv = new QPushButton(QStringLiteral("Export CS&V..."), this);
  btnExportPng = new QPushButton(QStringLiteral("Export &PNG..."), this);
  connect(btnExportCsv, &QPushButton::clicked, this, &THistoryWindow::exportCsvClick);
  connect(btnExportPng, &QPushButton::clicked, this, &THistoryWindow::exportPngClick);
  btnNow = new QPushButton(QStringLiteral("&Now"), this);
  btnNow->setToolTip(QStringLiteral("Show the present and follow it (End)"));
  connect(btnNow, &QPushButton::clicked, this, &THistoryWindow::followNow);
  top->insertWidget(Custom + 1, btnNow);
  top->addWidget(btnExportCsv);
  top->addWidget(btnExportPng);

  chart = new THistoryChart(this);
  chart->onRangeChanged = [this] {
    setFollowing(false);
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
  column->addLayout(custom);
  column->addWidget(lblNotice);
  column->addWidget(chart, 1);
  column->addWidget(lblValues);
  updateNotice();
}

void THistoryWindow::buildPathActions() {
  auto* path = new QAction(QStringLiteral("Path"), this);
  path->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  path->setShortcutContext(Qt::WindowShortcut);
  connect(path, &QAction::triggered, this, [this] {
    if (onPath && !hosts.empty()) onPath(hosts.front().target.runId);
  });
  addAction(path);
  // The chart's menu offers the path of each shown host.
  chart->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(chart, &QWidget::customContextMenuRequested, this, [this, path](const QPoint& pos) {
    QMenu menu(this);
    if (hosts.size() == 1) {
      menu.addAction(path);
    } else {
      for (const THost& h : hosts) {
        const QString name = QString::fromStdString(h.target.callingName);
        menu.addAction(QStringLiteral("Path to %1").arg(name), this, [this, id = h.target.runId] {
          if (onPath) onPath(id);
        });
      }
    }
    menu.exec(chart->mapToGlobal(pos));
  });
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
  setFollowing(range == Hour || range == Day);
}

void THistoryWindow::showCustom(std::int64_t fromMs, std::int64_t toMs) {
  if (toMs <= fromMs) {
    lblNotice->setText(QStringLiteral("The end of the range must come after its start."));
    return;
  }
  if (QAbstractButton* b = rangeButtons->button(Custom)) b->setChecked(true);
  setFollowing(false);
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
  runBounds = openError.isEmpty() ? reader->runBounds() : std::vector<std::int64_t>{};
  std::vector<std::int64_t> seen;  // times with results, for runs that ended without a stop
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
        s.outages = findOutages(echoes, lostToDownSetting(), {runBounds, h.stored->deletedMs});
        auto answer = std::find_if(echoes.rbegin(), echoes.rend(),
                                   [](const THistoryEcho& e) { return e.answered(); });
        if (answer != echoes.rend()) ++answer;
        hosts[i].sinceAnswer.assign(answer.base(), echoes.end());
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
      const std::int64_t interval =
          h.target.intervalMs > 0 ? h.target.intervalMs : medianSpacingMs(s.echoes);
      s.gapMs = GapIntervals * interval;
      for (const THistoryEcho& e : s.echoes) seen.push_back(e.sentMs);
      for (const THistorySummary& m : s.summaries)
        seen.push_back(m.startMs + m.stepSeconds * 1000LL - 1);
      s.addressChanges = reader->addressChanges(h.stored->id, from, to);
    }
    series.push_back(std::move(s));
  }
  std::sort(seen.begin(), seen.end());
  chart->setUnmonitored(openError.isEmpty()
                            ? unmonitoredSpans(reader->runs(from, to), from, to, seen)
                            : std::vector<TTimeSpan>{});
  chart->setSeries(std::move(series));
  runsReadMs = clock();
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

std::vector<std::uint64_t> THistoryWindow::runIds() const {
  std::vector<std::uint64_t> ids;
  for (const THost& h : hosts) ids.push_back(h.target.runId);
  return ids;
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
  const QString end = QString(QLatin1Char(CsvLineEnd));
  file.write((lines.join(end) + end).toUtf8());
  return file.commit();
}

void THistoryWindow::closeDatabase() { reader->close(); }

// What an exported picture shows: the hosts and the range, in local time with its UTC offset.
QString THistoryWindow::pictureTitle() const {
  const auto at = [](std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  };
  const QString offset = isoTime(chart->toMs()).right(6);
  return QStringLiteral("%1: %2 to %3 (UTC%4)")
      .arg(windowTitle(), at(chart->fromMs()), at(chart->toMs()), offset);
}

// The chart under a line that says what it shows; the same title is kept in the file's "Title"
// text, where programs that list pictures find it.
bool THistoryWindow::exportPng(const QString& path) {
  const QPixmap picture = chart->grab();
  const qreal ratio = picture.devicePixelRatio();
  const int width = qRound(picture.width() / ratio);
  QFont font = chart->font();
  font.setBold(true);
  const QFontMetrics metrics(font);
  const int titleHeight = metrics.height() + 8;
  QImage image(QSize(picture.width(), picture.height() + qRound(titleHeight * ratio)),
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(chart->palette().color(QPalette::Window));
  const QString title = pictureTitle();
  {
    QPainter p(&image);
    p.setFont(font);
    p.setPen(chart->palette().color(QPalette::WindowText));
    p.drawText(QRect(8, 0, width - 16, titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
               metrics.elidedText(title, Qt::ElideRight, width - 16));
    p.drawPixmap(0, titleHeight, picture);
  }
  image.setText(QStringLiteral("Title"), title);
  return image.save(path, "PNG");
}

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
