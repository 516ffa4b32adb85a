// The command run on a change: real scripts of the test's own, watched by the event loop.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "alerts/alertcommand.h"

namespace {

class AlertCommand : public ::testing::Test {
 protected:
  QString script(const QString& name, const QByteArray& body) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
  }
  TAlertChange change(std::uint64_t id = 1) {
    TAlertChange c;
    c.runId = id;
    c.hostName = "gw; rm -rf / $(reboot)";  // never reaches a shell
    c.callingName = "gate way";
    c.address = "10.0.0.1";
    c.from = TAlertLevel::Up;
    c.to = TAlertLevel::Down;
    c.atUnixMs = 1'800'000'000'000;
    return c;
  }
  bool waitForLines(std::size_t n, int ms = 10000) {
    return QTest::qWaitFor([&] { return static_cast<std::size_t>(lines.size()) >= n; }, ms);
  }
  void SetUp() override {
    runner.setLogFile(dir.filePath("alerts_log.txt"));
    runner.onLogLine = [this](const QString& line) { lines << line; };
  }

  QTemporaryDir dir;
  TAlertCommandRunner runner;
  QStringList lines;
};

TEST_F(AlertCommand, PassesTheChangeInTheEnvironmentAndLogsExitAndFirstLine) {
  const QString out = dir.filePath("env.txt");
  runner.setCommand({script("notify.sh",
                            "printf '%s|%s|%s|%s|%s|%s|%s\\n' \"$SORVELO_HOST\" \"$SORVELO_CALLING_NAME\" "
                            "\"$SORVELO_ADDRESS\" \"$SORVELO_OLD_STATE\" \"$SORVELO_NEW_STATE\" "
                            "\"$SORVELO_TIME\" \"$1\" > \"$2\"\necho paged ops\necho second line\nexit 3\n"),
                     QStringLiteral("arg one"), out});
  runner.run(change());
  ASSERT_TRUE(waitForLines(1));
  QFile written(out);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  const QStringList fields = QString::fromUtf8(written.readAll()).trimmed().split(QLatin1Char('|'));
  ASSERT_EQ(fields.size(), 7);
  EXPECT_EQ(fields[0], "gw; rm -rf / $(reboot)");
  EXPECT_EQ(fields[1], "gate way");
  EXPECT_EQ(fields[2], "10.0.0.1");
  EXPECT_EQ(fields[3], "up");
  EXPECT_EQ(fields[4], "down");
  EXPECT_EQ(fields[5], isoTime(1'800'000'000'000));
  EXPECT_TRUE(fields[5].contains(QRegularExpression(QStringLiteral("T\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"))));
  EXPECT_EQ(fields[6], "arg one");
  EXPECT_TRUE(lines[0].endsWith(QStringLiteral(";COMMAND;gw rm -rf / $(reboot) // 10.0.0.1;up;down;exit 3;paged ops")))
      << lines[0].toStdString();
  QFile log(dir.filePath("alerts_log.txt"));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(log.readAll()), lines[0] + "\n");
}

TEST_F(AlertCommand, MissingHangingAndFloodingCommandsNeverHoldUpTheCaller) {
  runner.setCommand({dir.filePath("no-such-program")});
  runner.run(change());
  ASSERT_TRUE(waitForLines(1));
  EXPECT_TRUE(lines[0].contains(";could not start: ")) << lines[0].toStdString();

  // Ten megabytes of output without a line end, then a line: the first 1000 bytes are kept.
  runner.setCommand({script("flood.sh", "head -c 10000000 /dev/zero | tr '\\0' x\necho\n")});
  QElapsedTimer timer;
  timer.start();
  runner.run(change(2));
  EXPECT_LT(timer.elapsed(), 500);
  ASSERT_TRUE(waitForLines(2, 30000));
  EXPECT_TRUE(lines[1].contains(";exit 0;" + QString(1000, QLatin1Char('x')))) << lines[1].left(200).toStdString();
  EXPECT_LT(lines[1].size(), 1200);

  // A command that hangs (and started a child that hangs) is killed with its child.
  const QString pidFile = dir.filePath("child.pid");
  runner.setKillAfterMs(500);
  runner.setCommand({script("hang.sh", "sleep 300 &\necho $! > \"$1\"\necho waiting\nwait\n"), pidFile});
  timer.restart();
  runner.run(change(3));
  EXPECT_LT(timer.elapsed(), 500);
  ASSERT_TRUE(waitForLines(3));
  EXPECT_TRUE(lines[2].contains(";killed after 0.5 s;waiting")) << lines[2].toStdString();
  QFile pid(pidFile);
  ASSERT_TRUE(pid.open(QIODevice::ReadOnly));
  const int child = pid.readAll().trimmed().toInt();
  ASSERT_GT(child, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(QStringLiteral("/proc/%1").arg(child)); }, 3000));
}

TEST_F(AlertCommand, OneAtATimePerHostTheLatestWaiting) {
  const QString order = dir.filePath("order.txt");
  runner.setCommand({script("slow.sh", "echo \"$SORVELO_ADDRESS $SORVELO_NEW_STATE start\" >> \"$1\"\n"
                                       "sleep 0.3\necho \"$SORVELO_ADDRESS $SORVELO_NEW_STATE end\" >> \"$1\"\n"),
                     order});
  TAlertChange up = change();
  up.from = TAlertLevel::Down;
  up.to = TAlertLevel::Up;
  TAlertChange degraded = change();
  degraded.to = TAlertLevel::Degraded;
  runner.run(change());
  runner.run(up);        // waits
  runner.run(degraded);  // replaces the waiting one
  TAlertChange other = change(2);
  other.address = "10.0.0.2";
  runner.run(other);     // another host runs at once
  EXPECT_EQ(runner.runningCount(), 2);
  ASSERT_TRUE(waitForLines(3));
  QTest::qWait(100);
  QFile file(order);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList text = QString::fromUtf8(file.readAll()).trimmed().split(QLatin1Char('\n'));
  const QStringList first = text.filter(QStringLiteral("10.0.0.1 "));
  EXPECT_EQ(first, (QStringList{"10.0.0.1 down start", "10.0.0.1 down end", "10.0.0.1 degraded start",
                                "10.0.0.1 degraded end"}));
  EXPECT_LT(text.indexOf("10.0.0.2 down start"), text.indexOf("10.0.0.1 down end"));
  EXPECT_EQ(lines.size(), 3);
}

}  // namespace
