#include "timelinewindow.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include "historychart.h"
#include "timelineview.h"

namespace {

// The colour scale: a band from the lowest to the highest round trip shown, and lost in red.
// The band takes what the texts and the swatch leave, so "lost" ends at the right edge, inside the
// window's margin like the span selector on the left.
class TTimelineLegend : public QWidget {
 public:
  explicit TTimelineLegend(const TTimelineView& timeline, QWidget* parent)
      : QWidget(parent), view(timeline) {}
  QSize sizeHint() const override {
    return {textsWidth() + Gaps + 120, fontMetrics().height() + 4};
  }
  QSize minimumSizeHint() const override {
    return {textsWidth() + Gaps + MinBand, fontMetrics().height() + 4};
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const auto [low, high] = view.scale();
    const QString lowText = historyRttText(low), highText = historyRttText(high);
    const QString lost = QStringLiteral("lost");
    const QFontMetrics m = fontMetrics();
    const int texts = m.horizontalAdvance(lowText) + m.horizontalAdvance(highText) +
                      m.horizontalAdvance(lost);
    const int band = std::max(MinBand, width() - texts - Gaps);
    int x = 0;
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(x, 0, m.horizontalAdvance(lowText), height()), Qt::AlignVCenter, lowText);
    x += m.horizontalAdvance(lowText) + 6;
    for (int i = 0; i < band; ++i) {
      const double share = static_cast<double>(i) / std::max(1, band - 1);
      const auto micros = static_cast<std::int64_t>(std::exp(
          std::log(static_cast<double>(low)) +
          share * (std::log(static_cast<double>(high)) - std::log(static_cast<double>(low)))));
      p.fillRect(QRect(x + i, 3, 1, height() - 6), TTimelineView::rttColour(micros, low, high));
    }
    x += band + 6;
    p.drawText(QRect(x, 0, m.horizontalAdvance(highText), height()), Qt::AlignVCenter, highText);
    x += m.horizontalAdvance(highText) + 14;
    p.fillRect(QRect(x, 3, 12, height() - 6), TTimelineView::lostColour());
    p.drawText(QRect(x + 16, 0, m.horizontalAdvance(lost) + 2, height()), Qt::AlignVCenter, lost);
  }

 private:
  // Between low text and band, band and high text, high text and swatch; the swatch and the space
  // after it.
  static constexpr int Gaps = 6 + 6 + 14 + 16;
  static constexpr int MinBand = 20;
  int textsWidth() const {
    return fontMetrics().horizontalAdvance(QStringLiteral("0.000 ms0.000 mslost"));
  }
  const TTimelineView& view;
};

}  // namespace

TTimelineWindow::TTimelineWindow(const TLiveStats& stats, const TLiveTrail& trail,
                                 std::function<std::int64_t()> nowMs, QWidget* parent)
    : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("frmTimeline"));
  setWindowTitle(QStringLiteral("Timeline"));
  if (!nowMs) nowMs = [] { return QDateTime::currentMSecsSinceEpoch(); };
  view = new TTimelineView(stats, trail, std::move(nowMs), this);
  cbSpan = new QComboBox(this);
  for (const auto& [label, minutes] :
       {std::pair{"5 min", 5}, {"10 min", 10}, {"30 min", 30}, {"1 h", 60}, {"3 h", 180}})
    cbSpan->addItem(QString::fromLatin1(label), minutes * 60'000LL);
  cbSpan->setCurrentIndex(1);
  connect(cbSpan, &QComboBox::currentIndexChanged, this,
          [this] { view->setSpan(cbSpan->currentData().toLongLong()); });
  auto* legend = new TTimelineLegend(*view, this);
  lblValues = new QLabel(this);
  lblValues->setTextFormat(Qt::PlainText);
  view->onHover = [this](const QString& text) { lblValues->setText(text); };

  auto* top = new QHBoxLayout;
  auto* spanLabel = new QLabel(QStringLiteral("&Span:"), this);
  spanLabel->setBuddy(cbSpan);
  top->addWidget(spanLabel);
  top->addWidget(cbSpan);
  top->addStretch(1);
  top->addWidget(legend);
  auto* column = new QVBoxLayout(this);
  column->addLayout(top);
  column->addWidget(view, 1);
  column->addWidget(lblValues);

  auto* path = new QAction(QStringLiteral("Path"), this);
  path->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  path->setShortcutContext(Qt::WindowShortcut);
  connect(path, &QAction::triggered, this, &TTimelineWindow::openPath);
  addAction(path);
  view->viewport()->installEventFilter(this);
  view->viewport()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view->viewport(), &QWidget::customContextMenuRequested, this,
          &TTimelineWindow::showRowMenu);

  tmrRefresh = new QTimer(this);
  tmrRefresh->setInterval(1000);
  connect(tmrRefresh, &QTimer::timeout, this, [this, legend] {
    view->refresh();
    legend->update();
  });
  resize(900, 520);
}

void TTimelineWindow::showEvent(QShowEvent* event) {
  view->refresh();
  tmrRefresh->start();
  QWidget::showEvent(event);
}

void TTimelineWindow::hideEvent(QHideEvent* event) {
  tmrRefresh->stop();
  QWidget::hideEvent(event);
}

bool TTimelineWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view->viewport() && event->type() == QEvent::MouseMove)
    if (const auto hit = view->hitAt(static_cast<QMouseEvent*>(event)->position().toPoint()))
      pointedRunId = hit->runId;
  return QWidget::eventFilter(watched, event);
}

void TTimelineWindow::openPath() {
  if (!onPath) return;
  if (const auto hit = view->hitAt(view->viewport()->mapFromGlobal(QCursor::pos())))
    pointedRunId = hit->runId;
  const QPoint firstRow(view->viewport()->width() - 2, view->axisHeight() + 1);
  if (pointedRunId == 0)
    if (const auto first = view->hitAt(firstRow)) pointedRunId = first->runId;
  if (pointedRunId != 0) onPath(pointedRunId);
}

void TTimelineWindow::showRowMenu(const QPoint& pos) {
  const auto hit = view->hitAt(pos);
  if (!hit) return;
  pointedRunId = hit->runId;
  QMenu menu(this);
  menu.addAction(QStringLiteral("History"), this, [this, at = *hit] {
    if (view->onOpen) view->onOpen(at.runId, at.ms);
  });
  QAction* path = menu.addAction(QStringLiteral("Path"), this, [this, id = hit->runId] {
    if (onPath) onPath(id);
  });
  path->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  menu.exec(view->viewport()->mapToGlobal(pos));
}
