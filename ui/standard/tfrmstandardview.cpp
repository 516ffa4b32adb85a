#include "tfrmstandardview.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

#include "core/tolvohosts.h"
#include "gridtextdelegate.h"
#include "ui/program/programpictures.h"
#include "ui/common/windowfit.h"

namespace {

constexpr int RowHeight = 16;
constexpr int DefaultColumnWidth = 64;
constexpr int InitialColumns = 3;

}  // namespace

TfrmStandardView::TfrmStandardView(const TClock& clockToUse, QWidget* parent)
    : QWidget(parent, Qt::Window), clock(clockToUse) {
  setWindowTitle(QStringLiteral("Ping status"));
  resize(QSize(783, 540).boundedTo(availableScreenSize(*this)));
  createToolBar();
  createGrid();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ToolBar1);
  layout->addWidget(sgResults);

  // The timer runs while the window is on screen: a hidden grid needs no refresh, and showing the
  // window refreshes it at once. (Created hidden, it would only wake the program five times a
  // second to find nothing to draw.)
  tmrUpdate = new QTimer(this);
  tmrUpdate->setInterval(200);
  connect(tmrUpdate, &QTimer::timeout, this, &TfrmStandardView::refreshGrid);
}

TfrmStandardView::~TfrmStandardView() = default;

void TfrmStandardView::createToolBar() {
  ToolBar1 = new QToolBar(this);
  // 16-pixel pictures on a 25-pixel bar at the font and DPI they were drawn for; larger with a
  // larger font or DPI (the pictures are drawn for the size they are shown at).
  const int iconSide = std::max(scaledToText(*this, 16),
                                style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this));
  ToolBar1->setIconSize(QSize(iconSide, iconSide));
  ToolBar1->setMovable(false);

  ToolButton1 = ToolBar1->addAction(refreshIcon(), QString());
  ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
  connect(ToolButton1, &QAction::triggered, this, &TfrmStandardView::refreshGrid);

  tbHostName = ToolBar1->addAction(hostNameIcon(), QString());
  tbHostName->setObjectName(QStringLiteral("tbHostName"));
  tbHostName->setCheckable(true);
  tbHostName->setToolTip(QStringLiteral("Shows the hostname instead of calling name"));
  // The click has already flipped the mark; the grid follows at once.
  connect(tbHostName, &QAction::triggered, this, &TfrmStandardView::refreshGrid);
  ToolBar1->setFixedHeight(textLargerThanDesigned(*this) || iconSide > 16
                               ? std::max(25, ToolBar1->sizeHint().height())
                               : 25);
}

void TfrmStandardView::createGrid() {
  sgResults = new QTableWidget(1, InitialColumns, this);
  sgResults->setObjectName(QStringLiteral("sgResults"));
  sgResults->setWordWrap(false);
  sgResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgResults->setSelectionMode(QAbstractItemView::NoSelection);
  sgResults->setFocusPolicy(Qt::NoFocus);
  sgResults->horizontalHeader()->hide();
  sgResults->verticalHeader()->hide();
  // 16 pixels at the font they were drawn for; with larger text, as tall as the text.
  const int rowHeight = textLargerThanDesigned(*sgResults)
                            ? std::max(RowHeight, sgResults->fontMetrics().height() + 2)
                            : RowHeight;
  sgResults->verticalHeader()->setMinimumSectionSize(rowHeight);
  sgResults->verticalHeader()->setDefaultSectionSize(rowHeight);
  sgResults->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  sgResults->horizontalHeader()->setMinimumSectionSize(1);
  sgResults->horizontalHeader()->setDefaultSectionSize(DefaultColumnWidth);
  sgResults->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  sgResults->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  sgResults->horizontalHeader()->setHighlightSections(false);
  sgResults->horizontalHeader()->setSectionsClickable(false);
  sgResults->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  sgResults->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  shown.resize(1);
  widest.assign(InitialColumns, 0);
  sgResults->setItemDelegate(new TGridTextDelegate(sgResults));
  cellMargins = 2 * TGridTextDelegate::textMargin(sgResults);
}

void TfrmStandardView::showEvent(QShowEvent* event) {
  if (!placed) {
    move(150, 192);
    keepOnScreen(*this);  // on a small screen the window is moved up and left as far as needed
    placed = true;
  }
  tmrUpdate->start();
  refreshGrid();
  QWidget::showEvent(event);
}

// Minimised or hidden by the program: nothing to draw until it is shown again.
void TfrmStandardView::hideEvent(QHideEvent* event) {
  tmrUpdate->stop();
  QWidget::hideEvent(event);
}

void TfrmStandardView::closeEvent(QCloseEvent* event) {
  tmrUpdate->stop();
  event->accept();  // hidden, not destroyed: the grid and the HOST NAME choice stay
}

void TfrmStandardView::setCell(int row, int column, const std::string& text) {
  std::string& current = shown[row][column];
  QTableWidgetItem* item = sgResults->item(row, column);
  if (item && current == text) return;
  current = text;
  repaintCell(row, column);
  const QString qtext = QString::fromLocal8Bit(text);
  if (item)
    item->setText(qtext);
  else
    sgResults->setItem(row, column, new QTableWidgetItem(qtext));
  // Only a changed text can widen its column.
  const int width = textWidth(text, qtext);
  if (width > widest[column]) widest[column] = width;
}

void TfrmStandardView::repaintCell(int row, int column) {
  QWidget* viewport = sgResults->viewport();
  const QRect cell = sgResults->visualRect(sgResults->model()->index(row, column));
  if (cell.intersects(viewport->rect())) viewport->update(cell);
}

int TfrmStandardView::textWidth(const std::string& text, const QString& qtext) {
  // Many cells share a text (durations, counts), and measuring means shaping the text: keep them.
  constexpr std::size_t MaxKept = 8192;
  auto found = measured.find(text);
  if (found != measured.end()) return found->second;
  if (measured.size() >= MaxKept) measured.clear();
  // The width counts the margins the grid draws around a cell's text, so that the 5 pixels to
  // spare are really spare and no text is cut short.
  const int width = sgResults->fontMetrics().horizontalAdvance(qtext) + cellMargins;
  measured.emplace(text, width);
  return width;
}

void TfrmStandardView::widenColumns() {
  int windowWidth = 2 * sgResults->frameWidth() + sgResults->verticalScrollBar()->sizeHint().width();
  for (int c = 0; c < sgResults->columnCount(); ++c) {
    if (sgResults->columnWidth(c) < widest[c] + 5) sgResults->setColumnWidth(c, widest[c] + 5);
    windowWidth += sgResults->columnWidth(c);
  }
  // Never wider than the screen: past it the columns scroll sideways.
  const int frame = frameGeometry().width() - width();
  windowWidth = std::min(windowWidth, availableScreenSize(*this).width() - frame);
  if (width() != windowWidth) resize(windowWidth, height());
  if (isVisible()) keepOnScreen(*this);
}

// Row 0 keeps the titles and is hidden; the header shows them and does not scroll. A title is drawn
// with the header's margins, so its column is widened to what the header needs for it.
void TfrmStandardView::showTitlesAsHeader() {
  QHeaderView* header = sgResults->horizontalHeader();
  QStringList titles;
  for (const std::string& title : statusTitles()) titles << QString::fromStdString(title);
  sgResults->setHorizontalHeaderLabels(titles);
  for (int c = 0; c < StatusColumns; ++c)
    widest[c] = std::max(widest[c], header->sectionSizeHint(c));
  sgResults->setRowHidden(0, true);
  header->show();
  titlesInHeader = true;
}

void TfrmStandardView::refreshGrid() {
  if (!hostList) return;
  const int n = hostList->hostCount();
  sgResults->setRowCount(n + 1);
  shown.resize(n + 1);
  if (n > 0) {
    sgResults->setColumnCount(StatusColumns);
    widest.resize(StatusColumns, 0);
    // The grid's change notices are held back: each would cost a signal, and a notice for a
    // range repaints the whole grid. Only the visible cells whose text changed are repainted.
    const QSignalBlocker quiet(sgResults->model());
    for (int c = 0; c < StatusColumns; ++c) setCell(0, c, statusTitles()[c]);
    if (!titlesInHeader) showTitlesAsHeader();
    const TDateTime now = clock.now();
    const bool showHostName = tbHostName->isChecked();
    TTolvoHost* host = nullptr;
    int row = 1;
    // Slot order, no sorting; nextHost answers false once the last host has been delivered.
    if (hostList->firstHost()) {
      while (row <= n && hostList->nextHost(host)) {
        const THostRowTexts texts = hostRowTexts(*host, showHostName, now);
        for (int c = 0; c < StatusColumns; ++c) setCell(row, c, texts[c]);
        ++row;
      }
    }
  }
  widenColumns();
}
