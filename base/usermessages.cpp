#include "base/usermessages.h"

#include <cstdio>
#include <mutex>

namespace {

// The sink is installed once by the interface (or a test) and read from worker threads, so it is
// guarded; the handlers themselves run outside the lock.
std::mutex sinkLock;
TUserMessageSink& currentSink() {
  static TUserMessageSink sink;
  return sink;
}

void toStderr(const std::string& text) { std::fprintf(stderr, "Sorvelo: %s\n", text.c_str()); }

}  // namespace

void installUserMessageSink(TUserMessageSink sink) {
  std::lock_guard lock(sinkLock);
  currentSink() = std::move(sink);
}

void showUserMessage(const std::string& text) {
  std::function<void(const std::string&)> show;
  {
    std::lock_guard lock(sinkLock);
    show = currentSink().show;
  }
  show ? show(text) : toStderr(text);
}

void postUserMessage(const std::string& text) {
  std::function<void(const std::string&)> post;
  {
    std::lock_guard lock(sinkLock);
    post = currentSink().post;
  }
  post ? post(text) : toStderr(text);
}
