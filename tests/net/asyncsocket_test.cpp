// The socket layer against servers of the test's own on 127.0.0.1: event order, delivery of every
// byte, the single end-of-session event, the settings' refusals and the error texts.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "net/asyncsocket.h"
#include "net/socketerrors.h"
#include "net/socketresolve.h"
#include "nettestsupport.h"

namespace {

// Records the events of one socket as "connected:<code>", "data", "closed:<code>".
struct TEventLog {
  std::vector<std::string> events;
  std::string received;
  int readSize = 8192;

  void attach(TAsyncSocket& socket) {
    socket.OnSessionConnected = [this](TAsyncSocket*, std::uint16_t code) {
      events.push_back("connected:" + std::to_string(code));
    };
    socket.OnSessionClosed = [this](TAsyncSocket*, std::uint16_t code) {
      events.push_back("closed:" + std::to_string(code));
    };
    socket.OnDataAvailable = [this](TAsyncSocket* s, std::uint16_t) {
      std::string chunk(static_cast<std::size_t>(readSize), '\0');
      const int got = s->Receive(chunk.data(), readSize);
      if (got > 0) received.append(chunk.data(), static_cast<std::size_t>(got));
      if (events.empty() || events.back() != "data") events.push_back("data");
    };
  }
  int count(const std::string& prefix) const {
    int n = 0;
    for (const auto& e : events) n += e.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
  bool closed() const { return count("closed:") > 0; }
};

void aim(TAsyncSocket& socket, std::uint16_t port) {
  socket.SetAddr("127.0.0.1");
  socket.SetPort(std::to_string(port));
}

std::string messageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const ESocketException& e) {
    return e.what();
  }
  return "(no exception)";
}

}  // namespace

TEST(AsyncSocket, ExchangesDataAndEndsOnceWhenTheProgramCloses) {
  std::string serverGot;
  TLoopbackServer server([&](int fd) {
    serverGot = readUntil(fd, [](const std::string& s) { return s.find("\r\n") != std::string::npos; });
    writeAll(fd, "world\r\n");
    readToEnd(fd);
  });
  TAsyncSocket socket;
  TEventLog log;
  log.attach(socket);
  socket.OnSessionConnected = [&](TAsyncSocket* s, std::uint16_t code) {
    log.events.push_back("connected:" + std::to_string(code));
    s->SendText("hello\r\n");
  };
  aim(socket, server.port());
  socket.Connect();
  EXPECT_EQ(socket.State(), wsConnecting);
  ASSERT_TRUE(waitUntil([&] { return log.received == "world\r\n"; }));
  EXPECT_EQ(socket.State(), wsConnected);
  socket.Close();
  socket.Close();
  EXPECT_EQ(socket.State(), wsClosed);
  ASSERT_TRUE(waitUntil([&] { return server.finished(); }));
  settle(100ms);
  EXPECT_EQ(serverGot, "hello\r\n");
  EXPECT_EQ(log.events, (std::vector<std::string>{"connected:0", "data", "closed:0"}));
  // Close assigned the defaults again: the next Connect needs a port first.
  EXPECT_EQ(messageOf([&] { socket.Connect(); }), "Connect: No Port Specified");
}

TEST(AsyncSocket, RefusedConnectionReportsItsCodeThenTheEnd) {
  TAsyncSocket socket;
  TEventLog log;
  log.attach(socket);
  aim(socket, closedPort());
  socket.Connect();
  ASSERT_TRUE(waitUntil([&] { return log.closed(); }));
  settle(100ms);
  EXPECT_EQ(log.events, (std::vector<std::string>{"connected:10061", "closed:0"}));
  EXPECT_EQ(socketErrorDesc(10061), "Connection refused");
  EXPECT_EQ(socket.State(), wsClosed);
}

TEST(AsyncSocket, PeerThatSendsAndClosesAtOnceHasEveryByteDelivered) {
  std::string sent;
  for (int i = 0; sent.size() < 300000; ++i) sent += std::to_string(i) + ",";
  TLoopbackServer server([&](int fd) { writeAll(fd, sent); });
  TAsyncSocket socket;
  TEventLog log;
  log.readSize = 1000;  // many small reads, so that the end arrives while bytes still wait
  log.attach(socket);
  std::size_t receivedAtClose = 0;
  socket.OnSessionClosed = [&](TAsyncSocket*, std::uint16_t code) {
    receivedAtClose = log.received.size();
    log.events.push_back("closed:" + std::to_string(code));
  };
  aim(socket, server.port());
  socket.Connect();
  ASSERT_TRUE(waitUntil([&] { return log.closed(); }, 10000ms));
  EXPECT_EQ(receivedAtClose, sent.size());
  EXPECT_TRUE(log.received == sent);
  settle(100ms);
  EXPECT_EQ(log.count("closed:"), 1);
  EXPECT_EQ(socket.State(), wsClosed);
}

TEST(AsyncSocket, SendAfterTheEndFailsAsNotConnected) {
  TLoopbackServer server([](int) {});  // accepts and closes at once
  TAsyncSocket socket;
  TEventLog log;
  log.attach(socket);
  aim(socket, server.port());
  socket.Connect();
  ASSERT_TRUE(waitUntil([&] { return log.closed(); }));
  EXPECT_EQ(messageOf([&] { socket.SendText("late"); }),
            "Error 10057 in function Send\r\nSocket is not connected");
  EXPECT_EQ(socket.LastError(), 10057);
  EXPECT_EQ(log.count("closed:"), 1);

  // With OnError set nothing is raised: the handler hears of it instead.
  int errors = 0;
  socket.OnError = [&](TAsyncSocket*) { ++errors; };
  EXPECT_EQ(socket.SendText("late"), -1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(socket.SendText(""), 0);  // an empty text sends nothing, so it cannot fail
}

TEST(AsyncSocket, SendBeforeTheConnectionIsUpEndsTheSession) {
  TLoopbackServer server([](int fd) { readToEnd(fd, 1000ms); });
  TAsyncSocket socket;
  TEventLog log;
  log.attach(socket);
  aim(socket, server.port());
  socket.Connect();
  EXPECT_EQ(messageOf([&] { socket.SendText("early"); }),
            "Error 10057 in function Send\r\nSocket is not connected");
  EXPECT_EQ(log.events, std::vector<std::string>{"closed:10057"});
  EXPECT_EQ(socket.State(), wsClosed);
  settle(100ms);
  EXPECT_EQ(log.count("closed:"), 1);
}

TEST(AsyncSocket, LargeSendsQueueAndAllArrive) {
  std::string serverGot;
  std::string payload;
  for (int i = 0; payload.size() < 4 * 1024 * 1024; ++i) payload += std::to_string(i) + ";";
  TLoopbackServer server([&](int fd) {
    serverGot = readUntil(fd, [&](const std::string& s) { return s.size() >= payload.size(); }, 10000ms);
  });
  TAsyncSocket socket;
  TEventLog log;
  log.attach(socket);
  socket.OnSessionConnected = [&](TAsyncSocket* s, std::uint16_t) { s->SendText(payload); };
  aim(socket, server.port());
  socket.Connect();
  ASSERT_TRUE(waitUntil([&] { return server.finished() || log.closed(); }, 15000ms));
  EXPECT_EQ(serverGot.size(), payload.size());
  EXPECT_TRUE(serverGot == payload);
}

TEST(AsyncSocket, AddrAndPortChangeOnlyWhileClosed) {
  TLoopbackServer server([](int fd) { readToEnd(fd, 2000ms); });
  TAsyncSocket socket;
  TEventLog log;
  log.attach(socket);
  socket.SetAddr("  127.0.0.1  ");
  EXPECT_EQ(socket.Addr(), "127.0.0.1");
  socket.SetPort(std::to_string(server.port()));
  socket.Connect();
  ASSERT_TRUE(waitUntil([&] { return socket.State() == wsConnected; }));

  EXPECT_EQ(messageOf([&] { socket.SetAddr("127.0.0.2"); }), "Cannot change Addr if not closed");
  EXPECT_EQ(messageOf([&] { socket.SetPort("81"); }), "Cannot change Port if not closed");
  socket.SetAddr(" 127.0.0.1");  // the same value is no change
  socket.SetPort(std::to_string(server.port()));
  EXPECT_EQ(socket.Addr(), "127.0.0.1");
  EXPECT_EQ(messageOf([&] { socket.Connect(); }), "Connect: Socket already in use");

  socket.Close();
  socket.SetAddr("127.0.0.2");
  EXPECT_EQ(socket.Addr(), "127.0.0.2");
}

TEST(AsyncSocket, ConnectChecksInOrder) {
  TAsyncSocket socket;
  EXPECT_EQ(messageOf([&] { socket.Connect(); }), "Connect: No Port Specified");
  socket.SetPort("80");
  EXPECT_EQ(messageOf([&] { socket.Connect(); }), "Connect: No IP Address Specified");
  socket.SetAddr("127.0.0.1");
  socket.SetProto(" ");
  EXPECT_EQ(messageOf([&] { socket.Connect(); }), "Connect: No Protocol Specified");
  socket.SetProto("tcp");
  socket.SetPort("99999");
  EXPECT_EQ(messageOf([&] { socket.Connect(); }),
            "connect: SocketResolvePort: Cannot convert port '99999', Error #11004");
  socket.SetPort("80");
  socket.SetAddr(std::string(257, 'a'));
  EXPECT_EQ(messageOf([&] { socket.Connect(); }),
            "connect: SocketResolveHost: '" + std::string(257, 'a') + "' Invalid Hostname.");
  socket.SetAddr("08.1.1.1");  // a leading 0 makes an octal number, and 8 is no octal digit
  EXPECT_EQ(messageOf([&] { socket.Connect(); }),
            "connect: SocketResolveHost: '08.1.1.1' Invalid IP address.");
  socket.SetAddr("");  // an empty value clears the address again
  EXPECT_EQ(messageOf([&] { socket.Connect(); }), "Connect: No IP Address Specified");
  EXPECT_EQ(socket.State(), wsClosed);
}

TEST(AsyncSocket, ServiceNamesAreAcceptedAsPorts) {
  TAsyncSocket socket;
  TEventLog log;
  log.attach(socket);
  socket.SetAddr("127.0.0.1");
  socket.SetPort("discard");  // port 9 on the loopback: nothing listens, so the attempt is refused
  socket.Connect();
  ASSERT_TRUE(waitUntil([&] { return log.closed(); }));
  EXPECT_EQ(log.events.front(), "connected:10061");
}

TEST(AsyncSocket, HandlerMayDestroyItsSocket) {
  TLoopbackServer server([](int fd) { writeAll(fd, std::string(100000, 'x')); });
  auto socket = std::make_unique<TAsyncSocket>();
  int dataEvents = 0;
  int closedEvents = 0;
  socket->OnDataAvailable = [&](TAsyncSocket*, std::uint16_t) {
    ++dataEvents;
    socket.reset();
  };
  socket->OnSessionClosed = [&](TAsyncSocket*, std::uint16_t) { ++closedEvents; };
  aim(*socket, server.port());
  socket->Connect();
  ASSERT_TRUE(waitUntil([&] { return socket == nullptr; }));
  settle(200ms);
  EXPECT_EQ(dataEvents, 1);
  EXPECT_EQ(closedEvents, 0);  // destruction closes without the event
}

// An exception must not unwind through the event loop: the connection is dropped instead.
TEST(AsyncSocket, ErrorEscapingAHandlerAbortsTheConnection) {
  bool peerSawEnd = false;
  TLoopbackServer server([&](int fd) {
    writeAll(fd, "data");
    readToEnd(fd, 3000ms);
    peerSawEnd = true;
  });
  TAsyncSocket socket;
  TEventLog log;
  log.attach(socket);
  socket.OnDataAvailable = [](TAsyncSocket*, std::uint16_t) { throw ESocketException("handler failed"); };
  std::vector<std::string> heard;
  socket.OnBgException = [&](TAsyncSocket*, const std::exception& e, bool& canClose) {
    heard.push_back(std::string(e.what()) + (canClose ? " close" : " keep"));
  };
  aim(socket, server.port());
  socket.Connect();
  ASSERT_TRUE(waitUntil([&] { return log.closed(); }));
  EXPECT_EQ(heard, std::vector<std::string>{"handler failed close"});
  EXPECT_EQ(log.events, (std::vector<std::string>{"connected:0", "closed:10053"}));
  EXPECT_EQ(socket.State(), wsClosed);
  ASSERT_TRUE(waitUntil([&] { return server.finished(); }));
  EXPECT_TRUE(peerSawEnd);
}

// A handler of OnBgException that clears the flag keeps the connection: the exchange goes on.
TEST(AsyncSocket, BackgroundExceptionHandlerMayKeepTheConnection) {
  TLoopbackServer server([](int fd) {
    writeAll(fd, "a");
    readUntil(fd, [](const std::string& s) { return s == "ping"; });
    writeAll(fd, "b");
  });
  TAsyncSocket socket;
  TEventLog log;
  log.attach(socket);
  const auto receive = socket.OnDataAvailable;
  socket.OnDataAvailable = [&](TAsyncSocket* s, std::uint16_t code) {
    receive(s, code);
    if (log.received == "a") throw std::runtime_error("first chunk");
  };
  int heard = 0;
  socket.OnBgException = [&](TAsyncSocket* s, const std::exception& e, bool& canClose) {
    EXPECT_STREQ(e.what(), "first chunk");
    ++heard;
    canClose = false;
    s->SendText("ping");
  };
  aim(socket, server.port());
  socket.Connect();
  ASSERT_TRUE(waitUntil([&] { return log.closed(); }));
  EXPECT_EQ(heard, 1);
  EXPECT_EQ(log.received, "ab");
  EXPECT_EQ(log.events, (std::vector<std::string>{"connected:0", "data", "closed:0"}));
}

// The send that finds the connection reset reports the end; a handler that then destroys its
// socket must leave the layer nothing to touch (it used to go on closing the destroyed object).
TEST(AsyncSocket, HandlerMayDestroyItsSocketWhenASendFails) {
  TLoopbackServer server([](int fd) {
    const linger reset{1, 0};
    readUntil(fd, [](const std::string& s) { return s == "x"; });
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);  // the close below resets
  });
  auto socket = std::make_unique<TAsyncSocket>();
  bool destroyed = false;
  int changesAfterDestruction = 0;
  std::vector<std::uint16_t> closedCodes;
  socket->OnChangeState = [&](TAsyncSocket*, TSocketState, TSocketState) {
    if (destroyed) ++changesAfterDestruction;
  };
  socket->OnSessionClosed = [&](TAsyncSocket*, std::uint16_t code) {
    closedCodes.push_back(code);
    destroyed = true;
    socket.reset();
  };
  aim(*socket, server.port());
  socket->Connect();
  ASSERT_TRUE(waitUntil([&] { return socket->State() == wsConnected; }));
  socket->SendText("x");
  ASSERT_TRUE(waitUntil([&] { return server.finished(); }));
  // Wait for the reset without running the event loop, so that the next send is what finds it.
  std::this_thread::sleep_for(100ms);
  for (int i = 0; i < 3 && socket; ++i) socket->SendText("more");
  EXPECT_EQ(socket, nullptr);
  EXPECT_EQ(closedCodes, std::vector<std::uint16_t>{10054});
  EXPECT_EQ(changesAfterDestruction, 0);
}

TEST(AsyncSocket, LocalAddressAndPortAreBoundAndResetAtClose) {
  const std::uint16_t localPort = closedPort();
  std::string peer;
  TLoopbackServer server([&](int fd) {
    sockaddr_in a{};
    socklen_t size = sizeof a;
    getpeername(fd, reinterpret_cast<sockaddr*>(&a), &size);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    peer = std::string(text) + ":" + std::to_string(ntohs(a.sin_port));
    readToEnd(fd, 2000ms);
  });
  TAsyncSocket socket;
  std::vector<TSocketState> states;
  socket.OnChangeState = [&](TAsyncSocket*, TSocketState, TSocketState to) { states.push_back(to); };
  EXPECT_EQ(socket.LocalAddr(), "0.0.0.0");
  EXPECT_EQ(socket.LocalPort(), "0");
  socket.SetLocalAddr(" 127.0.0.2 ");
  socket.SetLocalPort(std::to_string(localPort));
  aim(socket, server.port());
  socket.Connect();
  ASSERT_TRUE(waitUntil([&] { return socket.State() == wsConnected; }));
  EXPECT_EQ(messageOf([&] { socket.SetLocalAddr("127.0.0.3"); }),
            "Cannot change LocalAddr if not closed");
  EXPECT_EQ(messageOf([&] { socket.SetLocalPort("1"); }), "Cannot change LocalPort if not closed");
  socket.Close();
  ASSERT_TRUE(waitUntil([&] { return server.finished(); }));
  EXPECT_EQ(peer, "127.0.0.2:" + std::to_string(localPort));
  EXPECT_EQ(states, (std::vector<TSocketState>{wsOpened, wsBound, wsConnecting, wsConnected, wsClosed}));
  EXPECT_EQ(socket.LocalAddr(), "0.0.0.0");
  EXPECT_EQ(socket.LocalPort(), "0");
}

TEST(AsyncSocket, LocalEndThatCannotBeUsedIsRefused) {
  TLoopbackServer server([](int) {});
  TAsyncSocket socket;
  aim(socket, server.port());
  socket.SetLocalAddr("localhost");  // a name is not looked up for the local end
  EXPECT_EQ(messageOf([&] { socket.Connect(); }),
            "connect: SocketResolveHost: 'localhost' Invalid IP address.");
  socket.SetLocalAddr("127.0.0.1");
  socket.SetLocalPort(std::to_string(server.port()));  // the server listens there
  EXPECT_EQ(messageOf([&] { socket.Connect(); }),
            "Error 10048 in function Connect (bind)\r\nAddress already in use");
  EXPECT_EQ(socket.State(), wsClosed);
}

TEST(AsyncSocket, DestructionWhileConnectedClosesWithoutTheEvent) {
  bool peerSawEnd = false;
  TLoopbackServer server([&](int fd) {
    readToEnd(fd, 3000ms);
    peerSawEnd = true;
  });
  int closedEvents = 0;
  {
    TAsyncSocket socket;
    socket.OnSessionClosed = [&](TAsyncSocket*, std::uint16_t) { ++closedEvents; };
    aim(socket, server.port());
    socket.Connect();
    ASSERT_TRUE(waitUntil([&] { return socket.State() == wsConnected; }));
  }
  ASSERT_TRUE(waitUntil([&] { return server.finished(); }));
  EXPECT_TRUE(peerSawEnd);
  EXPECT_EQ(closedEvents, 0);
}

TEST(SocketResolve, DottedQuadsAreTakenWithoutTheResolver) {
  const struct {
    const char* text;
    bool quad;
  } cases[] = {{"127.0.0.1", true},   {"255.255.255.255", true}, {"010.001.002.003", true},
               {"1.2.3.4.", false},   {".1.2.3.4", false},       {"1.2.3", false},
               {"1.2.3.4.5", false},  {"256.1.1.1", false},      {"1.2.3.0004", false},
               {"1.2.3.a", false},    {"1..3.4", false},         {"", false}};
  for (const auto& c : cases) EXPECT_EQ(isDottedQuad(c.text), c.quad) << c.text;

  std::uint32_t address = 0;
  EXPECT_EQ(resolveHost("010.0.0.1", address), "");
  EXPECT_EQ(address, htonl(0x08000001u)) << "a leading 0 reads as octal, as inet_aton does";
  EXPECT_EQ(resolveHost("255.255.255.255", address), "");
  EXPECT_EQ(address, 0xFFFFFFFFu);
  std::uint16_t port = 0;
  EXPECT_EQ(resolvePort("http", "tcp", port), "");
  EXPECT_EQ(port, 80);
  EXPECT_EQ(resolvePort("", "tcp", port), "SocketResolvePort: Invalid Port.");
  EXPECT_EQ(resolvePort("80", "", port), "SocketResolvePort: Invalid Proto.");
  int protocol = 0;
  EXPECT_EQ(resolveProto("tcp", protocol), "");
  EXPECT_EQ(protocol, IPPROTO_TCP);
  EXPECT_EQ(resolveProto("nosuchproto", protocol),
            "SocketResolveProto: Cannot convert protocol 'nosuchproto', Error #11004");
}

TEST(SocketErrors, DescriptionTable) {
  const struct {
    int code;
    const char* text;
  } cases[] = {{0, "No Error"},
               {10004, "Interrupted system call"},
               {10024, "Too many open files"},
               {10035, "Operation would block"},
               {10047, "Address family not supported by protocol family"},
               {10054, "Connection reset by peer"},
               {10057, "Socket is not connected"},
               {10071, "Too many levels of remote in path"},
               {10091, "Network sub-system is unusable"},
               {10093, "WinSock not initialized"},
               {11001, "Host not found"},
               {11004, "No Data"},
               {10072, "Not a WinSock error"},
               {10000, "Not a WinSock error"},
               {-1, "Not a WinSock error"}};
  for (const auto& c : cases) EXPECT_EQ(socketErrorDesc(c.code), c.text) << c.code;

  int described = 0;
  for (int code = 10000; code < 10100; ++code) described += socketErrorDesc(code) != "Not a WinSock error";
  EXPECT_EQ(described, 43 + 3);  // the run 10004..10071 and 10091..10093
}

TEST(SocketErrors, ErrnoMapsToTheCodesOfTheMessages) {
  const struct {
    int err;
    int code;
  } cases[] = {{0, 0},
               {EWOULDBLOCK, 10035},
               {EAGAIN, 10035},
               {EINPROGRESS, 10036},
               {EALREADY, 10037},
               {ENOTSOCK, 10038},
               {EINVAL, 10022},
               {ECONNABORTED, 10053},
               {ECONNRESET, 10054},
               {EPIPE, 10054},
               {ENOTCONN, 10057},
               {ETIMEDOUT, 10060},
               {ECONNREFUSED, 10061},
               {ENETUNREACH, 10051},
               {EHOSTUNREACH, 10065},
               {EADDRINUSE, 10048},
               {EIO, EIO}};
  for (const auto& c : cases) EXPECT_EQ(socketErrorFromErrno(c.err), c.code) << c.err;
}
