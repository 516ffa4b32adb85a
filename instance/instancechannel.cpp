#include "instancechannel.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

TInstanceChannel::TInstanceChannel(QObject* parent)
    : QObject(parent), server(new QLocalServer(this)) {
  server->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server->nextPendingConnection()) serve(socket);
  });
}

bool TInstanceChannel::listen(const std::string& path) {
  const QString name = QString::fromStdString(path);
  // A socket file of a copy that was killed is still there; the lock says nobody uses it now.
  QLocalServer::removeServer(name);
  if (server->listen(name)) return true;
  listenProblem =
      "the channel " + path + " cannot be opened: " + server->errorString().toStdString();
  return false;
}

void TInstanceChannel::setHandler(const std::string& command, std::function<void()> handler) {
  handlers[command] = std::move(handler);
}

std::string TInstanceChannel::answer(const std::string& command) {
  const auto handler = handlers.find(command);
  if (handler == handlers.end()) return "unknown " + command;
  handler->second();
  return "ok";
}

void TInstanceChannel::serve(QLocalSocket* socket) {
  connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  auto* idle = new QTimer(socket);
  idle->setSingleShot(true);
  connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
  idle->start(IdleLimit);
  connect(socket, &QLocalSocket::readyRead, socket, [this, socket, idle] {
    while (socket->canReadLine()) {
      const std::string command = socket->readLine(MaxLineBytes + 1).trimmed().toStdString();
      socket->write(QByteArray::fromStdString(answer(command) + "\n"));
      idle->start(IdleLimit);
    }
    if (socket->bytesAvailable() > MaxLineBytes) socket->abort();
  });
}

std::string sendInstanceCommand(const std::string& path, const std::string& command,
                                std::chrono::milliseconds timeout) {
  const QDeadlineTimer deadline(timeout);
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(path));
  if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) return {};
  socket.write(QByteArray::fromStdString(command + "\n"));
  while (!socket.canReadLine()) {
    if (deadline.hasExpired() ||
        !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
      return {};
  }
  return socket.readLine(TInstanceChannel::MaxLineBytes + 1).trimmed().toStdString();
}
