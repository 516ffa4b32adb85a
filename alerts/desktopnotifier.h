#pragma once
// Desktop notifications through the freedesktop notification service on the session bus
// (org.freedesktop.Notifications, method Notify), with the tray balloon as the fallback.
//
// Every call is asynchronous: Notify is sent and its reply handled when it comes, so a slow or
// vanished service never holds up the interface thread. A notice goes to the fallback when there is
// no bus, or when the call fails (no service owns the name, it vanished, or it did not answer within
// ReplyTimeoutMs: a user should rather see a change twice than not at all).
//
// Clicking a notification (the service's ActionInvoked signal with the "default" action) hands the
// hosts of that notice to `onActivated`; the window layer opens the overview with them selected.
//
// A notice that tells up again every subject a shown notification told down takes that
// notification's place (Notify's replaces_id), so "gateway is down" does not stay on screen once
// gateway is back. A notice that follows a host's "down" (where its path stops) takes the place of
// a notification about that host alone in the same way. Older notifications the same notice
// answers are closed (CloseNotification).

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "alerttexts.h"

class TDesktopNotifier : public QObject {
  Q_OBJECT
 public:
  static constexpr int ReplyTimeoutMs = 10000;
  static constexpr std::size_t RememberedNotices = 64;
  static constexpr const char* Service = "org.freedesktop.Notifications";
  static constexpr const char* Path = "/org/freedesktop/Notifications";

  explicit TDesktopNotifier(QDBusConnection bus, QObject* parent = nullptr);

  // Connecting to the session bus waits for the bus's answer, so the program connects on another
  // thread: until setBus hands the connection over, notices wait (at most WaitingNotices of them).
  static constexpr std::size_t WaitingNotices = 16;
  void awaitBus() { busPending = true; }
  void setBus(QDBusConnection connection);

  // Shows the notice; returns at once.
  void show(const TAlertNotice& notice);

  std::function<void(const TAlertNotice&)> fallback;  // the tray balloon
  std::function<void(const std::vector<std::uint64_t>&)> onActivated;

  int sentCount() const { return sent; }
  int fallbackCount() const { return fellBack; }
  int answeredCount() const { return answered; }

 private slots:
  void actionInvoked(uint id, const QString& actionKey);
  void notificationClosed(uint id, uint reason);

 private:
  void toFallback(const TAlertNotice& notice);
  void listen();

  QDBusConnection bus;
  bool busPending = false;
  std::deque<TAlertNotice> waiting;
  struct TShown {
    uint id;
    std::vector<std::uint64_t> runIds;
    std::vector<std::uint64_t> downSubjects;
  };
  // The shown notification an "up again" or a follow-up notice takes the place of, or 0.
  uint replacedBy(const TAlertNotice& notice);
  void close(uint id);  // CloseNotification, not waited for

  // Notifications the service gave us an id for and has not closed, newest last.
  std::deque<TShown> shown;
  int sent = 0;
  int fellBack = 0;
  int answered = 0;
};
