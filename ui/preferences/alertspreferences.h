#pragma once
// The alerts page of Preferences: notifications on or off (also "not while pinging is stopped"),
// the echoes that confirm a host down or up, the limits of a degraded host, the command run on a
// change, the webhook's URL with "Send test", and per host its own counts and whether it is notified. Values are typed as text and
// checked with the same rules as the settings file, so a refused value names its range.
//
// The Preferences window embeds it with load / validate / apply.

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TWebhookSender;
class QTableWidget;

class TAlertsPreferences : public QWidget {
  Q_OBJECT
 public:
  struct THostRow {
    std::string name;
    std::string address;
  };
  // `hosts` lists the hosts for the per-host table at every load.
  explicit TAlertsPreferences(std::function<std::vector<THostRow>()> hosts, QWidget* parent = nullptr);

  void load();
  // Empty when every value is right, else the message about the first wrong one.
  QString validate() const;
  void apply();
  // Called after apply (the program reads the settings again).
  std::function<void()> onApplied;

  QCheckBox* cbNotify;
  QCheckBox* cbQuietWhileStopped;
  QLineEdit* edLostToDown;
  QLineEdit* edAnswersToUp;
  QLineEdit* edLossPercent;
  QLineEdit* edRttMs;
  QLineEdit* edRttFactor;
  QLineEdit* edMinEchoes;
  QLineEdit* edCommand;
  QLineEdit* edWebhookUrl;
  QCheckBox* cbWebhookText;
  QPushButton* btnSendTest;
  QLabel* lbSendTest;  // how the last test went
  QTableWidget* tbHosts;

 private:
  std::vector<std::pair<QLineEdit*, const char*>> fields() const;
  std::function<std::vector<THostRow>()> listHosts;
  std::vector<std::string> shownAddresses;
  std::vector<std::string> webhookHeaders;  // kept as read: they are set in the file only
  TWebhookSender* tester = nullptr;
};
