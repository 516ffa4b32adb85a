#pragma once
// Alerts in the program without a display: the desktop program's alert engine (confirmed states,
// degraded hosts, the command and the webhook on a change) with no desktop notices and no session
// bus. Each change is one line on standard error, which a service manager's journal keeps:
//   alert: gateway (192.0.2.1) down: 3 echoes lost in a row
// The command's and the webhook's outcomes go to alerts_log.txt beside the general log. Degraded
// judgements use each host's 24-hour median from the results database, as the desktop program does.

#include <functional>
#include <memory>
#include <string>

class TAlertCenter;
class TAlertMedians;
class TTolvoHosts;

class THeadlessAlerts {
 public:
  // Subscribes to the host list's events; construct it after the event log's subscriber.
  // `databasePath` names the results database the medians are read from.
  THeadlessAlerts(TTolvoHosts& hosts, std::function<std::string()> databasePath);
  ~THeadlessAlerts();

  // Reads [alerts] for the hosts in the list; refused values are printed as warnings.
  void readSettings();

  TAlertCenter& center() { return *alertCenter; }
  // Closes the medians' connection to the results database; call before the recorder stops.
  void closeMedians();

 private:
  TTolvoHosts& hosts;
  std::unique_ptr<TAlertMedians> medians;
  std::unique_ptr<TAlertCenter> alertCenter;
};
