#pragma once
// An event-driven TCP socket for the interface thread.
//
// Calls never wait for the network, except the name resolution inside Connect. The socket is a
// non-blocking POSIX socket watched by QSocketNotifier on the thread that created the object; each
// wake-up is turned into events in a fixed order (connected, data, writable, closed), so a caller
// sees the same sequence whatever the kernel reported together. Name lookups go through QHostInfo
// and come back on the same thread's event loop.
//
// Errors go through one routine: with OnError set it is called and the operation gives up quietly,
// otherwise an ESocketException carries the message. Codes are the socket error numbers of
// socketerrors.h, never raw errno values.
//
// Events may delete the socket from inside their handler: the layer checks that it is still alive
// after every event it fires and touches nothing of itself once it is gone.
//
// An exception that leaves a handler while the event loop delivers a wake-up or a lookup answer is
// caught by the layer (it must not unwind through Qt): OnBgException, when set, gets it with a
// can-close flag; unless the handler clears the flag, the connection is aborted at once.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "buffer.h"

class QHostInfo;
class QSocketNotifier;
class TLookupReceiver;

class ESocketException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TSocketState {
  wsInvalidState,
  wsOpened,
  wsBound,
  wsConnecting,
  wsConnected,
  wsAccepting,
  wsListening,
  wsClosed
};

class TAsyncSocket {
 public:
  using TSessionEvent = std::function<void(TAsyncSocket* sender, std::uint16_t error)>;
  using TErrorEvent = std::function<void(TAsyncSocket* sender)>;
  using TChangeStateEvent =
      std::function<void(TAsyncSocket* sender, TSocketState oldState, TSocketState newState)>;
  using TBgExceptionEvent =
      std::function<void(TAsyncSocket* sender, const std::exception& error, bool& canClose)>;

  TAsyncSocket();
  ~TAsyncSocket();  // cancels a pending lookup and closes without OnSessionClosed
  TAsyncSocket(const TAsyncSocket&) = delete;
  TAsyncSocket& operator=(const TAsyncSocket&) = delete;

  TSocketState State() const { return state; }
  const std::string& Addr() const { return addr; }
  const std::string& Port() const { return port; }
  const std::string& Proto() const { return proto; }
  // Values are trimmed; an empty one clears the setting. A different value is refused unless closed.
  void SetAddr(const std::string& value);
  void SetPort(const std::string& value);
  void SetProto(const std::string& value);
  // The local end of the next connection: "0.0.0.0" and "0" (the defaults, again after every close)
  // leave the choice to the kernel; anything else binds before connecting. The address is a dotted
  // one (no name is looked up for it). Changes are refused unless closed; empty gives the default.
  const std::string& LocalAddr() const { return localAddr; }
  const std::string& LocalPort() const { return localPort; }
  void SetLocalAddr(const std::string& value);
  void SetLocalPort(const std::string& value);

  const std::string& DnsResult() const { return dnsResult; }
  const std::vector<std::string>& DnsResultList() const { return dnsResultList; }
  int LastError() const { return lastError; }

  void Connect();
  int Send(const void* data, int count);
  int SendText(const std::string& text);
  int Receive(void* buffer, int size);  // bytes read, 0 at the end of the stream, -1 otherwise
  void Close();
  void DnsLookup(const std::string& name);
  void ReverseDnsLookup(const std::string& address);
  void CancelDnsLookup();  // the pending lookup, if any, never reports

  TSessionEvent OnSessionConnected;
  TSessionEvent OnSessionClosed;
  TSessionEvent OnDataAvailable;
  TSessionEvent OnDnsLookupDone;
  TErrorEvent OnError;
  TChangeStateEvent OnChangeState;
  TBgExceptionEvent OnBgException;

 private:
  void assignDefaults();
  void setRemote(std::string& field, bool& assigned, const std::string& value, const char* what);
  void setLocal(std::string& field, const std::string& value, const char* fallback, const char* what);
  bool resolveTarget(int& protocol, std::uint32_t& address, std::uint16_t& portNumber);
  bool bindLocal();
  bool setOptions();
  void watch();
  void changeState(TSocketState newState);
  void raiseError(const std::string& message);
  void socketError(const std::string& operation);
  void setSystemError(int errnoValue);

  void onNotifier();
  void handleWakeup();
  void backgroundException(const std::exception& error);
  void abortAfterException();
  bool finishConnect(short events);
  bool receiveLoop(bool drain);
  std::size_t bytesWaiting() const;
  void tryToSend();
  void setWriteWatch(bool on);
  void closeHandle();
  void closeWithCode(std::uint16_t code);
  void reportSessionClosed(std::uint16_t code);
  bool fire(const TSessionEvent& event, std::uint16_t code);

  void startLookup(const std::string& name, bool reverse);
  void onLookupAnswer(const QHostInfo& info);
  void finishLookup(const QHostInfo& info);

  TSocketState state = wsClosed;
  std::string addr;
  std::string port;
  std::string proto;
  bool addrAssigned = false;
  bool portAssigned = false;
  bool protoAssigned = false;
  std::string localAddr;
  std::string localPort;

  int handle = -1;
  int systemError = 0;  // the layer's "current socket error", set before socketError()
  int lastError = 0;
  bool sessionClosedReported = false;
  bool destroying = false;
  std::deque<TBuffer> sendQueue;
  std::unique_ptr<QSocketNotifier> readNotifier;
  std::unique_ptr<QSocketNotifier> writeNotifier;

  std::string dnsResult;
  std::vector<std::string> dnsResultList;
  std::unique_ptr<TLookupReceiver> lookupContext;  // answers die with it
  int pendingLookup = -1;
  bool pendingReverse = false;
  std::string reverseAddress;
  bool startingLookup = false;
  std::unique_ptr<QHostInfo> earlyAnswer;

  std::shared_ptr<char> lifeToken = std::make_shared<char>();
};
