#pragma once
// Alerts in the desktop program: the alert center subscribed to the host list, its settings read
// from [alerts] (again whenever a host is added or edited, for the per-host values), the tray
// balloon as the fallback for desktop notifications, the tray tooltip's list of hosts that are
// down, the hosts' 24-hour medians from the results database, and the overview opened on a clicked
// notification or balloon.

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/engineevents.h"

class TAlertCenter;
class TAlertMedians;
class TRunControl;
class TViewWindows;
class TTolvoHosts;
class TTrayIcon;

class TAlertsWiring : public QObject, public TEngineObserver {
  Q_OBJECT
 public:
  // Subscribes after the subscribers already there (the event log first).
  TAlertsWiring(TTolvoHosts& hosts, TTrayIcon& tray, TRunControl& runControl, QObject* parent = nullptr);
  ~TAlertsWiring() override;

  TAlertCenter& center() { return *alertCenter; }

  // Degraded hosts in amber in the overview, a clicked notification opens it on its hosts, the
  // tray's Overview entry, and the Alerts page of Preferences.
  void attachViews(TViewWindows& views);

  // Reads [alerts] again; refused values are told through the user-message sink when `tell`.
  void reloadSettings(bool tell);
  // Closes the medians' connection to the results database (before the recorder stops).
  void closeHistoryDatabase();

  // Opens the overview with these hosts selected (by run id). Until the overview installs itself
  // here, the main window is shown.
  std::function<void(const std::vector<std::uint64_t>&)> openOverview;

  void hostAdded(const TTolvoHost& host) override;
  void hostEdited(const TTolvoHost& host, const THostNames& before) override;

 private:
  void showHosts(const std::vector<std::uint64_t>& runIds);
  void connectSessionBus();

  TTolvoHosts& hosts;
  TTrayIcon& tray;
  std::unique_ptr<TAlertMedians> medians;
  std::unique_ptr<TAlertCenter> alertCenter;
  std::vector<std::uint64_t> balloonHosts;
};
