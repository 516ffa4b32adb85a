#include "viewwindows.h"

#include "config/settings.h"
#include "core/tolvohosts.h"
#include "history/historyreader.h"
#include "history/historyreaderthread.h"
#include "history/historysettings.h"
#include "ui/views/historywindow.h"
#include "ui/views/outageswindow.h"
#include "ui/views/livestats.h"
#include "ui/views/livetrail.h"
#include "ui/views/timelineview.h"
#include "ui/views/timelinewindow.h"
#include "ui/views/overviewmodel.h"
#include "ui/views/overviewwindow.h"
#include "ui/preferences/preferenceswindow.h"
#include "ui/common/windowplacement.h"
#include "ui/views/pathwindow.h"

#include <QDateTime>
#include <QDialog>

#include <algorithm>

TViewWindows::TViewWindows(TTolvoHosts& hosts,
                           std::function<void(const std::vector<TTolvoHost*>&)> editHost)
    : hostList(hosts),
      onEdit(std::move(editHost)),
      stats(std::make_unique<TLiveStats>(hosts)),
      trail(std::make_unique<TLiveTrail>(&hosts.events())) {
  hostList.events().subscribe(this);
}

TViewWindows::~TViewWindows() {
  hostList.events().unsubscribe(this);
  seedReader.reset();  // its last job may still post to this object
  for (const QPointer<THistoryWindow>& window : historyWindows) delete window.data();
  // Windows first: they read the live figures.
  frmTimeline.reset();
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
    frmOverview->onTimeline = [this] { showTimeline(); };
    frmOverview->model->unmonitored = [this](std::int64_t from, std::int64_t to) {
      return trail->unmonitored(from, to);
    };
    frmOverview->onPath = [this](std::uint64_t runId) { showPath(runId); };
  }
  return *frmOverview;
}

TPreferencesWindow& TViewWindows::preferences() {
  if (!frmPreferences) frmPreferences = std::make_unique<TPreferencesWindow>();
  return *frmPreferences;
}

void TViewWindows::showOverview() { bringToFront(overview()); }

void TViewWindows::showPath(std::uint64_t runId) {
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot) {
    const TTolvoHost* host = hostList.hostAt(slot);
    if (!host || host->runId != runId) continue;
    if (!frmPath) frmPath = std::make_unique<TPathWindow>([this] { return historyDatabase(); });
    frmPath->showHost(host->ipAddress,
                      host->callingName.empty() ? host->hostName : host->callingName);
    bringToFront(*frmPath);
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
  bringToFront(window);
}

TTimelineWindow& TViewWindows::timeline() {
  if (!frmTimeline) {
    frmTimeline = std::make_unique<TTimelineWindow>(*stats, *trail);
    frmTimeline->view->onOpen = [this](std::uint64_t runId, std::int64_t ms) {
      showHistoryAt(runId, ms);
    };
    frmTimeline->onPath = [this](std::uint64_t runId) { showPath(runId); };
  }
  return *frmTimeline;
}

void TViewWindows::showTimeline() { bringToFront(timeline()); }

void TViewWindows::setMonitoring(bool on) {
  trail->setMonitoring(on, QDateTime::currentMSecsSinceEpoch());
}

THistoryWindow* TViewWindows::showHistoryAt(std::uint64_t runId, std::int64_t ms) {
  THistoryWindow* window = showHistory({runId});
  constexpr std::int64_t HalfHour = 1'800'000;
  if (!window) return nullptr;
  if (ms + HalfHour >= QDateTime::currentMSecsSinceEpoch())
    window->showRange(THistoryWindow::Hour);
  else
    window->showCustom(ms - HalfHour, ms + HalfHour);
  return window;
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
    // An echo is due once more than `interval` seconds have passed: one every interval + 1 s.
    for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot)
      if (const TTolvoHost* h = hostList.hostAt(slot); h && h->runId == id)
        targets.back().intervalMs = (h->interval + 1) * 1000LL;
  }
  if (targets.empty()) return nullptr;
  // The window these hosts already have is brought back rather than a second one opened.
  std::vector<std::uint64_t> shownIds;
  for (const THistoryTarget& t : targets) shownIds.push_back(t.runId);
  for (const QPointer<THistoryWindow>& open : historyWindows)
    if (open && open->runIds() == shownIds) {
      bringToFront(*open);
      return open.data();
    }
  auto* window = new THistoryWindow(historyDatabase(), std::move(targets));
  window->followEvents(hostList.events());
  window->onPath = [this](std::uint64_t runId) { showPath(runId); };
  std::erase_if(historyWindows, [](const QPointer<THistoryWindow>& w) { return w.isNull(); });
  historyWindows.emplace_back(window);
  bringToFront(*window);
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
          if (stats->hosts().count(runId)) trail->seed(runId, echoes);
        },
        Qt::QueuedConnection);
  });
}

void TViewWindows::hostDeleting(const TTolvoHost& host) {
  for (const QPointer<THistoryWindow>& window : historyWindows)
    if (window && window->shows(host.runId)) window->hostDeleted(host.runId);
}
