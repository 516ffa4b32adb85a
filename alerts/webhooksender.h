#pragma once
// Posts alert changes to the webhook with QtNetwork, never holding up the event loop that pings:
// every request is asynchronous, and at most MaxPending deliveries wait at a time (a change beyond
// that is dropped with a line in the alerts log).
//
// A delivery counts when the server answers 2xx. An attempt gives up after TimeoutMs in all (a slow
// server that trickles its answer as well); a failed attempt is repeated Retries times, waiting
// BackoffMs, then twice that, then four times. When the last one fails the alerts log gets one
// line: time (ISO 8601 with offset), "WEBHOOK", host // address, old and new state, why it failed,
// with the URL's user and password masked. Redirects are followed unless they lead from https to
// http, at most 5.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "alertchange.h"
#include "webhookfigures.h"
#include "webhooksettings.h"

class QNetworkAccessManager;
class QNetworkReply;

class TWebhookSender : public QObject {
  Q_OBJECT
 public:
  static constexpr int TimeoutMs = 10000;
  static constexpr int Retries = 3;
  static constexpr int BackoffMs = 2000;
  // Room for every host (at most 255) going down and up again twice while the server is away.
  static constexpr int MaxPending = 1024;
  static constexpr int MaxRedirects = 5;

  explicit TWebhookSender(QObject* parent = nullptr);
  ~TWebhookSender() override;

  void setTarget(const TWebhookSettings& webhook) { target = webhook; }
  bool active() const { return !target.url.empty(); }
  // Shorter waits for tests.
  void setTimeoutMs(int ms) { timeoutMs = ms; }
  void setBackoffMs(int ms) { backoffMs = ms; }

  // Where the alerts log is, asked at each line.
  std::function<QString()> logFileFor;
  std::function<void(const QString& line)> onLogLine;
  // Each delivery's end: whether it arrived, after how many attempts, and the milliseconds since
  // send() was called.
  std::function<void(bool delivered, int attempts, qint64 ms)> onFinished;

  // Posts this change to the webhook set (nothing when none is).
  void send(const TAlertChange& change, const TChangeFigures& figures);
  // Posts the test message once, without retries, to `settings`; `done` gets whether it arrived and
  // "HTTP 200 in 35 ms" or why not. Nothing is logged.
  void sendTest(const TWebhookSettings& settings, std::function<void(bool delivered, const QString& outcome)> done);

  int pendingCount() const { return pending; }

 private:
  struct TDelivery {
    TWebhookSettings target;
    QByteArray body;
    TAlertChange change;
    int attempts = 0;
    int retries = Retries;
    bool timedOut = false;
    QElapsedTimer since;
    std::function<void(bool, const QString&)> done;
  };
  void post(const std::shared_ptr<TDelivery>& delivery);
  void answered(const std::shared_ptr<TDelivery>& delivery, QNetworkReply* reply);
  void end(const std::shared_ptr<TDelivery>& delivery, bool delivered, const QString& outcome);
  void writeLog(const TAlertChange& change, const QString& outcome);

  QNetworkAccessManager* network;
  TWebhookSettings target;
  int timeoutMs = TimeoutMs;
  int backoffMs = BackoffMs;
  int pending = 0;
};
