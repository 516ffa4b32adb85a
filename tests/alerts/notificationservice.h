#pragma once
// A private D-Bus session bus for a test (dbus-daemon with a configuration of the test's own) and a
// small notification service on it: it owns org.freedesktop.Notifications from a thread of its own,
// records every Notify and CloseNotification call, can answer late, can vanish, and can send ActionInvoked as a desktop
// does when the user clicks a notification.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QVariantMap>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

class TSessionBus {
 public:
  TSessionBus();  // starts the daemon; address() is empty when it could not
  ~TSessionBus();  // ends it
  const QString& address() const { return busAddress; }
  // A client connection of its own, as the program's session bus would be.
  QDBusConnection connect(const QString& name);

 private:
  QTemporaryDir dir;
  QString busAddress;
  qint64 pid = 0;
  QStringList names;
};

struct TNotifyCall {
  QString appName;
  QString summary;
  QString body;
  QStringList actions;
  QVariantMap hints;
  std::int64_t atUnixMs = 0;
  uint id = 0;
  uint replacesId = 0;
};

class TNotificationService : public QThread {
  Q_OBJECT
 public:
  explicit TNotificationService(QString busAddress, int replyDelayMs = 0);
  ~TNotificationService() override;  // vanishes and ends the thread

  // Waits until the name is owned (at most a few seconds); false when it could not be.
  bool started();
  // Drops the name and the connection, as a crashed service would.
  void vanish();
  // Sends ActionInvoked(id, "default") from the service, as a click on the notification does.
  void click(uint id);

  std::vector<TNotifyCall> calls() const;
  std::vector<uint> closedIds() const;  // CloseNotification calls, in order

 protected:
  void run() override;

 private:
  friend class TNotificationObject;
  void record(TNotifyCall call);
  void recordClosed(uint id);

  QString address;
  QString connectionName;
  int replyDelayMs;
  std::atomic<int> state{0};  // 0 starting, 1 owning the name, -1 failed
  mutable std::mutex lock;
  std::vector<TNotifyCall> recorded;
  std::vector<uint> closed;
};
