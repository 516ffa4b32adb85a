#include "kestohttp.h"

#include <algorithm>
#include <exception>
#include <string_view>

#include "asyncsocket.h"
#include "backgroundresolve.h"
#include "socketresolve.h"

namespace {

constexpr int ReadChunkBytes = 8193;
// An answer to the version check is a few hundred bytes; past this the server is not one we want
// to listen to, and collecting stops so that it cannot fill the memory.
constexpr std::size_t ReplyLimitBytes = 1024 * 1024;

}  // namespace

TKestoHttp::TKestoHttp() : socket(std::make_unique<TAsyncSocket>()) {
  socket->OnSessionConnected = [this](TAsyncSocket*, std::uint16_t) { sessionConnected(); };
  socket->OnSessionClosed = [this](TAsyncSocket*, std::uint16_t) { sessionClosed(); };
  socket->OnDataAvailable = [this](TAsyncSocket*, std::uint16_t) { dataAvailable(); };
}

TKestoHttp::~TKestoHttp() {
  if (connected) quit();
}

// A server name is looked up on a thread of its own first (see backgroundresolve.h), so neither the
// interface thread nor the program's exit waits for a name server (one that never answers would
// hold them for the resolver's whole time-out, beyond the caller's limit); the connection starts
// when the address is known. A name that does not resolve ends the exchange with done set and no
// lines, as a failed Connect does.
void TKestoHttp::connect() {
  active = true;
  done = false;
  // Refusals of the settings reach the caller; only the connection attempt itself is guarded.
  socket->SetPort(std::to_string(port));
  socket->SetAddr(host);
  const std::string& asked = socket->Addr();
  if (asked.empty() || isDottedQuad(asked)) return startConnection();
  serverLookup = std::make_unique<TBackgroundResolve>(
      asked, [this](std::uint16_t code, const std::vector<std::string>& found) {
        serverLookedUp(code, found);
      });
}

// The connection is made over IPv4: the first IPv4 address of the answer.
void TKestoHttp::serverLookedUp(std::uint16_t code, const std::vector<std::string>& found) {
  if (code != 0 || found.empty()) return failed();
  socket->SetAddr(found.front());
  startConnection();
}

void TKestoHttp::startConnection() {
  try {
    socket->Connect();
  } catch (const std::exception&) {
    failed();
  }
}

void TKestoHttp::failed() {
  connected = false;
  active = false;
  done = true;
}

void TKestoHttp::quit() {
  if (connected) sendLine("QUIT");
  try {
    socket->Close();
  } catch (const std::exception&) {
    done = true;
  }
  connected = false;
  done = true;
}

void TKestoHttp::sendLine(const std::string& text) {
  try {
    socket->SendText(text + "\r\n");
    socket->Send(nullptr, 0);
  } catch (const std::exception&) {
    // the line is lost; the closing of the socket ends the exchange
  }
}

// The outcome of the attempt is not examined: after a failed attempt the sends fail quietly and
// the socket's closing ends the exchange.
void TKestoHttp::sessionConnected() {
  connected = true;
  sendLine("POST " + url + " HTTP/1.0");
  sendLine("Accept: image/gif");
  sendLine("Accept-Language: en");
  sendLine("User-Agent: TKestoHttp by kovrin");
  sendLine("Content-type: application/x-www-form-urlencoded");
  sendLine("Content-length: " + std::to_string(postData.size()));
  sendLine("");
  sendLine(postData);
}

void TKestoHttp::dataAvailable() {
  try {
    char chunk[ReadChunkBytes];
    bool full = false;
    for (;;) {
      const int got = socket->Receive(chunk, ReadChunkBytes);
      if (got <= 0) break;
      const std::size_t take = std::min(static_cast<std::size_t>(got), ReplyLimitBytes - receivedBytes);
      queue.append(chunk, take);
      receivedBytes += take;
      full = receivedBytes >= ReplyLimitBytes;
      if (full) break;
    }
    takeLines();
    if (full) {
      socket->Close();  // its closing step collects what is left of the queue
      done = true;
    }
  } catch (const std::exception&) {
    done = true;
  }
}

void TKestoHttp::sessionClosed() {
  queue.append("\r\n", 2);  // completes a last line that came without a line end
  takeLines();
  connected = false;
  active = false;
  done = true;
}

void TKestoHttp::takeLines() {
  std::string line;
  while (queue.readLine(line)) {
    const auto text = std::find_if(line.begin(), line.end(),
                                   [](char c) { return static_cast<unsigned char>(c) > 32; });
    addReplyText(std::string(text, line.end()));
  }
}

// One line of the answer may hold several lines of the page, separated by "<br>" (lower case only).
void TKestoHttp::addReplyText(const std::string& text) {
  if (text.empty()) {
    replyLines.emplace_back();
    return;
  }
  std::string_view rest = text;
  while (!rest.empty()) {
    const auto at = rest.find("<br>");
    if (at == std::string_view::npos) {
      replyLines.emplace_back(rest);
      return;
    }
    replyLines.emplace_back(rest.substr(0, at));
    rest.remove_prefix(at + 4);
  }
}
