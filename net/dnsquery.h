#pragma once
// A name lookup that looks like a plain call: it starts the socket layer's asynchronous lookup and
// waits on the Qt event loop (sleeping until the next event, no spinning) until the answer arrives,
// so timers and input go on meanwhile. A failed lookup gives back the asked text.

#include <cstdint>
#include <memory>
#include <string>

class QEventLoop;
class TAsyncSocket;

// Which address a forward lookup gives for a name that has both families: its first IPv4 address
// (the default) or its first IPv6 address. A name with one family gets that family's address either
// way. One choice for the whole program (the setting [pinging] prefer_ipv6, see
// core/pingingsettings.h).
void setPreferIpv6(bool prefer);
bool preferIpv6();

class dnsQueryClass {
 public:
  dnsQueryClass();
  ~dnsQueryClass();  // cancels a lookup still pending
  dnsQueryClass(const dnsQueryClass&) = delete;
  dnsQueryClass& operator=(const dnsQueryClass&) = delete;

  // forward: name -> first address (see preferIpv6); reverse: address -> official name. Throws
  // ESocketException (socket layer messages) when the lookup cannot even start.
  void lookup(const std::string& text, bool forward, std::string& result);

  bool done = false;
  std::uint16_t errorCode = 0;

 private:
  void lookupDone(std::uint16_t code);

  std::unique_ptr<TAsyncSocket> socket;
  QEventLoop* waiting = nullptr;  // the wait of the lookup in progress, quit by its completion
};
