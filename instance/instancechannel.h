#pragma once
// The channel through which a new start talks to a running copy: a local socket at the path the
// copy's lock names (instancelock.h), one command per line, one line of answer per command.
//
//   activate        the desktop program brings its window to the front
//   reload-hosts    the monitor reads its hosts file again
//
// The answer is "ok" once the handler has run, or "unknown <command>" when this copy has no
// handler for it. Lines longer than MaxLineBytes and connections idle for IdleLimit are cut off.
// The serving side runs on the event loop of the thread that made it and never waits.

#include <QObject>
#include <chrono>
#include <functional>
#include <map>
#include <string>

class QLocalServer;
class QLocalSocket;

class TInstanceChannel : public QObject {
  Q_OBJECT
 public:
  static constexpr qint64 MaxLineBytes = 256;
  static constexpr std::chrono::milliseconds IdleLimit{5000};

  explicit TInstanceChannel(QObject* parent = nullptr);

  // Listens at `path`, taking over a socket file left behind by a copy that was killed: call it
  // only while holding the lock the path belongs to. False with problem() set when listening fails.
  bool listen(const std::string& path);
  const std::string& problem() const { return listenProblem; }
  void setHandler(const std::string& command, std::function<void()> handler);

 private:
  void serve(QLocalSocket* socket);
  std::string answer(const std::string& command);

  QLocalServer* server;
  std::map<std::string, std::function<void()>> handlers;
  std::string listenProblem;
};

// Sends `command` to the channel at `path` and returns the answer line ("ok", ...), or empty when
// nobody answered within `timeout`. It waits: meant for a start that is about to exit or for a
// command-line run, never for the interface thread of a monitor.
std::string sendInstanceCommand(const std::string& path, const std::string& command,
                                std::chrono::milliseconds timeout);
