#include "backgroundresolve.h"

#include <QMetaObject>
#include <QObject>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>

#include "socketerrors.h"

// Shared by the object and its thread; the thread posts only while the object still lives.
struct TBackgroundResolve::TMailbox {
  std::mutex lock;
  QObject* context = nullptr;
  TAnswer answer;
};

namespace {

void resolve(const std::string& name, const std::shared_ptr<TBackgroundResolve::TMailbox>& mailbox) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &found);
  std::uint16_t code = 0;
  std::vector<std::string> addresses;
  if (rc != 0) {
    code = static_cast<std::uint16_t>(socketErrorFromResolver(rc, errno));
  } else {
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
      char text[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr, text, sizeof text);
      addresses.emplace_back(text);
    }
    freeaddrinfo(found);
  }
  const std::lock_guard<std::mutex> hold(mailbox->lock);
  if (!mailbox->context) return;
  // Delivered on the context's thread; dropped by Qt if the context is destroyed before that.
  QMetaObject::invokeMethod(
      mailbox->context,
      [mailbox, code, addresses] {
        const TBackgroundResolve::TAnswer answer = mailbox->answer;
        if (answer) answer(code, addresses);
      },
      Qt::QueuedConnection);
}

}  // namespace

TBackgroundResolve::TBackgroundResolve(const std::string& name, TAnswer answer)
    : context(std::make_unique<QObject>()), mailbox(std::make_shared<TMailbox>()) {
  mailbox->context = context.get();
  mailbox->answer = std::move(answer);
  try {
    std::thread(resolve, name, mailbox).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the answer is a failure, delivered like any other.
    QMetaObject::invokeMethod(
        context.get(),
        [box = mailbox] {
          const TAnswer failed = box->answer;
          if (failed) failed(socketcode::NoRecovery, {});
        },
        Qt::QueuedConnection);
  }
}

TBackgroundResolve::~TBackgroundResolve() {
  const std::lock_guard<std::mutex> hold(mailbox->lock);
  mailbox->context = nullptr;
  mailbox->answer = nullptr;
  context.reset();  // removes an answer already queued
}
