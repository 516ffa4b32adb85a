// The version-check client against a scripted HTTP server of the test's own on 127.0.0.1.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/kestohttp.h"
#include "nettestsupport.h"

namespace {

const std::string Body = "versioncheck=1-0.5.1-release";
constexpr std::size_t ReplyLimit = 1024 * 1024;

// The whole request is in: headers, and the announced body with the CR LF after it.
bool requestComplete(const std::string& got) {
  const auto headersEnd = got.find("\r\n\r\n");
  const auto length = got.find("Content-length: ");
  if (headersEnd == std::string::npos || length == std::string::npos) return false;
  return got.size() >= headersEnd + 4 + std::stoul(got.substr(length + 16)) + 2;
}

struct TExchange {
  std::string request;
  std::vector<std::string> lines;
  bool done = false;
};

// Answers one request with the given chunks, a short pause between them, then closes.
TExchange exchange(const std::vector<std::string>& answer) {
  TExchange result;
  TLoopbackServer server([&](int fd) {
    result.request = readUntil(fd, requestComplete);
    for (const auto& chunk : answer) {
      writeAll(fd, chunk);
      std::this_thread::sleep_for(30ms);
    }
  });
  TKestoHttp http;
  http.url = "http://sorvelo.invalid/version.php";
  http.host = "127.0.0.1";
  http.port = server.port();
  http.postData = Body;
  http.connect();
  result.done = waitUntil([&] { return http.done; });
  result.lines = http.replyLines;
  EXPECT_FALSE(http.connected);
  EXPECT_FALSE(http.active);
  return result;
}

std::vector<std::string> linesOf(const std::string& answer) { return exchange({answer}).lines; }

}  // namespace

TEST(KestoHttp, SendsTheRequestAndCollectsEveryLine) {
  const TExchange x = exchange({"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nlatest<br>1.0.5.1\r\n"});
  ASSERT_TRUE(x.done);
  EXPECT_EQ(x.request,
            "POST http://sorvelo.invalid/version.php HTTP/1.0\r\n"
            "Accept: image/gif\r\n"
            "Accept-Language: en\r\n"
            "User-Agent: TKestoHttp by kovrin\r\n"
            "Content-type: application/x-www-form-urlencoded\r\n"
            "Content-length: 28\r\n"
            "\r\n"
            "versioncheck=1-0.5.1-release\r\n");
  ASSERT_EQ(Body.size(), 28u);
  EXPECT_EQ(x.request.size() - (x.request.find("\r\n\r\n") + 4), 30u);
  EXPECT_EQ(x.lines, (std::vector<std::string>{"HTTP/1.0 200 OK", "Content-Type: text/html", "", "latest",
                                               "1.0.5.1", ""}));
}

TEST(KestoHttp, ChunkBoundariesDoNotChangeTheLines) {
  const std::string answer = "HTTP/1.0 200 OK\r\nServer: test\r\n\r\nfirst<br>second\n\rthird\r\n";
  const auto whole = linesOf(answer);
  ASSERT_EQ(whole.size(), 7u);
  const std::size_t firstCr = answer.find('\r');
  const std::size_t lfCr = answer.find("\n\r");
  const std::vector<std::vector<std::string>> splits = {
      {answer.substr(0, firstCr + 1), answer.substr(firstCr + 1)},
      {answer.substr(0, lfCr + 1), answer.substr(lfCr + 1)},
      {answer.substr(0, 5), answer.substr(5, firstCr + 1 - 5), answer.substr(firstCr + 1, 20),
       answer.substr(firstCr + 21)},
  };
  for (const auto& chunks : splits) EXPECT_EQ(exchange(chunks).lines, whole);
}

TEST(KestoHttp, LineShapes) {
  const struct {
    const char* name;
    std::string answer;
    std::vector<std::string> lines;
  } cases[] = {
      {"last line without end", "HTTP/1.0 200 OK\r\n\r\nno end", {"HTTP/1.0 200 OK", "", "no end"}},
      {"br twice", "x<br><br>y\r\n", {"x", "", "y", ""}},
      {"br at the end and start", "a<br>\r\n<br>b\r\n", {"a", "", "b", ""}},
      {"capital BR does not split", "A<BR>B\r\n", {"A<BR>B", ""}},
      {"leading blanks removed", "  \tindented\r\n   \r\n", {"indented", "", ""}},
      {"lf cr pair", "one\n\rtwo\n\r", {"one", "two", ""}},
      {"lf only runs together", "HTTP/1.0 200 OK\nServer: x\n\nbody\n", {"HTTP/1.0 200 OKServer: xbody"}},
  };
  for (const auto& c : cases) EXPECT_EQ(linesOf(c.answer), c.lines) << c.name;
}

TEST(KestoHttp, RefusedConnectionEndsWithOneEmptyEntry) {
  TKestoHttp http;
  http.url = "http://sorvelo.invalid/version.php";
  http.host = "127.0.0.1";
  http.port = closedPort();
  http.postData = Body;
  http.connect();
  EXPECT_TRUE(http.active);
  ASSERT_TRUE(waitUntil([&] { return http.done; }));
  settle(100ms);
  EXPECT_EQ(http.replyLines, std::vector<std::string>{""});
  EXPECT_FALSE(http.connected);
  EXPECT_FALSE(http.active);
}

TEST(KestoHttpIsolated, UnresolvableHostEndsWithoutLines) {
  RUN_ISOLATED();
  TKestoHttp http;
  http.url = "http://nohost.invalid/version.php";
  http.host = "nohost.invalid";
  http.postData = Body;
  http.connect();
  ASSERT_TRUE(waitUntil([&] { return http.done; }));
  EXPECT_FALSE(http.active);
  EXPECT_FALSE(http.connected);
  EXPECT_TRUE(http.replyLines.empty());
}

// A name server that never answers: connect returns at once, the program's timers keep firing while
// the name is looked up, and a caller that gives up after its limit destroys the client at once.
TEST(KestoHttpIsolated, SilentNameServerNeverHoldsTheEventLoop) {
  RUN_ISOLATED();
  TSilentNameServer nameServer;
  ASSERT_TRUE(nameServer.ok());
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(20);
  QElapsedTimer clock;
  clock.start();
  auto http = std::make_unique<TKestoHttp>();
  http->url = "http://slow.invalid/version.php";
  http->host = "slow.invalid";
  http->postData = Body;
  http->connect();
  EXPECT_LT(clock.elapsed(), 200) << "connect waited for the name server";
  EXPECT_FALSE(http->done);
  const qint64 limitMs = 400;  // shorter than the resolver's own time-out of one second
  waitUntil([&] { return http->done; }, std::chrono::milliseconds(limitMs));
  EXPECT_FALSE(http->done);
  http.reset();
  const qint64 ended = clock.elapsed();
  EXPECT_LT(ended, limitMs + 200) << "giving up at the limit waited for the name server";
  EXPECT_GE(ticks, static_cast<int>(ended / 20 / 2));
  settle(1500ms);  // the resolver's late answer reaches nobody
}

// A name server that never answers (for five seconds here) must not hold the program's end either.
// The test runs itself again as a probe program: it starts a check, gives up after 200 ms and ends,
// long before the resolver gives up.
TEST(KestoHttpIsolated, ExitNeverWaitsForASilentNameServer) {
  if (std::getenv("SORVELO_EXIT_PROBE")) {
    auto http = std::make_unique<TKestoHttp>();
    http->host = "slow.invalid";
    http->connect();
    settle(200ms);
    EXPECT_FALSE(http->done);
    return;
  }
  RUN_ISOLATED();
  TSilentNameServer nameServer;
  ASSERT_TRUE(nameServer.ok());
  ASSERT_TRUE(useResolverFile("nameserver 127.0.0.1\noptions timeout:5 attempts:1\n"));
  QProcess probe;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("SORVELO_ISOLATED_CHILD");  // the probe stays in this namespace as it is
  env.insert("SORVELO_EXIT_PROBE", "1");
  probe.setProcessEnvironment(env);
  probe.setProcessChannelMode(QProcess::MergedChannels);
  QElapsedTimer clock;
  clock.start();
  probe.start("/proc/self/exe", {"--gtest_filter=KestoHttpIsolated.ExitNeverWaitsForASilentNameServer"});
  ASSERT_TRUE(probe.waitForFinished(15000));
  const qint64 took = clock.elapsed();
  const std::string output = probe.readAll().toStdString();
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
  EXPECT_LT(took, 3000) << "the probe's end waited for the name server";
}

// The same client reaches its server when the name does resolve (localhost, from /etc/hosts).
TEST(KestoHttp, ServerNameIsLookedUpBeforeConnecting) {
  std::string got;
  TLoopbackServer server([&](int fd) {
    got = readUntil(fd, requestComplete);
    writeAll(fd, "HTTP/1.0 200 OK\r\n\r\nfine\r\n");
  });
  TKestoHttp http;
  http.url = "http://localhost/version.php";
  http.host = "localhost";
  http.port = server.port();
  http.postData = Body;
  http.connect();
  EXPECT_FALSE(http.done);
  ASSERT_TRUE(waitUntil([&] { return http.done; }));
  EXPECT_TRUE(got.starts_with("POST http://localhost/version.php HTTP/1.0\r\n"));
  EXPECT_EQ(http.replyLines, (std::vector<std::string>{"HTTP/1.0 200 OK", "", "fine", ""}));
}

TEST(KestoHttp, DestroyingWhileConnectedSendsQuit) {
  std::string got;
  TLoopbackServer server([&](int fd) {
    got = readUntil(fd, [](const std::string& s) { return s.find("QUIT\r\n") != std::string::npos; });
  });
  auto http = std::make_unique<TKestoHttp>();
  http->url = "http://sorvelo.invalid/version.php";
  http->host = "127.0.0.1";
  http->port = server.port();
  http->postData = Body;
  http->connect();
  ASSERT_TRUE(waitUntil([&] { return http->connected; }));
  http.reset();
  ASSERT_TRUE(waitUntil([&] { return server.finished(); }));
  EXPECT_TRUE(got.starts_with("POST "));
  EXPECT_TRUE(got.ends_with(Body + "\r\nQUIT\r\n"));
}

// A server that streams without end: collecting stops at the limit, the connection is closed and
// the exchange is over, with the collected lines bounded.
TEST(KestoHttp, EndlessAnswerIsCutAtTheLimit) {
  std::size_t written = 0;
  TLoopbackServer server([&](int fd) {
    readUntil(fd, requestComplete);
    const std::string line = std::string(98, 'z') + "\r\n";
    std::string block;
    for (int i = 0; i < 100; ++i) block += line;
    const auto end = std::chrono::steady_clock::now() + 15s;
    while (written < 64 * ReplyLimit && std::chrono::steady_clock::now() < end && writeAll(fd, block))
      written += block.size();
  });
  TKestoHttp http;
  http.url = "http://sorvelo.invalid/version.php";
  http.host = "127.0.0.1";
  http.port = server.port();
  http.postData = Body;
  http.connect();
  ASSERT_TRUE(waitUntil([&] { return http.done; }, 15000ms));
  std::size_t collected = 0;
  for (const auto& l : http.replyLines) collected += l.size() + 2;
  EXPECT_LE(collected, ReplyLimit + 2);
  EXPECT_GE(collected, ReplyLimit - 200);
  EXPECT_FALSE(http.connected);
  ASSERT_TRUE(waitUntil([&] { return server.finished(); }, 20000ms));
  EXPECT_LT(written, 64 * ReplyLimit) << "the server was never cut off";
}
