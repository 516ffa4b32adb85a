// The real program (build/sorvelo) in situations a user meets: no permission for ICMP sockets, and
// a SIGTERM while start-up message boxes wait for an answer and the session bus never answers.
// Each run has a home of its own and, where it pings, a private network namespace.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "mainwindowtestsupport.h"

namespace {

QString programPath() {
  QString buildDir = qEnvironmentVariable("SORVELO_BUILD_DIR");
  if (buildDir.isEmpty()) buildDir = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
  return QDir(buildDir).absoluteFilePath(QStringLiteral("sorvelo"));
}

int count(const std::string& text, const std::string& part) {
  int found = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
  return found;
}

// A home with settings (log, hosts file, start pinging at once), two loopback hosts, and the
// environment that points the program at it.
struct TProgramRun {
  QTemporaryDir home;
  QString log = home.filePath("general_log.txt");
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  QProcess process;

  explicit TProgramRun(const std::string& moreSettings = {}, int pingSpeed = 1) {
    for (const char* sub : {"config/Sorvelo", "data", "runtime"}) QDir(home.path()).mkpath(sub);
    uitest::writeFile(home.filePath("config/Sorvelo/Sorvelo.conf"),
                      "[logging]\ngeneral_log_enabled=1\ngeneral_log_filename=" + log.toStdString() +
                          "\n[hosts]\nhosts_file_name=" + home.filePath("hosts.cfg").toStdString() +
                          "\n[pinging]\nauto_startup=1\nping_speed=" + std::to_string(pingSpeed) +
                          "\n[general]\nfirsttime=0\ncheckversion=1\n" + moreSettings);
    uitest::writeFile(home.filePath("hosts.cfg"),
                      uitest::hostsFileText({{"one", "127.0.0.1"}, {"two", "127.0.0.2"}}));
    for (const auto& [name, sub] : {std::pair{"HOME", ""}, {"XDG_CONFIG_HOME", "config"},
                                    {"XDG_DATA_HOME", "data"}, {"XDG_RUNTIME_DIR", "runtime"}})
      env.insert(name, home.filePath(sub));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.filePath("no-bus"));
  }
  bool start(const QString& program, const QStringList& arguments = {}) {
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    return process.waitForStarted(5000);
  }
  std::string logText() const { return uitest::readFile(log); }
  // Sends SIGTERM; the milliseconds until the program ended, -1 when it did not within 20 s.
  qint64 terminate() {
    QElapsedTimer took;
    took.start();
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    if (process.waitForFinished(20000)) return took.elapsed();
    process.kill();
    process.waitForFinished(2000);
    return -1;
  }
};

#define REQUIRE_PROGRAM() \
  ASSERT_TRUE(QFileInfo(programPath()).isExecutable()) << programPath().toStdString()

// An ordinary user in a namespace whose ping_group_range allows nobody: nothing can be pinged. The
// connection is never reported up, and the user hears why and the remedy once, not at every echo
// (two hosts stepped every 3 s: three rounds).
TEST(RealProgram, AnUnprivilegedUserIsToldOnceAndNeverHearsTheConnectionIsUp) {
  REQUIRE_PROGRAM();
  if (geteuid() != 0) GTEST_SKIP() << "needs root: a namespace and switching users";
  for (const char* tool : {"unshare", "setpriv", "ip", "sysctl"})
    if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
      GTEST_SKIP() << tool << " is not installed";
  TProgramRun run;
  run.env.insert("SORVELO_MESSAGES_TO_STDERR", "1");
  // A copy where the ordinary user can run it, whatever folder the build is in.
  const QString program = run.home.filePath("sorvelo");
  ASSERT_TRUE(QFile::copy(programPath(), program));
  ASSERT_EQ(QProcess::execute("chown", {"-R", "nobody:", run.home.path()}), 0);
  QFile::setPermissions(run.home.path(), QFile::permissions(run.home.path()) |
                                             QFileDevice::ExeOther | QFileDevice::ReadOther);
  ASSERT_TRUE(run.start("unshare", {"--net", "--", "sh", "-c",
                                    "ip link set lo up && sysctl -qw net.ipv4.ping_group_range='1 0'"
                                    " && exec setpriv --reuid=nobody --regid=nogroup --clear-groups"
                                    " \"$0\"",
                                    program}));
  QThread::msleep(9500);
  ASSERT_EQ(run.process.state(), QProcess::Running);
  EXPECT_GE(run.terminate(), 0);
  const std::string errors = run.process.readAllStandardError().toStdString();
  EXPECT_EQ(count(errors, "setcap cap_net_raw+ep"), 1) << errors;
  EXPECT_EQ(count(run.logText(), "CONNECTION_STATUS"), 0) << run.logText();
  EXPECT_EQ(count(run.logText(), "SHUTDOWN"), 1) << "ended in order";
}

// Two message boxes at start-up (a settings line over 64 KiB, then the warning about "Awesome!")
// that nobody answers, and a session bus that takes the connection (the kernel queues it) but never
// says a word: SIGTERM still ends the program in order, at once.
TEST(RealProgram, SigtermEndsTheProgramWhateverBoxesOrBusHoldIt) {
  REQUIRE_PROGRAM();
  TProgramRun run("note=" + std::string(70000, 'x') + "\n", 0);
  const QString busPath = run.home.filePath("bus");
  const int bus = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", qPrintable(busPath));
  ASSERT_EQ(::bind(bus, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(bus, 8), 0);
  run.env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + busPath);
  ASSERT_TRUE(run.start(programPath()));
  QThread::msleep(2000);
  ASSERT_EQ(run.process.state(), QProcess::Running);
  const qint64 took = run.terminate();
  ::close(bus);
  EXPECT_TRUE(took >= 0 && took < 5000) << took << " ms (-1: held for more than 20 s)";
  EXPECT_EQ(run.process.exitCode(), 0);
  EXPECT_EQ(count(run.logText(), "SHUTDOWN"), 1);
}

}  // namespace
