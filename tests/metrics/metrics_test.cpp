// The metrics page: the series follow the engine's events, hostile host names still give a page
// that promtool accepts, and the endpoint keeps serving through a taken port and broken scrapes.

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>

#include <prometheus/text_serializer.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "core/tolvohosts.h"
#include "metrics/metricsobserver.h"
#include "metrics/metricspage.h"
#include "metrics/metricsregistry.h"
#include "metrics/metricsservice.h"
#include "metrics/scrapesupport.h"

namespace {

TEchoService neverAsked() {
  return [](const std::string&, std::int32_t) { return TEchoOutcome{}; };
}

TTolvoHost* addHost(TTolvoHosts& hosts, const std::string& name, const std::string& address) {
  std::unique_ptr<TTolvoHost> host = hosts.newHost();
  host->callingName = name;
  host->hostName = address;
  host->ipAddress = address;
  TTolvoHost* added = host.get();
  EXPECT_TRUE(hosts.appendHost(host));
  return added;
}

std::string page(const TMetricsRegistry& registry) { return renderMetricsPage(registry.Collect()); }

// The page's samples as series text -> value, comments left out.
std::map<std::string, double> samples(const std::string& text) {
  std::map<std::string, double> values;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line[0] != '#')
      values[line.substr(0, line.rfind(' '))] = std::stod(line.substr(line.rfind(' ') + 1));
  return values;
}

std::string labels(const std::string& host, const std::string& address) {
  return "{host=\"" + host + "\",address=\"" + address + "\"";
}

TEST(MetricsRegistry, SeriesFollowTheEngineEvents) {
  TTolvoHosts hosts;
  hosts.echoService = neverAsked();
  auto registry = std::make_shared<TMetricsRegistry>("9.9");
  TTolvoHost* router = addHost(hosts, "router", "10.0.0.1");  // before the observer: taken up
  TMetricsObserver observer(hosts, registry);
  TTolvoHost* printer = addHost(hosts, "printer", "10.0.0.9");

  std::string text = page(*registry);
  EXPECT_FALSE(text.find("sorvelo_host_up{") != std::string::npos) << "unknown hosts have no up";
  EXPECT_FALSE(scrape::sample(text, "sorvelo_connection_up"));
  EXPECT_EQ(scrape::sample(text, "sorvelo_hosts"), 2);
  EXPECT_EQ(scrape::sample(text, "sorvelo_build_info{version=\"9.9\"}"), 1);

  hosts.events().echoResult(*router, {0, true, 300});     // 0.3 ms
  hosts.events().echoResult(*router, {0, true, 30000});   // 30 ms
  hosts.events().echoResult(*router, {0, false, -1});
  hosts.events().hostStatusChanged(*router, hsOk);
  hosts.events().hostStatusChanged(*printer, hsDown);
  hosts.events().connectionChanged(csDown);
  text = page(*registry);
  const std::string r = labels("router", "10.0.0.1");
  EXPECT_EQ(scrape::sample(text, "sorvelo_host_up" + r + "}"), 1);
  EXPECT_EQ(scrape::sample(text, "sorvelo_host_up" + labels("printer", "10.0.0.9") + "}"), 0);
  EXPECT_EQ(scrape::sample(text, "sorvelo_echoes_total" + r + ",result=\"answered\"}"), 2);
  EXPECT_EQ(scrape::sample(text, "sorvelo_echoes_total" + r + ",result=\"lost\"}"), 1);
  EXPECT_EQ(scrape::sample(text, "sorvelo_echo_rtt_seconds_bucket" + r + ",le=\"0.0002\"}"), 0);
  EXPECT_EQ(scrape::sample(text, "sorvelo_echo_rtt_seconds_bucket" + r + ",le=\"0.0005\"}"), 1);
  EXPECT_EQ(scrape::sample(text, "sorvelo_echo_rtt_seconds_bucket" + r + ",le=\"0.05\"}"), 2);
  EXPECT_EQ(scrape::sample(text, "sorvelo_echo_rtt_seconds_bucket" + r + ",le=\"+Inf\"}"), 2);
  EXPECT_NEAR(*scrape::sample(text, "sorvelo_echo_rtt_seconds_sum" + r + "}"), 0.0303, 1e-9);
  EXPECT_EQ(scrape::sample(text, "sorvelo_connection_up"), 0);

  // A rename keeps the counts under the new labels; a deleted host's series are gone.
  const THostNames before{router->callingName, router->hostName, router->ipAddress};
  router->callingName = "gateway";
  hosts.hostEdited(router, before);
  hosts.deleteHost(printer);
  text = page(*registry);
  EXPECT_EQ(scrape::sample(text, "sorvelo_echoes_total" + labels("gateway", "10.0.0.1") +
                                     ",result=\"answered\"}"), 2);
  EXPECT_EQ(text.find("router"), std::string::npos);
  EXPECT_EQ(text.find("printer"), std::string::npos);
  EXPECT_EQ(scrape::sample(text, "sorvelo_hosts"), 1);
}

TEST(MetricsRegistry, HostileNamesGiveAPagePromtoolAccepts) {
  TTolvoHosts hosts;
  hosts.echoService = neverAsked();
  auto registry = std::make_shared<TMetricsRegistry>("1.0");
  TMetricsObserver observer(hosts, registry);
  TTolvoHost* odd = addHost(hosts, "say \"hi\"\\path\nline2 caf\xE9", "10.0.0.1");
  addHost(hosts, "twin", "10.0.0.2");
  addHost(hosts, "twin", "10.0.0.2");  // a hand-edited file may hold one host twice
  hosts.events().hostStatusChanged(*odd, hsOk);
  const std::string text = page(*registry);
  EXPECT_NE(text.find("host=\"say \\\"hi\\\"\\\\path\\nline2 caf\xC3\xA9\""), std::string::npos)
      << text;
  EXPECT_NE(text.find("host=\"twin #2\""), std::string::npos);
  // The same samples as prometheus-cpp's own serializer writes, escaping included.
  hosts.events().echoResult(*odd, {0, true, 123456});
  const auto ours = samples(page(*registry));
  const auto library = samples(prometheus::TextSerializer().Serialize(registry->Collect()));
  ASSERT_EQ(ours.size(), library.size());
  for (const auto& [series, value] : library) {
    ASSERT_EQ(ours.count(series), 1u) << series;
    EXPECT_DOUBLE_EQ(ours.at(series), value) << series;
  }

  const QString promtool = QStandardPaths::findExecutable("promtool");
  if (promtool.isEmpty()) GTEST_SKIP() << "promtool is not installed (Debian package prometheus)";
  QProcess check;
  check.start(promtool, {"check", "metrics"});
  ASSERT_TRUE(check.waitForStarted(5000));
  check.write(text.data(), static_cast<qint64>(text.size()));
  check.closeWriteChannel();
  ASSERT_TRUE(check.waitForFinished(20000));
  EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString()
                                 << check.readAllStandardError().toStdString();
}

// A scraper that hangs up early, with the reply half sent or the request half written.
void brokenScrapes(int port) {
  for (int round = 0; round < 20; ++round) {
    const int fd = scrape::connectTo(port);
    ASSERT_GE(fd, 0);
    const std::string request = round % 2 ? "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n" : "GET /met";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char some[512];
    if (round % 2) recv(fd, some, sizeof some, 0);
    const linger reset{1, 0};  // close with a reset, as a killed scraper does
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(fd);
  }
}

TEST(MetricsEndpoint, TakenPortIsReportedAndBrokenScrapesDoNotHurt) {
  TTolvoHosts hosts;
  hosts.echoService = neverAsked();
  for (int i = 1; i <= TTolvoHosts::MaxHosts; ++i) addHost(hosts, "h" + std::to_string(i), "10.1.0.1");
  const TMetricsSettings where{true, "127.0.0.1", scrape::freePort()};
  TMetricsService service(hosts, where);
  ASSERT_TRUE(service.listening()) << service.problem();

  TMetricsService second(hosts, where);
  EXPECT_FALSE(second.listening());
  EXPECT_NE(second.problem().find("127.0.0.1:" + std::to_string(where.port)), std::string::npos);
  EXPECT_NE(second.problem().find("in use"), std::string::npos) << second.problem();

  brokenScrapes(where.port);
  const auto text = scrape::httpGet(where.port, "/metrics");
  ASSERT_TRUE(text);
  EXPECT_EQ(scrape::sample(*text, "sorvelo_hosts"), TTolvoHosts::MaxHosts);
}

}  // namespace
