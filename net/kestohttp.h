#pragma once
// The version-check client: one HTTP/1.0 form POST over a TCP connection, every line of the answer
// (status line and headers included) collected into replyLines. It runs on the thread that created
// it, driven by the socket layer's events; it has no time limit of its own, so the caller bounds its
// wait. No call waits for the network, the server's name lookup included. No failure is ever raised
// to the caller: it sees `done`.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataqueue.h"

class TAsyncSocket;
class TBackgroundResolve;

class TKestoHttp {
 public:
  TKestoHttp();
  ~TKestoHttp();  // sends "QUIT" while connected, then closes
  TKestoHttp(const TKestoHttp&) = delete;
  TKestoHttp& operator=(const TKestoHttp&) = delete;

  void connect();
  void quit();
  void sendLine(const std::string& text);

  bool done = false;
  std::string url;   // absolute address of the page, written into the request line
  std::string host;  // server to connect to
  std::int32_t port = 80;
  bool connected = false;
  bool active = false;
  std::vector<std::string> replyLines;
  std::string postData;

 private:
  void serverLookedUp(std::uint16_t code, const std::vector<std::string>& found);
  void startConnection();
  void failed();
  void sessionConnected();
  void sessionClosed();
  void dataAvailable();
  void takeLines();
  void addReplyText(const std::string& text);

  std::unique_ptr<TAsyncSocket> socket;
  std::unique_ptr<TBackgroundResolve> serverLookup;  // kept to the end: its answer may not free it
  TDataQueue queue;
  std::size_t receivedBytes = 0;  // collecting stops at a fixed limit (a hostile server)
};
