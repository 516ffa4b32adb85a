#include "httpsink.h"

#include <QTcpSocket>
#include <QTimer>

THttpSink::THttpSink() {
  clock.start();
  server.listen(QHostAddress::LocalHost, 0);
  connect(&server, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* socket = server.nextPendingConnection()) {
      connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
      connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QObject::destroyed, this, [this, socket] { buffers.remove(socket); });
    }
  });
}

QString THttpSink::url(const QString& path) const {
  return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void THttpSink::read(QTcpSocket* socket) {
  QByteArray& buffer = buffers[socket];
  buffer += socket->readAll();
  const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
  if (headEnd < 0) return;
  THttpRequest request;
  const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
  const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
  request.method = first.value(0);
  request.path = first.value(1);
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const qsizetype colon = lines[i].indexOf(':');
    if (colon > 0) request.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
  }
  const qsizetype length = request.headers.value("content-length", "0").toLongLong();
  if (buffer.size() < headEnd + 4 + length) return;
  request.body = buffer.mid(headEnd + 4, length);
  request.arrivedMs = clock.elapsed();
  buffer.clear();
  requests.push_back(request);
  const THttpAnswer reply = answer ? answer(request) : THttpAnswer{};
  if (reply.silent) return;
  QByteArray text = "HTTP/1.1 " + QByteArray::number(reply.status) + " X\r\nContent-Length: 0\r\nConnection: close\r\n";
  if (!reply.location.isEmpty()) text += "Location: " + reply.location + "\r\n";
  text += "\r\n";
  QTimer::singleShot(reply.delayMs, socket, [socket, text] {
    socket->write(text);
    socket->disconnectFromHost();
  });
}
