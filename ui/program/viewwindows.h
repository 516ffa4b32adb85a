#pragma once
// The windows beyond the status view that the main window opens: the overview (fed by the live
// figures, which are kept from the start of the run whether it is open or not, and take up each
// host's last 15 minutes from the results database when it is added), the history
// windows, the outages window and the preferences. Owned by the main window and destroyed before
// its host list.

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/engineevents.h"

class QWidget;
class THistoryReaderThread;
class THistoryWindow;
class TLiveStats;
class TLiveTrail;
class TTimelineWindow;
class TOverviewWindow;
class TPreferencesWindow;
class TOutagesWindow;
class TPathWindow;
class TTolvoHost;
class TTolvoHosts;

class TViewWindows : public QObject, private TEngineObserver {
  Q_OBJECT
 public:
  // editHost opens the host maintenance on a host (the main window pauses pinging meanwhile).
  TViewWindows(TTolvoHosts& hosts, std::function<void(const std::vector<TTolvoHost*>&)> editHost);
  ~TViewWindows() override;

  TLiveStats& liveStats() const { return *stats; }
  TOverviewWindow& overview();
  TPreferencesWindow& preferences();
  TOutagesWindow& outages();

  void showOverview();
  void showOutages();
  TTimelineWindow& timeline();
  void showTimeline();
  // The monitor's run state, once a second: the timeline shades stopped or paused time.
  void setMonitoring(bool on);
  // Opens the history of a host at a moment: the hour around it, or the last hour, following,
  // when the moment is in its last half.
  THistoryWindow* showHistoryAt(std::uint64_t runId, std::int64_t ms);
  // The Path window on the host with this run id.
  void showPath(std::uint64_t runId);
  // True when OK applied the values.
  bool showPreferences();
  // One window with the round trips of these hosts overlaid (nullptr when none is in the list).
  THistoryWindow* showHistory(const std::vector<std::uint64_t>& runIds);
  // Keeps window places in the settings (before they are written at close).
  void storeGeometry();
  // The results database the recorder writes in this run (the hosts file's folder at start; a
  // hosts file named elsewhere in Config takes effect at the next start). Until it is set, the
  // windows read the one beside the hosts file the settings name.
  void setDatabasePath(std::string path) { databasePath = std::move(path); }
  std::string historyDatabase() const;
  // Closes the history windows' read-only connections to the database (at close, before the
  // recorder's connection: only the last connection to close folds the write-ahead log into the
  // file and removes it, and only one that may write can do so). The windows stay as they are.
  void closeHistoryDatabases();

 private:
  void hostAdded(const TTolvoHost& host) override;
  void hostDeleting(const TTolvoHost& host) override;

  TTolvoHosts& hostList;
  std::function<void(const std::vector<TTolvoHost*>&)> onEdit;
  std::unique_ptr<TLiveStats> stats;
  std::unique_ptr<TOverviewWindow> frmOverview;
  std::unique_ptr<TPreferencesWindow> frmPreferences;
  std::unique_ptr<TOutagesWindow> frmOutages;
  std::unique_ptr<TLiveTrail> trail;  // the timeline's echoes, kept from the start
  std::unique_ptr<TTimelineWindow> frmTimeline;
  std::unique_ptr<TPathWindow> frmPath;
  std::string databasePath;
  // Reads earlier results for the live figures, off the interface thread.
  std::unique_ptr<THistoryReaderThread> seedReader;
  std::vector<QPointer<THistoryWindow>> historyWindows;  // each deletes itself when closed
};
