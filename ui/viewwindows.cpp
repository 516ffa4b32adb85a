#include "viewwindows.h"

#include "config/settings.h"
#include "core/tolvohosts.h"
#include "history/historyreader.h"
#include "history/historyreaderthread.h"
#include "history/historysettings.h"
#include "historywindow.h"
#include "outageswindow.h"
#include "pathwindow.h"
#include "livestats.h"
#include "overviewwindow.h"
#include "preferenceswindow.h"

#include <QDateTime>
#include <QDialog>

#include <algorithm>

namespace {

void bringUp(QWidget& window) {
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace

TViewWindows::TViewWindows(TTolvoHosts& hosts, std::function<void(TTolvoHost*)> editHost)
    : hostList(hosts), onEdit(std::move(editHost)), stats(std::make_unique<TLiveStats>(hosts)) {
  hostList.events().subscribe(this);
}

TViewWindows::~TViewWindows() {
  hostList.events().unsubscribe(this);
  seedReader.reset();  // its last job may still post to this object
  for (const QPointer<THistoryWindow>& window : historyWindows) delete window.data();
  // Windows first: they read the live figures.
  frmOutages.reset();
  frmPath.reset();
  frmPreferences.reset();
  frmOverview.reset();
  stats.reset();
}

TOverviewWindow& TViewWindows::overview() {
  if (!frmOverview) {
    frmOverview = std::make_unique<TOverviewWindow>(*stats, hostList);
    frmOverview->onEdit = onEdit;
    frmOverview->onDeleted = [this] { hostList.saveToFile(settings.hosts_file_name); };
    frmOverview->onHistory = [this](const std::vector<std::uint64_t>& ids) { showHistory(ids); };
    frmOverview->onPath = [this](std::uint64_t runId) { showPath(runId); };
  }
  return *frmOverview;
}

TPreferencesWindow& TViewWindows::preferences() {
  if (!frmPreferences) frmPreferences = std::make_unique<TPreferencesWindow>();
  return *frmPreferences;
}

void TViewWindows::showOverview() { bringUp(overview()); }

void TViewWindows::showPath(std::uint64_t runId) {
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot) {
    const TTolvoHost* host = hostList.hostAt(slot);
    if (!host || host->runId != runId) continue;
    if (!frmPath) frmPath = std::make_unique<TPathWindow>([this] { return historyDatabase(); });
    frmPath->showHost(host->ipAddress,
                      host->callingName.empty() ? host->hostName : host->callingName);
    bringUp(*frmPath);
    return;
  }
}

TOutagesWindow& TViewWindows::outages() {
  if (!frmOutages)
    frmOutages =
        std::make_unique<TOutagesWindow>([this] { return historyDatabase(); });
  return *frmOutages;
}

void TViewWindows::showOutages() {
  TOutagesWindow& window = outages();
  if (window.isVisible()) window.reload();  // otherwise showing it reads again
  bringUp(window);
}

bool TViewWindows::showPreferences() { return preferences().exec() == QDialog::Accepted; }

void TViewWindows::storeGeometry() {
  if (frmOverview) frmOverview->storeGeometry();
}

std::string TViewWindows::historyDatabase() const {
  return databasePath.empty() ? historyFilePath(settings.hosts_file_name) : databasePath;
}

void TViewWindows::closeHistoryDatabases() {
  seedReader.reset();
  for (const QPointer<THistoryWindow>& window : historyWindows)
    if (window) window->closeDatabase();
}

THistoryWindow* TViewWindows::showHistory(const std::vector<std::uint64_t>& runIds) {
  std::vector<THistoryTarget> targets;
  for (std::uint64_t id : runIds) {
    auto it = stats->hosts().find(id);
    if (it == stats->hosts().end()) continue;
    targets.push_back({id, it->second.callingName, it->second.hostName, it->second.address});
  }
  if (targets.empty()) return nullptr;
  auto* window = new THistoryWindow(historyDatabase(), std::move(targets));
  std::erase_if(historyWindows, [](const QPointer<THistoryWindow>& w) { return w.isNull(); });
  historyWindows.emplace_back(window);
  bringUp(*window);
  return window;
}

void TViewWindows::hostAdded(const TTolvoHost& host) {
  if (!seedReader) seedReader = std::make_unique<THistoryReaderThread>(historyDatabase());
  const std::uint64_t runId = host.runId;
  const std::int64_t nowMs = QDateTime::currentMSecsSinceEpoch();
  seedReader->post([this, runId, address = host.ipAddress, name = host.hostName,
                    nowMs](THistoryReader& reader) {
    const std::optional<THistoryHost> stored = reader.findHost(address, name);
    if (!stored) return;
    std::vector<THistoryEcho> echoes = reader.echoes(stored->id, nowMs - LiveWindowMs, nowMs + 1);
    constexpr auto SparkCount = static_cast<std::size_t>(SparkEchoes);
    if (echoes.size() < SparkCount) {
      // A long interval: the sparkline reaches further back, six hours at most.
      const std::vector<THistoryEcho> before =
          reader.echoes(stored->id, nowMs - 6 * 3'600'000LL, nowMs - LiveWindowMs);
      const std::size_t wanted = std::min(before.size(), SparkCount - echoes.size());
      echoes.insert(echoes.begin(), before.end() - static_cast<std::ptrdiff_t>(wanted),
                    before.end());
    }
    QMetaObject::invokeMethod(
        this, [this, runId, echoes = std::move(echoes), nowMs] {
          stats->seedEarlier(runId, echoes, nowMs);
        },
        Qt::QueuedConnection);
  });
}

void TViewWindows::hostDeleting(const TTolvoHost& host) {
  for (const QPointer<THistoryWindow>& window : historyWindows)
    if (window && window->shows(host.runId)) window->hostDeleted(host.runId);
}
