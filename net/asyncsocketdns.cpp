// The lookup side of TAsyncSocket: forward and reverse name lookups through QHostInfo.
//
// QHostInfo answers on this thread's event loop, never inside the call that starts the lookup, but
// an answer that did arrive while the start call was still running would be held and handled right
// after it. Answers carry their lookup id: only the pending one is reported, so a cancelled lookup
// that finishes late is dropped. The context object that receives answers is destroyed with the
// socket, so nothing reaches a destroyed socket.

#include <QHostInfo>
#include <QObject>

#include <arpa/inet.h>
#include <netinet/in.h>

#include "asyncsocket.h"
#include "socketerrors.h"

namespace {

constexpr std::size_t LongestReverseText = 256;

// Dotted-address forms the C library accepts (inet_aton: 127.1, 127.000.000.001, ...), but not a
// text that merely starts with one: inet_aton stops at the first space and ignores the rest.
bool parseDotted(const std::string& text, in_addr& address) {
  if (text.find_first_of(" \t\r\n\v\f") != std::string::npos) return false;
  return inet_aton(text.c_str(), &address) != 0;
}

std::string dotted(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

}  // namespace

void TAsyncSocket::DnsLookup(const std::string& name) {
  if (name.empty()) {
    raiseError("DNS lookup: invalid host name.");
    fire(OnDnsLookupDone, socketcode::InvalidArgument);
    return;
  }
  CancelDnsLookup();
  dnsResult.clear();
  dnsResultList.clear();
  in_addr address{};
  if (parseDotted(name, address)) {
    dnsResult = dotted(address);
    dnsResultList.push_back(dnsResult);
    fire(OnDnsLookupDone, 0);
    return;
  }
  startLookup(name, false);
}

void TAsyncSocket::ReverseDnsLookup(const std::string& address) {
  if (address.empty() || address.size() > LongestReverseText) {
    raiseError("ReverseDnsLookup: Invalid host name.");
    fire(OnDnsLookupDone, socketcode::InvalidArgument);
    return;
  }
  CancelDnsLookup();
  dnsResult.clear();
  dnsResultList.clear();
  in_addr parsed{};
  if (!parseDotted(address, parsed)) parsed.s_addr = INADDR_NONE;  // no address: 255.255.255.255
  reverseAddress = dotted(parsed);
  startLookup(reverseAddress, true);
}

void TAsyncSocket::CancelDnsLookup() {
  if (pendingLookup < 0) return;
  QHostInfo::abortHostLookup(pendingLookup);
  pendingLookup = -1;
}

void TAsyncSocket::startLookup(const std::string& name, bool reverse) {
  if (!lookupContext) lookupContext = std::make_unique<QObject>();
  pendingReverse = reverse;
  earlyAnswer.reset();
  startingLookup = true;
  const int id = QHostInfo::lookupHost(QString::fromStdString(name), lookupContext.get(),
                                       [this](const QHostInfo& info) { onLookupAnswer(info); });
  startingLookup = false;
  if (id < 0) {
    raiseError(name + ": can't start DNS lookup, error #" + std::to_string(socketcode::InvalidArgument));
    return;
  }
  pendingLookup = id;
  if (earlyAnswer) {
    const QHostInfo held = *earlyAnswer;
    earlyAnswer.reset();
    onLookupAnswer(held);
  }
}

void TAsyncSocket::onLookupAnswer(const QHostInfo& info) {
  if (startingLookup) {
    earlyAnswer = std::make_unique<QHostInfo>(info);
    return;
  }
  if (pendingLookup < 0 || info.lookupId() != pendingLookup) return;
  pendingLookup = -1;
  std::weak_ptr<char> alive = lifeToken;
  try {
    finishLookup(info);
  } catch (...) {
    if (!alive.expired()) abortAfterException();  // see onNotifier
  }
}

void TAsyncSocket::finishLookup(const QHostInfo& info) {
  std::uint16_t code = 0;
  if (pendingReverse) {
    // The resolver gives the address back as its own name when it knows none.
    const std::string name = info.hostName().toStdString();
    if (info.error() != QHostInfo::NoError || name.empty() || name == reverseAddress) {
      code = socketcode::NoData;
    } else {
      dnsResult = name;
      dnsResultList.push_back(name);
    }
  } else if (info.error() != QHostInfo::NoError) {
    code = info.error() == QHostInfo::HostNotFound ? socketcode::HostNotFound : socketcode::NoRecovery;
  } else {
    for (const QHostAddress& a : info.addresses()) {
      bool isV4 = false;
      const quint32 v4 = a.toIPv4Address(&isV4);
      if (!isV4) continue;
      in_addr address{};
      address.s_addr = htonl(v4);
      dnsResultList.push_back(dotted(address));
    }
    if (dnsResultList.empty())
      code = socketcode::HostNotFound;
    else
      dnsResult = dnsResultList.front();
  }
  fire(OnDnsLookupDone, code);
}
