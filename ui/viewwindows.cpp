#include "viewwindows.h"

#include "config/settings.h"
#include "core/tolvohosts.h"
#include "history/historysettings.h"
#include "historywindow.h"
#include "outageswindow.h"
#include "livestats.h"
#include "overviewwindow.h"
#include "preferenceswindow.h"

#include <QDialog>

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
  for (const QPointer<THistoryWindow>& window : historyWindows) delete window.data();
  // Windows first: they read the live figures.
  frmOutages.reset();
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
  }
  return *frmOverview;
}

TPreferencesWindow& TViewWindows::preferences() {
  if (!frmPreferences) frmPreferences = std::make_unique<TPreferencesWindow>();
  return *frmPreferences;
}

void TViewWindows::showOverview() { bringUp(overview()); }

TOutagesWindow& TViewWindows::outages() {
  if (!frmOutages)
    frmOutages =
        std::make_unique<TOutagesWindow>([] { return historyFilePath(settings.hosts_file_name); });
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

THistoryWindow* TViewWindows::showHistory(const std::vector<std::uint64_t>& runIds) {
  std::vector<THistoryTarget> targets;
  for (std::uint64_t id : runIds) {
    auto it = stats->hosts().find(id);
    if (it == stats->hosts().end()) continue;
    targets.push_back({id, it->second.callingName, it->second.hostName, it->second.address});
  }
  if (targets.empty()) return nullptr;
  auto* window = new THistoryWindow(historyFilePath(settings.hosts_file_name), std::move(targets));
  std::erase_if(historyWindows, [](const QPointer<THistoryWindow>& w) { return w.isNull(); });
  historyWindows.emplace_back(window);
  bringUp(*window);
  return window;
}

void TViewWindows::hostDeleting(const TTolvoHost& host) {
  for (const QPointer<THistoryWindow>& window : historyWindows)
    if (window && window->shows(host.runId)) window->hostDeleted(host.runId);
}
