#pragma once
// Receives the answers of QHostInfo lookups for one socket, on the socket's thread.
//
// The lookups are started with a named slot of this object rather than with a function object:
// QHostInfo (Qt 6.4) frees the function object it keeps for a lookup only when it delivers the
// answer, so every lookup that was aborted, or whose receiver was gone, left that object behind.
// A slot connection is dropped with the lookup or with this object, and nothing is left.

#include <QHostInfo>
#include <QObject>

#include <functional>

class TLookupReceiver : public QObject {
  Q_OBJECT
 public:
  std::function<void(const QHostInfo&)> onAnswer;

 public slots:
  void answer(const QHostInfo& info) {
    if (onAnswer) onAnswer(info);
  }
};
