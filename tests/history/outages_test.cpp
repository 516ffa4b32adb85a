// Outages from ordered results, and the --outages command on a real database.

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QStringList>
#include <QTimeZone>

#include <sstream>

#include "history/outagescommand.h"
#include "history/outages.h"
#include "historyfixture.h"

namespace {

using namespace std::chrono_literals;

// Results one second apart from a pattern: '.' answered, 'x' lost.
std::vector<THistoryEcho> pattern(const std::string& marks, std::int64_t startMs = 1000) {
  std::vector<THistoryEcho> echoes;
  for (std::size_t i = 0; i < marks.size(); ++i)
    echoes.push_back({startMs + static_cast<std::int64_t>(i) * 1000, marks[i] == 'x' ? -1 : 500});
  return echoes;
}

TEST(FindOutages, RunsOfAtLeastKLostEchoes) {
  struct Case {
    const char* marks;
    int k;
    std::vector<std::tuple<std::int64_t, std::int64_t, int>> expected;  // start, end, lost
  };
  const std::vector<Case> cases{
      {"..xx..", 3, {}},
      {"..xxx..", 3, {{3000, 6000, 3}}},
      {"x.xxxx.xxx", 3, {{3000, 7000, 4}}},  // the last run is still going on: checked below
      {"..xx..xx.", 2, {{3000, 5000, 2}, {7000, 9000, 2}}},
      {"xxx.", 1, {{1000, 4000, 3}}},
  };
  for (const Case& c : cases) {
    std::vector<TOutage> found = findOutages(pattern(c.marks), c.k);
    std::erase_if(found, [](const TOutage& o) { return o.ongoing(); });
    ASSERT_EQ(found.size(), c.expected.size()) << c.marks;
    for (std::size_t i = 0; i < found.size(); ++i) {
      const auto [start, end, lost] = c.expected[i];
      EXPECT_EQ(found[i].startMs, start) << c.marks;
      EXPECT_EQ(found[i].endMs, end) << c.marks;
      EXPECT_EQ(found[i].durationMs, end - start) << c.marks;
      EXPECT_EQ(found[i].lostCount, lost) << c.marks;
    }
  }
  const std::vector<TOutage> open = findOutages(pattern("..xxxx"), 3);
  ASSERT_EQ(open.size(), 1u);
  EXPECT_TRUE(open[0].ongoing());
  EXPECT_EQ(open[0].durationMs, 3000);
}

class OutagesCommandTest : public HistoryFixture {
 protected:
  void SetUp() override {
    hostsFile = QDir(dir.path()).filePath("hosts.cfg").toStdString();
    configFile = QDir(dir.path()).filePath("sorvelo.conf").toStdString();
    QFile config(QString::fromStdString(configFile));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[alerts]\nlost_to_down=2\n");
  }

  int run(std::vector<std::string> args) {
    out.str({});
    err.str({});
    return runOutagesCommand(args, out, err, nowMs.load());
  }

  std::string hostsFile, configFile;
  std::ostringstream out, err;
};

TEST_F(OutagesCommandTest, PrintsEveryOutageAsCsvOrJson) {
  auto recorder = makeRecorder();
  auto gw = makeHost("gw, main", "gw.lan", "127.0.0.2");
  auto nas = makeHost("nas", "nas.lan", "127.0.0.3");
  hub.hostAdded(*gw);
  hub.hostAdded(*nas);
  const std::int64_t t0 = DayStartMs + 3'600'000;
  const std::string gwMarks = "..xxx..x..", nasMarks = "...xx.....";
  for (std::size_t i = 0; i < gwMarks.size(); ++i) {
    const std::int64_t at = t0 + static_cast<std::int64_t>(i) * 5000;
    echo(*gw, at, gwMarks[i] == 'x' ? -1 : 900);
    echo(*nas, at, nasMarks[i] == 'x' ? -1 : 900);
  }
  nowMs = t0 + 60'000;
  recorder->start(historyFilePath(hostsFile));
  ASSERT_TRUE(recorder->waitWritten(5s));
  recorder->stop();

  ASSERT_EQ(run({"--outages", "--since", "2h", "--hosts", hostsFile, "--config", configFile}), 0)
      << err.str();
  QStringList lines = QString::fromStdString(out.str()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], "host,host_name,address,start,end,duration_s,lost,end_reason,last_hop");
  EXPECT_TRUE(lines[1].startsWith("\"gw, main\",gw.lan,127.0.0.2,")) << lines[1].toStdString();
  EXPECT_TRUE(lines[1].endsWith(",15.000,3,answered,")) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].startsWith("nas,nas.lan,127.0.0.3,")) << lines[2].toStdString();
  const QStringList fields = lines[2].split(',');
  EXPECT_EQ(QDateTime::fromString(fields[3], Qt::ISODate).toMSecsSinceEpoch(), t0 + 15'000);
  EXPECT_EQ(QDateTime::fromString(fields[4], Qt::ISODate).toMSecsSinceEpoch(), t0 + 25'000);
  EXPECT_TRUE(fields[3].contains(QRegularExpression("T\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$")));

  ASSERT_EQ(run({"--outages", "--format=json", "--since", "2026-01-01", "--hosts", hostsFile,
                 "--config", configFile}),
            0);
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out.str()));
  ASSERT_TRUE(doc.isArray());
  ASSERT_EQ(doc.array().size(), 2);
  const QJsonObject nasOutage = doc.array()[1].toObject();
  EXPECT_EQ(nasOutage["host"].toString(), "nas");
  EXPECT_EQ(nasOutage["lost"].toInt(), 2);
  EXPECT_TRUE(nasOutage["last_hop"].isNull());  // no path traced then
  EXPECT_DOUBLE_EQ(nasOutage["duration_s"].toDouble(), 10.0);
  EXPECT_EQ(QDateTime::fromString(nasOutage["end"].toString(), Qt::ISODate).toMSecsSinceEpoch(),
            t0 + 25'000);

  // The window starts after both outages: the header alone.
  const std::string later =
      QDateTime::fromMSecsSinceEpoch(t0 + 30'000, Qt::UTC).toString(Qt::ISODate).toStdString();
  ASSERT_EQ(run({"--outages", "--since", later, "--hosts", hostsFile, "--config", configFile}), 0);
  EXPECT_EQ(out.str(), "host,host_name,address,start,end,duration_s,lost,end_reason,last_hop\n");
}

// Outages that end with a deletion or a stop of monitoring, and one that began before --since.
TEST_F(OutagesCommandTest, OutagesEndAtDeletionOrStopAndKeepTheirRealStart) {
  const std::int64_t t0 = DayStartMs + 3'600'000;
  auto gw = makeHost("gw", "gw.lan", "127.0.0.2");
  auto nas = makeHost("nas", "nas.lan", "127.0.0.3");
  auto old = makeHost("old", "old.lan", "127.0.0.4");
  nowMs = t0;
  auto first = makeRecorder();
  first->start(historyFilePath(hostsFile));
  for (const TTolvoHost* h : {nas.get(), old.get()}) hub.hostAdded(*h);
  for (int i = 0; i < 5; ++i) {
    echo(*nas, t0 + i * 5000, i == 0 ? 900 : -1);
    echo(*old, t0 + i * 5000, i == 0 ? 900 : -1);
  }
  nowMs = t0 + 40'000;
  hub.hostDeleting(*old);
  ASSERT_TRUE(first->waitWritten(5s));
  nowMs = t0 + 60'000;
  first.reset();  // monitoring stops while nas is down

  // The next run: nas answers at once; pc is down when Stop is pressed and answers after Start;
  // gw goes down and stays down for 30 minutes.
  const std::int64_t t1 = t0 + 120'000;
  nowMs = t1;
  auto second = makeRecorder();
  second->start(historyFilePath(hostsFile));
  auto pc = makeHost("pc", "pc.lan", "127.0.0.5");
  echo(*nas, t1, 900);
  echo(*gw, t1, 900);
  for (int i = 1; i <= 3; ++i) echo(*pc, t1 + i * 1000, -1);
  nowMs = t1 + 3500;
  second->setMonitoring(false);
  echo(*pc, t1 + 4000, 900);
  for (int i = 1; i <= 360; ++i) echo(*gw, t1 + i * 5000, -1);
  nowMs = t1 + 1'800'000 + 1000;
  ASSERT_TRUE(second->waitWritten(5s));

  const auto at = [](const QJsonValue& v) {
    return QDateTime::fromString(v.toString(), Qt::ISODate).toMSecsSinceEpoch();
  };
  ASSERT_EQ(run({"--outages", "--since", "3h", "--format", "json", "--hosts", hostsFile,
                 "--config", configFile}),
            0)
      << err.str();
  QJsonArray list = QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).array();
  ASSERT_EQ(list.size(), 4) << out.str();
  const QJsonObject nasOutage = list[0].toObject(), oldOutage = list[1].toObject(),
                    pcOutage = list[2].toObject(), gwOutage = list[3].toObject();
  EXPECT_EQ(nasOutage["host"].toString(), "nas");
  EXPECT_EQ(nasOutage["end_reason"].toString(), "monitoring stopped");
  EXPECT_EQ(at(nasOutage["end"]), t0 + 20'000);  // the last echo before the stop
  EXPECT_EQ(oldOutage["end_reason"].toString(), "host deleted");
  EXPECT_EQ(at(oldOutage["end"]), t0 + 40'000);
  EXPECT_EQ(pcOutage["end_reason"].toString(), "monitoring stopped");
  EXPECT_EQ(at(pcOutage["end"]), t1 + 3000);
  EXPECT_TRUE(gwOutage["end"].isNull());

  // Ten minutes back reaches into gw's outage only: shown from its first lost echo.
  ASSERT_EQ(run({"--outages", "--since", "10m", "--format", "json", "--hosts", hostsFile,
                 "--config", configFile}),
            0);
  list = QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).array();
  ASSERT_EQ(list.size(), 1) << out.str();
  EXPECT_EQ(at(list[0].toObject()["start"]), t1 + 5000);
  EXPECT_EQ(list[0].toObject()["lost"].toInt(), 360);
}

TEST_F(OutagesCommandTest, BadArgumentsExitWithTwoAndAMessage) {
  const std::vector<std::vector<std::string>> bad{
      {"--outages", "--since", "yesterday"},  {"--outages", "--since"},
      {"--outages", "--format", "xml"},       {"--outages", "--colour"},
      {"--outages", "--config", "/nonexistent/sorvelo.conf"},
      // A bad time part is refused, not taken as the day's midnight.
      {"--outages", "--since", "2026-12-08T25:00:00"},
      {"--outages", "--since", "2026-12-08Tjunk"},
      {"--outages", "--since", "2026-12-08T10:00:00+99:00"},
      {"--outages", "--since", "2026-02-30"},
  };
  for (const auto& args : bad) {
    EXPECT_EQ(run(args), 2) << args.back();
    EXPECT_FALSE(err.str().empty()) << args.back();
    EXPECT_TRUE(out.str().empty()) << args.back();
  }
  // Good arguments, but no database next to the hosts file.
  EXPECT_EQ(run({"--outages", "--hosts", hostsFile, "--config", configFile}), 1);
  EXPECT_NE(err.str().find("no history database"), std::string::npos);
}

}  // namespace
