#include "desktopnotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <algorithm>

namespace {

constexpr const char* Interface = "org.freedesktop.Notifications";
constexpr const char* AppName = "Sorvelo";

}  // namespace

TDesktopNotifier::TDesktopNotifier(QDBusConnection connection, QObject* parent)
    : QObject(parent), bus(std::move(connection)) {
  listen();
}

void TDesktopNotifier::setBus(QDBusConnection connection) {
  bus = std::move(connection);
  busPending = false;
  listen();
  std::deque<TAlertNotice> notices;
  notices.swap(waiting);
  for (const TAlertNotice& notice : notices) show(notice);
}

void TDesktopNotifier::listen() {
  if (!bus.isConnected()) return;
  // No service name: the match is for the signal from whoever owns the name, and Qt need not ask
  // the bus who that is (a call that would wait for its answer).
  bus.connect(QString(), QString::fromLatin1(Path), QString::fromLatin1(Interface),
              QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
  bus.connect(QString(), QString::fromLatin1(Path), QString::fromLatin1(Interface),
              QStringLiteral("NotificationClosed"), this, SLOT(notificationClosed(uint, uint)));
}

void TDesktopNotifier::show(const TAlertNotice& notice) {
  if (busPending) {
    if (waiting.size() < WaitingNotices) waiting.push_back(notice);
    return;
  }
  if (!bus.isConnected()) {
    toFallback(notice);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(Service), QString::fromLatin1(Path), QString::fromLatin1(Interface),
      QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(notice.urgent ? 2 : 1));
  hints.insert(QStringLiteral("category"), QStringLiteral("network"));
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("sorvelo"));
  call << QString::fromLatin1(AppName) << replacedBy(notice)
       << QString::fromLatin1(notice.urgent ? "network-error" : "network-idle")
       << QString::fromStdString(notice.summary) << QString::fromStdString(notice.body)
       << QStringList{QStringLiteral("default"), QStringLiteral("Show in overview")} << hints
       << int{-1};
  ++sent;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, ReplyTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, watcher, notice](QDBusPendingCallWatcher*) {
            watcher->deleteLater();
            const QDBusPendingReply<uint> reply = *watcher;
            if (reply.isError()) {
              toFallback(notice);
              return;
            }
            ++answered;
            shown.push_back({reply.value(), notice.runIds, notice.downSubjects});
            while (shown.size() > RememberedNotices) shown.pop_front();
          });
}

uint TDesktopNotifier::replacedBy(const TAlertNotice& notice) {
  const auto answers = [&notice](const TShown& entry) {
    if (entry.downSubjects.empty()) return false;
    const bool allBack = std::all_of(
        entry.downSubjects.begin(), entry.downSubjects.end(), [&](std::uint64_t subject) {
          return std::find(notice.upSubjects.begin(), notice.upSubjects.end(), subject) !=
                 notice.upSubjects.end();
        });
    const bool followed = notice.followsDown && entry.downSubjects == notice.downSubjects &&
                          entry.runIds == notice.runIds;
    return allBack || followed;
  };
  // The newest notification this notice answers gives up its place; older ones it answers as
  // well (a group's "down" and a host's path notice after it) are closed, so nothing on screen
  // still says a host is down once it is back.
  uint replaced = 0;
  for (auto it = shown.rbegin(); it != shown.rend();) {
    if (!answers(*it)) {
      ++it;
      continue;
    }
    if (replaced == 0)
      replaced = it->id;
    else
      close(it->id);
    it = std::make_reverse_iterator(shown.erase(std::next(it).base()));
  }
  return replaced;
}

void TDesktopNotifier::close(uint id) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(Service), QString::fromLatin1(Path), QString::fromLatin1(Interface),
      QStringLiteral("CloseNotification"));
  call << id;
  bus.asyncCall(call, ReplyTimeoutMs);  // nothing to do with the answer: closed or already gone
}

void TDesktopNotifier::toFallback(const TAlertNotice& notice) {
  ++fellBack;
  if (fallback) fallback(notice);
}

void TDesktopNotifier::actionInvoked(uint id, const QString& actionKey) {
  if (actionKey != QLatin1String("default")) return;
  for (const TShown& entry : shown)
    if (entry.id == id) {
      if (onActivated) onActivated(entry.runIds);
      return;
    }
}

void TDesktopNotifier::notificationClosed(uint id, uint) {
  for (auto it = shown.begin(); it != shown.end(); ++it)
    if (it->id == id) {
      shown.erase(it);
      return;
    }
}
