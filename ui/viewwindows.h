#pragma once
// The windows beyond the status view that the main window opens: the overview (fed by the live
// figures, which are kept from the start of the run whether it is open or not), the history
// windows, the outages window and the preferences. Owned by the main window and destroyed before
// its host list.

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/engineevents.h"

class QWidget;
class THistoryWindow;
class TLiveStats;
class TOverviewWindow;
class TPreferencesWindow;
class TOutagesWindow;
class TTolvoHost;
class TTolvoHosts;

class TViewWindows : public QObject, private TEngineObserver {
  Q_OBJECT
 public:
  // editHost opens the host maintenance on a host (the main window pauses pinging meanwhile).
  TViewWindows(TTolvoHosts& hosts, std::function<void(TTolvoHost*)> editHost);
  ~TViewWindows() override;

  TLiveStats& liveStats() const { return *stats; }
  TOverviewWindow& overview();
  TPreferencesWindow& preferences();
  TOutagesWindow& outages();

  void showOverview();
  void showOutages();
  // True when OK applied the values.
  bool showPreferences();
  // One window with the round trips of these hosts overlaid (nullptr when none is in the list).
  THistoryWindow* showHistory(const std::vector<std::uint64_t>& runIds);
  // Keeps window places in the settings (before they are written at close).
  void storeGeometry();

 private:
  void hostDeleting(const TTolvoHost& host) override;

  TTolvoHosts& hostList;
  std::function<void(TTolvoHost*)> onEdit;
  std::unique_ptr<TLiveStats> stats;
  std::unique_ptr<TOverviewWindow> frmOverview;
  std::unique_ptr<TPreferencesWindow> frmPreferences;
  std::unique_ptr<TOutagesWindow> frmOutages;
  std::vector<QPointer<THistoryWindow>> historyWindows;  // each deletes itself when closed
};
