#pragma once
// A small HTTP server of the test's own on 127.0.0.1 (port chosen by the kernel) that records every
// request and answers as the test says: a status, a redirect, an answer held back, or none at all.
// It runs on the event loop of the thread that made it: a test waits with QTest::qWaitFor.

#include <QElapsedTimer>
#include <QMap>
#include <QTcpServer>

#include <functional>
#include <vector>

class QTcpSocket;

struct THttpRequest {
  QByteArray method;
  QByteArray path;
  QMap<QByteArray, QByteArray> headers;  // names in lower case
  QByteArray body;
  qint64 arrivedMs = 0;  // since the sink was made
};

struct THttpAnswer {
  int status = 200;
  QByteArray location;  // for a redirect
  int delayMs = 0;      // the answer is held back this long
  bool silent = false;  // never answer, keep the connection open
};

class THttpSink : public QObject {
 public:
  THttpSink();
  quint16 port() const { return server.serverPort(); }
  QString url(const QString& path = QStringLiteral("/hook")) const;

  // How to answer a request; every request gets 200 until set.
  std::function<THttpAnswer(const THttpRequest&)> answer;
  std::vector<THttpRequest> requests;

 private:
  void read(QTcpSocket* socket);

  QElapsedTimer clock;
  QMap<QTcpSocket*, QByteArray> buffers;
  QTcpServer server;  // last: its sockets go first, while what they touch is still there
};
