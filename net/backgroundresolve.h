#pragma once
// Looks a server name up on a thread of its own that nobody ever waits for: the answer comes back
// as a queued call on the thread that started the lookup, or is dropped once the object is gone.
//
// QHostInfo's lookups run in a pool that the program's exit waits for: a name server that never
// answers would hold the exit for the resolver's whole time-out (ten seconds and more with the
// usual settings). The version check, which runs at start-up and is given up after a few seconds,
// uses this instead. The thread ends by itself when the resolver gives up.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

class TBackgroundResolve {
 public:
  // code is 0 or a socket error code; addresses are the name's IPv4 addresses in dotted form.
  using TAnswer = std::function<void(std::uint16_t code, const std::vector<std::string>& addresses)>;

  TBackgroundResolve(const std::string& name, TAnswer answer);
  ~TBackgroundResolve();  // a later answer reaches nobody; not to be called from the answer itself
  TBackgroundResolve(const TBackgroundResolve&) = delete;
  TBackgroundResolve& operator=(const TBackgroundResolve&) = delete;

  struct TMailbox;

 private:
  std::unique_ptr<QObject> context;  // receives the queued answer on the starting thread
  std::shared_ptr<TMailbox> mailbox;
};
