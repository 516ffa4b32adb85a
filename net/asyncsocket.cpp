// The connection side of TAsyncSocket: settings, Connect, notifications, sending, receiving, closing.
//
// One wake-up of either notifier is handled as a whole: poll() reads everything the kernel has to
// say about the socket, and the steps run in this order, each only while the socket is still this
// object's current one:
//   1. connection completed (writable or error while connecting) -> wsConnected, OnSessionConnected
//      with SO_ERROR, and Close when that code is not 0;
//   2. readable -> (wsConnected and OnSessionConnected first if still connecting) receive loop;
//   3. writable -> push the send queue;
//   4. peer closed (EOF, hang-up or error) -> receive loop until nothing waits, OnSessionClosed once,
//      Close.

#include "asyncsocket.h"

#include <QHostInfo>
#include <QObject>
#include <QSocketNotifier>

#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "lookupreceiver.h"
#include "socketerrors.h"
#include "socketresolve.h"

namespace {

constexpr std::size_t DiscardChunk = 1024;  // read and dropped per round when nobody listens
constexpr int ReadRoundsPerWakeup = 256;    // a fast sender cannot keep the event loop from running
constexpr const char* AnyLocalAddr = "0.0.0.0";
constexpr const char* AnyLocalPort = "0";

std::string trimmed(const std::string& value) {
  const auto first = value.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return value.substr(first, value.find_last_not_of(' ') - first + 1);
}

}  // namespace

TAsyncSocket::TAsyncSocket() { assignDefaults(); }

TAsyncSocket::~TAsyncSocket() {
  destroying = true;
  CancelDnsLookup();
  if (state != wsClosed || handle >= 0) closeHandle();
  lifeToken.reset();
}

void TAsyncSocket::assignDefaults() {
  proto = "tcp";
  protoAssigned = true;
  addrAssigned = false;
  portAssigned = false;
  localAddr = AnyLocalAddr;
  localPort = AnyLocalPort;
}

void TAsyncSocket::setRemote(std::string& field, bool& assigned, const std::string& value,
                             const char* what) {
  const std::string text = trimmed(value);
  if (text.empty()) {
    assigned = false;
    return;
  }
  if (text != field && state != wsClosed) {
    raiseError(std::string("Cannot change ") + what + " if not closed");
    return;
  }
  field = text;
  assigned = true;
}

void TAsyncSocket::SetAddr(const std::string& value) { setRemote(addr, addrAssigned, value, "Addr"); }
void TAsyncSocket::SetPort(const std::string& value) { setRemote(port, portAssigned, value, "Port"); }
void TAsyncSocket::SetProto(const std::string& value) {
  setRemote(proto, protoAssigned, value, "Proto");
}

void TAsyncSocket::setLocal(std::string& field, const std::string& value, const char* fallback,
                            const char* what) {
  std::string text = trimmed(value);
  if (text.empty()) text = fallback;
  if (text != field && state != wsClosed) {
    raiseError(std::string("Cannot change ") + what + " if not closed");
    return;
  }
  field = text;
}

void TAsyncSocket::SetLocalAddr(const std::string& value) {
  setLocal(localAddr, value, AnyLocalAddr, "LocalAddr");
}
void TAsyncSocket::SetLocalPort(const std::string& value) {
  setLocal(localPort, value, AnyLocalPort, "LocalPort");
}

void TAsyncSocket::changeState(TSocketState newState) {
  const TSocketState old = state;
  state = newState;
  if (OnChangeState && old != newState) OnChangeState(this, old, newState);
}

void TAsyncSocket::raiseError(const std::string& message) {
  if (OnError) {
    OnError(this);
    return;
  }
  throw ESocketException(message);
}

void TAsyncSocket::setSystemError(int errnoValue) { systemError = socketErrorFromErrno(errnoValue); }

void TAsyncSocket::socketError(const std::string& operation) {
  const int code = systemError;
  const std::string message = "Error " + std::to_string(code) + " in function " + operation + "\r\n" +
                              socketErrorDesc(code);
  if (code == socketcode::ConnReset || code == socketcode::NotConnected) {
    const bool wasOpen = state != wsClosed;
    closeHandle();
    changeState(wsClosed);
    if (wasOpen) {
      std::weak_ptr<char> alive = lifeToken;
      reportSessionClosed(static_cast<std::uint16_t>(code));
      if (alive.expired()) throw ESocketException(message);
    }
  }
  lastError = code;
  raiseError(message);
}

// Resolves protocol, port and host of the next connection, and checks the local end; false once an
// error has been raised.
bool TAsyncSocket::resolveTarget(int& protocol, std::uint32_t& address, std::uint16_t& portNumber) {
  std::string failure = resolveProto(proto, protocol);
  if (failure.empty()) failure = resolvePort(port, proto, portNumber);
  if (failure.empty()) failure = resolveHost(addr, address);
  std::uint16_t localNumber = 0;
  if (failure.empty()) failure = resolvePort(localPort, proto, localNumber);
  if (failure.empty() && !isDottedQuad(localAddr))
    failure = "SocketResolveHost: '" + localAddr + "' Invalid IP address.";
  if (failure.empty()) return true;
  raiseError("connect: " + failure);
  return false;
}

// Binds the new socket to the local address and port when either is set; false once an error has
// been raised (the socket is closed again then).
bool TAsyncSocket::bindLocal() {
  if (localAddr == AnyLocalAddr && localPort == AnyLocalPort) return true;
  std::uint16_t number = 0;
  std::uint32_t address = 0;
  resolvePort(localPort, proto, number);  // both were checked before the socket was made
  resolveHost(localAddr, address);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(number);
  local.sin_addr.s_addr = address;
  if (::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    setSystemError(errno);
    closeHandle();
    changeState(wsClosed);
    socketError("Connect (bind)");
    return false;
  }
  changeState(wsBound);
  return true;
}

bool TAsyncSocket::setOptions() {
  const int on = 1;
  const linger hardClose{1, 0};  // closing never waits for unsent data
  const struct {
    int option;
    const void* value;
    socklen_t size;
    const char* name;
  } options[] = {
      {SO_REUSEADDR, &on, sizeof on, "setsockopt(SO_REUSEADDR)"},
      {SO_LINGER, &hardClose, sizeof hardClose, "setsockopt(SO_LINGER)"},
      {SO_KEEPALIVE, &on, sizeof on, "setsockopt(SO_KEEPALIVE)"},
  };
  for (const auto& o : options) {
    if (setsockopt(handle, SOL_SOCKET, o.option, o.value, o.size) != 0) {
      setSystemError(errno);
      socketError(o.name);
      return false;
    }
  }
  return true;
}

void TAsyncSocket::Connect() {
  if (handle >= 0 && state != wsClosed) return raiseError("Connect: Socket already in use");
  if (!portAssigned) return raiseError("Connect: No Port Specified");
  if (!addrAssigned) return raiseError("Connect: No IP Address Specified");
  if (!protoAssigned) return raiseError("Connect: No Protocol Specified");
  int protocol = 0;
  std::uint32_t address = 0;
  std::uint16_t portNumber = 0;
  if (!resolveTarget(protocol, address, portNumber)) return;

  handle = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
  if (handle < 0) {
    setSystemError(errno);
    return socketError("Connect (socket)");
  }
  sendQueue.clear();
  sessionClosedReported = false;
  changeState(wsOpened);
  if (!setOptions() || !bindLocal()) return;
  watch();

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(portNumber);
  to.sin_addr.s_addr = address;
  if (::connect(handle, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 || errno == EINPROGRESS) {
    changeState(wsConnecting);
    return;
  }
  setSystemError(errno);
  socketError("Connect");
}

// Both notifiers lead to the same handler; writability is watched only while connecting or while
// the send queue holds bytes, since a writable socket would otherwise wake the loop without end.
void TAsyncSocket::watch() {
  readNotifier = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Read);
  writeNotifier = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Write);
  QObject::connect(readNotifier.get(), &QSocketNotifier::activated, [this] { onNotifier(); });
  QObject::connect(writeNotifier.get(), &QSocketNotifier::activated, [this] { onNotifier(); });
}

void TAsyncSocket::setWriteWatch(bool on) {
  if (writeNotifier) writeNotifier->setEnabled(on);
}

bool TAsyncSocket::fire(const TSessionEvent& event, std::uint16_t code) {
  if (!event) return true;
  std::weak_ptr<char> alive = lifeToken;
  event(this, code);
  return !alive.expired();
}

// Nothing may unwind through Qt's event loop: an error that escapes a handler (or the layer's own
// error routine) while a wake-up is handled goes to OnBgException, and the connection is dropped at
// once unless that handler says otherwise.
void TAsyncSocket::onNotifier() {
  std::weak_ptr<char> alive = lifeToken;
  try {
    handleWakeup();
  } catch (const std::exception& error) {
    if (!alive.expired()) backgroundException(error);
  } catch (...) {
    if (!alive.expired()) backgroundException(ESocketException("Unknown exception"));
  }
}

void TAsyncSocket::backgroundException(const std::exception& error) {
  bool canClose = true;
  if (OnBgException) {
    std::weak_ptr<char> alive = lifeToken;
    try {
      OnBgException(this, error, canClose);
    } catch (...) {
      // a failing exception handler changes nothing: the connection is still aborted
      canClose = true;
    }
    if (alive.expired()) return;
  }
  if (canClose) abortAfterException();
}

void TAsyncSocket::abortAfterException() {
  try {
    const bool wasOpen = state != wsClosed;
    closeHandle();
    changeState(wsClosed);
    if (wasOpen) reportSessionClosed(socketcode::ConnAborted);
  } catch (...) {
    // a handler that fails again is not told twice
  }
}

void TAsyncSocket::handleWakeup() {
  if (handle < 0) return;
  pollfd p{handle, static_cast<short>(POLLIN | POLLOUT | POLLRDHUP), 0};
  if (::poll(&p, 1, 0) <= 0) return;
  const short events = p.revents;
  const int current = handle;
  std::weak_ptr<char> alive = lifeToken;
  auto stillOurs = [&] { return !alive.expired() && handle == current && state != wsClosed; };

  if (state == wsConnecting && (events & (POLLOUT | POLLERR | POLLHUP)) != 0) {
    if (!finishConnect(events) || !stillOurs()) return;
  }
  if ((events & POLLIN) != 0) {
    if (state == wsConnecting) {
      changeState(wsConnected);
      if (!fire(OnSessionConnected, 0) || !stillOurs()) return;
    }
    if (!receiveLoop(false) || !stillOurs()) return;
  }
  if ((events & POLLOUT) != 0 && state == wsConnected) {
    tryToSend();
    if (!stillOurs()) return;
  }
  if ((events & (POLLRDHUP | POLLHUP | POLLERR)) != 0 && state != wsConnecting) {
    if (!receiveLoop(true) || !stillOurs()) return;
    int soError = 0;
    socklen_t size = sizeof soError;
    if ((events & POLLERR) != 0) getsockopt(handle, SOL_SOCKET, SO_ERROR, &soError, &size);
    reportSessionClosed(static_cast<std::uint16_t>(socketErrorFromErrno(soError)));
    if (!stillOurs()) return;
    Close();
  }
}

// False when the object was destroyed by its handler.
bool TAsyncSocket::finishConnect(short events) {
  int soError = 0;
  socklen_t size = sizeof soError;
  getsockopt(handle, SOL_SOCKET, SO_ERROR, &soError, &size);
  if (soError == 0 && (events & (POLLERR | POLLHUP)) != 0) soError = ECONNREFUSED;
  const auto code = static_cast<std::uint16_t>(socketErrorFromErrno(soError));
  changeState(wsConnected);
  if (code == 0 && sendQueue.empty()) setWriteWatch(false);
  if (!fire(OnSessionConnected, code)) return false;
  if (code != 0 && state != wsClosed) Close();
  return true;
}

std::size_t TAsyncSocket::bytesWaiting() const {
  int count = 0;
  if (handle < 0 || ioctl(handle, FIONREAD, &count) != 0 || count < 0) return 0;
  return static_cast<std::size_t>(count);
}

// Hands waiting bytes to OnDataAvailable while any wait. A handler that reads nothing ends the loop
// (the notifier wakes us again); drain lifts the round limit, for the end of a connection, when no
// new bytes can arrive. False when the object was destroyed by its handler.
bool TAsyncSocket::receiveLoop(bool drain) {
  const int current = handle;
  for (int round = 0; drain || round < ReadRoundsPerWakeup; ++round) {
    const std::size_t before = bytesWaiting();
    if (before == 0 || handle != current || state == wsClosed) return true;
    if (OnDataAvailable) {
      if (!fire(OnDataAvailable, 0)) return false;
    } else {
      char discard[DiscardChunk];
      Receive(discard, static_cast<int>(sizeof discard));
    }
    if (handle == current && bytesWaiting() >= before) return true;
  }
  return true;
}

int TAsyncSocket::Receive(void* buffer, int size) {
  if (handle < 0 || size <= 0) {
    lastError = handle < 0 ? socketcode::NotConnected : socketcode::InvalidArgument;
    return -1;
  }
  const ssize_t got = ::recv(handle, buffer, static_cast<std::size_t>(size), MSG_DONTWAIT);
  if (got < 0) {
    lastError = socketErrorFromErrno(errno);
    return -1;
  }
  return static_cast<int>(got);
}

int TAsyncSocket::SendText(const std::string& text) {
  if (text.empty()) return 0;
  return Send(text.data(), static_cast<int>(text.size()));
}

int TAsyncSocket::Send(const void* data, int count) {
  if (state != wsConnected) {
    systemError = socketcode::NotConnected;
    socketError("Send");
    return -1;
  }
  const char* bytes = static_cast<const char*>(data);
  std::size_t left = count > 0 ? static_cast<std::size_t>(count) : 0;
  while (left > 0) {
    if (sendQueue.empty() || sendQueue.back().full()) sendQueue.emplace_back();
    const std::size_t taken = sendQueue.back().write(bytes, left);
    bytes += taken;
    left -= taken;
  }
  tryToSend();
  return count;
}

void TAsyncSocket::tryToSend() {
  while (!sendQueue.empty()) {
    TBuffer& first = sendQueue.front();
    if (first.unsentCount() == 0) {
      sendQueue.pop_front();
      continue;
    }
    const ssize_t sent = ::send(handle, first.unsent(), first.unsentCount(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent >= 0) {
      first.consume(static_cast<std::size_t>(sent));
      continue;
    }
    const int code = socketErrorFromErrno(errno);
    if (code == socketcode::WouldBlock) return setWriteWatch(true);
    if (code == socketcode::InvalidArgument || code == socketcode::NotSocket ||
        code == socketcode::ConnAborted || code == socketcode::ConnReset ||
        code == socketcode::NotConnected)
      return closeWithCode(static_cast<std::uint16_t>(code));
    systemError = code;
    return socketError("TryToSend failed");
  }
  setWriteWatch(false);
}

void TAsyncSocket::reportSessionClosed(std::uint16_t code) {
  if (sessionClosedReported || destroying) return;
  sessionClosedReported = true;
  fire(OnSessionClosed, code);
}

// Stops watching and releases the system socket; no event.
void TAsyncSocket::closeHandle() {
  readNotifier.reset();
  writeNotifier.reset();
  sendQueue.clear();
  if (handle >= 0) {
    ::close(handle);
    handle = -1;
  }
}

void TAsyncSocket::closeWithCode(std::uint16_t code) {
  std::weak_ptr<char> alive = lifeToken;
  reportSessionClosed(code);  // marks the session so that Close reports nothing more
  if (!alive.expired()) Close();
}

void TAsyncSocket::Close() {
  if (handle < 0) {
    changeState(wsClosed);
    return;
  }
  if (state == wsClosed) return;
  readNotifier.reset();
  writeNotifier.reset();
  ::shutdown(handle, SHUT_WR);
  const int failed = ::close(handle) != 0 ? errno : 0;
  handle = -1;
  sendQueue.clear();
  changeState(wsClosed);
  std::weak_ptr<char> alive = lifeToken;
  reportSessionClosed(0);
  if (alive.expired()) return;
  assignDefaults();
  // The descriptor is released even when close() reports an error, so the state above stands.
  if (failed != 0 && failed != EINTR) {
    setSystemError(failed);
    socketError("Disconnect (closesocket)");
  }
}
