#include "metricsservice.h"

#include <netdb.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <CivetServer.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "config/settings.h"
#include "metricshttphandler.h"
#include "metricsobserver.h"
#include "metricsregistry.h"

namespace {

// Scrapes are rare (every 15 s is usual); two threads serve one scraper while a second one
// connects.
constexpr const char* ServerThreads = "2";
// The server's threads run at the lowest priority: a page of 255 hosts takes milliseconds to
// write, and a flood of scrapes must never take the CPU from the pinging.
constexpr int ServerNice = 19;

void* lowerPriority(const mg_context*, int) {
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), ServerNice);
  return nullptr;
}

const CivetCallbacks& serverCallbacks() {
  static const CivetCallbacks callbacks = [] {
    CivetCallbacks c;
    c.init_thread = &lowerPriority;
    return c;
  }();
  return callbacks;
}

// Why the address cannot be listened on, found by trying it the way the server does; the server
// itself only reports that it failed.
std::string bindProblem(const TMetricsSettings& metrics) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(metrics.port);
  if (const int code = getaddrinfo(metrics.address.c_str(), port.c_str(), &hints, &found))
    return gai_strerror(code);
  std::string problem = "no usable address";
  const int fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
  if (fd < 0) {
    problem = std::strerror(errno);
  } else {
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    problem = bind(fd, found->ai_addr, found->ai_addrlen) == 0 ? "refused by the HTTP server"
                                                                : std::strerror(errno);
    close(fd);
  }
  freeaddrinfo(found);
  return problem;
}

}  // namespace

TMetricsService::TMetricsService(TTolvoHosts& hosts, const TMetricsSettings& where)
    : series(std::make_shared<TMetricsRegistry>(SORVELO_VERSION)),
      observer(std::make_unique<TMetricsObserver>(hosts, series)) {
  const std::string address = listeningAddress(where);
  handler = std::make_unique<TMetricsHttpHandler>(series);
  try {
    server = std::make_unique<CivetServer>(
        std::vector<std::string>{"listening_ports", address, "num_threads", ServerThreads},
        &serverCallbacks());
    server->addHandler("/metrics", *handler);
  } catch (const std::exception&) {
    server.reset();
    problemText = "The metrics endpoint cannot listen on " + address + " (" + bindProblem(where) +
                  "). Monitoring goes on without it; choose another address or port in the "
                  "[metrics] section of " + settingsFilePath() + ".";
  }
}

TMetricsService::~TMetricsService() {
  server.reset();  // joins the server's threads
  handler.reset();
  observer.reset();
}

std::unique_ptr<TMetricsService> startMetrics(TTolvoHosts& hosts, bool headless) {
  const TMetricsSettings metricsSettings = readMetricsSettings(headless);
  if (!metricsSettings.enabled) return nullptr;
  return std::make_unique<TMetricsService>(hosts, metricsSettings);
}
