#include "viewwindows.h"

#include "config/settings.h"
#include "core/tolvohosts.h"
#include "livestats.h"
#include "overviewwindow.h"
#include "preferenceswindow.h"

namespace {

void bringUp(QWidget& window) {
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace

TViewWindows::TViewWindows(TTolvoHosts& hosts, std::function<void(TTolvoHost*)> editHost)
    : hostList(hosts), onEdit(std::move(editHost)), stats(std::make_unique<TLiveStats>(hosts)) {}

TViewWindows::~TViewWindows() {
  // Windows first: they read the live figures.
  frmPreferences.reset();
  frmOverview.reset();
  stats.reset();
}

TOverviewWindow& TViewWindows::overview() {
  if (!frmOverview) {
    frmOverview = std::make_unique<TOverviewWindow>(*stats, hostList);
    frmOverview->onEdit = onEdit;
    frmOverview->onDeleted = [this] { hostList.saveToFile(settings.hosts_file_name); };
  }
  return *frmOverview;
}

TPreferencesWindow& TViewWindows::preferences() {
  if (!frmPreferences) frmPreferences = std::make_unique<TPreferencesWindow>();
  return *frmPreferences;
}

void TViewWindows::showOverview() { bringUp(overview()); }

void TViewWindows::showPreferences() { preferences().exec(); }

void TViewWindows::storeGeometry() {
  if (frmOverview) frmOverview->storeGeometry();
}
