#include "notificationservice.h"

#include <QDateTime>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <signal.h>

#include <thread>

// The object on the bus; lives in the service's thread.
class TNotificationObject : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  TNotificationObject(TNotificationService& owner, QDBusConnection bus)
      : service(owner), connection(std::move(bus)) {}

 public slots:
  uint Notify(const QString& appName, uint replacesId, const QString&, const QString& summary,
              const QString& body, const QStringList& actions, const QVariantMap& hints, int,
              const QDBusMessage& message) {
    const uint id = replacesId ? replacesId : ++lastId;
    service.record({appName, summary, body, actions, hints, QDateTime::currentMSecsSinceEpoch(), id, replacesId});
    if (service.replyDelayMs > 0) {
      message.setDelayedReply(true);
      const QDBusMessage reply = message.createReply(QVariant::fromValue(id));
      QDBusConnection bus = connection;
      QTimer::singleShot(service.replyDelayMs, this, [bus, reply]() mutable { bus.send(reply); });
    }
    return id;
  }
  QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
  void CloseNotification(uint id) { service.recordClosed(id); }

 private:
  TNotificationService& service;
  QDBusConnection connection;
  uint lastId = 0;
};

TSessionBus::TSessionBus() {
  if (!dir.isValid()) return;
  const QString config = dir.filePath(QStringLiteral("bus.conf"));
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly)) return;
  file.write(QStringLiteral(
                 "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                 "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                 "<auth>EXTERNAL</auth><policy context=\"default\">"
                 "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                 "<allow own=\"*\"/></policy></busconfig>\n")
                 .arg(dir.path())
                 .toUtf8());
  file.close();
  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--config-file=") + config, QStringLiteral("--print-address=1"),
                QStringLiteral("--fork"), QStringLiteral("--print-pid=1"), QStringLiteral("--nosyslog")});
  if (!daemon.waitForFinished(10000) || daemon.exitCode() != 0) return;
  const QStringList lines = QString::fromUtf8(daemon.readAllStandardOutput()).split(QLatin1Char('\n'));
  if (lines.size() < 2) return;
  busAddress = lines[0].trimmed();
  pid = lines[1].trimmed().toLongLong();
}

TSessionBus::~TSessionBus() {
  for (const QString& name : names) QDBusConnection::disconnectFromBus(name);
  if (pid <= 0) return;
  ::kill(static_cast<pid_t>(pid), SIGTERM);
  // Its socket goes with it: wait (at most 2 s) so the folder is removed after it.
  for (int i = 0; i < 200 && ::kill(static_cast<pid_t>(pid), 0) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

QDBusConnection TSessionBus::connect(const QString& name) {
  // Names are per process: a name of an earlier test would hand back that test's connection.
  names << name + QString::number(pid);
  return QDBusConnection::connectToBus(busAddress, names.back());
}

namespace {
std::atomic<int> serviceCount{0};
}

TNotificationService::TNotificationService(QString busAddress, int delayMs)
    : address(std::move(busAddress)),
      connectionName(QStringLiteral("notification-service-%1").arg(++serviceCount)),
      replyDelayMs(delayMs) {
  start();
}

TNotificationService::~TNotificationService() {
  vanish();
  wait(5000);
}

bool TNotificationService::started() {
  // The bus's own thread hands the new connection over through the main thread's event loop.
  if (!QTest::qWaitFor([this] { return state.load() != 0; }, 5000)) return false;
  return state.load() == 1;
}

void TNotificationService::run() {
  QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName);
  TNotificationObject object(*this, bus);
  if (!bus.isConnected() ||
      !bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &object,
                          QDBusConnection::ExportAllSlots) ||
      !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
    qWarning("notification service: connected %d, error %s", bus.isConnected(),
             qPrintable(bus.lastError().message()));
    state = -1;
    return;
  }
  state = 1;
  exec();
  bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
}

void TNotificationService::vanish() {
  if (!isRunning()) return;
  QDBusConnection::disconnectFromBus(connectionName);
  quit();
  wait(5000);
}

void TNotificationService::click(uint id) {
  QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                   QStringLiteral("org.freedesktop.Notifications"),
                                                   QStringLiteral("ActionInvoked"));
  signal << id << QStringLiteral("default");
  QDBusConnection(connectionName).send(signal);
}

std::vector<TNotifyCall> TNotificationService::calls() const {
  std::lock_guard guard(lock);
  return recorded;
}

std::vector<uint> TNotificationService::closedIds() const {
  std::lock_guard guard(lock);
  return closed;
}

void TNotificationService::recordClosed(uint id) {
  std::lock_guard guard(lock);
  closed.push_back(id);
}

void TNotificationService::record(TNotifyCall call) {
  std::lock_guard guard(lock);
  recorded.push_back(std::move(call));
}

#include "notificationservice.moc"
