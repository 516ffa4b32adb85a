#pragma once
// The overview (Views > Overview): one row per host with its state in colour, live round-trip and
// loss figures and a sparkline of its last echoes. Rows sort by a click on a column title, narrow
// with the filter box, and can be selected several at a time; Ctrl+C copies them as tab-separated
// text; a context menu (right-click or the menu key) opens their history, copies the address, edits
// or deletes the host. Every action also has a shortcut (listed in its tool tip).

#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTimer;
class TLiveStats;
class TOverviewModel;
class TTolvoHost;
class TTolvoHosts;

class TOverviewWindow : public QWidget {
  Q_OBJECT
 public:
  TOverviewWindow(TLiveStats& stats, TTolvoHosts& hosts, QWidget* parent = nullptr);
  ~TOverviewWindow() override;

  // What the window asks of the program: open the history of hosts, edit a host, save the list.
  std::function<void(const std::vector<std::uint64_t>& runIds)> onHistory;
  // The Path window of the first selected host (Ctrl+T).
  std::function<void(std::uint64_t runId)> onPath;
  std::function<void(const std::vector<TTolvoHost*>& hosts)> onEdit;
  std::function<void()> onDeleted;
  // The switch to the timeline of every host.
  std::function<void()> onTimeline;
  // The wall clock in UTC milliseconds; tests set their own before the first refresh.
  void setClock(std::function<std::int64_t()> nowMs);

  // Shown in amber while the host is otherwise OK.
  void setHostFlag(std::uint64_t runId, bool degraded);
  QPushButton* btnTimeline = nullptr;
  // Selects these hosts' rows (and shows the first).
  void selectHosts(const std::vector<std::uint64_t>& runIds);
  // The selected hosts in the order shown.
  std::vector<std::uint64_t> selectedRunIds() const;

  void refresh();
  // The selected rows as tab-separated lines, in the order shown (also put on the clipboard).
  QString copySelection();
  // Writes the shown rows (filtered, in their order) with a title line; false when it cannot.
  bool exportCsv(const QString& path) const;
  // Keeps the window's place and size in the settings.
  void storeGeometry();

  TOverviewModel* model = nullptr;
  QSortFilterProxyModel* proxy = nullptr;
  QTableView* table = nullptr;
  QLineEdit* edFilter = nullptr;
  QPushButton* btnExport = nullptr;
  QLabel* lblCount = nullptr;
  QTimer* tmrRefresh = nullptr;
  QAction* actHistory = nullptr;
  QAction* actCopy = nullptr;
  QAction* actCopyAddress = nullptr;
  QAction* actEdit = nullptr;
  QAction* actDelete = nullptr;
  QAction* actExport = nullptr;
  QAction* actFilter = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void buildControls();
  void createActions();
  void showContextMenu(const QPoint& pos);
  void updateActions();
  void updateCount();
  void fitRowsToFont();
  void fitColumns();
  void keepSortOrder();
  void historyClick();
  void copyAddressClick();
  void editClick();
  void deleteClick();
  void exportClick();
  TTolvoHost* hostOf(std::uint64_t runId) const;
  std::vector<int> selectedModelRows() const;

  TLiveStats& stats;
  TTolvoHosts& hostList;
  std::function<std::int64_t()> clock;
  bool geometryRestored = false;
};
