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
#include "hosttext.h"
#include "lookupreceiver.h"
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
  std::string literal;
  if (parseDotted(name, address)) literal = dotted(address);
  else if (parseIpv6Literal(name, &literal) != TIpv6Form::Valid) literal.clear();
  if (!literal.empty()) {
    dnsResult = literal;
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
  // An IPv6 literal is asked about as it is (canonical form); any other text as an IPv4 address,
  // and a text that is none asks about 255.255.255.255.
  if (parseIpv6Literal(address, &reverseAddress) != TIpv6Form::Valid) {
    in_addr parsed{};
    if (!parseDotted(address, parsed)) parsed.s_addr = INADDR_NONE;
    reverseAddress = dotted(parsed);
  }
  startLookup(reverseAddress, true);
}

void TAsyncSocket::CancelDnsLookup() {
  if (pendingLookup < 0) return;
  QHostInfo::abortHostLookup(pendingLookup);
  pendingLookup = -1;
}

void TAsyncSocket::startLookup(const std::string& name, bool reverse) {
  if (!lookupContext) {
    lookupContext = std::make_unique<TLookupReceiver>();
    lookupContext->onAnswer = [this](const QHostInfo& info) { onLookupAnswer(info); };
  }
  pendingReverse = reverse;
  earlyAnswer.reset();
  startingLookup = true;
  const int id = QHostInfo::lookupHost(QString::fromStdString(name), lookupContext.get(),
                                       SLOT(answer(QHostInfo)));
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
  } catch (const std::exception& error) {
    if (!alive.expired()) backgroundException(error);  // see onNotifier
  } catch (...) {
    if (!alive.expired()) backgroundException(ESocketException("Unknown exception"));
  }
}

void TAsyncSocket::finishLookup(const QHostInfo& info) {
  std::uint16_t code = 0;
  if (pendingReverse) {
    // The resolver gives the address back as its own name when it knows none.
    const std::string name = info.hostName().toStdString();
    std::string nameAsAddress;
    parseIpv6Literal(name, &nameAsAddress);
    if (info.error() != QHostInfo::NoError || name.empty() || name == reverseAddress ||
        nameAsAddress == reverseAddress) {
      code = socketcode::NoData;
    } else {
      dnsResult = name;
      dnsResultList.push_back(name);
    }
  } else if (info.error() != QHostInfo::NoError) {
    code = info.error() == QHostInfo::HostNotFound ? socketcode::HostNotFound : socketcode::NoRecovery;
  } else {
    // IPv4 addresses first, as they always came; a name's IPv6 addresses after them, so a name that
    // has only IPv6 addresses resolves as well. Each family keeps the answer's order.
    std::vector<std::string> v6;
    for (const QHostAddress& a : info.addresses()) {
      bool isV4 = false;
      const quint32 v4 = a.toIPv4Address(&isV4);
      if (isV4) {
        in_addr address{};
        address.s_addr = htonl(v4);
        dnsResultList.push_back(dotted(address));
      } else if (a.protocol() == QAbstractSocket::IPv6Protocol) {
        v6.push_back(a.toString().toStdString());
      }
    }
    dnsResultList.insert(dnsResultList.end(), v6.begin(), v6.end());
    if (dnsResultList.empty())
      code = socketcode::HostNotFound;
    else
      dnsResult = dnsResultList.front();
  }
  fire(OnDnsLookupDone, code);
}
