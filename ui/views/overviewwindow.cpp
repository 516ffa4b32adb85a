#include "overviewwindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>

#include "base/csvtext.h"
#include "config/settings.h"
#include "core/tolvohosts.h"
#include "livestats.h"
#include "overviewcelldelegate.h"
#include "overviewmodel.h"
#include "overviewsettings.h"
#include "overviewsparkline.h"
#include "ui/common/windowfit.h"

namespace {

constexpr int RefreshMs = 1000;

std::int64_t systemNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

QString csvField(const QString& text) {
  return QString::fromStdString(::csvField(text.toStdString()));
}

// The unit of a column's figures, written into its title in the CSV export (empty: a text column).
QString csvUnit(int column) {
  switch (column) {
    case TOverviewModel::ColLast:
    case TOverviewModel::ColMin:
    case TOverviewModel::ColMean:
    case TOverviewModel::ColMax:
    case TOverviewModel::ColJitter:
      return QStringLiteral("ms");
    case TOverviewModel::ColLoss15:
    case TOverviewModel::ColLossRun:
      return QStringLiteral("%");
    default:
      return {};
  }
}

// Round trips in milliseconds with microseconds kept, shares in percent; empty without a figure.
QString csvNumber(double value, int decimals) {
  return value < 0 || !std::isfinite(value) ? QString() : QString::number(value, 'f', decimals);
}

// A cell as the CSV export writes it: the shown text, or for a figure the number without its unit.
QString csvCell(const TOverviewModel& model, int row, int column) {
  const TLiveFigures f = model.figuresAt(row);
  const auto ms = [](double micros) { return csvNumber(micros < 0 ? -1 : micros / 1000.0, 3); };
  switch (column) {
    case TOverviewModel::ColLast:
      return f.lastLost ? QStringLiteral("lost") : ms(static_cast<double>(f.lastRttMicros));
    case TOverviewModel::ColLoss15:
      return csvNumber(f.windowLossPercent(), 2);
    case TOverviewModel::ColLossRun:
      return csvNumber(f.runLossPercent(), 2);
    case TOverviewModel::ColMin:
      return ms(static_cast<double>(f.minMicros));
    case TOverviewModel::ColMean:
      return ms(f.meanMicros);
    case TOverviewModel::ColMax:
      return ms(static_cast<double>(f.maxMicros));
    case TOverviewModel::ColJitter:
      return ms(f.jitterMicros);
    default:
      return csvField(model.text(row, column));
  }
}

// The columns that carry text (the sparkline has none).
constexpr int TextColumns = TOverviewModel::ColSpark;

}  // namespace

TOverviewWindow::TOverviewWindow(TLiveStats& liveStats, TTolvoHosts& hosts, QWidget* parent)
    : QWidget(parent, Qt::Window), stats(liveStats), hostList(hosts), clock(systemNowMs) {
  setWindowTitle(QStringLiteral("Overview"));
  setObjectName(QStringLiteral("frmOverview"));
  model = new TOverviewModel(
      stats, [this] { return clock(); }, this);
  proxy = new QSortFilterProxyModel(this);
  proxy->setSourceModel(model);
  proxy->setSortRole(TOverviewModel::SortRole);
  proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
  proxy->setFilterKeyColumn(-1);
  buildControls();
  createActions();
  keepSortOrder();
  connect(model, &TOverviewModel::rowsChanged, this, [this] {
    fitColumns();
    updateActions();
  });
  tmrRefresh = new QTimer(this);
  tmrRefresh->setInterval(RefreshMs);
  connect(tmrRefresh, &QTimer::timeout, this, &TOverviewWindow::refresh);
  resize(QSize(1100, 420).boundedTo(availableScreenSize(*this)));
  fitRowsToFont();
  fitColumns();
  updateActions();
}

TOverviewWindow::~TOverviewWindow() = default;

void TOverviewWindow::buildControls() {
  edFilter = new QLineEdit(this);
  edFilter->setObjectName(QStringLiteral("edFilter"));
  edFilter->setPlaceholderText(QStringLiteral("Filter by name or address (Ctrl+F)"));
  edFilter->setClearButtonEnabled(true);
  connect(edFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
    proxy->setFilterFixedString(text.trimmed());
    updateCount();
    updateActions();
  });
  btnExport = new QPushButton(QStringLiteral("E&xport CSV..."), this);
  btnExport->setObjectName(QStringLiteral("btnExport"));
  connect(btnExport, &QPushButton::clicked, this, &TOverviewWindow::exportClick);
  lblCount = new QLabel(this);

  table = new QTableView(this);
  table->setObjectName(QStringLiteral("tvOverview"));
  table->setModel(proxy);
  table->setSortingEnabled(true);
  table->sortByColumn(-1, Qt::AscendingOrder);  // the list's order until a title is clicked
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table->setWordWrap(false);
  table->setAlternatingRowColors(true);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setContextMenuPolicy(Qt::CustomContextMenu);
  table->setItemDelegate(new TOverviewCellDelegate(table));
  table->setItemDelegateForColumn(TOverviewModel::ColSpark, new TOverviewSparkline(table));
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  table->horizontalHeader()->setSectionsMovable(true);
  connect(table, &QTableView::customContextMenuRequested, this, &TOverviewWindow::showContextMenu);
  connect(table, &QTableView::activated, this, [this] { historyClick(); });
  connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TOverviewWindow::updateActions);

  auto* top = new QHBoxLayout;
  top->addWidget(edFilter, 1);
  top->addWidget(lblCount);
  top->addWidget(btnExport);
  btnTimeline = new QPushButton(QStringLiteral("&Timeline"), this);
  btnTimeline->setObjectName(QStringLiteral("btnTimeline"));
  connect(btnTimeline, &QPushButton::clicked, this, [this] {
    if (onTimeline) onTimeline();
  });
  top->addWidget(btnTimeline);
  auto* column = new QVBoxLayout(this);
  column->addLayout(top);
  column->addWidget(table, 1);
}

void TOverviewWindow::createActions() {
  auto action = [this](const QString& text, const QKeySequence& key,
                       std::function<void()> handler) {
    auto* a = new QAction(text, this);
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
    a->setToolTip(text + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) +
                  QStringLiteral(")"));
    connect(a, &QAction::triggered, this, std::move(handler));
    addAction(a);
    return a;
  };
  actHistory = action(QStringLiteral("History"), QKeySequence(Qt::CTRL | Qt::Key_H),
                      [this] { historyClick(); });
  action(QStringLiteral("Path"), QKeySequence(Qt::CTRL | Qt::Key_T), [this] {
    const std::vector<std::uint64_t> ids = selectedRunIds();
    if (!ids.empty() && onPath) onPath(ids.front());
  });
  actCopy = action(QStringLiteral("Copy rows"), QKeySequence::Copy, [this] { copySelection(); });
  actCopyAddress =
      action(QStringLiteral("Copy address"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
             [this] { copyAddressClick(); });
  actEdit = action(QStringLiteral("Edit..."), QKeySequence(Qt::Key_F2), [this] { editClick(); });
  actDelete = action(QStringLiteral("Delete..."), QKeySequence::Delete, [this] { deleteClick(); });
  actExport = action(QStringLiteral("Export CSV..."), QKeySequence(Qt::CTRL | Qt::Key_S),
                     [this] { exportClick(); });
  actFilter = action(QStringLiteral("Filter"), QKeySequence::Find, [this] {
    edFilter->setFocus(Qt::ShortcutFocusReason);
    edFilter->selectAll();
  });
}

void TOverviewWindow::setClock(std::function<std::int64_t()> nowMs) {
  clock = std::move(nowMs);
  refresh();
}

void TOverviewWindow::refresh() {
  model->refresh();
  updateCount();
}

void TOverviewWindow::updateCount() {
  const int shown = proxy->rowCount();
  const int all = model->rowCount();
  lblCount->setText(shown == all ? QStringLiteral("%1 hosts").arg(all)
                                 : QStringLiteral("%1 of %2 hosts").arg(shown).arg(all));
}

void TOverviewWindow::setHostFlag(std::uint64_t runId, bool degraded) {
  model->setHostFlag(runId, degraded);
}

std::vector<int> TOverviewWindow::selectedModelRows() const {
  std::vector<std::pair<int, int>> shownAndSource;
  for (const QModelIndex& index : table->selectionModel()->selectedRows())
    shownAndSource.emplace_back(index.row(), proxy->mapToSource(index).row());
  std::sort(shownAndSource.begin(), shownAndSource.end());
  std::vector<int> rows;
  for (const auto& [shown, source] : shownAndSource) rows.push_back(source);
  return rows;
}

std::vector<std::uint64_t> TOverviewWindow::selectedRunIds() const {
  std::vector<std::uint64_t> ids;
  for (int row : selectedModelRows()) ids.push_back(model->runIdAt(row));
  return ids;
}

void TOverviewWindow::selectHosts(const std::vector<std::uint64_t>& runIds) {
  refresh();
  QItemSelection selection;
  QModelIndex first;
  for (std::uint64_t id : runIds) {
    const QModelIndex shown = proxy->mapFromSource(model->index(model->rowOf(id), 0));
    if (!shown.isValid()) continue;
    selection.select(shown, shown.siblingAtColumn(TOverviewModel::ColumnCount - 1));
    if (!first.isValid()) first = shown;
  }
  table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  if (first.isValid()) {
    table->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    table->scrollTo(first);
  }
}

QString TOverviewWindow::copySelection() {
  QString text;
  for (int row : selectedModelRows()) {
    QStringList fields;
    for (int c = 0; c < TextColumns; ++c) fields << model->text(row, c);
    text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
  }
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
  return text;
}

bool TOverviewWindow::exportCsv(const QString& path) const {
  QStringList lines;
  QStringList titles;
  for (int c = 0; c < TextColumns; ++c) {
    const QString title = model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    const QString unit = csvUnit(c);
    titles << csvField(unit.isEmpty() ? title : QStringLiteral("%1 (%2)").arg(title, unit));
  }
  lines << titles.join(QLatin1Char(','));
  for (int shown = 0; shown < proxy->rowCount(); ++shown) {
    const int row = proxy->mapToSource(proxy->index(shown, 0)).row();
    QStringList fields;
    for (int c = 0; c < TextColumns; ++c) fields << csvCell(*model, row, c);
    lines << fields.join(QLatin1Char(','));
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const QString end = QString(QLatin1Char(CsvLineEnd));
  file.write((lines.join(end) + end).toUtf8());
  return file.commit();
}

void TOverviewWindow::exportClick() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export overview"),
                                                    QStringLiteral("overview.csv"),
                                                    QStringLiteral("CSV files (*.csv)"));
  if (path.isEmpty()) return;
  if (!exportCsv(path))
    QMessageBox::warning(this, QStringLiteral("Export overview"),
                         QStringLiteral("Could not write %1.").arg(path));
}

void TOverviewWindow::showContextMenu(const QPoint& pos) {
  updateActions();
  QMenu menu(this);
  menu.addAction(actHistory);
  menu.addAction(actCopy);
  menu.addAction(actCopyAddress);
  menu.addSeparator();
  menu.addAction(actEdit);
  menu.addAction(actDelete);
  menu.addSeparator();
  menu.addAction(actExport);
  menu.exec(table->viewport()->mapToGlobal(pos));
}

void TOverviewWindow::updateActions() {
  const std::size_t selected = table->selectionModel()->selectedRows().size();
  actHistory->setEnabled(selected > 0 && onHistory != nullptr);
  actCopy->setEnabled(selected > 0);
  actCopyAddress->setEnabled(selected > 0);
  actEdit->setEnabled(selected > 0 && onEdit != nullptr);
  actDelete->setEnabled(selected > 0);
}

TTolvoHost* TOverviewWindow::hostOf(std::uint64_t runId) const {
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot)
    if (TTolvoHost* host = hostList.hostAt(slot); host && host->runId == runId) return host;
  return nullptr;
}

void TOverviewWindow::historyClick() {
  const std::vector<std::uint64_t> ids = selectedRunIds();
  if (!ids.empty() && onHistory) onHistory(ids);
}

void TOverviewWindow::copyAddressClick() {
  QStringList addresses;
  for (int row : selectedModelRows()) addresses << model->text(row, TOverviewModel::ColAddress);
  if (!addresses.isEmpty()) QApplication::clipboard()->setText(addresses.join(QLatin1Char('\n')));
}

void TOverviewWindow::editClick() {
  const std::vector<std::uint64_t> ids = selectedRunIds();
  if (ids.empty() || !onEdit) return;
  std::vector<TTolvoHost*> chosen;
  for (std::uint64_t id : ids)
    if (TTolvoHost* host = hostOf(id)) chosen.push_back(host);
  if (!chosen.empty()) onEdit(chosen);
}

void TOverviewWindow::deleteClick() {
  const std::vector<int> rows = selectedModelRows();
  if (rows.empty()) return;
  const QString question = rows.size() == 1
                               ? QStringLiteral("Delete the host %1 (%2)?")
                                     .arg(model->text(rows.front(), TOverviewModel::ColName),
                                          model->text(rows.front(), TOverviewModel::ColAddress))
                               : QStringLiteral("Delete these %1 hosts?").arg(rows.size());
  QMessageBox box(QMessageBox::Question, QStringLiteral("Delete hosts"), question,
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setTextFormat(Qt::PlainText);  // host names are the user's text
  box.setDefaultButton(QMessageBox::No);
  if (box.exec() != QMessageBox::Yes) return;
  bool deleted = false;
  for (std::uint64_t id : selectedRunIds())
    if (TTolvoHost* host = hostOf(id)) deleted = hostList.deleteHost(host) || deleted;
  refresh();
  if (deleted && onDeleted) onDeleted();
}

void TOverviewWindow::fitRowsToFont() {
  // Rows follow the font: its line height and the cell margins of the style.
  const int height = table->fontMetrics().height() + 8;
  table->verticalHeader()->setMinimumSectionSize(height);
  table->verticalHeader()->setDefaultSectionSize(height);
}

void TOverviewWindow::fitColumns() {
  // Names change only when hosts are added or edited; numbers are measured against their widest
  // forms, so a refresh never has to measure.
  const QFontMetrics metrics = table->fontMetrics();
  const int margin =
      2 * table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 10;
  const QHeaderView* header = table->horizontalHeader();
  const QFontMetrics headerMetrics = header->fontMetrics();
  for (int c = 0; c < TOverviewModel::ColSpark; ++c) {
    int width = headerMetrics.horizontalAdvance(
                    model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()) +
                24;
    if (c == TOverviewModel::ColState) {
      width = std::max(width, metrics.horizontalAdvance(QStringLiteral("Degraded")) + margin);
    } else if (c == TOverviewModel::ColName || c == TOverviewModel::ColAddress) {
      for (int row = 0; row < model->rowCount(); ++row)
        width = std::max(width, metrics.horizontalAdvance(model->text(row, c)) + margin);
    } else if (c == TOverviewModel::ColLoss15 || c == TOverviewModel::ColLossRun) {
      width = std::max(width, metrics.horizontalAdvance(QStringLiteral("100.0 %")) + margin);
    } else {
      width = std::max(width, metrics.horizontalAdvance(QStringLiteral("0.000 ms")) + margin);
      width = std::max(width, metrics.horizontalAdvance(QStringLiteral("9999 ms")) + margin);
    }
    table->setColumnWidth(c, width);
  }
  const QString sparkTitle =
      model->headerData(TOverviewModel::ColSpark, Qt::Horizontal, Qt::DisplayRole).toString();
  table->setColumnWidth(
      TOverviewModel::ColSpark,
      std::max(SparkEchoes * 3, headerMetrics.horizontalAdvance(sparkTitle) + 24));
}

void TOverviewWindow::showEvent(QShowEvent* event) {
  if (!geometryRestored) {
    geometryRestored = true;
    const QByteArray saved = QByteArray::fromBase64(QByteArray::fromStdString(overviewGeometry()));
    if (!saved.isEmpty()) restoreGeometry(saved);
  }
  QWidget::showEvent(event);
  refresh();
  tmrRefresh->start();
}

void TOverviewWindow::hideEvent(QHideEvent* event) {
  tmrRefresh->stop();
  storeGeometry();
  QWidget::hideEvent(event);
}

void TOverviewWindow::storeGeometry() {
  if (geometryRestored) setOverviewGeometry(saveGeometry().toBase64().toStdString());
}

void TOverviewWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    fitRowsToFont();
    fitColumns();
  }
}

void TOverviewWindow::keepSortOrder() {
  // The order chosen by a click on a title is taken up again at the next start.
  const TOverviewSort sort = overviewSort();
  if (sort.column >= 0 && sort.column < TOverviewModel::ColumnCount)
    table->sortByColumn(sort.column, sort.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
  connect(table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
          [](int column, Qt::SortOrder order) {
            setOverviewSort({column, order == Qt::DescendingOrder});
          });
}
